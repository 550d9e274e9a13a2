#pragma once
// "HTML Format" blocks read from bytes: the description header ("Version:0.9", "StartHTML:...",
// one "Name:value" line each) and the byte ranges its offsets name. Standard C++ only: see
// KXBlockLayout.h. The block need not end in a NUL and may be larger than its data (Windows hands
// over whole allocations), so every range is bounded by the block, by its first NUL and by
// EndHTML.
#include <cstddef>
#include <cstdint>
#include <string>
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

// Whether a browser's "text/html" block is UTF-16LE rather than UTF-8: it starts with the UTF-16LE
// byte order mark, or its first two bytes are one character below U+0100 with no NUL in UTF-8
// (markup starts with ASCII, which in UTF-16LE is followed by a zero byte).
KX_BLOCKS_API bool LooksLikeUTF16LE(std::string_view Block);

// An "HTML Format" block for a UTF-8 fragment, as Windows producers write it: a "Version:0.9"
// header of ten-digit byte offsets (StartHTML, EndHTML, StartFragment, EndFragment) and a
// SourceURL line when one is given (its CR and LF characters dropped, so that it stays one line),
// then a document whose body holds the fragment between the StartFragment and EndFragment comment
// markers, then one NUL that EndHTML does not count.
KX_BLOCKS_API std::string HTMLBlockFromFragment(std::string_view Utf8Fragment, std::string_view SourceURL = {});

}  // namespace kestrix::blocks
