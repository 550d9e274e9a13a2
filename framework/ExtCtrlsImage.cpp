#include "framework/ExtCtrlsImage.h"

namespace vcl {

namespace {
constexpr int kDefaultSize = 105;
}  // namespace

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  FWidth = FHeight = kDefaultSize;
  FPicture->SetOnChange([this](TObject*) { PictureChanged(); });
}

TImage::~TImage() {
  // The owner's other components (a drag source naming this image as donor) hear of the removal
  // while the image and its picture still exist.
  Announce();
  FPicture->SetOnChange(nullptr);
}

void TImage::PictureChanged() {
  if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0)
    SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
  Invalidate();
}

void TImage::SetStretch(bool Value) {
  if (Value == FStretch) return;
  FStretch = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  Invalidate();
}

void TImage::SetAutoSize(bool Value) {
  if (Value == FAutoSize) return;
  FAutoSize = Value;
  if (FAutoSize) PictureChanged();
}

TRect TImage::DestRect() const {
  if (FStretch) return {0, 0, Width(), Height()};
  const int w = FPicture->Width(), h = FPicture->Height();
  if (FCenter) {
    const int x = (Width() - w) / 2, y = (Height() - h) / 2;
    return {x, y, x + w, y + h};
  }
  return {0, 0, w, h};
}

void TImage::Paint(HDC Canvas) {
  TGraphic* graphic = FPicture->Graphic();
  if (!graphic || graphic->Empty()) return;
  TCanvas canvas;
  canvas.SetHandle(Canvas);
  canvas.StretchDraw(DestRect(), graphic);
}

}  // namespace vcl
