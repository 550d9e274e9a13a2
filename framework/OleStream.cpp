#include "framework/OleStream.h"

#include <algorithm>
#include <climits>

namespace vcl {

namespace {

// IStream moves at most a ULONG per call.
constexpr std::int64_t kMaxCall = 0x40000000;

// Moves Count bytes in calls of at most kMaxCall, until a call fails or moves nothing.
template <class F>
std::int64_t Transfer(std::int64_t Count, F&& Call) {
  std::int64_t done = 0;
  while (done < Count) {
    ULONG moved = 0;
    const ULONG ask = static_cast<ULONG>(std::min(Count - done, kMaxCall));
    if (FAILED(Call(done, ask, &moved)) || moved == 0) break;
    done += std::min<std::int64_t>(moved, ask);
  }
  return done;
}

}  // namespace

TOleStream::TOleStream(IStream* Stream) : FStream(Stream) {}

std::int64_t TOleStream::Read(void* Buffer, std::int64_t Count) {
  return Transfer(Count, [&](std::int64_t done, ULONG ask, ULONG* moved) {
    return FStream->Read(static_cast<char*>(Buffer) + done, ask, moved);
  });
}

std::int64_t TOleStream::Write(const void* Buffer, std::int64_t Count) {
  return Transfer(Count, [&](std::int64_t done, ULONG ask, ULONG* moved) {
    return FStream->Write(static_cast<const char*>(Buffer) + done, ask, moved);
  });
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
