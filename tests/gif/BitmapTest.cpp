// The framework's pictures the GIF reader renders into: TBitmap on real GDI bitmaps (BMP files in
// and out, formats, copies, handles), its canvas, and CopyPalette. BMP files may come from other
// applications (a dropped DIB), so malformed ones are tried too.
#include <gtest/gtest.h>

#include "GIFTestSupport.h"
#include "framework/Graphics.h"

using giftest::Bytes;
using vcl::TBitmap;

namespace {

std::string U16(int v) { return Bytes({v & 0xFF, (v >> 8) & 0xFF}); }
std::string U32(std::int64_t v) { return Bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int((v >> 24) & 0xFF)}); }

std::string InfoHeader(int size, int width, int height, int bits, int compression = BI_RGB, int clrUsed = 0, int sizeImage = 0) {
  std::string h = U32(size) + U32(width) + U32(height) + U16(1) + U16(bits) + U32(compression) + U32(sizeImage) +
                  U32(0) + U32(0) + U32(clrUsed) + U32(0);
  return h + std::string(static_cast<size_t>(std::max(0, size - 40)), '\0');
}

// File header, then the rest; bfOffBits defaults to where the pixels follow the rest's headers.
std::string BmpFile(const std::string& headers, const std::string& pixels, std::int64_t offBits = -1) {
  std::int64_t off = offBits >= 0 ? offBits : 14 + static_cast<std::int64_t>(headers.size());
  return "BM" + U32(14 + headers.size() + pixels.size()) + U32(0) + U32(off) + headers + pixels;
}

std::string GrayTable(int count) {
  std::string t;
  for (int i = 0; i < count; ++i) t += Bytes({i, i, i, 0});
  return t;
}

std::string Save(TBitmap& b) {
  vcl::TMemoryStream s;
  b.SaveToStream(s);
  return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

void LoadInto(TBitmap& b, const std::string& bytes) {
  vcl::TStringStream s(bytes);
  b.LoadFromStream(s);
}

std::vector<std::uint8_t> Row(TBitmap& b, int y, size_t n) {
  auto* p = static_cast<std::uint8_t*>(b.ScanLine(y));
  return {p, p + n};
}

}  // namespace

TEST(Bitmap, FormatsSurviveABmpRoundTrip) {
  struct Case {
    vcl::TPixelFormat format;
    int bits;
    int tableEntries;
  } cases[] = {{vcl::pf1bit, 1, 2},     {vcl::pf4bit, 4, 16},    {vcl::pf8bit, 8, 256},  {vcl::pf15bit, 16, 0},
               {vcl::pf16bit, 16, 0},   {vcl::pf24bit, 24, 0},   {vcl::pf32bit, 32, 0}};
  for (const auto& c : cases) {
    TBitmap b;
    b.SetPixelFormat(c.format);
    b.SetSize(5, 3);
    ASSERT_EQ(b.PixelFormat(), c.format) << c.bits;
    b.Canvas()->FillRect({0, 0, 5, 3}, vcl::clBlack);
    b.Canvas()->SetPixels(4, 2, vcl::clWhite);
    std::string file = Save(b);
    ASSERT_GT(file.size(), 54u);
    const auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
    int masks = c.format == vcl::pf16bit ? 12 : 0;
    EXPECT_EQ(p[10] | p[11] << 8, 14 + 40 + masks + 4 * c.tableEntries) << c.bits;
    EXPECT_EQ(p[46] | p[47] << 8, c.tableEntries) << "biClrUsed " << c.bits;

    TBitmap back;
    LoadInto(back, file);
    EXPECT_EQ(back.PixelFormat(), c.format) << c.bits;
    EXPECT_EQ(back.Width(), 5);
    EXPECT_EQ(back.Height(), 3);
    // 15- and 16-bit pixels come back as 5 or 6 bits per channel, widened.
    EXPECT_EQ(back.Canvas()->Pixels(4, 2) & 0xF8F8F8, 0xF8F8F8) << c.bits;
    EXPECT_EQ(back.Canvas()->Pixels(3, 2), vcl::clBlack) << c.bits;
    EXPECT_EQ(back.Palette() != nullptr, c.bits <= 8) << c.bits;
    EXPECT_TRUE(back.Equals(&b)) << c.bits;
  }
}

