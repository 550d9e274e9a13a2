#include "vocabulary/KXFileContents.h"

#include <algorithm>
#include <vector>

#include "framework/ComObj.h"
#include "framework/DataMedium.h"
#include "framework/Handles.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

namespace {

constexpr std::uint64_t ChunkSize = 1 << 20;
constexpr DWORD MediaRead = TYMED_ISTREAM | TYMED_HGLOBAL | TYMED_ISTORAGE;

// Moves the item's bytes into Out within the caller's limit, reporting progress after each chunk.
class TItemCopy {
 public:
  TItemCopy(vcl::TStream& Out, std::uint64_t Limit, const TFileContentsProgress& Progress, std::optional<std::uint64_t> Total)
      : FOut(Out), FLimit(Limit), FProgress(Progress), FTotal(Total) {}

  // How many bytes to ask the source for next: one more than the limit leaves, so that a source
  // that has more is noticed without reading a whole chunk past the limit.
  std::uint64_t NextRequest() const {
    const std::uint64_t left = FLimit - FDone;
    return left >= ChunkSize ? ChunkSize : left + 1;
  }

  // Writes Count bytes of Data; a result when the copy ends here.
  std::optional<TFileContentsResult> Take(const void* Data, std::uint64_t Count) {
    if (Count > FLimit - FDone) {
      FOut.WriteBuffer(Data, static_cast<std::int64_t>(FLimit - FDone));
      FDone = FLimit;
      return TFileContentsResult::TooLarge;
    }
    FOut.WriteBuffer(Data, static_cast<std::int64_t>(Count));
    FDone += Count;
    if (FProgress && !FProgress(FDone, FTotal)) return TFileContentsResult::Cancelled;
    return std::nullopt;
  }

 private:
  vcl::TStream& FOut;
  std::uint64_t FLimit;
  const TFileContentsProgress& FProgress;
  std::optional<std::uint64_t> FTotal;
  std::uint64_t FDone = 0;
};

TFileContentsResult CopyBytes(const char* Data, std::uint64_t Size, TItemCopy& Copy) {
  for (std::uint64_t at = 0; at < Size;) {
    const std::uint64_t count = std::min(Size - at, Copy.NextRequest());
    if (auto end = Copy.Take(Data + at, count)) return *end;
    at += count;
  }
  return TFileContentsResult::Read;
}

TFileContentsResult ReadGlobal(HGLOBAL Global, vcl::TStream& Out, std::uint64_t Limit, const TFileContentsProgress& Progress) {
  vcl::TGlobalLock lock(Global);
  if (!lock) return GlobalSize(Global) == 0 ? TFileContentsResult::Read : TFileContentsResult::Failed;  // an empty item
  TItemCopy copy(Out, Limit, Progress, lock.Size());
  return CopyBytes(lock.As<const char>(), lock.Size(), copy);
}

// Reads until the stream delivers nothing more. Short reads do not end the item: a source's
// pipe-like stream may deliver less than asked before its end.
TFileContentsResult ReadStream(IStream* Stream, vcl::TStream& Out, std::uint64_t Limit, const TFileContentsProgress& Progress) {
  // Sources hand over streams positioned anywhere; one that cannot seek is read from where it is.
  Stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  std::optional<std::uint64_t> total;
  STATSTG stat{};
  if (SUCCEEDED(Stream->Stat(&stat, STATFLAG_NONAME))) total = stat.cbSize.QuadPart;
  TItemCopy copy(Out, Limit, Progress, total);
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(ChunkSize, copy.NextRequest())));
  for (;;) {
    const auto want = static_cast<ULONG>(std::min<std::uint64_t>(buffer.size(), copy.NextRequest()));
    ULONG got = 0;
    const HRESULT hr = Stream->Read(buffer.data(), want, &got);
    if (FAILED(hr)) return TFileContentsResult::Failed;
    got = std::min(got, want);
    if (got == 0) return TFileContentsResult::Read;
    if (auto end = copy.Take(buffer.data(), got)) return *end;
    if (hr == S_FALSE) return TFileContentsResult::Read;  // the stream says it ended
  }
}

