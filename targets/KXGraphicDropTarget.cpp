#include "targets/KXGraphicDropTarget.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "formats/KXNetscape.h"
#include "formats/KXUtil.h"
#include "framework/GraphicsMetafile.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "targets/KXGraphicTarget.h"

namespace kestrix {

namespace {

struct GraphicFormat {
  UINT format;
  DWORD tymed;
};

// Acceptance probes each kind in this order ...
std::vector<GraphicFormat> ProbesOf(TDropGraphicFormat kind) {
  if (kind == dgfMetafile) return {{CF_ENHMETAFILE, TYMED_ENHMF}, {CF_METAFILEPICT, TYMED_MFPICT}};
  return {{CF_NETSCAPEIMAGE, TYMED_HGLOBAL}, {CF_DIB, TYMED_HGLOBAL}, {CF_BITMAP, TYMED_GDI}};
}

// ... and a drop fetches in this one: a bitmap at hand before a browser image that must be fetched.
std::vector<GraphicFormat> FetchesOf(TDropGraphicFormat kind) {
  if (kind == dgfMetafile) return {{CF_ENHMETAFILE, TYMED_ENHMF}, {CF_METAFILEPICT, TYMED_MFPICT}};
  return {{CF_DIB, TYMED_HGLOBAL}, {CF_BITMAP, TYMED_GDI}, {CF_NETSCAPEIMAGE, TYMED_HGLOBAL}};
}

TDropGraphicFormat OtherKind(TDropGraphicFormat kind) { return kind == dgfMetafile ? dgfBitmap : dgfMetafile; }

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
  METAFILEPICT pict{};
  {
    vcl::TGlobalLock lock(block);
    if (!lock || lock.Size() < sizeof pict) return;
    std::memcpy(&pict, lock.Ptr(), sizeof pict);
  }
  DecodeEnhMetafile(vcl::TUniqueEnhMetaFile(EnhMFfromMetaFilePict(pict)), picture);
}

void DecodeDIB(HGLOBAL block, vcl::TPicture& picture) {
  std::string file;
  {
    vcl::TGlobalLock lock(block);
    if (!lock) return;
    file = TGraphicDropTarget::BitmapFileFromDIB(lock.Ptr(), lock.Size());
  }
  if (file.empty()) return;
  vcl::TStringStream stream(std::move(file));
  stream.SetPosition(0);
  picture.Bitmap()->LoadFromStream(stream);
}

std::string NetscapeImageURL(HGLOBAL block) {
  vcl::TGlobalLock lock(block);
  return lock ? TGraphicDropTarget::URLFromNetscapeImage(lock.Ptr(), lock.Size()) : std::string();
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
  enum : std::uint64_t { kFileHeaderSize = 14, kCoreHeaderSize = 12, kInfoHeaderSize = 40, kMaskBytes = 12 };
  if (!DIB || Size < kCoreHeaderSize) return {};
  DWORD headerSize;
  std::memcpy(&headerSize, DIB, sizeof headerSize);
  // The fields that size the block, from either header form (old core headers have 16-bit sizes,
  // three-byte colour entries and no compression).
  std::int64_t width, height;
  WORD bits;
  DWORD compression = BI_RGB, clrUsed = 0, sizeImage = 0;
  std::uint64_t entrySize;
  if (headerSize == kCoreHeaderSize) {
    BITMAPCOREHEADER c;
    std::memcpy(&c, DIB, sizeof c);
    width = c.bcWidth;
    height = c.bcHeight;
    bits = c.bcBitCount;
    entrySize = sizeof(RGBTRIPLE);
  } else {
    if (headerSize < kInfoHeaderSize || headerSize > Size) return {};
    BITMAPINFOHEADER h;
    std::memcpy(&h, DIB, sizeof h);
    width = h.biWidth;
    height = h.biHeight;
    bits = h.biBitCount;
    compression = h.biCompression;
    clrUsed = h.biClrUsed;
    sizeImage = h.biSizeImage;
    entrySize = sizeof(RGBQUAD);
  }

  std::uint64_t colours = clrUsed;
  if (colours == 0 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) colours = std::uint64_t(1) << bits;
  const std::uint64_t offBits = kFileHeaderSize + headerSize + entrySize * colours;
  // What the header declares must lie inside the block: the colour table, the masks a 40-byte
  // header keeps after itself, and the pixels.
  std::uint64_t declared = offBits - kFileHeaderSize;
  if (compression == BI_BITFIELDS && headerSize == kInfoHeaderSize) declared += kMaskBytes;
  if (declared > Size) return {};
  const std::uint64_t avail = Size - declared;
  if (compression == BI_RGB || compression == BI_BITFIELDS) {
    if (width <= 0 || height == 0 || bits == 0) return {};
    const std::uint64_t rowBytes = (std::uint64_t(width) * bits + 31) / 32 * 4;
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    if (rows > avail / rowBytes) return {};
  } else if (sizeImage > avail) {
    return {};
  }

  const BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(Size + kFileHeaderSize), 0, 0, static_cast<DWORD>(offBits)};
  static_assert(sizeof header == kFileHeaderSize);
  std::string file(reinterpret_cast<const char*>(&header), sizeof header);
  file.append(static_cast<const char*>(DIB), Size);
  return file;
}

