#include "formats/KXPIDL.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/KXUtilBlocks.h"

namespace kestrix {

namespace {

constexpr UINT TerminatorSize = sizeof(USHORT);
constexpr size_t MaxAnsiDisplayName = 1024;

// The cb of the item at Item; items need not be aligned.
USHORT ItemSize(LPCITEMIDLIST Item) {
  USHORT cb;
  std::memcpy(&cb, Item, sizeof cb);
  return cb;
}

const BYTE* Bytes(LPCITEMIDLIST List) { return reinterpret_cast<const BYTE*>(List); }

vcl::TComPtr<IShellFolder> Desktop() {
  vcl::TComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.Put()))) desktop.Reset();
  return desktop;
}

// ANSI text of at most Limit bytes, ending at its first NUL.
std::wstring AnsiUpToNul(const char* Text, size_t Limit) {
  const char* end = std::find(Text, Text + Limit, '\0');
  return vcl::UnicodeFromAnsi(std::string(Text, end));
}

LPITEMIDLIST ParseWith(IShellFolder* Folder, const std::wstring& Name) {
  if (!Folder) return nullptr;
  std::wstring writable = Name;  // ParseDisplayName takes a non-const string
  LPITEMIDLIST list = nullptr;
  if (FAILED(Folder->ParseDisplayName(nullptr, nullptr, writable.data(), nullptr, &list, nullptr))) {
    if (list) FreePIDLUsingShellMalloc(list);
    return nullptr;
  }
  return list;
}

}  // namespace

std::string ShellIDListFromFileList(const std::wstring& FolderPath, const vcl::TStrings& FileNames) {
  TShellPIDL folderList(PIDLGetFromPath(FolderPath));
  if (!folderList) return {};
  vcl::TComPtr<IShellFolder> folder = PIDLGetFileFolder(folderList.Get());
  if (!folder) return {};

  const auto count = static_cast<std::uint32_t>(FileNames.Count());
  const std::uint32_t headerSize = 4 * count + 8;
  std::string header;
  blocks::AppendLE32(header, count);
  blocks::AppendLE32(header, headerSize);
  std::string lists(reinterpret_cast<const char*>(folderList.Get()), PIDLGetSize(folderList.Get()));
  for (int i = 0; i < FileNames.Count(); ++i) {
    blocks::AppendLE32(header, headerSize + static_cast<std::uint32_t>(lists.size()));
    TShellPIDL item(PIDLGetFromParentFolder(folder.Get(), FileNames.Strings(i)));
    if (item) lists.append(reinterpret_cast<const char*>(item.Get()), PIDLGetSize(item.Get()));
    else lists.append(TerminatorSize, '\0');  // an empty list keeps every offset meaningful
  }
  lists.push_back('\0');
  return header + lists;
}

UINT PIDLGetSize(LPCITEMIDLIST List) {
  if (!List) return 0;
  UINT size = TerminatorSize;
  for (USHORT cb; (cb = ItemSize(List)) != 0; List = reinterpret_cast<LPCITEMIDLIST>(Bytes(List) + cb)) size += cb;
  return size;
}

LPCITEMIDLIST PIDLGetNextItem(LPCITEMIDLIST Item) {
  if (!Item) return nullptr;
  return reinterpret_cast<LPCITEMIDLIST>(Bytes(Item) + ItemSize(Item));
}

LPITEMIDLIST PIDLGetNextItem(LPITEMIDLIST Item) {
  return const_cast<LPITEMIDLIST>(PIDLGetNextItem(static_cast<LPCITEMIDLIST>(Item)));
}

LPITEMIDLIST PIDLCreate(IMalloc* Malloc, UINT Size) {
  if (!Malloc) return nullptr;
  void* block = Malloc->Alloc(Size);
  if (block) std::memset(block, 0, Size);
  return static_cast<LPITEMIDLIST>(block);
}

LPITEMIDLIST PIDLCopy(IMalloc* Malloc, LPCITEMIDLIST List) {
  if (!List) return nullptr;
  const UINT size = PIDLGetSize(List);
  LPITEMIDLIST copy = PIDLCreate(Malloc, size);
  if (copy) std::memcpy(copy, List, size);
  return copy;
}

LPITEMIDLIST PIDLConcatenate(IMalloc* Malloc, LPCITEMIDLIST First, LPCITEMIDLIST Second) {
  const UINT firstItems = First ? PIDLGetSize(First) - TerminatorSize : 0;
  const UINT secondSize = Second ? PIDLGetSize(Second) : TerminatorSize;
  LPITEMIDLIST joined = PIDLCreate(Malloc, firstItems + secondSize);
  if (!joined) return nullptr;
  BYTE* out = reinterpret_cast<BYTE*>(joined);
  if (First) std::memcpy(out, First, firstItems);
  if (Second) std::memcpy(out + firstItems, Second, secondSize);  // else the zero fill ends it
  return joined;
}

