#pragma once
// Drag images through the shell's helpers (CLSID_DragDropHelper): a source hands its image to the
// drag-source helper, a target forwards its drag calls to the drop-target helper so that images
// of any application's drag show over it. Windows draws them; a system may have no helper, and
// Wine's answers E_NOTIMPL, so every failure leaves the drag as it would be without an image.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <functional>
#include <string>

#include "framework/ComObj.h"

namespace kestrix {

// The largest side of a drag image made by the library.
inline constexpr int kDragImageMaxSide = 256;

// Hands Bitmap to the drag-source helper as Data's drag image, the cursor at the middle of its
// top edge. The helper owns a bitmap it accepts; any other is deleted here. True when accepted.
bool SetDragImage(IDataObject* Data, HBITMAP Bitmap);

// A drag image of Natural size scaled down to fit kDragImageMaxSide (never up), white, then what
// Draw paints into the rectangle it is given. Null for an empty size or when GDI fails.
HBITMAP MakeDragImage(SIZE Natural, const std::function<void(HDC, const RECT&)>& Draw);
// A small rendering of text: its first lines in the system's message font. Null for no text.
HBITMAP TextDragImage(const std::wstring& Text);
// A scaled copy of an application's bitmap.
HBITMAP BitmapDragImage(HBITMAP Bitmap);

// The target side: one drop target's calls forwarded to the drop-target helper, made at
// DragEnter and let go after DragLeave or Drop.
class TDropTargetImages {
 public:
  void DragEnter(HWND Target, IDataObject* Data, POINTL pt, DWORD Effect);
  void DragOver(POINTL pt, DWORD Effect);
  void DragLeave();
  void Drop(IDataObject* Data, POINTL pt, DWORD Effect);

 private:
  vcl::TComPtr<IDropTargetHelper> FHelper;
};

}  // namespace kestrix
