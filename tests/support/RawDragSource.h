#pragma once
// A foreign application's drag source written with nothing but raw OLE: a data object offering
// byte blocks on global memory, and a drop source that drops when a chosen button is released and
// cancels on Escape. For tests that drag into a target (or that check the drag harness itself).
#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/DataObjectStubs.h"
namespace kxtest {

class RawDataObject : public DataObjectStubs<IDataObject> {
 public:
  // Starts with one reference for the creator.
  RawDataObject() = default;
  // Offers cf on TYMED_HGLOBAL with exactly these bytes (add the terminator yourself).
  void Add(CLIPFORMAT cf, std::string bytes);
  void AddUnicodeText(const std::wstring& text);  // CF_UNICODETEXT with its zero code unit
  // Objects alive in the process (for leak checks).
  static LONG Alive();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetData(FORMATETC* fe, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* fe) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** e) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** e) override;

  std::atomic<int> getDataCalls{0};

 private:
  struct Entry {
    CLIPFORMAT cf;
    std::string bytes;
  };
  RawDataObject(const RawDataObject&) = delete;
  virtual ~RawDataObject() = default;
  const Entry* Find(const FORMATETC* fe) const;
  LONG volatile FRefs = 1;
  std::vector<Entry> FEntries;
  struct Counter {
    Counter();
    ~Counter();
  } FCounter;
};

class RawDropSource : public IDropSource {
 public:
  explicit RawDropSource(DWORD buttonFlag = MK_LBUTTON) : FButton(buttonFlag) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override;
  STDMETHODIMP GiveFeedback(DWORD effect) override;

  std::atomic<int> polls{0}, feedbacks{0};
  std::atomic<DWORD> lastFeedback{0};

 private:
  virtual ~RawDropSource() = default;
  LONG volatile FRefs = 1;
  DWORD FButton;
};

}  // namespace kxtest
