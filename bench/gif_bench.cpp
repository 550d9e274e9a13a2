// Decodes GIF files with this reader, giflib, stb_image and (when built with it) Wuffs in one run
// and prints, per file and as medians, how many times faster this reader is than each peer (the
// peer's time for the whole file over ours), beside our throughput in decoded frame pixels per
// second. Then, for the largest animation, the peak heap each decoder holds while decoding, per
// decoded pixel. Files come from the folders and files named on the command line; truncated test
// files ("trunc_*") are skipped.
//
// What each decoder does per run: this reader loads the whole stream into its object tree (an
// index buffer per frame); giflib reads every frame with DGifSlurp (an index buffer per frame);
// Wuffs decodes every frame to colour indices into one indexed buffer of the logical screen;
// stb_image composes every frame onto the logical screen as RGBA (it offers nothing less). Our
// reader keeps the slabs of long animations' frames (up to 64 MiB) for the next image it loads,
// as it does in an application: from the second run on, their pages are there already.
#include <gif_lib.h>
#include <malloc.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gif/KXGIFImage.h"

#if defined(KX_BENCH_WUFFS)
#include "wuffs-v0.4.c"
#endif

// ---- heap counting: every malloc family call of the process, through glibc's own entry points,
// while a measurement of the heap runs (timed decodes do not pay for the counting) ----

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
bool heapCounting = false;
// Bytes allocated less bytes freed since the measurement began (blocks older than it may be
// freed during it), and the most that has been.
std::int64_t heapNow = 0, heapPeak = 0;

void Counted(void* p) {
  if (!p || !heapCounting) return;
  heapNow += static_cast<std::int64_t>(malloc_usable_size(p));
  heapPeak = std::max(heapPeak, heapNow);
}
void Uncounted(void* p) {
  if (p && heapCounting) heapNow -= static_cast<std::int64_t>(malloc_usable_size(p));
}

// Counts the heap while it lives; Peak() is the most held above what was held when it began.
class THeapMeasurement {
 public:
  THeapMeasurement() {
    heapNow = heapPeak = 0;
    heapCounting = true;
  }
  ~THeapMeasurement() { heapCounting = false; }
  size_t Peak() const { return static_cast<size_t>(heapPeak); }
};
}  // namespace

extern "C" {
void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  Counted(p);
  return p;
}
void* calloc(size_t n, size_t m) {
  void* p = __libc_calloc(n, m);
  Counted(p);
  return p;
}
void* realloc(void* old, size_t n) {
  Uncounted(old);
  void* p = __libc_realloc(old, n);
  Counted(p ? p : old);  // a failed realloc keeps the old block
  return p;
}
void* memalign(size_t a, size_t n) {
  void* p = __libc_memalign(a, n);
  Counted(p);
  return p;
}
void* aligned_alloc(size_t a, size_t n) { return memalign(a, n); }
int posix_memalign(void** out, size_t a, size_t n) {
  *out = memalign(a, n);
  return *out ? 0 : ENOMEM;
}
void free(void* p) {
  Uncounted(p);
  __libc_free(p);
}
}

