// Rendering frames into real GDI bitmaps: the 8-bit DIB, its colour table, the transparency mask,
// palettes and their caches, progress, and the image as a framework graphic.
#include <gtest/gtest.h>

#include "GIFTestSupport.h"
#include "framework/Handles.h"

using namespace kestrix;
using namespace giftest;

namespace {

// The colour table of an 8-bit DIB section, all 256 entries.
std::vector<RGBQUAD> ColorTableOf(vcl::TBitmap* bitmap) {
  std::vector<RGBQUAD> table(256);
  vcl::TMemoryDC dc(CreateCompatibleDC(nullptr));
  vcl::TSelectObject sel(dc.Get(), bitmap->Handle());
  table.resize(GetDIBColorTable(dc.Get(), 0, 256, table.data()));
  return table;
}

std::vector<std::uint8_t> IndicesOf(vcl::TBitmap* bitmap) {
  std::vector<std::uint8_t> out;
  for (int y = 0; y < bitmap->Height(); ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->ScanLine(y));
    out.insert(out.end(), row, row + bitmap->Width());
  }
  return out;
}

// Mask rows as stored by the bitmap (whole 16-bit words per row).
std::vector<std::uint8_t> MaskBytes(HBITMAP mask, int& rowBytes) {
  BITMAP bm{};
  GetObjectW(mask, sizeof bm, &bm);
  rowBytes = bm.bmWidthBytes;
  std::vector<std::uint8_t> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
  GetBitmapBits(mask, static_cast<LONG>(bits.size()), bits.data());
  return bits;
}

std::string TransparentFrame(int width, int height, const std::vector<int>& pixels, int transparent) {
  return Header(width, height, 1) + GraphicControl(0x01, 0, transparent) + LiteralFrame(width, height, pixels) + ";";
}

}  // namespace

TEST(GIFRender, FrameBecomesAnEightBitDibOfItsIndices) {
  std::vector<int> pixels;
  for (int i = 0; i < 5 * 3; ++i) pixels.push_back(i % 4);
  auto r = Load(Header(9, 9, 1) + Descriptor(2, 3, 5, 3) + ImageData(2, [&] {
                  std::vector<int> codes{4};
                  codes.insert(codes.end(), pixels.begin(), pixels.end());
                  codes.push_back(5);
                  return codes;
                }()) + ";");
  vcl::TBitmap* bitmap = r->Frame(0)->GetBitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->PixelFormat(), vcl::pf8bit);
  EXPECT_EQ(bitmap->Width(), 5);
  EXPECT_EQ(bitmap->Height(), 3);
  EXPECT_EQ(IndicesOf(bitmap), r->Pixels(0));
  std::vector<RGBQUAD> table = ColorTableOf(bitmap);
  ASSERT_EQ(table.size(), 256u);
  EXPECT_EQ(table[3].rgbRed, 3);
  EXPECT_EQ(table[3].rgbGreen, 6);
  EXPECT_EQ(table[3].rgbBlue, 9);
  for (size_t i = 4; i < 256; ++i) EXPECT_EQ(table[i].rgbRed | table[i].rgbGreen | table[i].rgbBlue, 0) << i;
  EXPECT_EQ(r->Frame(0)->GetBitmap(), bitmap) << "rendered once, then cached";
  EXPECT_EQ(r->Frame(0)->Mask(), nullptr);
}

