#pragma once
// "HTML Format" blocks read from bytes: the description header ("Version:0.9", "StartHTML:...",
// one "Name:value" line each) and the byte ranges its offsets name. Standard C++ only: see
// KXBlockLayout.h. The block need not end in a NUL and may be larger than its data (Windows hands
// over whole allocations), so every range is bounded by the block, by its first NUL and by
// EndHTML.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/KXBlockBytes.h"
#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

struct THTMLBlock {
  // The offsets as the header states them (byte offsets from the block's start); -1 when a
  // field is missing, negative, or not a decimal number.
  std::int64_t StartHTML = -1;
  std::int64_t EndHTML = -1;
  std::int64_t StartFragment = -1;
  std::int64_t EndFragment = -1;
  std::int64_t StartSelection = -1;
  std::int64_t EndSelection = -1;
  TByteRange Version;    // the value of the Version line (empty without one)
  TByteRange SourceURL;  // the value of the SourceURL line (empty without one)
  // Where the header's lines end; every field comes from before it.
  std::size_t HeaderEnd = 0;
  // Where the data ends: the block's end, its first NUL at or after HeaderEnd, or EndHTML when
  // that lies between HeaderEnd and them.
  std::size_t DataEnd = 0;
  // StartHTML..EndHTML, StartFragment..EndFragment and StartSelection..EndSelection, each clipped
  // to DataEnd; empty when the start is missing, lies before HeaderEnd or past DataEnd, or the
  // end is missing or before the start.
  TByteRange HTML;
  TByteRange Fragment;
  TByteRange Selection;
  // A block that starts with a header line naming Version, StartFragment and EndFragment.
  bool HasHeader = false;
};

// Reads Block's header and the ranges it names. A block without a header gives HasHeader false,
// HeaderEnd 0 and empty ranges; DataEnd is then its first NUL or its end.
KX_BLOCKS_API THTMLBlock ReadHTMLBlock(std::string_view Block);

}  // namespace kestrix::blocks