TEST(Bitmap, MalformedFilesAreRefusedAndChangeNothing) {
  const std::string pixels2x2 = std::string(8, '\x7F');  // 2 x 2 at 8 bits: rows of 4 bytes
  const std::string good = BmpFile(InfoHeader(40, 2, 2, 8, BI_RGB, 4) + GrayTable(4), pixels2x2);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"cut file header", good.substr(0, 10)},
      {"not BM", "XX" + good.substr(2)},
      {"cut info header", good.substr(0, 30)},
      {"header size 13", BmpFile(U32(13) + std::string(9, '\0'), pixels2x2)},
      {"header size 300", BmpFile(InfoHeader(300, 2, 2, 8), pixels2x2)},
      {"width 0", BmpFile(InfoHeader(40, 0, 2, 8), pixels2x2)},
      {"negative width", BmpFile(InfoHeader(40, -2, 2, 8), pixels2x2)},
      {"height 0", BmpFile(InfoHeader(40, 2, 0, 8), pixels2x2)},
      {"3 bits", BmpFile(InfoHeader(40, 2, 2, 3), pixels2x2)},
      {"JPEG compression", BmpFile(InfoHeader(40, 2, 2, 24, BI_JPEG), pixels2x2)},
      {"RLE8 at 4 bits", BmpFile(InfoHeader(40, 2, 2, 4, BI_RLE8), pixels2x2)},
      {"top-down RLE", BmpFile(InfoHeader(40, 2, -2, 8, BI_RLE8, 0, 4) + GrayTable(256), Bytes({2, 1, 0, 1}))},
      {"cut colour table", good.substr(0, 14 + 40 + 6)},
      {"cut pixels", good.substr(0, good.size() - 1)},
      {"huge size claimed", BmpFile(InfoHeader(40, 40000, 40000, 24), pixels2x2)},
      {"huge colour count", BmpFile(InfoHeader(40, 2, 2, 24, BI_RGB, 100000000), pixels2x2)},
      {"bit fields at 24 bits", BmpFile(InfoHeader(40, 2, 2, 24, BI_BITFIELDS) + U32(0xF800) + U32(0x7E0) + U32(0x1F), pixels2x2)},
  };
  for (const auto& c : cases) {
    TBitmap b;
    LoadInto(b, good);
    HBITMAP before = b.Handle();
    try {
      LoadInto(b, c.bytes);
      ADD_FAILURE() << c.what << " loaded";
    } catch (const vcl::EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), L"Bitmap image is not valid") << c.what;
    }
    EXPECT_EQ(b.Handle(), before) << c.what;
    EXPECT_EQ(b.Width(), 2) << c.what;
  }
}

TEST(Bitmap, FileVariantsOtherWritersProduce) {
  {
    // The old 12-byte header with a table of 3-byte entries.
    std::string core = U32(12) + U16(3) + U16(1) + U16(1) + U16(8) + std::string(256 * 3, '\0');
    core.replace(12 + 3 * 5, 3, Bytes({9, 8, 7}));
    TBitmap b;
    LoadInto(b, BmpFile(core, Bytes({5, 0, 5, 0})));
    EXPECT_EQ(Row(b, 0, 3), std::vector<std::uint8_t>({5, 0, 5}));
    EXPECT_EQ(b.Canvas()->Pixels(0, 0), RGB(7, 8, 9));
  }
  {
    // Top-down rows, and pixels found through bfOffBits past a gap.
    std::string headers = InfoHeader(40, 2, -2, 8, BI_RGB, 4) + GrayTable(4);
    TBitmap b;
    LoadInto(b, BmpFile(headers + "gap!", Bytes({1, 2, 0, 0, 3, 0, 0, 0}), 14 + 40 + 16 + 4));
    EXPECT_EQ(Row(b, 0, 2), std::vector<std::uint8_t>({1, 2}));
    EXPECT_EQ(Row(b, 1, 2), std::vector<std::uint8_t>({3, 0}));
  }
  {
    // Bit fields after a 40-byte header, with a bfOffBits that forgot the masks (as some
    // writers of packed DIBs compute it): the pixels follow the masks.
    std::string headers = InfoHeader(40, 1, 1, 16, BI_BITFIELDS) + U32(0xF800) + U32(0x07E0) + U32(0x001F);
    TBitmap b;
    LoadInto(b, BmpFile(headers, U32(0xF800), 14 + 40));
    EXPECT_EQ(b.PixelFormat(), vcl::pf16bit);
    EXPECT_EQ(b.Canvas()->Pixels(0, 0) & 0xF8F8F8, 0x0000F8);
  }
  {
    // Run-length data: two runs and an end of bitmap.
    std::string headers = InfoHeader(40, 4, 2, 8, BI_RLE8, 3, 10) + GrayTable(3);
    TBitmap b;
    LoadInto(b, BmpFile(headers, Bytes({4, 1, 0, 0, 2, 2, 2, 0, 0, 1})));
    EXPECT_EQ(b.PixelFormat(), vcl::pf8bit);
    EXPECT_EQ(Row(b, 1, 4), std::vector<std::uint8_t>({1, 1, 1, 1})) << "bottom row first in the file";
    EXPECT_EQ(Row(b, 0, 4), std::vector<std::uint8_t>({2, 2, 0, 0}));
  }
  {
    // A version 5 header at 32 bits.
    TBitmap b;
    LoadInto(b, BmpFile(InfoHeader(124, 1, 1, 32), U32(0x00102030)));
    EXPECT_EQ(b.PixelFormat(), vcl::pf32bit);
    EXPECT_EQ(b.Canvas()->Pixels(0, 0), RGB(0x10, 0x20, 0x30));
  }
}

