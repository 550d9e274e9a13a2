#include "DemoFilePane.h"

#include <algorithm>

#include "DemoControls.h"

#include "framework/SysUtils.h"

using namespace kestrix;

namespace {

std::wstring SizeText(const TKXDroppedFile& file) {
  if (file.IsFolder) return L"folder";
  if (!file.HasSize) return L"size not stated";
  return vcl::Format(L"%d bytes", static_cast<int>(std::min<std::uint64_t>(file.Size, 0x7FFFFFFF)));
}

}  // namespace

TDemoFilePane::TDemoFilePane(vcl::TForm* Form, int Left, int Top, int Width, int Height) {
  DemoLabel(Form, L"Drag a file made on demand:", Left, Top, Width);
  FDonor = new vcl::TPanel(Form);
  DemoPlace(FDonor, Form, Left, Top + 20, Width, 60);
  FDonor->SetText(GeneratedName());

  DemoLabel(Form, L"Drop files here (real and virtual):", Left, Top + 96, Width);
  FAcceptor = new vcl::TListBox(Form);
  DemoPlace(FAcceptor, Form, Left, Top + 116, Width, Height - 150);
  FStatus = DemoLabel(Form, L"Last file drop: -", Left, Top + Height - 26, Width);

  FSource = new TKXFileSource(Form);
  FSource->AddVirtualFile(GeneratedName(), GeneratedContents().size());
  FSource->setDropEffects({deCopy});
  // The report is written only when a target asks for it.
  FSource->setOnGetContents([this](TObject*, int, vcl::TStream& contents) {
    ++FContentRequests;
    const std::string text = GeneratedContents();
    contents.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  });
  FDonor->SetOnMouseDown([this](TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
    if (button == vcl::mbLeft) FSource->Execute();
    if (OnDragDone) OnDragDone();
  });

  FTarget = new TKXFileTarget(Form);
  FTarget->setAcceptorControl(FAcceptor);
  FTarget->setOnDragEnter([this](TObject*, TDropEffect, int, int) {
    if (OnDragEnter) OnDragEnter(FTarget);
  });
  FTarget->setOnDrop([this](TObject*, vcl::TWinControl*, int, int) { ShowDrop(); });
}

std::string TDemoFilePane::GeneratedContents() const {
  return "Kestrix report\r\nThis file did not exist until a drop target asked for it.\r\n";
}

void TDemoFilePane::ShowDrop() {
  ++FDrops;
  FAcceptor->Items().Clear();
  for (int i = 0; i < FTarget->getFileCount(); ++i) {
    const TKXDroppedFile& file = FTarget->getFile(i);
    FAcceptor->Items().Add(file.Name + L"  (" + (file.IsVirtual ? L"virtual, " : L"real, ") + SizeText(file) + L")");
  }
  // Contents are read while the drop is open; a real application would save them somewhere.
  FFirstContents.clear();
  if (FTarget->getFileCount() > 0 && !FTarget->getFile(0).IsFolder) {
    vcl::TMemoryStream contents;
    if (FTarget->SaveFileToStream(0, contents))
      FFirstContents.assign(reinterpret_cast<const char*>(contents.Memory()), static_cast<size_t>(contents.Size()));
  }
  FTarget->EndDrop();
  FStatus->SetText(vcl::Format(L"Last file drop: %d file(s); the first has %d bytes", FTarget->getFileCount(),
                               static_cast<int>(FFirstContents.size())));
}
