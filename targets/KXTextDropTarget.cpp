#include "targets/KXTextDropTarget.h"

#include <shlobj.h>

#include <cstring>

#include "formats/KXUtil.h"
#include "framework/Handles.h"
#include "targets/KXTextTarget.h"

namespace kestrix {

namespace {

// A fetch candidate: the format, the medium asked for, and the kind that gates it.
struct Candidate {
  UINT format;
  DWORD tymed;
  TDropTextFormat gate;
  int customIndex;  // the entry of CustomFormats, -1 for the fixed rows
};

std::vector<Candidate> Candidates(const TKXTextTarget& owner) {
  std::vector<Candidate> rows;
  const vcl::TStringList& custom = *owner.getCustomFormats();
  for (int i = 0; i < custom.Count(); ++i) {
    LONG tymed = static_cast<LONG>(custom.Integers(i));
    rows.push_back({ClipboardFormatFromString(custom[i]), tymed ? static_cast<DWORD>(tymed) : DWORD{TYMED_HGLOBAL}, dtfCustom, i});
  }
  const Candidate fixed[] = {
      {CF_URL, TYMED_HGLOBAL, dtfURL, -1},      {CF_NETSCAPEBOOKMARK, TYMED_HGLOBAL, dtfURL, -1},
      {CF_HTML, TYMED_HGLOBAL, dtfIEHTML, -1},  {CF_RTF, TYMED_HGLOBAL, dtfRichText, -1},
      {CF_HDROP, TYMED_HGLOBAL, dtfFiles, -1},  {CF_UNICODETEXT, TYMED_HGLOBAL, dtfText, -1},
      {CF_TEXT, TYMED_HGLOBAL, dtfText, -1},
  };
  rows.insert(rows.end(), std::begin(fixed), std::end(fixed));
  return rows;
}

TDropTextFormat KindOfFormat(UINT format) {
  if (format == CF_URL || format == CF_NETSCAPEBOOKMARK) return dtfURL;
  if (format == CF_HTML) return dtfIEHTML;
  if (format == CF_RTF) return dtfRichText;
  if (format == CF_HDROP) return dtfFiles;
  if (format == CF_TEXT || format == CF_UNICODETEXT) return dtfText;
  return dtfCustom;
}

template <class S>
S CutAtFirstZero(S s) {
  size_t zero = s.find(typename S::value_type{});
  if (zero != S::npos) s.resize(zero);
  return s;
}

// The text of a fetched block. Zero-terminated formats end at their first zero character (a block
// carries its terminator and any slack of the allocation); custom formats keep every byte.
std::wstring DecodeText(UINT format, bool custom, const std::string& bytes) {
  if (format == CF_UNICODETEXT) {
    std::wstring text = UnicodeStringFromEncodedAnsiString(bytes);
    return custom ? text : CutAtFirstZero(text);
  }
  std::string raw = custom ? bytes : CutAtFirstZero(bytes);
  // "HTML Format" is UTF-8 by definition.
  if (format == CF_HTML) return vcl::UnicodeFromUtf8(raw);
  return vcl::UnicodeFromAnsi(raw);
}

// Only hands a block to DragQueryFileW when it holds at least one name and its list ends inside
// it: the shell reads a foreign, malformed block past its end (Wine's even counts a name in an
// empty list).
bool HasWellFormedNames(HGLOBAL block) {
  vcl::TGlobalLock lock(block);
  if (!lock || lock.Size() < sizeof(DROPFILES)) return false;
  const auto* header = lock.As<const DROPFILES>();
  const size_t size = lock.Size(), start = header->pFiles;
  if (start < sizeof(DROPFILES) || start >= size) return false;
  const char* p = lock.As<const char>() + start;
  const size_t avail = size - start, unit = header->fWide ? 2 : 1;
  auto isNul = [&](size_t at) { return at + unit <= avail && std::memcmp(p + at, "\0\0", unit) == 0; };
  if (avail < unit || isNul(0)) return false;
  for (size_t at = 0; at + 2 * unit <= avail; at += unit)
    if (isNul(at) && isNul(at + unit)) return true;
  return false;
}

}  // namespace

TTextDropTarget::TTextDropTarget(TKXTextTarget* aOwner) : TKXDropTargetBase(aOwner, true), theOwner(aOwner) {}

void TTextDropTarget::OwnerGone() {
  theOwner = nullptr;
  TKXDropTargetBase::OwnerGone();
}

bool TTextDropTarget::AcceptsCurrentFormats() {
  if (!FDataObj || !theOwner) return false;
  const TDropTextFormats accepted = theOwner->getAcceptTextFormats();
  for (const Candidate& c : Candidates(*theOwner))
    if (accepted.Contains(c.gate) && Offers(c.format, c.tymed)) return true;
  return false;
}

STDMETHODIMP TTextDropTarget::Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  if (!theOwner) {
    *pdwEffect = DROPEFFECT_NONE;
    return S_OK;
  }
  // OLE hands the data object again; it is the one of DragEnter.
  if (dataObj && FDataObj.Get() != dataObj) FDataObj = vcl::TComPtr<IDataObject>(dataObj);
  HRESULT hr = vcl::ComBoundary([&] { return DoDrop(grfKeyState, pt, *pdwEffect); });
  if (FAILED(hr)) *pdwEffect = DROPEFFECT_NONE;
  EndDrag();
  return hr;
}

