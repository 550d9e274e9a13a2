#pragma once
// What the frames of one image share while it loads: the LZW decoder's tables and the slabs their
// index buffers are cut from. A long animation then pays for its decoder once, and for fresh
// memory in a few large pieces rather than frame by frame.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/Export.h"
#include "gif/KXGIFLZW.h"

namespace kestrix::gifdetail {

class TPixelSlab;

// Frees a frame's index buffer: an allocation of its own, or its share of a slab (the slab goes
// with the last frame that holds a part of it).
struct KX_API TPixelRelease {
  TPixelSlab* Slab = nullptr;
  void operator()(std::uint8_t* Pixels) const noexcept;
};
using TPixelBuffer = std::unique_ptr<std::uint8_t[], TPixelRelease>;

// A buffer of Count bytes of its own (zeroed when Zero); throws std::bad_alloc.
TPixelBuffer AllocatePixels(std::size_t Count, bool Zero);

class TGIFFrameStore {
 public:
  TGIFFrameStore();
  ~TGIFFrameStore();
  TGIFFrameStore(const TGIFFrameStore&) = delete;
  TGIFFrameStore& operator=(const TGIFFrameStore&) = delete;

  // Count bytes, not initialised; throws std::bad_alloc. After the first, buffers are cut from
  // slabs as large as what the image holds already, up to 8 MiB, so that what is reserved beyond
  // the buffers stays below what they hold and below one slab.
  TPixelBuffer Allocate(std::size_t Count);

  TGIFLZWDecoder& Decoder() { return FDecoder; }

 private:
  TGIFLZWDecoder FDecoder;
  TPixelSlab* FSlab = nullptr;     // the slab buffers are cut from; one reference is the store's
  std::uint8_t* FNext = nullptr;  // where the next buffer starts in it
  std::size_t FFree = 0;           // bytes left in it
  std::size_t FHanded = 0;      // bytes handed out so far
};

}  // namespace kestrix::gifdetail
