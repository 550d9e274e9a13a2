// A stand-in for a web browser's network automation object, started by COM as a local server that
// makes one object and ends when it is released. The object answers Open, GetContentType,
// IsFinished, Read and Close by name (late binding only, no type library) and serves the files of
// one folder by URL: the URL's last path segment names the file, its extension the content type.
// Options after "?" (joined by "&") make it misbehave on purpose:
//   finished   IsFinished answers true from the start
//   type=T     GetContentType answers T
//   chunk=N    Read delivers at most N bytes at a time
//   claim=N    Read reports N bytes, whatever it delivered
//   replace    Read hands back a new string of exactly the bytes delivered instead of filling the
//              caller's buffer
//   fail=M     method M raises an automation exception
// Command line (as registered): kx_network_object.exe <folder> <log file> -Embedding. Each call is
// appended to the log file as one line, so that tests see what their caller did.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <cwctype>
#include <new>
#include <string>

#include "peers/NetworkObjectRegistration.h"
#include "peers/PeerClassFactory.h"
#include "peers/PeerComObject.h"

namespace {

std::wstring gFolder;
std::wstring gLogFile;
LONG gObjects = 0;

void Log(const std::wstring& line) {
  std::wstring text = line + L"\n";
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
  HANDLE file = CreateFileW(gLogFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1 << 26);
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
  }
  CloseHandle(file);
  return ok;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

std::wstring ContentTypeOf(const std::wstring& name) {
  std::wstring ext = Lower(name.substr(std::min(name.size(), name.find_last_of(L'.'))));
  if (ext == L".gif") return L"image/gif";
  if (ext == L".jpg" || ext == L".jpeg") return L"image/jpeg";
  if (ext == L".bmp") return L"image/x-MS-bmp";
  if (ext == L".png") return L"image/png";
  if (ext == L".txt") return L"text/plain";
  return L"application/octet-stream";
}

// The text of a variant, for the log.
std::wstring TextOf(const VARIANT& v) {
  VARIANT s;
  VariantInit(&s);
  std::wstring text = L"?";
  if (SUCCEEDED(VariantChangeType(&s, const_cast<VARIANT*>(&v), 0, VT_BSTR))) text.assign(s.bstrVal, SysStringLen(s.bstrVal));
  VariantClear(&s);
  return text;
}

enum TMethodId : DISPID { idOpen = 1, idGetContentType, idIsFinished, idRead, idClose };
struct TMethod {
  const wchar_t* Name;
  TMethodId Id;
  UINT Args;
};
const TMethod kMethods[] = {
    {L"Open", idOpen, 5}, {L"GetContentType", idGetContentType, 0}, {L"IsFinished", idIsFinished, 0},
    {L"Read", idRead, 2}, {L"Close", idClose, 0},
};

class TNetworkObject final : public kxtest::TPeerComObject<IDispatch> {
 public:
  TNetworkObject() { InterlockedIncrement(&gObjects); }
  ~TNetworkObject() override {
    Log(L"Released");
    if (InterlockedDecrement(&gObjects) == 0) PostQuitMessage(0);
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT /*index*/, LCID /*lcid*/, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names, UINT count, LCID /*lcid*/, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (const TMethod& m : kMethods)
        if (names[i] && Lower(names[i]) == Lower(m.Name)) ids[i] = m.Id;
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }

