#pragma once
// TKXBaseDataObject: what every data object of a source component shares. It answers the
// IDataObject calls that are the same for all (formats others set through SetData, the format
// enumeration, advise and canonical-format stubs, the medium and argument checks), keeps the
// IAsyncOperation state, counts its live objects and follows its component's life. A data object
// gives only its formats and how it renders one.
#include <windows.h>
#include <ole2.h>

#include <vector>

#include "framework/ComObj.h"
#include "sources/KXDragSourceLoop.h"
#include "sources/KXSetDataStore.h"
#include "vocabulary/KXMiscIntf.h"

namespace kestrix {

class KX_API TKXBaseDataObject : public vcl::TInterfacedObjectImpl<IAsyncOperation, IDataObject>,
                                 private TComponentReader {
 public:
  // IAsyncOperation is answered only by objects that offer it (OffersAsyncOperation).
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

  // ---- IDataObject ----
  // A format set through SetData (one the object does not render itself) is answered from the
  // store; every other request goes to Render. Handler exceptions go where the component's go.
  STDMETHODIMP GetData(FORMATETC* formatetcIn, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC* /*formatetc*/, STGMEDIUM* /*medium*/) override;
  STDMETHODIMP QueryGetData(FORMATETC* formatetc) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* /*formatetc*/, FORMATETC* /*formatetcOut*/) override;
  // Keeps a format the object does not render itself (global memory or a stream): see
  // TSetDataStore. DV_E_FORMATETC for a format it renders.
  STDMETHODIMP SetData(FORMATETC* formatetc, STGMEDIUM* medium, BOOL fRelease) override;
  // The object's own formats, then those set through SetData in the order first set.
  STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** enumFormatEtc) override;
  STDMETHODIMP DAdvise(FORMATETC* /*formatetc*/, DWORD /*advf*/, IAdviseSink* /*advSink*/,
                       DWORD* /*dwConnection*/) override;
  STDMETHODIMP DUnadvise(DWORD /*dwConnection*/) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** enumAdvise) override;

  // ---- IAsyncOperation (a true value written out is -1) ----
  STDMETHODIMP SetAsyncMode(BOOL fDoOpAsync) override;
  STDMETHODIMP GetAsyncMode(BOOL* pfIsOpAsync) override;
  STDMETHODIMP StartOperation(IBindCtx* /*pbcReserved*/) override;
  STDMETHODIMP InOperation(BOOL* pfInAsyncOp) override;
  STDMETHODIMP EndOperation(HRESULT hResult, IBindCtx* /*pbcReserved*/, DWORD dwEffects) override;

  // A target called StartOperation.
  bool AsyncOperationWasStarted() const { return FAsyncStarted; }

  // Stops reaching the component now, keeping what it would render (as when the component goes):
  // for an object that must live on by itself, such as one handed to the clipboard.
  void DetachFromComponent();

 protected:
  // State: the component's drag (null without a component); the object registers there to be
  // told when the component goes. LiveCount: the counter of the concrete class.
  TKXBaseDataObject(TDragSourceState* State, LONG volatile& LiveCount);
  ~TKXBaseDataObject() override;

  // ---- what a data object gives ----
  // The formats it renders now, in the order offered.
  virtual std::vector<FORMATETC> OwnFormats() = 0;
  // Renders one request that is not answered from the store into a medium the caller owns;
  // DV_E_FORMATETC (or DV_E_TYMED, DV_E_LINDEX) for what it cannot render.
  virtual HRESULT Render(const FORMATETC& fe, STGMEDIUM& medium) = 0;
  // Whether Render would answer the request (QueryGetData); by default a request whose aspect,
  // format and media match one of OwnFormats.
  virtual bool CanRender(const FORMATETC& fe);
  // The formats SetData may never replace; by default those of OwnFormats.
  virtual bool RendersItself(CLIPFORMAT cf);
  // The component is going (or the object is detached): keep what later requests need.
  virtual void KeepComponentsData() {}
  // Whether Render may run an application's handler, whose exception goes where the component's
  // go; without, an exception only fails the request.
  virtual bool RenderRunsHandlers() const { return true; }
  virtual bool OffersAsyncOperation() const { return true; }
  // A target started or ended an asynchronous drop.
  virtual void AsyncOperationStarted() {}
  virtual void AsyncOperationEnded(HRESULT /*Result*/, DWORD /*Effects*/) {}

  // The request matches one of OwnFormats (its aspect, format and a medium it allows).
  bool Offers(const FORMATETC& fe);
  // The component's drag state, null without a component or once it has gone.
  TDragSourceState* State() const { return FState; }
  // A concrete object's destructor: a target that let go between StartOperation and EndOperation
  // ended the drop without success, and the component still hears of the end.
  void EndAbandonedOperation();

 private:
  void ComponentGone() override;
  // Body run with the component's exception handling (see DragCallbackBoundary).
  template <class F>
  HRESULT Boundary(bool RunsHandlers, F&& Body);

  TDragSourceState* FState;
  LONG volatile& FLiveCount;
  TSetDataStore FStored;
  bool FAsyncMode = false;
  bool FInAsyncOperation = false;
  bool FAsyncStarted = false;
};

}  // namespace kestrix
