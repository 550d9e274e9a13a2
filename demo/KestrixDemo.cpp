// Kestrix demo: drag text from the list on the left into the memo on the right, the picture
// below into the picture panel, and the generated report on the right into the file list; or drop
// text, pictures or files from any other application onto the memo, the panel or the list to see
// what the drag offers (every format is listed while it is over them) and what arrived.
//
//   KestrixDemo.exe                                  used by hand
//   KestrixDemo.exe --self-drive [--screenshot F]    drags an item, the picture and the report by
//                                                    itself, prints what was dropped, saves a PNG
//                                                    of the window, exits 0 when the memo received
//                                                    the donor's text, the panel the donor's
//                                                    picture and the list the report's contents
#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "DemoAutopilot.h"
#include "DemoControls.h"
#include "DemoFilePane.h"
#include "DemoPicturePane.h"
#include "DemoScreenshot.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
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
    SetText(L"Kestrix Demo - text, picture and file drag and drop analyzer");
    SetBounds(20, 20, 1110, 716);
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
    FPictures = std::make_unique<TDemoPicturePane>(this, 12, 460, 698);
    FPictures->OnDragEnter = [this](TKXGraphicTarget* target) { ListFormats(target); };
    FFiles = std::make_unique<TDemoFilePane>(this, 730, 8, 350, 620);
    FFiles->OnDragEnter = [this](TKXFileTarget* target) { ListFormats(target); };

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
    FTarget->setOnDragEnter([this](TObject*, TDropEffect, int, int) { ListFormats(FTarget); });
    FTarget->setOnDrop([this](TObject*, vcl::TWinControl*, const std::wstring& text, int x, int y) {
      FAcceptor->SetText(text);
      FKind->SetText(vcl::Format(L"Last drop: %s at %d, %d (%d characters)", KindName(FTarget->getDroppedTextFormat()), x, y,
                                 static_cast<int>(text.size())));
      FTitle->SetText(L"URL title: " + vcl::UnicodeFromAnsi(FTarget->getURLTitle()));
      FEffect->SetText(std::wstring(L"Effect: ") + EffectName(FTarget->getDropEffect()));
    });

    // Copy and Paste for each pane: the same components serve the clipboard, in the same formats.
    const std::pair<const wchar_t*, std::function<void()>> buttons[] = {
        {L"Copy item", [this] { FSource->CopyToClipboard(); }},
        {L"Paste text", [this] { FTarget->PasteFromClipboard(); }},
        {L"Copy picture", [this] { FPictures->Source()->CopyToClipboard(); }},
        {L"Paste picture", [this] { FPictures->Target()->PasteFromClipboard(); }},
        {L"Copy report", [this] { FFiles->Source()->CopyToClipboard(); }},
        {L"Paste files", [this] { FFiles->Target()->PasteFromClipboard(); }},
    };
    int x = 12;
    for (const auto& [caption, click] : buttons) {
      DemoButton(this, caption, x, 640, 110, click);
      x += 120;
    }
  }

  vcl::TListBox* Donor() const { return FDonor; }
  vcl::TMemo* Acceptor() const { return FAcceptor; }
  TKXTextTarget* Target() const { return FTarget; }
  TKXTextSource* Source() const { return FSource; }
  vcl::TListBox* Formats() const { return FFormats; }
  TDemoPicturePane& Pictures() const { return *FPictures; }
  TDemoFilePane& Files() const { return *FFiles; }
  // Runs after each drag started from the donor has ended.
  std::function<void()> FOnDragDone;

 private:
  vcl::TLabel* Label(const wchar_t* text, int x, int y, int width) {
    auto* label = new vcl::TLabel(this);
    Place(label, x, y, width, 18);
    label->SetText(text);
    return label;
  }
  // Shows every format of the drag that entered a target.
  void ListFormats(TKXGenericTarget* target) {
    std::unique_ptr<vcl::TStringList> formats(target->DataObjectFormatEtcList());
    FFormats->Items().Assign(formats.get());
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
  std::unique_ptr<TDemoPicturePane> FPictures;
  std::unique_ptr<TDemoFilePane> FFiles;
};

