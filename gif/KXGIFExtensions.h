#pragma once
// GIF89a extension blocks, read into objects of the frame that follows them, and the two
// registries that choose their classes: label byte -> extension class, and application
// identifier -> application extension class.
#include <cstdint>
#include <memory>
#include <string>

#include "gif/KXGIFBase.h"
#include "gif/KXGIFFrameStore.h"

namespace kestrix {

class TGIFExtension;
class TGIFExtensionMeta;
class TGIFColorMap;

// A class reference: the class of an extension, able to create instances and to answer the class
// function FindSubExtension.
using TGIFExtensionClass = const TGIFExtensionMeta*;
using TGIFAppExtensionClass = const TGIFExtensionMeta*;

class KX_API TGIFExtensionMeta {
 public:
  using TFactory = TGIFExtension* (*)(TGIFSubImage* ASubImage);
  // The class function: Self is the class it is called on, Stream stands as the previous call left it.
  using TSubFinder = TGIFExtensionClass (*)(TGIFExtensionClass Self, vcl::TStream& Stream);

  // A class derived from AParent (nil for the root); a nil AFindSub inherits the parent's.
  TGIFExtensionMeta(TGIFExtensionClass AParent, TFactory ACreate, TSubFinder AFindSub = nullptr);

  TGIFExtension* Create(TGIFSubImage* ASubImage) const { return FCreate(ASubImage); }
  TGIFExtensionClass FindSubExtension(vcl::TStream& Stream) const { return FFindSub(this, Stream); }
  // True for this class and its descendants.
  bool InheritsFrom(TGIFExtensionClass Ancestor) const;
  TGIFExtensionClass Parent() const { return FParent; }

 private:
  TGIFExtensionClass FParent;
  TFactory FCreate;
  TSubFinder FFindSub;
};

// ---- stream records ----

#pragma pack(push, 1)
struct TGIFGCERec {
  std::uint8_t BlockSize;
  std::uint8_t PackedFields;
  std::uint16_t DelayTime;
  std::uint8_t TransparentColorIndex;
  std::uint8_t Terminator;
};
struct TGIFPlainTextExtensionRec {
  std::uint8_t BlockSize;
  std::uint16_t Left;
  std::uint16_t Top;
  std::uint16_t Width;
  std::uint16_t Height;
  std::uint8_t CellWidth;
  std::uint8_t CellHeight;
  std::uint8_t TextFGColorIndex;
  std::uint8_t TextBGColorIndex;
};
struct TGIFApplicationRec {
  char Identifier[8];
  char Authentication[3];
};
#pragma pack(pop)
static_assert(sizeof(TGIFGCERec) == 6 && sizeof(TGIFPlainTextExtensionRec) == 13 && sizeof(TGIFApplicationRec) == 11);

enum TDisposalMethod : std::uint8_t { dmNone, dmNoDisposal, dmBackground, dmPrevious };

// ---- extensions ----

// An extension block of a frame. Its destructor takes it out of the frame's extension list.
class KX_API TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* ASubImage);
  ~TGIFExtension() override;
  // The extensions a load reads live in its slabs beside their frames; others on the heap.
  // Either way delete frees them.
  static void* operator new(std::size_t Size) { return gifdetail::AllocateObjectBlock(Size, nullptr); }
  static void* operator new(std::size_t Size, gifdetail::TGIFFrameStore& Store) {
    return gifdetail::AllocateObjectBlock(Size, &Store);
  }
  static void operator delete(void* Block) noexcept { gifdetail::FreeObjectBlock(Block); }
  static void operator delete(void* Block, gifdetail::TGIFFrameStore&) noexcept { gifdetail::FreeObjectBlock(Block); }

  static TGIFExtensionClass StaticClass();
  // The label byte that introduces this kind of extension.
  virtual std::uint8_t GetExtensionType() = 0;
  TGIFVersion GetVersion() override { return gv89a; }
  // Unsupported: raises GIFException.
  void SaveToStream(vcl::TStream& Stream) override;
  // Reads and checks the introducer and the label; descendants then read their data.
  void LoadFromStream(vcl::TStream& Stream) override;

  // Registers a class for a label; a later registration of the same label wins.
  static void RegisterExtension(std::uint8_t eLabel, TGIFExtensionClass eClass);
  // With the stream just after a "!": the class for the extension that follows (nil when the
  // label is unknown or missing); the stream is left where it was.
  static TGIFExtensionClass FindExtension(vcl::TStream& Stream);
  std::uint8_t DoReadFromStream(vcl::TStream& Stream);

  std::uint8_t ExtensionType() { return GetExtensionType(); }
  TGIFSubImage* SubImage() const { return FSubImage; }

 protected:
  TGIFSubImage* FSubImage;  // not owned
};

class KX_API TGIFGraphicControlExtension : public TGIFExtension {
 public:
  // The first graphic control extension created for a frame becomes its GraphicControlExtension.
  explicit TGIFGraphicControlExtension(TGIFSubImage* ASubImage);
  ~TGIFGraphicControlExtension() override;