bool PIDLGetRelative(IMalloc* Malloc, LPCITEMIDLIST List, LPITEMIDLIST& Parent, LPITEMIDLIST& Item) {
  Parent = nullptr;
  Item = nullptr;
  if (!List) return true;
  Parent = PIDLCopy(Malloc, List);
  if (!Parent) return false;
  LPITEMIDLIST current = Parent;
  if (ItemSize(current) == 0) return true;  // the empty list has no last item
  for (LPITEMIDLIST next; ItemSize(next = PIDLGetNextItem(current)) != 0;) current = next;
  Item = PIDLCopy(Malloc, current);
  if (!Item) {
    Malloc->Free(Parent);
    Parent = nullptr;
    return false;
  }
  current->mkid.cb = 0;  // cut the parent copy before its last item
  return true;
}

LPITEMIDLIST PIDLGetFromPath(const std::wstring& Path) { return ParseWith(Desktop().Get(), Path); }

LPITEMIDLIST PIDLGetFromParentFolder(IShellFolder* Folder, const std::wstring& Name) { return ParseWith(Folder, Name); }

vcl::TComPtr<IShellFolder> PIDLGetFileFolder(LPCITEMIDLIST List) {
  if (!List) return nullptr;
  vcl::TComPtr<IShellFolder> desktop = Desktop();
  if (!desktop || ItemSize(List) == 0) return desktop;
  vcl::TComPtr<IShellFolder> folder;
  if (FAILED(desktop->BindToObject(List, nullptr, IID_IShellFolder, folder.PutVoid()))) folder.Reset();
  return folder;
}

std::wstring PIDLGetDisplayName(IShellFolder* Folder, LPCITEMIDLIST List, DWORD Flags) {
  if (!List) return {};
  vcl::TComPtr<IShellFolder> desktop;
  if (!Folder) {
    desktop = Desktop();
    Folder = desktop.Get();
    if (!Folder) return {};
  }
  STRRET name = {};
  const HRESULT hr = Folder->GetDisplayNameOf(List, Flags, &name);
  if (hr != S_OK) {
    if (SUCCEEDED(hr) && name.uType == STRRET_WSTR) CoTaskMemFree(name.pOleStr);  // filled, yet not S_OK
    return {};
  }
  switch (name.uType) {
    case STRRET_WSTR: {
      vcl::TCoTaskMem<wchar_t> text(name.pOleStr);
      return text ? std::wstring(text.Get()) : std::wstring();
    }
    case STRRET_OFFSET: {
      // The text lives inside the list itself: never read beyond it.
      const UINT size = PIDLGetSize(List);
      if (name.uOffset >= size) return {};
      return AnsiUpToNul(reinterpret_cast<const char*>(Bytes(List) + name.uOffset),
                         std::min<size_t>(size - name.uOffset, MaxAnsiDisplayName));
    }
    case STRRET_CSTR:
      return AnsiUpToNul(name.cStr, sizeof name.cStr);
    default:
      return {};
  }
}

LPITEMIDLIST PIDLGetFullyQualified(IShellFolder* Folder, LPCITEMIDLIST List) {
  const std::wstring parsingName = PIDLGetDisplayName(Folder, List, SHGDN_FORPARSING);
  return parsingName.empty() ? nullptr : PIDLGetFromPath(parsingName);
}

std::wstring PIDLGetPath(LPCITEMIDLIST List) {
  if (!List) return {};
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(List, path)) return {};
  return std::wstring(path, std::find(path, path + MAX_PATH, L'\0'));
}

void FreePIDLUsingShellMalloc(LPITEMIDLIST List) {
  if (!List) return;
  vcl::TComPtr<IMalloc> malloc;
  if (SUCCEEDED(SHGetMalloc(malloc.Put())) && malloc) malloc->Free(List);
}

std::wstring PIDLDump(IShellFolder* Folder, LPCITEMIDLIST List) {
  if (!List) return {};
  vcl::TComPtr<IShellFolder> current(Folder);
  std::wstring text = L"Relative PIDL: \r\n";
  if (!Folder) {
    current = Desktop();
    if (!current) return {};
    text = L"Fully Qualified PIDL: \r\n";
  }
  std::vector<BYTE> single;  // one item with its terminator
  for (LPCITEMIDLIST item = List; ItemSize(item) != 0; item = PIDLGetNextItem(item)) {
    const USHORT cb = ItemSize(item);
    single.assign(cb + TerminatorSize, 0);
    std::memcpy(single.data(), item, cb);
    const auto one = reinterpret_cast<LPCITEMIDLIST>(single.data());
    text += L"\\" + PIDLGetDisplayName(current.Get(), one, SHGDN_INFOLDER);
    vcl::TComPtr<IShellFolder> child;
    if (FAILED(current->BindToObject(one, nullptr, IID_IShellFolder, child.PutVoid())) || !child) break;
    current = child;
  }
  return text + L"\r\n";
}

}  // namespace kestrix
