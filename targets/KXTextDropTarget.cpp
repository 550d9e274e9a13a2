#include "targets/KXTextDropTarget.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/KXHTMLBlock.h"
#include "formats/KXUtil.h"
#include "formats/KXUtilBlocks.h"
#include "framework/Handles.h"
#include "package/KXConsts.h"
#include "targets/KXTextTarget.h"
#include "vocabulary/KXTextFormats.h"

namespace kestrix {

namespace {

// A fetch candidate: the format, the medium asked for, and the kind that gates it.
struct Candidate {
  UINT format;
  DWORD tymed;
  TDropTextFormat gate;
  int customIndex;  // the entry of CustomFormats, -1 for the rows of the table
};

// The owner's custom formats first, then the table of text formats.
std::vector<Candidate> Candidates(const TKXTextTarget& owner) {
  std::vector<Candidate> rows;
  const vcl::TStringList& custom = *owner.getCustomFormats();
  for (int i = 0; i < custom.Count(); ++i) {
    LONG tymed = static_cast<LONG>(custom.Integers(i));
    rows.push_back({ClipboardFormatFromString(custom[i]), tymed ? static_cast<DWORD>(tymed) : DWORD{TYMED_HGLOBAL}, dtfCustom, i});
  }
  for (const TTextFormatRow& row : kTextFormats) rows.push_back({row.Format(), row.Tymed, row.Kind, -1});
  return rows;
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
  if (format == CF_TEXTHTML && !custom) {
    // Browsers write it as UTF-8 or as UTF-16, with or without a byte order mark.
    std::wstring text = blocks::LooksLikeUTF16LE(bytes) ? CutAtFirstZero(UnicodeStringFromEncodedAnsiString(bytes))
                                                         : vcl::UnicodeFromUtf8(CutAtFirstZero(bytes));
    if (!text.empty() && text.front() == L'\xFEFF') text.erase(0, 1);
    return text;
  }
  if (format == CF_UNICODETEXT || (format == CF_URLW && !custom)) {
    std::wstring text = UnicodeStringFromEncodedAnsiString(bytes);
    return custom ? text : CutAtFirstZero(text);
  }
  if (format == CF_MOZURL && !custom) return UnicodeStringFromEncodedAnsiString(blocks::Slice(bytes, blocks::ReadMozURL(bytes).URL));
  if (format == CF_HTML) {
    // UTF-8 by definition; the data ends at its first zero, or before it where EndHTML says so.
    const size_t end = custom ? bytes.size() : blocks::ReadHTMLBlock(bytes).DataEnd;
    return vcl::UnicodeFromUtf8(bytes.substr(0, end));
  }
  return vcl::UnicodeFromAnsi(custom ? bytes : CutAtFirstZero(bytes));
}

// Only hands a block to DragQueryFileW when it holds at least one name and its list ends inside
// it: the shell reads a foreign, malformed block past its end (Wine's even counts a name in an
// empty list).
bool HasWellFormedNames(HGLOBAL block) {
  vcl::TGlobalLock lock(block);
  return blocks::HDROPHasWellFormedNames(lock.View());
}

// The block's names as the project's own parser finds them: one pass over the list, however
// many and however long the names (the shell's reader walks the list again for every name).
std::vector<std::wstring> NamesOf(HDROP hDrop) {
  vcl::TGlobalLock lock(hDrop);
  const std::string_view block = lock.View();
  const blocks::THDROPList list = blocks::ReadHDROPList(block);
  std::vector<std::wstring> names;
  names.reserve(list.Names.size());
  for (const blocks::TByteRange& range : list.Names) {
    const std::string_view bytes = blocks::Slice(block, range);
    names.push_back(list.Wide ? UnicodeStringFromEncodedAnsiString(bytes) : vcl::UnicodeFromAnsi(std::string(bytes)));
  }
  return names;
}

}  // namespace

std::wstring DroppedFileNames(HDROP hDrop) {
  const std::vector<std::wstring> names = NamesOf(hDrop);
  std::wstring text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) text += res::sLineBreak;
    text += names[i];
  }
  return text;
}

std::vector<std::wstring> DroppedFileList(HGLOBAL block) {
  if (!block || !HasWellFormedNames(block)) return {};
  return NamesOf(static_cast<HDROP>(block));
}

TTextDropTarget::TTextDropTarget(TKXTextTarget* aOwner) : TKXDropTargetBase(aOwner, true), theOwner(aOwner) {}

void TTextDropTarget::OwnerGone() {
  theOwner = nullptr;
  TKXDropTargetBase::OwnerGone();
}

bool TTextDropTarget::AcceptsCurrentFormats() {
  if (!CurrentDataObject() || !theOwner) return false;
  const TDropTextFormats accepted = theOwner->getAcceptTextFormats();
  for (const Candidate& c : Candidates(*theOwner))
    if (accepted.Contains(c.gate) && Offers(c.format, c.tymed)) return true;
  return false;
}

bool TTextDropTarget::ReadsFileNames() {
  if (!CurrentDataObject() || !theOwner) return false;
  const TDropTextFormats accepted = theOwner->getAcceptTextFormats();
  for (const Candidate& c : Candidates(*theOwner))
    if (accepted.Contains(c.gate) && Offers(c.format, c.tymed)) return c.format == CF_HDROP;
  return false;
}

