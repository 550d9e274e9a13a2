#pragma once
// TKXGenericTarget: what both target components share. It binds one windowed control of the
// application, its acceptor, as an OLE drop target: the acceptor's WindowProc is replaced by the
// component's (which sees every message first and passes all of them on), and the component's
// drop-target object is registered for the acceptor's window. It also carries the effect-override
// table, the drag events and the queries on the current drag's data object.
#include <windows.h>
#include <ole2.h>

#include <array>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "framework/Controls.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

class TKXDropTargetBase;

class KX_API TKXGenericTarget : public TKXBaseComponent {
 public:
  explicit TKXGenericTarget(TComponent* AOwner);
  ~TKXGenericTarget() override;

  vcl::TWinControl* getAcceptorControl() const { return FAcceptor; }
  // Binds Value (nil unbinds). A control that a sibling target (same owner) already uses is
  // refused at run time; at design time the designer is asked whether to move it.
  void setAcceptorControl(vcl::TWinControl* Value) { setAcceptor(Value); }
  virtual void setAcceptor(vcl::TWinControl* Value);
  // True while OLE drops can reach the component through its acceptor.
  bool getRegistered() const { return FRegistered; }
  bool OkToSetAcceptorControl(vcl::TWinControl* Value);

  // ---- effect overrides: the effect chosen for a drag is replaced by the table's entry ----
  TDropEffect GetOverrideDropEffect(TDropEffect aDe) const { return FOverrideDropEffects[aDe]; }
  void SetOverrideDropEffect(TDropEffect aDe, TDropEffect ovDe) { FOverrideDropEffects[aDe] = ovDe; }

  // ---- events of the drag over the acceptor (client coordinates) ----
  const TKXDragEnterOverType& getOnDragEnter() const { return FOnDragEnter; }
  void setOnDragEnter(TKXDragEnterOverType Value) { FOnDragEnter = std::move(Value); }
  const TKXDragEnterOverType& getOnDragOver() const { return FOnDragOver; }
  void setOnDragOver(TKXDragEnterOverType Value) { FOnDragOver = std::move(Value); }
  const TNotifyEvent& getOnDragLeave() const { return FOnDragLeave; }
  void setOnDragLeave(TNotifyEvent Value) { FOnDragLeave = std::move(Value); }

  // ---- the current drag ----
  // The effect last reported to OLE; deNone before any drag.
  TDropEffect getDropEffect() const;
  // The data object of the current drag (a new reference), empty outside a drag.
  vcl::TComPtr<IDataObject> getDataObject() const;
  // The effects the current drag's source allows; empty outside a drag.
  TDropEffects getAvailableDropEffects() const;
  bool DataObjectHasFormat(const std::wstring& formatName) const;
  std::string DataObjectGetFormat(const std::wstring& formatName) const;
  vcl::TStringList* DataObjectFormatList() const;     // new list, owned by the caller
  vcl::TStringList* DataObjectFormatEtcList() const;  // new list, owned by the caller
  int DataObjectRefCount() const;

  // ---- the clipboard ----
  // Whether the clipboard offers something the component would take: QueryGetData, as a drag is
  // accepted (no data is fetched, only a picture target reads a file group descriptor), and the
  // clipboard's format list is not read.
  bool getCanPaste() const;
  // Takes the clipboard's contents as a drop with no keys held: the same formats in the same
  // order, the same decoding, results and accessors, and OnDrop with the point (-1, -1). The
  // effect is copy; contents that were cut are moved where a drop without keys would move them
  // (never when only file names or a virtual file are read), and their source is told through
  // "Performed DropEffect" and "Paste Succeeded". False when nothing was taken.
  bool PasteFromClipboard();

  // The acceptor's client point for a screen point of OLE; (-1, -1) during a paste.
  vcl::TPoint AcceptorClientPoint(POINTL pt) const;
  // The window registered for drops; null while there is none.
  HWND AcceptorHandle() const { return FAcceptorHandle; }

 protected:
  void Notification(TComponent* AComponent, vcl::TOperation Operation) override;
  // The concrete component makes its drop-target object and hands it over here; the component
  // keeps it until it goes.
  void SetDropTarget(vcl::TComPtr<TKXDropTargetBase> Target);
  TKXDropTargetBase* DropTargetObject() const { return theDropTarget.Get(); }
  // Sees the acceptor's messages first: return true to consume one (it then does not reach the
  // saved window procedure).
  virtual bool HandleAcceptorMessage(vcl::TMessage& /*Message*/) { return false; }
  // The formats the current drag offers, one entry per line of DataObjectFormatList.
  class TOfferedFormats {
   public:
    explicit TOfferedFormats(const TKXGenericTarget& Target);
    bool Has(UINT Format) const;
    size_t Count() const { return FFormats.size(); }

   private:
    std::vector<UINT> FFormats;
  };
  // A text target takes the place of a rich edit control's own drop target.
  virtual bool RevokesBeforeRegister(vcl::TWinControl* /*Acceptor*/) const { return false; }

 private:
  void NewAcceptorWndProc(vcl::TMessage& Message);

  vcl::TWinControl* FAcceptor = nullptr;
  bool FRegistered = false;
  HWND FAcceptorHandle = nullptr;
  vcl::TWndMethod FOldAcceptorWndProc;
  vcl::TComPtr<TKXDropTargetBase> theDropTarget;
  TKXDragEnterOverType FOnDragEnter;
  TKXDragEnterOverType FOnDragOver;
  TNotifyEvent FOnDragLeave;
  std::array<TDropEffect, 5> FOverrideDropEffects{deNone, deCopy, deMove, deLink, deScroll};
};

}  // namespace kestrix
