#include "targets/KXGraphicDropTarget.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "formats/KXDIBBlock.h"
#include "formats/KXNetscape.h"
#include "formats/KXNetscapeImageBlock.h"
#include "formats/KXUtil.h"
#include "framework/GraphicsMetafile.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "targets/KXGraphicTarget.h"
#include "targets/KXVirtualImage.h"
#include "vocabulary/KXFileContents.h"
#include "vocabulary/KXImageFiles.h"

namespace kestrix {

namespace {

struct GraphicFormat {
  UINT format;
  DWORD tymed;
};

constexpr DWORD kPNGMedia = TYMED_HGLOBAL | TYMED_ISTREAM;

// Acceptance probes each kind in this order ...
std::vector<GraphicFormat> ProbesOf(TDropGraphicFormat kind) {
  if (kind == dgfMetafile) return {{CF_ENHMETAFILE, TYMED_ENHMF}, {CF_METAFILEPICT, TYMED_MFPICT}};
  return {{CF_NETSCAPEIMAGE, TYMED_HGLOBAL}, {PNGClipboardFormat(), kPNGMedia}, {CF_DIB, TYMED_HGLOBAL}, {CF_BITMAP, TYMED_GDI}};
}

// ... and a drop fetches in this one: "PNG" first (it keeps the alpha a DIB loses), a bitmap at
// hand before a browser image that must be fetched.
std::vector<GraphicFormat> FetchesOf(TDropGraphicFormat kind) {
  if (kind == dgfMetafile) return {{CF_ENHMETAFILE, TYMED_ENHMF}, {CF_METAFILEPICT, TYMED_MFPICT}};
  return {{PNGClipboardFormat(), kPNGMedia}, {CF_DIB, TYMED_HGLOBAL}, {CF_BITMAP, TYMED_GDI}, {CF_NETSCAPEIMAGE, TYMED_HGLOBAL}};
}

TDropGraphicFormat OtherKind(TDropGraphicFormat kind) { return kind == dgfMetafile ? dgfBitmap : dgfMetafile; }

// What a drop fetches, in order: the preferred kind's formats, then the other kind's if accepted.
std::vector<GraphicFormat> FetchOrder(TKXGraphicTarget& owner) {
  const TDropGraphicFormat preferred = owner.getPreferredFormat();
  std::vector<GraphicFormat> order = FetchesOf(preferred);
  if (owner.getAcceptGraphicFormats().Contains(OtherKind(preferred))) {
    const std::vector<GraphicFormat> other = FetchesOf(OtherKind(preferred));
    order.insert(order.end(), other.begin(), other.end());
  }
  return order;
}

// A virtual file (a browser's dragged image) counts as a bitmap and comes after every format
// above, of both kinds: it is read and decoded whole, where they are at hand.
bool TakesVirtualFiles(TKXGraphicTarget& owner) {
  return owner.getPreferredFormat() == dgfBitmap || owner.getAcceptGraphicFormats().Contains(dgfBitmap);
}

void DecodeBitmapHandle(HBITMAP bitmap, vcl::TPicture& picture) {
  vcl::TUniqueBitmap copy(CopyBitmapHandle(bitmap));
  if (!copy) return;
  picture.Bitmap()->SetHandle(copy.Get());
  copy.Release();
}

void DecodeEnhMetafile(vcl::TUniqueEnhMetaFile metafile, vcl::TPicture& picture) {
  if (!metafile) return;
  vcl::TMetafile* view = picture.Metafile();
  view->SetHandle(metafile.Get());  // raises for a handle that is no enhanced metafile
  metafile.Release();
  view->SetEnhanced(true);
}

void DecodeMetafilePict(HGLOBAL block, vcl::TPicture& picture) {
  std::optional<METAFILEPICT> pict;
  {
    vcl::TGlobalLock lock(block);
    pict = detail::MetafilePictFromBlock(lock.View());
  }
  if (pict) DecodeEnhMetafile(vcl::TUniqueEnhMetaFile(EnhMFfromMetaFilePict(*pict)), picture);
}

void DecodeDIB(HGLOBAL block, vcl::TPicture& picture) {
  std::string file;
  {
    vcl::TGlobalLock lock(block);
    file = blocks::BMPFileFromDIB(lock.View());
  }
  if (file.empty()) return;
  vcl::TStringStream stream(std::move(file));
  stream.SetPosition(0);
  picture.Bitmap()->LoadFromStream(stream);
}

// "PNG" bytes in global memory or a stream (read from its start, at most kVirtualImageMaxBytes).
void DecodePNG(const STGMEDIUM& medium, vcl::TPicture& picture) {
  vcl::TStringStream bytes;
  switch (ReadMediumBytes(medium, bytes, kVirtualImageMaxBytes)) {
    case TFileContentsResult::Read: DecodePNGBytes(bytes.DataString(), picture); break;
    case TFileContentsResult::TooLarge: throw vcl::EInvalidGraphic(L"The dropped picture is too large");
    default: break;  // nothing readable: no picture
  }
}

std::string NetscapeImageURL(HGLOBAL block) {
  vcl::TGlobalLock lock(block);
  return TGraphicDropTarget::URLFromNetscapeImage(lock.Ptr(), lock.Size());
}

}  // namespace

void TGraphicDropPacketDeleter::operator()(PGraphicDropPacket Packet) const {
  if (!Packet) return;
  delete[] Packet->aNetscapeURL;
  delete Packet;
}

TGraphicDropTarget::TGraphicDropTarget(TKXGraphicTarget* aOwner) : TKXDropTargetBase(aOwner, false), theOwner(aOwner) {}

TGraphicDropTarget::~TGraphicDropTarget() = default;

void TGraphicDropTarget::OwnerGone() {
  theOwner = nullptr;
  FPendingPackets.clear();
  TKXDropTargetBase::OwnerGone();
}

std::string TGraphicDropTarget::BitmapFileFromDIB(const void* DIB, size_t Size) {
  return DIB ? blocks::BMPFileFromDIB(std::string_view(static_cast<const char*>(DIB), Size)) : std::string();
}

std::string TGraphicDropTarget::URLFromNetscapeImage(const void* Block, size_t Size) {
  if (!Block) return {};
  const std::string_view bytes(static_cast<const char*>(Block), Size);
  return std::string(blocks::Slice(bytes, blocks::NetscapeImageURLRange(bytes)));
}

bool TGraphicDropTarget::AcceptsCurrentFormats() {
  if (!CurrentDataObject() || !theOwner) return false;
  const TDropGraphicFormat preferred = theOwner->getPreferredFormat();
  for (TDropGraphicFormat kind : {preferred, OtherKind(preferred)}) {
    if (!theOwner->getAcceptGraphicFormats().Contains(kind)) continue;
    for (const GraphicFormat& f : ProbesOf(kind))
      if (Offers(f.format, f.tymed)) return true;
  }
  IDataObject* data = CurrentDataObject().Get();
  return theOwner->getAcceptGraphicFormats().Contains(dgfBitmap) && (OffersImageFile(data) || OffersVirtualImage(data));
}

bool TGraphicDropTarget::ReadsFileNames() {
  if (!CurrentDataObject() || !theOwner) return false;
  for (const GraphicFormat& f : FetchOrder(*theOwner))
    if (Offers(f.format, f.tymed)) return false;
  IDataObject* data = CurrentDataObject().Get();
  return TakesVirtualFiles(*theOwner) && (OffersImageFile(data) || OffersVirtualImage(data));
}

STDMETHODIMP TGraphicDropTarget::Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  if (!theOwner) {
    *pdwEffect = DROPEFFECT_NONE;
    return S_OK;
  }
  // OLE hands the data object again; it is the one of DragEnter.
  TakeDropDataObject(dataObj);
  HRESULT hr = vcl::ComBoundary([&] { return DoDrop(grfKeyState, pt, *pdwEffect); });
  Images().Drop(dataObj, pt, FAILED(hr) ? DROPEFFECT_NONE : *pdwEffect);
  if (FAILED(hr)) {
    *pdwEffect = DROPEFFECT_NONE;
    // A drop still waiting for its deferred step keeps the data object until then.
    if (FPendingPackets.empty()) EndDrag();
  }
  return hr;
}