  STDMETHODIMP Invoke(DISPID id, REFIID /*riid*/, LCID /*lcid*/, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override {
    const TMethod* method = nullptr;
    for (const TMethod& m : kMethods)
      if (m.Id == id) method = &m;
    if (!method || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    if (params->cArgs != method->Args) return DISP_E_BADPARAMCOUNT;
    FParams = params;
    if (result) VariantInit(result);
    if (method->Id == idOpen) {
      HRESULT hr = TakeAddress(argErr);
      if (FAILED(hr)) return hr;
    }
    if (!FFail.empty() && Lower(FFail) == Lower(method->Name)) {
      Log(std::wstring(method->Name) + L" raised");
      if (excep) {
        std::memset(excep, 0, sizeof *excep);
        excep->scode = E_FAIL;
        excep->bstrSource = SysAllocString(L"kx_network_object");
        excep->bstrDescription = SysAllocString((L"The stand-in refused " + std::wstring(method->Name)).c_str());
      }
      return DISP_E_EXCEPTION;
    }
    switch (method->Id) {
      case idOpen: return Open(result, argErr);
      case idGetContentType:
        Log(L"GetContentType");
        return Answer(result, FContentType);
      case idIsFinished: {
        Log(L"IsFinished");
        bool finished = FFinished || FPosition >= FData.size();
        if (result) {
          result->vt = VT_BOOL;
          result->boolVal = finished ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
      }
      case idRead: return Read(result, argErr);
      case idClose: Log(L"Close"); return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  // Argument i in natural order.
  VARIANT& Arg(UINT i) { return FParams->rgvarg[FParams->cArgs - 1 - i]; }

  HRESULT ArgAs(UINT i, VARTYPE type, VARIANT& out, UINT* argErr) {
    VariantInit(&out);
    HRESULT hr = VariantChangeType(&out, &Arg(i), 0, type);
    if (FAILED(hr) && argErr) *argErr = FParams->cArgs - 1 - i;
    return hr;
  }

  static HRESULT Answer(VARIANT* result, const std::wstring& text) {
    if (!result) return S_OK;
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!result->bstrVal) return E_OUTOFMEMORY;
    result->vt = VT_BSTR;
    return S_OK;
  }

  // Reads Open's URL: the file it names and the options after it.
  HRESULT TakeAddress(UINT* argErr) {
    VARIANT url;
    HRESULT hr = ArgAs(0, VT_BSTR, url, argErr);
    if (FAILED(hr)) return hr;
    FAddress.assign(url.bstrVal, SysStringLen(url.bstrVal));
    VariantClear(&url);
    std::wstring address = FAddress, options;
    if (size_t q = address.find(L'?'); q != std::wstring::npos) {
      options = address.substr(q + 1);
      address.resize(q);
    }
    FName = address.substr(address.find_last_of(L'/') + 1);
    FContentType = ContentTypeOf(FName);
    for (size_t start = 0; start <= options.size();) {
      size_t end = std::min(options.find(L'&', start), options.size());
      std::wstring option = options.substr(start, end - start);
      std::wstring key = option.substr(0, option.find(L'='));
      std::wstring value = option.size() > key.size() ? option.substr(key.size() + 1) : std::wstring();
      if (key == L"finished") FFinished = true;
      else if (key == L"type") FContentType = value;
      else if (key == L"chunk") FChunk = static_cast<size_t>(std::max(1, _wtoi(value.c_str())));
      else if (key == L"claim") FClaim = _wtoi(value.c_str());
      else if (key == L"replace") FReplace = true;
      else if (key == L"fail") FFail = value;
      start = end + 1;
    }
    return S_OK;
  }

  HRESULT Open(VARIANT* result, UINT* /*argErr*/) {
    std::wstring line = L"Open " + FAddress;
    for (UINT i = 1; i < 5; ++i) line += L"|" + TextOf(Arg(i));
    Log(line);
    bool opened = !FName.empty() && ReadWholeFile(gFolder + L"\\" + FName, FData);
    if (result) {
      result->vt = VT_BOOL;
      result->boolVal = opened ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
  }

  HRESULT Read(VARIANT* result, UINT* argErr) {
    if (Arg(0).vt != (VT_BYREF | VT_BSTR) || !Arg(0).pbstrVal) {
      if (argErr) *argErr = FParams->cArgs - 1;
      return DISP_E_TYPEMISMATCH;
    }
    VARIANT wanted;
    HRESULT hr = ArgAs(1, VT_I4, wanted, argErr);
    if (FAILED(hr)) return hr;
    BSTR& buffer = *Arg(0).pbstrVal;
    size_t n = std::min<size_t>(static_cast<size_t>(std::max<LONG>(0, wanted.lVal)), FData.size() - FPosition);
    n = std::min(n, FChunk);
    if (FReplace) {
      BSTR fresh = SysAllocStringByteLen(FData.data() + FPosition, static_cast<UINT>(n));
      if (!fresh) return E_OUTOFMEMORY;
      SysFreeString(buffer);
      buffer = fresh;
    } else {
      n = std::min<size_t>(n, SysStringByteLen(buffer));
      if (n) std::memcpy(buffer, FData.data() + FPosition, n);
    }
    FPosition += n;
    Log(L"Read " + std::to_wstring(wanted.lVal) + L" " + std::to_wstring(n));
    if (result) {
      result->vt = VT_I4;
      result->lVal = FClaim ? FClaim : static_cast<LONG>(n);
    }
    return S_OK;
  }

  DISPPARAMS* FParams = nullptr;
  std::wstring FAddress;
  std::wstring FName;
  std::string FData;
  size_t FPosition = 0;
  std::wstring FContentType;
  bool FFinished = false;
  bool FReplace = false;
  size_t FChunk = SIZE_MAX;
  LONG FClaim = 0;
  std::wstring FFail;
};

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 3) return 2;
  gFolder = argv[1];
  gLogFile = argv[2];
  LocalFree(argv);

  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  kxtest::TPeerClassFactory<TNetworkObject> factory;
  DWORD cookie = 0;
  // One object per process: every activation starts a fresh server with fresh state.
  HRESULT hr = CoRegisterClassObject(kxtest::CLSID_KXNetworkObject, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie);
  if (FAILED(hr)) {
    CoUninitialize();
    return 4;
  }
  // A server that is never asked for its object gives up after a minute; one whose caller went
  // away without releasing it, after ten.
  SetTimer(nullptr, 0, 60000, nullptr);
  int minutes = 0;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && (gObjects == 0 || ++minutes >= 10)) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoRevokeClassObject(cookie);
  CoUninitialize();
  return 0;
}
