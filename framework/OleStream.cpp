#include "framework/OleStream.h"

#include <algorithm>
#include <climits>

namespace vcl {

namespace {

// IStream moves at most a ULONG per call.
constexpr std::int64_t kMaxCall = 0x40000000;

}  // namespace

TOleStream::TOleStream(IStream* Stream) : FStream(Stream) {}

std::int64_t TOleStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  auto* out = static_cast<char*>(Buffer);
  while (done < Count) {
    ULONG got = 0;
    const ULONG ask = static_cast<ULONG>(std::min(Count - done, kMaxCall));
    if (FAILED(FStream->Read(out + done, ask, &got)) || got == 0) break;
    done += std::min<std::int64_t>(got, ask);
  }
  return done;
}

std::int64_t TOleStream::Write(const void* Buffer, std::int64_t Count) {
  std::int64_t done = 0;
  const auto* in = static_cast<const char*>(Buffer);
  while (done < Count) {
    ULONG put = 0;
    const ULONG ask = static_cast<ULONG>(std::min(Count - done, kMaxCall));
    if (FAILED(FStream->Write(in + done, ask, &put)) || put == 0) break;
    done += std::min<std::int64_t>(put, ask);
  }
  return done;
}

std::int64_t TOleStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  LARGE_INTEGER move;
  move.QuadPart = Offset;
  ULARGE_INTEGER position{};
  const DWORD origin = Origin == soBeginning ? STREAM_SEEK_SET : Origin == soCurrent ? STREAM_SEEK_CUR : STREAM_SEEK_END;
  OleCheck(FStream->Seek(move, origin, &position));
  return static_cast<std::int64_t>(std::min<ULONGLONG>(position.QuadPart, LLONG_MAX));
}

void TOleStream::SetSize(std::int64_t NewSize) {
  ULARGE_INTEGER size;
  size.QuadPart = static_cast<ULONGLONG>(std::max<std::int64_t>(NewSize, 0));
  OleCheck(FStream->SetSize(size));
}

}  // namespace vcl