  static TGIFExtensionClass StaticClass();
  std::uint8_t GetExtensionType() override { return 0xF9; }
  void SaveToStream(vcl::TStream& Stream) override;
  void LoadFromStream(vcl::TStream& Stream) override;

  // Hundredths of a second, as stored.
  std::uint16_t Delay() const { return FGCExtension.DelayTime; }
  void SetDelay(std::uint16_t Value) { FGCExtension.DelayTime = Value; }
  bool Transparent() const { return (FGCExtension.PackedFields & 0x01) != 0; }
  void SetTransparent(bool Value);
  std::uint8_t TransparentColorIndex() const { return FGCExtension.TransparentColorIndex; }
  void SetTransparentColorIndex(std::uint8_t Value);
  vcl::TColor TransparentColor();
  void SetTransparentColor(vcl::TColor Color);
  bool UserInput() const { return (FGCExtension.PackedFields & 0x02) != 0; }
  void SetUserInput(bool Value);
  TDisposalMethod Disposal() const { return static_cast<TDisposalMethod>((FGCExtension.PackedFields >> 2) & 0x07); }
  void SetDisposal(TDisposalMethod Value);
  const TGIFGCERec& Record() const { return FGCExtension; }

 private:
  TGIFGCERec FGCExtension{};
};

class KX_API TGIFTextExtension : public TGIFExtension {
 public:
  explicit TGIFTextExtension(TGIFSubImage* ASubImage);
  ~TGIFTextExtension() override;

  static TGIFExtensionClass StaticClass();
  std::uint8_t GetExtensionType() override { return 0x01; }
  void SaveToStream(vcl::TStream& Stream) override;
  void LoadFromStream(vcl::TStream& Stream) override;

  std::uint16_t Left() const { return FPlainTextExtension.Left; }
  void SetLeft(std::uint16_t Value) { FPlainTextExtension.Left = Value; }
  std::uint16_t Top() const { return FPlainTextExtension.Top; }
  void SetTop(std::uint16_t Value) { FPlainTextExtension.Top = Value; }
  std::uint16_t GridWidth() const { return FPlainTextExtension.Width; }
  void SetGridWidth(std::uint16_t Value) { FPlainTextExtension.Width = Value; }
  std::uint16_t GridHeight() const { return FPlainTextExtension.Height; }
  void SetGridHeight(std::uint16_t Value) { FPlainTextExtension.Height = Value; }
  std::uint8_t CharWidth() const { return FPlainTextExtension.CellWidth; }
  void SetCharWidth(std::uint8_t Value) { FPlainTextExtension.CellWidth = Value; }
  std::uint8_t CharHeight() const { return FPlainTextExtension.CellHeight; }
  void SetCharHeight(std::uint8_t Value) { FPlainTextExtension.CellHeight = Value; }
  std::uint8_t ForegroundColorIndex() const { return FPlainTextExtension.TextFGColorIndex; }
  void SetForegroundColorIndex(std::uint8_t Value) { FPlainTextExtension.TextFGColorIndex = Value; }
  std::uint8_t BackgroundColorIndex() const { return FPlainTextExtension.TextBGColorIndex; }
  void SetBackgroundColorIndex(std::uint8_t Value) { FPlainTextExtension.TextBGColorIndex = Value; }
  // Read from the frame's local map, written through its active map.
  vcl::TColor ForegroundColor();
  void SetForegroundColor(vcl::TColor Color);
  // Read from the frame's active map, written through its local map.
  vcl::TColor BackgroundColor();
  void SetBackgroundColor(vcl::TColor Color);
  // One line per text sub-block.
  vcl::TStringList* Text() const { return FText.get(); }
  const TGIFPlainTextExtensionRec& Record() const { return FPlainTextExtension; }

 private:
  std::unique_ptr<vcl::TStringList> FText;
  TGIFPlainTextExtensionRec FPlainTextExtension{};
};

class KX_API TGIFCommentExtension : public TGIFExtension {
 public:
  explicit TGIFCommentExtension(TGIFSubImage* ASubImage);
  ~TGIFCommentExtension() override;

  static TGIFExtensionClass StaticClass();
  std::uint8_t GetExtensionType() override { return 0xFE; }
  void SaveToStream(vcl::TStream& Stream) override;
  void LoadFromStream(vcl::TStream& Stream) override;
  // One line per comment sub-block.
  vcl::TStringList* Text() const { return FText.get(); }

 private:
  std::unique_ptr<vcl::TStringList> FText;
};

// An application extension. The data reader and writer belong to descendants; this class's own
// raise EAbstractError.
class KX_API TGIFApplicationExtension : public TGIFExtension {
 public:
  explicit TGIFApplicationExtension(TGIFSubImage* ASubImage);

