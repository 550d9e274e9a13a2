#include "gif/KXGIFLZW.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "gif/KXGIFConsts.h"

namespace kestrix::gifdetail {

namespace {

enum : int {
  kMaxCodes = 4096,        // 12-bit codes
  kMaxMinCodeSize = 11,    // ClearCode + 2 must still fit the table
  kChunk = 8,              // bytes copied with one load and one store
  kWide = 16,              // bytes copied at once in long strings
  kStringSize = 8192,      // twice the longest string a sound table can hold
  kCarry = 2,              // bytes carried over from the previous sub-block
  kBufferSize = kCarry + 255 + 8,  // plus room for a wide read past the last byte
};

static_assert(std::endian::native == std::endian::little, "bit words are little-endian");

inline std::uint64_t Load8(const std::uint8_t* at) {
  std::uint64_t bytes;
  std::memcpy(&bytes, at, sizeof bytes);
  return bytes;
}
inline void Store8(std::uint8_t* at, std::uint64_t bytes) { std::memcpy(at, &bytes, sizeof bytes); }

// One entry of the code table. Prefix and Suffix say what the entry is. Src says where its string
// already lies in one piece, Length bytes long: in the frame being decoded (a string the data
// defined: the last string written and the first byte of the next, which follows it) or in the
// literals' row of bytes; null when no such copy is known. Strings are then copied like the
// back-references of other compressors, a chunk at a time, with no chain to follow.
struct TCodeEntry {
  const std::uint8_t* Src;
  std::uint16_t Length;
  std::uint16_t Prefix;
  std::uint8_t Suffix;
};
static_assert(sizeof(TCodeEntry) <= 16);

struct TCodeTable {
  TCodeEntry Entry[kMaxCodes];
  // Byte i is i, with room after the last for a chunk's load: the literals' strings.
  std::uint8_t Literal[256 + kWide];

  TCodeTable() {
    for (int i = 0; i < 256 + kWide; ++i) Literal[i] = static_cast<std::uint8_t>(i);
  }

  // Codes below the clear code stand for their low byte (a minimum code size above 8 makes more).
  void SetLiteral(int code) {
    const auto byte = static_cast<std::uint8_t>(code);
    Entry[code] = TCodeEntry{Literal + byte, 1, 0, byte};
  }

  // What an entry holds before the data defines it: the string of code 0 followed by 0.
  void SetUndefined(int from, int to) {
    std::fill(Entry + from, Entry + to, TCodeEntry{nullptr, 2, 0, 0});
  }
};

}  // namespace

// What a decoder keeps from one frame to the next: the code table and the string buffer, and how
// many entries from 0 still hold their literal (entries below a frame's clear code are never
// written by its data), so that the next frame sets up only the literals it adds.
struct TGIFLZWDecoder::TTables {
  TCodeTable Table;
  std::uint8_t String[kStringSize];
  int Literals = 0;
};

namespace {

// Counts the entry just added; codes grow by a bit when the next one would not fit (up to 12).
inline void CountEntry(int& nextFree, int& codeSize) {
  ++nextFree;
  if (nextFree >= (1 << codeSize) && codeSize < 12) ++codeSize;
}

// Decoder state of one frame. Strings are written straight into the frame, copied a chunk at a
// time from where it holds them already. A corrupt stream can make an entry's prefix a code not
// defined yet; from then until the next clear code strings are expanded through a bounded stack
// exactly as the table says, which also catches prefix cycles.
class TLZWDecoder {
 public:
  TLZWDecoder(TGIFLZWDecoder::TTables& tables, vcl::TStream& stream, const TGIFFrameBuffer& frame,
              TGIFDecoderWarnings& warnings)
      : FStream(stream), FFrame(frame), FWarnings(warnings), FTables(tables), FTable(tables.Table), FString(tables.String) {}

  void Run();

 private:
  void InitTables();
  void ResetTable();
  // Gives the entries from the high-water mark up their undefined value, once a code beyond it is
  // about to be read.
  void DefineRest();
  int FetchCode();
  bool Refill();
  void SkipSubBlocks();
  // Reads and expands one code; false when decoding ends (no more data or the end code).
  bool Step(bool emit) { return Process(FetchCode(), emit); }
  // Expands a code already read (-1: none could be read); false when decoding ends.
  bool Process(int code, bool emit);
  // Whether FastRun may take over: entries it adds would refer back only.
  bool FastEligible() const;
  // Decodes codes for as long as each is an ordinary one: no clear or end code, a string that ends
  // (with the room its last chunk's store needs) inside the current row. Sub-block boundaries are
  // crossed through FetchCode without leaving. Returns the first code it does not take (already
  // read, for Process) or -1 when the data ends; state lives in locals meanwhile, out of reach of
  // the pixel stores.
  int FastRun();
  // Expands Code through the table into the string buffer, as the table says; returns its start.
  std::uint8_t* Expand(int code, int& firstChar);

