// Decodes GIF files with this reader, giflib and stb_image in one run and prints the throughput of
// each in megapixels of decoded pixels per second, per file and as median ratios. Files come from
// the folders and files named on the command line; truncated test files ("trunc_*") are skipped.
//
// What each decoder does per run: this reader loads the whole stream into its object tree (index
// buffers of every frame); giflib reads every frame with DGifSlurp (index buffers); stb_image
// composes every frame onto the logical screen as RGBA. The pixel count is the decoded frame
// areas for the first two and the composed screen areas for stb_image.
#include <gif_lib.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gif/KXGIFImage.h"

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

// Each returns the number of pixels decoded, or -1 when the decoder refused the file.
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

// Megapixels per second: the best of repeated runs, repeated for at least a fifth of a second.
double Throughput(long long (*decode)(const std::string&), const std::string& bytes) {
  long long pixels = decode(bytes);
  if (pixels <= 0) return 0;
  double best = 1e9;
  auto start = Clock::now();
  int runs = 0;
  while (runs < 3 || Clock::now() - start < std::chrono::milliseconds(200)) {
    auto t0 = Clock::now();
    decode(bytes);
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    ++runs;
  }
  return static_cast<double>(pixels) / best / 1e6;
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<TFile> files = Collect(argc, argv);
  if (files.empty()) {
    std::fprintf(stderr, "usage: gif_bench FOLDER-OR-FILE...\n");
    return 2;
  }
  std::printf("%-34s %9s %8s | %9s %9s %9s | %7s %7s\n", "file", "bytes", "Mpx", "ours", "giflib", "stb", "/giflib",
              "/stb");
  std::printf("%-34s %9s %8s | %9s %9s %9s | %7s %7s\n", "", "", "", "Mpx/s", "Mpx/s", "Mpx/s", "ratio", "ratio");
  std::vector<double> vsGiflib, vsStb, vsGiflibLarge;
  for (const TFile& f : files) {
    long long pixels = DecodeOurs(f.Bytes);
    double ours = Throughput(DecodeOurs, f.Bytes);
    double giflib = Throughput(DecodeGiflib, f.Bytes);
    double stb = Throughput(DecodeStb, f.Bytes);
    double rg = giflib > 0 ? ours / giflib : 0, rs = stb > 0 ? ours / stb : 0;
    if (rg > 0) vsGiflib.push_back(rg);
    if (rg > 0 && pixels >= 100000) vsGiflibLarge.push_back(rg);
    if (rs > 0) vsStb.push_back(rs);
    std::printf("%-34.34s %9zu %8.3f | %9.1f %9.1f %9.1f | %7.2f %7.2f\n", f.Name.c_str(), f.Bytes.size(),
                static_cast<double>(std::max(pixels, 0LL)) / 1e6, ours, giflib, stb, rg, rs);
  }
  std::printf("\nmedian ratio, this reader / giflib:    %.2f over %zu files (%.2f over the %zu of 100000 pixels or more)\n",
              Median(vsGiflib), vsGiflib.size(), Median(vsGiflibLarge), vsGiflibLarge.size());
  std::printf("median ratio, this reader / stb_image: %.2f over %zu files\n", Median(vsStb), vsStb.size());
  return 0;
}