  static TGIFExtensionClass StaticClass();
  std::uint8_t GetExtensionType() override { return 0xFF; }
  void SaveToStream(vcl::TStream& Stream) override;
  void LoadFromStream(vcl::TStream& Stream) override;
  virtual void SaveData(vcl::TStream& Stream);
  virtual void LoadData(vcl::TStream& Stream);

  // Registers an application class for an identifier and authentication code (all 11 bytes
  // compared); a later registration wins.
  static void RegisterExtension(const TGIFApplicationRec& eIdent, TGIFAppExtensionClass eClass);

  // The characters up to the first zero byte.
  std::string Identifier() const;
  std::string Authentication() const;
  // Pads the field with spaces when Value is shorter, then copies at most 8 (3) characters.
  void SetIdentifier(const std::string& Value);
  void SetAuthentication(const std::string& Value);
  const TGIFApplicationRec& Ident() const { return FIdent; }

 protected:
  TGIFApplicationRec FIdent{};
};

// A data sub-block of an unknown application extension.
class KX_API TGIFBlock : public vcl::TObject {
 public:
  // ASize bytes, all 0.
  explicit TGIFBlock(std::uint8_t ASize);
  void LoadFromStream(vcl::TStream& Stream);
  // Unsupported: raises GIFException.
  void SaveToStream(vcl::TStream& Stream);
  std::uint8_t Size() const { return FSize; }
  std::uint8_t* Data() const { return FData.get(); }

 private:
  std::uint8_t FSize;
  std::unique_ptr<std::uint8_t[]> FData;
};

class KX_API TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  explicit TGIFUnknownAppExtension(TGIFSubImage* ASubImage);
  ~TGIFUnknownAppExtension() override;

  static TGIFExtensionClass StaticClass();
  // Unsupported: raises GIFException.
  void SaveData(vcl::TStream& Stream) override;
  void LoadData(vcl::TStream& Stream) override;
  // The data sub-blocks in stream order, as TGIFBlock objects owned by the extension.
  vcl::TList* Blocks() { return &FBlocks; }

 private:
  void ClearBlocks();
  vcl::TList FBlocks;
};

// The looping extension ("NETSCAPE2.0", "ANIMEXTS1.0"): a loop count and a buffer size.
class KX_API TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* ASubImage);

  static TGIFExtensionClass StaticClass();
  void SaveData(vcl::TStream& Stream) override;
  void LoadData(vcl::TStream& Stream) override;
  std::uint16_t Loops() const { return FLoops; }
  void SetLoops(std::uint16_t Value) { FLoops = Value; }
  std::int32_t BufferSize() const { return FBufferSize; }
  void SetBufferSize(std::int32_t Value) { FBufferSize = Value; }

 private:
  std::uint16_t FLoops = 0;
  std::int32_t FBufferSize = 0;
};

// The extensions in front of one image, in stream order.
class KX_API TGIFExtensionList : public TGIFList {
 public:
  explicit TGIFExtensionList(TGIFImage* Image);
  ~TGIFExtensionList() override;
  // Reads every extension block in front of an image; Parent must be the TGIFSubImage they
  // belong to. Stops on the first byte that is not "!".
  void LoadFromStream(vcl::TStream& Stream, vcl::TObject* Parent) override;
  TGIFExtension* GetExtension(int Index) const;
  void SetExtension(int Index, TGIFExtension* Extension) { SetItem(Index, Extension); }
};

// ---- registries ----

// Label byte -> extension class. Searched from the last registration to the first.
class KX_API TExtensionList : public vcl::TList {
 public:
  // Registers the four standard labels: 0x01 text, 0xF9 graphic control, 0xFE comment,
  // 0xFF application.
  TExtensionList();
  ~TExtensionList() override;
  void Clear() override;
  void Add(std::uint8_t eLabel, TGIFExtensionClass eClass);
  TGIFExtensionClass FindExt(std::uint8_t eLabel) const;
  // Drops every registration of eClass and of classes derived from it.
  void Remove(TGIFExtensionClass eClass);
};

// Application identifier and authentication code -> application extension class.
class KX_API TAppExtensionList : public vcl::TList {
 public:
  // Registers "NETSCAPE2.0" and "ANIMEXTS1.0" for the looping extension.
  TAppExtensionList();
  ~TAppExtensionList() override;
  void Clear() override;
  void Add(const TGIFApplicationRec& eIdent, TGIFAppExtensionClass eClass);
  TGIFAppExtensionClass FindExt(const TGIFApplicationRec& eIdent) const;
  void Remove(TGIFAppExtensionClass eClass);
};

// The process-wide registries, created on first use and freed when the unit shuts down. They are
// not guarded: register classes before loading images on other threads.
KX_API TExtensionList* ExtensionRegistry();
KX_API TAppExtensionList* AppExtensionRegistry();

namespace gifdetail {
void FreeExtensionRegistries();
}

}  // namespace kestrix
