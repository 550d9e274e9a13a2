// A stand-in for the shell's drag-and-drop helper (CLSID_DragDropHelper), an in-process server
// that tests register in its place (DragDropHelperRegistration.h). Like the system's, its
// drag-source helper takes the bitmap it is given and stores the image in the data object as
// "DragImageBits" through SetData (an SHDRAGIMAGE followed by the bitmap's 32-bit rows); its
// drop-target helper takes every call of a drop target. It draws nothing: each call is appended,
// as one UTF-8 line, to the file named by KX_DRAGDROP_HELPER_LOG.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "peers/DragDropHelperRegistration.h"
#include "peers/PeerClassFactory.h"
#include "peers/PeerComObject.h"

namespace {

LONG gLocks = 0;

void Log(const std::string& line) {
  wchar_t path[MAX_PATH];
  if (!GetEnvironmentVariableW(kxtest::kDragDropHelperLogVariable, path, MAX_PATH)) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Format(const char* format, long a = 0, long b = 0, long c = 0, long d = 0) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, a, b, c, d);
  return buffer;
}

// Whether the data object answers for "DragImageBits" (what the system's target helper reads).
const char* HasImage(IDataObject* data) {
  FORMATETC fe{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"DragImageBits")), nullptr, DVASPECT_CONTENT, -1,
               TYMED_HGLOBAL};
  return data && data->QueryGetData(&fe) == S_OK ? "image" : "no image";
}

class THelper final : public kxtest::TPeerComObject<IDragSourceHelper, IDropTargetHelper> {
 public:
  THelper() { InterlockedIncrement(&gLocks); }
  ~THelper() override { InterlockedDecrement(&gLocks); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDragSourceHelper) *ppv = static_cast<IDragSourceHelper*>(this);
    else if (riid == IID_IDropTargetHelper) *ppv = static_cast<IDropTargetHelper*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  // ---- IDragSourceHelper ----
  STDMETHODIMP InitializeFromBitmap(LPSHDRAGIMAGE image, IDataObject* data) override {
    if (!image || !data) return E_INVALIDARG;
    BITMAP info{};
    if (!GetObjectW(image->hbmpDragImage, sizeof info, &info)) return E_INVALIDARG;
    const HRESULT hr = StoreImage(*image, data);
    Log(Format("InitializeFromBitmap %ldx%ld offset %ld,%ld", image->sizeDragImage.cx, image->sizeDragImage.cy,
               image->ptOffset.x, image->ptOffset.y) + (SUCCEEDED(hr) ? " stored" : " not stored"));
    if (FAILED(hr)) return hr;
    DeleteObject(image->hbmpDragImage);  // the helper owns a bitmap it accepts
    return S_OK;
  }
  STDMETHODIMP InitializeFromWindow(HWND, POINT*, IDataObject*) override {
    Log("InitializeFromWindow");
    return E_NOTIMPL;
  }

  // ---- IDropTargetHelper ----
  STDMETHODIMP DragEnter(HWND target, IDataObject* data, POINT*, DWORD effect) override {
    Log(std::string("DragEnter ") + HasImage(data) + Format(" effect %ld", static_cast<long>(effect)) + (target ? "" : " no window"));
    return S_OK;
  }
  STDMETHODIMP DragLeave() override {
    Log("DragLeave");
    return S_OK;
  }
  STDMETHODIMP DragOver(POINT*, DWORD effect) override {
    Log(Format("DragOver effect %ld", static_cast<long>(effect)));
    return S_OK;
  }
  STDMETHODIMP Drop(IDataObject* data, POINT*, DWORD effect) override {
    Log(Format("Drop effect %ld", static_cast<long>(effect)) + (data ? "" : " no data"));
    return S_OK;
  }
  STDMETHODIMP Show(BOOL) override { return S_OK; }

 private:
  static HRESULT StoreImage(const SHDRAGIMAGE& image, IDataObject* data) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = image.sizeDragImage.cx;
    bi.bmiHeader.biHeight = image.sizeDragImage.cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    const size_t rows = static_cast<size_t>(image.sizeDragImage.cx) * static_cast<size_t>(image.sizeDragImage.cy) * 4;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof image + rows);
    if (!block) return E_OUTOFMEMORY;
    auto* p = static_cast<unsigned char*>(GlobalLock(block));
    std::memcpy(p, &image, sizeof image);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, image.hbmpDragImage, 0, static_cast<UINT>(image.sizeDragImage.cy), p + sizeof image, &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    GlobalUnlock(block);
    FORMATETC fe{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"DragImageBits")), nullptr, DVASPECT_CONTENT, -1,
                 TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    const HRESULT hr = data->SetData(&fe, &medium, TRUE);
    if (FAILED(hr)) GlobalFree(block);
    return hr;
  }
};

kxtest::TPeerClassFactory<THelper> gFactory(&gLocks);

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_DragDropHelper) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, ppv);
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return gLocks == 0 ? S_OK : S_FALSE; }
