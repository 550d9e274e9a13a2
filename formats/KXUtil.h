#pragma once
// KXUtil: the toolkit for clipboard formats, data objects and the shell. The unit is split by
// subject into KXUtil*.h files; this header brings in all of them.
#include <windows.h>

#include "framework/Export.h"

namespace kestrix {

// The storage medium and item index that the next DataObjHasFormat / DataObjGetFormat asks for.
// One-shot: every such call sets them back to TYMED_HGLOBAL (1) and -1 when it ends.
extern KX_API LONG DataObjectTymed;
extern KX_API LONG DataObjectLindex;

// The operating system's version, filled by the start-up with GetVersionExW.
extern KX_API OSVERSIONINFOW OSVersionInfo;

// The unit's start-up and shut-down, run once however often requested (package start-up).
KX_API void KXUtilStartup();
KX_API void KXUtilShutdown();

}  // namespace kestrix

// Each subject's header joins here once it exists.
#if __has_include("formats/KXUtilDataObj.h")
#include "formats/KXUtilDataObj.h"    // data object inspection, format naming, byte converters
#endif
#if __has_include("formats/KXUtilHDROP.h")
#include "formats/KXUtilHDROP.h"      // HDROP file lists
#endif
#if __has_include("formats/KXUtilFileGroup.h")
#include "formats/KXUtilFileGroup.h"  // file group descriptors
#endif
#if __has_include("formats/KXUtilText.h")
#include "formats/KXUtilText.h"       // tokenising, rich edit streaming, file conversion
#endif
#if __has_include("formats/KXPIDL.h")
#include "formats/KXPIDL.h"           // item-ID lists and the shell ID list array
#endif
#if __has_include("formats/KXUtilShell.h")
#include "formats/KXUtilShell.h"      // temporary files, drag detection, shortcuts, storages
#endif
