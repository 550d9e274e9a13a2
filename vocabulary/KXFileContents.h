#pragma once
// Reading one virtual file of a foreign data object: its "FileContents" rendering for one item
// (lindex), in whichever medium the source offers (global memory, a stream, or a storage that is
// saved as a compound file), copied into a framework stream in chunks so that a large item is
// never held twice. The source is untrusted: a global block is read only within its real size,
// a stream only as far as it actually delivers, and no size stated anywhere decides how much is
// read (only the caller's limit does).
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "framework/Export.h"
#include "framework/Streams.h"

namespace kestrix {

// Called after every chunk with the bytes copied so far and the total when known (the global
// block's size, the stream's Stat size); answering false cancels the read.
using TFileContentsProgress = std::function<bool(std::uint64_t Done, std::optional<std::uint64_t> Total)>;

enum class TFileContentsResult {
  Read,          // the whole item arrived in Out
  NotOffered,    // the data object offers no FileContents for this item in a medium read here
  Failed,        // GetData or a read failed (the source's producer failed, the stream broke)
  TooLarge,      // more than Limit bytes: reading stopped at the limit
  Cancelled,     // Progress answered false
};

// Reads item Index of the data object's "FileContents" into Out (from Out's position). Asks for
// TYMED_ISTREAM | TYMED_HGLOBAL | TYMED_ISTORAGE at once, as the shell does, and for each medium
// alone when a source refuses the combination. The medium is always released. Exceptions from
// Out or Progress propagate (after the medium is released).
KX_API TFileContentsResult ReadFileContents(IDataObject* DataObject, LONG Index, vcl::TStream& Out,
                                            std::uint64_t Limit = UINT64_MAX,
                                            const TFileContentsProgress& Progress = {});

// The bytes of a global block or a stream (read from its start), as ReadFileContents reads them:
// within the block's real size, as far as the stream delivers, at most Limit bytes; NotOffered
// for any other medium.
KX_API TFileContentsResult ReadMediumBytes(const STGMEDIUM& Medium, vcl::TStream& Out, std::uint64_t Limit = UINT64_MAX,
                                           const TFileContentsProgress& Progress = {});

// The data object's file group descriptor ("FileGroupDescriptorW" when Wide, else the ANSI
// "FileGroupDescriptor") as the bytes of its global block; empty when it offers none.
KX_API std::string FileGroupDescriptorBlock(IDataObject* DataObject, bool Wide);

// The registered clipboard format "FileContents".
KX_API UINT FileContentsFormat();

// "KXVirtualFilesBesideReal": offered by a file drag whose virtual files are items of their own
// dragged beside its real ones, so that a target does not take both lists for the same items
// when they happen to hold as many.
KX_API UINT FilesBesideRealFormat();

}  // namespace kestrix
