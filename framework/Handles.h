#pragma once
// Move-only owners of Windows handles; each type says how its handle is released.
#include <windows.h>
#include <ole2.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vcl {

template <class H, class Traits>
class TUniqueHandle {
 public:
  TUniqueHandle() = default;
  explicit TUniqueHandle(H h) : FHandle(h) {}
  TUniqueHandle(TUniqueHandle&& o) noexcept : FHandle(std::exchange(o.FHandle, H{})) {}
  TUniqueHandle& operator=(TUniqueHandle&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.FHandle, H{}));
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  ~TUniqueHandle() { Reset(); }

  H Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != H{}; }
  // Hands ownership to the caller.
  H Release() { return std::exchange(FHandle, H{}); }
  // Releases what is held and returns the slot for an out-parameter.
  H* Put() {
    Reset();
    return &FHandle;
  }
  void Reset(H h = H{}) {
    if (FHandle != H{}) Traits::Close(FHandle);
    FHandle = h;
  }

 private:
  H FHandle{};
};

struct TGlobalFreeTraits { static void Close(HGLOBAL h) { GlobalFree(h); } };
struct TDeleteDCTraits { static void Close(HDC h) { DeleteDC(h); } };
struct TGdiObjectTraits { static void Close(HGDIOBJ h) { DeleteObject(h); } };
struct TEnhMetaFileTraits { static void Close(HENHMETAFILE h) { DeleteEnhMetaFile(h); } };
struct TMetaFileTraits { static void Close(HMETAFILE h) { DeleteMetaFile(h); } };
struct TIconTraits { static void Close(HICON h) { DestroyIcon(h); } };
struct TCloseHandleTraits { static void Close(HANDLE h) { CloseHandle(h); } };

using TUniqueGlobal = TUniqueHandle<HGLOBAL, TGlobalFreeTraits>;
using TMemoryDC = TUniqueHandle<HDC, TDeleteDCTraits>;
template <class H = HGDIOBJ>
using TGdiObject = TUniqueHandle<H, TGdiObjectTraits>;
using TUniqueBitmap = TUniqueHandle<HBITMAP, TGdiObjectTraits>;
using TUniquePalette = TUniqueHandle<HPALETTE, TGdiObjectTraits>;
using TUniqueEnhMetaFile = TUniqueHandle<HENHMETAFILE, TEnhMetaFileTraits>;
using TUniqueMetaFile = TUniqueHandle<HMETAFILE, TMetaFileTraits>;
using TUniqueIcon = TUniqueHandle<HICON, TIconTraits>;
using TUniqueKernelHandle = TUniqueHandle<HANDLE, TCloseHandleTraits>;

// Task memory (CoTaskMemAlloc), typed.
struct TCoTaskMemTraits { static void Close(void* p) { CoTaskMemFree(p); } };
template <class T>
using TCoTaskMem = TUniqueHandle<T*, TCoTaskMemTraits>;

// A lock on a global memory block: the pointer and the block's size while locked.
class TGlobalLock {
 public:
  explicit TGlobalLock(HGLOBAL h) : FHandle(h), FPtr(h ? GlobalLock(h) : nullptr), FSize(FPtr ? GlobalSize(h) : 0) {}
  TGlobalLock(const TGlobalLock&) = delete;
  TGlobalLock& operator=(const TGlobalLock&) = delete;
  ~TGlobalLock() { if (FPtr) GlobalUnlock(FHandle); }
  explicit operator bool() const { return FPtr != nullptr; }
  void* Ptr() const { return FPtr; }
  template <class T> T* As() const { return static_cast<T*>(FPtr); }
  SIZE_T Size() const { return FSize; }
  // The locked block as bytes (empty when the lock failed).
  std::string_view View() const { return FPtr ? std::string_view(static_cast<const char*>(FPtr), FSize) : std::string_view(); }

 private:
  HGLOBAL FHandle;
  void* FPtr;
  SIZE_T FSize;
};

// The screen's (or a window's) device context, released with ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND wnd = nullptr) : FWnd(wnd), FDC(GetDC(wnd)) {}
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  ~TWindowDC() { if (FDC) ReleaseDC(FWnd, FDC); }
  HDC Get() const { return FDC; }
  explicit operator bool() const { return FDC != nullptr; }

 private:
  HWND FWnd;
  HDC FDC;
};

// An object selected into a DC; the previous object is selected back on destruction.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ obj) : FDC(dc), FOld(dc && obj ? SelectObject(dc, obj) : nullptr) {}
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;
  ~TSelectObject() { if (FOld) SelectObject(FDC, FOld); }
  explicit operator bool() const { return FOld != nullptr && FOld != HGDI_ERROR; }

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// A STGMEDIUM received from a data object: released with ReleaseStgMedium, exactly once. A file
// medium is never given to ReleaseStgMedium, which deletes the file it names: its name is freed
// and the file left alone. A TYMED_NULL medium may still carry a reference to release.
class TStgMedium {
 public:
  TStgMedium() { std::memset(&FMedium, 0, sizeof FMedium); }
  TStgMedium(const TStgMedium&) = delete;
  TStgMedium& operator=(const TStgMedium&) = delete;
  ~TStgMedium() { Reset(); }
  STGMEDIUM* Put() { Reset(); return &FMedium; }
  const STGMEDIUM& Get() const { return FMedium; }
  STGMEDIUM* operator->() { return &FMedium; }
  void Reset() {
    if (FMedium.tymed == TYMED_FILE || FMedium.tymed == TYMED_NULL) {
      if (FMedium.tymed == TYMED_FILE) CoTaskMemFree(FMedium.lpszFileName);
      if (FMedium.pUnkForRelease) FMedium.pUnkForRelease->Release();
    } else {
      ReleaseStgMedium(&FMedium);
    }
    std::memset(&FMedium, 0, sizeof FMedium);
  }
  // Hands the medium over (for example as the result of a GetData) and clears this owner.
  STGMEDIUM Release() {
    STGMEDIUM m = FMedium;
    std::memset(&FMedium, 0, sizeof FMedium);
    return m;
  }

 private:
  STGMEDIUM FMedium;
};

// Allocates a global block filled with the given bytes; empty owner on failure.
inline TUniqueGlobal GlobalFromBytes(UINT flags, const void* data, SIZE_T size, SIZE_T allocSize) {
  TUniqueGlobal block(GlobalAlloc(flags, allocSize));
  if (!block) return block;
  TGlobalLock lock(block.Get());
  if (lock && size) std::memcpy(lock.Ptr(), data, size);
  return block;
}

// The DWORD a global block of a foreign data object begins with (a drop effect), if it holds one.
inline std::optional<DWORD> DwordOfGlobal(HGLOBAL block) {
  TGlobalLock lock(block);
  if (!lock || lock.Size() < sizeof(DWORD)) return std::nullopt;
  DWORD value;
  std::memcpy(&value, lock.Ptr(), sizeof value);
  return value;
}

}  // namespace vcl
