// File group descriptors read record by record (counts, cut records, names that fill their
// field, the fields a record marks valid) and built.
#include <gtest/gtest.h>

#include <vector>

#include "BlockTestSupport.h"
#include "formats/KXFileGroupBlock.h"
#include "formats/KXUtilBlocks.h"

using namespace kestrix::blocks;
using namespace blockstest;

namespace {

std::string LE64(std::uint64_t v) { return LE32(static_cast<std::uint32_t>(v)) + LE32(static_cast<std::uint32_t>(v >> 32)); }

struct TFields {
  std::uint32_t flags = 0;
  std::uint32_t attributes = 0;
  std::uint64_t created = 0, accessed = 0, written = 0;
  std::uint32_t sizeHigh = 0, sizeLow = 0;
};

// One record with every field set as given and the name's bytes at cFileName (not terminated
// when they fill the field).
std::string Record(bool wide, const TFields& f, const std::string& name) {
  std::string r = LE32(f.flags) + std::string(32, '\x5A') + LE32(f.attributes) + LE64(f.created) + LE64(f.accessed) +
                  LE64(f.written) + LE32(f.sizeHigh) + LE32(f.sizeLow);
  r += name;
  r.resize(wide ? FileDescriptorSizeW : FileDescriptorSizeA, '\0');
  return r;
}

std::vector<std::string> Names(std::string_view block, const std::vector<TFileGroupRecord>& records) {
  std::vector<std::string> out;
  for (const TFileGroupRecord& r : records) {
    EXPECT_TRUE(Fits(block.size(), r.Name.Offset, r.Name.Length));
    out.emplace_back(Slice(block, r.Name));
  }
  return out;
}

}  // namespace

TEST(FileGroupRecords, CountsAndNamesStayInsideTheBlock) {
  using V = std::vector<std::string>;
  const std::string full(260, 'n'), fullWide = Wide(std::string(260, 'w'));
  const std::string a = Record(false, {}, "a.txt"), w = Record(true, {}, Wide("b.bin"));
  struct Case {
    const char* what;
    std::string block;
    bool wide;
    V names;
  } cases[] = {
      {"two ANSI records", LE32(2) + a + Record(false, {}, "c"), false, V{"a.txt", "c"}},
      {"one wide record", LE32(1) + w, true, V{Wide("b.bin")}},
      {"a count larger than the block", LE32(3) + a, false, V{"a.txt"}},
      {"a count with the top bit set", LE32(0x80000001u) + a, false, V{}},
      {"a count of 0", LE32(0) + a, false, V{}},
      {"a record cut short", LE32(1) + a.substr(0, a.size() - 1), false, V{}},
      {"the second record cut short", LE32(2) + w + w.substr(0, 100), true, V{Wide("b.bin")}},
      {"shorter than the count", LE32(1).substr(0, 3), false, V{}},
      {"a name filling its field", LE32(1) + Record(false, {}, full), false, V{full}},
      {"a wide name filling its field", LE32(1) + Record(true, {}, fullWide), true, V{fullWide}},
      {"an empty name", LE32(1) + Record(false, {}, ""), false, V{""}},
      {"wide records read as ANSI: wrong names, never outside", LE32(1) + w, false, V{"b"}},
      {"ANSI records read as wide: no complete record", LE32(1) + a, true, V{}},
  };
  for (const Case& c : cases) {
    TExact exact(c.block);
    const auto records = ReadFileGroup(exact.View(), c.wide);
    EXPECT_EQ(Names(exact.View(), records), c.names) << c.what;
    std::vector<TByteRange> ranges;
    for (const auto& r : records) ranges.push_back(r.Name);
    EXPECT_EQ(FileGroupNameRanges(exact.View(), c.wide), ranges) << c.what;
  }
}

