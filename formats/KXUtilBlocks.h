#pragma once
// Byte-level reading and writing of the shell's clipboard blocks (HDROP name lists, file group
// descriptors). Standard C++ only, with no Windows headers, so that the parsers of foreign blocks
// also build natively for sanitizer and fuzzing runs. Every read is checked against the block's
// length; callers turn the byte ranges found here into strings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/KXBlockBytes.h"
#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

// ---- HDROP ------------------------------------------------------------------------------------

// The name list of an HDROP block as read from pFiles. The list holds characters of 1 (ANSI) or
// 2 (UTF-16, fWide non-zero) bytes counted from pFiles; an odd trailing byte of a UTF-16 list is
// ignored. Names are the non-empty runs between NUL characters that come before the first pair of
// NULs (or the end of the block). Only a block of more than 20 bytes whose pFiles lies inside it
// and not inside the 20-byte header has a list; any other block has no names.
struct THDROPList {
  bool Wide = false;
  std::size_t ListOffset = 0;      // pFiles; 0 when the block has no list
  std::vector<TByteRange> Names;   // each of whole characters, never empty
  bool Terminated = false;         // the closing pair of NULs lies inside the block
  bool StartsWithName = false;     // the list's first character is not a NUL
  // What the shell's own reader can be given safely: at least one name, the first name first,
  // and the list closed inside the block (the shell reads an unterminated list past its end).
  bool WellFormed() const { return StartsWithName && Terminated && !Names.empty(); }
};
KX_BLOCKS_API THDROPList ReadHDROPList(std::string_view Block);

// True when the block carries a header whose fWide field is non-zero (UTF-16 names).
KX_BLOCKS_API bool HDROPIsWide(std::string_view Block);
// ReadHDROPList(Block).Names.
KX_BLOCKS_API std::vector<TByteRange> HDROPNameRanges(std::string_view Block);
// ReadHDROPList(Block).WellFormed().
KX_BLOCKS_API bool HDROPHasWellFormedNames(std::string_view Block);

// An HDROP block (pFiles 20, point and fNC zero) holding Names, each already encoded as the block
// carries it (UTF-16LE bytes when Wide, ANSI bytes otherwise), each followed by a NUL, then one
// more NUL. Names are written as given: an empty one ends the list for every reader.
KX_BLOCKS_API std::string HDROPBlockFromNames(const std::vector<std::string>& Names, bool Wide);

// ---- file group descriptors -------------------------------------------------------------------

// The cFileName values of a file group descriptor block (records of 592 bytes for the UTF-16
// form, 332 for the ANSI form): one range per record that lies completely inside the block, up
// to the count the block states (none for a count of 0 or one with the top bit set), each ending
// at the field's first NUL or after its 260 characters.
KX_BLOCKS_API std::vector<TByteRange> FileGroupNameRanges(std::string_view Block, bool Wide);

// The first record's cFileName, as a browser's URL drag carries the page title there: read from
// offset 76 up to its first NUL, the end of the first record, or the end of the block, whichever
// comes first (the record need not be complete). Empty when the block states a count of 0 or is
// too short for the count and one character of name. Whole characters only (2 bytes when Wide).
KX_BLOCKS_API TByteRange FileGroupFirstNameRange(std::string_view Block, bool Wide);

// A page title carried as a shortcut's file name ("Page.url") without that extension: ".url" in
// any case is removed only where it ends the title.
template <class S>
S TitleWithoutURLExtension(S Title) {
  constexpr std::string_view ext = ".url";
  if (Title.size() < ext.size()) return Title;
  const std::size_t at = Title.size() - ext.size();
  for (std::size_t i = 0; i < ext.size(); ++i) {
    auto c = Title[at + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<decltype(c)>(c - 'A' + 'a');
    if (c != static_cast<decltype(c)>(ext[i])) return Title;
  }
  Title.resize(at);
  return Title;
}

// ---- "text/x-moz-url" -------------------------------------------------------------------------

// A browser's "text/x-moz-url" block: UTF-16LE, the URL, a line feed, the page title. Both lines
// end at a line feed (a carriage return before it is not theirs), at the first NUL character or
// at the block's end; an odd trailing byte is ignored. The title is empty when there is no second
// line.
struct TMozURL {
  TByteRange URL;
  TByteRange Title;
};
KX_BLOCKS_API TMozURL ReadMozURL(std::string_view Block);

// A folder and a name joined as the shell's blocks carry them: a backslash goes between them
// only when the folder is non-empty and does not already end in one.
template <class S>
S JoinFolderAndName(const S& Folder, const S& Name) {
  S full = Folder;
  if (!Folder.empty() && Folder.back() != '\\') full.push_back('\\');
  full += Name;
  return full;
}

}  // namespace kestrix::blocks
