#pragma once
// Pictures with known content for the picture source's tests (also used by picsource_e2e).
#include <windows.h>

#include <memory>
#include <string>

#include "framework/Graphics.h"
#include "framework/GraphicsIcon.h"
#include "framework/GraphicsMetafile.h"
#include "framework/Handles.h"
#include "framework/Picture.h"
#include "support/RawDropTarget.h"

namespace pictest {

// A bitmap of the format with four coloured quarters (black, white, red, blue), so that a copy
// that loses rows, columns or colours shows it.
inline std::unique_ptr<vcl::TBitmap> QuarteredBitmap(int width, int height, vcl::TPixelFormat format) {
  auto bitmap = std::make_unique<vcl::TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(width, height);
  vcl::TCanvas* canvas = bitmap->Canvas();
  const int w2 = width / 2, h2 = height / 2;
  canvas->FillRect({0, 0, w2, h2}, vcl::clBlack);
  canvas->FillRect({w2, 0, width, h2}, vcl::clWhite);
  canvas->FillRect({0, h2, w2, height}, RGB(255, 0, 0));
  canvas->FillRect({w2, h2, width, height}, RGB(0, 0, 255));
  return bitmap;
}

// An enhanced metafile whose frame is mmWidth x mmHeight (0.01 mm), filled with color and crossed
// by a line.
inline HENHMETAFILE FilledMetafile(int mmWidth, int mmHeight, COLORREF color) {
  RECT frame{0, 0, mmWidth, mmHeight};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, L"kx test\0picture\0");
  HDC screen = GetDC(nullptr);
  const int w = MulDiv(mmWidth, GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, HORZSIZE) * 100);
  const int h = MulDiv(mmHeight, GetDeviceCaps(screen, VERTRES), GetDeviceCaps(screen, VERTSIZE) * 100);
  ReleaseDC(nullptr, screen);
  vcl::TGdiObject<HBRUSH> brush(CreateSolidBrush(color));
  RECT all{0, 0, w, h};
  FillRect(dc, &all, brush.Get());
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, w, h);
  return CloseEnhMetaFile(dc);
}

inline std::unique_ptr<vcl::TMetafile> FilledMetafileGraphic(int mmWidth, int mmHeight, COLORREF color) {
  auto metafile = std::make_unique<vcl::TMetafile>();
  metafile->SetHandle(FilledMetafile(mmWidth, mmHeight, color));
  return metafile;
}

// A colour icon of size x size with the quartered pattern and a transparent top row.
inline HICON QuarteredIcon(int size) {
  auto colour = QuarteredBitmap(size, size, vcl::pfDevice);
  vcl::TUniqueBitmap mask(CreateBitmap(size, size, 1, 1, nullptr));
  {
    vcl::TMemoryDC dc(CreateCompatibleDC(nullptr));
    vcl::TSelectObject sel(dc.Get(), mask.Get());
    PatBlt(dc.Get(), 0, 0, size, size, BLACKNESS);
    PatBlt(dc.Get(), 0, 0, size, 1, WHITENESS);
  }
  vcl::TUniqueBitmap colourHandle(colour->ReleaseHandle());
  ICONINFO info{TRUE, 0, 0, mask.Get(), colourHandle.Get()};
  return CreateIconIndirect(&info);
}

inline std::unique_ptr<vcl::TPicture> PictureOf(vcl::TGraphic* graphic) {
  auto picture = std::make_unique<vcl::TPicture>();
  picture->SetGraphic(graphic);
  return picture;
}

// The BMP file a bitmap saves.
inline std::string BmpFileOf(vcl::TBitmap& bitmap) {
  vcl::TMemoryStream stream;
  bitmap.SaveToStream(stream);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

// What a graphic looks like drawn onto a white 32-bit bitmap of the given size.
inline std::string Rendering(vcl::TGraphic& graphic, int width, int height) {
  vcl::TBitmap canvasBitmap;
  canvasBitmap.SetPixelFormat(vcl::pf32bit);
  canvasBitmap.SetSize(width, height);
  canvasBitmap.Canvas()->StretchDraw({0, 0, width, height}, &graphic);
  return kxtest::BitmapPixels32(canvasBitmap.Handle());
}

// Committed private memory of the process. GDI objects, DIB sections and global blocks live in
// the process's memory, so a leak of a large picture shows here (Wine does not count GDI objects).
inline size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* p = nullptr; VirtualQuery(p, &info, sizeof info) == sizeof info;
       p = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (static_cast<const char*>(info.BaseAddress) + info.RegionSize < p) break;  // wrapped around
  }
  return total;
}

// GDI objects of this process (bitmaps, metafiles, DCs, palettes, brushes, stock objects).
// Windows counts them in GetGuiResources. Wine answers 0 there, so under Wine the handle table is
// walked instead: a handle whose upper word is 0 names its slot in any generation.
inline DWORD GdiObjectCount() {
  if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
  DWORD n = 0;
  for (ULONG_PTR slot = 1; slot <= 0xFFFF; ++slot)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++n;
  return n;
}

}  // namespace pictest
