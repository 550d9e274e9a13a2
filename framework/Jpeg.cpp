#include "framework/Jpeg.h"

#include <wincodec.h>

#include <cstdint>

#include "framework/WicImage.h"

namespace vcl {

namespace {

const wchar_t* const sInvalidJpeg = L"JPEG image is not valid";
const wchar_t* const sChangeJpegSize = L"Cannot change the size of a JPEG image";

[[noreturn]] void InvalidJpeg() { throw EInvalidGraphic(sInvalidJpeg); }

}  // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Assign(TPersistent* Source) {
  if (!Source) {
    FData.clear();
    FBitmap.reset();
    Changed(this);
    return;
  }
  if (auto* other = dynamic_cast<TJPEGImage*>(Source)) {
    if (other == this) return;
    std::unique_ptr<TBitmap> bitmap;
    if (other->FBitmap) {
      bitmap = std::make_unique<TBitmap>();
      bitmap->Assign(other->FBitmap.get());
    }
    FData = other->FData;
    FBitmap = std::move(bitmap);
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TJPEGImage::AssignTo(TPersistent* Dest) {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) bitmap->Assign(FBitmap.get());
  else TGraphic::AssignTo(Dest);
}

void TJPEGImage::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (FBitmap) FBitmap->Draw(ACanvas, Rect);
}

void TJPEGImage::SetWidth(int) { throw EInvalidGraphicOperation(sChangeJpegSize); }
void TJPEGImage::SetHeight(int) { throw EInvalidGraphicOperation(sChangeJpegSize); }

void TJPEGImage::LoadFromStream(TStream& Stream) {
  const std::int64_t size = Stream.Size() - Stream.Position();
  if (size <= 0 || static_cast<std::uint64_t>(size) > MAXDWORD) InvalidJpeg();
  std::string data(static_cast<size_t>(size), '\0');
  Stream.ReadBuffer(data.data(), size);
  std::unique_ptr<TBitmap> bitmap = DecodeImageWithWIC(data, &GUID_ContainerFormatJpeg, sInvalidJpeg);
  FData = std::move(data);
  FBitmap = std::move(bitmap);
  Changed(this);
}

void TJPEGImage::SaveToStream(TStream& Stream) {
  if (!FData.empty()) Stream.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
}

bool TJPEGImage::GetEmpty() { return !FBitmap; }
int TJPEGImage::GetWidth() { return FBitmap ? FBitmap->Width() : 0; }
int TJPEGImage::GetHeight() { return FBitmap ? FBitmap->Height() : 0; }

}  // namespace vcl