  void StartRows();
  bool NextRow();
  void FillRest();
  void EmitPixel(std::uint8_t value);
  void EmitString(const std::uint8_t* s, size_t n);

  vcl::TStream& FStream;
  const TGIFFrameBuffer& FFrame;
  TGIFDecoderWarnings& FWarnings;

  // Code table.
  int FMinCodeSize = 0, FCodeSize = 0, FClearCode = 0, FEndCode = 0, FNextFree = 0;
  // Entries from here on hold nothing of the table since the last clear; no code below it reads
  // them (its prefixes lie below it too), and Step gives them their undefined value before a code
  // above it is taken as a prefix.
  int FHighWater = 0;
  int FOldCode = 0, FFirstChar = 0;
  bool FForwardRefs = false;
  // Where the string of the last code lies in one piece, just before FOut (the next code's entry
  // starts there), or null; and its length.
  const std::uint8_t* FPrevSrc = nullptr;
  unsigned FPrevLength = 0;
  TGIFLZWDecoder::TTables& FTables;
  TCodeTable& FTable;
  std::uint8_t* const FString;

  // Bit reader.
  // Zeroed once: a code cut off by the end of the data takes its missing bits from what the buffer
  // held before (zeros, or the previous sub-block), as the reference decoder does.
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
  StartRows();
  std::uint8_t minCodeSize = 0;
  if (!ReadByte(FStream, minCodeSize)) {
    FillRest();
    return;
  }
  if (minCodeSize > kMaxMinCodeSize) {
    FillRest();
    throw GIFException(res::sGIFInvalidCodeSize);
  }
  FMinCodeSize = minCodeSize;
  FClearCode = 1 << FMinCodeSize;
  FEndCode = FClearCode + 1;
  FCodeSize = FMinCodeSize + 1;
  FNextFree = FClearCode + 2;
  InitTables();
  try {
    while (!FComplete) {
      if (!Process(FastEligible() ? FastRun() : FetchCode(), true)) break;
    }
  } catch (...) {
    FillRest();
    throw;
  }
  const bool complete = FComplete;
  FillRest();
  // After a complete frame the next code is normally the end code, which moves the stream past
  // the terminator sub-block. After early ends no more is read: that code could be anything.
  if (complete && FPending == 0) Step(false);
}

// Frames are allocated without a fill: every pixel the data does not reach gets it here, in the
// order rows would have been decoded.
void TLZWDecoder::FillRest() {
  if (FComplete) return;
  do {
    std::fill(FOut, FRowEnd, FFrame.Fill);
  } while (NextRow());
}

void TLZWDecoder::InitTables() {
  // Literals stand for themselves (those a frame before set up are still there); the clear and
  // end codes read as undefined. Entries above them are written before they are read
  // (DefineRest), so setting up a frame or a clear stays cheap.
  for (int i = FTables.Literals; i < FClearCode; ++i) FTable.SetLiteral(i);
  // Entries from the clear code on are this frame's to overwrite.
  FTables.Literals = FClearCode;
  FTable.SetUndefined(FClearCode, FNextFree);
  FHighWater = FNextFree;
}

void TLZWDecoder::DefineRest() {
  FTable.SetUndefined(FHighWater, kMaxCodes);
  FHighWater = kMaxCodes;
}

// Entries above the new high-water mark keep what they held: nothing reads them before DefineRest.
void TLZWDecoder::ResetTable() {
  FCodeSize = FMinCodeSize + 1;
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

std::uint8_t* TLZWDecoder::Expand(int code, int& firstChar) {
  std::uint8_t* const begin = FString;
  std::uint8_t* p = FString + kStringSize;
  if (code >= FNextFree) {
    *--p = static_cast<std::uint8_t>(FFirstChar);
    code = FOldCode;
  }
  while (code >= FClearCode) {
    const TCodeEntry& e = FTable.Entry[code];
    // While no entry refers forward, a copy in the frame is what the table says.
    if (e.Src && !FForwardRefs) {
      // A sound chain is no longer than the table, and the buffer holds two.
      if (e.Length > p - begin) throw GIFException(res::sGIFCircularTableEntry);
      p -= e.Length;
      std::memcpy(p, e.Src, e.Length);
      firstChar = *p;
      return p;
    }
    // No acyclic chain comes near the buffer's size: running out of it means a cycle.
    if (p == begin) throw GIFException(res::sGIFCircularTableEntry);
    *--p = e.Suffix;
    if (e.Prefix == code) throw GIFException(res::sGIFCircularTableEntry);
    code = e.Prefix;
  }
  if (p == begin) throw GIFException(res::sGIFCircularTableEntry);
  firstChar = FTable.Entry[code].Suffix;
  *--p = static_cast<std::uint8_t>(firstChar);
  return p;
}

bool TLZWDecoder::Process(int code, bool emit) {
  if (code < 0) return false;
  if (code == FClearCode) {
    ResetTable();
    do {
      FFirstChar = FetchCode();
      FOldCode = FFirstChar;
    } while (FFirstChar == FClearCode);
    if (FFirstChar < 0) return false;
    // The first code after a clear is a pixel value as it stands, whatever its range: the string
    // of its entry only when it is a literal.
    FPrevSrc = nullptr;
    FPrevLength = 1;
    if (emit) {
      std::uint8_t* const at = FOut;
      EmitPixel(static_cast<std::uint8_t>(FFirstChar));
      if (FFirstChar < FClearCode && FOut == at + 1) FPrevSrc = at;
    }
    return true;
  }
  if (code == FEndCode) {
    if (!FDataEnded) SkipSubBlocks();
    return false;
  }

  if (FOldCode >= FHighWater) DefineRest();  // a code read as it stood after a clear
  int firstChar;
  const std::uint8_t* const s = Expand(code, firstChar);
  const size_t n = static_cast<size_t>(FString + kStringSize - s);
  std::uint8_t* const at = FOut;
  const bool wroteFirst = emit && at < FRowEnd;  // the string's first byte lands at At
  // What is written is the string of the code as the table will hold it, unless the code is the
  // one being defined and the last byte it takes (the first of the last string) is not the first
  // byte of the last code's entry: after a clear the first code is written as a byte whatever it is.
  const bool asTable = code < FNextFree || (code == FNextFree && static_cast<std::uint8_t>(FFirstChar) == firstChar);
  if (emit) EmitString(s, n);

  if (FNextFree < kMaxCodes) {
    // An entry whose prefix is not defined yet changes meaning later: strings can no longer be
    // taken from the frame from here to the next clear code.
    if (FOldCode >= FNextFree) FForwardRefs = true;
    // Its string lies in one piece only if the last one did and this one follows it in the row;
    // it is taken from there only if a chunk's load from any of its bytes stays in the frame.
    const bool inOnePiece = FPrevSrc && !FForwardRefs && wroteFirst && at == FPrevSrc + FPrevLength &&
                            FFrame.Pixels + FFrame.Width * static_cast<size_t>(FFrame.Height) - at >= kChunk;
    FTable.Entry[FNextFree] = TCodeEntry{inOnePiece ? FPrevSrc : nullptr, static_cast<std::uint16_t>(FPrevLength + 1),
                                         static_cast<std::uint16_t>(FOldCode), static_cast<std::uint8_t>(firstChar)};
    CountEntry(FNextFree, FCodeSize);
    FHighWater = std::max(FHighWater, FNextFree);
  }
  FOldCode = code;
  FFirstChar = firstChar;
  FPrevSrc = wroteFirst && asTable && !FForwardRefs && FOut == at + n ? at : nullptr;
  FPrevLength = static_cast<unsigned>(n);
  return true;
}

bool TLZWDecoder::FastEligible() const {
  return !FFirstCall && !FForwardRefs && FOldCode < FNextFree;
}

int TLZWDecoder::FastRun() {
  const int clear = FClearCode;
  const std::uint8_t* const buffer = FBuffer;
  TCodeEntry* const entries = FTable.Entry;
  std::uint8_t* const rowEnd = FRowEnd;
  std::uint8_t* out = FOut;
  int bitPos = FBitPos, bitCount = FBitCount, codeSize = FCodeSize, nextFree = FNextFree;
  int oldCode = FOldCode;
  // The last string: the next entry is it and the first byte of the string after it.
  const std::uint8_t* prevSrc = FPrevSrc;
  unsigned prevLength = FPrevLength;
  int code;
  for (;;) {
    if (bitPos + codeSize < bitCount) {
      std::uint32_t word;
      std::memcpy(&word, buffer + (bitPos >> 3), sizeof word);
      code = static_cast<int>((word >> (bitPos & 7)) & ((1u << codeSize) - 1));
      bitPos += codeSize;
    } else {
      // A sub-block boundary: the careful reader loads the next one (or warns, or gives up).
      FBitPos = bitPos;
      FCodeSize = codeSize;
      code = FetchCode();
      bitPos = FBitPos;
      bitCount = FBitCount;
      if (code < 0) break;
    }
    if (static_cast<unsigned>(code - clear) < 2u) break;  // clear or end code
    const std::uint8_t* src;
    unsigned n;
    if (code < nextFree) {
      src = entries[code].Src;
      n = entries[code].Length;
    } else if (code == nextFree) {
      src = prevSrc;  // the code being defined: the last string and its own first byte
      n = prevLength + 1;
    } else {
      break;  // beyond the table: from here entries refer forward
    }
    // No copy to take it from, or the last chunk's store (up to 7 bytes past the string) would
    // leave the row.
    if (!src || n + (kChunk - 1) > static_cast<size_t>(rowEnd - out)) break;

    const std::uint8_t first = *src;
    if (n <= kChunk) {
      std::uint64_t chunk = Load8(src);
      // The code being defined reads its last byte where it writes it: that byte is its first.
      if (code == nextFree) chunk = (chunk & ~(~std::uint64_t(0) << (8 * prevLength))) | (chunk & 0xFF) << (8 * prevLength);
      Store8(out, chunk);
    } else {
      // A string before out, or the one being defined, which overlaps it at a distance of its
      // length less one (at least 8): chunks taken in order see bytes already written.
      std::uint8_t* to = out;
      const std::uint8_t* from = src;
      std::uint8_t* const end = out + n;
      if (out - src >= kWide && rowEnd - end >= kWide - 1) {
        do {
          std::uint8_t wide[kWide];
          std::memcpy(wide, from, kWide);
          std::memcpy(to, wide, kWide);
          to += kWide;
          from += kWide;
        } while (to < end);
      } else {
        do {
          Store8(to, Load8(from));
          to += kChunk;
          from += kChunk;
        } while (to < end);
      }
    }
    if (nextFree < kMaxCodes) {
      // For the code being defined this is its own entry.
      entries[nextFree] = TCodeEntry{prevSrc, static_cast<std::uint16_t>(prevLength + 1), static_cast<std::uint16_t>(oldCode), first};
      CountEntry(nextFree, codeSize);
    }
    prevSrc = out;
    prevLength = n;
    out += n;
    oldCode = code;
  }
  FOut = out;
  FBitPos = bitPos;
  FCodeSize = codeSize;
  FNextFree = nextFree;
  FHighWater = std::max(FHighWater, nextFree);
  if (prevSrc != FPrevSrc) FFirstChar = *prevSrc;  // a code was taken: its string starts there
  FOldCode = oldCode;
  FPrevSrc = prevSrc;
  FPrevLength = prevLength;
  return code;
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

namespace {

// The tables of the last decoder freed wait here for the next one, literals and all: an
// application that loads image after image sets them up once. One set at most; any thread.
std::atomic<TGIFLZWDecoder::TTables*> spareTables{nullptr};

}  // namespace

TGIFLZWDecoder::TGIFLZWDecoder() = default;

TGIFLZWDecoder::~TGIFLZWDecoder() {
  TTables* expected = nullptr;
  if (FTables && spareTables.compare_exchange_strong(expected, FTables.get())) FTables.release();
}

void TGIFLZWDecoder::Decode(vcl::TStream& Stream, const TGIFFrameBuffer& Frame, TGIFDecoderWarnings& Warnings) {
  // About 72 KB of tables: on the heap, so that a thread with a small stack can decode too, and
  // made by the first frame only (or taken from a decoder before). They are left uninitialised:
  // each frame writes what it reads.
  if (!FTables) {
    FTables.reset(spareTables.exchange(nullptr));
    if (!FTables) {
      try {
        FTables.reset(new TTables);
      } catch (const std::bad_alloc&) {
        std::fill_n(Frame.Pixels, static_cast<size_t>(Frame.Width) * static_cast<size_t>(Frame.Height), Frame.Fill);
        throw vcl::EOutOfMemory(L"Out of memory");
      }
    }
  }
  TLZWDecoder(*FTables, Stream, Frame, Warnings).Run();
}

void DecodeLZW(vcl::TStream& Stream, const TGIFFrameBuffer& Frame, TGIFDecoderWarnings& Warnings) {
  TGIFLZWDecoder().Decode(Stream, Frame, Warnings);
}

}  // namespace kestrix::gifdetail
