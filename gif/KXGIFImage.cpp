#include "gif/KXGIFImage.h"

#include <algorithm>
#include <cstring>

#include "framework/UnitInit.h"
#include "gif/KXGIFConsts.h"
#include "gif/KXGIFLZW.h"

namespace kestrix {

using gifdetail::PutBack;
using gifdetail::RaiseNotAvailable;
using gifdetail::ReadByte;
using gifdetail::ReadExact;

bool GIFImageRenderOnLoad = false;
const TGIFVersionRec GIFVersions[2] = {{{'8', '7', 'a'}}, {{'8', '9', 'a'}}};
int GIFDelayExp = 12;
int GIFDefaultDelay = 10;
int GIFMinimumDelay = 3;
int GIFMaximumDelay = 1000;
std::uint16_t CF_GIF = 0;
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
std::int64_t GIFMaxImagePixels = std::int64_t(1) << 22;  // keeps fuzzing fast and inside its memory limit
#else
std::int64_t GIFMaxImagePixels = std::int64_t(1) << 30;
#endif

namespace {

vcl::TUnitCounter unitCounter;

enum : std::uint8_t {
  kExtensionIntroducer = 0x21,  // "!"
  kImageSeparator = 0x2C,       // ","
  kTrailer = 0x3B,              // ";"
  kColorTableFlag = 0x80,
  kInterlacedFlag = 0x40,
  kSortFlag = 0x08,
  kColorTableSizeMask = 0x07,
};

const wchar_t* const sInvalidCast = L"Invalid class typecast";

// A "too large" message with its bound filled in.
std::wstring TooLargeMessage(const wchar_t* Text, std::int64_t Bound) {
  std::wstring text = Text;
  size_t at = text.find(L"%d");
  if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(Bound));
  return text;
}

// Position x 100 / Size, rounded as MulDiv rounds, kept within 0..100.
std::uint8_t PercentOf(std::int64_t position, std::int64_t size) {
  if (size <= 0) return 0;
  std::int64_t percent = (position * 100 + size / 2) / size;
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(percent, 0, 100));
}

// Skips 0x00 bytes; false when the stream ends first.
bool ReadBlockStart(vcl::TStream& Stream, std::uint8_t& b) {
  do {
    if (!ReadByte(Stream, b)) return false;
  } while (b == 0);
  return true;
}

}  // namespace

void KXGIFImageStartup() { unitCounter.Enter(); }

void KXGIFImageShutdown() {
  if (unitCounter.Leave()) gifdetail::FreeExtensionRegistries();
}

// ---- TGIFHeader ----

TGIFHeader::TGIFHeader(TGIFImage* GIFImage) : TGIFItem(GIFImage), FColorMap(std::make_unique<TGIFGlobalColorMap>(this)) {
  Clear();
}

TGIFHeader::~TGIFHeader() { FColorMap.reset(); }

void TGIFHeader::Assign(vcl::TPersistent* Source) {
  if (auto* header = dynamic_cast<TGIFHeader*>(Source)) {
    if (header == this) return;
    FColorMap->Assign(header->FColorMap.get());
    FLogicalScreenDescriptor = header->FLogicalScreenDescriptor;
  } else if (auto* map = dynamic_cast<TGIFColorMap*>(Source)) {
    Clear();
    FColorMap->Assign(map);
  } else {
    TGIFItem::Assign(Source);
  }
}

TGIFVersion TGIFHeader::GetVersion() {
  return FColorMap->Optimized() || FLogicalScreenDescriptor.AspectRatio != 0 ? gv89a : gv87a;
}

void TGIFHeader::SaveToStream(vcl::TStream&) { RaiseNotAvailable(); }

void TGIFHeader::Clear() {
  FColorMap->Clear();
  FLogicalScreenDescriptor = TLogicalScreenDescriptor{};
}

void TGIFHeader::Prepare() {
  unsigned colorResolution = static_cast<unsigned>(FGIFImage ? FGIFImage->GetColorResolution() : ColorResolution());
  unsigned bitsPerPixel = static_cast<unsigned>(FGIFImage ? FGIFImage->GetBitsPerPixel() : BitsPerPixel());
  unsigned packed = 0;
  if (FColorMap->Count() > 0) packed |= kColorTableFlag;
  if (FColorMap->Optimized()) packed |= kSortFlag;
  packed |= (colorResolution << 4) & 0x70;
  packed |= (bitsPerPixel - 1) & kColorTableSizeMask;
  FLogicalScreenDescriptor.PackedFields = static_cast<std::uint8_t>(packed);
}

