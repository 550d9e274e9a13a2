// libFuzzer target: TGIFImage.LoadFromStream over arbitrary bytes, then every frame's pixels and
// maps read back. The reader's own errors (GIFException) and the framework errors it passes on
// (an abstract application data reader, out of memory) are outcomes; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gif/KXGIFImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrix::TGIFImage image;
  unsigned warnings = 0;
  image.SetOnWarning([&](vcl::TObject*, kestrix::TGIFSeverity, const std::wstring&) { ++warnings; });
  vcl::TStringStream stream(std::string(reinterpret_cast<const char*>(data), size));
  try {
    image.LoadFromStream(stream);
  } catch (const vcl::Exception&) {
  }
  unsigned sum = warnings + image.GetVersion() + static_cast<unsigned>(image.GetIsTransparent());
  for (int i = 0; i < image.Images()->Count(); ++i) {
    kestrix::TGIFSubImage* frame = image.Images()->GetImage(i);
    for (int p = 0; p < frame->DataSize(); ++p) sum += frame->Data()[p];
    kestrix::TGIFColorMap* map = frame->GetActiveColorMap();
    if (map->Count() > 0) sum += static_cast<unsigned>(map->GetColor(map->Count() - 1));
    sum += frame->GetVersion() + static_cast<unsigned>(frame->Extensions()->Count());
  }
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
