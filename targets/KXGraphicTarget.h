#pragma once
// TKXGraphicTarget: makes a windowed control (its acceptor) accept dropped pictures from any OLE
// application: bitmaps, device-independent bitmaps, enhanced and old-style metafiles, images a
// web browser offers by URL ("Netscape Image Format"), which are fetched through the browser, and
// image files offered only as virtual files (GIF, BMP, PNG, JPEG, ...), which arrive as bitmaps.
// OnDrop is raised from the acceptor's message loop after the drop has returned to the source.
#include "framework/Picture.h"
#include "targets/KXGenericTarget.h"

namespace kestrix {

class TGraphicDropTarget;

class KX_API TKXGraphicTarget : public TKXGenericTarget {
 public:
  explicit TKXGraphicTarget(TComponent* AOwner);
  ~TKXGraphicTarget() override;

  // ---- what is accepted ----
  TDropGraphicFormats getAcceptGraphicFormats() const { return FAcceptGraphicFormats; }
  // Re-evaluates the current drag's data object at once.
  void setAcceptGraphicFormats(TDropGraphicFormats Value);
  bool getAcceptBitmap() const { return FAcceptBitmap; }
  void setAcceptBitmap(bool Value) { SetAccepted(dgfBitmap, Value); }
  bool getAcceptMetafile() const { return FAcceptMetafile; }
  void setAcceptMetafile(bool Value) { SetAccepted(dgfMetafile, Value); }
  // The kind fetched first at a drop. It is fetched even when not accepted; only the other kind
  // depends on its accept flag.
  TDropGraphicFormat getPreferredFormat() const { return FPreferredDropFormat; }
  void setPreferredFormat(TDropGraphicFormat Value) { FPreferredDropFormat = Value; }

  // ---- the last drop ----
  // The picture of the last drop (nil before the first). The next successful drop frees it: an
  // application that keeps the image copies it.
  vcl::TPicture* getPicture() const;
  // dgfMetafile when the picture holds a metafile, otherwise dgfBitmap (also with no picture).
  TDropGraphicFormat getDroppedGraphicFormat() const;

  // ---- the current drag ----
  // The kinds the current data object lists: CF_BITMAP, CF_DIB, a browser image or a virtual file
  // (a file group descriptor naming an item that is not a folder, with "FileContents") for
  // bitmaps, CF_ENHMETAFILE for metafiles (CF_METAFILEPICT is not counted).
  TDropGraphicFormats getAvailableGraphicFormats() const;

  const TKXGraphicDropType& getOnDrop() const { return FOnDrop; }
  void setOnDrop(TKXGraphicDropType Value) { FOnDrop = std::move(Value); }

 protected:
  // The deferred step of a drop (WM_GRAPHICTARGETDROP) is consumed here.
  bool HandleAcceptorMessage(vcl::TMessage& Message) override;

 private:
  void SetAccepted(TDropGraphicFormat Format, bool Value);
  TGraphicDropTarget* Target() const;

  TKXGraphicDropType FOnDrop;
  TDropGraphicFormat FPreferredDropFormat = dgfMetafile;
  TDropGraphicFormats FAcceptGraphicFormats{dgfMetafile, dgfBitmap};
  bool FAcceptBitmap = true;
  bool FAcceptMetafile = true;
};

}  // namespace kestrix
