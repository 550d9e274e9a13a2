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

// Memory for an object that lives as long as a frame (the frame itself): Size bytes, cut from
// Store's slabs as index buffers are, or from the heap without a store; throws std::bad_alloc.
// Freed by FreeObjectBlock only.
KX_API void* AllocateObjectBlock(std::size_t Size, class TGIFFrameStore* Store);
KX_API void FreeObjectBlock(void* Block) noexcept;

// Bytes of the slabs mapped outside the heap that frames hold now (those waiting for the next
// image not counted): what a measurement of the heap does not see.
std::size_t MappedSlabBytes();

class TGIFFrameStore {
 public:
  TGIFFrameStore();
  ~TGIFFrameStore();
  TGIFFrameStore(const TGIFFrameStore&) = delete;
  TGIFFrameStore& operator=(const TGIFFrameStore&) = delete;

  // Count bytes, not initialised; throws std::bad_alloc. After the first, buffers are cut from
  // slabs: from the heap, as large as what the image holds already, until it holds 2 MiB; then
  // mapped pages of 8 MiB, of which only what is written is backed by memory. Mapped slabs freed
  // by images wait (up to 64 MiB in all) for the next image to load, pages and all.
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