namespace {

using Clock = std::chrono::steady_clock;

struct TFile {
  std::string Name;
  std::string Bytes;
};

struct TMemoryReader {
  const std::string* Data;
  size_t Position;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int count) {
  auto* reader = static_cast<TMemoryReader*>(gif->UserData);
  size_t n = std::min(static_cast<size_t>(count), reader->Data->size() - reader->Position);
  std::memcpy(buffer, reader->Data->data() + reader->Position, n);
  reader->Position += n;
  return static_cast<int>(n);
}

// Each returns the number of frame pixels decoded, or -1 when the decoder refused the file.
long long DecodeOurs(const std::string& bytes) {
  kestrix::TGIFImage image;
  vcl::TStringStream stream(bytes);
  try {
    image.LoadFromStream(stream);
  } catch (const vcl::Exception&) {
    return -1;
  }
  long long pixels = 0;
  for (int i = 0; i < image.Images()->Count(); ++i) pixels += image.Images()->GetImage(i)->DataSize();
  return pixels;
}

long long DecodeGiflib(const std::string& bytes) {
  TMemoryReader reader{&bytes, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
  if (!gif) return -1;
  long long pixels = -1;
  if (DGifSlurp(gif) == GIF_OK) {
    pixels = 0;
    for (int i = 0; i < gif->ImageCount; ++i)
      pixels += static_cast<long long>(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
  }
  DGifCloseFile(gif, &error);
  return pixels;
}

long long DecodeStb(const std::string& bytes) {
  int* delays = nullptr;
  int width = 0, height = 0, frames = 0, channels = 0;
  stbi_uc* pixels = stbi_load_gif_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()),
                                              &delays, &width, &height, &frames, &channels, 4);
  if (!pixels) return -1;
  stbi_image_free(pixels);
  stbi_image_free(delays);
  return static_cast<long long>(width) * height * frames;
}

#if defined(KX_BENCH_WUFFS)
struct TFreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

long long DecodeWuffs(const std::string& bytes) {
  std::unique_ptr<wuffs_gif__decoder, TFreeDeleter> decoder(wuffs_gif__decoder__alloc());
  if (!decoder) return -1;
  wuffs_base__io_buffer src = wuffs_base__ptr_u8__reader(
      reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data())), bytes.size(), true);
  wuffs_base__image_config config{};
  if (!wuffs_gif__decoder__decode_image_config(decoder.get(), &config, &src).is_ok()) return -1;
  const uint32_t width = wuffs_base__pixel_config__width(&config.pixcfg);
  const uint32_t height = wuffs_base__pixel_config__height(&config.pixcfg);
  wuffs_base__pixel_config__set(&config.pixcfg, WUFFS_BASE__PIXEL_FORMAT__INDEXED__BGRA_BINARY,
                                WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, width, height);
  const size_t pixelBytes = WUFFS_BASE__PIXEL_FORMAT__INDEXED__PALETTE_BYTE_LENGTH + size_t(width) * height;
  std::unique_ptr<uint8_t, TFreeDeleter> pixels(static_cast<uint8_t*>(std::malloc(pixelBytes)));
  const size_t workLength = wuffs_gif__decoder__workbuf_len(decoder.get()).max_incl;
  std::unique_ptr<uint8_t, TFreeDeleter> work(static_cast<uint8_t*>(std::malloc(workLength ? workLength : 1)));
  if (!pixels || !work) return -1;
  wuffs_base__pixel_buffer buffer;
  if (!wuffs_base__pixel_buffer__set_from_slice(&buffer, &config.pixcfg, wuffs_base__make_slice_u8(pixels.get(), pixelBytes))
           .is_ok())
    return -1;
  long long decoded = 0;
  for (;;) {
    wuffs_base__frame_config frame{};
    wuffs_base__status status = wuffs_gif__decoder__decode_frame_config(decoder.get(), &frame, &src);
    if (status.repr == wuffs_base__note__end_of_data) break;
    if (!status.is_ok()) return decoded > 0 ? decoded : -1;
    status = wuffs_gif__decoder__decode_frame(decoder.get(), &buffer, &src, WUFFS_BASE__PIXEL_BLEND__SRC,
                                              wuffs_base__make_slice_u8(work.get(), workLength), nullptr);
    if (!status.is_ok()) return decoded > 0 ? decoded : -1;
    wuffs_base__rect_ie_u32 bounds = wuffs_base__frame_config__bounds(&frame);
    decoded += static_cast<long long>(wuffs_base__rect_ie_u32__width(&bounds)) * wuffs_base__rect_ie_u32__height(&bounds);
  }
  return decoded;
}
#endif

struct TPeer {
  const char* Name;
  long long (*Decode)(const std::string&);
};

const TPeer kPeers[] = {
    {"giflib", DecodeGiflib},
    {"stb", DecodeStb},
#if defined(KX_BENCH_WUFFS)
    {"wuffs", DecodeWuffs},
#endif
};
constexpr size_t kPeerCount = std::size(kPeers);

// This thread's processor time in seconds: on a shared machine it counts only our own work.
double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds of processor time per decode of the whole file for each decoder: the best of repeated
// rounds in which every decoder takes its turn, so that a change in the machine's load touches all
// alike; rounds go on for at least half a second of wall time. 0 for a decoder that refuses the file.
std::vector<double> BestTimes(const std::vector<long long (*)(const std::string&)>& decoders, const std::string& bytes) {
  std::vector<double> best(decoders.size(), 1e9);
  std::vector<bool> works(decoders.size());
  for (size_t i = 0; i < decoders.size(); ++i) works[i] = decoders[i](bytes) > 0;
  auto start = Clock::now();
  for (int round = 0; round < 5 || Clock::now() - start < std::chrono::milliseconds(500); ++round) {
    for (size_t i = 0; i < decoders.size(); ++i) {
      if (!works[i]) continue;
      const double t0 = CpuSeconds();
      decoders[i](bytes);
      best[i] = std::min(best[i], CpuSeconds() - t0);
    }
  }
  for (size_t i = 0; i < decoders.size(); ++i)
    if (!works[i]) best[i] = 0;
  return best;
}

