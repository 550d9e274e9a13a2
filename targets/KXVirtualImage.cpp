#include "targets/KXVirtualImage.h"

#include <memory>
#include <string_view>
#include <vector>

#include "formats/KXFileGroupBlock.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "framework/WicImage.h"
#include "gif/KXGIFImage.h"
#include "vocabulary/KXComps.h"
#include "vocabulary/KXFileContents.h"

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

bool StartsWith(std::string_view bytes, std::string_view magic) { return bytes.substr(0, magic.size()) == magic; }

// The picture in a file's bytes, chosen by content; raises EInvalidGraphic or GIFException for
// bytes that are no picture.
std::unique_ptr<vcl::TBitmap> DecodeImageFile(vcl::TMemoryStream& file) {
  const std::string_view bytes(reinterpret_cast<const char*>(file.Memory()), static_cast<size_t>(file.Size()));
  file.SetPosition(0);
  auto bitmap = std::make_unique<vcl::TBitmap>();
  if (StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a")) {
    TGIFImage gif;
    gif.LoadFromStream(file);
    bitmap->Assign(&gif);
  } else if (StartsWith(bytes, "BM")) {
    bitmap->LoadFromStream(file);
  } else {
    bitmap = vcl::DecodeImageWithWIC(bytes, nullptr, sNotAPicture);
  }
  if (bitmap->Empty()) throw vcl::EInvalidGraphic(sNotAPicture);
  return bitmap;
}

}  // namespace

bool OffersVirtualImage(IDataObject* DataObject) {
  if (!DataObject) return false;
  const std::vector<LONG> items = FileItems(DataObject);
  return !items.empty() && OffersContents(DataObject, items.front());
}

TVirtualImageResult ReadVirtualImage(IDataObject* DataObject, vcl::TPicture& Picture) {
  if (!DataObject) return TVirtualImageResult::NotRead;
  TVirtualImageResult result = TVirtualImageResult::NotRead;
  for (LONG item : FileItems(DataObject)) {
    vcl::TMemoryStream contents;
    if (ReadFileContents(DataObject, item, contents, kVirtualImageMaxBytes) != TFileContentsResult::Read) continue;
    result = TVirtualImageResult::NotAPicture;
    std::unique_ptr<vcl::TBitmap> bitmap;
    try {
      bitmap = DecodeImageFile(contents);
    } catch (const vcl::EInvalidGraphic&) {
      continue;
    } catch (const GIFException&) {
      continue;
    } catch (const vcl::EReadError&) {  // a bitmap file shorter than its header
      continue;
    }
    Picture.Bitmap()->Assign(bitmap.get());
    return TVirtualImageResult::Decoded;
  }
  return result;
}

}  // namespace kestrix
