#include "gif/KXGIFFrameStore.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

// Under AddressSanitizer a slab's room is poisoned until a buffer is cut from it, and again when
// the slab is freed: reads and writes past a frame, or into a freed one, are caught as they are
// for buffers of their own.
#if defined(__SANITIZE_ADDRESS__)
#define KX_SLAB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_SLAB_ASAN 1
#endif
#endif
#if defined(KX_SLAB_ASAN)
#include <sanitizer/asan_interface.h>
#define KX_POISON(at, size) ASAN_POISON_MEMORY_REGION(at, size)
#define KX_UNPOISON(at, size) ASAN_UNPOISON_MEMORY_REGION(at, size)
#else
#define KX_POISON(at, size) ((void)(at), (void)(size))
#define KX_UNPOISON(at, size) ((void)(at), (void)(size))
#endif

namespace kestrix::gifdetail {

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;
constexpr std::size_t kHugePage = 2 * kMiB;
// Once an image holds this much, its slabs are mapped pages of their own, kSlabMax each: untouched
// pages of a mapping cost nothing, so what an image holds beyond its buffers is the rest of the
// page (huge, on Linux) the last buffer ends in. Below it, slabs come from the heap.
constexpr std::size_t kMappedFrom = kHugePage;
constexpr std::size_t kSlabMax = 8 * kMiB;
constexpr std::size_t kPage = 4096;
// Buffers start on 16 bytes (the header keeps them so), as allocations of their own do.
constexpr std::size_t kGrain = 16;
// Mapped slabs freed by one image wait, up to this much, for the next image to load: their pages
// are already there, while fresh ones would each be faulted in and zeroed by the system (about as
// long as decoding into them takes). All but one are left for the system to take back whenever it
// needs memory; a slab whose pages it took gets fresh ones, zeroed, when written.
constexpr std::size_t kWaitingMax = 64 * kMiB;

#if defined(__linux__)
// Aligned to huge pages and asked to be backed by them: one fault brings 2 MiB instead of 512
// faults of a page each, and frames written into the slab miss the TLB far less.
void* MapSlab() {
  void* mapped = mmap(nullptr, kSlabMax + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto at = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t start = (at + kHugePage - 1) & ~(kHugePage - 1);
  if (start != at) munmap(mapped, start - at);
  munmap(reinterpret_cast<void*>(start + kSlabMax), at + kHugePage - start);
#if defined(MADV_HUGEPAGE)
  madvise(reinterpret_cast<void*>(start), kSlabMax, MADV_HUGEPAGE);  // only a hint
#endif
  return reinterpret_cast<void*>(start);
}
void UnmapSlab(void* slab) {
  KX_UNPOISON(slab, kSlabMax);  // the addresses may be mapped again by anyone
  munmap(slab, kSlabMax);
}
// The system may take the pages back instead of writing them out; they keep their contents until then.
void ForgetPages(void* slab) {
#if defined(MADV_FREE)
  madvise(slab, kSlabMax, MADV_FREE);
#endif
}
#elif defined(_WIN32)
void* MapSlab() {
  void* slab = VirtualAlloc(nullptr, kSlabMax, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!slab) throw std::bad_alloc();
  return slab;
}
void UnmapSlab(void* slab) { VirtualFree(slab, 0, MEM_RELEASE); }
void ForgetPages(void* slab) { VirtualAlloc(slab, kSlabMax, MEM_RESET, PAGE_READWRITE); }
#else
void* MapSlab() { return ::operator new(kSlabMax); }
void UnmapSlab(void* slab) { ::operator delete(slab); }
void ForgetPages(void*) {}
#endif

// Mapped slabs waiting for reuse, linked through their first bytes. The first waits as it is,
// for the next image to write into at once (telling the system would cost a call and its flush
// on every load of a small animation); the others are left to the system, which may take their
// pages. Images load and free their frames on any thread.
class TWaitingSlabs {
 public:
  void* Take() {
    std::lock_guard<std::mutex> lock(FLock);
    for (TLink** list : {&FKept, &FLeft}) {
      if (TLink* slab = *list) {
        *list = slab->Next;
        --FCount;
        return slab;
      }
    }
    return nullptr;
  }

  void Give(void* slab) {
    std::unique_lock<std::mutex> lock(FLock);
    if (!FKept) {
      Push(FKept, slab);
      return;
    }
    if ((FCount + 1) * kSlabMax > kWaitingMax) {
      lock.unlock();
      UnmapSlab(slab);
      return;
    }
    ++FCount;  // counted now, so that another thread cannot pass the limit meanwhile
    lock.unlock();
    ForgetPages(slab);
    lock.lock();
    --FCount;
    Push(FLeft, slab);
  }

 private:
  struct TLink {
    TLink* Next;
  };

  void Push(TLink*& list, void* slab) {
    list = new (slab) TLink{list};
    ++FCount;
  }

  std::mutex FLock;
  TLink* FKept = nullptr;  // at most one
  TLink* FLeft = nullptr;
  std::size_t FCount = 0;
};

std::atomic<std::size_t> mappedInUse{0};

// Never destroyed: frames of static images may be freed after it would be.
TWaitingSlabs& Waiting() {
  static TWaitingSlabs* waiting = new TWaitingSlabs;
  return *waiting;
}

}  // namespace

// One allocation: this header, then the buffers. Frames hold references; so does the store while
// it cuts buffers from the slab. Frames that share a slab may be freed on different threads.
class TPixelSlab {
 public:
  static constexpr std::size_t kHeader = 64;

