// The corpus through this reader and through Windows Imaging Component's GIF decoder (Wine's own
// implementation): wherever WIC decodes a file, every frame's size, colours and indices agree.
#include <gtest/gtest.h>
#include <wincodec.h>

#include <algorithm>

#include "GIFTestSupport.h"
#include "framework/ComObj.h"

using namespace kestrix;
using namespace giftest;
using vcl::TComPtr;

namespace {

struct TWicFrame {
  UINT Width = 0, Height = 0;
  std::vector<std::uint8_t> Indices;
  std::vector<WICColor> Colors;
};

// All frames as WIC decodes them; false when WIC refuses the file.
bool DecodeWithWic(IWICImagingFactory* factory, std::string& bytes, std::vector<TWicFrame>& frames) {
  TComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.Put()))) return false;
  if (FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()))))
    return false;
  TComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.Get(), &GUID_ContainerFormatGif, WICDecodeMetadataCacheOnDemand,
                                              decoder.Put())))
    return false;
  UINT count = 0;
  if (FAILED(decoder->GetFrameCount(&count))) return false;
  for (UINT i = 0; i < count; ++i) {
    TComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(i, frame.Put()))) return false;
    TWicFrame f;
    frame->GetSize(&f.Width, &f.Height);
    WICPixelFormatGUID format;
    if (FAILED(frame->GetPixelFormat(&format)) || format != GUID_WICPixelFormat8bppIndexed) return false;
    f.Indices.resize(static_cast<size_t>(f.Width) * f.Height);
    if (!f.Indices.empty() &&
        FAILED(frame->CopyPixels(nullptr, f.Width, static_cast<UINT>(f.Indices.size()), f.Indices.data())))
      return false;
    TComPtr<IWICPalette> palette;
    factory->CreatePalette(palette.Put());
    if (SUCCEEDED(frame->CopyPalette(palette.Get()))) {
      UINT colors = 0;
      palette->GetColorCount(&colors);
      f.Colors.resize(colors);
      palette->GetColors(colors, f.Colors.data(), &colors);
    }
    frames.push_back(std::move(f));
  }
  return true;
}

}  // namespace

TEST(GIFWIC, CorpusDecodesAsWindowsImagingComponentDecodesIt) {
  TComPtr<IWICImagingFactory> factory;
  ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                             factory.PutVoid()),
            S_OK);
  int compared = 0;
  for (const std::string& name : CorpusFiles()) {
    SCOPED_TRACE(name);
    std::string bytes = ReadTestFile(name);
    auto ours = Load(bytes);
    std::vector<TWicFrame> theirs;
    // Wine's decoder goes wrong once the code table is full and no clear code follows (giflib 5.2
    // agrees with this reader there, see the native conformance test); Windows' decoder is not
    // known to. Truncated files are not compared.
    if (name == "table_full_noclear.gif" || name.rfind("trunc_", 0) == 0) continue;
    if (!DecodeWithWic(factory.Get(), bytes, theirs)) continue;
    std::vector<TGIFSubImage*> frames;
    for (int i = 0; i < ours->Image->Images()->Count(); ++i)
      if (!ours->Frame(i)->GetEmpty()) frames.push_back(ours->Frame(i));
    ASSERT_EQ(frames.size(), theirs.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      TGIFSubImage* frame = frames[i];
      ASSERT_EQ(static_cast<UINT>(frame->Width()), theirs[i].Width) << "frame " << i;
      ASSERT_EQ(static_cast<UINT>(frame->Height()), theirs[i].Height) << "frame " << i;
      auto differs = std::mismatch(theirs[i].Indices.begin(), theirs[i].Indices.end(), frame->Data());
      ASSERT_EQ(differs.first, theirs[i].Indices.end())
          << "frame " << i << ": first difference at pixel " << (differs.first - theirs[i].Indices.begin());
      TGIFColorMap* map = frame->GetActiveColorMap();
      // WIC may pad the table; the entries the file defines must agree.
      ASSERT_GE(theirs[i].Colors.size(), static_cast<size_t>(map->Count())) << "frame " << i;
      for (int c = 0; c < map->Count(); ++c) {
        WICColor w = theirs[i].Colors[static_cast<size_t>(c)];
        const TGIFColor& o = map->Data()[c];
        ASSERT_TRUE(o.Red == ((w >> 16) & 0xFF) && o.Green == ((w >> 8) & 0xFF) && o.Blue == (w & 0xFF))
            << "frame " << i << " colour " << c;
      }
      // The rendered bitmap carries the same indices.
      if (frame->GetActiveColorMap()->Count() > 0) {
        vcl::TBitmap* bitmap = frame->GetBitmap();
        ASSERT_NE(bitmap, nullptr);
        for (int y = 0; y < bitmap->Height(); y += std::max(1, bitmap->Height() / 7))
          ASSERT_EQ(std::memcmp(bitmap->ScanLine(y), frame->GetScanline(y), static_cast<size_t>(frame->Width())), 0)
              << "frame " << i << " row " << y;
      }
    }
    ++compared;
  }
  EXPECT_GE(compared, 40);
}
