#include "framework/Streams.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

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
  if (Count <= 0) return 0;
  std::int64_t end = FPosition + Count;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  FData.resize(static_cast<size_t>(std::max<std::int64_t>(NewSize, 0)));
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

// ---- TFileStream ----

TFileStream::TFileStream(const std::wstring& FileName, std::uint16_t Mode) : FFileName(FileName) {
  DWORD access, disposition, share;
  if (Mode == fmCreate || (Mode & 0xFF00) == fmCreate) {
    access = GENERIC_READ | GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
    share = FILE_SHARE_READ;
  } else {
    static const DWORD accessOf[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    access = accessOf[std::min<unsigned>(Mode & 3, 2)];
    disposition = OPEN_EXISTING;
    switch (Mode & 0xF0) {
      case fmShareExclusive: share = 0; break;
      case fmShareDenyWrite: share = FILE_SHARE_READ; break;
      default: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    }
  }
  FHandle = CreateFileW(FileName.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (FHandle == INVALID_HANDLE_VALUE) {
    if (disposition == CREATE_ALWAYS) throw EFCreateError(Format(L"Cannot create file \"%s\"", FileName));
    throw EFOpenError(Format(L"Cannot open file \"%s\"", FileName));
  }
}

TFileStream::~TFileStream() { CloseHandle(FHandle); }

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t total = 0;
  auto* p = static_cast<char*>(Buffer);
  while (Count > 0) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<std::int64_t>(Count, 1 << 30));
    if (!ReadFile(FHandle, p + total, want, &got, nullptr) || got == 0) break;
    total += got;
    Count -= got;
  }
  return total;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  std::int64_t total = 0;
  auto* p = static_cast<const char*>(Buffer);
  while (Count > 0) {
    DWORD put = 0;
    DWORD want = static_cast<DWORD>(std::min<std::int64_t>(Count, 1 << 30));
    if (!WriteFile(FHandle, p + total, want, &put, nullptr) || put == 0) break;
    total += put;
    Count -= put;
  }
  return total;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  static const DWORD methods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER distance, result;
  distance.QuadPart = Offset;
  if (!SetFilePointerEx(FHandle, distance, &result, methods[Origin])) return -1;
  return result.QuadPart;
}

void TFileStream::SetSize(std::int64_t NewSize) {
  Seek(NewSize, soBeginning);
  if (!SetEndOfFile(FHandle)) throw EStreamError(L"Stream size cannot be changed");
}

}  // namespace vcl
