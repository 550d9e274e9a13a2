// A Kestrix application in its own process: a form whose panel is bound to a TKXGraphicTarget. It
// waits for one OnDrop (or the timeout), writes what arrived and exits: 0 after a drop, 1 on
// timeout. To see when OnDrop runs, the window's registered drop target is wrapped in one that
// counts returns from Drop, and the panel's WindowProc is wrapped to see the packet message.
//
// Arguments: --paste 1 (take the clipboard's contents instead of waiting for a drop),
// --title T, --rect x,y,w,h, --preferred bitmap|metafile, --timeout MS, --ready NAME,
// --out FILE.
// Result lines: kind (DroppedGraphicFormat ordinal), x, y (OnDrop's client point), effect
// (DropEffect ordinal), dropsreturned (Drop calls returned before OnDrop ran), insidedrop (1 when
// OnDrop ran inside Drop), inmessage (1 when OnDrop ran while the panel handled the packet
// message), dataobject (1 when DataObject was there in OnDrop), pixels (BitmapPixels32 of a
// bitmap, hex) or records (the metafile's bytes, hex).
#include <windows.h>

#include <cstdio>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/GraphicsMetafile.h"
#include "package/KestrixVcl.h"
#include "support/PeerSide.h"
#include "support/RawDropTarget.h"
#include "targets/KXGraphicTarget.h"

using namespace kestrix;

namespace {

int gDropsReturned = 0;
bool gInsideDrop = false;
bool gInPacketMessage = false;

// Passes every call on to the component's drop target, noting when Drop runs.
class ObservingDropTarget : public vcl::TInterfacedObjectImpl<IDropTarget> {
 public:
  explicit ObservingDropTarget(IDropTarget* inner) : FInner(inner) {}
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override {
    return FInner->DragEnter(data, keys, pt, effect);
  }
  STDMETHODIMP DragOver(DWORD keys, POINTL pt, DWORD* effect) override { return FInner->DragOver(keys, pt, effect); }
  STDMETHODIMP DragLeave() override { return FInner->DragLeave(); }
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override {
    gInsideDrop = true;
    HRESULT hr = FInner->Drop(data, keys, pt, effect);
    gInsideDrop = false;
    ++gDropsReturned;
    return hr;
  }

 private:
  vcl::TComPtr<IDropTarget> FInner;
};

}  // namespace

int main() {
  auto args = kxtest::PeerArguments();
  TKestrixLibrary library;
  const kxtest::TPeerWindow window = kxtest::PeerWindowArguments(args, L"kx_peer_picturetarget");

  vcl::TForm form(nullptr);
  form.SetText(window.Title);
  form.SetBounds(window.X, window.Y, window.W, window.H);
  auto* panel = new vcl::TPanel(&form);
  panel->SetParent(&form);
  panel->SetBounds(0, 0, window.W - 20, window.H - 40);
  auto* target = new TKXGraphicTarget(&form);
  target->setPreferredFormat(args[L"preferred"] == L"bitmap" ? dgfBitmap : dgfMetafile);
  target->setAcceptorControl(panel);

  HWND wnd = panel->Handle();
  vcl::TComPtr<IDropTarget> registered(static_cast<IDropTarget*>(GetPropW(wnd, L"OleDropTargetInterface")));
  vcl::TComPtr<IDropTarget> observer(new ObservingDropTarget(registered.Get()));
  RevokeDragDrop(wnd);
  RegisterDragDrop(wnd, observer.Get());
  vcl::TWndMethod inner = panel->getWindowProc();
  panel->setWindowProc([inner](vcl::TMessage& m) {
    const bool packet = m.Msg == WM_GRAPHICTARGETDROP;
    if (packet) gInPacketMessage = true;
    inner(m);
    if (packet) gInPacketMessage = false;
  });

  std::string result;
  target->setOnDrop([&](TObject*, vcl::TWinControl*, vcl::TPicture* picture, int dx, int dy) {
    char line[256];
    std::snprintf(line, sizeof line, "kind=%d\nx=%d\ny=%d\neffect=%d\ndropsreturned=%d\ninsidedrop=%d\ninmessage=%d\ndataobject=%d\n",
                  target->getDroppedGraphicFormat(), dx, dy, target->getDropEffect(), gDropsReturned, gInsideDrop,
                  gInPacketMessage, target->getDataObject() ? 1 : 0);
    result = line;
    vcl::TGraphic* graphic = picture ? picture->Graphic() : nullptr;
    if (auto* metafile = dynamic_cast<vcl::TMetafile*>(graphic))
      result += "records=" + kxtest::HexOf(kxtest::EnhMetaFileBytes(metafile->Handle())) + "\n";
    else if (auto* bitmap = dynamic_cast<vcl::TBitmap*>(graphic))
      result += "pixels=" + kxtest::HexOf(kxtest::BitmapPixels32(bitmap->Handle())) + "\n";
  });
  kxtest::ShowAndAwaitDrop(form.Handle(), args, window.Timeout, [&] { return !result.empty(); },
                           [&] { return target->PasteFromClipboard(); });
  panel->setWindowProc(inner);
  RevokeDragDrop(wnd);
  kxtest::WritePeerResult(args[L"out"], result.empty() ? "timeout=1\n" : result);
  return result.empty() ? 1 : 0;
}
