// Bitmap copies and metafile pictures turned into enhanced metafiles, on real GDI.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "formats/KXUtil.h"
#include "framework/Handles.h"

using namespace kestrix;

namespace {

// The bitmap's pixels as 32-bit top-down 0x00RRGGBB values.
std::vector<std::uint32_t> Pixels(HBITMAP bitmap) {
  BITMAP info{};
  if (!GetObjectW(bitmap, sizeof info, &info)) return {};
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB};
  std::vector<std::uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  vcl::TWindowDC screen;
  if (GetDIBits(screen.Get(), bitmap, 0, info.bmHeight, pixels.data(), &bi, DIB_RGB_COLORS) != info.bmHeight) return {};
  for (auto& p : pixels) p &= 0x00FFFFFF;
  return pixels;
}

// A white 32-bit canvas of the given size, with a memory DC drawing on it.
struct Canvas {
  Canvas(int width, int height) : dc(CreateCompatibleDC(nullptr)) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    bitmap.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    selected.emplace(dc.Get(), bitmap.Get());
    RECT all{0, 0, width, height};
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  std::vector<std::uint32_t> Pixels() {
    GdiFlush();
    selected.reset();
    auto p = ::Pixels(bitmap.Get());
    selected.emplace(dc.Get(), bitmap.Get());
    return p;
  }
  vcl::TMemoryDC dc;
  vcl::TUniqueBitmap bitmap;
  std::optional<vcl::TSelectObject> selected;
};

// An old-style metafile of 100 x 100 logical units: a red and a blue rectangle. (Wine rasterises
// curves through the enhanced metafile's transform slightly differently at the edges.)
vcl::TUniqueMetaFile DrawMetaFile() {
  HDC dc = CreateMetaFileW(nullptr);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetWindowExtEx(dc, 100, 100, nullptr);
  vcl::TGdiObject<HBRUSH> red(CreateSolidBrush(RGB(255, 0, 0)));
  vcl::TGdiObject<HBRUSH> blue(CreateSolidBrush(RGB(0, 0, 255)));
  SelectObject(dc, GetStockObject(NULL_PEN));
  SelectObject(dc, red.Get());
  Rectangle(dc, 10, 10, 60, 40);
  SelectObject(dc, blue.Get());
  Rectangle(dc, 50, 50, 90, 80);
  return vcl::TUniqueMetaFile(CloseMetaFile(dc));
}

}  // namespace

TEST(CopyBitmapHandle, CopiesThePixelsOfColourAndMonochromeBitmaps) {
  // A 32-bit bitmap with a different colour in every pixel.
  const int width = 7, height = 5;
  std::vector<std::uint32_t> colours;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) colours.push_back(RGB(x * 30, y * 50, 200 - x * y * 5));
  vcl::TUniqueBitmap colour(CreateBitmap(width, height, 1, 32, colours.data()));
  // A monochrome 16 x 2 bitmap: a pattern of set and clear bits (rows are word-aligned).
  const BYTE monoBits[] = {0xF0, 0x0F, 0x00, 0x00, 0xAA, 0x55, 0x00, 0x00};
  vcl::TUniqueBitmap mono(CreateBitmap(16, 2, 1, 1, monoBits));

  vcl::TWindowDC screen;
  for (HBITMAP source : {colour.Get(), mono.Get()}) {
    vcl::TUniqueBitmap copy(CopyBitmapHandle(source));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.Get(), source);
    BITMAP info{};
    GetObjectW(copy.Get(), sizeof info, &info);
    EXPECT_EQ(info.bmBitsPixel, GetDeviceCaps(screen.Get(), BITSPIXEL));  // the screen's format
    EXPECT_EQ(Pixels(copy.Get()), Pixels(source));
  }
  // The source is left free to be selected elsewhere.
  vcl::TMemoryDC dc(CreateCompatibleDC(nullptr));
  EXPECT_TRUE(vcl::TSelectObject(dc.Get(), colour.Get()));
}

TEST(CopyBitmapHandle, NoBitmapGivesNoCopy) {
  vcl::TGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(1, 2, 3)));
  EXPECT_EQ(CopyBitmapHandle(nullptr), nullptr);
  EXPECT_EQ(CopyBitmapHandle(reinterpret_cast<HBITMAP>(brush.Get())), nullptr);
  EXPECT_EQ(CopyBitmapHandle(reinterpret_cast<HBITMAP>(static_cast<INT_PTR>(0x7A5C))), nullptr);
}

TEST(EnhMFfromMetaFilePict, PlaysBackAsTheMetafileItCameFrom) {
  vcl::TUniqueMetaFile metafile = DrawMetaFile();
  ASSERT_TRUE(metafile);
  METAFILEPICT pict{MM_ANISOTROPIC, 2000, 1000, metafile.Get()};  // 20 x 10 mm
  vcl::TUniqueEnhMetaFile enhanced(EnhMFfromMetaFilePict(pict));
  ASSERT_TRUE(enhanced);

  ENHMETAHEADER header{};
  ASSERT_NE(GetEnhMetaFileHeader(enhanced.Get(), sizeof header, &header), 0u);
  EXPECT_NEAR(header.rclFrame.right - header.rclFrame.left, 2000, 2);  // the record's extents apply
  EXPECT_NEAR(header.rclFrame.bottom - header.rclFrame.top, 1000, 2);

  const int size = 100;
  Canvas played(size, size), reference(size, size);
  RECT all{0, 0, size, size};
  ASSERT_TRUE(PlayEnhMetaFile(played.dc.Get(), enhanced.Get(), &all));
  SetMapMode(reference.dc.Get(), MM_ANISOTROPIC);
  SetViewportExtEx(reference.dc.Get(), size, size, nullptr);
  ASSERT_TRUE(PlayMetaFile(reference.dc.Get(), metafile.Get()));

  auto got = played.Pixels(), want = reference.Pixels();
  ASSERT_EQ(got.size(), want.size());
  // The two playbacks scale through different transforms, so an edge may move by one pixel.
  int misplaced = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      bool nearby = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          int nx = x + dx, ny = y + dy;
          if (nx >= 0 && ny >= 0 && nx < size && ny < size && want[ny * size + nx] == got[y * size + x]) nearby = true;
        }
      misplaced += !nearby;
    }
  EXPECT_EQ(misplaced, 0);
  EXPECT_EQ(got[20 * size + 30], 0xFF0000u);  // inside the red rectangle
  EXPECT_EQ(got[65 * size + 70], 0x0000FFu);  // inside the blue rectangle
  EXPECT_EQ(got[95 * size + 5], 0xFFFFFFu);

  EXPECT_GT(GetMetaFileBitsEx(metafile.Get(), 0, nullptr), 0u);  // the record's metafile is still the caller's
}

TEST(EnhMFfromMetaFilePict, NoMetafileGivesNoResult) {
  EXPECT_EQ(EnhMFfromMetaFilePict(METAFILEPICT{MM_ANISOTROPIC, 100, 100, nullptr}), nullptr);
  EXPECT_EQ(EnhMFfromMetaFilePict(METAFILEPICT{MM_ANISOTROPIC, 100, 100, reinterpret_cast<HMETAFILE>(0x7A5C)}),
            nullptr);
}
