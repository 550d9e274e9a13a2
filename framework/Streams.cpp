#include "framework/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vcl {

// ---- TStream ----

std::int64_t TStream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError(L"Stream size cannot be changed"); }

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError(L"Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError(L"Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::int64_t total = Count;
  char buffer[65536];
  while (Count > 0) {
    std::int64_t n = std::min<std::int64_t>(Count, sizeof buffer);
    Source.ReadBuffer(buffer, n);
    WriteBuffer(buffer, n);
    Count -= n;
  }
  return total;
}

// ---- memory streams ----

std::int64_t TCustomMemoryStream::Read(void* Buffer, std::int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  if (Count == 1) {  // parsers read byte by byte: no call for it
    *static_cast<std::uint8_t*>(Buffer) = static_cast<std::uint8_t>(FData[static_cast<size_t>(FPosition++)]);
    return 1;
  }
  std::int64_t n = std::min(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = Size() + Offset; break;
  }
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& Stream) { Stream.WriteBuffer(FData.data(), Size()); }

void TCustomMemoryStream::SaveToFile(const std::wstring& FileName) {
  TFileStream file(FileName, fmCreate);
  SaveToStream(file);
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0 || FPosition > std::numeric_limits<std::int64_t>::max() - Count) return 0;
  std::int64_t end = FPosition + Count;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  NewSize = std::max<std::int64_t>(NewSize, 0);
  FData.resize(static_cast<size_t>(NewSize));
  if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  std::int64_t n = Stream.Size();
  SetSize(n);
  if (n) Stream.ReadBuffer(FData.data(), n);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::wstring& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

TStringStream::TStringStream(std::string Data) { FData = std::move(Data); }
TStringStream::TStringStream(const std::wstring& Text) { FData = AnsiFromUnicode(Text); }

}  // namespace vcl
