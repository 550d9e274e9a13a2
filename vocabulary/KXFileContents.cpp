#include "vocabulary/KXFileContents.h"

#include <algorithm>
#include <cstring>
#include <memory>
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
  // A block of no bytes (discarded, so it locks to nothing) is an empty item; a handle that is no
  // block at all is a failure, not an empty file.
  if (!lock) {
    const UINT flags = GlobalFlags(Global);
    return flags != GMEM_INVALID_HANDLE && (flags & GMEM_DISCARDED) && GlobalSize(Global) == 0 ? TFileContentsResult::Read
                                                                                              : TFileContentsResult::Failed;
  }
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

// The bytes of the compound file a storage is saved into: a temporary file (deleted when closed),
// so that memory stays bounded whatever the storage holds.
class TTemporaryLockBytes : public vcl::TInterfacedObjectImpl<ILockBytes> {
 public:
  TTemporaryLockBytes() {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH || !GetTempFileNameW(folder, L"kxs", 0, name)) return;
    // GetTempFileName made the file; it is opened again to be deleted when closed.
    HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DeleteFileW(name);
      return;
    }
    FFile.Reset(h);
  }
  bool IsOpen() const { return static_cast<bool>(FFile); }

  STDMETHODIMP ReadAt(ULARGE_INTEGER Offset, void* Buffer, ULONG Count, ULONG* Read) override {
    if (Read) *Read = 0;
    DWORD got = 0;
    if (!Seek(Offset.QuadPart) || !ReadFile(FFile.Get(), Buffer, Count, &got, nullptr)) return STG_E_READFAULT;
    if (Read) *Read = got;
    return S_OK;
  }
  STDMETHODIMP WriteAt(ULARGE_INTEGER Offset, const void* Buffer, ULONG Count, ULONG* Written) override {
    if (Written) *Written = 0;
    DWORD put = 0;
    if (!Seek(Offset.QuadPart) || !WriteFile(FFile.Get(), Buffer, Count, &put, nullptr) || put != Count) return STG_E_WRITEFAULT;
    if (Written) *Written = put;
    return S_OK;
  }
  STDMETHODIMP Flush() override { return S_OK; }
  STDMETHODIMP SetSize(ULARGE_INTEGER Size) override {
    return Seek(Size.QuadPart) && SetEndOfFile(FFile.Get()) ? S_OK : STG_E_WRITEFAULT;
  }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  STDMETHODIMP Stat(STATSTG* Stat, DWORD) override {
    if (!Stat) return STG_E_INVALIDPOINTER;
    std::memset(Stat, 0, sizeof *Stat);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(FFile.Get(), &size)) return STG_E_ACCESSDENIED;
    Stat->type = STGTY_LOCKBYTES;
    Stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    Stat->grfMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    return S_OK;
  }

 private:
  bool Seek(std::uint64_t Offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(Offset);
    return SetFilePointerEx(FFile.Get(), at, nullptr, FILE_BEGIN) != 0;
  }

  vcl::TUniqueKernelHandle FFile;
};

// Copies a source's storage element by element, charging every byte read and every element (as
// the directory entry it costs) against a budget, so that a huge or endless storage stops at the
// limit instead of being copied whole first. Storage's own CopyTo has no such stop.
class TBudgetedStorageCopy {
 public:
  explicit TBudgetedStorageCopy(std::uint64_t Budget) : FLeft(Budget) {}
  bool OverBudget() const { return FOver; }

