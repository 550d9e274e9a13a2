#pragma once
// TGraphicDropTarget: the OLE drop-target object behind a TKXGraphicTarget. It accepts a drag that
// offers a picture kind the component accepts, never chooses link, and completes a drop in two
// stages: Drop fetches and decodes a bitmap or metafile (or takes a browser image's URL) and posts
// a packet to the acceptor window; the acceptor's window procedure then retrieves the browser
// image and raises OnDrop, after Drop has returned.
#include <memory>
#include <string>
#include <vector>

#include "framework/Picture.h"
#include "targets/KXDropTargetBase.h"

namespace kestrix {

class TKXGraphicTarget;

// Frees a packet the way Drop allocated it (the record and its URL copy).
struct KX_API TGraphicDropPacketDeleter {
  void operator()(PGraphicDropPacket Packet) const;
};
using TOwnedGraphicDropPacket = std::unique_ptr<TGraphicDropPacket, TGraphicDropPacketDeleter>;

class KX_API TGraphicDropTarget : public TKXDropTargetBase {
 public:
  bool AcceptsCurrentFormats() override;
  // True when the drop would take a virtual file: its source may delete a file it is told was
  // moved, so without keys copy is chosen before move.
  bool ReadsFileNames() override;
  void OwnerGone() override;
  STDMETHODIMP Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;

  // The picture of the last drop (nil before the first); owned here and freed by the next drop.
  vcl::TPicture* getPicture() const { return thePicture.get(); }

  // The deferred step, run by the component for WM_GRAPHICTARGETDROP: retrieves a browser image
  // into the picture, raises OnDrop and ends the drag. A wParam that is not a packet this object
  // posted and has not yet handled (a stray or forged message) is ignored; false then.
  bool CompleteDrop(WPARAM PacketParam);

  // ---- the parsers of dropped blocks (forwards to formats/KXDIBBlock.h, KXNetscapeImageBlock.h) ----
  // A BMP file for a packed DIB: a 14-byte file header (offset of the bits: 14 + biSize + 4 x
  // colours, or 3 x colours after an old 12-byte core header) followed by all Size bytes. Empty
  // when the block is shorter than its header, or than the header, colour table, masks and pixels
  // its header declares.
  static std::string BitmapFileFromDIB(const void* DIB, size_t Size);
  // The URL of a "Netscape Image Format" block: the ANSI text at offset 44, ending at a zero byte
  // or at the end of the block. Empty for a block of 44 bytes or fewer.
  static std::string URLFromNetscapeImage(const void* Block, size_t Size);

 private:
  friend struct vcl::TComObjectFactory;
  explicit TGraphicDropTarget(TKXGraphicTarget* aOwner);
  ~TGraphicDropTarget() override;

  HRESULT DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect);
  // Decodes a fetched medium into Picture; returns the URL of a browser image.
  std::string Decode(UINT format, const STGMEDIUM& medium, vcl::TPicture& Picture);
  // Posts the packet to the acceptor; false (the packet freed) when it cannot be posted.
  bool PostPacket(TOwnedGraphicDropPacket Packet);

  TKXGraphicTarget* theOwner;
  std::unique_ptr<vcl::TPicture> thePicture;
  // Packets posted and not yet handled: only these are taken from a WM_GRAPHICTARGETDROP, and
  // those never handled (the component went first) are freed with this object.
  std::vector<TOwnedGraphicDropPacket> FPendingPackets;
};

}  // namespace kestrix
