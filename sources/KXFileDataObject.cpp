#include "sources/KXFileDataObject.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "formats/KXFileGroupBlock.h"
#include "formats/KXUtilBlocks.h"
#include "framework/Handles.h"
#include "framework/OleStream.h"
#include "vocabulary/KXFileContents.h"

namespace kestrix {

namespace {

LONG volatile liveDataObjects = 0;

// The most a stated size reserves before anything is written: a size is the application's word,
// not a promise.
constexpr std::uint64_t kMaxReserved = std::uint64_t{1} << 30;

// "KXVirtualFilesBesideReal" says what it says by being offered; its block is a zero DWORD.
const std::string kBesideRealBlock(4, '\0');

// The parts of a virtual name between its separators, empty ones dropped.
std::vector<std::wstring> NameParts(const std::wstring& name) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : name) {
    if (c == L'\\' || c == L'/') {
      if (!part.empty()) parts.push_back(std::exchange(part, {}));
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string WideBytes(const std::wstring& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}

HRESULT GlobalMedium(const void* bytes, size_t length, STGMEDIUM& medium) {
  vcl::TUniqueGlobal block = vcl::GlobalFromBytes(kMediumBlockFlags, bytes, length, length);
  if (!block) return E_OUTOFMEMORY;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block.Release();
  return S_OK;
}

HRESULT GlobalMedium(const std::string& bytes, STGMEDIUM& medium) { return GlobalMedium(bytes.data(), bytes.size(), medium); }

// The producer's view of a stream on global memory. Such a stream reallocates its block to the
// exact new size on every write past its end, which makes a large item cost time quadratic in its
// size; this one reserves room in doubling steps (from the item's known size) and keeps the end
// the producer wrote, which Finish makes the stream's size.
class TReservingStream : public vcl::TOleStream {
 public:
  TReservingStream(IStream* Stream, std::uint64_t Expected) : TOleStream(Stream) { Reserve(static_cast<std::int64_t>(Expected)); }

  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    const std::int64_t at = Position();
    if (Count > 0 && at + Count > FReserved) Reserve(std::max(at + Count, FReserved * 2));
    const std::int64_t written = TOleStream::Write(Buffer, Count);
    FEnd = std::max(FEnd, at + written);
    return written;
  }
  std::int64_t Seek(std::int64_t Offset, vcl::TSeekOrigin Origin) override {
    return Origin == vcl::soEnd ? TOleStream::Seek(FEnd + Offset, vcl::soBeginning) : TOleStream::Seek(Offset, Origin);
  }
  std::int64_t Size() override { return FEnd; }
  void SetSize(std::int64_t NewSize) override {
    Reserve(NewSize);
    FEnd = std::max<std::int64_t>(NewSize, 0);
  }
  // The stream ends where the producer's data ends, and is read from its start.
  void Finish() {
    TOleStream::SetSize(FEnd);
    TOleStream::Seek(0, vcl::soBeginning);
  }

 private:
  void Reserve(std::int64_t Size) {
    if (Size <= FReserved) return;
    TOleStream::SetSize(Size);
    FReserved = Size;
  }
  std::int64_t FReserved = 0;
  std::int64_t FEnd = 0;
};

}  // namespace

// ---- creation -------------------------------------------------------------------------------------

TFileDataObject::TFileDataObject(TFileDataOwner* aComponent)
    : TKXBaseDataObject(aComponent ? &aComponent->DragState() : nullptr, liveDataObjects), theComponent(aComponent) {
  const TFileDragItems items = theComponent ? theComponent->CurrentItems() : TFileDragItems{};
  FMaxGlobalSize = items.MaxGlobalSize;
  FPreferredEffect = items.PreferredEffect;
  SetAsyncMode(items.Asynchronous);

  // One record per file, in the order given, so that a reader asking "FileContents" by record
  // (the shell) and one asking by position among the file records (Chromium skips folder records)
  // ask for the same item. Every folder a name holds is implied by its file: readers create it
  // from the file's path, so it gets no record of its own.
  for (size_t i = 0; i < items.VirtualFiles.size(); ++i) {
    std::wstring path;
    for (const std::wstring& part : NameParts(items.VirtualFiles[i].Name)) path += (path.empty() ? L"" : L"\\") + part;
    FRecords.push_back({path, items.VirtualFiles[i].Size, static_cast<int>(i)});
  }
  if (!FRecords.empty()) {
    std::vector<blocks::TFileGroupEntry> wide, ansi;
    for (const TRecord& r : FRecords) {
      blocks::TFileGroupEntry entry;
      entry.HasSize = r.Size.has_value();
      entry.Size = r.Size.value_or(0);
      entry.Attributes = r.VirtualIndex < 0 ? FILE_ATTRIBUTE_DIRECTORY : 0;
      entry.Name = WideBytes(r.Name);
      wide.push_back(entry);
      entry.Name = vcl::AnsiFromUnicode(r.Name);
      ansi.push_back(std::move(entry));
    }
    FDescriptorW = blocks::FileGroupBlock(wide, true);
    FDescriptorA = blocks::FileGroupBlock(ansi, false);
  }
  if (!items.Files.empty()) {
    std::vector<std::string> names;
    for (const std::wstring& file : items.Files) names.push_back(WideBytes(file));
    FHDROP = blocks::HDROPBlockFromNames(names, true);
  }
}

TFileDataObject::~TFileDataObject() { EndAbandonedOperation(); }

TFileDataObject* TFileDataObject::createEx(TFileDataOwner* aComponent) {
  return vcl::MakeComObject<TFileDataObject>(aComponent).Detach();
}

LONG TFileDataObject::LiveCount() { return liveDataObjects; }

bool TFileDataObject::RendersItself(CLIPFORMAT cf) {
  return cf != 0 && (cf == CF_FILEGROUPDESCRIPTORW || cf == CF_FILEGROUPDESCRIPTOR || cf == CF_FILECONTENTS ||
                     cf == CF_HDROP || cf == CF_PREFERREDDROPEFFECT || cf == FilesBesideRealFormat());
}

std::vector<FORMATETC> TFileDataObject::OwnFormats() {
  auto format = [](UINT cf, DWORD tymed) { return FORMATETC{static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, -1, tymed}; };
  std::vector<FORMATETC> formats;
  if (!FRecords.empty()) {
    formats.push_back(format(CF_FILEGROUPDESCRIPTORW, TYMED_HGLOBAL));
    formats.push_back(format(CF_FILEGROUPDESCRIPTOR, TYMED_HGLOBAL));
    formats.push_back(format(CF_FILECONTENTS, TYMED_ISTREAM | TYMED_HGLOBAL));
  }
  if (!FHDROP.empty()) formats.push_back(format(CF_HDROP, TYMED_HGLOBAL));
  if (!FHDROP.empty() && !FRecords.empty()) formats.push_back(format(FilesBesideRealFormat(), TYMED_HGLOBAL));
  formats.push_back(format(CF_PREFERREDDROPEFFECT, TYMED_HGLOBAL));
  return formats;
}

const TFileDataObject::TRecord* TFileDataObject::ContentsRecord(LONG lindex) const {
  if (lindex < 0 || static_cast<size_t>(lindex) >= FRecords.size()) return nullptr;
  const TRecord& record = FRecords[static_cast<size_t>(lindex)];
  return record.VirtualIndex >= 0 ? &record : nullptr;
}

// ---- rendering ------------------------------------------------------------------------------------

HRESULT TFileDataObject::RenderContents(const FORMATETC& fe, STGMEDIUM& medium) {
  const TRecord* record = ContentsRecord(fe.lindex);
  if (!record) return DV_E_LINDEX;
  const bool asStream = (fe.tymed & TYMED_ISTREAM) != 0;
  if (!asStream && !((fe.tymed & TYMED_HGLOBAL) && record->Size && *record->Size <= FMaxGlobalSize)) return DV_E_TYMED;
  if (!theComponent) return E_FAIL;

  if (asStream) {
    vcl::TComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()))) return E_OUTOFMEMORY;
    TReservingStream contents(stream.Get(), std::min<std::uint64_t>(record->Size.value_or(0), kMaxReserved));
    if (!theComponent->ProduceContents(record->VirtualIndex, contents)) return E_FAIL;
    contents.Finish();
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = stream.Detach();
    return S_OK;
  }
  vcl::TMemoryStream contents;
  if (!theComponent->ProduceContents(record->VirtualIndex, contents)) return E_FAIL;
  return GlobalMedium(contents.Memory(), static_cast<size_t>(contents.Size()), medium);
}

