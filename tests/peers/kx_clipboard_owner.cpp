// A foreign process that owns the clipboard: it puts a data object with text (CF_UNICODETEXT and
// CF_TEXT) and one registered format on the clipboard with OleSetClipboard, signals READY, and
// serves requests from other processes until QUIT is signalled or a minute has passed; then it
// takes its data object off the clipboard again.
//
//   kx_clipboard_owner READY_EVENT QUIT_EVENT TEXT FORMAT_NAME FORMAT_CONTENT [FORMAT_NAME FORMAT_CONTENT]...
//
// The events are named events the caller created. FORMAT_CONTENT is offered as UTF-8 bytes, or as
// the bytes it spells when it is "hex:" and pairs of hex digits (binary blocks).
// Exit codes: 0 done, 1 bad command line, 2 events not found, 3 OleSetClipboard failed.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "framework/Handles.h"
#include "support/DataObjectStubs.h"
#include "vocabulary/KXEnum.h"

namespace {

class TOwnedData : public kxtest::DataObjectStubs<vcl::TInterfacedObjectImpl<IDataObject>> {
 public:
  TOwnedData() { AddRef(); }
  void Offer(UINT format, std::string bytes) {
    FItems.push_back({{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, std::move(bytes)});
  }

  STDMETHODIMP GetData(FORMATETC* fe, STGMEDIUM* medium) override {
    return vcl::ComBoundary([&] {
      std::memset(medium, 0, sizeof *medium);
      const TItem* item = Find(fe);
      if (!item) return DV_E_FORMATETC;
      vcl::TUniqueGlobal block = vcl::GlobalFromBytes(GMEM_MOVEABLE, item->bytes.data(), item->bytes.size(),
                                                      item->bytes.size());
      if (!block) return E_OUTOFMEMORY;
      medium->tymed = TYMED_HGLOBAL;
      medium->hGlobal = block.Release();
      return S_OK;
    });
  }
  STDMETHODIMP QueryGetData(FORMATETC* fe) override { return Find(fe) ? S_OK : DV_E_FORMATETC; }
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** result) override {
    return vcl::ComBoundary([&] {
      *result = nullptr;
      if (direction != DATADIR_GET) return E_NOTIMPL;
      auto* formats = new kestrix::TKXEnumFormatEtc();
      for (const auto& item : FItems) formats->addFormatEtc(item.fe);
      return formats->QueryInterface(IID_IEnumFORMATETC, reinterpret_cast<void**>(result));
    });
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }

 private:
  struct TItem {
    FORMATETC fe;
    std::string bytes;
  };
  const TItem* Find(const FORMATETC* fe) const {
    if (!fe || fe->dwAspect != DVASPECT_CONTENT || !(fe->tymed & TYMED_HGLOBAL)) return nullptr;
    for (const auto& item : FItems)
      if (item.fe.cfFormat == fe->cfFormat) return &item;
    return nullptr;
  }
  std::vector<TItem> FItems;
};

std::string Encode(UINT codePage, const std::wstring& text) {
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Content(const std::wstring& argument) {
  if (argument.rfind(L"hex:", 0) != 0) return Encode(CP_UTF8, argument);
  std::string bytes;
  for (std::size_t at = 4; at + 1 < argument.size(); at += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::wstring(argument.substr(at, 2)), nullptr, 16)));
  return bytes;
}

int Serve(const std::vector<std::wstring>& args) {
  vcl::TUniqueKernelHandle ready(OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, args[0].c_str()));
  vcl::TUniqueKernelHandle quit(OpenEventW(SYNCHRONIZE, FALSE, args[1].c_str()));
  if (!ready || !quit) return 2;

  auto data = vcl::TComPtr<TOwnedData>::Attach(new TOwnedData());
  const std::wstring& text = args[2];
  data->Offer(CF_UNICODETEXT, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t)));
  data->Offer(CF_TEXT, Encode(CP_ACP, text) + '\0');
  for (std::size_t n = 3; n + 1 < args.size(); n += 2)
    data->Offer(RegisterClipboardFormatW(args[n].c_str()), Content(args[n + 1]));
  if (FAILED(OleSetClipboard(data.Get()))) return 3;
  SetEvent(ready.Get());

  const DWORD start = GetTickCount();
  const DWORD limit = 60000;  // never outlive a test that forgot to say quit
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= limit) break;
    HANDLE waitFor = quit.Get();
    DWORD woke = MsgWaitForMultipleObjects(1, &waitFor, FALSE, limit - elapsed, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + 1) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (OleIsCurrentClipboard(data.Get()) == S_OK) OleSetClipboard(nullptr);
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  std::unique_ptr<wchar_t*, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (!argv || count < 6 || count % 2 != 0) {
    std::fputs("usage: kx_clipboard_owner READY_EVENT QUIT_EVENT TEXT FORMAT_NAME FORMAT_CONTENT...\n", stderr);
    return 1;
  }
  std::vector<std::wstring> args(argv.get() + 1, argv.get() + count);
  if (FAILED(OleInitialize(nullptr))) return 3;
  int result = Serve(args);
  OleUninitialize();
  return result;
}
