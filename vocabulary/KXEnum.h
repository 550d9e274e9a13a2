#pragma once
// TKXEnumFormatEtc: the library's IEnumFORMATETC, filled by a data object and walked by OLE.
#include <windows.h>
#include <ole2.h>

#include <vector>

#include "framework/ComObj.h"

namespace kestrix {

// Made with vcl::MakeComObject (a constructor takes no reference): the data object fills it and
// hands out its interface. Entries are shallow copies; a target device (ptd) is neither duplicated nor freed.
class KX_API TKXEnumFormatEtc : public vcl::TInterfacedObjectImpl<IEnumFORMATETC> {
 public:
  TKXEnumFormatEtc() = default;
  ~TKXEnumFormatEtc() override { freeFormatEtcList(); }

  void addFormatEtc(const FORMATETC& fe) { FFormatEtcs.push_back(fe); }
  // Moves the walk position without a range test.
  void setIndex(LONG aI) { FIndex = aI; }
  void freeFormatEtcList() { FFormatEtcs.clear(); }
  int Count() const { return static_cast<int>(FFormatEtcs.size()); }

  // Hands out one entry per call: a request for more than one gives S_FALSE and nothing.
  STDMETHODIMP Next(ULONG celt, FORMATETC* elt, ULONG* pceltFetched) override;
  // Running exactly to the end counts as running out (S_FALSE, position unchanged).
  STDMETHODIMP Skip(ULONG celt) override;
  STDMETHODIMP Reset() override;
  // An independent copy at the same position.
  STDMETHODIMP Clone(IEnumFORMATETC** ppenum) override;

 private:
  std::vector<FORMATETC> FFormatEtcs;
  LONG FIndex = 0;
};

}  // namespace kestrix
