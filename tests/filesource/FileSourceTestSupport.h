#pragma once
// What the file source's tests share: the contents each virtual file is made of, and a component
// whose producer writes them and records every call.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/KXFileGroupBlock.h"
#include "framework/Streams.h"
#include "sources/KXFileSource.h"

namespace filetest {

// Byte Offset of the contents of the virtual file with index Item: a pattern that differs per
// item and does not repeat every 256 bytes, so a chunk out of place shows.
inline char ContentByte(int Item, std::uint64_t Offset) {
  return static_cast<char>((Offset * 131 + (Offset >> 9) + static_cast<std::uint64_t>(Item) * 17) & 0xFF);
}

inline std::string Contents(int Item, std::uint64_t Size) {
  std::string out(static_cast<size_t>(Size), '\0');
  for (std::uint64_t i = 0; i < Size; ++i) out[static_cast<size_t>(i)] = ContentByte(Item, i);
  return out;
}

// Writes item Item's Size bytes in chunks, as a producer reading from elsewhere would.
inline void WriteContents(vcl::TStream& Out, int Item, std::uint64_t Size) {
  std::string chunk;
  for (std::uint64_t done = 0; done < Size;) {
    const std::uint64_t n = std::min<std::uint64_t>(Size - done, 65536);
    chunk.resize(static_cast<size_t>(n));
    for (std::uint64_t i = 0; i < n; ++i) chunk[static_cast<size_t>(i)] = ContentByte(Item, done + i);
    Out.WriteBuffer(chunk.data(), static_cast<std::int64_t>(n));
    done += n;
  }
}

// The UTF-16 name of a record of a wide descriptor block.
inline std::wstring WideName(const std::string& Block, const kestrix::blocks::TFileGroupRecord& Record) {
  std::wstring name(Record.Name.Length / 2, L'\0');
  std::memcpy(name.data(), Block.data() + Record.Name.Offset, Record.Name.Length);
  return name;
}

// The producer of a test: item i has Sizes[i] bytes; every call is recorded.
struct Producer {
  std::vector<std::uint64_t> Sizes;
  std::vector<int> Calls;
  DWORD SleepMs = 0;

  void Attach(kestrix::TKXFileSource& Source) {
    Source.setOnGetContents([this](kestrix::TObject*, int Index, vcl::TStream& Out) {
      Calls.push_back(Index);
      if (SleepMs) Sleep(SleepMs);
      WriteContents(Out, Index, Sizes.at(static_cast<size_t>(Index)));
    });
  }
};

}  // namespace filetest
