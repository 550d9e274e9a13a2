#include "sources/KXGraphicSource.h"

#include <algorithm>
#include <utility>

#include "sources/KXGraphicDataObject.h"

namespace kestrix {

namespace {

LONG volatile liveDropSources = 0;

}  // namespace

// ---- TGraphicDropSource ---------------------------------------------------------------------------

TGraphicDropSource::TGraphicDropSource(TKXGraphicSource* aOwner) : theOwner(aOwner) {
  InterlockedIncrement(&liveDropSources);
  AddRef();  // the creator's reference
}

TGraphicDropSource::~TGraphicDropSource() { InterlockedDecrement(&liveDropSources); }

TGraphicDropSource* TGraphicDropSource::Create(TKXGraphicSource* aOwner) { return new TGraphicDropSource(aOwner); }

LONG TGraphicDropSource::LiveCount() { return liveDropSources; }

STDMETHODIMP TGraphicDropSource::QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) {
  return TDragSourceLoop::QueryContinueDrag(theOwner, fEscapePressed, grfKeyState);
}

STDMETHODIMP TGraphicDropSource::GiveFeedback(DWORD dwEffect) {
  return TDragSourceLoop::GiveFeedback(theOwner, dwEffect);
}

// ---- TKXGraphicSource -----------------------------------------------------------------------------

TKXGraphicSource::TKXGraphicSource(TComponent* AOwner)
    : TKXBaseComponent(AOwner),
      FPicture(std::make_unique<vcl::TPicture>()),
      theDropSource(vcl::TComPtr<TGraphicDropSource>::Attach(TGraphicDropSource::Create(this))) {}

TKXGraphicSource::~TKXGraphicSource() {
  // Data objects still held by a target must not reach this component.
  for (TGraphicDataObject* obj : std::exchange(FDataObjects, {})) obj->ComponentGone();
  theDropSource->theOwner = nullptr;
}

vcl::TPicture* TKXGraphicSource::getPicture() {
  if (FDonor) {
    vcl::TGraphic* graphic = FDonor->Picture()->Graphic();
    FPicture->Assign(TGraphicDataObject::IsDraggable(graphic) ? graphic : nullptr);
  }
  return FPicture.get();
}

void TKXGraphicSource::setPicture(vcl::TPicture* Value) {
  if (Value == FPicture.get()) return;
  FPicture->Assign(Value);
  FDonor = nullptr;
}

void TKXGraphicSource::setDonorImage(vcl::TImage* Value) {
  if (Value == FDonor) return;
  FDonor = Value;
  FPicture->Assign(nullptr);
}

void TKXGraphicSource::Notification(TComponent* AComponent, vcl::TOperation Operation) {
  TKXBaseComponent::Notification(AComponent, Operation);
  if (Operation == vcl::opRemove && AComponent && AComponent == FDonor && !ComponentState().Contains(vcl::csDestroying))
    setDonorImage(nullptr);
}

bool TKXGraphicSource::Execute() {
  if (FActive) return false;
  vcl::TPicture* picture = getPicture();
  if (TGraphicDataObject::KindOf(*picture) == TGraphicDataObject::TKind::None) return false;
  TDragSourceLoop::TActiveScope active(FActive);

  // The data object copies the picture: the drag delivers it as it is now.
  auto data = vcl::TComPtr<TGraphicDataObject>::Attach(TGraphicDataObject::createEx(picture, this));
  const HRESULT hr = TDragSourceLoop::Run(*this, data.Get(), theDropSource.Get());
  const bool dropped = hr == DRAGDROP_S_DROP;
  if (dropped && FOnAfterDrop) FOnAfterDrop(this, FDonor, !NoEffect(FReturnedEffects));
  data.Reset();  // a target may keep its own reference
  return dropped || hr == DRAGDROP_S_CANCEL;
}

bool TKXGraphicSource::BeforeDrop() {
  bool cancelDrop = false;
  if (FOnBeforeDrop) {
    auto dropPicture = std::make_unique<vcl::TPicture>();
    dropPicture->Assign(FPicture.get());
    dropPicture->SetOnChange([this](TObject*) { FPictureChanged = true; });
    FPictureChanged = false;
    FOnBeforeDrop(this, FDonor, dropPicture.get(), cancelDrop);
    if (FPictureChanged) setPicture(dropPicture.get());
  }
  return !cancelDrop;
}

void TKXGraphicSource::DataObjectCreated(TGraphicDataObject* Obj) { FDataObjects.push_back(Obj); }

void TKXGraphicSource::DataObjectGone(TGraphicDataObject* Obj) {
  FDataObjects.erase(std::remove(FDataObjects.begin(), FDataObjects.end(), Obj), FDataObjects.end());
}

}  // namespace kestrix
