#include "vocabulary/KXCustomFormats.h"

#include <memory>

#include "formats/KXUtil.h"

namespace kestrix {

FORMATETC TCustomFormatData::getFormatEtc() const {
  return {static_cast<CLIPFORMAT>(ClipboardFormatFromString(FName)), nullptr, DVASPECT_CONTENT, FlIndex,
          static_cast<DWORD>(FTymed)};
}

void TCustomFormatDataList::AddFormat(const std::wstring& formatName, const std::wstring& formatContent) {
  AddFormat(formatName, vcl::AnsiFromUnicode(formatContent));
}

void TCustomFormatDataList::AddFormatEx(const std::wstring& formatName, const std::wstring& formatContent,
                                        LONG formatTymed, LONG formatlIndex) {
  AddFormatEx(formatName, vcl::AnsiFromUnicode(formatContent), formatTymed, formatlIndex);
}

void TCustomFormatDataList::AddFormat(const std::wstring& formatName, const std::string& formatContent) {
  AddFormatEx(formatName, formatContent, TYMED_HGLOBAL, 0);
}

void TCustomFormatDataList::AddFormatEx(const std::wstring& formatName, const std::string& formatContent,
                                        LONG formatTymed, LONG formatlIndex) {
  auto item = std::make_unique<TCustomFormatData>();
  item->setName(formatName);
  item->setContent(formatContent);
  item->setTymed(formatTymed);
  item->setlIndex(formatlIndex);
  Add(item.get());
  item.release();
}

void TCustomFormatDataList::Clear() {
  for (int i = 0; i < Count(); ++i) delete Items(i);
  TList::Clear();
}

}  // namespace kestrix
