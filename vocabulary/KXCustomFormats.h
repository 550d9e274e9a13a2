#pragma once
// Custom formats of a text drag: items an application adds to TKXTextSource::CustomFormatData,
// offered by the drag's data object in list order instead of plain text.
#include <windows.h>
#include <ole2.h>

#include <string>

#include "framework/Classes.h"

namespace kestrix {

class KX_API TCustomFormatData : public vcl::TObject {
 public:
  TCustomFormatData() = default;

  // The format name: "1".."16" stand for the standard formats, other names are registered.
  const std::wstring& getName() const { return FName; }
  void setName(const std::wstring& Value) { FName = Value; }
  // The bytes rendered into global memory, or, for an item on another medium, the handle or
  // interface pointer to hand out in its first pointer-sized bytes (not referenced by the list:
  // the application keeps that object alive while the drag may render it).
  const std::string& getContent() const { return FContent; }
  void setContent(const std::string& Value) { FContent = Value; }
  LONG getTymed() const { return FTymed; }
  // 0 is stored as TYMED_HGLOBAL.
  void setTymed(LONG Value) { FTymed = Value == 0 ? LONG{TYMED_HGLOBAL} : Value; }
  LONG getlIndex() const { return FlIndex; }
  void setlIndex(LONG Value) { FlIndex = Value; }
  // True only when the item is offered exactly as TYMED_HGLOBAL and the flag is set.
  bool getAllowTrailingNull() const { return FTymed == TYMED_HGLOBAL && FAllowTrailingNull; }
  void setAllowTrailingNull(bool Value) { FAllowTrailingNull = Value; }
  // The record the item is offered with (the name's id, content aspect, its lindex and tymed).
  FORMATETC getFormatEtc() const;

 private:
  std::wstring FName;
  std::string FContent;
  LONG FlIndex = 0;
  LONG FTymed = TYMED_HGLOBAL;
  bool FAllowTrailingNull = true;
};

// Owns its items: Clear and destruction free them. Replacing an item through SetItem does not
// free the one that was there.
class KX_API TCustomFormatDataList : public vcl::TList {
 public:
  ~TCustomFormatDataList() override { Clear(); }
  // Unicode content is stored in the system ANSI code page.
  void AddFormat(const std::wstring& formatName, const std::wstring& formatContent);
  void AddFormatEx(const std::wstring& formatName, const std::wstring& formatContent, LONG formatTymed,
                   LONG formatlIndex);
  void AddFormat(const std::wstring& formatName, const std::string& formatContent);
  void AddFormatEx(const std::wstring& formatName, const std::string& formatContent, LONG formatTymed,
                   LONG formatlIndex);
  void Clear() override;
  // Raise EListError for an index outside the list.
  TCustomFormatData* Items(int Index) const { return static_cast<TCustomFormatData*>(TList::Items(Index)); }
  void SetItem(int Index, TCustomFormatData* Item) { TList::SetItem(Index, Item); }
};

}  // namespace kestrix
