// The rendering half of the GIF reader in the native build: there is no GDI here, so nothing is
// ever rendered. Frames and images report no bitmap, mask or palette; everything up to the decoded
// index buffers is the same code as in the Windows build.
#include "gif/KXGIFImage.h"

namespace kestrix {

void TGIFColorMap::ImportPalette(HPALETTE) { Clear(); }
void TGIFColorMap::ImportDIBColors(HDC) { Clear(); }
HPALETTE TGIFColorMap::ExportPalette() { return nullptr; }

HPALETTE TGIFSubImage::GetPalette() { return nullptr; }
vcl::TBitmap* TGIFSubImage::GetBitmap() { return nullptr; }
vcl::TBitmap* TGIFSubImage::DoGetBitmap() { return nullptr; }
void TGIFSubImage::AssignTo(vcl::TPersistent* Dest) { TGIFItem::AssignTo(Dest); }

HPALETTE TGIFImage::GetPalette() { return nullptr; }
vcl::TBitmap* TGIFImage::GetBitmap() { return nullptr; }
vcl::TBitmap* TGIFImage::NewBitmap() { return nullptr; }
void TGIFImage::Draw(vcl::TCanvas*, const vcl::TRect&) {}
void TGIFImage::AssignTo(vcl::TPersistent* Dest) { vcl::TGraphic::AssignTo(Dest); }

}  // namespace kestrix