HRESULT TFileDataObject::Render(const FORMATETC& fe, STGMEDIUM& medium) {
  if (fe.dwAspect != DVASPECT_CONTENT) return DV_E_FORMATETC;
  const CLIPFORMAT cf = fe.cfFormat;
  if (cf == CF_FILECONTENTS && !FRecords.empty()) return RenderContents(fe, medium);

  const std::string* block = nullptr;
  DWORD preferred = FPreferredEffect;
  std::string preferredBytes(reinterpret_cast<const char*>(&preferred), sizeof preferred);
  if (cf == CF_FILEGROUPDESCRIPTORW && !FRecords.empty()) block = &FDescriptorW;
  else if (cf == CF_FILEGROUPDESCRIPTOR && !FRecords.empty()) block = &FDescriptorA;
  else if (cf == CF_HDROP && !FHDROP.empty()) block = &FHDROP;
  else if (cf == CF_PREFERREDDROPEFFECT) block = &preferredBytes;
  else if (cf == FilesBesideRealFormat() && !FHDROP.empty() && !FRecords.empty()) block = &kBesideRealBlock;
  if (!block) return DV_E_FORMATETC;
  if (!(fe.tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
  return GlobalMedium(*block, medium);
}

bool TFileDataObject::CanRender(const FORMATETC& fe) {
  if (fe.cfFormat != CF_FILECONTENTS) return Offers(fe);
  if (fe.lindex == -1) {
    for (LONG i = 0; i < static_cast<LONG>(FRecords.size()); ++i)
      if (ContentsRecord(i)) return (fe.tymed & (TYMED_ISTREAM | TYMED_HGLOBAL)) != 0;
    return false;
  }
  const TRecord* record = ContentsRecord(fe.lindex);
  if (!record) return false;
  return (fe.tymed & TYMED_ISTREAM) || ((fe.tymed & TYMED_HGLOBAL) && record->Size && *record->Size <= FMaxGlobalSize);
}

// ---- IAsyncOperation ------------------------------------------------------------------------------

void TFileDataObject::AsyncOperationStarted() {
  if (theComponent) theComponent->AsyncOperationStarted();
}

void TFileDataObject::AsyncOperationEnded(HRESULT Result, DWORD Effects) {
  const bool owed = std::exchange(FAfterDropOwed, false);
  if (theComponent) theComponent->AsyncOperationEnded(Result, Effects, owed);
}

}  // namespace kestrix
