#pragma once
// KXUtil: file group descriptors, the blocks that name the virtual files of a drag whose contents
// travel in separate FileContents renderings. Built in the UTF-16 form (FILEGROUPDESCRIPTORW,
// 592-byte records), read in both forms (the ANSI form has 332-byte records). Blocks travel as
// byte strings whose size is the block's length.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Export.h"

namespace kestrix {

// A FILEGROUPDESCRIPTORW block without sizes; see FileGroupDescriptorFromFileListEx.
KX_API std::string FileGroupDescriptorFromFileList(const std::wstring& FolderPath, const vcl::TStrings& FileNames);

// A FILEGROUPDESCRIPTORW block with one record per line, in order. Each record carries the full
// name (joined as for HDROP blocks, cut to 259 characters) and FD_ATTRIBUTES: the attributes of
// the file found at that name (links followed; folders do not count), else the line's integer,
// else FILE_ATTRIBUTE_ARCHIVE. When FileSizes has at least one entry per line every record also
// carries FD_FILESIZE and its entry as the low 32 bits of the size; otherwise none does.
KX_API std::string FileGroupDescriptorFromFileListEx(const std::wstring& FolderPath, const vcl::TStrings& FileNames,
                                                     const std::vector<std::int32_t>& FileSizes);

// The cFileName values of a FILEGROUPDESCRIPTORW block from any source, for as many records as
// the block states and holds completely; a count of 0 or less gives an empty list. The form is
// not marked in the block: an ANSI block read here gives wrong names, never a read past it.
// The list is new and owned by the caller.
KX_API vcl::TStringList* FileListFromFileGroupDescriptor(const std::string& Data);
// The same for a FILEGROUPDESCRIPTORA block, names converted from the ANSI code page.
KX_API vcl::TStringList* FileListFromFileGroupDescriptorA(const std::string& Data);

// "FileGroupDescriptorW": the clipboard format name of the UTF-16 form.
KX_API std::wstring KXFileGroupDescriptorFormatName();

}  // namespace kestrix