void TGIFHeader::LoadFromStream(vcl::TStream& Stream) {
  auto isSignature = [](const std::uint8_t* h) {
    return (h[0] & 0xDF) == 'G' && (h[1] & 0xDF) == 'I' && (h[2] & 0xDF) == 'F';
  };
  const std::int64_t start = Stream.Position();
  std::uint8_t header[6];
  ReadExact(Stream, header, sizeof header);
  if (!isSignature(header)) {
    // Some writers put four bytes in front of the signature.
    Stream.SetPosition(start + 4);
    ReadExact(Stream, header, sizeof header);
    if (!isSignature(header)) throw GIFException(res::sGIFInvalidSignature);
  }
  ReadExact(Stream, &FLogicalScreenDescriptor, sizeof FLogicalScreenDescriptor);
  if (FLogicalScreenDescriptor.PackedFields & kColorTableFlag)
    FColorMap->LoadFromStream(Stream, 2 << (FLogicalScreenDescriptor.PackedFields & kColorTableSizeMask));
  else
    FColorMap->Clear();
}

void TGIFHeader::SetBackgroundColorIndex(std::uint8_t Value) {
  if (Value >= FColorMap->Count() && FColorMap->Count() > 0) {
    Warning(gsWarning, res::sGIFInvalidColorIndex);
    Value = 0;
  }
  FLogicalScreenDescriptor.BackgroundColorIndex = Value;
}

vcl::TColor TGIFHeader::GetBackgroundColor() { return FColorMap->GetColor(BackgroundColorIndex()); }

void TGIFHeader::SetBackgroundColor(vcl::TColor Color) {
  SetBackgroundColorIndex(static_cast<std::uint8_t>(FColorMap->AddUnique(Color)));
}

// ---- TGIFSubImage ----

TGIFSubImage::TGIFSubImage(TGIFImage* GIFImage)
    : TGIFItem(GIFImage),
      FColorMap(this),
      FExtensions(GIFImage) {
  FImageDescriptor.Separator = kImageSeparator;
}

TGIFSubImage::~TGIFSubImage() {
  if (FGIFImage) FGIFImage->Images()->Remove(this);
  // What members' destructors would not do, or not in this order: extensions point back at the
  // frame, and the bitmap and mask go before the palette they may use.
  FExtensions.Clear();
  FreeBitmap();
  FreeMask();
  FLocalPalette.Reset();
}

TGIFVersion TGIFSubImage::GetVersion() {
  TGIFVersion version = FColorMap.Optimized() ? gv89a : gv87a;
  for (int i = 0; i < FExtensions.Count() && version < gv89a; ++i)
    version = std::max(version, FExtensions.GetExtension(i)->GetVersion());
  return version;
}

void TGIFSubImage::SaveToStream(vcl::TStream&) { RaiseNotAvailable(); }

void TGIFSubImage::Clear() {
  FExtensions.Clear();
  FColorMap.Clear();
  FreeImage();
  // Shrinking to nothing never needs the screen check: the frame only gets smaller.
  DoSetBounds(Left(), Top(), Width(), 0, false);
  DoSetBounds(Left(), Top(), 0, 0, false);
  FTransparent = false;
  FGCE = nullptr;
  FreeBitmap();
  FreeMask();
  // The local map was emptied without Changed; its palette must not outlive it.
  SetPalette(nullptr);
}

gifdetail::TGIFFrameStore* TGIFSubImage::LoadingStore() const { return FGIFImage ? FGIFImage->FLoading : nullptr; }

void TGIFSubImage::AllocateImage(bool ZeroFill) {
  FreeImage();
  const std::int64_t pixels = std::int64_t(Width()) * Height();
  if (pixels > GIFMaxFramePixels) throw GIFException(TooLargeMessage(res::sGIFFrameTooLarge, GIFMaxFramePixels));
  if (pixels == 0) return;
  gifdetail::TGIFFrameStore* store = ZeroFill ? nullptr : LoadingStore();
  try {
    FData = store ? store->Allocate(static_cast<size_t>(pixels)) : gifdetail::AllocatePixels(static_cast<size_t>(pixels), ZeroFill);
  } catch (const std::bad_alloc&) {
    throw vcl::EOutOfMemory(L"Out of memory");
  }
  FDataSize = static_cast<int>(pixels);
}

void TGIFSubImage::NewImage() { AllocateImage(true); }

