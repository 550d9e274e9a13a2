#include "sources/KXTextDataObject.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "formats/KXHTMLBlock.h"
#include "formats/KXUtil.h"
#include "framework/Handles.h"
#include "sources/KXTextSource.h"
#include "vocabulary/KXTextFormats.h"

namespace kestrix {

namespace {

LONG volatile liveDataObjects = 0;

int FormatCount(const TCustomFormatDataList* list) { return list ? list->Count() : 0; }

bool IsPlainText(CLIPFORMAT cf) { return cf != 0 && TextKindOfFormat(cf) == dtfText; }
bool IsHTML(CLIPFORMAT cf) { return cf != 0 && (cf == CF_HTML || cf == CF_TEXTHTML); }

// A palette has no copy function of its own; its entries make a new one.
HPALETTE CopyPaletteHandle(HPALETTE palette) {
  UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
  if (count == 0) return nullptr;
  std::vector<unsigned char> buffer(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
  auto* log = reinterpret_cast<LOGPALETTE*>(buffer.data());
  log->palVersion = 0x300;
  log->palNumEntries = static_cast<WORD>(count);
  GetPaletteEntries(palette, 0, count, log->palPalEntry);
  return CreatePalette(log);
}

std::unique_ptr<TCustomFormatDataList> CopyFormats(const TCustomFormatDataList& source) {
  auto copy = std::make_unique<TCustomFormatDataList>();
  for (int i = 0; i < source.Count(); ++i) {
    const TCustomFormatData* from = source.Items(i);
    copy->AddFormatEx(from->getName(), from->getContent(), from->getTymed(), from->getlIndex());
    copy->Items(i)->setAllowTrailingNull(from->getAllowTrailingNull());
  }
  return copy;
}

}  // namespace

// ---- creation -------------------------------------------------------------------------------------

TTextDataObject::TTextDataObject(const std::wstring& aString, TCustomFormatDataList* aCDFL, TComponent* aOwner,
                                 TTextDataOwner* aComponent)
    : TKXBaseDataObject(aComponent ? &aComponent->DragState() : nullptr, liveDataObjects),
      theOwner(aOwner),
      theString(aString),
      theFormats(aCDFL),
      theComponent(aComponent) {}

TTextDataObject::~TTextDataObject() = default;

TTextDataObject* TTextDataObject::Create(const std::wstring& aString) {
  return vcl::MakeComObject<TTextDataObject>(aString, nullptr, nullptr, nullptr).Detach();
}

TTextDataObject* TTextDataObject::createWithFormats(TCustomFormatDataList* aCDFL) {
  return vcl::MakeComObject<TTextDataObject>(std::wstring(), aCDFL, nullptr, nullptr).Detach();
}

TTextDataObject* TTextDataObject::createWithOwner(const std::wstring& aString, TComponent* aOwner) {
  return vcl::MakeComObject<TTextDataObject>(aString, nullptr, aOwner, nullptr).Detach();
}

TTextDataObject* TTextDataObject::createEx(const std::wstring& aString, TKXTextSource* aComponent) {
  return vcl::MakeComObject<TTextDataObject>(aString, nullptr, nullptr, aComponent).Detach();
}

TTextDataObject* TTextDataObject::createExWithFormats(TCustomFormatDataList* aCDFL, TKXTextSource* aComponent) {
  return vcl::MakeComObject<TTextDataObject>(std::wstring(), aCDFL, nullptr, aComponent).Detach();
}

LONG TTextDataObject::LiveCount() { return liveDataObjects; }

void TTextDataObject::KeepComponentsData() {
  theString = theComponent->CurrentText();
  FOrphanHTML = theComponent->CurrentHTML();
  FOrphanHTMLSourceURL = theComponent->CurrentHTMLSourceURL();
  TCustomFormatDataList* formats = theComponent->CustomFormats();
  if (formats->Count() > 0) FOrphanFormats = CopyFormats(*formats);
  theFormats = nullptr;  // it was the component's list
  theComponent = nullptr;
}

TCustomFormatDataList* TTextDataObject::Formats() const {
  if (theComponent) return theComponent->CustomFormats();
  if (FOrphanFormats) return FOrphanFormats.get();
  return theFormats;
}

const std::wstring& TTextDataObject::CurrentText() {
  return theComponent ? theComponent->CurrentText() : theString;
}

const std::wstring& TTextDataObject::CurrentHTML() {
  return theComponent ? theComponent->CurrentHTML() : FOrphanHTML;
}

const std::wstring& TTextDataObject::CurrentHTMLSourceURL() {
  return theComponent ? theComponent->CurrentHTMLSourceURL() : FOrphanHTMLSourceURL;
}

bool TTextDataObject::RendersItself(CLIPFORMAT cf) {
  if (IsPlainText(cf) || IsHTML(cf)) return true;
  const TCustomFormatDataList* list = Formats();
  for (int i = 0; i < FormatCount(list); ++i)
    if (ClipboardFormatFromString(list->Items(i)->getName()) == cf) return true;
  return false;
}

std::vector<FORMATETC> TTextDataObject::OwnFormats() {
  std::vector<FORMATETC> formats;
  const TCustomFormatDataList* list = Formats();
  if (FormatCount(list) > 0) {
    for (int i = 0; i < list->Count(); ++i) formats.push_back(list->Items(i)->getFormatEtc());
    return formats;
  }
  // The plain-text rows, ANSI first: the order readers have always been offered.
  for (auto row = std::rbegin(kTextFormats); row != std::rend(kTextFormats); ++row)
    if (row->Kind == dtfText) formats.push_back({static_cast<CLIPFORMAT>(row->Format()), nullptr, DVASPECT_CONTENT, -1, row->Tymed});
  if (!CurrentHTML().empty())
    for (UINT cf : {CF_HTML, CF_TEXTHTML}) formats.push_back({static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
  return formats;
}

// ---- rendering ------------------------------------------------------------------------------------

int TTextDataObject::MatchCustom(const FORMATETC& fe) const {
  const TCustomFormatDataList* list = Formats();
  for (int i = 0; i < FormatCount(list); ++i) {
    const TCustomFormatData* item = list->Items(i);
    const UINT cf = ClipboardFormatFromString(item->getName());
    const DWORD tymed = static_cast<DWORD>(item->getTymed());
    if (cf != 0 && cf == fe.cfFormat && (fe.tymed & tymed) == tymed && (fe.lindex == -1 || fe.lindex == item->getlIndex()))
      return i;
  }
  return -1;
}

HRESULT TTextDataObject::RenderGlobal(const FORMATETC& fe, const TCustomFormatData* item, STGMEDIUM& medium) {
  const bool unicode = fe.cfFormat == CF_UNICODETEXT;
  const size_t unit = unicode ? sizeof(wchar_t) : 1;
  // Plain text always ends in one zero character (an "HTML Format" block is built with its own);
  // a custom item only when it asks for it.
  const bool htmlBlock = !item && fe.cfFormat == CF_HTML;
  const size_t terminator = htmlBlock ? 0 : !item || item->getAllowTrailingNull() ? unit : 0;

  // Plain Unicode text goes straight from the text into the block; everything else needs its bytes
  // built first. A custom item's bytes are rendered as stored.
  std::string built;
  const void* bytes = nullptr;
  size_t length = 0;
  if (unicode) {
    if (item) built = EncodedAnsiStringFromUnicodeString(vcl::UnicodeFromAnsi(item->getContent()));
    else {
      const std::wstring& text = CurrentText();
      bytes = text.data();
      length = text.size() * sizeof(wchar_t);
    }
  } else if (!item && IsHTML(fe.cfFormat)) {
    const std::string utf8 = vcl::Utf8FromUnicode(CurrentHTML());
    built = htmlBlock ? blocks::HTMLBlockFromFragment(utf8, vcl::Utf8FromUnicode(CurrentHTMLSourceURL())) : utf8;
  } else {
    built = item ? item->getContent() : vcl::AnsiFromUnicode(CurrentText());
  }
  if (!bytes) {
    bytes = built.data();
    length = built.size();
  }

  const size_t count = length + terminator;
  if (count == 0) {
    medium.tymed = TYMED_HGLOBAL;
    return S_OK;
  }
  vcl::TUniqueGlobal block = vcl::GlobalFromBytes(kMediumBlockFlags, bytes, length, count);
  if (!block) return E_OUTOFMEMORY;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block.Release();
  return S_OK;
}

HRESULT TTextDataObject::RenderHandle(const TCustomFormatData& item, STGMEDIUM& medium) {
  // The Content holds the handle or interface pointer in its first pointer-sized bytes; a shorter
  // (or null) one holds nothing to hand out.
  const std::optional<void*> value = DecodePointerFromString(item.getContent());
  if (!value || !*value) return DV_E_FORMATETC;
  const LONG tymed = item.getTymed();

  if (tymed & (TYMED_ISTREAM | TYMED_ISTORAGE)) {
    // Asked for by interface, so the medium carries exactly the interface its tymed names.
    auto* unknown = static_cast<IUnknown*>(*value);
    if ((tymed & TYMED_ISTREAM) && SUCCEEDED(unknown->QueryInterface(IID_IStream, reinterpret_cast<void**>(&medium.pstm)))) {
      medium.tymed = TYMED_ISTREAM;
      return S_OK;
    }
    medium.pstm = nullptr;
    if ((tymed & TYMED_ISTORAGE) && SUCCEEDED(unknown->QueryInterface(IID_IStorage, reinterpret_cast<void**>(&medium.pstg)))) {
      medium.tymed = TYMED_ISTORAGE;
      return S_OK;
    }
    medium.pstg = nullptr;
    return DV_E_FORMATETC;
  }

  // The receiver deletes what it gets, so GDI objects and metafiles go out as copies.
  if (tymed & TYMED_GDI) {
    const DWORD type = GetObjectType(*value);
    if (type != OBJ_BITMAP && type != OBJ_PAL) return DV_E_FORMATETC;
    HGDIOBJ copy = type == OBJ_BITMAP ? static_cast<HGDIOBJ>(CopyBitmapHandle(static_cast<HBITMAP>(*value)))
                                      : static_cast<HGDIOBJ>(CopyPaletteHandle(static_cast<HPALETTE>(*value)));
    if (!copy) return E_OUTOFMEMORY;
    medium.tymed = TYMED_GDI;
    medium.hBitmap = static_cast<HBITMAP>(copy);
    return S_OK;
  }
  if (tymed & TYMED_ENHMF) {
    if (GetObjectType(*value) != OBJ_ENHMETAFILE) return DV_E_FORMATETC;
    HENHMETAFILE copy = CopyEnhMetaFileW(static_cast<HENHMETAFILE>(*value), nullptr);
    if (!copy) return E_OUTOFMEMORY;
    medium.tymed = TYMED_ENHMF;
    medium.hEnhMetaFile = copy;
    return S_OK;
  }
  return DV_E_FORMATETC;  // TYMED_FILE, TYMED_MFPICT
}

HRESULT TTextDataObject::Render(const FORMATETC& fe, STGMEDIUM& medium) {
  if (theComponent) theComponent->CustomFormatRequested(-1);
  const int index = MatchCustom(fe);
  TCustomFormatData* item = nullptr;
  if (index >= 0) {
    TCustomFormatDataList* list = Formats();
    item = list->Items(index);
    if (theComponent) {
      theComponent->CustomFormatRequested(index);
      std::wstring content;
      const std::wstring name = item->getName();  // the handler may free the item
      if (item->getContent().empty() && theComponent->RenderCustomFormat(name, content)) {
        // The handler may have changed the list, or freed the component.
        list = Formats();
        if (index >= FormatCount(list) || list->Items(index) != item) return DV_E_FORMATETC;
        item->setContent(vcl::AnsiFromUnicode(content));
      }
      if (theComponent) theComponent->CustomFormatRendered(item->getContent());
    }
  } else if (FormatCount(Formats()) > 0 || !(IsPlainText(fe.cfFormat) || (IsHTML(fe.cfFormat) && !CurrentHTML().empty()))) {
    return DV_E_FORMATETC;  // custom formats replace the plain text
  }
  if (fe.dwAspect != DVASPECT_CONTENT) return DV_E_FORMATETC;

  if (item ? (item->getTymed() & TYMED_HGLOBAL) : (fe.tymed & TYMED_HGLOBAL)) return RenderGlobal(fe, item, medium);
  if (item) return RenderHandle(*item, medium);
  return DV_E_FORMATETC;
}

bool TTextDataObject::CanRender(const FORMATETC& fe) {
  if (MatchCustom(fe) >= 0) return true;
  return FormatCount(Formats()) == 0 && (fe.tymed & TYMED_HGLOBAL) &&
         (IsPlainText(fe.cfFormat) || (IsHTML(fe.cfFormat) && !CurrentHTML().empty()));
}

// ---- IAsyncOperation ------------------------------------------------------------------------------

void TTextDataObject::AsyncOperationStarted() {
  if (theComponent) theComponent->AsyncOperationStarted();
}

void TTextDataObject::AsyncOperationEnded(HRESULT, DWORD) {
  if (theComponent) theComponent->AsyncOperationEnded();
}

}  // namespace kestrix
