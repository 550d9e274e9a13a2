#include "DemoPicturePane.h"

#include "DemoControls.h"

#include "framework/GraphicsMetafile.h"
#include "framework/Handles.h"

using namespace kestrix;

TDemoPicturePane::TDemoPicturePane(vcl::TForm* Form, int Left, int Top, int Width) {
  const int half = (Width - 18) / 2;
  DemoLabel(Form, L"Drag the picture from here:", Left, Top, half);
  FDonor = new vcl::TPanel(Form);
  DemoPlace(FDonor, Form, Left, Top + 20, 180, 110);
  FDonorImage = new vcl::TImage(Form);
  DemoPlace(FDonorImage, FDonor, 10, 5, 160, 100);
  DrawDonorPicture();

  DemoLabel(Form, L"Drop a picture here (bitmaps, metafiles, browser images):", Left + half + 18, Top, half);
  FAcceptor = new vcl::TPanel(Form);
  DemoPlace(FAcceptor, Form, Left + half + 18, Top + 20, half, 110);
  FDroppedImage = new vcl::TImage(Form);
  DemoPlace(FDroppedImage, FAcceptor, 5, 5, half - 10, 100);
  FDroppedImage->SetCenter(true);
  FStatus = DemoLabel(Form, L"Last picture drop: -", Left, Top + 136, Width);

  FSource = new TKXGraphicSource(Form);
  FSource->setDonorImage(FDonorImage);
  FSource->setDropEffects({deCopy});
  // The image has no window of its own: its panel takes the button press.
  FDonor->SetOnMouseDown([this](TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
    if (button == vcl::mbLeft) FSource->Execute();
    if (OnDragDone) OnDragDone();
  });

  FTarget = new TKXGraphicTarget(Form);
  FTarget->setAcceptorControl(FAcceptor);
  FTarget->setOnDragEnter([this](TObject*, TDropEffect, int, int) {
    if (OnDragEnter) OnDragEnter(FTarget);
  });
  FTarget->setOnDrop([this](TObject*, vcl::TWinControl*, vcl::TPicture* picture, int x, int y) { ShowDrop(picture, x, y); });
}

void TDemoPicturePane::DrawDonorPicture() {
  vcl::TBitmap bitmap;
  bitmap.SetPixelFormat(vcl::pf24bit);
  bitmap.SetSize(160, 100);
  vcl::TCanvas* canvas = bitmap.Canvas();
  canvas->FillRect({0, 0, 160, 100}, RGB(250, 246, 230));
  canvas->FillRect({10, 10, 70, 60}, RGB(200, 40, 40));
  canvas->FillRect({50, 35, 120, 85}, RGB(40, 90, 200));
  {
    HDC dc = canvas->Handle();
    vcl::TGdiObject<HBRUSH> green(CreateSolidBrush(RGB(40, 160, 70)));
    vcl::TSelectObject brush(dc, green.Get());
    Ellipse(dc, 100, 8, 150, 58);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 12, 80, L"Kestrix", 7);
  }
  canvas->Changed();
  FDonorImage->Picture()->SetGraphic(&bitmap);
}

void TDemoPicturePane::ShowDrop(vcl::TPicture* Picture, int X, int Y) {
  ++FDrops;
  FDroppedImage->SetPicture(Picture);
  vcl::TGraphic* graphic = Picture ? Picture->Graphic() : nullptr;
  const bool metafile = FTarget->getDroppedGraphicFormat() == dgfMetafile;
  if (!graphic || graphic->Empty()) {
    FSummary = vcl::Format(L"an empty picture at %d, %d", X, Y);
  } else {
    FSummary = vcl::Format(L"a %s of %d x %d pixels at %d, %d", metafile ? L"metafile" : L"bitmap", graphic->Width(),
                           graphic->Height(), X, Y);
  }
  FStatus->SetText(L"Last picture drop: " + FSummary);
  if (OnDropShown) OnDropShown();
}
