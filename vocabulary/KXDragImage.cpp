#include "vocabulary/KXDragImage.h"

#include <algorithm>

#include "framework/Handles.h"

namespace kestrix {

namespace {

// The lines of text a text drag image shows at most.
constexpr size_t kTextImageLines = 3;

template <class I>
vcl::TComPtr<I> MakeHelper() {
  vcl::TComPtr<I> helper;
  if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, __uuidof(I), helper.PutVoid())))
    helper.Reset();
  return helper;
}

}  // namespace

bool SetDragImage(IDataObject* Data, HBITMAP Bitmap) {
  vcl::TUniqueBitmap owned(Bitmap);
  BITMAP info{};
  if (!Data || !Bitmap || !GetObjectW(Bitmap, sizeof info, &info)) return false;
  vcl::TComPtr<IDragSourceHelper> helper = MakeHelper<IDragSourceHelper>();
  if (!helper) return false;
  SHDRAGIMAGE image{};
  image.sizeDragImage = {info.bmWidth, info.bmHeight};
  image.ptOffset = {info.bmWidth / 2, 0};
  image.hbmpDragImage = Bitmap;
  image.crColorKey = CLR_NONE;
  if (FAILED(helper->InitializeFromBitmap(&image, Data))) return false;
  owned.Release();  // the helper's now
  return true;
}

HBITMAP MakeDragImage(SIZE Natural, const std::function<void(HDC, const RECT&)>& Draw) {
  if (Natural.cx <= 0 || Natural.cy <= 0) return nullptr;
  const double scale = std::min(1.0, double(kDragImageMaxSide) / double(std::max(Natural.cx, Natural.cy)));
  const RECT r{0, 0, std::max(1L, LONG(Natural.cx * scale)), std::max(1L, LONG(Natural.cy * scale))};
  vcl::TWindowDC screen;
  vcl::TMemoryDC dc(CreateCompatibleDC(screen.Get()));
  vcl::TUniqueBitmap bitmap(CreateCompatibleBitmap(screen.Get(), r.right, r.bottom));
  if (!dc || !bitmap) return nullptr;
  {
    vcl::TSelectObject selected(dc.Get(), bitmap.Get());
    if (!selected) return nullptr;
    FillRect(dc.Get(), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Draw(dc.Get(), r);
  }
  return bitmap.Release();
}

HBITMAP TextDragImage(const std::wstring& Text) {
  // The first lines only: a drag image is a hint, not the document.
  size_t end = 0;
  for (size_t lines = 0; end < Text.size() && lines < kTextImageLines; ++lines) {
    end = Text.find(L'\n', end);
    if (end == std::wstring::npos) end = Text.size();
    else ++end;
  }
  const std::wstring shown = Text.substr(0, std::min<size_t>(end, 512));
  if (shown.find_first_not_of(L" \t\r\n") == std::wstring::npos) return nullptr;

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  vcl::TGdiObject<HFONT> font;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font.Reset(CreateFontIndirectW(&metrics.lfMessageFont));
  const UINT flags = DT_NOPREFIX | DT_EXPANDTABS | DT_WORDBREAK | DT_END_ELLIPSIS;
  RECT bounds{0, 0, kDragImageMaxSide - 8, 0};
  {
    vcl::TWindowDC screen;
    vcl::TMemoryDC measure(CreateCompatibleDC(screen.Get()));
    if (!measure) return nullptr;
    vcl::TSelectObject selected(measure.Get(), font ? font.Get() : GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(measure.Get(), shown.c_str(), static_cast<int>(shown.size()), &bounds, flags | DT_CALCRECT);
  }
  const SIZE natural{std::min<LONG>(bounds.right + 8, kDragImageMaxSide), std::min<LONG>(bounds.bottom + 4, kDragImageMaxSide)};
  return MakeDragImage(natural, [&](HDC dc, const RECT& r) {
    vcl::TSelectObject selected(dc, font ? font.Get() : GetStockObject(DEFAULT_GUI_FONT));
    RECT inner{r.left + 4, r.top + 2, r.right - 4, r.bottom - 2};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &inner, flags);
  });
}

HBITMAP BitmapDragImage(HBITMAP Bitmap) {
  BITMAP info{};
  if (!Bitmap || !GetObjectW(Bitmap, sizeof info, &info)) return nullptr;
  return MakeDragImage({info.bmWidth, info.bmHeight}, [&](HDC dc, const RECT& r) {
    vcl::TMemoryDC from(CreateCompatibleDC(dc));
    vcl::TSelectObject selected(from.Get(), Bitmap);
    if (!selected) return;
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, 0, 0, r.right, r.bottom, from.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  });
}

// ---- TDropTargetImages ------------------------------------------------------------------------------

void TDropTargetImages::DragEnter(HWND Target, IDataObject* Data, POINTL pt, DWORD Effect) {
  FHelper = MakeHelper<IDropTargetHelper>();
  POINT p{pt.x, pt.y};
  if (FHelper) FHelper->DragEnter(Target, Data, &p, Effect);
}

void TDropTargetImages::DragOver(POINTL pt, DWORD Effect) {
  POINT p{pt.x, pt.y};
  if (FHelper) FHelper->DragOver(&p, Effect);
}

void TDropTargetImages::DragLeave() {
  if (FHelper) FHelper->DragLeave();
  FHelper.Reset();
}

void TDropTargetImages::Drop(IDataObject* Data, POINTL pt, DWORD Effect) {
  POINT p{pt.x, pt.y};
  if (FHelper) FHelper->Drop(Data, &p, Effect);
  FHelper.Reset();
}

}  // namespace kestrix
