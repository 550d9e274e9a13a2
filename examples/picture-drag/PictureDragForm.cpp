// A form with a picture that the user drags out, into any application that takes bitmaps or
// metafiles (a word processor, an image editor, another Kestrix picture target).
//
//   PictureDragForm.exe                 the form for use by hand; close it to quit
//   PictureDragForm.exe --self-check    also opens a second form that accepts pictures, drags the
//                                       picture onto it with synthesized mouse input, then copies
//                                       and pastes it, and exits 0 when a bitmap of the same size
//                                       arrived both times
#include <windows.h>

#include <string>

#include <kestrix/framework/ExtCtrls.h>
#include <kestrix/framework/ExtCtrlsImage.h>
#include <kestrix/framework/Forms.h>
#include <kestrix/framework/Handles.h>
#include <kestrix/package/KestrixVcl.h>
#include <kestrix/sources/KXGraphicSource.h>
#include <kestrix/targets/KXGraphicTarget.h>

#include "../common/SelfCheck.h"

using namespace kestrix;

namespace {

void DrawPicture(vcl::TPicture* picture) {
  vcl::TBitmap bitmap;
  bitmap.SetPixelFormat(vcl::pf24bit);
  bitmap.SetSize(160, 100);
  vcl::TCanvas* canvas = bitmap.Canvas();
  canvas->FillRect({0, 0, 160, 100}, RGB(250, 246, 230));
  canvas->FillRect({10, 10, 90, 70}, RGB(200, 40, 40));
  canvas->FillRect({60, 40, 150, 90}, RGB(40, 90, 200));
  canvas->Changed();
  picture->SetGraphic(&bitmap);
}

template <class T>
T* Place(T* control, vcl::TWinControl* parent, int x, int y, int w, int h) {
  control->SetParent(parent);
  control->SetBounds(x, y, w, h);
  return control;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool selfCheck = argc > 1 && std::wstring(argv[1]) == L"--self-check";
  TKestrixLibrary library;

  // [snippet:picture-source]
  auto* form = new vcl::TForm(vcl::Application);
  form->SetText(L"Drag the picture out");
  form->SetBounds(100, 100, 220, 180);
  // An image has no window of its own, so a panel around it takes the button press.
  auto* panel = Place(new vcl::TPanel(form), form, 10, 10, 180, 120);
  auto* image = Place(new vcl::TImage(form), panel, 10, 10, 160, 100);
  DrawPicture(image->Picture());

  auto* source = new TKXGraphicSource(form);
  source->setDonorImage(image);  // drags whatever the image shows, as a bitmap or a metafile
  source->setDropEffects({deCopy});
  panel->SetOnMouseDown([source](vcl::TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
    if (button == vcl::mbLeft) source->Execute();  // returns when the picture is dropped or the drag ends
  });
  // [end]
  vcl::Application->SetMainForm(form);

  if (!selfCheck) {
    vcl::Application->Run();
    return 0;
  }

  auto* receiver = new vcl::TForm(vcl::Application);
  receiver->SetText(L"Pictures arrive here");
  receiver->SetBounds(400, 100, 240, 180);
  auto* well = Place(new vcl::TPanel(receiver), receiver, 10, 10, 200, 120);
  auto* target = new TKXGraphicTarget(receiver);
  target->setAcceptorControl(well);
  int width = 0, height = 0;
  target->setOnDrop([&](vcl::TObject*, vcl::TWinControl*, vcl::TPicture* picture, int, int) {
    width = picture->Width();
    height = picture->Height();
  });
  form->Show();
  receiver->Show();
  example::PumpFor(300);

  // The press reaches the panel, whose handler runs the drag loop until the mover releases.
  const POINT from = example::CentreOf(panel->Handle()), to = example::CentreOf(well->Handle());
  std::thread mover;
  panel->SetOnMouseDown([&](vcl::TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
    mover = example::MoveAndReleaseAt(from, to);
    source->Execute();
  });
  if (!example::PressAt(from)) return 2;
  for (int i = 0; i < 100 && !mover.joinable(); ++i) example::PumpFor(20);
  if (mover.joinable()) mover.join();
  // A picture target raises OnDrop from the message loop, after the drop has returned.
  for (int i = 0; i < 100 && width == 0; ++i) example::PumpFor(20);

  bool ok = width == 160 && height == 100;
  // The same picture through the clipboard: copied by the source, pasted by the target.
  width = height = 0;
  ok = ok && source->CopyToClipboard() && target->PasteFromClipboard();
  for (int i = 0; i < 100 && width == 0; ++i) example::PumpFor(20);
  ok = ok && width == 160 && height == 100;
  example::PrintUtf8(L"dropped picture: " + std::to_wstring(width) + L" x " + std::to_wstring(height));
  example::PrintUtf8(ok ? L"self-check passed" : L"self-check FAILED");
  return ok ? 0 : 1;
}
