// Compiles the C++ wrapper as an application of another compiler would: C++17, pedantic, warnings
// as errors, nothing of the library but kestrix.h beneath it. Never linked: the calls below only
// make the compiler instantiate what the wrapper's callers instantiate (handlers, deleters, moves).
#include <kestrix/kestrix.hpp>

namespace {

[[maybe_unused]] void Use() {
  kx::Library library;
  (void)kx::DllVersion();
  kx::TextTarget text;
  text.onDrop([](const kx::TextDrop&) {});
  (void)text.lastDrop();
  kx::PictureTarget picture;
  picture.onDrop([](const kx::PictureDrop&) {});
  kx::Bitmap bitmap = picture.copyBitmap();
  kx::Metafile metafile = picture.copyMetafile();
  kx::FileTarget files;
  files.onDrop([](const kx::FileDrop&) {});
  files.onProgress([](std::size_t, std::uint64_t, std::uint64_t, bool&) {});
  (void)files.item(0);
  (void)files.itemResult(0);
  (void)files.readItem(0);
  kx::DataObjectRef data = files.dataObject();
  (void)kx::ListFormats(data.get());
  (void)kx::ListEntries(data.get());
  (void)kx::GetFormat(data.get(), L"1");
  (void)kx::FormatName(1);
  (void)kx::MediumName(1);
  kx::FileSource source;
  source.onContents([](std::size_t, kx::ContentsStream& out) { out.write("x"); });
  source.onAfterDrop([](bool) {});
  kx::Gif gif("", 0);
  (void)gif.frame(0);
  (void)gif.globalPalette();
  kx::TextSource first;
  kx::TextSource moved(std::move(first));
  kx::RunMessageLoop();
}

}  // namespace
