#include "gif/KXGIFFrameStore.h"

#include <algorithm>
#include <atomic>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kestrix::gifdetail {

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
// From 2 MiB on, slab sizes are whole huge pages, and Linux is asked to back those inside a slab
// with huge pages: one fault then brings 2 MiB instead of 512 faults of a page each.
constexpr std::size_t kHugePage = 2 * kMiB;
constexpr std::size_t kSlabMax = 8 * kMiB;
constexpr std::size_t kPage = 4096;
// Buffers start on 16 bytes (the header keeps them so), as allocations of their own do.
constexpr std::size_t kGrain = 16;

}  // namespace

// One allocation: this header, then the buffers. Frames hold references; so does the store while
// it cuts buffers from the slab. Frames that share a slab may be freed on different threads.
class TPixelSlab {
 public:
  static constexpr std::size_t kHeader = 64;

  // Bytes in all, the header's included; throws std::bad_alloc.
  static TPixelSlab* Make(std::size_t bytes) {
    void* memory = ::operator new(bytes);
#if defined(MADV_HUGEPAGE)
    // Only a hint, for the whole huge pages inside: the slab works the same without them.
    const auto at = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t first = (at + kHugePage - 1) & ~(kHugePage - 1), end = (at + bytes) & ~(kHugePage - 1);
    if (first < end) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
    return new (memory) TPixelSlab;
  }

  std::uint8_t* Buffers() { return reinterpret_cast<std::uint8_t*>(this) + kHeader; }
  void AddRef() { FRefs.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (FRefs.fetch_sub(1, std::memory_order_acq_rel) > 1) return;
    this->~TPixelSlab();
    ::operator delete(static_cast<void*>(this));
  }

 private:
  TPixelSlab() = default;
  ~TPixelSlab() = default;

  std::atomic<std::size_t> FRefs{1};
};

void TPixelRelease::operator()(std::uint8_t* Pixels) const noexcept {
  if (Slab) Slab->Release();
  else delete[] Pixels;
}

TPixelBuffer AllocatePixels(std::size_t Count, bool Zero) {
  return TPixelBuffer(Zero ? new std::uint8_t[Count]() : new std::uint8_t[Count]);
}

TGIFFrameStore::TGIFFrameStore() = default;

TGIFFrameStore::~TGIFFrameStore() {
  if (FSlab) FSlab->Release();
}

TPixelBuffer TGIFFrameStore::Allocate(std::size_t Count) {
  const std::size_t taken = (Count + kGrain - 1) / kGrain * kGrain;
  if (taken > FFree) {
    // A new slab about as large as the buffers handed out so far (rounded up to pages, so that its
    // unused end stays about what the image holds at most) and at most 8 MiB; the first buffer,
    // and one no slab would hold, is allocated on its own, exactly.
    if (FHanded == 0 || taken > kSlabMax - TPixelSlab::kHeader) {
      FHanded += Count;
      return AllocatePixels(Count, false);
    }
    std::size_t bytes = std::min(std::max(FHanded, taken) + TPixelSlab::kHeader, kSlabMax);
    bytes = (bytes + kPage - 1) / kPage * kPage;
    if (bytes >= kHugePage) bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    TPixelSlab* slab = nullptr;
    try {
      slab = TPixelSlab::Make(bytes);
    } catch (const std::bad_alloc&) {
      // The slab's room beyond this buffer may be what is missing.
      FHanded += Count;
      return AllocatePixels(Count, false);
    }
    if (FSlab) FSlab->Release();
    FSlab = slab;
    FNext = slab->Buffers();
    FFree = bytes - TPixelSlab::kHeader;
  }
  TPixelBuffer cut(FNext, TPixelRelease{FSlab});
  FSlab->AddRef();
  FNext += taken;
  FFree -= taken;
  FHanded += Count;
  return cut;
}

}  // namespace kestrix::gifdetail