void TGIFSubImage::FreeImage() {
  FData.reset();
  FDataSize = 0;
}

void TGIFSubImage::NeedImage() {
  if (!FData) NewImage();
  if (FDataSize == 0) throw GIFException(res::sGIFImageEmpty);
}

bool TGIFSubImage::GetEmpty() const { return !FData || FDataSize == 0 || Width() == 0 || Height() == 0; }

std::uint8_t TGIFSubImage::GetPixel(int X, int Y) {
  if (X < 0 || X > Width() - 1) throw GIFException(res::sGIFInvalidPixelCoordinates);
  return GetScanline(Y)[X];
}

std::uint8_t* TGIFSubImage::GetScanline(int Y) {
  if (Y < 0 || Y > Height() - 1) throw GIFException(res::sGIFInvalidPixelCoordinates);
  NeedImage();
  return FData.get() + static_cast<size_t>(Y) * static_cast<size_t>(Width());
}

void TGIFSubImage::SetBounds(int Index, int Value) {
  int left = Left(), top = Top(), width = Width(), height = Height();
  switch (Index) {
    case 1: left = Value; break;
    case 2: top = Value; break;
    case 3: width = Value; break;
    case 4: height = Value; break;
    default: return;
  }
  DoSetBounds(left, top, width, height);
}

vcl::TRect TGIFSubImage::GetBoundsRect() const { return {Left(), Top(), Left() + Width(), Top() + Height()}; }

void TGIFSubImage::SetBoundsRect(const vcl::TRect& R) {
  DoSetBounds(R.Left, R.Top, R.Right - R.Left + 1, R.Bottom - R.Top + 1);
}

vcl::TRect TGIFSubImage::GetClientRect() const { return {0, 0, Width(), Height()}; }

void TGIFSubImage::DoSetBounds(int NewLeft, int NewTop, int NewWidth, int NewHeight, bool CheckScreen) {
  // The descriptor holds 16-bit fields; values are taken as they will be stored.
  const auto left = static_cast<std::uint16_t>(NewLeft), top = static_cast<std::uint16_t>(NewTop);
  const auto width = static_cast<std::uint16_t>(NewWidth), height = static_cast<std::uint16_t>(NewHeight);
  const bool sizeChanged = width != FImageDescriptor.Width || height != FImageDescriptor.Height;
  FImageDescriptor.Left = left;
  FImageDescriptor.Top = top;
  FImageDescriptor.Width = width;
  FImageDescriptor.Height = height;
  if (sizeChanged) {
    FreeBitmap();
    FreeMask();
    FreeImage();
    NewImage();
  }
  if (!CheckScreen || !FGIFImage) return;
  bool exceeded = false;
  if (FGIFImage->Width() < left + width) {
    if (FGIFImage->Width() > 0) {
      Warning(gsWarning, res::sGIFWidthTooSmall);
      exceeded = true;
    }
    FGIFImage->SetWidth(left + width);
  }
  if (FGIFImage->Height() < top + height) {
    if (FGIFImage->Height() > 0) {
      Warning(gsWarning, res::sGIFHeightTooSmall);
      exceeded = true;
    }
    FGIFImage->SetHeight(top + height);
  }
  if (exceeded) Warning(gsWarning, res::sGIFScreenSizeExceeded);
}

void TGIFSubImage::SetInterlaced(bool Value) {
  if (Value) FImageDescriptor.PackedFields |= kInterlacedFlag;
  else FImageDescriptor.PackedFields &= static_cast<std::uint8_t>(~kInterlacedFlag);
}

TGIFColorMap* TGIFSubImage::GetActiveColorMap() const {
  if (FColorMap.Count() > 0) return &FColorMap;
  if (FGIFImage && FGIFImage->GlobalColorMap()->Count() > 0) return FGIFImage->GlobalColorMap();
  return &FColorMap;
}

void TGIFSubImage::SetBitmap(vcl::TBitmap* Value) {
  FreeBitmap();
  if (Value) TGIFItem::Assign(Value);
}

void TGIFSubImage::SetHasBitmap(bool Value) {
  if (Value) GetBitmap();
  else FreeBitmap();
}

bool TGIFSubImage::HasMask() {
  if (FNeedMask && FTransparent) {
    FreeBitmap();
    GetBitmap();
  }
  return static_cast<bool>(FMask);
}

void TGIFSubImage::FreeBitmap() { FBitmap.reset(); }

void TGIFSubImage::FreeMask() {
  FMask.Reset();
  FNeedMask = true;
}

