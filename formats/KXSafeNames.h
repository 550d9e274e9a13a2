#pragma once
// Names from a foreign file group descriptor, made safe to create under a folder the application
// chose. Standard C++ only, so it builds natively for sanitizer and fuzzing runs. A descriptor's
// name is untrusted: it may try to leave the folder ("..", a rooted or drive-qualified path, a
// UNC name), name a device ("CON", "LPT1.txt"), open an alternate data stream ("a.txt:x"), or end
// in dots or blanks that Windows silently drops (so two names would meet in one file).
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

// The longest path a safe name may have (in UTF-16 units, folders and separators counted), so
// that joined to a folder of ordinary length it stays within what the file system takes.
inline constexpr std::size_t SafeRelativePathMaxUnits = 1024;
inline constexpr std::size_t SafeNameComponentMaxUnits = 255;

// One path component made safe: characters Windows forbids in names (control characters,
// < > : " / \ | ? *) and lone surrogate halves (no conversion keeps them) become '_', trailing
// dots and blanks go, a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9 and COM/LPT with a
// superscript 1-3, CONIN$, CONOUT$, with or without an extension or blanks before it, any case)
// gets a '_' before it,
// and the result is cut to SafeNameComponentMaxUnits units (never inside a surrogate pair).
// Empty when nothing is left ("", ".", "..", "...", "  ").
KX_BLOCKS_API std::u16string SafeNameComponent(std::u16string_view Component);

// True when Windows opens a device for this name rather than a file: the part before its first
// dot, without trailing blanks, is one of the device names above (any case).
KX_BLOCKS_API bool NamesDevice(std::u16string_view Component);

// A descriptor's name as a relative path of safe components joined by '\\': the name is split at
// '\\' and '/', a drive or UNC prefix and empty, "." and ".." components are dropped (so the path
// never climbs out of the folder), each component goes through SafeNameComponent, and the path is
// cut to whole components within SafeRelativePathMaxUnits. Empty when no component is left.
KX_BLOCKS_API std::u16string SafeRelativePath(std::u16string_view Name);

// Unique names within one drop, compared without regard to case (ASCII and Latin letters, as the
// file system folds them for these names): Claim gives back Path itself the first time, else
// "stem (2).ext", "stem (3).ext", ... in its last component (the number goes before the last
// extension only: "archive.tar (2).gz"; a leading dot starts no extension; the stem is cut so
// that the number keeps within the limits above); an empty Path becomes
// Fallback ("File 1", "File 2", ... when the caller passes those) before that.
class KX_BLOCKS_API TUniqueNames {
 public:
  std::u16string Claim(std::u16string_view Path, std::u16string_view Fallback);
  // Marks a path as taken (a file already in the target folder, say).
  void Reserve(std::u16string_view Path);

 private:
  std::unordered_set<std::u16string> FTaken;  // folded
  // Folded path -> the number to try next for it, so that many items of one name (say, a
  // thousand unnamed ones) do not try every number again.
  std::unordered_map<std::u16string, unsigned> FNextNumber;
};

}  // namespace kestrix::blocks
