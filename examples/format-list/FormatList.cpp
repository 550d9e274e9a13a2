// Lists what any drag offers: every clipboard format of the data object, with its medium, aspect
// and index, and the size of the first few formats' data, as soon as the drag enters the window.
// A tool for finding out what another application puts on a drag before writing code for it.
//
//   FormatList.exe                 a window for use by hand; close it to quit
//   FormatList.exe --self-check    drags a text source over its own window with synthesized mouse
//                                  input; exits 0 when the listing shows its Unicode text format
#include <windows.h>

#include <memory>
#include <string>

#include <kestrix/formats/KXUtil.h>
#include <kestrix/framework/Forms.h>
#include <kestrix/framework/StdCtrls.h>
#include <kestrix/package/KestrixVcl.h>
#include <kestrix/sources/KXTextSource.h>
#include <kestrix/targets/KXTextTarget.h>

#include "../common/SelfCheck.h"

using namespace kestrix;

int wmain(int argc, wchar_t** argv) {
  const bool selfCheck = argc > 1 && std::wstring(argv[1]) == L"--self-check";
  TKestrixLibrary library;

  auto* form = new vcl::TForm(vcl::Application);
  form->SetText(L"Drag anything here to see what it offers");
  form->SetBounds(100, 100, 560, 360);
  auto* listing = new vcl::TListBox(form);
  listing->SetParent(form);
  listing->SetBounds(8, 8, 530, 310);
  vcl::Application->SetMainForm(form);

  // [snippet:any-format]
  auto* target = new TKXTextTarget(form);
  target->setAcceptorControl(listing);
  target->setOnDragEnter([=](vcl::TObject*, TDropEffect, int, int) {
    target->SetAcceptAllFormatsQuery(true);  // take this drag whatever it carries
    std::unique_ptr<vcl::TStringList> formats(target->DataObjectFormatEtcList());  // "name",id,medium,aspect,lindex
    listing->Items().Assign(formats.get());

    vcl::TComPtr<IDataObject> data = target->getDataObject();  // the drag's data object, until it leaves
    std::unique_ptr<vcl::TStringList> names(DataObjFormatList(data.Get()));
    for (int i = 0; i < names->Count() && i < 5; ++i) {
      const std::string bytes = DataObjGetFormat(data.Get(), (*names)[i]);
      listing->Items().Add(L"  " + (*names)[i] + L": " + std::to_wstring(bytes.size()) + L" bytes");
    }
  });
  // [end]

  if (!selfCheck) {
    vcl::Application->Run();
    return 0;
  }

  form->Show();
  example::PumpFor(300);
  TKXTextSource source(nullptr);
  source.setText(L"formats, please");
  const POINT to = example::CentreOf(listing->Handle()), from{to.x - 200, to.y};
  if (!example::PressAt(from)) return 2;
  std::thread mover = example::MoveAndReleaseAt(from, to);
  source.Execute();
  mover.join();
  example::PumpFor(100);

  bool listed = false;
  for (int i = 0; i < listing->Items().Count(); ++i) {
    example::PrintUtf8(listing->Items()[i]);
    if (listing->Items()[i].rfind(L"\"CF_UNICODETEXT\"", 0) == 0) listed = true;
  }
  example::PrintUtf8(listed ? L"self-check passed" : L"self-check FAILED");
  return listed ? 0 : 1;
}