  // A slab from the heap of Bytes in all, the header's included; throws std::bad_alloc.
  static TPixelSlab* FromHeap(std::size_t bytes) {
    auto* slab = new (::operator new(bytes)) TPixelSlab(false);
    KX_POISON(slab->Buffers(), bytes - kHeader);
    return slab;
  }
  // A mapped slab of kSlabMax bytes, one that waited if there is one (or only such a one when
  // OnlyWaiting: nullptr if none waits); throws std::bad_alloc.
  static TPixelSlab* Mapped(bool onlyWaiting) {
    void* memory = Waiting().Take();
    if (!memory && onlyWaiting) return nullptr;
    auto* slab = new (memory ? memory : MapSlab()) TPixelSlab(true);
    KX_POISON(slab->Buffers(), kSlabMax - kHeader);
    mappedInUse.fetch_add(kSlabMax, std::memory_order_relaxed);
    return slab;
  }

  std::uint8_t* Buffers() { return reinterpret_cast<std::uint8_t*>(this) + kHeader; }
  void AddRef() { FRefs.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (FRefs.fetch_sub(1, std::memory_order_acq_rel) > 1) return;
    const bool mapped = FMapped;
    this->~TPixelSlab();
    if (mapped) {
      mappedInUse.fetch_sub(kSlabMax, std::memory_order_relaxed);
      KX_POISON(reinterpret_cast<std::uint8_t*>(this) + kHeader, kSlabMax - kHeader);
      Waiting().Give(this);
    } else {
      ::operator delete(static_cast<void*>(this));
    }
  }

 private:
  explicit TPixelSlab(bool mapped) : FMapped(mapped) {}
  ~TPixelSlab() = default;

  std::atomic<std::size_t> FRefs{1};
  const bool FMapped;
};

void TPixelRelease::operator()(std::uint8_t* Pixels) const noexcept {
  if (Slab) Slab->Release();
  else delete[] Pixels;
}

TPixelBuffer AllocatePixels(std::size_t Count, bool Zero) {
  return TPixelBuffer(Zero ? new std::uint8_t[Count]() : new std::uint8_t[Count]);
}

namespace {
// Before each object block: how to free the block it begins. 16 bytes, so that the object is
// aligned as the block is (slab buffers start on 16 bytes, heap blocks as the heap aligns them).
struct TObjectHeader {
  TPixelRelease Release;
  unsigned char Pad[16 - sizeof(TPixelRelease)];
};
static_assert(sizeof(TObjectHeader) == 16);
}  // namespace

void* AllocateObjectBlock(std::size_t Size, TGIFFrameStore* Store) {
  TPixelBuffer block = Store ? Store->Allocate(sizeof(TObjectHeader) + Size) : AllocatePixels(sizeof(TObjectHeader) + Size, false);
  auto* header = new (block.get()) TObjectHeader{block.get_deleter(), {}};
  block.release();
  return header + 1;
}

void FreeObjectBlock(void* Block) noexcept {
  if (!Block) return;
  auto* header = static_cast<TObjectHeader*>(Block) - 1;
  const TPixelRelease release = header->Release;
  header->~TObjectHeader();
  release(reinterpret_cast<std::uint8_t*>(header));
}

std::size_t MappedSlabBytes() { return mappedInUse.load(std::memory_order_relaxed); }

TGIFFrameStore::TGIFFrameStore() = default;

TGIFFrameStore::~TGIFFrameStore() {
  if (FSlab) FSlab->Release();
}

TPixelBuffer TGIFFrameStore::Allocate(std::size_t Count) {
  const std::size_t taken = (Count + kGrain - 1) / kGrain * kGrain;
  if (taken > FFree) {
    // The first buffer, and one no slab would hold, is allocated on its own, exactly. Then mapped
    // slabs once the image holds kMappedFrom, or sooner if one waits (its pages cost nothing more
    // there than here); else a slab from the heap about as large as the buffers handed out so far
    // (rounded up to pages), so that its unused end stays below what the image holds.
    if (FHanded == 0 || taken > kSlabMax - TPixelSlab::kHeader) {
      FHanded += Count;
      return AllocatePixels(Count, false);
    }
    std::size_t bytes = kSlabMax;
    TPixelSlab* slab = nullptr;
    try {
      slab = TPixelSlab::Mapped(FHanded < kMappedFrom);
      if (!slab) {
        bytes = (std::max(FHanded, taken) + TPixelSlab::kHeader + kPage - 1) / kPage * kPage;
        slab = TPixelSlab::FromHeap(bytes);
      }
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
  KX_UNPOISON(FNext, Count);
  TPixelBuffer cut(FNext, TPixelRelease{FSlab});
  FSlab->AddRef();
  FNext += taken;
  FFree -= taken;
  FHanded += Count;
  return cut;
}

}  // namespace kestrix::gifdetail
