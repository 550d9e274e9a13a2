#include "gif/KXGIFLZW.h"

#include <algorithm>
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
  kChunk = 8,              // bytes of a string kept with its code, written with one store
  kStringSize = 8192,      // twice the longest string a sound table can hold, with room for a chunk
  kCarry = 2,              // bytes carried over from the previous sub-block
  kBufferSize = kCarry + 255 + 8,  // plus room for a wide read past the last byte
};

static_assert(std::endian::native == std::endian::little, "chunks and bit words are little-endian");

inline void Store8(std::uint8_t* at, std::uint64_t bytes) { std::memcpy(at, &bytes, sizeof bytes); }

// One entry of the code table, in one 16-byte record so that a lookup touches one cache line.
// Prefix and Suffix say what the entry is. While no entry refers forward (the normal case) the
// rest describes its string: its length, its first byte and, cutting the string into 8-byte chunks
// from its start, its last chunk (Tail, unused bytes zero) and the code whose string is all the
// chunks before it (Jump). A string is then written with one store per chunk.
struct TCodeEntry {
  std::uint64_t Tail;
  std::uint16_t Length;
  std::uint16_t Jump;
  std::uint16_t Prefix;
  std::uint8_t First;
  std::uint8_t Suffix;
};
static_assert(sizeof(TCodeEntry) == 16);

// No copy of an entry's string is known in the frame.
constexpr std::uint32_t kNowhere = 0xFFFFFFFF;

// Bytes in the last chunk of a string of Length bytes (1 to 8).
inline unsigned TailBytes(unsigned length) { return ((length - 1) & (kChunk - 1)) + 1; }

// An entry as two words, as the fast loop keeps it in registers: Tail, and the rest (Length in bits
// 0-15, Jump 16-31, Prefix 32-47, First 48-55, Suffix 56-63).
struct TEntryWords {
  std::uint64_t Tail, Meta;
};
static_assert(offsetof(TCodeEntry, Length) == 8 && offsetof(TCodeEntry, Jump) == 10 && offsetof(TCodeEntry, Prefix) == 12 &&
              offsetof(TCodeEntry, First) == 14 && offsetof(TCodeEntry, Suffix) == 15);

inline TEntryWords LoadWords(const TCodeEntry& e) {
  TEntryWords w;
  std::memcpy(&w, &e, sizeof w);
  return w;
}
inline void StoreWords(TCodeEntry& e, const TEntryWords& w) { std::memcpy(&e, &w, sizeof w); }
inline int LengthOf(const TEntryWords& w) { return static_cast<int>(w.Meta & 0xFFFF); }
inline int FirstOf(const TEntryWords& w) { return static_cast<int>((w.Meta >> 48) & 0xFF); }

// The entry for the string of Prefix (whose entry is P) followed by Last; no branch, no narrow
// field, so that the fast loop keeps it in registers.
inline TEntryWords ExtendWords(const TEntryWords& p, int prefix, int last) {
  const std::uint64_t byte = static_cast<std::uint8_t>(last);
  const unsigned used = p.Meta % kChunk;
  const std::uint64_t tail = used != 0 ? p.Tail | byte << (8 * used) : byte;
  const std::uint64_t jump = used != 0 ? p.Meta & 0xFFFF0000u : static_cast<std::uint64_t>(prefix) << 16;
  // Length + 1 and First kept; Jump, Prefix and Suffix new.
  const std::uint64_t meta = ((p.Meta & 0x00FF00000000FFFFull) + 1) | jump | static_cast<std::uint64_t>(prefix) << 32 | byte << 56;
  return {tail, meta};
}

struct TCodeTable {
  TCodeEntry Entry[kMaxCodes];
  // Where the frame already holds each entry's string in one piece (an offset in the frame), or
  // kNowhere: a long string is copied from there a chunk at a time, with no chain to follow.
  std::uint32_t At[kMaxCodes];

  // Writes the string of code into dst[0, Length); the store of its last chunk may also write up to
  // 7 bytes after it, so dst needs that much room.
  void Write(std::uint8_t* dst, int code) const {
    const TCodeEntry* e = &Entry[code];
    std::uint8_t* p = dst + e->Length - TailBytes(e->Length);
    Store8(p, e->Tail);
    while (p != dst) {
      e = &Entry[e->Jump];
      p -= kChunk;
      Store8(p, e->Tail);
    }
  }