TEST(GIFRender, DibHeaderCarriesThePaletteAndItsSize) {
  auto r = Load(Header(2, 2, 3) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");  // 16 colours
  vcl::TBitmap target;
  TDIBWriter writer(&target, vcl::pf8bit, 2, 2, r->Frame(0)->GetPalette());
  writer.GetScanline(0);
  const std::uint8_t* info = writer.DIBInfo();
  ASSERT_EQ(writer.DIBInfoSize(), 1064);
  auto u32 = [&](int at) { return info[at] | info[at + 1] << 8 | info[at + 2] << 16 | info[at + 3] << 24; };
  EXPECT_EQ(u32(0), 40);
  EXPECT_EQ(u32(8), 2) << "positive height: bottom-up rows";
  EXPECT_EQ(u32(32), 256);
  EXPECT_EQ(u32(36), 16) << "important colours: the entries copied";
  EXPECT_EQ(info[40 + 4 * 15 + 2], 15) << "entry 15 red";
  for (int i = 16; i < 256; ++i) EXPECT_EQ(u32(40 + 4 * i), 0) << i;
  // Rows are counted from the top, stored from the bottom.
  EXPECT_EQ(static_cast<std::uint8_t*>(writer.GetScanline(0)) - static_cast<std::uint8_t*>(writer.GetScanline(1)), 4);
}

TEST(GIFRender, DibWriterRefusals) {
  vcl::TBitmap target;
  struct Case {
    vcl::TPixelFormat format;
    int width, height;
    std::wstring error;
  } cases[] = {{vcl::pf4bit, 2, 2, L"Unsupported PixelFormat"},
               {vcl::pf32bit, 2, 2, L"Unsupported PixelFormat"},
               {vcl::pf8bit, 0, 2, L"Invalid image dimensions"},
               {vcl::pf24bit, 2, 0, L"Invalid image dimensions"}};
  for (const auto& c : cases) {
    try {
      TDIBWriter writer(&target, c.format, c.width, c.height, nullptr);
      ADD_FAILURE();
    } catch (const GIFException& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
  }
  TDIBWriter writer(&target, vcl::pf24bit, 3, 2, nullptr);
  EXPECT_THROW(writer.GetScanline(2), vcl::EInvalidGraphicOperation);
  EXPECT_THROW(writer.GetScanline(-1), vcl::EInvalidGraphicOperation);
  std::memset(writer.GetScanline(0), 0xFF, 9);
  std::memset(writer.GetScanline(1), 0x00, 9);
  writer.UpdateBitmap();
  EXPECT_EQ(target.PixelFormat(), vcl::pf24bit);
  EXPECT_EQ(target.Canvas()->Pixels(2, 0), 0xFFFFFF);
  EXPECT_EQ(target.Canvas()->Pixels(2, 1), 0);
}

TEST(GIFRender, MaskRowsAreWholeWordsMostSignificantBitFirst) {
  // 17 pixels wide: rows of 4 bytes; the 17th pixel is the top bit of the third byte.
  std::vector<int> pixels(17 * 2, 0);
  pixels[0] = 3;
  pixels[9] = 3;
  pixels[16] = 3;
  pixels[17 + 1] = 3;
  auto r = Load(TransparentFrame(17, 2, pixels, 3));
  TGIFSubImage* frame = r->Frame(0);
  ASSERT_TRUE(frame->HasMask());
  int rowBytes = 0;
  std::vector<std::uint8_t> mask = MaskBytes(frame->Mask(), rowBytes);
  ASSERT_EQ(rowBytes, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(mask.begin(), mask.begin() + 3), std::vector<std::uint8_t>({0x80, 0x40, 0x80}));
  EXPECT_EQ(mask[4], 0x40);
  EXPECT_EQ(mask[6], 0x00);
}

TEST(GIFRender, NoMaskWithoutTransparentPixels) {
  auto r = Load(TransparentFrame(4, 1, {0, 1, 2, 0}, 3));
  EXPECT_TRUE(r->Frame(0)->Transparent());
  EXPECT_FALSE(r->Frame(0)->HasMask());
  EXPECT_NE(r->Frame(0)->GetBitmap(), nullptr);
}

TEST(GIFRender, NoColourTableAnywhereFailsToRenderEachTime) {
  auto r = Load(Header(2, 2, -1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      r->Frame(0)->GetBitmap();
      ADD_FAILURE() << attempt;
    } catch (const GIFException& e) {
      EXPECT_EQ(e.Message(), L"No global or local color table defined");
    }
    EXPECT_FALSE(r->Frame(0)->HasBitmap());
  }
  vcl::TBitmap target;
  EXPECT_THROW(target.Assign(r->Image.get()), GIFException);
  EXPECT_THROW(target.Assign(r->Image.get()), GIFException) << "the failed render was not kept";
}

TEST(GIFRender, AssigningToABitmapGivesTheFirstFrameAtItsOwnSize) {
  std::string second = Descriptor(0, 0, 1, 1) + ImageData(2, {4, 2, 5});
  auto r = Load(Header(20, 10, 1) + Descriptor(5, 4, 3, 2) + ImageData(2, {4, 1, 2, 3, 1, 2, 3, 5}) + second + ";");
  vcl::TBitmap bitmap;
  bitmap.Assign(r->Image.get());
  EXPECT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(IndicesOf(&bitmap), std::vector<std::uint8_t>({1, 2, 3, 1, 2, 3}));
  EXPECT_NE(bitmap.Handle(), r->Image->GetBitmap()->Handle()) << "a copy";
}

TEST(GIFRender, ImagesWithoutARenderableFirstFrame) {
  // No frames: Draw does nothing.
  TGIFImage empty;
  vcl::TBitmap canvasBitmap;
  canvasBitmap.SetPixelFormat(vcl::pf24bit);
  canvasBitmap.SetSize(4, 4);
  EXPECT_NO_THROW(canvasBitmap.Canvas()->StretchDraw({0, 0, 4, 4}, &empty));
  EXPECT_NO_THROW(empty.Draw(canvasBitmap.Canvas(), {0, 0, 4, 4}));
  EXPECT_EQ(empty.GetBitmap(), nullptr);
  // A first frame without image data: an empty bitmap.
  auto r = Load(Header(3, 3, 1) + Bytes({0x21, 0xFE, 1, 'x', 0}) + ";");
  ASSERT_EQ(r->Image->Images()->Count(), 1);
  vcl::TBitmap* bitmap = r->Image->GetBitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_TRUE(bitmap->Empty());
  EXPECT_EQ(bitmap->Width(), 0);
}

TEST(GIFRender, DrawStretchesTheFirstFrame) {
  auto r = Load(Header(2, 1, 1) + LiteralFrame(2, 1, {1, 3}) + ";");  // entry 1 = (1,2,3), 3 = (3,6,9)
  vcl::TBitmap target;
  target.SetPixelFormat(vcl::pf24bit);
  target.SetSize(8, 4);
  target.Canvas()->StretchDraw({0, 0, 8, 4}, r->Image.get());
  EXPECT_EQ(target.Canvas()->Pixels(0, 0), RGB(1, 2, 3));
  EXPECT_EQ(target.Canvas()->Pixels(3, 3), RGB(1, 2, 3));
  EXPECT_EQ(target.Canvas()->Pixels(4, 0), RGB(3, 6, 9));
  EXPECT_EQ(target.Canvas()->Pixels(7, 3), RGB(3, 6, 9));
}

TEST(GIFRender, ProgressOfARender) {
  std::vector<int> pixels(3 * 70, 1);
  auto r = Load(Header(3, 70, 1) + LiteralFrame(3, 70, pixels) + ";");
  struct Event {
    vcl::TObject* sender;
    vcl::TProgressStage stage;
    int percent;
    std::wstring text;
  };
  std::vector<Event> events;
  r->Image->SetOnProgress([&](vcl::TObject* s, vcl::TProgressStage st, std::uint8_t p, bool, const vcl::TRect&,
                              const std::wstring& text) { events.push_back({s, st, p, text}); });
  r->Frame(0)->GetBitmap();
  ASSERT_EQ(events.size(), 5u) << "start, rows 0, 32 and 64, end";
  EXPECT_EQ(events[0].stage, vcl::psStarting);
  EXPECT_EQ(events[1].percent, 0);
  EXPECT_EQ(events[2].percent, 46);  // MulDiv(32, 100, 70)
  EXPECT_EQ(events[3].percent, 91);
  EXPECT_EQ(events[4].stage, vcl::psEnding);
  EXPECT_EQ(events[4].percent, 100);
  for (const auto& e : events) {
    EXPECT_EQ(e.sender, r->Frame(0));
    EXPECT_EQ(e.text, L"Rendering...");
  }
}

TEST(GIFRender, AnAbortFromAProgressHandlerCancelsQuietly) {
  auto r = Load(Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");
  std::vector<int> endings;
  r->Image->SetOnProgress([&](vcl::TObject*, vcl::TProgressStage st, std::uint8_t p, bool, const vcl::TRect&,
                              const std::wstring&) {
    if (st == vcl::psRunning) throw vcl::EAbort(L"stop");
    if (st == vcl::psEnding) endings.push_back(p);
  });
  EXPECT_EQ(r->Frame(0)->GetBitmap(), nullptr);
  EXPECT_EQ(endings, std::vector<int>({0}));
  r->Image->SetOnProgress(nullptr);
  EXPECT_NE(r->Frame(0)->GetBitmap(), nullptr) << "the next request renders";
}

TEST(GIFRender, PaletteCachesFollowTheColourMaps) {
  auto r = Load(Header(2, 2, -1) + Descriptor(0, 0, 2, 2, 0x81) + ColorTable(1) + ImageData(2, {4, 0, 1, 2, 3, 5}) + ";");
  TGIFSubImage* frame = r->Frame(0);
  HPALETTE palette = frame->GetPalette();
  ASSERT_NE(palette, nullptr);
  EXPECT_EQ(frame->GetPalette(), palette);
  PALETTEENTRY entries[4];
  ASSERT_EQ(GetPaletteEntries(palette, 0, 4, entries), 4u);
  EXPECT_EQ(entries[2].peGreen, 4);
  EXPECT_EQ(entries[2].peFlags, PC_NOCOLLAPSE);
  // A change of the local map drops the palette and the rendered bitmap.
  ASSERT_NE(frame->GetBitmap(), nullptr);
  int changes = 0;
  r->Image->SetOnChange([&](vcl::TObject*) { ++changes; });
  frame->ColorMap()->SetColor(2, RGB(200, 100, 50));
  EXPECT_FALSE(frame->HasBitmap());
  EXPECT_TRUE(r->Image->PaletteModified());
  EXPECT_EQ(changes, 1);
  GetPaletteEntries(frame->GetPalette(), 2, 1, entries);
  EXPECT_EQ(entries[0].peRed, 200);
  EXPECT_EQ(ColorTableOf(frame->GetBitmap())[2].rgbRed, 200);
  // An empty map exports no palette.
  TGIFSubImage loose(nullptr);
  EXPECT_EQ(loose.ColorMap()->ExportPalette(), nullptr);
}

TEST(GIFRender, ImportsFromPalettesAndDibs) {
  auto r = Load(Header(2, 2, 2) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");
  vcl::TUniquePalette palette(r->Image->GlobalColorMap()->ExportPalette());
  TGIFSubImage* frame = r->Frame(0);
  frame->ColorMap()->ImportPalette(palette.Get());
  EXPECT_EQ(frame->ColorMap()->Count(), 8);
  EXPECT_EQ(frame->ColorMap()->GetColor(5), 5 | 10 << 8 | 15 << 16);
  // A copy: importing changes the map, which drops the frame's own bitmap.
  vcl::TBitmap copy;
  copy.Assign(frame->GetBitmap());
  vcl::TMemoryDC dc(CreateCompatibleDC(nullptr));
  vcl::TSelectObject sel(dc.Get(), copy.Handle());
  frame->ColorMap()->ImportDIBColors(dc.Get());
  EXPECT_EQ(frame->ColorMap()->Count(), 256) << "the DIB's whole table";
  EXPECT_EQ(frame->ColorMap()->GetColor(7), 7 | 14 << 8 | 21 << 16);
}

TEST(GIFRender, LargeFramesRenderAsEightBitToo) {
  // 1000 x 600 is above the 500000 pixels where the blank bitmap starts as 1 bpp.
  std::string stream = Header(1000, 600, 1) + Descriptor(0, 0, 1000, 600) + ImageData(2, {4, 2, 5}) + ";";
  auto r = Load(stream);
  vcl::TBitmap* bitmap = r->Frame(0)->GetBitmap();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->PixelFormat(), vcl::pf8bit);
  EXPECT_EQ(static_cast<std::uint8_t*>(bitmap->ScanLine(0))[0], 2);
  EXPECT_EQ(static_cast<std::uint8_t*>(bitmap->ScanLine(599))[999], 0);
}

TEST(GIFRender, RenderOnLoad) {
  GIFImageRenderOnLoad = true;
  std::vector<bool> redraws;
  TGIFImage image;
  image.SetOnProgress([&](vcl::TObject* s, vcl::TProgressStage st, std::uint8_t, bool redraw, const vcl::TRect&,
                          const std::wstring& text) {
    if (st == vcl::psRunning && text == L"Loading...") redraws.push_back(redraw);
  });
  vcl::TStringStream s(Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");
  image.LoadFromStream(s);
  GIFImageRenderOnLoad = false;
  EXPECT_TRUE(image.Images()->GetImage(0)->HasBitmap());
  EXPECT_EQ(redraws, std::vector<bool>({true}));
}

// The Windows side of the fuzzing: the corpus and deterministic mutations of it are loaded and
// every frame rendered. Whatever happens must be a framework exception or a result.
TEST(GIFRender, MutatedFilesLoadAndRenderOrFailCleanly) {
  std::vector<std::string> files;
  for (const std::string& name : CorpusFiles()) {
    std::string bytes = ReadTestFile(name);
    if (bytes.size() <= 20000) files.push_back(bytes);
  }
  ASSERT_FALSE(files.empty());
  std::uint32_t state = 12345;
  auto next = [&] { return state = state * 1664525u + 1013904223u; };
  int rendered = 0;
  for (int iteration = 0; iteration < 1500; ++iteration) {
    std::string bytes = files[next() % files.size()];
    if (iteration >= static_cast<int>(files.size())) {
      int edits = 1 + static_cast<int>(next() % 8);
      for (int e = 0; e < edits && !bytes.empty(); ++e) {
        size_t at = next() % bytes.size();
        switch (next() % 4) {
          case 0: bytes[at] = static_cast<char>(next()); break;
          case 1: bytes[at] ^= static_cast<char>(1 << (next() % 8)); break;
          case 2: bytes.erase(at, 1 + next() % 16); break;
          default: bytes.resize(at); break;
        }
      }
    }
    TGIFImage image;
    vcl::TStringStream s(bytes);
    try {
      image.LoadFromStream(s);
    } catch (const vcl::Exception&) {
    }
    for (int i = 0; i < image.Images()->Count(); ++i) {
      try {
        if (image.Images()->GetImage(i)->GetBitmap()) ++rendered;
        image.Images()->GetImage(i)->HasMask();
      } catch (const vcl::Exception&) {
      }
    }
    vcl::TBitmap target;
    try {
      target.Assign(&image);
    } catch (const vcl::Exception&) {
    }
  }
  EXPECT_GT(rendered, 400);
}

TEST(GIFRender, ClipboardFormsAreNotImplemented) {
  auto r = Load(Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");
  UINT format = 0;
  HANDLE data = nullptr;
  HPALETTE palette = nullptr;
  EXPECT_THROW(r->Image->SaveToClipboardFormat(format, data, palette), vcl::EAbstractError);
  EXPECT_THROW(r->Image->LoadFromClipboardFormat(CF_BITMAP, nullptr, nullptr), vcl::EAbstractError);
  EXPECT_EQ(CF_GIF, 0) << "no clipboard format is registered for GIF images";
  EXPECT_FALSE(r->Image->Equals(Load(Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";")->Image.get()));
  EXPECT_TRUE(r->Image->Equals(r->Image.get()));
}
