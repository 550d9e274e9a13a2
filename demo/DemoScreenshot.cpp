#include "DemoScreenshot.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "framework/ComObj.h"
#include "framework/Handles.h"

bool SaveWindowPng(HWND wnd, const std::wstring& fileName) {
  RECT r;
  if (!GetWindowRect(wnd, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  // The screen's pixels where the window is: what a user sees, frame and children included.
  vcl::TWindowDC screen;
  vcl::TMemoryDC memory(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
  void* bits = nullptr;
  vcl::TUniqueBitmap dib(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib || !bits) return false;
  {
    vcl::TSelectObject select(memory.Get(), dib.Get());
    BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), r.left, r.top, SRCCOPY);
  }
  GdiFlush();

  vcl::TComPtr<IWICImagingFactory> factory;
  vcl::TComPtr<IWICStream> stream;
  vcl::TComPtr<IWICBitmapEncoder> encoder;
  vcl::TComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  const UINT stride = static_cast<UINT>(width) * 4;
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    factory.PutVoid())) &&
         SUCCEEDED(factory->CreateStream(stream.Put())) &&
         SUCCEEDED(stream->InitializeFromFilename(fileName.c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put())) &&
         SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(frame.Put(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
         SUCCEEDED(frame->SetSize(width, height)) && SUCCEEDED(frame->SetPixelFormat(&format)) &&
         SUCCEEDED(frame->WritePixels(height, stride, stride * height, static_cast<BYTE*>(bits))) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

bool DrawsDistinctGlyphs(HWND control, const std::wstring& text) {
  enum { kSide = 48 };
  vcl::TWindowDC screen;
  vcl::TMemoryDC memory(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), kSide, -kSide, 1, 32, BI_RGB};
  void* bits = nullptr;
  vcl::TUniqueBitmap dib(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib || !bits) return false;
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  std::vector<std::vector<std::uint32_t>> drawn;
  vcl::TSelectObject selectBitmap(memory.Get(), dib.Get());
  vcl::TSelectObject selectFont(memory.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  const RECT all{0, 0, kSide, kSide};
  for (const wchar_t ch : text) {
    FillRect(memory.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    TextOutW(memory.Get(), 4, 4, &ch, 1);
    GdiFlush();
    std::vector<std::uint32_t> glyph(pixels, pixels + kSide * kSide);
    const bool blank = std::all_of(glyph.begin(), glyph.end(), [&](std::uint32_t p) { return p == glyph[0]; });
    if (blank || std::find(drawn.begin(), drawn.end(), glyph) != drawn.end()) return false;
    drawn.push_back(std::move(glyph));
  }
  return true;
}
