#pragma once
// A TKXGraphicTarget bound to a panel, driven through the IDropTarget that OLE registered for the
// panel's window (as any OLE caller finds it), with foreign data objects as test doubles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/GraphicsMetafile.h"
#include "picsource/PictureTestSupport.h"
#include "support/FakeDataObject.h"
#include "support/TestSupport.h"
#include "targets/KXGraphicTarget.h"

namespace gtargettest {

using namespace kestrix;

struct DropSeen {
  vcl::TPicture* picture;
  vcl::TPoint at;
  bool hadDataObject;
  // What the picture held when OnDrop ran: its graphic's class and whether it was empty.
  bool metafile;
  bool empty;
};

struct BoundTarget {
  vcl::TForm form{nullptr};
  vcl::TPanel* panel;
  TKXGraphicTarget* target;
  std::vector<DropSeen> drops;
  bool insideDrop = false;
  bool dropDuringDrop = false;

  BoundTarget() {
    form.SetBounds(100, 100, 400, 300);
    panel = new vcl::TPanel(&form);
    panel->SetParent(&form);
    panel->SetBounds(10, 20, 200, 150);
    target = new TKXGraphicTarget(&form);
    target->setAcceptorControl(panel);
    target->setOnDrop([this](TObject* sender, vcl::TWinControl* acceptor, vcl::TPicture* picture, int x, int y) {
      EXPECT_EQ(sender, target);
      EXPECT_EQ(acceptor, panel);
      if (insideDrop) dropDuringDrop = true;
      vcl::TGraphic* g = picture ? picture->Graphic() : nullptr;
      drops.push_back({picture, {x, y}, static_cast<bool>(target->getDataObject()),
                       dynamic_cast<vcl::TMetafile*>(g) != nullptr, !g || g->Empty()});
    });
  }
  vcl::TComPtr<IDropTarget> DropTarget() {
    return vcl::TComPtr<IDropTarget>(static_cast<IDropTarget*>(GetPropW(panel->Handle(), L"OleDropTargetInterface")));
  }
  POINTL ScreenPoint(int x, int y) {
    vcl::TPoint p = panel->ClientToScreen({x, y});
    return {p.X, p.Y};
  }
  DWORD Enter(IDataObject* data, DWORD keys = 0, DWORD allowed = DROPEFFECT_COPY) {
    DWORD effect = allowed;
    EXPECT_EQ(DropTarget()->DragEnter(data, keys, ScreenPoint(5, 6), &effect), S_OK);
    return effect;
  }
  // Enter and Drop; OnDrop has not run when this returns (its message is still queued).
  std::pair<HRESULT, DWORD> DragAndDrop(IDataObject* data, DWORD keys = 0, DWORD allowed = DROPEFFECT_COPY) {
    Enter(data, keys, allowed);
    DWORD effect = allowed;
    insideDrop = true;
    HRESULT hr = DropTarget()->Drop(data, keys, ScreenPoint(7, 8), &effect);
    insideDrop = false;
    return {hr, effect};
  }
  // Lets the acceptor's message loop run the deferred step.
  void Pump(DWORD ms = 100) { kxtest::PumpMessages(ms); }
  // A whole drop including the deferred step.
  std::pair<HRESULT, DWORD> DropAndPump(IDataObject* data, DWORD keys = 0, DWORD allowed = DROPEFFECT_COPY) {
    auto result = DragAndDrop(data, keys, allowed);
    Pump();
    return result;
  }
};

// A packed DIB (what CF_DIB carries): the bitmap's BMP file without its 14-byte file header.
inline std::string PackedDIBOf(vcl::TBitmap& bitmap) { return pictest::BmpFileOf(bitmap).substr(14); }

// A hand-made packed DIB: a 40-byte header with these fields, then `tail` bytes of table and pixels.
inline std::string DIBHeader(LONG width, LONG height, WORD bits, DWORD clrUsed, DWORD compression = BI_RGB,
                             DWORD headerSize = sizeof(BITMAPINFOHEADER)) {
  BITMAPINFOHEADER h{};
  h.biSize = headerSize;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = compression;
  h.biClrUsed = clrUsed;
  return std::string(reinterpret_cast<const char*>(&h), sizeof h);
}

// A data object rendering an enhanced metafile (copies for the receiver).
inline void OfferEnhMetafile(kxtest::FakeDataObject& data, HENHMETAFILE metafile) {
  data.OfferRendered(CF_ENHMETAFILE, TYMED_ENHMF, [metafile](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_ENHMF;
    m.hEnhMetaFile = CopyEnhMetaFileW(metafile, nullptr);
    return S_OK;
  });
}

inline void OfferBitmapHandle(kxtest::FakeDataObject& data, HBITMAP bitmap) {
  data.OfferRendered(CF_BITMAP, TYMED_GDI, [bitmap](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_GDI;
    m.hBitmap = static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0));
    return S_OK;
  });
}

// A METAFILEPICT block holding a Windows metafile converted from an enhanced one.
inline void OfferMetafilePict(kxtest::FakeDataObject& data, HENHMETAFILE metafile) {
  data.OfferRendered(CF_METAFILEPICT, TYMED_MFPICT, [metafile](const FORMATETC&, STGMEDIUM& m) {
    HDC screen = GetDC(nullptr);
    UINT size = GetWinMetaFileBits(metafile, 0, nullptr, MM_ANISOTROPIC, screen);
    std::string bits(size, '\0');
    GetWinMetaFileBits(metafile, size, reinterpret_cast<BYTE*>(bits.data()), MM_ANISOTROPIC, screen);
    ReleaseDC(nullptr, screen);
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(metafile, sizeof header, &header);
    METAFILEPICT pict{MM_ANISOTROPIC, header.rclFrame.right - header.rclFrame.left,
                      header.rclFrame.bottom - header.rclFrame.top,
                      SetMetaFileBitsEx(size, reinterpret_cast<const BYTE*>(bits.data()))};
    m.tymed = TYMED_MFPICT;
    m.hMetaFilePict = GlobalAlloc(GMEM_MOVEABLE, sizeof pict);
    std::memcpy(GlobalLock(m.hMetaFilePict), &pict, sizeof pict);
    GlobalUnlock(m.hMetaFilePict);
    return S_OK;
  });
}

}  // namespace gtargettest
