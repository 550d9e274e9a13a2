#pragma once
// KXGIFImage: the GIF reader. TGIFImage reads GIF87a and GIF89a streams into a tree of header,
// frames, colour maps and extensions, and renders its first frame as a framework bitmap. It reads
// only: every operation that would write, resize or take in another graphic raises GIFException.
//
// Ownership: the image owns its header (which owns the global colour map) and its frame list; each
// frame owns its local colour map, its extensions, its index buffer and its rendered bitmap, mask
// and palette (caches dropped whenever bounds or colours change). Back references are not owned.
#include <cstdint>
#include <memory>
#include <string>

#include "gif/KXGIFBase.h"
#include "gif/KXGIFColorMap.h"
#include "gif/KXGIFExtensions.h"
#include "gif/KXGIFFrameStore.h"

namespace kestrix {

#pragma pack(push, 1)
// The 7 bytes after the 6-byte signature and version.
struct TLogicalScreenDescriptor {
  std::uint16_t ScreenWidth;
  std::uint16_t ScreenHeight;
  std::uint8_t PackedFields;
  std::uint8_t BackgroundColorIndex;
  std::uint8_t AspectRatio;
};
// The 10 bytes of an image descriptor, separator included.
struct TImageDescriptor {
  std::uint8_t Separator;
  std::uint16_t Left;
  std::uint16_t Top;
  std::uint16_t Width;
  std::uint16_t Height;
  std::uint8_t PackedFields;
};
#pragma pack(pop)
static_assert(sizeof(TLogicalScreenDescriptor) == 7 && sizeof(TImageDescriptor) == 10);

// The largest frame the reader accepts, in pixels (16384 x 16384). A larger frame is refused with a
// GIFException before its index buffer is allocated, so that a few bytes cannot claim gigabytes.
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
inline constexpr std::int64_t GIFMaxFramePixels = std::int64_t(1) << 18;  // keeps fuzzing inside its memory limit
#else
inline constexpr std::int64_t GIFMaxFramePixels = std::int64_t(1) << 28;
#endif

// ---- globals ----

// The most pixels all frames of one image may hold together while it is read (default 2^30, one
// GiB of indices; far beyond real animations). The frame that passes it is refused with a
// GIFException, so that a small file of many large frames cannot claim all memory; frames read
// before it stay. Applications that expect larger images may raise it.
KX_API extern std::int64_t GIFMaxImagePixels;

// When true, each frame is rendered right after it is read, and loading progress asks for redraws.
KX_API extern bool GIFImageRenderOnLoad;
// Version texts, indexed by version - gv87a ("87a", "89a"); the reader does not consult them.
KX_API extern const TGIFVersionRec GIFVersions[2];
// Animation timing defaults, kept for applications; the reader does not use them.
KX_API extern int GIFDelayExp;
KX_API extern int GIFDefaultDelay;
KX_API extern int GIFMinimumDelay;
KX_API extern int GIFMaximumDelay;
// No clipboard format is registered for GIF images: this stays 0.
KX_API extern std::uint16_t CF_GIF;

// The unit's start-up and shut-down; the shut-down frees the extension registries.
KX_API void KXGIFImageStartup();
KX_API void KXGIFImageShutdown();

// ---- header ----

class KX_API TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* GIFImage);
  ~TGIFHeader() override;

  // From a header: its colour map and descriptor; from a colour map: a cleared header with that map.
  void Assign(vcl::TPersistent* Source) override;
  // gv89a when the colour map is marked optimised or an aspect ratio is given.
  TGIFVersion GetVersion() override;
  // Unsupported: raises GIFException.
  void SaveToStream(vcl::TStream& Stream) override;
  // Signature (also found 4 bytes further on), logical screen descriptor, global colour table.
  void LoadFromStream(vcl::TStream& Stream) override;
  void Clear();
  // Recomputes PackedFields from the colour map and the image's colour resolution and depth.
  void Prepare();

  int Width() const { return FLogicalScreenDescriptor.ScreenWidth; }
  int Height() const { return FLogicalScreenDescriptor.ScreenHeight; }
  std::uint8_t BackgroundColorIndex() const { return FLogicalScreenDescriptor.BackgroundColorIndex; }
  // An index outside a non-empty map warns "Invalid color index" and stores 0.
  void SetBackgroundColorIndex(std::uint8_t Value);
  vcl::TColor GetBackgroundColor();
  void SetBackgroundColor(vcl::TColor Color);
  std::uint8_t AspectRatio() const { return FLogicalScreenDescriptor.AspectRatio; }
  void SetAspectRatio(std::uint8_t Value) { FLogicalScreenDescriptor.AspectRatio = Value; }
  TGIFColorMap* ColorMap() const { return FColorMap.get(); }
  int BitsPerPixel() const { return FColorMap->GetBitsPerPixel(); }
  int ColorResolution() const { return FColorMap->GetBitsPerPixel() - 1; }
  const TLogicalScreenDescriptor& LogicalScreenDescriptor() const { return FLogicalScreenDescriptor; }

 private:
  friend class TGIFImage;

  TLogicalScreenDescriptor FLogicalScreenDescriptor{};
  std::unique_ptr<TGIFGlobalColorMap> FColorMap;
};

