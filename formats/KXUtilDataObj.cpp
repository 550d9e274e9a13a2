// KXUtil: data object inspection, format and medium names, bitmap and metafile copies.
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "formats/KXMetafilePictBlock.h"
#include "formats/KXUtil.h"
#include "framework/ComObj.h"
#include "framework/DataMedium.h"
#include "framework/Handles.h"

namespace kestrix {

namespace {

// An enumerator that never runs out must not hang the caller.
constexpr int kMaxEnumeratedFormats = 10000;
// Registered names are atoms of at most 255 characters; one more for the terminator.
constexpr int kFormatNameBuffer = 256;

const wchar_t* const kStandardFormatNames[] = {
    L"CF_TEXT",  L"CF_BITMAP",  L"CF_METAFILEPICT", L"CF_SYLK",        L"CF_DIF",
    L"CF_TIFF",  L"CF_OEMTEXT", L"CF_DIB",          L"CF_PALETTE",     L"CF_PENDATA",
    L"CF_RIFF",  L"CF_WAVE",    L"CF_UNICODETEXT",  L"CF_ENHMETAFILE", L"CF_HDROP",
    L"CF_LOCALE",
};
constexpr int kStandardFormatCount = static_cast<int>(std::size(kStandardFormatNames));

const wchar_t* const kMediumNames[] = {
    L"TYMED_HGLOBAL", L"TYMED_FILE", L"TYMED_ISTREAM", L"TYMED_ISTORAGE",
    L"TYMED_GDI",     L"TYMED_MFPICT", L"TYMED_ENHMF",
};

bool IsStandardFormat(long long id) { return id >= 1 && id <= kStandardFormatCount; }

// The name a format was registered under; empty for ids that have none.
std::wstring RegisteredFormatName(UINT id) {
  wchar_t name[kFormatNameBuffer];
  int length = GetClipboardFormatNameW(id, name, kFormatNameBuffer);
  return length > 0 ? std::wstring(name, static_cast<size_t>(length)) : std::wstring();
}

// Sets the one-shot medium and item index back when a call ends, however it ends.
class TOneShotReset {
 public:
  TOneShotReset() = default;
  TOneShotReset(const TOneShotReset&) = delete;
  TOneShotReset& operator=(const TOneShotReset&) = delete;
  ~TOneShotReset() {
    DataObjectTymed = TYMED_HGLOBAL;
    DataObjectLindex = -1;
  }
};

FORMATETC OneShotRequest(UINT id) {
  DWORD tymed = DataObjectTymed == 0 ? DWORD{TYMED_HGLOBAL} : static_cast<DWORD>(DataObjectTymed);
  return {static_cast<CLIPFORMAT>(id), nullptr, DVASPECT_CONTENT, DataObjectLindex, tymed};
}

// Calls visit(fe) for each FORMATETC the object offers for reading until visit answers false, the
// enumerator stops answering S_OK, or the cap is reached.
template <class Visit>
void ForEachOfferedFormat(IDataObject* dataObject, Visit&& visit) {
  vcl::TComPtr<IEnumFORMATETC> formats;
  if (FAILED(dataObject->EnumFormatEtc(DATADIR_GET, formats.Put())) || !formats) return;
  for (int i = 0; i < kMaxEnumeratedFormats; ++i) {
    FORMATETC fe{};
    // Some enumerators never write the count; one that writes 0 with S_OK has fetched nothing.
    ULONG fetched = ~0ul;
    if (formats->Next(1, &fe, &fetched) != S_OK || fetched == 0) return;
    vcl::TCoTaskMem<DVTARGETDEVICE> targetDevice(fe.ptd);  // ours to free
    fe.ptd = nullptr;
    if (!visit(fe)) return;
  }
}

// The data of a medium that GetData returned for a request of format id on the media in asked.
std::string DataOfMedium(const STGMEDIUM& medium, UINT id, DWORD asked) {
  if ((medium.tymed & asked) == 0) return {};  // a medium we did not ask for is not ours to read
  switch (medium.tymed) {
    case TYMED_HGLOBAL:
      return GetHandleDataToString(medium.hGlobal);
    case TYMED_ISTREAM:
    case TYMED_ISTORAGE: {
      IUnknown* object = medium.tymed == TYMED_ISTREAM ? static_cast<IUnknown*>(medium.pstm)
                                                       : static_cast<IUnknown*>(medium.pstg);
      if (!object) return {};
      std::string pointer = EncodePointerToString(object);
      object->AddRef();  // the caller's reference, taken once nothing else can fail
      return pointer;
    }
    case TYMED_GDI: {
      if (id != CF_BITMAP) return {};
      vcl::TUniqueBitmap copy(CopyBitmapHandle(static_cast<HBITMAP>(medium.hBitmap)));
      if (!copy) return {};
      std::string handle = EncodePointerToString(copy.Get());
      copy.Release();
      return handle;
    }
    case TYMED_ENHMF: {
      if (id != CF_ENHMETAFILE || !medium.hEnhMetaFile) return {};
      vcl::TUniqueEnhMetaFile copy(CopyEnhMetaFileW(medium.hEnhMetaFile, nullptr));
      if (!copy) return {};
      std::string handle = EncodePointerToString(copy.Get());
      copy.Release();
      return handle;
    }
    case TYMED_MFPICT: {
      if (id != CF_METAFILEPICT) return {};
      std::optional<METAFILEPICT> read;
      {
        vcl::TGlobalLock lock(medium.hMetaFilePict);
        read = detail::MetafilePictFromBlock(lock.View());
      }
      if (!read || !read->hMF) return {};
      const METAFILEPICT& found = *read;
      METAFILEPICT pict{};  // padding stays zero
      pict.mm = found.mm;
      pict.xExt = found.xExt;
      pict.yExt = found.yExt;
      vcl::TUniqueMetaFile copy(CopyMetaFileW(found.hMF, nullptr));
      if (!copy) return {};
      pict.hMF = copy.Get();
      std::string record(reinterpret_cast<const char*>(&pict), sizeof pict);
      copy.Release();
      return record;
    }
    default:
      return {};
  }
}

}  // namespace

vcl::TStringList* DataObjFormatList(IDataObject* DataObject) {
  auto list = std::make_unique<vcl::TStringList>();
  if (!DataObject) return list.release();
  ForEachOfferedFormat(DataObject, [&](const FORMATETC& fe) {
    if (fe.cfFormat == 0) return false;
    list->Add(IsStandardFormat(fe.cfFormat) ? vcl::IntToStr(fe.cfFormat) : RegisteredFormatName(fe.cfFormat));
    return true;
  });
  return list.release();
}

vcl::TStringList* DataObjFormatEtcList(IDataObject* DataObject) {
  auto list = std::make_unique<vcl::TStringList>();
  if (!DataObject) return list.release();
  ForEachOfferedFormat(DataObject, [&](const FORMATETC& fe) {
    list->Add(vcl::Format(L"\"%s\",%d,%s,%d,%d", ClipboardFormatDisplayName(fe.cfFormat), int{fe.cfFormat},
                          StorageMediumDisplayName(static_cast<int>(fe.tymed)), static_cast<int>(fe.dwAspect),
                          static_cast<int>(fe.lindex)));
    return true;
  });
  return list.release();
}

int DataObjRefCount(IUnknown* Object) {
  if (!Object) return 0;
  Object->AddRef();
  return static_cast<int>(Object->Release());
}

bool DataObjHasFormat(IDataObject* DataObject, const std::wstring& FormatName) {
  TOneShotReset reset;
  if (!DataObject) return false;
  UINT id = ClipboardFormatFromString(FormatName);
  if (id == 0) return false;
  FORMATETC fe = OneShotRequest(id);
  return DataObject->QueryGetData(&fe) == S_OK;
}

std::string DataObjGetFormat(IDataObject* DataObject, const std::wstring& FormatName) {
  TOneShotReset reset;
  if (!DataObject) return {};
  UINT id = ClipboardFormatFromString(FormatName);
  if (id == 0) return {};
  FORMATETC fe = OneShotRequest(id);
  vcl::TStgMedium medium;
  if (FAILED(vcl::GetDataInto(DataObject, fe, medium))) return {};
  return DataOfMedium(medium.Get(), id, fe.tymed);
}

std::wstring ClipboardFormatDisplayName(int FormatId) {
  if (FormatId <= 0) return {};
  if (IsStandardFormat(FormatId)) return kStandardFormatNames[FormatId - 1];
  return RegisteredFormatName(static_cast<UINT>(FormatId));
}

std::wstring StorageMediumDisplayName(int Tymed) {
  if (Tymed == 0) return L"TYMED_NULL";
  std::wstring name;
  for (int bit = 0; bit < static_cast<int>(std::size(kMediumNames)); ++bit) {
    if (Tymed & (1 << bit)) {
      if (!name.empty()) name += L'+';
      name += kMediumNames[bit];
    }
  }
  return name.empty() ? vcl::IntToStr(Tymed) : name;
}

HBITMAP CopyBitmapHandle(HBITMAP Bitmap) {
  if (!Bitmap || GetObjectType(Bitmap) != OBJ_BITMAP) return nullptr;
  BITMAP info{};
  if (GetObjectW(Bitmap, sizeof info, &info) == 0) return nullptr;

  vcl::TMemoryDC source, target;
  vcl::TUniqueBitmap copy;
  {
    vcl::TWindowDC screen;
    if (!screen) return nullptr;
    source.Reset(CreateCompatibleDC(screen.Get()));
    target.Reset(CreateCompatibleDC(screen.Get()));
    if (!source || !target) return nullptr;
    copy.Reset(CreateCompatibleBitmap(screen.Get(), info.bmWidth, info.bmHeight));
    if (!copy) return nullptr;
  }
  {
    vcl::TSelectObject selectedSource(source.Get(), Bitmap);
    vcl::TSelectObject selectedTarget(target.Get(), copy.Get());
    if (!selectedSource || !selectedTarget) return nullptr;
    if (!BitBlt(target.Get(), 0, 0, info.bmWidth, info.bmHeight, source.Get(), 0, 0, SRCCOPY)) return nullptr;
  }
  return copy.Release();
}

std::optional<METAFILEPICT> detail::MetafilePictFromBlock(std::string_view Block) {
  const std::optional<blocks::TMetafilePict> read = blocks::ReadMetafilePict(Block, sizeof(HMETAFILE));
  if (!read) return std::nullopt;
  METAFILEPICT pict{};
  pict.mm = read->MappingMode;
  pict.xExt = read->XExt;
  pict.yExt = read->YExt;
  pict.hMF = reinterpret_cast<HMETAFILE>(static_cast<std::uintptr_t>(read->MetaFile));
  return pict;
}

HENHMETAFILE EnhMFfromMetaFilePict(const METAFILEPICT& Pict) {
  if (!Pict.hMF) return nullptr;
  UINT size = GetMetaFileBitsEx(Pict.hMF, 0, nullptr);
  if (size == 0) return nullptr;
  std::vector<BYTE> bits(size);
  if (GetMetaFileBitsEx(Pict.hMF, size, bits.data()) != size) return nullptr;
  return SetWinMetaFileBits(size, bits.data(), nullptr, &Pict);
}

}  // namespace kestrix
