#include "framework/Jpeg.h"

#include <wincodec.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/ComObj.h"

namespace vcl {

namespace {

const wchar_t* const sInvalidJpeg = L"JPEG image is not valid";
const wchar_t* const sChangeJpegSize = L"Cannot change the size of a JPEG image";

// Images above this many pixels are refused, as bitmap files are: a forged header of a few bytes
// must not make us reserve gigabytes.
constexpr std::uint64_t kMaxJpegPixels = std::uint64_t(1) << 28;

[[noreturn]] void InvalidJpeg() { throw EInvalidGraphic(sInvalidJpeg); }

// Failures of the decoder itself mean the data is not a JPEG image we can read.
void DecodeCheck(HRESULT hr) {
  if (FAILED(hr)) InvalidJpeg();
}

// The image size that the first frame header (SOFn) of a JPEG file gives; false when the markers
// before it do not hold together. The decoder allocates by this size before it reads any pixels
// (Wine's computes the allocation in 32 bits), so it is checked here first.
bool FrameSize(const std::string& data, UINT& width, UINT& height) {
  enum : unsigned char { kMarker = 0xFF, kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kTEM = 0x01, kRST0 = 0xD0, kRST7 = 0xD7 };
  auto byte = [&](size_t i) { return static_cast<unsigned char>(data[i]); };
  const size_t size = data.size();
  if (size < 4 || byte(0) != kMarker || byte(1) != kSOI) return false;
  size_t pos = 2;
  for (;;) {
    // Bytes between segments and fill bytes before a marker are skipped, as decoders do.
    while (pos < size && byte(pos) != kMarker) ++pos;
    while (pos < size && byte(pos) == kMarker) ++pos;
    if (pos >= size) return false;
    const unsigned char marker = byte(pos++);
    if (marker == kSOI || marker == kTEM || (marker >= kRST0 && marker <= kRST7)) continue;
    if (marker == kEOI || marker == kSOS) return false;  // no frame before the scan
    if (size - pos < 2) return false;
    const size_t length = (size_t(byte(pos)) << 8) | byte(pos + 1);
    if (length < 2 || length > size - pos) return false;
    // SOF0..SOF15 but DHT (C4), JPG (C8) and DAC (CC): length, precision, height, width.
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 8) return false;
      height = (UINT(byte(pos + 3)) << 8) | byte(pos + 4);
      width = (UINT(byte(pos + 5)) << 8) | byte(pos + 6);
      return true;
    }
    pos += length;
  }
}

std::unique_ptr<TBitmap> DecodeJpeg(std::string& data) {
  UINT width = 0, height = 0;
  if (data.size() > MAXDWORD || !FrameSize(data, width, height)) InvalidJpeg();
  // A height of 0 defers it to a later marker, which decoders do not support.
  if (width == 0 || height == 0 || std::uint64_t(width) * height > kMaxJpegPixels) InvalidJpeg();

  // Failures to set up the imaging objects are the system's, not the data's.
  TComPtr<IWICImagingFactory> factory;
  OleCheck(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                            factory.PutVoid()));
  TComPtr<IWICStream> stream;
  OleCheck(factory->CreateStream(stream.Put()));
  OleCheck(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(data.data()), static_cast<DWORD>(data.size())));
  TComPtr<IWICBitmapDecoder> decoder;
  OleCheck(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, decoder.Put()));
  TComPtr<IWICFormatConverter> converter;
  OleCheck(factory->CreateFormatConverter(converter.Put()));

  DecodeCheck(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand));
  TComPtr<IWICBitmapFrameDecode> frame;
  DecodeCheck(decoder->GetFrame(0, frame.Put()));
  UINT frameWidth = 0, frameHeight = 0;
  DecodeCheck(frame->GetSize(&frameWidth, &frameHeight));
  if (frameWidth != width || frameHeight != height) InvalidJpeg();
  // Every source format converts to 32-bit BGR (Wine converts grey to 24-bit BGR only through it).
  DecodeCheck(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                    WICBitmapPaletteTypeCustom));

  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf24bit);
  bitmap->SetSize(static_cast<int>(width), static_cast<int>(height));
  // Row by row, since the DIB keeps its rows bottom-up; each row packed from BGRX to BGR.
  std::vector<BYTE> row(static_cast<size_t>(width) * 4);
  for (UINT y = 0; y < height; ++y) {
    WICRect rect{0, static_cast<INT>(y), static_cast<INT>(width), 1};
    DecodeCheck(converter->CopyPixels(&rect, width * 4, static_cast<UINT>(row.size()), row.data()));
    auto* out = static_cast<BYTE*>(bitmap->ScanLine(static_cast<int>(y)));
    for (UINT x = 0; x < width; ++x) std::memcpy(out + x * 3, row.data() + x * 4, 3);
  }
  return bitmap;
}

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
  std::unique_ptr<TBitmap> bitmap = DecodeJpeg(data);
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