HRESULT TTextDropTarget::DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect) {
  theString.clear();
  if (!QueryDrop(grfKeyState, dwEffect, pt)) return static_cast<HRESULT>(0xFFFFFFFF);
  ApplyEffectOverride(dwEffect);
  theOwner->FCustomFormatIndex = -1;

  HRESULT hr = static_cast<HRESULT>(0xFFFFFFFF);
  vcl::TStgMedium medium;
  const Candidate* fetched = nullptr;
  const TDropTextFormats accepted = theOwner->getAcceptTextFormats();
  const std::vector<Candidate> rows = Candidates(*theOwner);
  for (const Candidate& c : rows) {
    if (!accepted.Contains(c.gate) || c.format == 0 || !FDataObj) continue;
    FORMATETC fe{static_cast<CLIPFORMAT>(c.format), nullptr, DVASPECT_CONTENT, -1, c.tymed};
    hr = FDataObj->GetData(&fe, medium.Put());
    if (SUCCEEDED(hr)) {
      fetched = &c;
      break;
    }
  }
  if (!fetched) {
    dwEffect = DROPEFFECT_NONE;
    return hr;
  }
  if (fetched->customIndex >= 0) theOwner->FCustomFormatIndex = fetched->customIndex;

  const bool inGlobal = medium->tymed == TYMED_HGLOBAL && medium->hGlobal;
  if (fetched->format == CF_HDROP) {
    if (inGlobal && HasWellFormedNames(medium->hGlobal)) {
      theOwner->GetDroppedFiles(static_cast<HDROP>(medium->hGlobal));
    } else {
      theOwner->FText.clear();
    }
    theString = theOwner->FText;
  } else {
    std::string bytes = inGlobal ? GetHandleDataToString(medium->hGlobal) : std::string();
    theString = DecodeText(fetched->format, fetched->customIndex >= 0, bytes);
    theOwner->FText = theString;
  }
  medium.Reset();

  theOwner->FDroppedTextFormat = KindOfFormat(fetched->format);
  if (theOwner->FDroppedTextFormat == dtfURL) TakeURLTitle(fetched->format);

  if (theOwner->getOnDrop()) {
    vcl::TPoint p = theOwner->AcceptorClientPoint(pt);
    RaiseEvent([&] { theOwner->getOnDrop()(theOwner, theOwner->getAcceptorControl(), theString, p.X, p.Y); });
  }
  return S_OK;
}

void TTextDropTarget::TakeURLTitle(UINT fetchedFormat) {
  enum : size_t { kCountSize = 4, kNameOffset = 72, kDescriptorSize = 332, kTitleOffset = kCountSize + kNameOffset };
  std::string& title = theOwner->FURLTitle;
  title.clear();
  FORMATETC fe{static_cast<CLIPFORMAT>(CF_FILEGROUPDESCRIPTOR), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  vcl::TStgMedium medium;
  if (!FDataObj || FAILED(FDataObj->GetData(&fe, medium.Put())) || medium->tymed != TYMED_HGLOBAL) return;
  vcl::TGlobalLock lock(medium->hGlobal);
  if (!lock || lock.Size() < kTitleOffset) return;
  UINT count = 0;
  std::memcpy(&count, lock.Ptr(), sizeof count);
  if (count == 0) return;
  // The name ends at its terminator, at the end of the descriptor, or at the end of the block.
  const size_t limit = std::min<size_t>(lock.Size(), kCountSize + kDescriptorSize) - kTitleOffset;
  const char* name = lock.As<const char>() + kTitleOffset;
  title.assign(name, strnlen(name, limit));

  auto removeFirst = [&title](const char* upperNeedle) {
    std::string upper = title;
    for (char& ch : upper)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    size_t at = upper.find(upperNeedle);
    if (at != std::string::npos) title.erase(at, std::strlen(upperNeedle));
  };
  removeFirst(".URL");
  if (fetchedFormat == CF_NETSCAPEBOOKMARK) removeFirst("SHORTCUT TO ");
}

}  // namespace kestrix
