#include "sources/KXGraphicSource.h"

#include <string>
#include <utility>

#include "framework/GraphicsMetafile.h"
#include "framework/Streams.h"
#include "package/KXConsts.h"
#include "sources/KXGraphicDataObject.h"
#include "vocabulary/KXDragImage.h"
#include "vocabulary/KXImageFiles.h"

namespace kestrix {

namespace {

LONG volatile liveDropSources = 0;

}  // namespace

// ---- TGraphicDropSource ---------------------------------------------------------------------------

TGraphicDropSource::TGraphicDropSource(TDragSourceState* aState) : TKXDropSource(aState, liveDropSources) {}

TGraphicDropSource* TGraphicDropSource::Create(TKXGraphicSource* aOwner) {
  TGraphicDataOwner* owner = aOwner;
  return vcl::MakeComObject<TGraphicDropSource>(owner ? &owner->DragState() : nullptr).Detach();
}

LONG TGraphicDropSource::LiveCount() { return liveDropSources; }

namespace {

// The picture itself, scaled down, as the drag image.
HBITMAP PictureDragImage(vcl::TPicture& Picture) {
  switch (GraphicKindOf(Picture)) {
    case TGraphicKind::Bitmap:
      return BitmapDragImage(Picture.Bitmap()->Handle());
    case TGraphicKind::Metafile: {
      HENHMETAFILE metafile = Picture.Metafile()->Handle();
      ENHMETAHEADER header{};
      if (!GetEnhMetaFileHeader(metafile, sizeof header, &header)) return nullptr;
      const SIZE natural{header.rclBounds.right - header.rclBounds.left + 1, header.rclBounds.bottom - header.rclBounds.top + 1};
      return MakeDragImage(natural, [&](HDC dc, const RECT& r) { PlayEnhMetaFile(dc, metafile, &r); });
    }
    default:
      return nullptr;
  }
}

}  // namespace

// ---- TKXGraphicSource -----------------------------------------------------------------------------

TKXGraphicSource::TKXGraphicSource(TComponent* AOwner)
    : TKXBaseDragSource(AOwner, [](TDragSourceState* State) -> vcl::TComPtr<TKXDropSource> {
        return vcl::MakeComObject<TGraphicDropSource>(State);
      }),
      FPicture(std::make_unique<vcl::TPicture>()) {}

// Data objects still held by a target must not reach this component.
TKXGraphicSource::~TKXGraphicSource() { ComponentGoing(); }

HBITMAP TKXGraphicSource::DefaultDragImage() { return PictureDragImage(*FPicture); }

vcl::TPicture* TKXGraphicSource::getPicture() {
  if (FDonor) {
    vcl::TGraphic* graphic = FDonor->Picture()->Graphic();
    FPicture->Assign(IsDraggableGraphic(graphic) ? graphic : nullptr);
  }
  return FPicture.get();
}

void TKXGraphicSource::setPicture(vcl::TPicture* Value) {
  if (Value == FPicture.get()) return;
  FPicture->Assign(Value);
  FDonor = nullptr;
}

void TKXGraphicSource::LoadFromBitmapHandle(HBITMAP Bitmap) {
  std::unique_ptr<vcl::TBitmap> copy = BitmapFromHandle(Bitmap);
  vcl::TPicture picture;
  picture.SetGraphic(copy.get());
  setPicture(&picture);
}

void TKXGraphicSource::LoadFromImageBytes(std::string_view Bytes) {
  vcl::TStringStream file{std::string(Bytes)};
  std::unique_ptr<vcl::TBitmap> bitmap = DecodeImageFile(file, res::sNotAPicture, true);
  // An image without transparency is an ordinary 24-bit bitmap, as every other picture is.
  if (bitmap->PixelFormat() == vcl::pf32bit && AlphaPixelsOf(bitmap->Handle()).Empty()) bitmap->SetPixelFormat(vcl::pf24bit);
  vcl::TPicture picture;
  picture.SetGraphic(bitmap.get());
  setPicture(&picture);
}

void TKXGraphicSource::setDonorImage(vcl::TImage* Value) {
  if (Value == FDonor) return;
  FDonor = Value;
  FPicture->Assign(nullptr);
}

void TKXGraphicSource::Notification(TComponent* AComponent, vcl::TOperation Operation) {
  TKXBaseComponent::Notification(AComponent, Operation);
  if (Operation == vcl::opRemove && AComponent && AComponent == FDonor && !ComponentState().Contains(vcl::csDestroying))
    setDonorImage(nullptr);
}

bool TKXGraphicSource::Execute() { return ExecuteDrag(); }

vcl::TComPtr<TKXBaseDataObject> TKXGraphicSource::MakeDataObject() {
  vcl::TPicture* picture = getPicture();
  if (GraphicKindOf(*picture) == TGraphicKind::None) return nullptr;
  // The data object copies the picture: the drag delivers it as it is now.
  return vcl::TComPtr<TKXBaseDataObject>::Attach(TGraphicDataObject::createEx(picture, this));
}

void TKXGraphicSource::AfterDrop(bool DroppedOK) {
  if (FOnAfterDrop) FOnAfterDrop(this, FDonor, DroppedOK);
}

bool TKXGraphicSource::BeforeDrop() {
  bool cancelDrop = false;
  if (FOnBeforeDrop) {
    auto dropPicture = std::make_unique<vcl::TPicture>();
    dropPicture->Assign(FPicture.get());
    dropPicture->SetOnChange([this](TObject*) { FPictureChanged = true; });
    FPictureChanged = false;
    FOnBeforeDrop(this, FDonor, dropPicture.get(), cancelDrop);
    if (FPictureChanged) setPicture(dropPicture.get());
  }
  return !cancelDrop;
}

}  // namespace kestrix