// Peak heap held during one decode, above what was held before it began.
size_t PeakHeap(long long (*decode)(const std::string&), const std::string& bytes) {
  THeapMeasurement heap;
  decode(bytes);
  return heap.Peak();
}

std::vector<TFile> Collect(int argc, char** argv) {
  std::vector<std::filesystem::path> paths;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::directory_iterator(p))
        if (e.path().extension() == ".gif") paths.push_back(e.path());
    } else {
      paths.push_back(p);
    }
  }
  std::sort(paths.begin(), paths.end());
  std::vector<TFile> files;
  for (const auto& p : paths) {
    if (p.filename().string().rfind("trunc_", 0) == 0) continue;
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    files.push_back({p.filename().string(), s.str()});
  }
  return files;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Our reader holds the input in its stream; that copy is the caller's and is made before counting.
// Frames of long animations live in slabs mapped outside the heap: they count as what the image
// holds of them when loaded (whole slabs, though only the pages written are backed by memory).
size_t OurPeak(const TFile& f) {
  vcl::TStringStream stream(f.Bytes);
  const size_t mappedBefore = kestrix::gifdetail::MappedSlabBytes();
  THeapMeasurement heap;
  kestrix::TGIFImage image;
  image.LoadFromStream(stream);
  return heap.Peak() + kestrix::gifdetail::MappedSlabBytes() - mappedBefore;
}

void PrintHeap(const TFile& f, long long pixels) {
  std::printf("\npeak heap while decoding %s (%lld frame pixels), bytes per decoded pixel:\n", f.Name.c_str(), pixels);
  const size_t ours = OurPeak(f);
  std::printf("  %-8s %12zu bytes  %.4f per pixel\n", "ours", ours, static_cast<double>(ours) / static_cast<double>(pixels));
  for (const TPeer& peer : kPeers) {
    const size_t peak = PeakHeap(peer.Decode, f.Bytes);
    std::printf("  %-8s %12zu bytes  %.4f per pixel\n", peer.Name, peak, static_cast<double>(peak) / static_cast<double>(pixels));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<TFile> files = Collect(argc, argv);
  if (files.empty()) {
    std::fprintf(stderr, "usage: gif_bench FOLDER-OR-FILE...\n");
    return 2;
  }
#if !defined(KX_BENCH_WUFFS)
  std::printf("Wuffs not found beside the repository (../shared/peers/wuffs/wuffs-v0.4.c): it is skipped.\n\n");
#endif
  std::printf("%-36s %9s %8s %7s |", "file", "bytes", "Mpx", "Mpx/s");
  for (const TPeer& peer : kPeers) std::printf(" %8s", (std::string("/") + peer.Name).c_str());
  std::printf("\n");
  std::vector<double> ratios[kPeerCount];
  const TFile* largestAnimation = nullptr;
  long long largestPixels = 0;
  for (const TFile& f : files) {
    const long long pixels = DecodeOurs(f.Bytes);
    std::vector<long long (*)(const std::string&)> decoders{DecodeOurs};
    for (const TPeer& peer : kPeers) decoders.push_back(peer.Decode);
    const std::vector<double> times = BestTimes(decoders, f.Bytes);
    const double ours = times[0];
    std::printf("%-36.36s %9zu %8.3f %7.0f |", f.Name.c_str(), f.Bytes.size(), static_cast<double>(std::max(pixels, 0LL)) / 1e6,
                ours > 0 ? static_cast<double>(pixels) / ours / 1e6 : 0.0);
    for (size_t i = 0; i < kPeerCount; ++i) {
      const double peer = times[i + 1];
      const double ratio = ours > 0 && peer > 0 ? peer / ours : 0;
      if (ratio > 0) ratios[i].push_back(ratio);
      std::printf(" %8.2f", ratio);
    }
    std::printf("\n");
    kestrix::TGIFImage image;
    vcl::TStringStream stream(f.Bytes);
    try {
      image.LoadFromStream(stream);
    } catch (const vcl::Exception&) {
    }
    if (image.Images()->Count() > 1 && pixels > largestPixels) {
      largestAnimation = &f;
      largestPixels = pixels;
    }
  }
  std::printf("\nmedian ratio (peer time / our time):");
  for (size_t i = 0; i < kPeerCount; ++i) std::printf("  /%s %.2f", kPeers[i].Name, Median(ratios[i]));
  std::printf("  over %zu files\nlowest ratio:                       ", files.size());
  for (size_t i = 0; i < kPeerCount; ++i)
    std::printf("  /%s %.2f", kPeers[i].Name, ratios[i].empty() ? 0.0 : *std::min_element(ratios[i].begin(), ratios[i].end()));
  std::printf("\n");
  if (largestAnimation) PrintHeap(*largestAnimation, largestPixels);
  return 0;
}