HRESULT TGraphicDropTarget::DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect) {
  auto endDrag = [&](HRESULT hr) {
    EndDrag();
    return hr;
  };
  if (!QueryDrop(grfKeyState, dwEffect, pt)) return endDrag(S_OK);
  ApplyEffectOverride(dwEffect);

  HRESULT hr = E_UNEXPECTED;
  vcl::TStgMedium medium;
  UINT fetched = 0;
  auto picture = std::make_unique<vcl::TPicture>();
  for (const GraphicFormat& f : FetchOrder(*theOwner)) {
    if (!CurrentDataObject() || fetched) break;
    hr = Fetch(f.format, f.tymed, medium);
    if (FAILED(hr) || f.format != PNGClipboardFormat()) {
      if (SUCCEEDED(hr)) fetched = f.format;
      continue;
    }
    // "PNG" that does not decode gives way to the drag's other formats.
    try {
      DecodePNG(medium.Get(), *picture);
      if (!picture->Graphic()) throw vcl::EInvalidGraphic(L"no picture");
      fetched = f.format;
    } catch (const vcl::EInvalidGraphic&) {
      picture->SetGraphic(nullptr);
      hr = DV_E_FORMATETC;
    }
    medium.Reset();
  }
  std::string url;
  if (fetched && fetched != PNGClipboardFormat()) {
    try {
      url = Decode(fetched, medium.Get(), *picture);
    } catch (const vcl::EInvalidGraphic&) {
      picture->SetGraphic(nullptr);  // a block that is no picture leaves the picture empty
    }
    medium.Reset();
  } else if (!fetched && CurrentDataObject() && TakesVirtualFiles(*theOwner)) {
    // An image file on disk (the file manager's drag), else a virtual file (a browser's image).
    // Contents that are no picture leave it empty, as a block that is no picture does; contents
    // that cannot be read at all are a failed fetch.
    IDataObject* data = CurrentDataObject().Get();
    const bool file = OffersImageFile(data), virtualFile = OffersVirtualImage(data);
    TVirtualImageResult result = TVirtualImageResult::NotRead;
    if (file) result = ReadImageFile(data, *picture);
    if (result == TVirtualImageResult::NotRead && virtualFile) result = ReadVirtualImage(data, *picture);
    const bool read = result != TVirtualImageResult::NotRead;
    if (file || virtualFile) hr = read ? S_OK : E_FAIL;
    if (read) fetched = CF_FILECONTENTS;
  }
  if (!fetched) {
    dwEffect = DROPEFFECT_NONE;
    return endDrag(hr);
  }
  thePicture = std::move(picture);

  TOwnedGraphicDropPacket packet(new TGraphicDropPacket);
  packet->aPt = theOwner->AcceptorClientPoint(pt);
  packet->aNetscapeURL = new char[url.size() + 1];
  std::memcpy(packet->aNetscapeURL, url.c_str(), url.size() + 1);
  if (!PostPacket(std::move(packet))) {
    // No deferred step will come: the drop is not completed, so the source must not act on it.
    dwEffect = DROPEFFECT_NONE;
    ReportNoEffect();
    return endDrag(hr);
  }
  return hr;
}

