#pragma once
// A second LZW decoder for comparisons: the algorithm transcribed step by step, one pixel at a
// time through a stack, with no shortcut. It shares the reader's decisions where the algorithm
// leaves a choice: a minimum code size above 11 and a full stack (a prefix cycle) raise, and the
// extra code after the frame is read only after a complete frame.
#include <cstdint>
#include <string>
#include <vector>

#include "gif/KXGIFConsts.h"
#include "gif/KXGIFImage.h"

namespace giftest {

struct TReferenceResult {
  std::vector<std::uint8_t> Pixels;
  std::vector<std::wstring> Warnings;
  std::wstring Error;
  std::int64_t Position = 0;
};

class TReferenceDecoder {
 public:
  // Data starts with the minimum code size byte; the stream may continue after the image data.
  static TReferenceResult Decode(const std::string& data, int width, int height, bool interlaced, std::uint8_t fill) {
    TReferenceDecoder d(data);
    TReferenceResult r;
    r.Pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
    try {
      d.Decompress(r.Pixels, width, height, interlaced);
    } catch (const kestrix::GIFException& e) {
      r.Error = e.Message();
    }
    r.Warnings = d.FWarnings;
    r.Position = d.FStream.Position();
    return r;
  }

 private:
  explicit TReferenceDecoder(const std::string& data) : FStream(data) {}

  void Decompress(std::vector<std::uint8_t>& pixels, int width, int height, bool interlaced) {
    std::uint8_t b;
    if (FStream.Read(&b, 1) != 1) return;
    MinCodeSize = b;
    if (MinCodeSize > 11) throw kestrix::GIFException(kestrix::res::sGIFInvalidCodeSize);
    CodeSize = MinCodeSize + 1;
    ClearCode = 1 << MinCodeSize;
    EndCode = ClearCode + 1;
    MaxCode = 2 * ClearCode;
    NextFree = ClearCode + 2;
    bool complete = true;
    if (!interlaced) {
      for (size_t i = 0; i < pixels.size(); ++i) {
        int v = NextPixel();
        if (v < 0) {
          complete = false;
          break;
        }
        pixels[i] = static_cast<std::uint8_t>(v);
      }
    } else {
      int pass = 0, step = 8, row = 0;
      for (int n = 0; n < height && complete; ++n) {
        for (int x = 0; x < width; ++x) {
          int v = NextPixel();
          if (v < 0) {
            complete = false;
            break;
          }
          pixels[static_cast<size_t>(row) * width + x] = static_cast<std::uint8_t>(v);
        }
        row += step;
        while (row >= height) {
          if (pass > 0) step /= 2;
          ++pass;
          row = step / 2;
        }
      }
    }
    if (complete) NextPixel();
  }

  int NextPixel() { return StackTop > 0 ? Stack[--StackTop] : ExpandCode(); }

  void Push(int v) {
    if (StackTop == kStack) throw kestrix::GIFException(kestrix::res::sGIFCircularTableEntry);
    Stack[StackTop++] = v;
  }

  int FetchCode() {
    if (FirstCall) {
      FirstCall = false;
      return ClearCode;
    }
    if (!(BitPos + CodeSize < BitCount)) {
      if (DataEnded) {
        if (BitPos >= BitCount) FWarnings.push_back(kestrix::res::sGIFBitBufferUnderrun);
        return -1;
      }
      Buffer[0] = Buffer[BufferEnd - 2];
      Buffer[1] = Buffer[BufferEnd - 1];
      std::uint8_t l;
      if (FStream.Read(&l, 1) != 1) return -1;
      int length = l;
      if (length == 0) {
        DataEnded = true;
      } else {
        std::int64_t remaining = FStream.Size() - FStream.Position();
        if (remaining < length) {
          FWarnings.push_back(kestrix::res::sGIFPrematureEnd);
          length = static_cast<int>(remaining < 0 ? 0 : remaining);
        }
        if (length > 0 && FStream.Read(Buffer + 2, length) != length)
          throw kestrix::GIFException(kestrix::res::sGIFPrematureEnd);
      }
      BufferEnd = length + 2;
      BitPos = BitPos - BitCount + 16;
      BitCount = 8 * BufferEnd;
    }
    int s = BitPos / 8, e = (BitPos + CodeSize) / 8;
    int value = Buffer[s];
    if (e >= s + 1) value += 256 * Buffer[s + 1];
    if (e >= s + 2) value += 65536 * Buffer[s + 2];
    value = (value >> (BitPos % 8)) & ((1 << CodeSize) - 1);
    BitPos += CodeSize;
    return value;
  }

  int ExpandCode() {
    int code = FetchCode();
    if (code < 0) return code;
    if (code == ClearCode) {
      for (int i = 0; i < 4096; ++i) {
        Prefix[i] = 0;
        Suffix[i] = i < ClearCode ? i : 0;
      }
      CodeSize = MinCodeSize + 1;
      MaxCode = 2 * ClearCode;
      NextFree = ClearCode + 2;
      StackTop = 0;
      do {
        FirstChar = FetchCode();
        OldCode = FirstChar;
      } while (FirstChar == ClearCode);
      return FirstChar;
    }
    if (code == EndCode) {
      if (!DataEnded) {
        std::uint8_t l;
        while (FStream.Read(&l, 1) == 1 && l != 0) FStream.Seek(l, vcl::soCurrent);
      }
      return -2;
    }
    int inCode = code;
    if (code >= NextFree) {
      Push(FirstChar);
      code = OldCode;
    }
    while (code >= ClearCode) {
      Push(Suffix[code]);
      if (Prefix[code] == code) throw kestrix::GIFException(kestrix::res::sGIFCircularTableEntry);
      code = Prefix[code];
    }
    FirstChar = Suffix[code];
    Push(FirstChar);
    if (NextFree <= 4095) {
      Prefix[NextFree] = OldCode;
      Suffix[NextFree] = FirstChar;
      ++NextFree;
      if (NextFree >= MaxCode && MaxCode <= 4095) {
        MaxCode *= 2;
        ++CodeSize;
      }
    }
    OldCode = inCode;
    return Stack[--StackTop];
  }

  static constexpr int kStack = 8192;
  vcl::TStringStream FStream;
  std::vector<std::wstring> FWarnings;
  int MinCodeSize = 0, CodeSize = 0, ClearCode = 0, EndCode = 0, MaxCode = 0, NextFree = 0;
  int Prefix[4096] = {}, Suffix[4096] = {}, Stack[kStack] = {};
  int StackTop = 0, FirstChar = 0, OldCode = 0;
  std::uint8_t Buffer[300] = {};
  int BufferEnd = 2, BitPos = 0, BitCount = 0;
  bool DataEnded = false, FirstCall = true;
};

}  // namespace giftest