std::string TGraphicDropTarget::URLFromNetscapeImage(const void* Block, size_t Size) {
  enum : size_t { kURLOffset = 44 };
  if (!Block || Size <= kURLOffset) return {};
  const char* url = static_cast<const char*>(Block) + kURLOffset;
  return std::string(url, strnlen(url, Size - kURLOffset));
}

bool TGraphicDropTarget::AcceptsCurrentFormats() {
  if (!CurrentDataObject() || !theOwner) return false;
  const TDropGraphicFormat preferred = theOwner->getPreferredFormat();
  for (TDropGraphicFormat kind : {preferred, OtherKind(preferred)}) {
    if (!theOwner->getAcceptGraphicFormats().Contains(kind)) continue;
    for (const GraphicFormat& f : ProbesOf(kind))
      if (Offers(f.format, f.tymed)) return true;
  }
  return false;
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
  const TDropGraphicFormat preferred = theOwner->getPreferredFormat();
  for (TDropGraphicFormat kind : {preferred, OtherKind(preferred)}) {
    if (kind != preferred && !theOwner->getAcceptGraphicFormats().Contains(kind)) continue;
    for (const GraphicFormat& f : FetchesOf(kind)) {
      if (!CurrentDataObject() || fetched) break;
      hr = Fetch(f.format, f.tymed, medium);
      if (SUCCEEDED(hr)) fetched = f.format;
    }
  }
  if (!fetched) {
    dwEffect = DROPEFFECT_NONE;
    return endDrag(hr);
  }

  thePicture = std::make_unique<vcl::TPicture>();
  std::string url;
  try {
    url = Decode(fetched, medium.Get());
  } catch (const vcl::EInvalidGraphic&) {
    thePicture->SetGraphic(nullptr);  // a block that is no picture leaves the picture empty
  }
  medium.Reset();

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

std::string TGraphicDropTarget::Decode(UINT format, const STGMEDIUM& medium) {
  if (format == CF_BITMAP) {
    if (medium.tymed == TYMED_GDI) DecodeBitmapHandle(medium.hBitmap, *thePicture);
  } else if (format == CF_ENHMETAFILE) {
    if (medium.tymed == TYMED_ENHMF && medium.hEnhMetaFile)
      DecodeEnhMetafile(vcl::TUniqueEnhMetaFile(CopyEnhMetaFileW(medium.hEnhMetaFile, nullptr)), *thePicture);
  } else if (format == CF_METAFILEPICT) {
    if (medium.tymed == TYMED_MFPICT) DecodeMetafilePict(medium.hMetaFilePict, *thePicture);
  } else if (format == CF_DIB) {
    if (medium.tymed == TYMED_HGLOBAL) DecodeDIB(medium.hGlobal, *thePicture);
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