STDMETHODIMP TTextDropTarget::Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  if (!theOwner) {
    *pdwEffect = DROPEFFECT_NONE;
    return S_OK;
  }
  TakeDropDataObject(dataObj);
  HRESULT hr = vcl::ComBoundary([&] { return DoDrop(grfKeyState, pt, *pdwEffect); });
  if (FAILED(hr)) *pdwEffect = DROPEFFECT_NONE;
  Images().Drop(dataObj, pt, *pdwEffect);
  EndDrag();
  return hr;
}

HRESULT TTextDropTarget::DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect) {
  theString.clear();
  if (!QueryDrop(grfKeyState, dwEffect, pt)) return kTextDropNotTaken;
  TTextDropResult result;
  result.Effect = ApplyEffectOverride(dwEffect);
  const HRESULT hr = FetchText(result);
  dwEffect = result.Fetched ? dropEffectFromEnum(result.Effect) : DROPEFFECT_NONE;
  theString = result.Text;
  TKXTextTarget* owner = theOwner;
  static_cast<TTextDropOwner*>(owner)->ApplyDrop(result);
  if (!result.Fetched) return hr;

  if (owner->getOnDrop()) {
    vcl::TPoint p = owner->AcceptorClientPoint(pt);
    // A handler that failed may not have taken the data: a source told "moved" would delete it.
    if (!RaiseEvent([&] { owner->getOnDrop()(owner, owner->getAcceptorControl(), theString, p.X, p.Y); }))
      dwEffect = DROPEFFECT_NONE;
  }
  return S_OK;
}

HRESULT TTextDropTarget::FetchText(TTextDropResult& Result) {
  HRESULT hr = kTextDropNotTaken;
  vcl::TStgMedium medium;
  const TDropTextFormats accepted = theOwner->getAcceptTextFormats();
  const std::vector<Candidate> rows = Candidates(*theOwner);
  const Candidate* fetched = nullptr;
  for (const Candidate& c : rows) {
    if (!accepted.Contains(c.gate) || c.format == 0 || !CurrentDataObject()) continue;
    hr = Fetch(c.format, c.tymed, medium);
    if (SUCCEEDED(hr)) {
      fetched = &c;
      break;
    }
  }
  if (!fetched) return hr;
  Result.Fetched = true;
  Result.CustomFormatIndex = fetched->customIndex;

  const bool inGlobal = medium->tymed == TYMED_HGLOBAL && medium->hGlobal;
  if (fetched->format == CF_HDROP) {
    if (inGlobal && HasWellFormedNames(medium->hGlobal)) Result.Text = DroppedFileNames(static_cast<HDROP>(medium->hGlobal));
  } else {
    std::string bytes = inGlobal ? GetHandleDataToString(medium->hGlobal) : std::string();
    Result.Text = DecodeText(fetched->format, fetched->customIndex >= 0, bytes);
    if (fetched->customIndex < 0 && fetched->format == CF_HTML) {
      const blocks::THTMLBlock block = blocks::ReadHTMLBlock(bytes);
      Result.HTMLFragment = vcl::UnicodeFromUtf8(std::string(blocks::Slice(bytes, block.Fragment)));
      Result.HTMLSourceURL = vcl::UnicodeFromUtf8(std::string(blocks::Slice(bytes, block.SourceURL)));
    } else if (fetched->customIndex < 0 && fetched->format == CF_TEXTHTML) {
      Result.HTMLFragment = Result.Text;  // a browser's "text/html" is the fragment itself
    }
  }
  medium.Reset();

  Result.Kind = TextKindOfFormat(fetched->format);
  if (Result.Kind == dtfURL) Result.URLTitle = URLTitle(fetched->format);
  return hr;
}

std::wstring TTextDropTarget::URLTitle(UINT fetchedFormat) const {
  // A block of the drag, whole; empty when the drag does not offer it.
  auto block = [this](UINT format) {
    vcl::TStgMedium medium;
    if (format == 0 || FAILED(Fetch(format, TYMED_HGLOBAL, medium)) || medium->tymed != TYMED_HGLOBAL) return std::string();
    return GetHandleDataToString(medium->hGlobal);
  };
  // "text/x-moz-url" carries the page title untouched; a shortcut's file name has characters that
  // file names cannot hold replaced and is cut short.
  std::string bytes = block(CF_MOZURL);
  std::wstring title = UnicodeStringFromEncodedAnsiString(blocks::Slice(bytes, blocks::ReadMozURL(bytes).Title));
  if (!title.empty()) return title;
  // Browsers name the internet shortcut they offer after the page; a descriptor of anything else
  // (a dragged image's "bild.png") names no title.
  if (!(bytes = block(CF_FILEGROUPDESCRIPTORW)).empty())
    title = UnicodeStringFromEncodedAnsiString(blocks::Slice(bytes, blocks::FileGroupFirstNameRange(bytes, true)));
  else if (!(bytes = block(CF_FILEGROUPDESCRIPTOR)).empty())
    title = vcl::UnicodeFromAnsi(std::string(blocks::Slice(bytes, blocks::FileGroupFirstNameRange(bytes, false))));
  const std::wstring name = std::exchange(title, blocks::TitleWithoutURLExtension(title));
  if (title.size() == name.size()) return {};
  if (fetchedFormat == CF_NETSCAPEBOOKMARK) {
    // Older browsers called the shortcut "Shortcut to <title>".
    std::wstring upper = title;
    for (wchar_t& ch : upper)
      if (ch >= L'a' && ch <= L'z') ch = static_cast<wchar_t>(ch - L'a' + L'A');
    const size_t at = upper.find(L"SHORTCUT TO ");
    if (at != std::wstring::npos) title.erase(at, 12);
  }
  return title;
}

}  // namespace kestrix
