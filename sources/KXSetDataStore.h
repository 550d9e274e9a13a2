#pragma once
// TSetDataStore: the formats that others store in a Kestrix data object through SetData (the
// shell's drag-image helper, drop descriptions, the move protocol's "Performed DropEffect" and
// "Paste Succeeded"). Each format is kept, with a medium the store owns, until the same format is
// set again or the store goes.
#include <windows.h>
#include <ole2.h>

#include <vector>

namespace kestrix {

class TSetDataStore {
 public:
  TSetDataStore() = default;
  TSetDataStore(const TSetDataStore&) = delete;
  TSetDataStore& operator=(const TSetDataStore&) = delete;
  ~TSetDataStore();

  // Keeps Medium for Format (HGLOBAL or IStream; DV_E_TYMED for others, DV_E_FORMATETC for another
  // aspect). With fRelease the store takes the medium; without, it keeps a copy of the block or a
  // reference of its own to the stream. A format set before is released and replaced. On failure
  // the caller keeps what it passed.
  HRESULT Set(const FORMATETC& Format, STGMEDIUM& Medium, BOOL fRelease);
  // Whether a kept format answers a request (its format and aspect, a medium it allows).
  bool Has(const FORMATETC& Request) const;
  // A medium the caller owns: a copy of the kept block, or another reference to the stream.
  HRESULT Get(const FORMATETC& Request, STGMEDIUM& Medium) const;
  // The kept formats, in the order they were first set.
  void AppendFormats(std::vector<FORMATETC>& Formats) const;

 private:
  struct Entry {
    FORMATETC Format;
    STGMEDIUM Medium;
  };
  const Entry* Find(const FORMATETC& Request) const;
  std::vector<Entry> FEntries;
};

}  // namespace kestrix
