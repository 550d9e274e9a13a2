#pragma once
// TKXGraphicSource: the component an application calls Execute on to drag a picture (a bitmap or
// a metafile, its own or a TImage's), and TGraphicDropSource, the drop source that steers its drag
// loop.
#include <windows.h>
#include <ole2.h>

#include <exception>
#include <string_view>
#include <memory>
#include <vector>

#include "framework/ComObj.h"
#include "framework/ExtCtrlsImage.h"
#include "framework/Picture.h"
#include "sources/KXDragSourceLoop.h"
#include "sources/KXGraphicDataObject.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

class TKXGraphicSource;

// The drop source of a picture source: see TKXDropSource.
class KX_API TGraphicDropSource : public TKXDropSource {
 public:
  // Takes one reference for the caller. aOwner is not owned.
  static TGraphicDropSource* Create(TKXGraphicSource* aOwner);
  static LONG LiveCount();

 private:
  friend struct vcl::TComObjectFactory;
  explicit TGraphicDropSource(TDragSourceState* aState);
};

class KX_API TKXGraphicSource : public TKXBaseComponent, public TGraphicDataOwner {
 public:
  explicit TKXGraphicSource(TComponent* AOwner);
  ~TKXGraphicSource() override;

  // Starts a modal OLE drag of the picture as it is now; the drag delivers that picture even if
  // the picture changes meanwhile. True when the drag ran to a drop or a cancel; false when the
  // picture holds no bitmap or metafile (or an empty one), a drag was already running, or OLE
  // failed. An exception thrown by an event handler during the drag cancels the drag and is
  // rethrown here once DoDragDrop has returned (OnAfterDrop is then not raised).
  bool Execute();

  // ---- events ----
  // OnBeforeDrop gets a copy of the picture: when the handler changes it, the copy becomes the
  // component's Picture (which cuts the link to DonorImage); the running drag is not affected.
  const TKXGraphicBeforeDropType& getOnBeforeDrop() const { return FOnBeforeDrop; }
  void setOnBeforeDrop(TKXGraphicBeforeDropType Value) { FOnBeforeDrop = std::move(Value); }
  const TKXGraphicAfterDropType& getOnAfterDrop() const { return FOnAfterDrop; }
  void setOnAfterDrop(TKXGraphicAfterDropType Value) { FOnAfterDrop = std::move(Value); }
  const TKXGiveFeedbackType& getOnGiveFeedback() const { return FDrag.OnGiveFeedback; }
  void setOnGiveFeedback(TKXGiveFeedbackType Value) { FDrag.OnGiveFeedback = std::move(Value); }
  const TNotifyEvent& getOnCancelDrop() const { return FDrag.OnCancelDrop; }
  void setOnCancelDrop(TNotifyEvent Value) { FDrag.OnCancelDrop = std::move(Value); }

  // ---- published properties ----
  // Never nil; owned by the component, and the same object for the component's whole life. With
  // a donor, every read first replaces its content with a copy of the donor's bitmap or metafile
  // (any other kind of graphic leaves it empty).
  vcl::TPicture* getPicture();
  // Copies Value (nil empties the picture) and clears DonorImage; the current picture itself
  // changes nothing.
  void setPicture(vcl::TPicture* Value);
  // An application's own bitmap as the picture (clearing DonorImage): the component copies it,
  // pixel for pixel (a 32-bit bitmap keeps its fourth bytes as alpha), and the application keeps
  // its handle, to delete whenever it likes. Raises EInvalidGraphic for a handle that is no bitmap.
  void LoadFromBitmapHandle(HBITMAP Bitmap);
  // An encoded image (PNG, JPEG, GIF, BMP, or whatever Windows Imaging Component decodes, by
  // content) as the picture's bitmap, clearing DonorImage; a PNG's alpha is kept. The bytes are
  // not kept. Raises EInvalidGraphic for bytes that are no picture.
  void LoadFromImageBytes(std::string_view Bytes);
  TDropEffects getDropEffects() const { return FDrag.DropEffects; }
  void setDropEffects(TDropEffects Value) { FDrag.DropEffects = Value; }
  vcl::TImage* getDonorImage() const { return FDonor; }
  // A different donor empties the picture; the same one keeps it.
  void setDonorImage(vcl::TImage* Value);
  vcl::TMouseButton getMouseButton() const { return FDrag.MouseButton; }
  void setMouseButton(vcl::TMouseButton Value) { FDrag.MouseButton = Value; }
  // The drag image the shell shows under the cursor (where it has a helper that draws one): on
  // unless turned off. DragImage is a bitmap of the application's (not owned; a copy scaled to
  // at most 256 pixels goes with each drag); null for the picture itself.
  bool getShowDragImage() const { return FDrag.ShowDragImage; }
  void setShowDragImage(bool Value) { FDrag.ShowDragImage = Value; }
  HBITMAP getDragImage() const { return FDrag.DragImage; }
  void setDragImage(HBITMAP Value) { FDrag.DragImage = Value; }

  // ---- public properties ----
  bool getActive() const { return FDrag.Active; }
  bool getExplicitCancel() const { return FDrag.ExplicitCancel; }
  // True cancels the running drag at OLE's next poll.
  void SetExplicitCancel(bool Value) { FDrag.ExplicitCancel = Value; }
  TDropEffect getReturnedEffect() const { return singleEffectFromSet(FDrag.ReturnedEffects); }
  // The effect the target says it performed ("Performed DropEffect", as a target that moves the
  // data itself reports it while answering DoDragDrop with none); ReturnedEffect when it says
  // nothing.
  TDropEffect getPerformedEffect() const { return singleEffectFromSet(FDrag.PerformedEffects); }
  // Whether a rendered METAFILEPICT carries the metafile's size in 0.01 mm (else 0 x 0).
  bool getUseActualMetafileSizes() const { return FUseActualMetafileSizes; }
  void setUseActualMetafileSizes(bool Value) { FUseActualMetafileSizes = Value; }

 protected:
  void Notification(TComponent* AComponent, vcl::TOperation Operation) override;

 private:
  // ---- what its data objects ask (TGraphicDataOwner) ----
  TDragSourceState& DragState() override { return FDrag; }
  bool MetafileSizesWanted() const override { return FUseActualMetafileSizes; }

  bool BeforeDrop();

  TDragSourceState FDrag{this};
  bool FPictureChanged = false;
  std::unique_ptr<vcl::TPicture> FPicture;
  TKXGraphicBeforeDropType FOnBeforeDrop;
  TKXGraphicAfterDropType FOnAfterDrop;
  vcl::TComPtr<TGraphicDropSource> theDropSource;
  vcl::TImage* FDonor = nullptr;
  bool FUseActualMetafileSizes = false;
};

}  // namespace kestrix
