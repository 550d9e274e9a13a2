#include "framework/GraphicsMetafile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vcl {

namespace {

const wchar_t* const sInvalidMetafile = L"Metafile is not valid";
const wchar_t* const sUnknownClipboardFormat = L"Unsupported clipboard format";
const wchar_t* const sOutOfResources = L"Out of system resources";

enum : DWORD {
  kRecordHeaderSize = 8,   // iType, nSize
  kHeaderRecordSize = 88,  // the header record up to szlMillimeters, the oldest form
  kEofRecordSize = 20,
  kHundredthsPerInch = 2540,
};

enum class TAxis { Horizontal, Vertical };

int ScreenPixelsPerInch(TAxis axis) {
  TWindowDC screen;
  int dpi = screen ? GetDeviceCaps(screen.Get(), axis == TAxis::Horizontal ? LOGPIXELSX : LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : 96;
}

DWORD ReadDword(const std::vector<BYTE>& bytes, size_t offset) {
  DWORD value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// The records must tile the declared size exactly, the first being the header and the last the
// end record: GDI takes the bytes as they are and walks them by these sizes when playing.
bool RecordsTile(const std::vector<BYTE>& bytes) {
  const size_t total = bytes.size();
  size_t pos = 0;
  DWORD lastType = 0;
  while (pos < total) {
    if (total - pos < kRecordHeaderSize) return false;
    const DWORD type = ReadDword(bytes, pos);
    const DWORD size = ReadDword(bytes, pos + 4);
    if (size < kRecordHeaderSize || size % 4 != 0 || size > total - pos) return false;
    if ((pos == 0) != (type == EMR_HEADER)) return false;
    lastType = type;
    pos += size;
  }
  return lastType == EMR_EOF;
}

}  // namespace

TMetafile::TMetafile() = default;
TMetafile::~TMetafile() = default;

void TMetafile::Assign(TPersistent* Source) {
  if (!Source) {
    FHandle.Reset();
    FMMWidth = FMMHeight = 0;
    FEnhanced = true;
    Changed(this);
    return;
  }
  if (auto* other = dynamic_cast<TMetafile*>(Source)) {
    if (other == this) return;
    TUniqueEnhMetaFile copy;
    if (other->FHandle) {
      copy.Reset(CopyEnhMetaFileW(other->FHandle.Get(), nullptr));
      if (!copy) throw EOutOfMemory(sOutOfResources);
    }
    FHandle = std::move(copy);
    FMMWidth = other->FMMWidth;
    FMMHeight = other->FMMHeight;
    FEnhanced = other->FEnhanced;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TMetafile::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || !FHandle) return;
  HDC dc = ACanvas->Handle();
  if (!dc) return;
  RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  PlayEnhMetaFile(dc, FHandle.Get(), &r);
  ACanvas->Changed();
}

int TMetafile::GetWidth() { return MulDiv(FMMWidth, ScreenPixelsPerInch(TAxis::Horizontal), kHundredthsPerInch); }
int TMetafile::GetHeight() { return MulDiv(FMMHeight, ScreenPixelsPerInch(TAxis::Vertical), kHundredthsPerInch); }

void TMetafile::SetWidth(int Value) {
  SetMMWidth(MulDiv(Value, kHundredthsPerInch, ScreenPixelsPerInch(TAxis::Horizontal)));
}

void TMetafile::SetHeight(int Value) {
  SetMMHeight(MulDiv(Value, kHundredthsPerInch, ScreenPixelsPerInch(TAxis::Vertical)));
}

void TMetafile::SetMMWidth(int Value) {
  if (Value == FMMWidth) return;
  FMMWidth = Value;
  Changed(this);
}

void TMetafile::SetMMHeight(int Value) {
  if (Value == FMMHeight) return;
  FMMHeight = Value;
  Changed(this);
}

void TMetafile::SetEnhanced(bool Value) {
  if (Value == FEnhanced) return;
  FEnhanced = Value;
  Changed(this);
}

void TMetafile::SetHandle(HENHMETAFILE Value) {
  if (Value == FHandle.Get()) return;
  ENHMETAHEADER header{};
  if (Value && !GetEnhMetaFileHeader(Value, sizeof header, &header)) throw EInvalidGraphic(sInvalidMetafile);
  FHandle.Reset(Value);
  FMMWidth = header.rclFrame.right - header.rclFrame.left;
  FMMHeight = header.rclFrame.bottom - header.rclFrame.top;
  Changed(this);
}

HENHMETAFILE TMetafile::ReleaseHandle() { return FHandle.Release(); }

void TMetafile::LoadFromStream(TStream& Stream) {
  const std::int64_t available = std::max<std::int64_t>(0, Stream.Size() - Stream.Position());
  if (available < kHeaderRecordSize) throw EInvalidGraphic(sInvalidMetafile);
  std::vector<BYTE> bytes(kHeaderRecordSize);
  Stream.ReadBuffer(bytes.data(), kHeaderRecordSize);
  ENHMETAHEADER header{};
  std::memcpy(&header, bytes.data(), kHeaderRecordSize);
  if (header.iType != EMR_HEADER || header.dSignature != ENHMETA_SIGNATURE || header.nSize < kHeaderRecordSize ||
      header.nBytes < std::int64_t(header.nSize) + kEofRecordSize || header.nBytes > available)
    throw EInvalidGraphic(sInvalidMetafile);
  bytes.resize(header.nBytes);
  Stream.ReadBuffer(bytes.data() + kHeaderRecordSize, header.nBytes - kHeaderRecordSize);
  if (!RecordsTile(bytes)) throw EInvalidGraphic(sInvalidMetafile);
  TUniqueEnhMetaFile loaded(SetEnhMetaFileBits(header.nBytes, bytes.data()));
  if (!loaded) throw EInvalidGraphic(sInvalidMetafile);
  FEnhanced = true;
  SetHandle(loaded.Get());
  loaded.Release();
}

void TMetafile::SaveToStream(TStream& Stream) {
  if (!FHandle) return;
  const UINT size = GetEnhMetaFileBits(FHandle.Get(), 0, nullptr);
  std::vector<BYTE> bytes(size);
  if (size == 0 || GetEnhMetaFileBits(FHandle.Get(), size, bytes.data()) != size) throw EInvalidGraphic(sInvalidMetafile);
  Stream.WriteBuffer(bytes.data(), size);
}

void TMetafile::LoadFromClipboardFormat(UINT AFormat, HANDLE AData, HPALETTE) {
  if (AFormat != CF_ENHMETAFILE || !AData) throw EInvalidGraphic(sUnknownClipboardFormat);
  TUniqueEnhMetaFile copy(CopyEnhMetaFileW(static_cast<HENHMETAFILE>(AData), nullptr));
  if (!copy) throw EInvalidGraphic(sInvalidMetafile);
  SetHandle(copy.Get());
  copy.Release();
}

void TMetafile::SaveToClipboardFormat(UINT& AFormat, HANDLE& AData, HPALETTE& APalette) {
  TUniqueEnhMetaFile copy;
  if (FHandle) {
    copy.Reset(CopyEnhMetaFileW(FHandle.Get(), nullptr));
    if (!copy) throw EOutOfMemory(sOutOfResources);
  }
  AFormat = CF_ENHMETAFILE;
  APalette = nullptr;
  AData = copy.Release();
}

}  // namespace vcl
