#pragma once
// Shared by the GIF reader's tests, in the Windows build and in the native one: hand-built GIF
// streams, loading with the warnings collected, and the corpus of test files.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gif/KXGIFImage.h"

namespace giftest {

inline std::string TestDataFolder() { return std::string(KX_TEST_DATA_DIR) + "/gif/"; }

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string ReadTestFile(const std::string& name) { return ReadFileBytes(TestDataFolder() + name); }

// Every .gif of the corpus, sorted by name.
inline std::vector<std::string> CorpusFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TestDataFolder()))
    if (entry.path().extension() == ".gif") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

inline std::string Le16(int v) { return Bytes({v & 0xFF, (v >> 8) & 0xFF}); }

// Codes packed least significant bit first at the widths the decoder reads them with.
inline std::string PackCodes(int minCodeSize, const std::vector<int>& codes) {
  const int clear = 1 << minCodeSize;
  int size = minCodeSize + 1, next = clear + 2, max = 2 * clear;
  bool first = true;
  std::string out;
  std::uint32_t acc = 0;
  int bits = 0;
  for (int code : codes) {
    acc |= static_cast<std::uint32_t>(code & ((1 << size) - 1)) << bits;
    bits += size;
    while (bits >= 8) {
      out.push_back(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      bits -= 8;
    }
    if (code == clear) {
      size = minCodeSize + 1;
      next = clear + 2;
      max = 2 * clear;
      first = true;
    } else if (code != clear + 1) {
      if (first) {
        first = false;
      } else if (next < 4096) {
        ++next;
        if (next >= max && max < 4096) {
          max *= 2;
          ++size;
        }
      }
    }
  }
  if (bits) out.push_back(static_cast<char>(acc & 0xFF));
  return out;
}

// Data split into sub-blocks of at most blockSize bytes, with the terminator when asked.
inline std::string SubBlocks(const std::string& data, size_t blockSize = 255, bool terminator = true) {
  std::string out;
  for (size_t i = 0; i < data.size(); i += blockSize) {
    size_t n = std::min(blockSize, data.size() - i);
    out.push_back(static_cast<char>(n));
    out += data.substr(i, n);
  }
  if (terminator) out.push_back('\0');
  return out;
}

// Image data: the minimum code size byte, then the codes in sub-blocks.
inline std::string ImageData(int minCodeSize, const std::vector<int>& codes) {
  return std::string(1, static_cast<char>(minCodeSize)) + SubBlocks(PackCodes(minCodeSize, codes));
}

// A colour table of 2 << bits entries: entry i = (i, 2i, 3i).
inline std::string ColorTable(int bits) {
  std::string s;
  for (int i = 0; i < (2 << bits); ++i) s += Bytes({i & 0xFF, (2 * i) & 0xFF, (3 * i) & 0xFF});
  return s;
}

// Signature, logical screen descriptor and, for tableBits >= 0, a global colour table.
inline std::string Header(int width, int height, int tableBits = 1, int background = 0, int aspect = 0,
                          const char* signature = "GIF89a") {
  std::string s = signature;
  s += Le16(width) + Le16(height);
  s += Bytes({tableBits >= 0 ? 0x80 | 0x70 | tableBits : 0, background, aspect});
  if (tableBits >= 0) s += ColorTable(tableBits);
  return s;
}

inline std::string Descriptor(int left, int top, int width, int height, int packed = 0) {
  return "," + Le16(left) + Le16(top) + Le16(width) + Le16(height) + Bytes({packed});
}

inline std::string GraphicControl(int packed, int delay, int transparentIndex, int blockSize = 4) {
  return Bytes({0x21, 0xF9, blockSize, packed}) + Le16(delay) + Bytes({transparentIndex, 0});
}

// A frame of 1-pixel codes (every pixel its own literal, with a clear code first and an end code last).
inline std::string LiteralFrame(int width, int height, const std::vector<int>& pixels, int minCodeSize = 2,
                                int packed = 0) {
  std::vector<int> codes{1 << minCodeSize};
  for (int p : pixels) codes.push_back(p);
  codes.push_back((1 << minCodeSize) + 1);
  return Descriptor(0, 0, width, height, packed) + ImageData(minCodeSize, codes);
}

struct TLoad {
  std::unique_ptr<kestrix::TGIFImage> Image = std::make_unique<kestrix::TGIFImage>();
  std::vector<std::wstring> Warnings;
  std::wstring Error;  // the GIFException's message, empty when the load succeeded
  std::int64_t Position = 0;

  kestrix::TGIFSubImage* Frame(int i) const { return Image->Images()->GetImage(i); }
  std::vector<std::uint8_t> Pixels(int i) const {
    auto* f = Frame(i);
    return std::vector<std::uint8_t>(f->Data(), f->Data() + f->DataSize());
  }
};

inline std::unique_ptr<TLoad> Load(const std::string& bytes) {
  auto result = std::make_unique<TLoad>();
  TLoad* r = result.get();
  r->Image->SetOnWarning(
      [r](vcl::TObject*, kestrix::TGIFSeverity, const std::wstring& message) { r->Warnings.push_back(message); });
  vcl::TStringStream stream(bytes);
  try {
    r->Image->LoadFromStream(stream);
  } catch (const kestrix::GIFException& e) {
    r->Error = e.Message();
  }
  r->Position = stream.Position();
  return result;
}

using Warnings = std::vector<std::wstring>;

}  // namespace giftest
