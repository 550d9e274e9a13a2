#include "sources/KXGraphicDataObject.h"

#include <cstring>

#include <wincodec.h>

#include "formats/KXDIBBlock.h"
#include "formats/KXUtil.h"
#include "framework/GraphicsMetafile.h"
#include "framework/Handles.h"
#include "framework/WicImage.h"
#include "sources/KXGraphicSource.h"
#include "vocabulary/KXImageFiles.h"

namespace kestrix {

namespace {

LONG volatile liveDataObjects = 0;

enum : std::int64_t { kBitmapFileHeaderSize = 14 };

// Bytes in a new global block for the receiver; nothing for none (the encoder failed).
HRESULT GlobalMediumOf(const std::string& bytes, STGMEDIUM& medium) {
  if (bytes.empty()) return DV_E_FORMATETC;
  vcl::TUniqueGlobal block = vcl::GlobalFromBytes(kMediumBlockFlags, bytes.data(), bytes.size(), bytes.size());
  if (!block) return E_OUTOFMEMORY;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block.Release();
  return S_OK;
}

}  // namespace

// ---- creation -------------------------------------------------------------------------------------

TGraphicDataObject::TGraphicDataObject(vcl::TPicture* aPicture, vcl::TComponent* aOwner, TGraphicDataOwner* aComponent)
    : TKXBaseDataObject(aComponent ? &aComponent->DragState() : nullptr, liveDataObjects),
      theOwner(aOwner),
      thePicture(std::make_unique<vcl::TPicture>()),
      theComponent(aComponent) {
  thePicture->Assign(aPicture);
  if (GraphicKindOf(*thePicture) == TGraphicKind::Bitmap) FAlpha = AlphaPixelsOf(thePicture->Bitmap()->Handle());
}

TGraphicDataObject::~TGraphicDataObject() = default;

TGraphicDataObject* TGraphicDataObject::Create(vcl::TPicture* aPicture) {
  return vcl::MakeComObject<TGraphicDataObject>(aPicture, nullptr, nullptr).Detach();
}

TGraphicDataObject* TGraphicDataObject::createWithOwner(vcl::TPicture* aPicture, vcl::TForm* aOwner) {
  return vcl::MakeComObject<TGraphicDataObject>(aPicture, aOwner, nullptr).Detach();
}

TGraphicDataObject* TGraphicDataObject::createEx(vcl::TPicture* aPicture, TKXGraphicSource* aComponent) {
  return vcl::MakeComObject<TGraphicDataObject>(aPicture, nullptr, aComponent).Detach();
}

LONG TGraphicDataObject::LiveCount() { return liveDataObjects; }

void TGraphicDataObject::KeepComponentsData() {
  FUseActualMetafileSizes = theComponent->MetafileSizesWanted();
  theComponent = nullptr;
}

bool TGraphicDataObject::UseActualMetafileSizes() const {
  return theComponent ? theComponent->MetafileSizesWanted() : FUseActualMetafileSizes;
}

// ---- kinds and formats ----------------------------------------------------------------------------

bool IsDraggableGraphic(vcl::TGraphic* Graphic) {
  return dynamic_cast<vcl::TBitmap*>(Graphic) || dynamic_cast<vcl::TMetafile*>(Graphic);
}

TGraphicKind GraphicKindOf(vcl::TPicture& Picture) {
  vcl::TGraphic* graphic = Picture.Graphic();
  if (!IsDraggableGraphic(graphic) || graphic->Empty()) return TGraphicKind::None;
  return dynamic_cast<vcl::TBitmap*>(graphic) ? TGraphicKind::Bitmap : TGraphicKind::Metafile;
}

bool TGraphicDataObject::RendersItself(CLIPFORMAT cf) {
  return cf == CF_DIB || cf == CF_BITMAP || cf == CF_ENHMETAFILE || cf == CF_METAFILEPICT || cf == CF_DIBV5 ||
         cf == PNGClipboardFormat();
}

std::vector<FORMATETC> TGraphicDataObject::OwnFormats() {
  switch (GraphicKindOf(*thePicture)) {
    case TGraphicKind::Bitmap: {
      std::vector<FORMATETC> formats;
      // Transparency first, for the applications that prefer it.
      if (!FAlpha.Empty())
        for (CLIPFORMAT cf : {static_cast<CLIPFORMAT>(PNGClipboardFormat()), static_cast<CLIPFORMAT>(CF_DIBV5)})
          formats.push_back({cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
      formats.push_back({CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
      formats.push_back({CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI});
      return formats;
    }
    case TGraphicKind::Metafile:
      return {{CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF},
              {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT}};
    default:
      return {};
  }
}

// ---- rendering ------------------------------------------------------------------------------------

HRESULT TGraphicDataObject::RenderDIB(STGMEDIUM& medium) {
  vcl::TMemoryStream file;
  thePicture->Bitmap()->SaveToStream(file);
  if (file.Size() <= kBitmapFileHeaderSize) return DV_E_FORMATETC;
  // A packed DIB is the BMP file without its file header.
  const SIZE_T size = static_cast<SIZE_T>(file.Size() - kBitmapFileHeaderSize);
  vcl::TUniqueGlobal block = vcl::GlobalFromBytes(kMediumBlockFlags, file.Memory() + kBitmapFileHeaderSize, size, size);
  if (!block) return E_OUTOFMEMORY;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block.Release();
  return S_OK;
}

HRESULT TGraphicDataObject::RenderBitmap(STGMEDIUM& medium) {
  HBITMAP copy = CopyBitmapHandle(thePicture->Bitmap()->Handle());
  if (!copy) return E_OUTOFMEMORY;
  medium.tymed = TYMED_GDI;
  medium.hBitmap = copy;
  return S_OK;
}

HRESULT TGraphicDataObject::RenderEnhMetaFile(STGMEDIUM& medium) {
  HENHMETAFILE copy = CopyEnhMetaFileW(thePicture->Metafile()->Handle(), nullptr);
  if (!copy) return E_OUTOFMEMORY;
  medium.tymed = TYMED_ENHMF;
  medium.hEnhMetaFile = copy;
  return S_OK;
}

HRESULT TGraphicDataObject::RenderMetaFilePict(STGMEDIUM& medium) {
  vcl::TMetafile& metafile = *thePicture->Metafile();
  vcl::TUniqueMetaFile converted;
  {
    vcl::TWindowDC screen;
    const UINT size = GetWinMetaFileBits(metafile.Handle(), 0, nullptr, MM_ANISOTROPIC, screen.Get());
    if (size == 0) return DV_E_FORMATETC;
    std::vector<BYTE> bits(size);
    if (GetWinMetaFileBits(metafile.Handle(), size, bits.data(), MM_ANISOTROPIC, screen.Get()) != size)
      return DV_E_FORMATETC;
    converted.Reset(SetMetaFileBitsEx(size, bits.data()));
    if (!converted) return DV_E_FORMATETC;
  }
  METAFILEPICT pict;
  std::memset(&pict, 0, sizeof pict);  // the 64-bit record's padding travels too
  pict.mm = MM_ANISOTROPIC;
  if (UseActualMetafileSizes()) {
    pict.xExt = metafile.MMWidth();
    pict.yExt = metafile.MMHeight();
  }
  pict.hMF = converted.Get();
  vcl::TUniqueGlobal block = vcl::GlobalFromBytes(kMediumBlockFlags, &pict, sizeof pict, sizeof pict);
  if (!block) return E_OUTOFMEMORY;
  converted.Release();  // now the block's
  medium.tymed = TYMED_MFPICT;
  medium.hMetaFilePict = block.Release();
  return S_OK;
}

HRESULT TGraphicDataObject::RenderPNG(STGMEDIUM& medium) {
  return GlobalMediumOf(vcl::EncodeBGRAWithWIC(FAlpha.Width, FAlpha.Height, FAlpha.BGRA, GUID_ContainerFormatPng), medium);
}

HRESULT TGraphicDataObject::RenderDIBV5(STGMEDIUM& medium) {
  return GlobalMediumOf(blocks::DIBV5FromBGRA(FAlpha.Width, FAlpha.Height, FAlpha.BGRA), medium);
}

HRESULT TGraphicDataObject::Render(const FORMATETC& fe, STGMEDIUM& medium) {
  if (fe.dwAspect != DVASPECT_CONTENT) return DV_E_FORMATETC;
  switch (GraphicKindOf(*thePicture)) {
    case TGraphicKind::Bitmap:
      if (fe.cfFormat == CF_DIB) return RenderDIB(medium);  // whatever medium was asked for
      if (fe.cfFormat == CF_BITMAP && (fe.tymed & TYMED_GDI)) return RenderBitmap(medium);
      if (!FAlpha.Empty() && fe.cfFormat == PNGClipboardFormat() && (fe.tymed & TYMED_HGLOBAL)) return RenderPNG(medium);
      if (!FAlpha.Empty() && fe.cfFormat == CF_DIBV5 && (fe.tymed & TYMED_HGLOBAL)) return RenderDIBV5(medium);
      break;
    case TGraphicKind::Metafile:
      if (fe.cfFormat == CF_ENHMETAFILE && (fe.tymed & TYMED_ENHMF)) return RenderEnhMetaFile(medium);
      if (fe.cfFormat == CF_METAFILEPICT && (fe.tymed & TYMED_MFPICT)) return RenderMetaFilePict(medium);
      break;
    default:
      break;
  }
  return DV_E_FORMATETC;
}

}  // namespace kestrix