TEST(FileGroupRecords, OnlyFieldsMarkedValidAreRead) {
  const std::uint32_t all = FileDescriptorHasAttributes | FileDescriptorHasCreateTime | FileDescriptorHasAccessTime |
                            FileDescriptorHasWriteTime | FileDescriptorHasFileSize;
  const TFields set{all, FileAttributeDirectory | 0x20, 11, 22, 33, 0x00000001u, 0x00000002u};
  TFields unmarked = set;
  unmarked.flags = FileDescriptorShowProgress;
  for (bool wide : {false, true}) {
    const std::string block = LE32(2) + Record(wide, set, wide ? Wide("d") : "d") + Record(wide, unmarked, "");
    const auto records = ReadFileGroup(block, wide);
    ASSERT_EQ(records.size(), 2u);
    const TFileGroupRecord& r = records[0];
    EXPECT_EQ(r.Flags, all);
    EXPECT_TRUE(r.IsFolder());
    EXPECT_EQ(r.Attributes, FileAttributeDirectory | 0x20);
    EXPECT_EQ(r.CreationTime, 11u);
    EXPECT_EQ(r.LastAccessTime, 22u);
    EXPECT_EQ(r.LastWriteTime, 33u);
    EXPECT_EQ(r.Size, 0x100000002ull);  // the high part counts: more than 4 GiB
    const TFileGroupRecord& u = records[1];
    EXPECT_FALSE(u.HasSize() || u.HasAttributes() || u.IsFolder());
    EXPECT_EQ(u.Attributes + u.CreationTime + u.LastAccessTime + u.LastWriteTime + u.Size, 0u);
  }
}

TEST(FileGroupRecords, BuiltBlocksReadBack) {
  const std::string surrogatePair = Bytes("\x3D\xD8\x00\xDE");  // U+1F600 as UTF-16LE
  for (bool wide : {false, true}) {
    const std::string longName = wide ? Wide(std::string(300, 'x')) : std::string(300, 'x');
    // 258 units then a pair: the pair would straddle the field's last unit, so it goes whole.
    const std::string pairAtCut = Wide(std::string(258, 'p')) + surrogatePair;
    std::vector<TFileGroupEntry> entries = {
        {wide ? Wide("a.txt") : "a.txt", true, 0x123456789ull, 0, 0},
        {wide ? Wide("folder") : "folder", false, 0, FileAttributeDirectory, 0x01D0000000000000ull},
        {longName, true, 0, 0, 0},
    };
    if (wide) entries.push_back({pairAtCut, false, 0, 0, 0});
    const std::string block = FileGroupBlock(entries, wide);
    ASSERT_EQ(block.size(), 4 + entries.size() * (wide ? FileDescriptorSizeW : FileDescriptorSizeA));
    const auto records = ReadFileGroup(block, wide);
    ASSERT_EQ(records.size(), entries.size());
    const std::size_t unit = wide ? 2 : 1;
    EXPECT_EQ(Slice(block, records[0].Name), entries[0].Name);
    EXPECT_EQ(Slice(block, records[2].Name), longName.substr(0, 259 * unit));
    if (wide) {
      EXPECT_EQ(Slice(block, records[3].Name), pairAtCut.substr(0, 258 * 2));
    }
    const std::uint32_t base = FileDescriptorShowProgress | (wide ? FileDescriptorUnicode : 0u);
    EXPECT_EQ(records[0].Flags, base | FileDescriptorHasFileSize);
    EXPECT_EQ(records[0].Size, 0x123456789ull);
    EXPECT_EQ(records[1].Flags, base | FileDescriptorHasAttributes | FileDescriptorHasWriteTime);
    EXPECT_TRUE(records[1].IsFolder());
    EXPECT_EQ(records[1].LastWriteTime, 0x01D0000000000000ull);
    EXPECT_TRUE(records[2].HasSize());
    EXPECT_EQ(records[2].Size, 0u);
  }
  EXPECT_EQ(FileGroupBlock({}, true), LE32(0));
}