std::string TGraphicDropTarget::Decode(UINT format, const STGMEDIUM& medium, vcl::TPicture& picture) {
  if (format == CF_BITMAP) {
    if (medium.tymed == TYMED_GDI) DecodeBitmapHandle(medium.hBitmap, picture);
  } else if (format == CF_ENHMETAFILE) {
    if (medium.tymed == TYMED_ENHMF && medium.hEnhMetaFile)
      DecodeEnhMetafile(vcl::TUniqueEnhMetaFile(CopyEnhMetaFileW(medium.hEnhMetaFile, nullptr)), picture);
  } else if (format == CF_METAFILEPICT) {
    if (medium.tymed == TYMED_MFPICT) DecodeMetafilePict(medium.hMetaFilePict, picture);
  } else if (format == CF_DIB) {
    if (medium.tymed == TYMED_HGLOBAL) DecodeDIB(medium.hGlobal, picture);
  } else if (format == CF_NETSCAPEIMAGE) {
    if (medium.tymed == TYMED_HGLOBAL) return NetscapeImageURL(medium.hGlobal);
  }
  return {};
}

bool TGraphicDropTarget::PostPacket(TOwnedGraphicDropPacket Packet) {
  vcl::TWinControl* acceptor = theOwner->getAcceptorControl();
  // Without a window (a wrapped one that is gone) a post would go to the thread's queue, where
  // no window procedure ever sees it.
  HWND wnd = acceptor ? acceptor->Handle() : nullptr;
  if (!wnd) return false;
  PGraphicDropPacket raw = Packet.get();
  FPendingPackets.push_back(std::move(Packet));
  if (PostMessageW(wnd, WM_GRAPHICTARGETDROP, reinterpret_cast<WPARAM>(raw), 0)) return true;
  FPendingPackets.pop_back();
  return false;
}

bool TGraphicDropTarget::CompleteDrop(WPARAM PacketParam) {
  auto pending = std::find_if(FPendingPackets.begin(), FPendingPackets.end(),
                              [&](const TOwnedGraphicDropPacket& p) { return reinterpret_cast<WPARAM>(p.get()) == PacketParam; });
  if (pending == FPendingPackets.end() || !theOwner) return false;
  // OnDrop may free the component, and with it the last other reference on this object.
  vcl::TComPtr<IDropTarget> self(this);
  TOwnedGraphicDropPacket packet = std::move(*pending);
  FPendingPackets.erase(pending);

  if (packet->aNetscapeURL && *packet->aNetscapeURL) {
    const std::wstring url = vcl::UnicodeFromAnsi(packet->aNetscapeURL);
    // The retrieval's failure goes to the application; the drop still ends with OnDrop.
    RaiseEvent([&] { getNetscapeImageURLIntoPicture(url, thePicture.get()); });
  }
  if (theOwner && theOwner->getOnDrop()) {
    TKXGraphicTarget* owner = theOwner;
    RaiseEvent([&] { owner->getOnDrop()(owner, owner->getAcceptorControl(), thePicture.get(), packet->aPt.X, packet->aPt.Y); });
  }
  packet.reset();
  // A drop that followed while this one waited keeps its data object for its own deferred step.
  if (FPendingPackets.empty()) EndDrag();
  return true;
}

}  // namespace kestrix
