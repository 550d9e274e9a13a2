#include "gif/KXGIFLZW.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "gif/KXGIFConsts.h"

namespace kestrix::gifdetail {

namespace {

enum : int {
  kMaxCodes = 4096,        // 12-bit codes
  kMaxMinCodeSize = 11,    // ClearCode + 2 must still fit the table
  kStringSize = 8192,      // twice the longest string a sound table can hold
  kCarry = 2,              // bytes carried over from the previous sub-block
  kBufferSize = kCarry + 255 + 8,  // plus room for a wide read past the last byte
};

static_assert(std::endian::native == std::endian::little, "the bit reader loads little-endian words");

// The code table: prefix and last pixel of every entry, with the length and first pixel of its
// string (valid while no entry refers forward).
struct TCodeTable {
  std::uint16_t Prefix[kMaxCodes];
  std::uint8_t Suffix[kMaxCodes];
  std::uint16_t Length[kMaxCodes];
  std::uint8_t First[kMaxCodes];

  // Writes the string of code back to front into dst[0, Length[code]).
  void Write(std::uint8_t* dst, int code, int clear) const {
    std::uint8_t* p = dst + Length[code] - 1;
    while (code >= clear) {
      *p-- = Suffix[code];
      code = Prefix[code];
    }
    *p = Suffix[code];
  }

  void Append(int at, int prefix, int last) {
    Prefix[at] = static_cast<std::uint16_t>(prefix);
    Suffix[at] = static_cast<std::uint8_t>(last);
    Length[at] = static_cast<std::uint16_t>(Length[prefix] + 1);
    First[at] = First[prefix];
  }
};

// Counts the entry just added; codes grow by a bit when the next one would not fit.
inline void CountEntry(int& nextFree, int& maxCode, int& codeSize) {
  ++nextFree;
  if (nextFree >= maxCode && maxCode < kMaxCodes) {
    maxCode *= 2;
    ++codeSize;
  }
}

// Decoder state of one frame. Strings are written straight into the frame: while no table entry
// refers forward (the normal case) every code keeps its string length and first pixel, so its
// string is written back to front in place. A corrupt stream can make an entry's prefix a code
// not defined yet; from then until the next clear code strings are expanded through a bounded
// stack exactly as the table says, which also catches prefix cycles.
class TLZWDecoder {
 public:
  TLZWDecoder(vcl::TStream& stream, const TGIFFrameBuffer& frame, TGIFDecoderWarnings& warnings)
      : FStream(stream), FFrame(frame), FWarnings(warnings) {}

  void Run();

 private:
  void InitTables();
  void ResetTable();
  int FetchCode();
  bool Refill();
  void SkipSubBlocks();
  // Reads and expands one code; false when decoding ends (no more data or the end code).
  bool Step(bool emit);
  // Decodes codes for as long as each is an ordinary one: bits at hand, no clear or end code, no
  // forward reference, a string that ends inside the current row. Stops before any other code,
  // which Step then takes; state lives in locals meanwhile, out of reach of the pixel stores.
  void FastRun();
  // Expands Code through the table into the string buffer, as the table says; returns its start.
  std::uint8_t* ExpandSlow(int code, int& firstChar);

  void StartRows();
  bool NextRow();
  void EmitPixel(std::uint8_t value);
  void EmitString(const std::uint8_t* s, size_t n);

  vcl::TStream& FStream;
  const TGIFFrameBuffer& FFrame;
  TGIFDecoderWarnings& FWarnings;

  // Code table.
  int FMinCodeSize = 0, FCodeSize = 0, FClearCode = 0, FEndCode = 0, FMaxCode = 0, FNextFree = 0;
  int FHighWater = 0;  // entries at and above it still hold their initial values
  int FOldCode = 0, FFirstChar = 0;
  bool FForwardRefs = false;
  TCodeTable FTable;
  std::uint8_t FString[kStringSize];