  HRESULT Copy(IStorage* From, IStorage* To, int Depth = 0) {
    constexpr int kMaxDepth = 32;
    constexpr std::uint64_t kEntryCost = 128;
    STATSTG self{};
    if (SUCCEEDED(From->Stat(&self, STATFLAG_NONAME))) To->SetClass(self.clsid);
    vcl::TComPtr<IEnumSTATSTG> elements;
    HRESULT hr = From->EnumElements(0, nullptr, 0, elements.Put());
    if (FAILED(hr) || !elements) return FAILED(hr) ? hr : E_FAIL;
    for (;;) {
      STATSTG stat{};
      ULONG got = 0;
      hr = elements->Next(1, &stat, &got);
      if (hr != S_OK || got != 1) return FAILED(hr) ? hr : S_OK;
      const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> name(stat.pwcsName, &CoTaskMemFree);
      if (!name || !Charge(kEntryCost)) return name ? STG_E_MEDIUMFULL : E_FAIL;
      constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE, kWrite = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;
      if (stat.type == STGTY_STREAM) {
        vcl::TComPtr<IStream> from, to;
        if (FAILED(hr = From->OpenStream(name.get(), nullptr, kRead, 0, from.Put())) ||
            FAILED(hr = To->CreateStream(name.get(), kWrite, 0, 0, to.Put())) || FAILED(hr = CopyStream(from.Get(), to.Get())))
          return hr;
      } else if (stat.type == STGTY_STORAGE) {
        if (Depth >= kMaxDepth) return STG_E_DOCFILECORRUPT;
        vcl::TComPtr<IStorage> from, to;
        if (FAILED(hr = From->OpenStorage(name.get(), nullptr, kRead, nullptr, 0, from.Put())) ||
            FAILED(hr = To->CreateStorage(name.get(), kWrite | STGM_READWRITE, 0, 0, to.Put())) ||
            FAILED(hr = Copy(from.Get(), to.Get(), Depth + 1)))
          return hr;
      }
    }
  }

 private:
  bool Charge(std::uint64_t Bytes) {
    if (Bytes > FLeft) return FOver = true, false;
    FLeft -= Bytes;
    return true;
  }
  HRESULT CopyStream(IStream* From, IStream* To) {
    std::vector<char> buffer(64 << 10);
    for (;;) {
      ULONG got = 0;
      const HRESULT hr = From->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got);
      if (FAILED(hr)) return hr;
      got = std::min<ULONG>(got, static_cast<ULONG>(buffer.size()));
      if (got == 0) return S_OK;
      if (!Charge(got)) return STG_E_MEDIUMFULL;
      ULONG put = 0;
      if (FAILED(To->Write(buffer.data(), got, &put)) || put != got) return STG_E_WRITEFAULT;
    }
  }

  std::uint64_t FLeft;
  bool FOver = false;
};

// A storage travels as the compound file that holds it, built within the limit in a temporary
// file and then copied out.
TFileContentsResult ReadStorage(IStorage* Storage, vcl::TStream& Out, std::uint64_t Limit,
                                const TFileContentsProgress& Progress) {
  vcl::TComPtr<TTemporaryLockBytes> bytes = vcl::MakeComObject<TTemporaryLockBytes>();
  if (!bytes->IsOpen()) return TFileContentsResult::Failed;
  {
    vcl::TComPtr<IStorage> file;
    if (FAILED(StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                            file.Put())))
      return TFileContentsResult::Failed;
    TBudgetedStorageCopy copy(Limit);
    if (FAILED(copy.Copy(Storage, file.Get()))) return copy.OverBudget() ? TFileContentsResult::TooLarge : TFileContentsResult::Failed;
    if (FAILED(file->Commit(STGC_DEFAULT))) return TFileContentsResult::Failed;
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
  if (m.tymed == TYMED_ISTORAGE) return m.pstg ? ReadStorage(m.pstg, Out, Limit, Progress) : TFileContentsResult::Failed;
  return ReadMediumBytes(m, Out, Limit, Progress);
}

TFileContentsResult ReadMediumBytes(const STGMEDIUM& Medium, vcl::TStream& Out, std::uint64_t Limit,
                                    const TFileContentsProgress& Progress) {
  switch (Medium.tymed) {
    case TYMED_HGLOBAL:
      return Medium.hGlobal ? ReadGlobal(Medium.hGlobal, Out, Limit, Progress) : TFileContentsResult::Failed;
    case TYMED_ISTREAM:
      return Medium.pstm ? ReadStream(Medium.pstm, Out, Limit, Progress) : TFileContentsResult::Failed;
    default:
      return TFileContentsResult::NotOffered;  // a medium nobody asked for
  }
}

}  // namespace kestrix
