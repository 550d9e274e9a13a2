#include "targets/KXVirtualImage.h"

#include <wincodec.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/KXFileGroupBlock.h"
#include "framework/DataMedium.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "framework/WicImage.h"
#include "targets/KXTextDropTarget.h"
#include "vocabulary/KXComps.h"
#include "vocabulary/KXFileContents.h"
#include "vocabulary/KXImageFiles.h"

namespace kestrix {

namespace {

const wchar_t* const sNotAPicture = L"The dropped file is not a picture";

constexpr DWORD kContentsMedia = TYMED_HGLOBAL | TYMED_ISTREAM | TYMED_ISTORAGE;

// The indexes (lindex) of the descriptor's items that are not folders, the wide descriptor first.
std::vector<LONG> FileItems(IDataObject* data) {
  for (bool wide : {true, false}) {
    const std::string block = FileGroupDescriptorBlock(data, wide);
    if (block.empty()) continue;
    const std::vector<blocks::TFileGroupRecord> records = blocks::ReadFileGroup(block, wide);
    std::vector<LONG> items;
    for (size_t i = 0; i < records.size() && items.size() < size_t(kVirtualImageMaxItems); ++i)
      if (!records[i].IsFolder()) items.push_back(static_cast<LONG>(i));
    return items;  // a wide descriptor that names only folders is not overruled by the ANSI one
  }
  return {};
}

// Sources differ in what QueryGetData wants for "FileContents": some ask for the item's index.
bool OffersContents(IDataObject* data, LONG item) {
  for (LONG index : {item, LONG(-1)}) {
    FORMATETC fe{static_cast<CLIPFORMAT>(CF_FILECONTENTS), nullptr, DVASPECT_CONTENT, index, kContentsMedia};
    if (data->QueryGetData(&fe) == S_OK) return true;
  }
  return false;
}

}  // namespace

bool OffersVirtualImage(IDataObject* DataObject) {
  if (!DataObject) return false;
  const std::vector<LONG> items = FileItems(DataObject);
  return !items.empty() && OffersContents(DataObject, items.front());
}

namespace {

// Decodes a file's bytes into Picture: Decoded, or NotAPicture (Picture untouched).
TVirtualImageResult DecodeInto(vcl::TMemoryStream& contents, vcl::TPicture& Picture) {
  std::unique_ptr<vcl::TBitmap> bitmap;
  try {
    bitmap = DecodeImageFile(contents, sNotAPicture);
  } catch (const vcl::EInvalidGraphic&) {
    return TVirtualImageResult::NotAPicture;
  }
  Picture.Bitmap()->Assign(bitmap.get());
  return TVirtualImageResult::Decoded;
}

// The names of the drag's CF_HDROP list (none when it offers none or the block is malformed).
std::vector<std::wstring> DroppedNames(IDataObject* data) {
  FORMATETC fe{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  vcl::TStgMedium medium;
  if (!data || FAILED(vcl::GetDataInto(data, fe, medium)) || medium->tymed != TYMED_HGLOBAL) return {};
  return DroppedFileList(medium->hGlobal);
}

// Reads a file on disk whole into Out; false when it cannot be opened or read, is a folder, or is
// larger than Limit.
bool ReadWholeFile(const std::wstring& path, vcl::TMemoryStream& out, std::uint64_t limit) {
  HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  vcl::TUniqueKernelHandle file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 || std::uint64_t(size.QuadPart) > limit) return false;
  char buffer[64 * 1024];
  for (DWORD got = 0;;) {
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    if (std::uint64_t(out.Size()) + got > limit) return false;  // grew while read
    out.Write(buffer, got);
  }
}

}  // namespace

TVirtualImageResult ReadVirtualImage(IDataObject* DataObject, vcl::TPicture& Picture) {
  if (!DataObject) return TVirtualImageResult::NotRead;
  TVirtualImageResult result = TVirtualImageResult::NotRead;
  for (LONG item : FileItems(DataObject)) {
    vcl::TMemoryStream contents;
    if (ReadFileContents(DataObject, item, contents, kVirtualImageMaxBytes) != TFileContentsResult::Read) continue;
    result = DecodeInto(contents, Picture);
    if (result == TVirtualImageResult::Decoded) return result;
  }
  return result;
}

bool OffersImageFile(IDataObject* DataObject) { return DroppedNames(DataObject).size() == 1; }

TVirtualImageResult ReadImageFile(IDataObject* DataObject, vcl::TPicture& Picture) {
  const std::vector<std::wstring> names = DroppedNames(DataObject);
  vcl::TMemoryStream contents;
  if (names.size() != 1 || !ReadWholeFile(names.front(), contents, kVirtualImageMaxBytes)) return TVirtualImageResult::NotRead;
  return DecodeInto(contents, Picture);
}

void DecodePNGBytes(std::string_view Bytes, vcl::TPicture& Picture) {
  std::unique_ptr<vcl::TBitmap> bitmap = vcl::DecodeImageWithWIC(Bytes, &GUID_ContainerFormatPng, sNotAPicture, true);
  Picture.Bitmap()->Assign(bitmap.get());
}

}  // namespace kestrix
