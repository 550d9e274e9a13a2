// Kestrix demo: drag text from the list on the left into the memo on the right, or drop text from
// any other application onto the memo to see what it offers (every format of the drag is listed
// while it is over the memo) and what arrived.
//
//   KestrixDemo.exe                                  used by hand
//   KestrixDemo.exe --self-drive [--screenshot F]    drags an item by itself, prints what was
//                                                    dropped, saves a PNG of the window, exits 0
//                                                    when the memo received the donor's text
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "DemoAutopilot.h"
#include "DemoScreenshot.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "package/KestrixVcl.h"
#include "sources/KXTextSource.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;

namespace {

const wchar_t* KindName(TDropTextFormat kind) {
  static const wchar_t* names[] = {L"dtfURL", L"dtfIEHTML", L"dtfRichText", L"dtfText", L"dtfFiles", L"dtfCustom"};
  return names[kind];
}

const wchar_t* EffectName(TDropEffect e) {
  static const wchar_t* names[] = {L"deNone", L"deCopy", L"deMove", L"deLink", L"deScroll"};
  return names[e];
}

void Print(const std::wstring& line) {
  std::string utf8 = vcl::Utf8FromUnicode(line);
  std::printf("%s\n", utf8.c_str());
  std::fflush(stdout);
}

class TDemoForm : public vcl::TForm {
 public:
  explicit TDemoForm(TComponent* AOwner) : vcl::TForm(AOwner) {
    SetText(L"Kestrix Demo - text drag and drop analyzer");
    SetBounds(80, 60, 740, 500);
    Label(L"Drag an item from here:", 12, 8, 250);
    FDonor = new vcl::TListBox(this);
    Place(FDonor, 12, 28, 250, 160);
    for (const wchar_t* item : {L"Hello from Kestrix", L"Drag me onto the memo", L"Unicode: caf\u00E9 \u00FC\u00DF \u4E2D\u6587 \u2713",
                                L"https://example.com/"})
      FDonor->Items().Add(item);
    Label(L"Drop text here (accepts every text kind):", 280, 8, 420);
    FAcceptor = new vcl::TMemo(this);
    Place(FAcceptor, 280, 28, 430, 160);

    FKind = Label(L"Last drop: -", 12, 200, 700);
    FTitle = Label(L"URL title: -", 12, 222, 700);
    FEffect = Label(L"Effect: -", 12, 244, 700);
    FSourceResult = Label(L"Source: -", 12, 266, 700);
    Label(L"Formats the current drag offers (name, id, medium, aspect, index):", 12, 296, 700);
    FFormats = new vcl::TListBox(this);
    Place(FFormats, 12, 316, 698, 130);

    FSource = new TKXTextSource(this);
    FSource->setDonorComponent(FDonor);
    FSource->setDropEffects({deCopy, deMove});
    FSource->setOnAfterDrop([this](TObject*, TComponent*, bool droppedOK) {
      FSourceResult->SetText(std::wstring(L"Source: ") + (droppedOK ? L"dropped, " : L"not dropped, ") +
                             L"returned effect " + EffectName(FSource->getReturnedEffect()));
    });
    FDonor->SetOnMouseDown([this](TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
      if (button == vcl::mbLeft && FDonor->ItemIndex() >= 0) FSource->Execute();
      if (FOnDragDone) FOnDragDone();
    });

    FTarget = new TKXTextTarget(this);
    FTarget->setAcceptTextFormats({dtfURL, dtfIEHTML, dtfRichText, dtfText, dtfFiles, dtfCustom});
    FTarget->setAcceptorControl(FAcceptor);
    FTarget->setOnDragEnter([this](TObject*, TDropEffect, int, int) {
      std::unique_ptr<vcl::TStringList> formats(FTarget->DataObjectFormatEtcList());
      FFormats->Items().Assign(formats.get());
    });
    FTarget->setOnDrop([this](TObject*, vcl::TWinControl*, const std::wstring& text, int x, int y) {
      FAcceptor->SetText(text);
      FKind->SetText(vcl::Format(L"Last drop: %s at %d, %d (%d characters)", KindName(FTarget->getDroppedTextFormat()), x, y,
                                 static_cast<int>(text.size())));
      FTitle->SetText(L"URL title: " + vcl::UnicodeFromAnsi(FTarget->getURLTitle()));
      FEffect->SetText(std::wstring(L"Effect: ") + EffectName(FTarget->getDropEffect()));
    });
  }