TEST(Bitmap, ResizingAnIndexedImageKeepsItsIndices) {
  // Entries 0 and 1 are the same colour: a blit would merge them.
  std::string table = Bytes({0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0});
  TBitmap b;
  LoadInto(b, BmpFile(InfoHeader(40, 3, 2, 8, BI_RGB, 3) + table, Bytes({1, 0, 2, 0, 0, 1, 2, 0})));
  b.SetSize(4, 3);
  EXPECT_EQ(b.PixelFormat(), vcl::pf8bit);
  EXPECT_EQ(Row(b, 0, 3), std::vector<std::uint8_t>({0, 1, 2}));
  EXPECT_EQ(Row(b, 1, 3), std::vector<std::uint8_t>({1, 0, 2}));
  b.SetWidth(2);
  EXPECT_EQ(Row(b, 1, 2), std::vector<std::uint8_t>({1, 0}));
}

TEST(Bitmap, AssignMakesAnIndependentCopy) {
  TBitmap a;
  a.SetPixelFormat(vcl::pf24bit);
  a.SetSize(3, 3);
  a.Canvas()->FillRect({0, 0, 3, 3}, RGB(10, 20, 30));
  TBitmap b;
  b.Assign(&a);
  EXPECT_NE(b.Handle(), a.Handle());
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), RGB(10, 20, 30));
  a.Canvas()->SetPixels(1, 1, RGB(1, 1, 1));
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), RGB(10, 20, 30));
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
  std::unique_ptr<vcl::TGraphic> same(a.NewGraphic());
  EXPECT_NE(dynamic_cast<TBitmap*>(same.get()), nullptr);
  EXPECT_TRUE(same->Empty());
  vcl::TStringList notAGraphic;
  EXPECT_THROW(b.Assign(&notAGraphic), vcl::EConvertError);
}

TEST(Bitmap, ChangesAreReported) {
  TBitmap b;
  int changes = 0;
  b.SetOnChange([&](vcl::TObject* sender) {
    EXPECT_EQ(sender, &b);
    ++changes;
  });
  b.SetPixelFormat(vcl::pf24bit);
  b.SetSize(2, 2);
  EXPECT_EQ(changes, 1);
  b.Canvas()->FillRect({0, 0, 1, 1}, vcl::clWhite);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(b.Modified());
  b.SetModified(false);
  EXPECT_FALSE(b.Modified());
}

TEST(Bitmap, HandlesChangeHands) {
  TBitmap b;
  b.SetHandle(CreateBitmap(4, 2, 1, 1, nullptr));
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.PixelFormat(), vcl::pf1bit);
  b.Canvas()->FillRect({0, 0, 4, 2}, vcl::clWhite);  // selects the bitmap into the canvas DC
  vcl::TUniqueBitmap released(b.ReleaseHandle());
  EXPECT_TRUE(b.Empty());
  // Released from the canvas: the handle can be deleted by its new owner.
  EXPECT_TRUE(DeleteObject(released.Release()));
  EXPECT_THROW(b.ScanLine(0), vcl::EInvalidGraphicOperation);
}

TEST(Bitmap, ClipboardFormRoundTrip) {
  TBitmap a;
  a.SetPixelFormat(vcl::pf24bit);
  a.SetSize(2, 1);
  a.Canvas()->SetPixels(1, 0, RGB(255, 0, 0));
  UINT format = 0;
  HANDLE data = nullptr;
  HPALETTE palette = nullptr;
  a.SaveToClipboardFormat(format, data, palette);
  vcl::TUniqueBitmap owned(static_cast<HBITMAP>(data));
  EXPECT_EQ(format, static_cast<UINT>(CF_BITMAP));
  TBitmap b;
  b.LoadFromClipboardFormat(format, data, palette);
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), RGB(255, 0, 0));
  EXPECT_NE(b.Handle(), owned.Get()) << "the caller keeps its handle";
  EXPECT_THROW(b.LoadFromClipboardFormat(CF_TEXT, data, nullptr), vcl::EInvalidGraphic);
}

TEST(Bitmap, CopyPaletteCopiesEntries) {
  EXPECT_EQ(vcl::CopyPalette(nullptr), nullptr);
  struct {
    WORD version, count;
    PALETTEENTRY entries[3];
  } log{0x300, 3, {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}};
  vcl::TUniquePalette original(CreatePalette(reinterpret_cast<LOGPALETTE*>(&log)));
  vcl::TUniquePalette copy(vcl::CopyPalette(original.Get()));
  ASSERT_NE(copy.Get(), nullptr);
  EXPECT_NE(copy.Get(), original.Get());
  PALETTEENTRY entries[3];
  ASSERT_EQ(GetPaletteEntries(copy.Get(), 0, 3, entries), 3u);
  EXPECT_EQ(entries[2].peBlue, 9);
  // A bitmap takes ownership of the palette it is given and colours its table from it.
  TBitmap b;
  b.SetPixelFormat(vcl::pf8bit);
  b.SetSize(1, 1);
  b.SetPalette(copy.Release());
  EXPECT_TRUE(b.PaletteModified());
  RGBQUAD table[3];
  vcl::TMemoryDC dc(CreateCompatibleDC(nullptr));
  vcl::TSelectObject sel(dc.Get(), b.Handle());
  ASSERT_EQ(GetDIBColorTable(dc.Get(), 0, 3, table), 3u);
  EXPECT_EQ(table[1].rgbRed, 4);
}