// A storage travels as the compound file that holds it, built in memory and then copied out.
TFileContentsResult ReadStorage(IStorage* Storage, vcl::TStream& Out, std::uint64_t Limit,
                                const TFileContentsProgress& Progress) {
  vcl::TComPtr<ILockBytes> bytes;
  if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Put()))) return TFileContentsResult::Failed;
  {
    vcl::TComPtr<IStorage> file;
    if (FAILED(StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                            file.Put())))
      return TFileContentsResult::Failed;
    if (FAILED(Storage->CopyTo(0, nullptr, nullptr, file.Get())) || FAILED(file->Commit(STGC_DEFAULT)))
      return TFileContentsResult::Failed;
  }  // released: the compound file is complete in the lock bytes
  STATSTG stat{};
  if (FAILED(bytes->Stat(&stat, STATFLAG_NONAME))) return TFileContentsResult::Failed;
  const std::uint64_t size = stat.cbSize.QuadPart;
  TItemCopy copy(Out, Limit, Progress, size);
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(ChunkSize, size)));
  for (std::uint64_t at = 0; at < size;) {
    const auto want = static_cast<ULONG>(std::min<std::uint64_t>({buffer.size(), size - at, copy.NextRequest()}));
    ULONG got = 0;
    ULARGE_INTEGER offset;
    offset.QuadPart = at;
    if (FAILED(bytes->ReadAt(offset, buffer.data(), want, &got)) || got == 0) return TFileContentsResult::Failed;
    got = std::min(got, want);
    if (auto end = copy.Take(buffer.data(), got)) return *end;
    at += got;
  }
  return TFileContentsResult::Read;
}

// A source's way of saying it has no such rendering, as against a failure to make one.
bool IsRefusal(HRESULT hr) {
  return hr == DV_E_FORMATETC || hr == DV_E_TYMED || hr == DV_E_LINDEX || hr == DV_E_DVASPECT || hr == DV_E_CLIPFORMAT ||
         hr == E_NOTIMPL || hr == E_INVALIDARG;
}

}  // namespace

UINT FileContentsFormat() {
  // Registered at start-up; asked for by name when the library has not started yet.
  return CF_FILECONTENTS ? CF_FILECONTENTS : RegisterClipboardFormatW(L"FileContents");
}

UINT FilesBesideRealFormat() {
  static const UINT format = RegisterClipboardFormatW(L"KXVirtualFilesBesideReal");
  return format;
}

std::string FileGroupDescriptorBlock(IDataObject* DataObject, bool Wide) {
  const UINT format = Wide ? CF_FILEGROUPDESCRIPTORW : CF_FILEGROUPDESCRIPTOR;
  if (!DataObject || format == 0) return {};
  FORMATETC fe{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  vcl::TStgMedium medium;
  if (FAILED(vcl::GetDataInto(DataObject, fe, medium)) || medium->tymed != TYMED_HGLOBAL || !medium->hGlobal) return {};
  vcl::TGlobalLock lock(medium->hGlobal);
  return std::string(lock.View());
}

TFileContentsResult ReadFileContents(IDataObject* DataObject, LONG Index, vcl::TStream& Out, std::uint64_t Limit,
                                     const TFileContentsProgress& Progress) {
  if (!DataObject) return TFileContentsResult::NotOffered;
  vcl::TStgMedium medium;
  // Sources that refuse the combination are asked for each medium alone; a source that fails to
  // make the item (its producer failed) is not asked again.
  bool got = false;
  for (const DWORD tymed : {MediaRead, DWORD{TYMED_ISTREAM}, DWORD{TYMED_HGLOBAL}, DWORD{TYMED_ISTORAGE}}) {
    FORMATETC request{static_cast<CLIPFORMAT>(FileContentsFormat()), nullptr, DVASPECT_CONTENT, Index, tymed};
    const HRESULT hr = vcl::GetDataInto(DataObject, request, medium);
    if (SUCCEEDED(hr)) {
      got = true;
      break;
    }
    if (!IsRefusal(hr)) return TFileContentsResult::Failed;
  }
  if (!got) return TFileContentsResult::NotOffered;
  const STGMEDIUM& m = medium.Get();
  switch (m.tymed) {
    case TYMED_HGLOBAL:
      return m.hGlobal ? ReadGlobal(m.hGlobal, Out, Limit, Progress) : TFileContentsResult::Failed;
    case TYMED_ISTREAM:
      return m.pstm ? ReadStream(m.pstm, Out, Limit, Progress) : TFileContentsResult::Failed;
    case TYMED_ISTORAGE:
      return m.pstg ? ReadStorage(m.pstg, Out, Limit, Progress) : TFileContentsResult::Failed;
    default:
      return TFileContentsResult::NotOffered;  // a medium nobody asked for
  }
}

}  // namespace kestrix
