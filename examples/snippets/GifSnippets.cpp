// Short examples of the GIF reader, for the guide in docs/. They are compiled with the other
// examples, so that the guide cannot drift from the library, but never run: each function stands
// for a part of an application.
#include <windows.h>

#include <cstdint>
#include <string>

#include <kestrix/framework/ExtCtrlsImage.h>
#include <kestrix/framework/Streams.h>
#include <kestrix/gif/KXGIFImage.h>

using namespace kestrix;

namespace snippets {

void ShowFirstFrame(vcl::TImage* image, const std::wstring& file, vcl::TStrings& log) {
  // [snippet:gif-load]
  TGIFImage gif;
  gif.SetOnWarning([&](vcl::TObject*, TGIFSeverity, const std::wstring& message) { log.Add(L"warning: " + message); });
  try {
    gif.LoadFromFile(file);
  } catch (const GIFException& e) {  // the frames read before the error stay
    log.Add(L"error: " + e.Message());
  }
  log.Add(std::to_wstring(gif.Width()) + L" x " + std::to_wstring(gif.Height()) + L", " +
          std::to_wstring(gif.Images()->Count()) + L" frames");
  image->Picture()->Bitmap()->Assign(&gif);  // the first frame as a bitmap (empty without frames)
  // [end]
}

void ShowInImage(vcl::TImage* image, const std::wstring& file) {
  // [snippet:gif-picture]
  vcl::TPicture::RegisterFileFormat<TGIFImage>(L"gif", L"GIF image");  // once, at start-up
  image->Picture()->LoadFromFile(file);  // the picture now holds a TGIFImage and draws its first frame
  // [end]
}

void DrawFrames(TGIFImage& gif, vcl::TCanvas* canvas) {
  // [snippet:gif-frames]
  for (int i = 0; i < gif.Images()->Count(); ++i) {
    TGIFSubImage* frame = gif.Images()->GetImage(i);
    if (frame->GetEmpty()) continue;
    TGIFGraphicControlExtension* control = frame->GraphicControlExtension();  // nil when absent
    const int delayMs = control ? control->Delay() * 10 : 0;
    canvas->Draw(frame->Left(), frame->Top(), frame->GetBitmap());  // 8-bit, owned by the frame
    Sleep(delayMs);  // frame->Mask() marks the transparent pixels (bit 1)
  }
  // [end]
}

bool ReadUpload(const std::string& bytes, TGIFImage& gif) {
  // [snippet:gif-untrusted]
  GIFMaxImagePixels = std::int64_t(1) << 24;  // all frames together; the default is 2^30
  vcl::TStringStream stream(bytes);
  try {
    gif.LoadFromStream(stream);
  } catch (const GIFException&) {
    return false;  // too large or malformed
  }
  return gif.Images()->Count() > 0;
  // [end]
}

}  // namespace snippets
