#pragma once
// KXUtil: file lists in the shell's CF_HDROP form. A block is the DROPFILES header (20 bytes;
// pFiles, the offset of the names, is 20 in blocks built here) followed by each name and a NUL, then one more NUL; it travels as a byte
// string whose size is the block's length. Nothing here touches global memory.
#include <string>
#include <string_view>
#include <vector>

#include "formats/KXUtilBlocks.h"
#include "framework/Classes.h"
#include "framework/Export.h"

namespace kestrix {

// The HDROP block for FileNames inside FolderPath: UTF-16 names on the NT platform (the platform
// id in OSVersionInfo), ANSI names otherwise. See HDROPFromFileListEx.
KX_API std::string HDROPFromFileList(const std::wstring& FolderPath, const vcl::TStrings& FileNames);

// The HDROP block for FileNames, in list order. Each name is FolderPath, a backslash unless
// FolderPath is empty or already ends in one, and the line; an empty FolderPath passes the lines
// through. UseUnicode writes UTF-16 names with fWide set, otherwise names in the ANSI code page.
KX_API std::string HDROPFromFileListEx(const std::wstring& FolderPath, const vcl::TStrings& FileNames, bool UseUnicode);

// The names of an HDROP block from any source: read from pFiles, as UTF-16 when fWide is
// non-zero, up to the first pair of NULs or the end of the block; empty names are skipped. A block
// of 20 bytes or fewer, or one whose pFiles lies inside the 20-byte header or beyond the block,
// gives an empty list (see blocks::ReadHDROPList). The list is new and owned by the caller.
KX_API vcl::TStringList* FileListFromHDROP(const std::string& Data);

namespace detail {
// The names at Ranges of Block as a new list: UTF-16 when Wide, else in the ANSI code page.
// Shared by the library's block parsers; not exported.
vcl::TStringList* ListFromNameRanges(std::string_view Block, const std::vector<blocks::TByteRange>& Ranges, bool Wide);
}  // namespace detail

}  // namespace kestrix
