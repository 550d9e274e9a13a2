#pragma once
// KXPIDL: item-ID lists, the shell's names for the objects of its namespace. Measuring, walking,
// copying, joining and splitting lists, getting them from paths and names, turning them back
// into names and paths, and dumping them for diagnosis; also the CIDA block ("Shell IDList
// Array") that a drag offers beside CF_HDROP.
//
// Lists passed in are the shell's own and must be well-formed (each item's cb counts its two
// count bytes; a cb of 0 ends the list). A null list is no list at all; an empty list is just the
// terminator. Every list returned is new and belongs to the caller, who frees it through the
// allocator it came from: the IMalloc passed in, or for the others the shell's task allocator
// (FreePIDLUsingShellMalloc, or a TShellPIDL owner).
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "framework/Classes.h"
#include "framework/ComObj.h"
#include "framework/Export.h"
#include "framework/Handles.h"

namespace kestrix {

// The CIDA block for FileNames, plain names of objects inside the folder FolderPath: the count,
// the offsets, the folder's absolute list, each name's list relative to the folder, and one
// zero byte. A name the folder cannot parse gets an empty list, so every offset points at a
// valid list. Empty when the folder cannot be parsed or bound.
KX_API std::string ShellIDListFromFileList(const std::wstring& FolderPath, const vcl::TStrings& FileNames);

// Bytes of the list including its terminator; 0 for a null list.
KX_API UINT PIDLGetSize(LPCITEMIDLIST List);
// The item after Item; Item itself at the terminator; null for null.
KX_API LPITEMIDLIST PIDLGetNextItem(LPITEMIDLIST Item);
KX_API LPCITEMIDLIST PIDLGetNextItem(LPCITEMIDLIST Item);
// A zero-filled block of Size bytes from Malloc; null when Malloc is null or fails.
KX_API LPITEMIDLIST PIDLCreate(IMalloc* Malloc, UINT Size);
// A copy of the whole list from Malloc; null for a null list or allocator, or when it fails.
KX_API LPITEMIDLIST PIDLCopy(IMalloc* Malloc, LPCITEMIDLIST List);
// The items of First (null counts as empty) followed by the whole of Second (null counts as
// empty), from Malloc; null when Malloc is null or fails.
KX_API LPITEMIDLIST PIDLConcatenate(IMalloc* Malloc, LPCITEMIDLIST First, LPCITEMIDLIST Second);
// Splits List into a copy without its last item (Parent) and a copy of the last item alone
// (Item), both from Malloc. A null List gives two nulls, an empty one an empty Parent and a null
// Item. False only when an allocation fails (or Malloc is null); both outputs are then null.
KX_API bool PIDLGetRelative(IMalloc* Malloc, LPCITEMIDLIST List, LPITEMIDLIST& Parent, LPITEMIDLIST& Item);

// The absolute list of Path as the desktop folder parses it; null on failure.
KX_API LPITEMIDLIST PIDLGetFromPath(const std::wstring& Path);
// The list of Name relative to Folder, as Folder parses it; null on failure or for a null Folder.
KX_API LPITEMIDLIST PIDLGetFromParentFolder(IShellFolder* Folder, const std::wstring& Name);
// The shell folder of the object an absolute list names (the desktop for the empty list); empty
// on failure.
KX_API vcl::TComPtr<IShellFolder> PIDLGetFileFolder(LPCITEMIDLIST List);
// The name Folder (null: the desktop) gives the list with the SHGDN_ flags; empty on failure.
// Names a folder hands back inside the list or the STRRET are read only within those bounds.
KX_API std::wstring PIDLGetDisplayName(IShellFolder* Folder, LPCITEMIDLIST List, DWORD Flags);
// The absolute list of the object that List (relative to Folder, null: the desktop) names, found
// through its parsing name; null on failure.
KX_API LPITEMIDLIST PIDLGetFullyQualified(IShellFolder* Folder, LPCITEMIDLIST List);
// The file system path of an absolute list; empty when the object has none.
KX_API std::wstring PIDLGetPath(LPCITEMIDLIST List);
// Frees a list with the shell's task allocator; nothing happens when it is not available.
KX_API void FreePIDLUsingShellMalloc(LPITEMIDLIST List);
// A line naming the list's kind ("Fully Qualified PIDL: " without a folder, "Relative PIDL: "
// with one), then a line of "\" and each item's in-folder display name, walking down the folders
// until an item cannot be bound as one (a file). Empty for a null list.
KX_API std::wstring PIDLDump(IShellFolder* Folder, LPCITEMIDLIST List);

// Owns a list allocated by the shell's task allocator.
struct TShellPIDLTraits {
  static void Close(LPITEMIDLIST List) { FreePIDLUsingShellMalloc(List); }
};
using TShellPIDL = vcl::TUniqueHandle<LPITEMIDLIST, TShellPIDLTraits>;

}  // namespace kestrix