  vcl::TListBox* Donor() const { return FDonor; }
  vcl::TMemo* Acceptor() const { return FAcceptor; }
  TKXTextTarget* Target() const { return FTarget; }
  TKXTextSource* Source() const { return FSource; }
  vcl::TListBox* Formats() const { return FFormats; }
  // Runs after each drag started from the donor has ended.
  std::function<void()> FOnDragDone;

 private:
  vcl::TLabel* Label(const wchar_t* text, int x, int y, int width) {
    auto* label = new vcl::TLabel(this);
    Place(label, x, y, width, 18);
    label->SetText(text);
    return label;
  }
  void Place(vcl::TControl* control, int x, int y, int w, int h) {
    control->SetParent(this);
    control->SetBounds(x, y, w, h);
  }

  vcl::TListBox* FDonor;
  vcl::TMemo* FAcceptor;
  vcl::TListBox* FFormats;
  vcl::TLabel *FKind, *FTitle, *FEffect, *FSourceResult;
  TKXTextSource* FSource;
  TKXTextTarget* FTarget;
};

POINT ScreenCentreOfItem(vcl::TListBox* list, int index) {
  RECT r{};
  SendMessageW(list->Handle(), LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  vcl::TPoint p = list->ClientToScreen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  return {p.X, p.Y};
}

POINT ScreenCentreOf(vcl::TControl* control) {
  vcl::TPoint p = control->ClientToScreen({control->Width() / 2, control->Height() / 2});
  return {p.X, p.Y};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool selfDrive = false;
  std::wstring screenshot;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--self-drive") selfDrive = true;
    else if (arg == L"--screenshot" && i + 1 < argc) screenshot = argv[++i];
  }

  TKestrixLibrary library;
  auto* form = new TDemoForm(vcl::Application);
  vcl::Application->SetMainForm(form);
  int exitCode = 0;
  TDemoAutopilot autopilot;
  const int item = 2;
  if (selfDrive) {
    form->FOnDragDone = [&] {
      vcl::Application->ProcessMessages();
      const std::wstring expected = form->Donor()->Items()[item];
      const std::wstring dropped = form->Target()->getText();
      Print(L"donor text:    " + expected);
      Print(L"dropped text:  " + dropped);
      Print(std::wstring(L"dropped as:    ") + KindName(form->Target()->getDroppedTextFormat()));
      Print(std::wstring(L"target effect: ") + EffectName(form->Target()->getDropEffect()));
      Print(std::wstring(L"source effect: ") + EffectName(form->Source()->getReturnedEffect()));
      Print(L"formats offered:");
      for (int i = 0; i < form->Formats()->Items().Count(); ++i) Print(L"  " + form->Formats()->Items()[i]);
      if (!screenshot.empty()) {
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        vcl::Application->ProcessMessages();
        Sleep(200);
        Print((SaveWindowPng(form->Handle(), screenshot) ? L"screenshot:    " : L"screenshot FAILED: ") + screenshot);
      }
      exitCode = dropped == expected ? 0 : 1;
      Print(exitCode == 0 ? L"result: the memo received the donor's text" : L"result: FAILED");
      form->Close();
    };
    form->Show();
    form->Donor()->SetItemIndex(item);
    vcl::Application->ProcessMessages();
    Sleep(300);
    vcl::Application->ProcessMessages();
    autopilot.Drag(ScreenCentreOfItem(form->Donor(), item), ScreenCentreOf(form->Acceptor()));
  }
  vcl::Application->Run();
  return exitCode;
}