  void Append(int at, int prefix, int last) {
    At[at] = kNowhere;
    StoreWords(Entry[at], ExtendWords(LoadWords(Entry[prefix]), prefix, last));
  }

  // What an entry holds before the data defines it: the string of code 0 followed by 0.
  void SetUndefined(int from, int to) {
    std::fill(Entry + from, Entry + to, TCodeEntry{0, 2, 0, 0, 0, 0});
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

// Counts the entry just added; codes grow by a bit when the next one would not fit.
inline void CountEntry(int& nextFree, int& maxCode, int& codeSize) {
  ++nextFree;
  if (nextFree >= maxCode && maxCode < kMaxCodes) {
    maxCode *= 2;
    ++codeSize;
  }
}

// Decoder state of one frame. Strings are written straight into the frame, a chunk at a time:
// while no table entry refers forward (the normal case) every code keeps its string's length and
// chunks. A corrupt stream can make an entry's prefix a code not defined yet; from then until the
// next clear code strings are expanded through a bounded stack exactly as the table says, which
// also catches prefix cycles.
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
  // Whether FastRun may take over: the last code's entry describes the string written for it.
  bool FastEligible() const;
  // Decodes codes for as long as each is an ordinary one: no clear or end code, a string that ends
  // (with the room its last chunk's store needs) inside the current row. Sub-block boundaries are
  // crossed through FetchCode without leaving. Returns the first code it does not take (already
  // read, for Process) or -1 when the data ends; state lives in locals meanwhile, out of reach of
  // the pixel stores.
  int FastRun();
  // Expands Code through the table into the string buffer, as the table says; returns its start.
  std::uint8_t* ExpandSlow(int code, int& firstChar);

  void StartRows();
  bool NextRow();
  void FillRest();
  void EmitPixel(std::uint8_t value);
  void EmitString(const std::uint8_t* s, size_t n);

  vcl::TStream& FStream;
  const TGIFFrameBuffer& FFrame;
  TGIFDecoderWarnings& FWarnings;

  // Code table.
  int FMinCodeSize = 0, FCodeSize = 0, FClearCode = 0, FEndCode = 0, FMaxCode = 0, FNextFree = 0;
  // Entries from here on hold nothing of the table since the last clear; no code below it reads
  // them (its prefixes lie below it too), and Step gives them their undefined value before a code
  // above it is taken as a prefix.
  int FHighWater = 0;
  int FOldCode = 0, FFirstChar = 0;
  bool FForwardRefs = false;
  TGIFLZWDecoder::TTables& FTables;
  TCodeTable& FTable;
  std::uint8_t* const FString;

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
  FMaxCode = 2 * FClearCode;
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
  for (int i = FTables.Literals; i < FClearCode; ++i) {
    const auto byte = static_cast<std::uint8_t>(i);
    FTable.Entry[i] = TCodeEntry{byte, 1, 0, 0, byte, byte};
  }
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
    const TCodeEntry& e = FTable.Entry[code];
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
    // The first code after a clear is a pixel value as it stands, whatever its range.
    if (emit) EmitPixel(static_cast<std::uint8_t>(FFirstChar));
    return true;
  }
  if (code == FEndCode) {
    if (!FDataEnded) SkipSubBlocks();
    return false;
  }

