#include "framework/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace vcl {

namespace {

// The handle slot of the class holds the file descriptor.
int Descriptor(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)); }

// Calls read or write until Count bytes moved, the file ends or an error other than an interrupt.
template <class Transfer>
std::int64_t Repeat(std::int64_t Count, Transfer transfer) {
  std::int64_t total = 0;
  while (Count > total) {
    ssize_t n = transfer(total, static_cast<size_t>(std::min<std::int64_t>(Count - total, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

}  // namespace

TFileStream::TFileStream(const std::wstring& FileName, std::uint16_t Mode) : FFileName(FileName) {
  bool create = (Mode & 0xFF00) == fmCreate;
  static const int accessOf[] = {O_RDONLY, O_WRONLY, O_RDWR};
  int flags = create ? O_RDWR | O_CREAT | O_TRUNC : accessOf[std::min<unsigned>(Mode & 3, 2)];
  int fd = ::open(Utf8FromUnicode(FileName).c_str(), flags | O_CLOEXEC, 0666);
  struct stat st;
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    if (create) throw EFCreateError(Format(L"Cannot create file \"%s\"", FileName));
    throw EFOpenError(Format(L"Cannot open file \"%s\"", FileName));
  }
  FHandle = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd));
}

TFileStream::~TFileStream() { ::close(Descriptor(FHandle)); }

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  auto* p = static_cast<char*>(Buffer);
  return Repeat(Count, [&](std::int64_t done, size_t want) { return ::read(Descriptor(FHandle), p + done, want); });
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  auto* p = static_cast<const char*>(Buffer);
  return Repeat(Count, [&](std::int64_t done, size_t want) { return ::write(Descriptor(FHandle), p + done, want); });
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  return ::lseek(Descriptor(FHandle), static_cast<off_t>(Offset), whence[Origin]);
}

void TFileStream::SetSize(std::int64_t NewSize) {
  if (Seek(NewSize, soBeginning) != NewSize || ::ftruncate(Descriptor(FHandle), static_cast<off_t>(NewSize)) != 0)
    throw EStreamError(L"Stream size cannot be changed");
}

}  // namespace vcl
