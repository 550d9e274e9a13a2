#include "gif/KXGIFExtensions.h"

#include <algorithm>
#include <cstring>

#include "gif/KXGIFConsts.h"
#include "gif/KXGIFImage.h"

namespace kestrix {

using gifdetail::PutBack;
using gifdetail::ReadByte;
using gifdetail::ReadExact;

namespace {

enum : std::uint8_t {
  kExtensionIntroducer = 0x21,  // "!"
  kImageSeparator = 0x2C,       // ","
  kTrailer = 0x3B,              // ";"
  kAppBlockSize = 11,
  kShortAppBlockSize = 10,
  kLoopSubBlockId = 1,
  kBufferSubBlockId = 2,
};

const wchar_t* const sAbstractError = L"Abstract error";
const wchar_t* const sInvalidCast = L"Invalid class typecast";

// A single byte where the stream may end: 0 then, which ends every sub-block loop.
std::uint8_t ReadByteOrZero(vcl::TStream& Stream) {
  std::uint8_t value = 0;
  return ReadByte(Stream, value) ? value : 0;
}

// Text sub-blocks, one line each: the bytes up to the first zero, as Latin-1 characters.
void ReadTextBlocks(vcl::TStream& Stream, vcl::TStringList& Strings) {
  Strings.Clear();
  std::uint8_t length = 0;
  if (!ReadByte(Stream, length)) return;
  std::uint8_t block[255];
  while (length != 0) {
    ReadExact(Stream, block, length);
    std::wstring line;
    for (int i = 0; i < length && block[i] != 0; ++i) line.push_back(static_cast<wchar_t>(block[i]));
    Strings.Add(line);
    if (!ReadByte(Stream, length)) return;
  }
}

template <class T>
TGIFExtension* Construct(TGIFSubImage* ASubImage) {
  if (gifdetail::TGIFFrameStore* store = ASubImage ? ASubImage->LoadingStore() : nullptr) return new (*store) T(ASubImage);
  return new T(ASubImage);
}

TGIFExtensionClass SelfFinder(TGIFExtensionClass Self, vcl::TStream&) { return Self; }

TGIFExtensionClass ApplicationFinder(TGIFExtensionClass Self, vcl::TStream& Stream) {
  std::int64_t start = Stream.Position();
  std::uint8_t size = 0;
  if (!ReadByte(Stream, size)) return nullptr;
  TGIFApplicationRec ident{};
  if (size == kShortAppBlockSize)
    return Stream.Read(&ident, kShortAppBlockSize) == kShortAppBlockSize ? TGIFUnknownAppExtension::StaticClass() : nullptr;
  if (size != kAppBlockSize || Stream.Read(&ident, kAppBlockSize) != kAppBlockSize) {
    Stream.SetPosition(start);
    return Self;
  }
  TGIFAppExtensionClass found = AppExtensionRegistry()->FindExt(ident);
  return found ? found : TGIFUnknownAppExtension::StaticClass();
}

TExtensionList* extensionRegistry = nullptr;
TAppExtensionList* appExtensionRegistry = nullptr;

struct TExtensionRec {
  TGIFExtensionClass Class;
  std::uint8_t Label;
};

struct TAppExtensionRec {
  TGIFAppExtensionClass Class;
  TGIFApplicationRec Ident;
};

TGIFApplicationRec MakeIdent(const char (&identifier)[9], const char (&authentication)[4]) {
  TGIFApplicationRec rec;
  std::memcpy(rec.Identifier, identifier, sizeof rec.Identifier);
  std::memcpy(rec.Authentication, authentication, sizeof rec.Authentication);
  return rec;
}

// Characters of a fixed field up to its first zero byte.
std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

void SetFieldText(char* field, size_t size, const std::string& value) {
  if (value.size() < size) std::memset(field, ' ', size);
  std::memcpy(field, value.data(), std::min(size, value.size()));
}

}  // namespace

// ---- class references ----

TGIFExtensionMeta::TGIFExtensionMeta(TGIFExtensionClass AParent, TFactory ACreate, TSubFinder AFindSub)
    : FParent(AParent), FCreate(ACreate), FFindSub(AFindSub ? AFindSub : AParent ? AParent->FFindSub : SelfFinder) {}

bool TGIFExtensionMeta::InheritsFrom(TGIFExtensionClass Ancestor) const {
  for (TGIFExtensionClass c = this; c; c = c->FParent)
    if (c == Ancestor) return true;
  return false;
}

TGIFExtensionClass TGIFExtension::StaticClass() {
  static const TGIFExtensionMeta meta(
      nullptr, [](TGIFSubImage*) -> TGIFExtension* { throw vcl::EAbstractError(sAbstractError); }, SelfFinder);
  return &meta;
}

TGIFExtensionClass TGIFGraphicControlExtension::StaticClass() {
  static const TGIFExtensionMeta meta(TGIFExtension::StaticClass(), Construct<TGIFGraphicControlExtension>);
  return &meta;
}

TGIFExtensionClass TGIFTextExtension::StaticClass() {
  static const TGIFExtensionMeta meta(TGIFExtension::StaticClass(), Construct<TGIFTextExtension>);
  return &meta;
}

TGIFExtensionClass TGIFCommentExtension::StaticClass() {
  static const TGIFExtensionMeta meta(TGIFExtension::StaticClass(), Construct<TGIFCommentExtension>);
  return &meta;
}

TGIFExtensionClass TGIFApplicationExtension::StaticClass() {
  static const TGIFExtensionMeta meta(TGIFExtension::StaticClass(), Construct<TGIFApplicationExtension>, ApplicationFinder);
  return &meta;
}

TGIFExtensionClass TGIFUnknownAppExtension::StaticClass() {
  static const TGIFExtensionMeta meta(TGIFApplicationExtension::StaticClass(), Construct<TGIFUnknownAppExtension>);
  return &meta;
}

TGIFExtensionClass TGIFAppExtNSLoop::StaticClass() {
  static const TGIFExtensionMeta meta(TGIFApplicationExtension::StaticClass(), Construct<TGIFAppExtNSLoop>);
  return &meta;
}

// ---- TGIFExtension ----

TGIFExtension::TGIFExtension(TGIFSubImage* ASubImage)
    : TGIFItem(ASubImage ? ASubImage->Image() : nullptr), FSubImage(ASubImage) {}

TGIFExtension::~TGIFExtension() {
  if (FSubImage) FSubImage->Extensions()->Remove(this);
}

void TGIFExtension::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

void TGIFExtension::LoadFromStream(vcl::TStream& Stream) { DoReadFromStream(Stream); }

std::uint8_t TGIFExtension::DoReadFromStream(vcl::TStream& Stream) {
  std::uint8_t head[2];
  ReadExact(Stream, head, sizeof head);
  if (head[0] != kExtensionIntroducer) throw GIFException(res::sGIFInvalidExtensionIntroducer);
  if (head[1] != GetExtensionType()) throw GIFException(res::sGIFExtensionLabelMismatch);
  return head[1];
}

void TGIFExtension::RegisterExtension(std::uint8_t eLabel, TGIFExtensionClass eClass) {
  ExtensionRegistry()->Add(eLabel, eClass);
}

TGIFExtensionClass TGIFExtension::FindExtension(vcl::TStream& Stream) {
  std::int64_t start = Stream.Position();
  std::uint8_t label = 0;
  if (!ReadByte(Stream, label)) return nullptr;
  TGIFExtensionClass found = ExtensionRegistry()->FindExt(label);
  while (found) {
    TGIFExtensionClass sub = found->FindSubExtension(Stream);
    if (sub == found) break;
    found = sub;
  }
  Stream.SetPosition(start);
  return found;
}

// ---- graphic control ----

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {
  FGCExtension.BlockSize = 4;
  if (FSubImage && !FSubImage->FGCE) FSubImage->FGCE = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (!FSubImage) return;
  if (Transparent()) FSubImage->FTransparent = false;
  if (FSubImage->FGCE == this) FSubImage->FGCE = nullptr;
}

void TGIFGraphicControlExtension::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

void TGIFGraphicControlExtension::LoadFromStream(vcl::TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  if (Stream.Read(&FGCExtension, sizeof FGCExtension) < static_cast<std::int64_t>(sizeof FGCExtension)) {
    Warning(gsWarning, res::sGIFPrematureEnd);
  } else if (Transparent() && FSubImage) {
    FSubImage->FTransparent = true;
  }
}

void TGIFGraphicControlExtension::SetTransparent(bool Value) {
  if (Value) FGCExtension.PackedFields |= 0x01;
  else FGCExtension.PackedFields &= static_cast<std::uint8_t>(~0x01);
  if (FSubImage) FSubImage->FTransparent = Value;
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(std::uint8_t Value) {
  TGIFColorMap* map = FSubImage ? FSubImage->GetActiveColorMap() : nullptr;
  if (map && map->Count() > 0 && Value >= map->Count()) {
    Warning(gsWarning, res::sGIFInvalidColorIndex);
    Value = 0;
  }
  FGCExtension.TransparentColorIndex = Value;
}

vcl::TColor TGIFGraphicControlExtension::TransparentColor() {
  return FSubImage->GetActiveColorMap()->GetColor(TransparentColorIndex());
}

void TGIFGraphicControlExtension::SetTransparentColor(vcl::TColor Color) {
  SetTransparentColorIndex(static_cast<std::uint8_t>(FSubImage->GetActiveColorMap()->AddUnique(Color)));
}

void TGIFGraphicControlExtension::SetUserInput(bool Value) {
  if (Value) FGCExtension.PackedFields |= 0x02;
  else FGCExtension.PackedFields &= static_cast<std::uint8_t>(~0x02);
}

void TGIFGraphicControlExtension::SetDisposal(TDisposalMethod Value) {
  FGCExtension.PackedFields =
      static_cast<std::uint8_t>((FGCExtension.PackedFields & ~0x1C) | ((static_cast<unsigned>(Value) & 0x07) << 2));
}

// ---- plain text ----

TGIFTextExtension::TGIFTextExtension(TGIFSubImage* ASubImage)
    : TGIFExtension(ASubImage), FText(std::make_unique<vcl::TStringList>()) {
  FPlainTextExtension.BlockSize = 12;
}

TGIFTextExtension::~TGIFTextExtension() = default;

void TGIFTextExtension::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

void TGIFTextExtension::LoadFromStream(vcl::TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  ReadExact(Stream, &FPlainTextExtension, sizeof FPlainTextExtension);
  ReadTextBlocks(Stream, *FText);
}

vcl::TColor TGIFTextExtension::ForegroundColor() { return FSubImage->ColorMap()->GetColor(ForegroundColorIndex()); }

void TGIFTextExtension::SetForegroundColor(vcl::TColor Color) {
  SetForegroundColorIndex(static_cast<std::uint8_t>(FSubImage->GetActiveColorMap()->AddUnique(Color)));
}

vcl::TColor TGIFTextExtension::BackgroundColor() {
  return FSubImage->GetActiveColorMap()->GetColor(BackgroundColorIndex());
}

void TGIFTextExtension::SetBackgroundColor(vcl::TColor Color) {
  SetBackgroundColorIndex(static_cast<std::uint8_t>(FSubImage->ColorMap()->AddUnique(Color)));
}

// ---- comment ----

TGIFCommentExtension::TGIFCommentExtension(TGIFSubImage* ASubImage)
    : TGIFExtension(ASubImage), FText(std::make_unique<vcl::TStringList>()) {}

TGIFCommentExtension::~TGIFCommentExtension() = default;

void TGIFCommentExtension::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

void TGIFCommentExtension::LoadFromStream(vcl::TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  ReadTextBlocks(Stream, *FText);
}

// ---- application ----

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {}

void TGIFApplicationExtension::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

void TGIFApplicationExtension::SaveData(vcl::TStream&) { throw vcl::EAbstractError(sAbstractError); }
void TGIFApplicationExtension::LoadData(vcl::TStream&) { throw vcl::EAbstractError(sAbstractError); }

void TGIFApplicationExtension::LoadFromStream(vcl::TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  std::uint8_t size = ReadByteOrZero(Stream);
  if (size == kShortAppBlockSize) FIdent = TGIFApplicationRec{};
  else if (size < kAppBlockSize) throw GIFException(res::sGIFUnsupportedAppBlockSize);
  ReadExact(Stream, &FIdent, sizeof FIdent);
  // A 10-byte header gives back the byte read too many; a longer one has its extra bytes skipped.
  Stream.Seek(static_cast<std::int64_t>(size) - kAppBlockSize, vcl::soCurrent);
  LoadData(Stream);
}

void TGIFApplicationExtension::RegisterExtension(const TGIFApplicationRec& eIdent, TGIFAppExtensionClass eClass) {
  AppExtensionRegistry()->Add(eIdent, eClass);
}

std::string TGIFApplicationExtension::Identifier() const { return FieldText(FIdent.Identifier, sizeof FIdent.Identifier); }

std::string TGIFApplicationExtension::Authentication() const {
  return FieldText(FIdent.Authentication, sizeof FIdent.Authentication);
}

void TGIFApplicationExtension::SetIdentifier(const std::string& Value) {
  SetFieldText(FIdent.Identifier, sizeof FIdent.Identifier, Value);
}

void TGIFApplicationExtension::SetAuthentication(const std::string& Value) {
  SetFieldText(FIdent.Authentication, sizeof FIdent.Authentication, Value);
}

// ---- blocks and unknown application extensions ----

TGIFBlock::TGIFBlock(std::uint8_t ASize) : FSize(ASize), FData(std::make_unique<std::uint8_t[]>(ASize)) {}

void TGIFBlock::LoadFromStream(vcl::TStream& Stream) { ReadExact(Stream, FData.get(), FSize); }

void TGIFBlock::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

TGIFUnknownAppExtension::TGIFUnknownAppExtension(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {}

TGIFUnknownAppExtension::~TGIFUnknownAppExtension() { ClearBlocks(); }

void TGIFUnknownAppExtension::ClearBlocks() {
  for (int i = 0; i < FBlocks.Count(); ++i) delete static_cast<TGIFBlock*>(FBlocks.Items(i));
  FBlocks.Clear();
}

void TGIFUnknownAppExtension::SaveData(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

void TGIFUnknownAppExtension::LoadData(vcl::TStream& Stream) {
  ClearBlocks();
  std::uint8_t length = 0;
  if (!ReadByte(Stream, length)) return;
  while (length != 0) {
    auto block = std::make_unique<TGIFBlock>(length);
    block->LoadFromStream(Stream);
    FBlocks.Add(block.release());
    if (!ReadByte(Stream, length)) return;
  }
}

// ---- looping ----

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {
  FIdent = MakeIdent("NETSCAPE", "2.0");
}

void TGIFAppExtNSLoop::LoadData(vcl::TStream& Stream) {
  int length = ReadByteOrZero(Stream);
  while (length != 0) {
    std::uint8_t id = ReadByteOrZero(Stream);
    --length;
    if ((id & 0x07) == kLoopSubBlockId) {
      if (length < 2) throw GIFException(res::sGIFInvalidData);
      std::uint8_t loops[2];
      ReadExact(Stream, loops, sizeof loops);
      FLoops = static_cast<std::uint16_t>(loops[0] | (loops[1] << 8));
      length -= 2;
    } else if ((id & 0x07) == kBufferSubBlockId) {
      if (length < 4) throw GIFException(res::sGIFInvalidData);
      std::uint8_t size[4];
      ReadExact(Stream, size, sizeof size);
      FBufferSize = static_cast<std::int32_t>(size[0] | (size[1] << 8) | (size[2] << 16) | (std::uint32_t(size[3]) << 24));
      length -= 4;
    }
    if (length > 0) Stream.Seek(length, vcl::soCurrent);
    length = ReadByteOrZero(Stream);
  }
}

void TGIFAppExtNSLoop::SaveData(vcl::TStream& Stream) {
  std::uint8_t loop[] = {3, kLoopSubBlockId, static_cast<std::uint8_t>(FLoops & 0xFF), static_cast<std::uint8_t>(FLoops >> 8)};
  Stream.WriteBuffer(loop, sizeof loop);
  if (FBufferSize != 0) {
    auto size = static_cast<std::uint32_t>(FBufferSize);
    std::uint8_t buffer[] = {5,
                             kBufferSubBlockId,
                             static_cast<std::uint8_t>(size),
                             static_cast<std::uint8_t>(size >> 8),
                             static_cast<std::uint8_t>(size >> 16),
                             static_cast<std::uint8_t>(size >> 24)};
    Stream.WriteBuffer(buffer, sizeof buffer);
  }
  std::uint8_t terminator = 0;
  Stream.WriteBuffer(&terminator, 1);
}

// ---- extension list ----

TGIFExtensionList::TGIFExtensionList(TGIFImage* Image) : TGIFList(Image) {}

TGIFExtensionList::~TGIFExtensionList() { Clear(); }

TGIFExtension* TGIFExtensionList::GetExtension(int Index) const { return static_cast<TGIFExtension*>(GetItem(Index)); }

void TGIFExtensionList::LoadFromStream(vcl::TStream& Stream, vcl::TObject* Parent) {
  auto* subImage = dynamic_cast<TGIFSubImage*>(Parent);
  if (!subImage) throw vcl::EInvalidCast(sInvalidCast);
  std::uint8_t b = 0;
  if (!ReadByte(Stream, b)) return;
  while (b != kImageSeparator && b != kTrailer) {
    if (b != kExtensionIntroducer) {
      Warning(gsWarning, res::sGIFInvalidExtensionIntroducer);
      break;
    }
    TGIFExtensionClass extensionClass = TGIFExtension::FindExtension(Stream);
    if (!extensionClass) throw GIFException(res::sGIFUnknownExtensionType);
    PutBack(Stream);
    std::unique_ptr<TGIFExtension> extension(extensionClass->Create(subImage));
    extension->LoadFromStream(Stream);
    Add(extension.release());
    if (!ReadByte(Stream, b)) return;
  }
  PutBack(Stream);
}

// ---- registries ----

TExtensionList::TExtensionList() {
  Add(0x01, TGIFTextExtension::StaticClass());
  Add(0xF9, TGIFGraphicControlExtension::StaticClass());
  Add(0xFE, TGIFCommentExtension::StaticClass());
  Add(0xFF, TGIFApplicationExtension::StaticClass());
}

TExtensionList::~TExtensionList() { Clear(); }

void TExtensionList::Clear() {
  for (int i = 0; i < Count(); ++i) delete static_cast<TExtensionRec*>(Items(i));
  vcl::TList::Clear();
}

void TExtensionList::Add(std::uint8_t eLabel, TGIFExtensionClass eClass) {
  auto rec = std::make_unique<TExtensionRec>(TExtensionRec{eClass, eLabel});
  vcl::TList::Add(rec.get());
  rec.release();
}

TGIFExtensionClass TExtensionList::FindExt(std::uint8_t eLabel) const {
  for (int i = Count() - 1; i >= 0; --i) {
    auto* rec = static_cast<TExtensionRec*>(Items(i));
    if (rec->Label == eLabel) return rec->Class;
  }
  return nullptr;
}

void TExtensionList::Remove(TGIFExtensionClass eClass) {
  for (int i = Count() - 1; i >= 0; --i) {
    auto* rec = static_cast<TExtensionRec*>(Items(i));
    if (rec->Class && rec->Class->InheritsFrom(eClass)) {
      Delete(i);
      delete rec;
    }
  }
}

TAppExtensionList::TAppExtensionList() {
  Add(MakeIdent("NETSCAPE", "2.0"), TGIFAppExtNSLoop::StaticClass());
  Add(MakeIdent("ANIMEXTS", "1.0"), TGIFAppExtNSLoop::StaticClass());
}

TAppExtensionList::~TAppExtensionList() { Clear(); }

void TAppExtensionList::Clear() {
  for (int i = 0; i < Count(); ++i) delete static_cast<TAppExtensionRec*>(Items(i));
  vcl::TList::Clear();
}

void TAppExtensionList::Add(const TGIFApplicationRec& eIdent, TGIFAppExtensionClass eClass) {
  auto rec = std::make_unique<TAppExtensionRec>(TAppExtensionRec{eClass, eIdent});
  vcl::TList::Add(rec.get());
  rec.release();
}

TGIFAppExtensionClass TAppExtensionList::FindExt(const TGIFApplicationRec& eIdent) const {
  for (int i = Count() - 1; i >= 0; --i) {
    auto* rec = static_cast<TAppExtensionRec*>(Items(i));
    if (std::memcmp(&rec->Ident, &eIdent, sizeof eIdent) == 0) return rec->Class;
  }
  return nullptr;
}

void TAppExtensionList::Remove(TGIFAppExtensionClass eClass) {
  for (int i = Count() - 1; i >= 0; --i) {
    auto* rec = static_cast<TAppExtensionRec*>(Items(i));
    if (rec->Class && rec->Class->InheritsFrom(eClass)) {
      Delete(i);
      delete rec;
    }
  }
}

TExtensionList* ExtensionRegistry() {
  if (!extensionRegistry) extensionRegistry = new TExtensionList();
  return extensionRegistry;
}

TAppExtensionList* AppExtensionRegistry() {
  if (!appExtensionRegistry) appExtensionRegistry = new TAppExtensionList();
  return appExtensionRegistry;
}

namespace gifdetail {

void FreeExtensionRegistries() {
  delete extensionRegistry;
  extensionRegistry = nullptr;
  delete appExtensionRegistry;
  appExtensionRegistry = nullptr;
}

}  // namespace gifdetail

}  // namespace kestrix
