#pragma once
// TGraphicDataObject: the data object of a picture drag. It renders a copy of the picture taken
// when it is made: a bitmap as CF_DIB and CF_BITMAP, a metafile as CF_ENHMETAFILE and
// CF_METAFILEPICT.
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <vector>

#include "framework/ComObj.h"
#include "framework/Forms.h"
#include "framework/Picture.h"
#include "sources/KXBaseDataObject.h"
#include "sources/KXDragSourceLoop.h"
#include "vocabulary/KXImageFiles.h"

namespace kestrix {

class TKXGraphicSource;

// What a picture data object asks of the component it renders for (TKXGraphicSource implements it).
class TGraphicDataOwner {
 public:
  // The component's drag; the object registers there to be told when the component goes.
  virtual TDragSourceState& DragState() = 0;
  // Whether CF_METAFILEPICT carries the metafile's size (UseActualMetafileSizes).
  virtual bool MetafileSizesWanted() const = 0;

 protected:
  ~TGraphicDataOwner() = default;
};

// What a picture offers a drag.
enum class TGraphicKind { None, Bitmap, Metafile };
// A bitmap or a metafile (or a descendant of either), empty or not.
bool IsDraggableGraphic(vcl::TGraphic* Graphic);
// The kind of the picture's graphic when that is draggable and not empty.
TGraphicKind GraphicKindOf(vcl::TPicture& Picture);

// Every creation function copies the picture (nil stands for an empty one) and takes one
// reference for its creator, who releases it when done; OLE and drop targets hold their own. A
// picture whose graphic is neither a bitmap nor a metafile, or is empty, offers nothing.
//
// With a component, CF_METAFILEPICT carries the metafile's size when the component's
// UseActualMetafileSizes is true at the time of the request (0 x 0 otherwise, and always without
// a component). When the component is destroyed while a target still holds the object, the object
// keeps the setting it last had.
class KX_API TGraphicDataObject : public TKXBaseDataObject {
 public:
  static TGraphicDataObject* Create(vcl::TPicture* aPicture);
  // aOwner is kept (not owned) but plays no part in rendering.
  static TGraphicDataObject* createWithOwner(vcl::TPicture* aPicture, vcl::TForm* aOwner);
  static TGraphicDataObject* createEx(vcl::TPicture* aPicture, TKXGraphicSource* aComponent);

  // Objects of this class alive in the process (diagnostics: a drag that leaks one shows here).
  static LONG LiveCount();

  // What GetData renders (the rest of IDataObject: see TKXBaseDataObject; the object has no
  // IAsyncOperation):
  // CF_DIB: the bitmap's BMP file without its 14-byte file header, on global memory whatever
  // medium was asked for. A 32-bit bitmap with transparency (see AlphaPixelsOf) is also offered,
  // first, as "PNG" (a PNG file with the alpha) and CF_DIBV5 (a 124-byte header with an alpha
  // mask, rows bottom-up), both on global memory, alpha not premultiplied. CF_BITMAP: a screen-compatible copy of the bitmap. CF_ENHMETAFILE: a
  // copy of the metafile. CF_METAFILEPICT: a global block holding a METAFILEPICT (MM_ANISOTROPIC)
  // with a Windows metafile converted from the enhanced one. pUnkForRelease is always null: the
  // receiver owns what it gets. A metafile that cannot be converted gives DV_E_FORMATETC; memory
  // or GDI objects that cannot be had give E_OUTOFMEMORY. Formats set through SetData are offered
  // back after its own; SetData refuses the four picture formats (DV_E_FORMATETC).

 private:
  friend struct vcl::TComObjectFactory;

  TGraphicDataObject(vcl::TPicture* aPicture, vcl::TComponent* aOwner, TGraphicDataOwner* aComponent);
  ~TGraphicDataObject() override;

  // ---- TKXBaseDataObject ----
  std::vector<FORMATETC> OwnFormats() override;
  HRESULT Render(const FORMATETC& fe, STGMEDIUM& medium) override;
  // The four picture formats, whatever the picture.
  bool RendersItself(CLIPFORMAT cf) override;
  // The component is going: keep its setting, forget the component.
  void KeepComponentsData() override;
  // Rendering runs no handler of the application.
  bool RenderRunsHandlers() const override { return false; }
  bool OffersAsyncOperation() const override { return false; }

  bool UseActualMetafileSizes() const;
  HRESULT RenderDIB(STGMEDIUM& medium);
  HRESULT RenderBitmap(STGMEDIUM& medium);
  HRESULT RenderEnhMetaFile(STGMEDIUM& medium);
  HRESULT RenderMetaFilePict(STGMEDIUM& medium);
  HRESULT RenderPNG(STGMEDIUM& medium);
  HRESULT RenderDIBV5(STGMEDIUM& medium);

  vcl::TComponent* theOwner;
  std::unique_ptr<vcl::TPicture> thePicture;
  // The bitmap's pixels when it has transparency: then "PNG" and CF_DIBV5 are offered too.
  TAlphaPixels FAlpha;
  TGraphicDataOwner* theComponent;
  bool FUseActualMetafileSizes = false;
};

}  // namespace kestrix
