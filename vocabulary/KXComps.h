#pragma once
// The vocabulary every source and target shares: drop effects and their conversions to the OLE
// effect mask, the text and picture format kinds, the event types and the base component.
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <string>

#include "framework/Classes.h"
#include "framework/Types.h"

namespace vcl {
class TWinControl;
class TImage;
class TPicture;
}  // namespace vcl

namespace kestrix {

using vcl::TComponent;
using vcl::TObject;

enum TDropEffect : std::uint8_t { deNone, deCopy, deMove, deLink, deScroll };
using TDropEffects = vcl::TSet<TDropEffect>;

enum TDropTextFormat : std::uint8_t { dtfURL, dtfIEHTML, dtfRichText, dtfText, dtfFiles, dtfCustom };
using TDropTextFormats = vcl::TSet<TDropTextFormat>;

enum TDropGraphicFormat : std::uint8_t { dgfMetafile, dgfBitmap };
using TDropGraphicFormats = vcl::TSet<TDropGraphicFormat>;

enum TKestrixAboutInfo : std::uint8_t { aiKestrix };

// ---- conversions between the effect sets and the OLE DROPEFFECT mask ----
// deScroll maps to bit 3 (8), not to DROPEFFECT_SCROLL; unknown mask bits are ignored.
KX_API DWORD dropEffectFromEnum(TDropEffect Effect);
KX_API DWORD dropEffectFromSet(TDropEffects Effects);
// The highest of copy, move and link present wins; 0 gives deNone, a mask without them deCopy.
KX_API TDropEffect EnumFromDropEffect(DWORD Mask);
// 0 gives [deNone]; a mask without copy, move or link gives [].
KX_API TDropEffects setFromDropEffect(DWORD Mask);
// The member with the lowest ordinal; [] gives deNone.
KX_API TDropEffect singleEffectFromSet(TDropEffects Effects);
// "[deCopy,deMove]" style.
KX_API std::wstring stringFromDropEffects(TDropEffects Effects);
// The effect a key state asks for: Control+Shift link, Control copy, Shift move, else none.
KX_API DWORD OleStdGetDropEffect(DWORD KeyState);
KX_API DWORD MK_XButtonFromTMouseButton(vcl::TMouseButton Button);

// ---- event types ----
using TKXBeforeDropType = std::function<void(TObject* Sender, TComponent* Donor, std::wstring& DropText, bool& CancelDrop)>;
using TKXAfterDropType = std::function<void(TObject* Sender, TComponent* Donor, bool DroppedOK)>;
using TKXGiveFeedbackType = std::function<void(TObject* Sender, TDropEffect Effect, bool& DefCursors)>;
using TKXRenderCustomFormatType =
    std::function<void(TObject* Sender, const std::wstring& FormatName, std::wstring& FormatContent)>;
using TKXGraphicBeforeDropType =
    std::function<void(TObject* Sender, vcl::TImage* Donor, vcl::TPicture* DropPicture, bool& CancelDrop)>;
using TKXGraphicAfterDropType = std::function<void(TObject* Sender, vcl::TImage* Donor, bool DroppedOK)>;
using TKXDropType =
    std::function<void(TObject* Sender, vcl::TWinControl* Acceptor, const std::wstring& DropText, int X, int Y)>;
using TKXDragEnterOverType = std::function<void(TObject* Sender, TDropEffect Effect, int X, int Y)>;
using TKXGraphicDropType =
    std::function<void(TObject* Sender, vcl::TWinControl* Acceptor, vcl::TPicture* ThePicture, int X, int Y)>;
using vcl::TNotifyEvent;

// ---- base component ----
// The base of every Kestrix component. Creating one starts the library if it is not started yet
// (see package/KestrixVcl.h).
class KX_API TKXBaseComponent : public TComponent {
 public:
  explicit TKXBaseComponent(TComponent* AOwner);
  TKestrixAboutInfo getAbout() const { return FAboutInfo; }
  void setAbout(TKestrixAboutInfo Value) { FAboutInfo = Value; }

 private:
  TKestrixAboutInfo FAboutInfo = aiKestrix;
};

// ---- the picture target's deferred-drop packet ----
// Travels in the wParam of WM_GRAPHICTARGETDROP. The poster allocates the record and the string
// (with new / new[]); the handler frees both.
struct TGraphicDropPacket {
  vcl::TPoint aPt;            // drop point, client coordinates of the acceptor
  char* aNetscapeURL = nullptr;  // zero-terminated ANSI URL, or null
};
using PGraphicDropPacket = TGraphicDropPacket*;

// ---- identifiers registered by the start-up ----
// Filled once by the library's start-up and read-only afterwards. They are the library's own
// bookkeeping, exported so that tools and tests can see what was registered.
extern KX_API UINT WM_GRAPHICTARGETDROP;    // "KXGraphicTargetDrop"
extern KX_API UINT CF_NETSCAPEIMAGE;        // "Netscape Image Format"
extern KX_API UINT CF_HTML;                 // "HTML Format"
extern KX_API UINT CF_RTF;                  // "Rich Text Format"
extern KX_API UINT CF_URL;                  // "UniformResourceLocator"
extern KX_API UINT CF_NETSCAPEBOOKMARK;     // "Netscape Bookmark"
extern KX_API UINT CF_FILEGROUPDESCRIPTOR;  // "FileGroupDescriptor"
extern KX_API UINT CF_FILECONTENTS;         // "FileContents"
extern KX_API UINT CF_URLW;                 // "UniformResourceLocatorW"
extern KX_API UINT CF_FILEGROUPDESCRIPTORW; // "FileGroupDescriptorW"
extern KX_API UINT CF_MOZURL;               // "text/x-moz-url"
extern KX_API UINT CF_TEXTHTML;             // "text/html"
extern KX_API UINT CF_PERFORMEDDROPEFFECT;  // "Performed DropEffect"
extern KX_API UINT CF_PREFERREDDROPEFFECT;  // "Preferred DropEffect"

// The unit's start-up (OleInitialize, then the registrations in the order above) and shut-down
// (OleUninitialize), each run once however often requested; called by the package start-up.
KX_API void KXCompsStartup();
KX_API void KXCompsShutdown();

}  // namespace kestrix
