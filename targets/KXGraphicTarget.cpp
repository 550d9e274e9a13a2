#include "targets/KXGraphicTarget.h"

#include "framework/GraphicsMetafile.h"
#include "targets/KXGraphicDropTarget.h"
#include "targets/KXVirtualImage.h"
#include "vocabulary/KXImageFiles.h"

namespace kestrix {

TKXGraphicTarget::TKXGraphicTarget(TComponent* AOwner) : TKXGenericTarget(AOwner) {
  SetDropTarget(vcl::MakeComObject<TGraphicDropTarget>(this));
}

TKXGraphicTarget::~TKXGraphicTarget() = default;

TGraphicDropTarget* TKXGraphicTarget::Target() const { return static_cast<TGraphicDropTarget*>(DropTargetObject()); }

void TKXGraphicTarget::setAcceptGraphicFormats(TDropGraphicFormats Value) {
  if (Value == FAcceptGraphicFormats) return;
  FAcceptGraphicFormats = Value;
  FAcceptBitmap = Value.Contains(dgfBitmap);
  FAcceptMetafile = Value.Contains(dgfMetafile);
  Target()->ReevaluateAcceptance();
}

void TKXGraphicTarget::SetAccepted(TDropGraphicFormat Format, bool Value) {
  TDropGraphicFormats formats = FAcceptGraphicFormats;
  if (Value) formats.Include(Format);
  else formats.Exclude(Format);
  setAcceptGraphicFormats(formats);
}

vcl::TPicture* TKXGraphicTarget::getPicture() const { return Target()->getPicture(); }

TDropGraphicFormat TKXGraphicTarget::getDroppedGraphicFormat() const {
  vcl::TPicture* picture = getPicture();
  return picture && dynamic_cast<vcl::TMetafile*>(picture->Graphic()) ? dgfMetafile : dgfBitmap;
}

TDropGraphicFormats TKXGraphicTarget::getAvailableGraphicFormats() const {
  const TOfferedFormats offered(*this);
  TDropGraphicFormats result;
  IDataObject* data = Target()->CurrentDataObject().Get();
  if (offered.Has(CF_BITMAP) || offered.Has(CF_DIB) || offered.Has(CF_NETSCAPEIMAGE) || offered.Has(PNGClipboardFormat()) ||
      (offered.Has(CF_HDROP) && OffersImageFile(data)) || (offered.Has(CF_FILECONTENTS) && OffersVirtualImage(data)))
    result.Include(dgfBitmap);
  if (offered.Has(CF_ENHMETAFILE)) result.Include(dgfMetafile);
  return result;
}

bool TKXGraphicTarget::HandleAcceptorMessage(vcl::TMessage& Message) {
  if (WM_GRAPHICTARGETDROP == 0 || Message.Msg != WM_GRAPHICTARGETDROP) return false;
  Target()->CompleteDrop(Message.WParam);
  return true;
}

}  // namespace kestrix
