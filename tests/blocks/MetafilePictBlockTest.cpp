// METAFILEPICT records in both handle widths.
#include <gtest/gtest.h>

#include "BlockTestSupport.h"
#include "formats/KXMetafilePictBlock.h"

using namespace kestrix::blocks;
using namespace blockstest;

TEST(MetafilePict, BothHandleWidths) {
  const std::string extents = LE32(8) + LE32(static_cast<std::uint32_t>(-2540)) + LE32(1270);
  // 32-bit: the handle right after the extents; 64-bit: aligned to 16.
  const std::string narrow = extents + LE32(0xA1B2C3D4);
  const std::string wide = extents + LE32(0xDEADBEEF) + LE32(0x89ABCDEF) + LE32(0x01234567);
  struct Case {
    const char* what;
    std::string block;
    std::size_t handleSize;
    bool read;
    std::uint64_t handle;
  } cases[] = {
      {"32-bit", narrow, 4, true, 0xA1B2C3D4},
      {"64-bit, padding skipped", wide, 8, true, 0x0123456789ABCDEF},
      {"32-bit record read with 64-bit handles", narrow, 8, false, 0},
      {"a byte short", wide.substr(0, 23), 8, false, 0},
      {"slack after the record", narrow + "xyz", 4, true, 0xA1B2C3D4},
      {"no such handle width", wide, 2, false, 0},
  };
  for (const Case& c : cases) {
    const auto pict = ReadMetafilePict(TExact(c.block).View(), c.handleSize);
    ASSERT_EQ(pict.has_value(), c.read) << c.what;
    if (!pict) continue;
    EXPECT_EQ(pict->MappingMode, 8) << c.what;
    EXPECT_EQ(pict->XExt, -2540) << c.what;
    EXPECT_EQ(pict->YExt, 1270) << c.what;
    EXPECT_EQ(pict->MetaFile, c.handle) << c.what;
  }
  EXPECT_EQ(MetafilePictSize(NativeHandleSize), NativeHandleSize == 8 ? 24u : 16u);
}