  const bool selfDefined = code >= FNextFree;  // the string this very code is about to define
  if (FOldCode >= FHighWater) DefineRest();     // a code read as it stood after a clear
  int firstChar;
  if (FForwardRefs) {
    std::uint8_t* s = ExpandSlow(code, firstChar);
    if (emit) EmitString(s, static_cast<size_t>(FString + kStringSize - s));
  } else {
    const int base = selfDefined ? FOldCode : code;
    firstChar = FTable.Entry[base].First;
    if (emit) {
      const size_t n = FTable.Entry[base].Length + (selfDefined ? 1u : 0u);
      FTable.Write(FString, base);
      if (selfDefined) FString[n - 1] = static_cast<std::uint8_t>(FFirstChar);
      EmitString(FString, n);
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

bool TLZWDecoder::FastEligible() const {
  // After a clear the first code is written as a byte whatever its value; while that code's entry
  // says otherwise, or refers forward, Process takes the next code.
  return !FFirstCall && !FForwardRefs && FOldCode < FNextFree && FOldCode < FHighWater &&
         FFirstChar == FTable.Entry[FOldCode].First;
}

int TLZWDecoder::FastRun() {
  const int clear = FClearCode;
  const std::uint8_t* const buffer = FBuffer;
  TCodeEntry* const entries = FTable.Entry;
  std::uint32_t* const at = FTable.At;
  std::uint8_t* const pixels = FFrame.Pixels;
  std::uint8_t* const rowEnd = FRowEnd;
  std::uint8_t* out = FOut;
  int bitPos = FBitPos, bitCount = FBitCount, codeSize = FCodeSize, nextFree = FNextFree, maxCode = FMaxCode;
  int oldCode = FOldCode;
  // The last code's string, kept in registers for the entry the next code adds; where the frame
  // holds it in one piece, followed by what comes next (unknown for Process's strings).
  TEntryWords prev = LoadWords(entries[oldCode]);
  std::uint32_t prevAt = kNowhere;
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
    TEntryWords cur;
    if (code < nextFree) {
      cur = LoadWords(entries[code]);
    } else if (code == nextFree) {
      cur = ExtendWords(prev, oldCode, FirstOf(prev));  // the code being defined: the last string and its first byte
    } else {
      break;  // beyond the table: from here entries refer forward
    }
    const int n = LengthOf(cur);
    // The last chunk's store may reach 7 bytes past the string: that room stays inside the row.
    if (n + (kChunk - 1) > rowEnd - out) break;

    if (nextFree < kMaxCodes) {
      // For a code defined by itself this is cur again.
      StoreWords(entries[nextFree], ExtendWords(prev, oldCode, FirstOf(cur)));
      at[nextFree] = prevAt;
      CountEntry(nextFree, maxCode, codeSize);
    }
    if (n <= kChunk) {
      Store8(out, cur.Tail);
    } else if (const std::uint32_t from = at[code]; from != kNowhere) {
      // A copy of the string lies before out; a copy of the string being defined overlaps the
      // output by one byte at a distance of at least 8, which chunks taken in order handle.
      const std::uint8_t* src = pixels + from;
      for (int i = 0; i < n; i += kChunk) {
        std::uint64_t chunk;
        std::memcpy(&chunk, src + i, kChunk);
        Store8(out + i, chunk);
      }
    } else {
      FTable.Write(out, code);
    }
    prevAt = static_cast<std::uint32_t>(out - pixels);
    out += n;
    prev = cur;
    oldCode = code;
  }
  FOut = out;
  FBitPos = bitPos;
  FCodeSize = codeSize;
  FNextFree = nextFree;
  FHighWater = std::max(FHighWater, nextFree);
  FMaxCode = maxCode;
  FOldCode = oldCode;
  FFirstChar = FirstOf(prev);
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

TGIFLZWDecoder::TGIFLZWDecoder() = default;
TGIFLZWDecoder::~TGIFLZWDecoder() = default;

void TGIFLZWDecoder::Decode(vcl::TStream& Stream, const TGIFFrameBuffer& Frame, TGIFDecoderWarnings& Warnings) {
  // About 90 KB of tables: on the heap, so that a thread with a small stack can decode too, and
  // made by the first frame only. They are left uninitialised: each frame writes what it reads.
  if (!FTables) {
    try {
      FTables.reset(new TTables);
    } catch (const std::bad_alloc&) {
      std::fill_n(Frame.Pixels, static_cast<size_t>(Frame.Width) * static_cast<size_t>(Frame.Height), Frame.Fill);
      throw vcl::EOutOfMemory(L"Out of memory");
    }
  }
  TLZWDecoder(*FTables, Stream, Frame, Warnings).Run();
}

void DecodeLZW(vcl::TStream& Stream, const TGIFFrameBuffer& Frame, TGIFDecoderWarnings& Warnings) {
  TGIFLZWDecoder().Decode(Stream, Frame, Warnings);
}

}  // namespace kestrix::gifdetail
