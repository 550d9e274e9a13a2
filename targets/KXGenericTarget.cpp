#include "targets/KXGenericTarget.h"

#include <algorithm>
#include <memory>

#include "formats/KXUtil.h"
#include "framework/Dialogs.h"
#include "package/KXConsts.h"
#include "targets/KXDropTargetBase.h"
#include "vocabulary/KXClipboard.h"

namespace kestrix {

TKXGenericTarget::TKXGenericTarget(TComponent* AOwner) : TKXBaseComponent(AOwner) {}

TKXGenericTarget::~TKXGenericTarget() {
  Destroying();
  setAcceptor(nullptr);  // OLE's own references on the drop-target object go with the revocation
  if (vcl::TComPtr<TKXDropTargetBase> target = std::move(theDropTarget)) target->OwnerGone();
}

void TKXGenericTarget::SetDropTarget(vcl::TComPtr<TKXDropTargetBase> Target) { theDropTarget = std::move(Target); }

bool TKXGenericTarget::OkToSetAcceptorControl(vcl::TWinControl* Value) {
  TComponent* owner = Owner();
  if (!owner || !Value) return true;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    auto* other = dynamic_cast<TKXGenericTarget*>(owner->Components(i));
    if (!other || other == this || other->getAcceptorControl() != Value) continue;
    if (!ComponentState().Contains(vcl::csDesigning)) return false;
    std::wstring text = vcl::Format(res::sAcceptorInUse, Value->Name(), other->Name(), Value->Name(), Name(),
                                    other->Name());
    if (vcl::MessageDlg(text, vcl::mtError, {vcl::mbYes, vcl::mbNo}, 0) != vcl::mrYes) return false;
    other->setAcceptor(nullptr);
    return true;
  }
  return true;
}

void TKXGenericTarget::setAcceptor(vcl::TWinControl* Value) {
  if (Value == FAcceptor) return;
  if (!OkToSetAcceptorControl(Value)) return;
  const bool designing = ComponentState().Contains(vcl::csDesigning);
  if (FAcceptor && !designing) {
    FRegistered = FRegistered && IsWindow(FAcceptorHandle);
    if (FRegistered) RevokeDragDrop(FAcceptorHandle);
    FRegistered = false;
    FAcceptor->setWindowProc(FOldAcceptorWndProc);
    FAcceptorHandle = nullptr;
    FOldAcceptorWndProc = nullptr;
  }
  FAcceptor = Value;
  if (!Value || designing) return;
  FOldAcceptorWndProc = Value->getWindowProc();
  Value->setWindowProc([this](vcl::TMessage& Message) { NewAcceptorWndProc(Message); });
  FAcceptorHandle = Value->Handle();
  if (RevokesBeforeRegister(Value)) RevokeDragDrop(FAcceptorHandle);
  FRegistered = theDropTarget && SUCCEEDED(RegisterDragDrop(FAcceptorHandle, theDropTarget.Get()));
}

void TKXGenericTarget::NewAcceptorWndProc(vcl::TMessage& Message) {
  if (HandleAcceptorMessage(Message)) return;
  if (Message.Msg == WM_DESTROY && IsWindow(FAcceptorHandle)) {
    if (FRegistered) RevokeDragDrop(FAcceptorHandle);
    FRegistered = false;
  }
  if (FOldAcceptorWndProc) FOldAcceptorWndProc(Message);
}

void TKXGenericTarget::Notification(TComponent* AComponent, vcl::TOperation Operation) {
  TKXBaseComponent::Notification(AComponent, Operation);
  if (Operation == vcl::opRemove && AComponent == FAcceptor) setAcceptor(nullptr);
}

vcl::TPoint TKXGenericTarget::AcceptorClientPoint(POINTL pt) const {
  if (theDropTarget && theDropTarget->Pasting()) return {-1, -1};
  return FAcceptor ? FAcceptor->ScreenToClient({pt.x, pt.y}) : vcl::TPoint{pt.x, pt.y};
}

bool TKXGenericTarget::getCanPaste() const {
  const vcl::TComPtr<IDataObject> data = ClipboardDataObject();
  return theDropTarget && data && theDropTarget->CanPaste(data.Get());
}

bool TKXGenericTarget::PasteFromClipboard() {
  // Held here: OnDrop may free the component.
  const vcl::TComPtr<TKXDropTargetBase> target = theDropTarget;
  const vcl::TComPtr<IDataObject> data = ClipboardDataObject();
  if (!target || !data) return false;
  const DWORD effect = target->Paste(data.Get(), PasteEffects(data.Get()));
  ReportPaste(data.Get(), effect);
  return effect != DROPEFFECT_NONE;
}

TDropEffect TKXGenericTarget::getDropEffect() const {
  return theDropTarget ? theDropTarget->CurrentEffect() : deNone;
}

vcl::TComPtr<IDataObject> TKXGenericTarget::getDataObject() const {
  return theDropTarget ? theDropTarget->CurrentDataObject() : vcl::TComPtr<IDataObject>();
}

TDropEffects TKXGenericTarget::getAvailableDropEffects() const {
  return theDropTarget ? theDropTarget->AvailableDropEffects() : TDropEffects{};
}

bool TKXGenericTarget::DataObjectHasFormat(const std::wstring& formatName) const {
  auto data = getDataObject();
  return data && DataObjHasFormat(data.Get(), formatName);
}

std::string TKXGenericTarget::DataObjectGetFormat(const std::wstring& formatName) const {
  auto data = getDataObject();
  return data ? DataObjGetFormat(data.Get(), formatName) : std::string();
}

vcl::TStringList* TKXGenericTarget::DataObjectFormatList() const { return DataObjFormatList(getDataObject().Get()); }

TKXGenericTarget::TOfferedFormats::TOfferedFormats(const TKXGenericTarget& Target) {
  std::unique_ptr<vcl::TStringList> list(Target.DataObjectFormatList());
  for (int i = 0; i < list->Count(); ++i) FFormats.push_back(ClipboardFormatFromString(list->Strings(i)));
}

bool TKXGenericTarget::TOfferedFormats::Has(UINT Format) const {
  return Format != 0 && std::find(FFormats.begin(), FFormats.end(), Format) != FFormats.end();
}

vcl::TStringList* TKXGenericTarget::DataObjectFormatEtcList() const {
  return DataObjFormatEtcList(getDataObject().Get());
}

int TKXGenericTarget::DataObjectRefCount() const { return DataObjRefCount(getDataObject().Get()); }

}  // namespace kestrix
