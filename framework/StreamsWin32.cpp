#include "framework/Streams.h"

#include <windows.h>

#include <algorithm>

namespace vcl {

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
