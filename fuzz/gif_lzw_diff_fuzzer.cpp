// libFuzzer target: the LZW decoder against the step-by-step reference decoder of the tests. The
// first four bytes choose the frame (width, height, interlacing, fill value); the rest is image
// data. Any difference in pixels, warnings, error or final stream position aborts. The data is
// decoded a second time by one decoder kept across all inputs, as the frames of an image share one:
// what earlier inputs left in its tables must never show.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "GIFReferenceDecoder.h"
#include "GIFTestSupport.h"
#include "gif/KXGIFLZW.h"

namespace {

struct TCollected final : kestrix::gifdetail::TGIFDecoderWarnings {
  std::vector<std::wstring> Messages;
  void DecoderWarning(const wchar_t* message) override { Messages.emplace_back(message); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int width = data[0], height = data[1] & 0x7F;
  const bool interlaced = (data[1] & 0x80) != 0;
  const bool transparent = (data[2] & 1) != 0;
  const std::uint8_t fill = transparent ? data[3] : 0;
  const std::string stream(reinterpret_cast<const char*>(data + 4), size - 4);

  kestrix::TGIFImage image;
  vcl::TStringStream screen(giftest::Header(65535, 65535, -1) + ";");
  image.LoadFromStream(screen);
  std::vector<std::wstring> warned;
  image.SetOnWarning([&](vcl::TObject*, kestrix::TGIFSeverity, const std::wstring& m) { warned.push_back(m); });
  kestrix::TGIFSubImage frame(&image);
  frame.SetWidth(width);
  frame.SetHeight(height);
  frame.SetInterlaced(interlaced);
  if (transparent) {
    auto* gce = new kestrix::TGIFGraphicControlExtension(&frame);
    frame.Extensions()->Add(gce);
    gce->SetTransparentColorIndex(fill);
    gce->SetTransparent(true);
  }
  vcl::TStringStream in(stream);
  std::wstring error;
  try {
    frame.Decompress(in);
  } catch (const kestrix::GIFException& e) {
    error = e.Message();
  }
  giftest::TReferenceResult ref = giftest::TReferenceDecoder::Decode(stream, width, height, interlaced, fill);
  bool same = error == ref.Error && warned == ref.Warnings && in.Position() == ref.Position;
  if (same && error.empty()) {
    std::vector<std::uint8_t> pixels(frame.Data(), frame.Data() + frame.DataSize());
    same = pixels == ref.Pixels;
  }
  static kestrix::gifdetail::TGIFLZWDecoder shared;
  std::vector<std::uint8_t> again(static_cast<size_t>(width) * static_cast<size_t>(height));
  vcl::TStringStream in2(stream);
  TCollected collected;
  std::wstring error2;
  try {
    shared.Decode(in2, {again.data(), width, height, interlaced, fill}, collected);
  } catch (const kestrix::GIFException& e) {
    error2 = e.Message();
  }
  same = same && error2 == ref.Error && collected.Messages == ref.Warnings && in2.Position() == ref.Position &&
         (!error2.empty() || again == ref.Pixels);
  if (!same) {
    std::fprintf(stderr, "decoders differ (%dx%d%s)\n", width, height, interlaced ? " interlaced" : "");
    std::abort();
  }
  return 0;
}
