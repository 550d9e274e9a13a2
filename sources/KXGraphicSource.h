#pragma once
// TKXGraphicSource: the component an application calls Execute on to drag a picture (a bitmap or
// a metafile, its own or a TImage's), and TGraphicDropSource, the drop source that steers its drag
// loop.
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string_view>
#include <vector>

#include "framework/ComObj.h"
#include "framework/ExtCtrlsImage.h"
#include "framework/Picture.h"
#include "sources/KXBaseDragSource.h"
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

class KX_API TKXGraphicSource : public TKXBaseDragSource, public TGraphicDataOwner {
 public:
  explicit TKXGraphicSource(TComponent* AOwner);
  ~TKXGraphicSource() override;

  // Starts a modal OLE drag of the picture as it is now; the drag delivers that picture even if
  // the picture changes meanwhile. True when the drag ran to a drop or a cancel; false when the
  // picture holds no bitmap or metafile (or an empty one), a drag was already running, or OLE
  // failed. An exception thrown by an event handler during the drag cancels the drag and is
  // rethrown here once DoDragDrop has returned (OnAfterDrop is then not raised).
  bool Execute();

  // ---- events (and those of TKXBaseDragSource) ----
  // OnBeforeDrop gets a copy of the picture: when the handler changes it, the copy becomes the
  // component's Picture (which cuts the link to DonorImage); the running drag is not affected.
  const TKXGraphicBeforeDropType& getOnBeforeDrop() const { return FOnBeforeDrop; }
  void setOnBeforeDrop(TKXGraphicBeforeDropType Value) { FOnBeforeDrop = std::move(Value); }
  const TKXGraphicAfterDropType& getOnAfterDrop() const { return FOnAfterDrop; }
  void setOnAfterDrop(TKXGraphicAfterDropType Value) { FOnAfterDrop = std::move(Value); }

  // ---- published properties (and those of TKXBaseDragSource) ----
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
  vcl::TImage* getDonorImage() const { return FDonor; }
  // A different donor empties the picture; the same one keeps it.
  void setDonorImage(vcl::TImage* Value);
  // DragImage null: the picture itself, scaled down.
  // Whether a rendered METAFILEPICT carries the metafile's size in 0.01 mm (else 0 x 0).
  bool getUseActualMetafileSizes() const { return FUseActualMetafileSizes; }
  void setUseActualMetafileSizes(bool Value) { FUseActualMetafileSizes = Value; }

 protected:
  void Notification(TComponent* AComponent, vcl::TOperation Operation) override;

 private:
  // ---- what it drags (TKXBaseDragSource) ----
  vcl::TComPtr<TKXBaseDataObject> MakeDataObject() override;
  void AfterDrop(bool DroppedOK) override;
  bool BeforeDrop() override;
  HBITMAP DefaultDragImage() override;

  // ---- what its data objects ask (TGraphicDataOwner) ----
  TDragSourceState& DragState() override { return FDrag; }
  bool MetafileSizesWanted() const override { return FUseActualMetafileSizes; }

  bool FPictureChanged = false;
  std::unique_ptr<vcl::TPicture> FPicture;
  TKXGraphicBeforeDropType FOnBeforeDrop;
  TKXGraphicAfterDropType FOnAfterDrop;
  vcl::TImage* FDonor = nullptr;
  bool FUseActualMetafileSizes = false;
};

}  // namespace kestrix
