#pragma once
// TOleStream: a framework stream over a COM stream (IStream), so that code written against
// vcl::TStream can fill or read a stream that another object hands out or receives.
#include <windows.h>
#include <ole2.h>

#include "framework/ComObj.h"
#include "framework/Streams.h"

namespace vcl {

class KX_API TOleStream : public TStream {
 public:
  // Holds a reference of its own to Stream (not null).
  explicit TOleStream(IStream* Stream);

  // Read and Write move what the COM stream moves; a failed call moves nothing more.
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  // Raises EOleError when the COM stream refuses.
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;

  IStream* Stream() const { return FStream.Get(); }

 private:
  TComPtr<IStream> FStream;
};

}  // namespace vcl
