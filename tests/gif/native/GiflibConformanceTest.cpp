// Every file of the corpus through this reader and through giflib: wherever giflib reads a file,
// the screen, the colour tables, the frames' geometry, transparency and every decoded index agree.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>

#include "GIFTestSupport.h"

using namespace kestrix;
using namespace giftest;

namespace {

struct TMemoryReader {
  const std::string* Data;
  size_t Position = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int count) {
  auto* reader = static_cast<TMemoryReader*>(gif->UserData);
  size_t n = std::min(static_cast<size_t>(count), reader->Data->size() - reader->Position);
  std::memcpy(buffer, reader->Data->data() + reader->Position, n);
  reader->Position += n;
  return static_cast<int>(n);
}

struct TGiflibFile {
  GifFileType* Gif = nullptr;
  ~TGiflibFile() {
    int error;
    if (Gif) DGifCloseFile(Gif, &error);
  }
};

void ExpectSameMap(const ColorMapObject* theirs, TGIFColorMap* ours, const std::string& where) {
  if (!theirs) {
    EXPECT_EQ(ours->Count(), 0) << where;
    return;
  }
  ASSERT_EQ(ours->Count(), theirs->ColorCount) << where;
  for (int i = 0; i < theirs->ColorCount; ++i) {
    const GifColorType& c = theirs->Colors[i];
    const TGIFColor& o = ours->Data()[i];
    ASSERT_TRUE(o.Red == c.Red && o.Green == c.Green && o.Blue == c.Blue) << where << " entry " << i;
  }
}

}  // namespace

TEST(GiflibConformance, CorpusDecodesAsGiflibDecodesIt) {
  int compared = 0;
  for (const std::string& name : CorpusFiles()) {
    SCOPED_TRACE(name);
    std::string bytes = ReadTestFile(name);
    auto ours = Load(bytes);

    TMemoryReader reader{&bytes};
    TGiflibFile theirs;
    int error = 0;
    theirs.Gif = DGifOpen(&reader, ReadFromMemory, &error);
    if (!theirs.Gif || DGifSlurp(theirs.Gif) != GIF_OK) {
      // Not well formed for giflib (the truncated files): this reader only has to come back.
      continue;
    }
    GifFileType* gif = theirs.Gif;
    EXPECT_TRUE(ours->Error.empty()) << std::string(ours->Error.begin(), ours->Error.end());
    EXPECT_EQ(ours->Image->Width(), gif->SWidth);
    EXPECT_EQ(ours->Image->Height(), gif->SHeight);
    EXPECT_EQ(ours->Image->GetBackgroundColorIndex(), gif->SBackGroundColor);
    ExpectSameMap(gif->SColorMap, ours->Image->GlobalColorMap(), "global map");

    std::vector<TGIFSubImage*> frames;
    for (int i = 0; i < ours->Image->Images()->Count(); ++i)
      if (!ours->Frame(i)->GetEmpty()) frames.push_back(ours->Frame(i));
    ASSERT_EQ(static_cast<int>(frames.size()), gif->ImageCount);
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& saved = gif->SavedImages[i];
      const GifImageDesc& desc = saved.ImageDesc;
      TGIFSubImage* frame = frames[static_cast<size_t>(i)];
      std::string where = "frame " + std::to_string(i);
      EXPECT_EQ(frame->GetBoundsRect(), (vcl::TRect{desc.Left, desc.Top, desc.Left + desc.Width, desc.Top + desc.Height}))
          << where;
      EXPECT_EQ(frame->Interlaced(), desc.Interlace) << where;
      ExpectSameMap(desc.ColorMap, frame->ColorMap(), where + " local map");
      ASSERT_EQ(frame->DataSize(), desc.Width * desc.Height) << where;
      ASSERT_EQ(std::memcmp(frame->Data(), saved.RasterBits, static_cast<size_t>(frame->DataSize())), 0) << where;
      GraphicsControlBlock gcb;
      if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK && frame->GraphicControlExtension()) {
        TGIFGraphicControlExtension* gce = frame->GraphicControlExtension();
        EXPECT_EQ(gce->Delay(), gcb.DelayTime) << where;
        EXPECT_EQ(gce->Disposal(), gcb.DisposalMode) << where;
        EXPECT_EQ(gce->Transparent() ? gce->TransparentColorIndex() : NO_TRANSPARENT_COLOR, gcb.TransparentColor) << where;
      }
    }
    ++compared;
  }
  EXPECT_GE(compared, 40) << "well-formed files compared";
}
