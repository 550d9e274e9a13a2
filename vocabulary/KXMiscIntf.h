#pragma once
// IAsyncOperation: the shell's interface through which a drop target completes a drop in the
// background (the same interface as IDataObjectAsyncCapability in newer SDK headers).
#include <windows.h>
#include <objidl.h>

namespace kestrix {

struct IAsyncOperation : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetAsyncMode(BOOL fDoOpAsync) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAsyncMode(BOOL* pfIsOpAsync) = 0;
  virtual HRESULT STDMETHODCALLTYPE StartOperation(IBindCtx* pbcReserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE InOperation(BOOL* pfInAsyncOp) = 0;
  virtual HRESULT STDMETHODCALLTYPE EndOperation(HRESULT hResult, IBindCtx* pbcReserved, DWORD dwEffects) = 0;
};

inline constexpr IID IID_IAsyncOperation = {0x3D8B0590, 0xF691, 0x11D2, {0x8E, 0xA9, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};

}  // namespace kestrix

__CRT_UUID_DECL(kestrix::IAsyncOperation, 0x3D8B0590, 0xF691, 0x11D2, 0x8E, 0xA9, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4)