void TGIFSubImage::SetPalette(HPALETTE Value) {
  if (Value == FLocalPalette.Get()) return;
  const bool bitmapDiffers = FBitmap && FBitmap->Palette() != Value;
  FLocalPalette.Reset(Value);
  if (bitmapDiffers) {
    FreeBitmap();
    if (FGIFImage) {
      FGIFImage->SetPaletteModified(true);
      FGIFImage->Changed(this);
    }
  }
}

void TGIFSubImage::LoadFromStream(vcl::TStream& Stream) {
  Clear();
  LoadParts(Stream);
}

void TGIFSubImage::LoadParts(vcl::TStream& Stream) {
  FExtensions.LoadFromStream(Stream, this);
  std::uint8_t b = 0;
  if (!ReadByte(Stream, b)) return;
  PutBack(Stream);
  if (b == kTrailer || b == 0) return;
  ReadExact(Stream, &FImageDescriptor, sizeof FImageDescriptor);
  if (Width() == 0 || Height() == 0) {
    SetHeight(FGIFImage ? FGIFImage->Height() : 0);
    SetWidth(FGIFImage ? FGIFImage->Width() : 0);
    Warning(gsWarning, res::sGIFScreenSizeExceeded);
  }
  if (FImageDescriptor.PackedFields & kColorTableFlag)
    FColorMap.LoadFromStream(Stream, 2 << (FImageDescriptor.PackedFields & kColorTableSizeMask));
  Decompress(Stream);
  if (GIFImageRenderOnLoad) GetBitmap();
}

void TGIFSubImage::Decompress(vcl::TStream& Stream) {
  struct TWarnings final : gifdetail::TGIFDecoderWarnings {
    explicit TWarnings(TGIFSubImage& frame) : Frame(frame) {}
    void DecoderWarning(const wchar_t* Message) override { Frame.Warning(gsWarning, Message); }
    TGIFSubImage& Frame;
  } warnings(*this);
  // Every pixel is written by the decoder, with data or with the fill value: no need to zero first.
  AllocateImage(false);
  const std::uint8_t fill = FTransparent && FGCE ? FGCE->TransparentColorIndex() : 0;
  const gifdetail::TGIFFrameBuffer frame{FData.get(), Width(), Height(), Interlaced(), fill};
  if (gifdetail::TGIFFrameStore* store = LoadingStore())
    store->Decoder().Decode(Stream, frame, warnings);
  else
    gifdetail::DecodeLZW(Stream, frame, warnings);
}

// ---- TGIFImageList ----

TGIFImageList::TGIFImageList(TGIFImage* Image) : TGIFList(Image) {}

TGIFImageList::~TGIFImageList() { Clear(); }

void TGIFImageList::SaveToStream(vcl::TStream&) { RaiseNotAvailable(); }

void TGIFImageList::LoadFromStream(vcl::TStream& Stream, vcl::TObject* Parent) {
  std::uint8_t b = 0;
  std::int64_t pixels = 0;  // held by the frames of this load
  if (!ReadBlockStart(Stream, b)) return;
  auto* const image = dynamic_cast<TGIFImage*>(Parent);
  const std::wstring loadingText = res::sGIFLoading;  // made once, not per frame
  gifdetail::TGIFFrameStore store;
  struct TLoading {
    TGIFImage* Image = nullptr;
    gifdetail::TGIFFrameStore* Before = nullptr;
    ~TLoading() {
      if (Image) Image->FLoading = Before;
    }
  } loading;
  while (b != kTrailer) {
    PutBack(Stream);
    if (b != kExtensionIntroducer && b != kImageSeparator) {
      Warning(gsWarning, res::sGIFUnknownBlockType);
      PutBack(Stream);
      return;
    }
    if (!image) throw vcl::EInvalidCast(sInvalidCast);
    if (!loading.Image) {
      loading.Image = image;
      loading.Before = image->FLoading;
      image->FLoading = &store;
    }
    std::unique_ptr<TGIFSubImage> frame(new (store) TGIFSubImage(image));
    frame->LoadParts(Stream);
    pixels += frame->DataSize();
    if (pixels > GIFMaxImagePixels) throw GIFException(TooLargeMessage(res::sGIFImageTooLarge, GIFMaxImagePixels));
    Add(frame.release());
    image->Progress(this, vcl::psRunning, PercentOf(Stream.Position(), Stream.Size()), GIFImageRenderOnLoad,
                    vcl::TRect{}, loadingText);
    if (!ReadBlockStart(Stream, b)) return;
  }
  PutBack(Stream);
}