// ---- frames ----

// One frame: the extensions in front of its image, its descriptor, its local colour map and its
// index buffer (Width x Height bytes, top row first).
class KX_API TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* GIFImage);
  // Frames a load makes live in its slabs beside their index buffers (a long animation then
  // allocates nothing frame by frame); others on the heap. Either way delete frees them.
  static void* operator new(std::size_t Size) { return gifdetail::AllocateObjectBlock(Size, nullptr); }
  static void* operator new(std::size_t Size, gifdetail::TGIFFrameStore& Store) {
    return gifdetail::AllocateObjectBlock(Size, &Store);
  }
  static void operator delete(void* Block) noexcept { gifdetail::FreeObjectBlock(Block); }
  static void operator delete(void* Block, gifdetail::TGIFFrameStore&) noexcept { gifdetail::FreeObjectBlock(Block); }
  // While a load makes this frame, where it allocates the frame's parts; null otherwise.
  gifdetail::TGIFFrameStore* LoadingStore() const;
  // Takes the frame out of its image's frame list (without freeing it there), then frees it.
  ~TGIFSubImage() override;

  // gv89a with an optimised local map or any extension, else gv87a.
  TGIFVersion GetVersion() override;
  // Unsupported: raises GIFException.
  void SaveToStream(vcl::TStream& Stream) override;
  // Extensions, descriptor, local colour table and image data; a frame without image data (only
  // extensions before the trailer) stays empty.
  void LoadFromStream(vcl::TStream& Stream) override;
  // Empties the frame: extensions, colour map, pixels, bitmap and mask; size 0 x 0.
  void Clear();
  // Decodes the LZW image data at the stream's position into a new index buffer.
  void Decompress(vcl::TStream& Stream);

  // A new zero-filled buffer of Width x Height bytes (none for 0 pixels). A frame above
  // GIFMaxFramePixels raises GIFException.
  void NewImage();
  void FreeImage();
  // NewImage when there is no buffer; "Image is empty" for a frame of 0 pixels.
  void NeedImage();
  bool GetEmpty() const;

  // Colour index at (X, Y); "Invalid pixel coordinates" outside the frame.
  std::uint8_t GetPixel(int X, int Y);
  // Row Y of the index buffer; "Invalid pixel coordinates" outside the frame.
  std::uint8_t* GetScanline(int Y);

  int Left() const { return FImageDescriptor.Left; }
  int Top() const { return FImageDescriptor.Top; }
  int Width() const { return FImageDescriptor.Width; }
  int Height() const { return FImageDescriptor.Height; }
  // Index 1 Left, 2 Top, 3 Width, 4 Height. A new size drops the bitmap, mask and pixels and
  // allocates new pixels; a frame growing past the logical screen warns and then raises, since
  // the image cannot be resized.
  void SetBounds(int Index, int Value);
  void SetLeft(int Value) { SetBounds(1, Value); }
  void SetTop(int Value) { SetBounds(2, Value); }
  void SetWidth(int Value) { SetBounds(3, Value); }
  void SetHeight(int Value) { SetBounds(4, Value); }
  // (Left, Top, Left + Width, Top + Height).
  vcl::TRect GetBoundsRect() const;
  // Takes R as inclusive: width = Right - Left + 1, height = Bottom - Top + 1.
  void SetBoundsRect(const vcl::TRect& R);
  vcl::TRect GetClientRect() const;
  bool Interlaced() const { return (FImageDescriptor.PackedFields & 0x40) != 0; }
  void SetInterlaced(bool Value);

  TGIFColorMap* ColorMap() const { return &FColorMap; }
  // The local map when it has entries, else the global one when that has entries, else the local.
  TGIFColorMap* GetActiveColorMap() const;
  std::uint8_t* Data() const { return FData.get(); }
  int DataSize() const { return FDataSize; }
  TGIFExtensionList* Extensions() const { return &FExtensions; }
  int ColorResolution() const { return FColorMap.GetBitsPerPixel() - 1; }
  int BitsPerPixel() const { return FColorMap.GetBitsPerPixel(); }
  const TImageDescriptor& ImageDescriptor() const { return FImageDescriptor; }
  bool Transparent() const { return FTransparent; }
  // The first graphic control extension created for this frame, or nil.
  TGIFGraphicControlExtension* GraphicControlExtension() const { return FGCE; }

  // Rendering (the native build renders nothing: no bitmap, no mask, no palette).
  // The frame rendered as an 8-bit bitmap (nil for an empty frame), built on first request and
  // kept; the frame owns it.
  vcl::TBitmap* GetBitmap();
  // Frees the bitmap; a non-nil Value is refused by the framework's assignment error.
  void SetBitmap(vcl::TBitmap* Value);
  bool HasBitmap() const { return FBitmap != nullptr; }
  void SetHasBitmap(bool Value);
  // The transparency mask (1 bpp, bit 1 = transparent), built with the bitmap; owned by the frame.
  HBITMAP Mask() const { return FMask.Get(); }
  bool HasMask();
  // The palette the frame renders with (owned by the frame or the image).
  HPALETTE GetPalette();
  // Takes ownership of Value; a change drops the rendered bitmap.
  void SetPalette(HPALETTE Value);
  void FreeBitmap();
  void FreeMask();

 protected:
  // To a TBitmap: the rendered frame; otherwise the framework's conversion error.
  void AssignTo(vcl::TPersistent* Dest) override;

 private:
  friend class TGIFGraphicControlExtension;
  friend class TGIFImage;
  friend class TGIFImageList;

  // LoadFromStream into a frame that holds nothing yet, as a load's new frames do.
  void LoadParts(vcl::TStream& Stream);

  void DoSetBounds(int NewLeft, int NewTop, int NewWidth, int NewHeight, bool CheckScreen = true);
  vcl::TBitmap* DoGetBitmap();
  void AllocateImage(bool ZeroFill);

  std::unique_ptr<vcl::TBitmap> FBitmap;
  vcl::TUniqueBitmap FMask;
  bool FNeedMask = true;
  vcl::TUniquePalette FLocalPalette;
  gifdetail::TPixelBuffer FData;
  int FDataSize = 0;
  // Parts of the frame rather than objects of their own (one allocation less each, per frame). The
  // destructor empties both first; the map's last Changed then finds the palette already gone.
  mutable TGIFLocalColorMap FColorMap;
  TImageDescriptor FImageDescriptor{};
  mutable TGIFExtensionList FExtensions;
  bool FTransparent = false;
  TGIFGraphicControlExtension* FGCE = nullptr;  // one of FExtensions
};