  // Bit reader.
  std::uint8_t FBuffer[kBufferSize] = {};
  int FBufferEnd = kCarry, FBitPos = 0, FBitCount = 0;
  bool FDataEnded = false, FFirstCall = true;

  // Output position.
  std::uint8_t* FOut = nullptr;
  std::uint8_t* FRowEnd = nullptr;
  int FRow = 0, FPass = 0, FStep = 8, FRowsLeft = 0;
  bool FComplete = false;
  size_t FPending = 0;  // pixels of the last string beyond the end of the frame
};

void TLZWDecoder::Run() {
  const size_t total = static_cast<size_t>(FFrame.Width) * static_cast<size_t>(FFrame.Height);
  // Interlaced rows arrive out of order, so their fill goes first; otherwise it follows the data.
  if (FFrame.Interlaced && total) std::memset(FFrame.Pixels, FFrame.Fill, total);
  std::uint8_t minCodeSize = 0;
  if (!ReadByte(FStream, minCodeSize)) {
    if (total) std::memset(FFrame.Pixels, FFrame.Fill, total);
    return;
  }
  if (minCodeSize > kMaxMinCodeSize) throw GIFException(res::sGIFInvalidCodeSize);
  FMinCodeSize = minCodeSize;
  FClearCode = 1 << FMinCodeSize;
  FEndCode = FClearCode + 1;
  FCodeSize = FMinCodeSize + 1;
  FMaxCode = 2 * FClearCode;
  FNextFree = FClearCode + 2;
  InitTables();
  StartRows();
  while (!FComplete) {
    if (!FFirstCall && !FForwardRefs) FastRun();
    if (FComplete || !Step(true)) break;
  }
  if (!FFrame.Interlaced && !FComplete) std::fill(FOut, FRowEnd, FFrame.Fill);
  // After a complete frame the next code is normally the end code, which moves the stream past
  // the terminator sub-block. After early ends no more is read: that code could be anything.
  if (FComplete && FPending == 0) Step(false);
}

void TLZWDecoder::InitTables() {
  // Literals stand for themselves; every other entry reads as undefined: the string of code 0
  // followed by 0.
  std::fill_n(FTable.Prefix, kMaxCodes, 0);
  std::fill_n(FTable.Suffix, kMaxCodes, 0);
  std::fill_n(FTable.Length, kMaxCodes, 2);
  std::fill_n(FTable.First, kMaxCodes, 0);
  for (int i = 0; i < FClearCode; ++i) {
    FTable.Suffix[i] = FTable.First[i] = static_cast<std::uint8_t>(i);
    FTable.Length[i] = 1;
  }
  FHighWater = FNextFree;
}

void TLZWDecoder::ResetTable() {
  const int from = FClearCode + 2, count = std::max(0, FHighWater - from);
  std::fill_n(FTable.Prefix + from, count, 0);
  std::fill_n(FTable.Suffix + from, count, 0);
  std::fill_n(FTable.Length + from, count, 2);
  std::fill_n(FTable.First + from, count, 0);
  FCodeSize = FMinCodeSize + 1;
  FMaxCode = 2 * FClearCode;
  FNextFree = FClearCode + 2;
  FHighWater = FNextFree;
  FForwardRefs = false;
}

int TLZWDecoder::FetchCode() {
  if (FFirstCall) {
    FFirstCall = false;
    return FClearCode;
  }
  if (FBitPos + FCodeSize >= FBitCount && !Refill()) return -1;
  std::uint32_t word;
  std::memcpy(&word, FBuffer + (FBitPos >> 3), sizeof word);
  int code = static_cast<int>((word >> (FBitPos & 7)) & ((1u << FCodeSize) - 1));
  FBitPos += FCodeSize;
  return code;
}

bool TLZWDecoder::Refill() {
  if (FDataEnded) {
    if (FBitPos >= FBitCount) FWarnings.DecoderWarning(res::sGIFBitBufferUnderrun);
    return false;
  }
  FBuffer[0] = FBuffer[FBufferEnd - 2];
  FBuffer[1] = FBuffer[FBufferEnd - 1];
  std::uint8_t length = 0;
  if (!ReadByte(FStream, length)) return false;
  if (length == 0) {
    FDataEnded = true;
  } else {
    std::int64_t remaining = FStream.Size() - FStream.Position();
    if (remaining < length) {
      FWarnings.DecoderWarning(res::sGIFPrematureEnd);
      length = static_cast<std::uint8_t>(std::max<std::int64_t>(remaining, 0));
    }
    if (length > 0) ReadExact(FStream, FBuffer + kCarry, length);
  }
  FBufferEnd = length + kCarry;
  FBitPos = FBitPos - FBitCount + 8 * kCarry;
  FBitCount = 8 * FBufferEnd;
  return true;
}

void TLZWDecoder::SkipSubBlocks() {
  std::uint8_t length = 0;
  while (ReadByte(FStream, length) && length != 0) FStream.Seek(length, vcl::soCurrent);
}

std::uint8_t* TLZWDecoder::ExpandSlow(int code, int& firstChar) {
  std::uint8_t* const begin = FString;
  std::uint8_t* p = FString + kStringSize;
  if (code >= FNextFree) {
    *--p = static_cast<std::uint8_t>(FFirstChar);
    code = FOldCode;
  }
  while (code >= FClearCode) {
    // No acyclic chain comes near the buffer's size: running out of it means a cycle.
    if (p == begin) throw GIFException(res::sGIFCircularTableEntry);
    *--p = FTable.Suffix[code];
    if (FTable.Prefix[code] == code) throw GIFException(res::sGIFCircularTableEntry);
    code = FTable.Prefix[code];
  }
  if (p == begin) throw GIFException(res::sGIFCircularTableEntry);
  firstChar = FTable.Suffix[code];
  *--p = static_cast<std::uint8_t>(firstChar);
  return p;
}

bool TLZWDecoder::Step(bool emit) {
  int code = FetchCode();
  if (code < 0) return false;
  if (code == FClearCode) {
    ResetTable();
    do {
      FFirstChar = FetchCode();
      FOldCode = FFirstChar;
    } while (FFirstChar == FClearCode);
    if (FFirstChar < 0) return false;
    // The first code after a clear is a pixel value as it stands, whatever its range.
    if (emit) EmitPixel(static_cast<std::uint8_t>(FFirstChar));
    return true;
  }
  if (code == FEndCode) {
    if (!FDataEnded) SkipSubBlocks();
    return false;
  }

  const bool selfDefined = code >= FNextFree;  // the string this very code is about to define
  int firstChar;
  if (FForwardRefs) {
    std::uint8_t* s = ExpandSlow(code, firstChar);
    if (emit) EmitString(s, static_cast<size_t>(FString + kStringSize - s));
  } else {
    const int base = selfDefined ? FOldCode : code;
    firstChar = FTable.First[base];
    if (emit) {
      const size_t n = FTable.Length[base] + (selfDefined ? 1u : 0u);
      const bool fits = n <= static_cast<size_t>(FRowEnd - FOut);
      std::uint8_t* s = fits ? FOut : FString + kStringSize - n;
      FTable.Write(s, base, FClearCode);
      if (selfDefined) s[n - 1] = static_cast<std::uint8_t>(FFirstChar);
      if (fits) {
        FOut += n;
        if (FOut == FRowEnd) NextRow();
      } else {
        EmitString(s, n);
      }
    }
  }

  if (FNextFree < kMaxCodes) {
    // An entry whose prefix is not defined yet changes meaning later: strings can no longer be
    // cached from here to the next clear code.
    if (FOldCode >= FNextFree) FForwardRefs = true;
    FTable.Append(FNextFree, FOldCode, firstChar);
    CountEntry(FNextFree, FMaxCode, FCodeSize);
    FHighWater = std::max(FHighWater, FNextFree);
  }
  FOldCode = code;
  FFirstChar = firstChar;
  return true;
}

void TLZWDecoder::FastRun() {
  const int clear = FClearCode;
  const int bitCount = FBitCount;
  const std::uint8_t* const buffer = FBuffer;
  TCodeTable& table = FTable;
  std::uint8_t* const rowEnd = FRowEnd;
  std::uint8_t* out = FOut;
  int bitPos = FBitPos, codeSize = FCodeSize, nextFree = FNextFree, maxCode = FMaxCode;
  int oldCode = FOldCode, firstChar = FFirstChar;
  for (;;) {
    if (bitPos + codeSize >= bitCount) break;
    std::uint32_t word;
    std::memcpy(&word, buffer + (bitPos >> 3), sizeof word);
    const int code = static_cast<int>((word >> (bitPos & 7)) & ((1u << codeSize) - 1));
    if (code == clear || code == clear + 1) break;
    if (oldCode >= nextFree && nextFree < kMaxCodes) break;  // this code's entry would refer forward
    const bool selfDefined = code >= nextFree;
    const int base = selfDefined ? oldCode : code;
    const int n = table.Length[base] + (selfDefined ? 1 : 0);
    if (n >= rowEnd - out) break;
    bitPos += codeSize;

    table.Write(out, base, clear);
    if (selfDefined) out[n - 1] = static_cast<std::uint8_t>(firstChar);
    out += n;
    const int newFirst = table.First[base];
    if (nextFree < kMaxCodes) {
      table.Append(nextFree, oldCode, newFirst);
      CountEntry(nextFree, maxCode, codeSize);
    }
    oldCode = code;
    firstChar = newFirst;
  }
  FOut = out;
  FBitPos = bitPos;
  FCodeSize = codeSize;
  FNextFree = nextFree;
  FHighWater = std::max(FHighWater, nextFree);
  FMaxCode = maxCode;
  FOldCode = oldCode;
  FFirstChar = firstChar;
}

void TLZWDecoder::StartRows() {
  const size_t width = static_cast<size_t>(FFrame.Width);
  FOut = FFrame.Pixels;
  if (FFrame.Width == 0 || FFrame.Height == 0) {
    FRowEnd = FOut;
    FComplete = true;
  } else if (FFrame.Interlaced) {
    FRowEnd = FOut + width;
    FRowsLeft = FFrame.Height - 1;
  } else {
    FRowEnd = FOut + width * static_cast<size_t>(FFrame.Height);
  }
}

// Moves to the next row in interlace order: every 8th row from 0, every 8th from 4, every 4th
// from 2, every 2nd from 1. False, and the frame complete, when no row is left.
bool TLZWDecoder::NextRow() {
  if (FRowsLeft == 0) {
    FComplete = true;
    return false;
  }
  --FRowsLeft;
  FRow += FStep;
  while (FRow >= FFrame.Height) {
    if (FPass > 0) FStep /= 2;
    ++FPass;
    FRow = FStep / 2;
  }
  FOut = FFrame.Pixels + static_cast<size_t>(FRow) * static_cast<size_t>(FFrame.Width);
  FRowEnd = FOut + FFrame.Width;
  return true;
}

inline void TLZWDecoder::EmitPixel(std::uint8_t value) {
  *FOut++ = value;
  if (FOut == FRowEnd) NextRow();
}

void TLZWDecoder::EmitString(const std::uint8_t* s, size_t n) {
  while (n > 0) {
    size_t k = std::min(n, static_cast<size_t>(FRowEnd - FOut));
    std::memcpy(FOut, s, k);
    FOut += k;
    s += k;
    n -= k;
    if (FOut == FRowEnd && !NextRow()) {
      FPending = n;
      return;
    }
  }
}

}  // namespace

void DecodeLZW(vcl::TStream& Stream, const TGIFFrameBuffer& Frame, TGIFDecoderWarnings& Warnings) {
  TLZWDecoder decoder(Stream, Frame, Warnings);
  decoder.Run();
}

}  // namespace kestrix::gifdetail