// ---- TGIFTrailer ----

TGIFTrailer::TGIFTrailer(TGIFImage* GIFImage) : TGIFItem(GIFImage) {}

void TGIFTrailer::SaveToStream(vcl::TStream&) { RaiseNotAvailable(); }

void TGIFTrailer::LoadFromStream(vcl::TStream& Stream) {
  std::uint8_t b = 0;
  if (ReadByte(Stream, b) && b != kTrailer) Warning(gsWarning, res::sGIFInvalidTrailer);
}

// ---- TGIFImage ----

TGIFImage::TGIFImage() : FImages(std::make_unique<TGIFImageList>(this)), FHeader(std::make_unique<TGIFHeader>(this)) {
  NewImage();
}

TGIFImage::~TGIFImage() {
  Clear();
  FImages.reset();
  FHeader.reset();
  FGlobalPalette.Reset();
}

void TGIFImage::Assign(vcl::TPersistent*) { RaiseNotAvailable(); }
void TGIFImage::SetHeight(int) { RaiseNotAvailable(); }
void TGIFImage::SetWidth(int) { RaiseNotAvailable(); }
void TGIFImage::WriteData(vcl::TStream&) { RaiseNotAvailable(); }
void TGIFImage::SaveToStream(vcl::TStream&) { RaiseNotAvailable(); }

bool TGIFImage::Equals(vcl::TGraphic* Graphic) { return Graphic == this; }
bool TGIFImage::GetEmpty() { return FImages->Count() == 0; }
int TGIFImage::GetHeight() { return FHeader->Height(); }
int TGIFImage::GetWidth() { return FHeader->Width(); }

void TGIFImage::Warning(vcl::TObject* Sender, TGIFSeverity Severity, const std::wstring& Message) {
  if (FOnWarning) FOnWarning(Sender, Severity, Message);
}

void TGIFImage::Clear() {
  FreeBitmap();
  FImages->Clear();
  FHeader->ColorMap()->Clear();
  FHeader->FLogicalScreenDescriptor.ScreenWidth = 0;
  FHeader->FLogicalScreenDescriptor.ScreenHeight = 0;
  FHeader->Prepare();
  SetPalette(nullptr);
}

void TGIFImage::FreeBitmap() { FBitmap.reset(); }

void TGIFImage::SetPalette(HPALETTE Value) {
  if (Value == FGlobalPalette.Get()) return;
  const bool bitmapDiffers = FBitmap && FBitmap->Palette() != Value;
  FGlobalPalette.Reset(Value);
  if (bitmapDiffers) {
    FreeBitmap();
    SetPaletteModified(true);
    Changed(this);
  }
}

TGIFVersion TGIFImage::GetVersion() {
  TGIFVersion version = gvUnknown;
  for (int i = 0; i < FImages->Count(); ++i) {
    version = std::max(version, FImages->GetImage(i)->GetVersion());
    if (version > gv87a) break;
  }
  return version;
}

int TGIFImage::GetColorResolution() {
  int result = FHeader->ColorResolution();
  for (int i = 0; i < FImages->Count(); ++i) result = std::max(result, FImages->GetImage(i)->ColorResolution());
  return result;
}

int TGIFImage::GetBitsPerPixel() {
  int result = FHeader->BitsPerPixel();
  for (int i = 0; i < FImages->Count(); ++i) result = std::max(result, FImages->GetImage(i)->BitsPerPixel());
  return result;
}

bool TGIFImage::GetIsTransparent() {
  for (int i = 0; i < FImages->Count(); ++i) {
    TGIFGraphicControlExtension* gce = FImages->GetImage(i)->GraphicControlExtension();
    if (gce && gce->Transparent()) return true;
  }
  return false;
}

void TGIFImage::LoadFromStream(vcl::TStream& Stream) {
  Progress(this, vcl::psStarting, 0, false, vcl::TRect{}, res::sGIFLoading);
  try {
    Clear();
    FHeader->LoadFromStream(Stream);
    FImages->LoadFromStream(Stream, this);
    TGIFTrailer trailer(this);
    trailer.LoadFromStream(Stream);
  } catch (...) {
    Progress(this, vcl::psEnding, 0, true, vcl::TRect{}, res::sGIFLoading);
    throw;
  }
  Progress(this, vcl::psEnding, 100, true, vcl::TRect{}, res::sGIFLoading);
}

}  // namespace kestrix