class KX_API TGIFImageList : public TGIFList {
 public:
  explicit TGIFImageList(TGIFImage* Image);
  ~TGIFImageList() override;
  // The block loop: frames until the trailer, the end of the stream or an unknown block. Parent
  // must be the TGIFImage (EInvalidCast otherwise).
  void LoadFromStream(vcl::TStream& Stream, vcl::TObject* Parent) override;
  // Unsupported: raises GIFException.
  void SaveToStream(vcl::TStream& Stream) override;
  TGIFSubImage* GetImage(int Index) const { return static_cast<TGIFSubImage*>(GetItem(Index)); }
  void SetImage(int Index, TGIFSubImage* SubImage) { SetItem(Index, SubImage); }
};

// The trailer check at the end of a load.
class KX_API TGIFTrailer : public TGIFItem {
 public:
  explicit TGIFTrailer(TGIFImage* GIFImage);
  // Unsupported: raises GIFException.
  void SaveToStream(vcl::TStream& Stream) override;
  // Reads one byte: anything but ";" warns "Invalid Image trailer"; a missing byte is accepted.
  void LoadFromStream(vcl::TStream& Stream) override;
};

// ---- the image ----

class KX_API TGIFImage : public vcl::TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;

  vcl::TGraphic* NewGraphic() const override { return new TGIFImage(); }
  // Unsupported: raises GIFException.
  void Assign(vcl::TPersistent* Source) override;
  // Draws the first frame's bitmap stretched into Rect; nothing for an image without frames.
  void Draw(vcl::TCanvas* ACanvas, const vcl::TRect& Rect) override;
  // True only for this very object.
  bool Equals(vcl::TGraphic* Graphic) override;
  // Unsupported: raise GIFException.
  void SetHeight(int Value) override;
  void SetWidth(int Value) override;
  void WriteData(vcl::TStream& Stream) override;
  void SaveToStream(vcl::TStream& Stream) override;
  // Reads the whole image, replacing what was loaded before. Errors raise GIFException (frames
  // read before the error stay); warnings go to OnWarning. Progress: "Loading...".
  void LoadFromStream(vcl::TStream& Stream) override;
  // Takes ownership of Value; a change drops the rendered bitmap and reports the change.
  void SetPalette(HPALETTE Value) override;

  // Routes every warning of the tree to OnWarning.
  virtual void Warning(vcl::TObject* Sender, TGIFSeverity Severity, const std::wstring& Message);

  void Clear();
  void NewImage() { Clear(); }
  // The first frame rendered as a bitmap (empty when the first frame is empty); nil for an image
  // without frames. The image owns it.
  vcl::TBitmap* GetBitmap();
  // The image's bitmap, made at the logical screen size when there is none yet.
  vcl::TBitmap* NewBitmap();
  void FreeBitmap();
  TGIFColorMap* GetColorMap() const { return FHeader->ColorMap(); }
  // The highest version among the frames (the header's not counted); gvUnknown without frames.
  TGIFVersion GetVersion();
  int GetColorResolution();
  int GetBitsPerPixel();
  // True when a frame's graphic control extension marks a transparent colour.
  bool GetIsTransparent();
  std::uint8_t GetBackgroundColorIndex() const { return FHeader->BackgroundColorIndex(); }
  void SetBackgroundColorIndex(std::uint8_t Value) { FHeader->SetBackgroundColorIndex(Value); }
  vcl::TColor GetBackgroundColor() { return FHeader->GetBackgroundColor(); }
  void SetBackgroundColor(vcl::TColor Value) { FHeader->SetBackgroundColor(Value); }
  std::uint8_t GetAspectRatio() const { return FHeader->AspectRatio(); }
  void SetAspectRatio(std::uint8_t Value) { FHeader->SetAspectRatio(Value); }

  TGIFColorMap* GlobalColorMap() const { return FHeader->ColorMap(); }
  TGIFImageList* Images() const { return FImages.get(); }
  TGIFHeader* Header() const { return FHeader.get(); }
  const TGIFWarning& OnWarning() const { return FOnWarning; }
  void SetOnWarning(TGIFWarning Value) { FOnWarning = std::move(Value); }

 protected:
  // To a TBitmap: the first frame; otherwise the framework's conversion error.
  void AssignTo(vcl::TPersistent* Dest) override;
  bool GetEmpty() override;
  int GetHeight() override;
  int GetWidth() override;
  HPALETTE GetPalette() override;

 private:
  friend class TGIFSubImage;
  friend class TGIFImageList;

  bool IsInsideGetPalette = false;
  // While the frame list loads: what its frames share (their decoder, the slabs of their pixels).
  gifdetail::TGIFFrameStore* FLoading = nullptr;
  std::unique_ptr<TGIFImageList> FImages;
  std::unique_ptr<TGIFHeader> FHeader;
  vcl::TUniquePalette FGlobalPalette;
  TGIFWarning FOnWarning;
  std::unique_ptr<vcl::TBitmap> FBitmap;
};

}  // namespace kestrix

#if defined(_WIN32)
#include "gif/KXGIFDIB.h"
#endif
