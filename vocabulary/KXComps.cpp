#include "vocabulary/KXComps.h"

#include "framework/UnitInit.h"
#include "package/KestrixVcl.h"

namespace kestrix {

UINT WM_GRAPHICTARGETDROP = 0;
UINT CF_NETSCAPEIMAGE = 0;
UINT CF_HTML = 0;
UINT CF_RTF = 0;
UINT CF_URL = 0;
UINT CF_NETSCAPEBOOKMARK = 0;
UINT CF_FILEGROUPDESCRIPTOR = 0;
UINT CF_FILECONTENTS = 0;
UINT CF_URLW = 0;
UINT CF_FILEGROUPDESCRIPTORW = 0;
UINT CF_MOZURL = 0;
UINT CF_TEXTHTML = 0;
UINT CF_PERFORMEDDROPEFFECT = 0;
UINT CF_PREFERREDDROPEFFECT = 0;

namespace {

vcl::TUnitCounter unitCounter;

constexpr const wchar_t* kEffectNames[] = {L"deNone", L"deCopy", L"deMove", L"deLink", L"deScroll"};

}  // namespace

DWORD dropEffectFromEnum(TDropEffect Effect) {
  return Effect == deNone ? 0 : DWORD{1} << (static_cast<unsigned>(Effect) - 1);
}

DWORD dropEffectFromSet(TDropEffects Effects) {
  DWORD mask = 0;
  for (TDropEffect e : {deCopy, deMove, deLink, deScroll})
    if (Effects.Contains(e)) mask |= dropEffectFromEnum(e);
  return mask;
}

TDropEffect EnumFromDropEffect(DWORD Mask) {
  if (Mask == 0) return deNone;
  TDropEffect result = deCopy;
  for (TDropEffect e : {deCopy, deMove, deLink})
    if (Mask & dropEffectFromEnum(e)) result = e;
  return result;
}

TDropEffects setFromDropEffect(DWORD Mask) {
  if (Mask == 0) return {deNone};
  TDropEffects result;
  for (TDropEffect e : {deCopy, deMove, deLink})
    if (Mask & dropEffectFromEnum(e)) result.Include(e);
  return result;
}

TDropEffect singleEffectFromSet(TDropEffects Effects) {
  for (TDropEffect e : {deNone, deCopy, deMove, deLink, deScroll})
    if (Effects.Contains(e)) return e;
  return deNone;
}

std::wstring stringFromDropEffects(TDropEffects Effects) {
  std::wstring s = L"[";
  for (TDropEffect e : {deNone, deCopy, deMove, deLink, deScroll})
    if (Effects.Contains(e)) {
      s += kEffectNames[e];
      s += L',';
    }
  if (s.back() == L',') s.pop_back();
  return s + L"]";
}

DWORD OleStdGetDropEffect(DWORD KeyState) {
  const bool control = KeyState & MK_CONTROL, shift = KeyState & MK_SHIFT;
  if (control && shift) return DROPEFFECT_LINK;
  if (control) return DROPEFFECT_COPY;
  if (shift) return DROPEFFECT_MOVE;
  return DROPEFFECT_NONE;
}

DWORD MK_XButtonFromTMouseButton(vcl::TMouseButton Button) {
  switch (Button) {
    case vcl::mbRight: return MK_RBUTTON;
    case vcl::mbMiddle: return MK_MBUTTON;
    default: return MK_LBUTTON;
  }
}

TKXBaseComponent::TKXBaseComponent(TComponent* AOwner) : TComponent(AOwner) { KestrixEnsureStarted(); }

void KXCompsStartup() {
  if (!unitCounter.Enter()) return;
  OleInitialize(nullptr);  // its result is not examined: an application may have initialised OLE already
  WM_GRAPHICTARGETDROP = RegisterWindowMessageW(L"KXGraphicTargetDrop");
  struct Registration {
    UINT* id;
    const wchar_t* name;
  };
  static const Registration formats[] = {
      {&CF_NETSCAPEIMAGE, L"Netscape Image Format"}, {&CF_HTML, L"HTML Format"},
      {&CF_RTF, L"Rich Text Format"},                {&CF_URL, L"UniformResourceLocator"},
      {&CF_NETSCAPEBOOKMARK, L"Netscape Bookmark"},  {&CF_FILEGROUPDESCRIPTOR, L"FileGroupDescriptor"},
      {&CF_FILECONTENTS, L"FileContents"},           {&CF_URLW, L"UniformResourceLocatorW"},
      {&CF_FILEGROUPDESCRIPTORW, L"FileGroupDescriptorW"}, {&CF_MOZURL, L"text/x-moz-url"},
      {&CF_TEXTHTML, L"text/html"},                  {&CF_PERFORMEDDROPEFFECT, L"Performed DropEffect"},
      {&CF_PREFERREDDROPEFFECT, L"Preferred DropEffect"},
  };
  for (const Registration& r : formats) *r.id = RegisterClipboardFormatW(r.name);
}

void KXCompsShutdown() {
  if (unitCounter.Leave()) OleUninitialize();
}

}  // namespace kestrix