POINT ScreenCentreOfItem(vcl::TListBox* list, int index) {
  RECT r{};
  SendMessageW(list->Handle(), LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  vcl::TPoint p = list->ClientToScreen({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  return {p.X, p.Y};
}

// The pixels of a bitmap as 32-bit top-down rows.
std::string PixelsOf(vcl::TBitmap* bitmap) {
  const int w = bitmap->Width(), h = bitmap->Height();
  BITMAPINFOHEADER header{sizeof header, w, -h, 1, 32, BI_RGB};
  std::string bits(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, '\0');
  vcl::TWindowDC screen;
  GetDIBits(screen.Get(), bitmap->Handle(), 0, static_cast<UINT>(h), bits.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  return bits;
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
    bool textOk = false;
    bool pictureResult = false;
    auto printFormats = [&] {
      Print(L"formats offered:");
      for (int i = 0; i < form->Formats()->Items().Count(); ++i) Print(L"  " + form->Formats()->Items()[i]);
    };
    form->FOnDragDone = [&] {
      vcl::Application->ProcessMessages();
      const std::wstring expected = form->Donor()->Items()[item];
      const std::wstring dropped = form->Target()->getText();
      Print(L"donor text:    " + expected);
      Print(L"dropped text:  " + dropped);
      Print(std::wstring(L"dropped as:    ") + KindName(form->Target()->getDroppedTextFormat()));
      Print(std::wstring(L"target effect: ") + EffectName(form->Target()->getDropEffect()));
      Print(std::wstring(L"source effect: ") + EffectName(form->Source()->getReturnedEffect()));
      printFormats();
      textOk = dropped == expected;
      // Then the picture, from the image onto the picture panel.
      autopilot.Drag(ScreenCentreOf(form->Pictures().Donor()), ScreenCentreOf(form->Pictures().Acceptor()));
    };
    form->Pictures().OnDragDone = [&] {
      TDemoPicturePane& pictures = form->Pictures();
      // OnDrop comes from the message loop once the drop has returned to the drag loop.
      for (int i = 0; i < 300 && pictures.Drops() == 0; ++i) {
        vcl::Application->ProcessMessages();
        Sleep(10);
      }
      TKXGraphicTarget* target = pictures.Target();
      const bool bitmap = target->getPicture() && target->getDroppedGraphicFormat() == dgfBitmap;
      const bool pictureOk =
          pictures.Drops() == 1 && bitmap && PixelsOf(target->getPicture()->Bitmap()) == PixelsOf(pictures.DonorPicture()->Bitmap());
      Print(L"dropped picture: " + (pictures.Drops() ? pictures.DropSummary() : std::wstring(L"nothing")));
      Print(std::wstring(L"dropped as:    ") + (bitmap ? L"dgfBitmap" : L"dgfMetafile"));
      Print(std::wstring(L"pixels:        ") + (pictureOk ? L"equal to the donor's" : L"DIFFERENT from the donor's"));
      Print(std::wstring(L"target effect: ") + EffectName(target->getDropEffect()));
      Print(std::wstring(L"source effect: ") + EffectName(pictures.Source()->getReturnedEffect()));
      printFormats();
      pictureResult = pictureOk;
      // Then the report, made on demand, onto the file list.
      autopilot.Drag(ScreenCentreOf(form->Files().Donor()), ScreenCentreOf(form->Files().Acceptor()));
    };
    form->Files().OnDragDone = [&] {
      TDemoFilePane& files = form->Files();
      // The source lets the target finish asynchronously: OnDrop comes from the message loop.
      for (int i = 0; i < 300 && files.Drops() == 0; ++i) {
        vcl::Application->ProcessMessages();
        Sleep(10);
      }
      TKXFileTarget* target = files.Target();
      const bool fileOk = files.Drops() == 1 && target->getFileCount() == 1 &&
                          target->getFile(0).Name == TDemoFilePane::GeneratedName() && target->getFile(0).IsVirtual &&
                          files.FirstFileContents() == files.GeneratedContents();
      Print(L"dropped files: " + (files.Drops() ? vcl::Format(L"%d", target->getFileCount()) : std::wstring(L"nothing")));
      for (int i = 0; i < files.Acceptor()->Items().Count(); ++i) Print(L"  " + files.Acceptor()->Items()[i]);
      Print(vcl::Format(L"contents:      %d bytes, %s; the donor was asked %d time(s)",
                        static_cast<int>(files.FirstFileContents().size()),
                        files.FirstFileContents() == files.GeneratedContents() ? L"equal to the report" : L"DIFFERENT from the report",
                        files.ContentRequests()));
      Print(std::wstring(L"source effect: ") + EffectName(files.Source()->getPerformedEffect()) +
            (files.Source()->getDropWasAsynchronous() ? L" (asynchronous drop)" : L""));
      printFormats();
      if (!screenshot.empty()) {
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        vcl::Application->ProcessMessages();
        Sleep(200);
        Print((SaveWindowPng(form->Handle(), screenshot) ? L"screenshot:    " : L"screenshot FAILED: ") + screenshot);
      }
      // The donor's Chinese line is drawn with real glyphs, not boxes (the fonts a fresh Wine
      // prefix links to name files it lacks; scripts/wine-session.sh links a font that exists).
      const bool glyphsOk = DrawsDistinctGlyphs(form->Donor()->Handle(), L"\u4E2D\u6587");
      Print(glyphsOk ? L"CJK text:      drawn with glyphs of its own" : L"CJK text:      drawn as boxes (FAILED)");
      exitCode = textOk && pictureResult && fileOk && glyphsOk ? 0 : 1;
      Print(exitCode == 0 ? L"result: the memo received the donor's text, the panel the donor's picture and the list the report"
                          : L"result: FAILED");
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
