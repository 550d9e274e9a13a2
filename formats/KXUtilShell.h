#pragma once
// KXUtil: temporary files, drag detection for every mouse button, saving OLE streams and
// storages, shell shortcuts, object descriptors and compound-file listings.
#include <windows.h>
#include <ole2.h>

#include <string>

#include "framework/Types.h"
#include "framework/Export.h"

namespace vcl {
class TTreeNode;
}

namespace kestrix {

// The temporary folder with its trailing backslash; empty when the platform call fails.
KX_API std::wstring GetTempPathEx();
// A new, empty, uniquely named file in the temporary folder; empty when none can be made.
KX_API std::wstring GetTempFileNameEx(const std::wstring& Prefix);

// True when the user moves the mouse beyond the drag thresholds (SM_CXDRAG, SM_CYDRAG; strictly
// beyond) while Button is held down, from Point (client coordinates of Window). The left button
// uses the system's DragDetect with Point converted to screen coordinates; the right and middle
// buttons capture the mouse and process the application's messages while they wait (event
// handlers may run). False when the button is released first, the window loses the capture or is
// no window. Call it on the thread that owns Window.
KX_API bool DragDetectEx(HWND Window, const vcl::TPoint& Point, vcl::TMouseButton Button);

// Writes the whole stream (from its start) to the file, replacing it; returns FileName. A file
// that cannot be created raises the framework's file-creation exception.
KX_API std::wstring SaveIStreamToFile(IStream* Stream, const std::wstring& FileName);
// Copies the storage into a new compound file; returns FileName (a failure is not reported).
KX_API std::wstring SaveIStorageToFile(IStorage* Storage, const std::wstring& FileName);

// Loads and resolves a shell shortcut and returns its target path (the short form where the
// system gives one); empty, with the outputs untouched, when it cannot be loaded or resolved.
// Window -1 (INVALID_HANDLE_VALUE) resolves without any user interface. An empty description
// becomes the shortcut's file name without folder and extension.
KX_API std::wstring GetShortcutInfo(const std::wstring& ShortcutFile, HWND Window, std::wstring& Description,
                                    std::wstring& Arguments, std::wstring& WorkingDirectory,
                                    std::wstring& IconLocation, WORD& HotKey, int& ShowCommand, int& IconIndex);
KX_API std::wstring GetShortcutPath(const std::wstring& ShortcutFile);

// The OBJECTDESCRIPTOR block for an embedded (or linked) object, with its two strings: exactly
// cbSize bytes.
KX_API std::string ObjectDescriptor(IOleObject* Object);

// Adds the storage's elements as last children of Node, depth first in enumeration order; a
// storage that cannot be opened, or lies more than 64 levels deep, stays a leaf.
KX_API void DisplayStorageUnderTreeNode(IStorage* Storage, vcl::TTreeNode* Node);
// Lists a compound file's root storage under Node; false (and nothing added) when the file does
// not exist or is not a compound file.
KX_API bool DisplayCompoundDocUnderTreeNode(const std::wstring& FileName, vcl::TTreeNode* Node);

}  // namespace kestrix
