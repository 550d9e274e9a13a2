#include "gif/KXGIFColorMap.h"

#include <algorithm>
#include <cstring>

#include "gif/KXGIFConsts.h"
#include "gif/KXGIFImage.h"

namespace kestrix {

namespace {
enum : int { kMaxColors = 256, kSmallCapacity = 16, kCapacityStep = 32 };
}

TGIFColorMap::TGIFColorMap() = default;

// Descendants run Clear and Changed in their own destructors, where Changed still reaches them.
TGIFColorMap::~TGIFColorMap() = default;

TGIFColor TGIFColorMap::Color2RGB(vcl::TColor Color) {
  return {static_cast<std::uint8_t>(Color & 0xFF), static_cast<std::uint8_t>((Color >> 8) & 0xFF),
          static_cast<std::uint8_t>((Color >> 16) & 0xFF)};
}

vcl::TColor TGIFColorMap::RGB2Color(TGIFColor Color) { return Color.Red | (Color.Green << 8) | (Color.Blue << 16); }

void TGIFColorMap::Clear() {
  FColorMap.reset();
  FCount = 0;
  FCapacity = 0;
  FOptimized = false;
}

void TGIFColorMap::SetCapacity(int Size) {
  if (Size < FCapacity) return;
  int capacity = Size <= kSmallCapacity ? kSmallCapacity : (Size + kCapacityStep - 1) / kCapacityStep * kCapacityStep;
  capacity = std::min(capacity, static_cast<int>(kMaxColors));
  auto entries = std::make_unique<TGIFColor[]>(static_cast<size_t>(capacity));
  if (FColorMap) std::memcpy(entries.get(), FColorMap.get(), static_cast<size_t>(std::min(FCapacity, capacity)) * sizeof(TGIFColor));
  FColorMap = std::move(entries);
  FCapacity = capacity;
}

void TGIFColorMap::LoadFromStream(vcl::TStream& Stream, int Count) {
  Clear();
  if (Count <= 0) return;
  if (Count > kMaxColors) throw GIFException(res::sGIFColorTableOverflow);
  SetCapacity(Count);
  gifdetail::ReadExact(Stream, FColorMap.get(), static_cast<std::int64_t>(Count) * sizeof(TGIFColor));
  FCount = Count;
}

void TGIFColorMap::SaveToStream(vcl::TStream&) { gifdetail::RaiseNotAvailable(); }

int TGIFColorMap::IndexOf(vcl::TColor Color) const {
  TGIFColor rgb = Color2RGB(Color);
  auto same = [&](int i) {
    const TGIFColor& c = FColorMap[static_cast<size_t>(i)];
    return c.Red == rgb.Red && c.Green == rgb.Green && c.Blue == rgb.Blue;
  };
  if (FOptimized) {
    for (int i = 0; i < FCount; ++i)
      if (same(i)) return i;
  } else {
    for (int i = FCount - 1; i >= 0; --i)
      if (same(i)) return i;
  }
  return -1;
}

int TGIFColorMap::Add(vcl::TColor Color) {
  if (FCount >= kMaxColors) throw GIFException(res::sGIFColorTableOverflow);
  if (FCount >= FCapacity) SetCapacity(FCount + 1);
  FColorMap[static_cast<size_t>(FCount)] = Color2RGB(Color);
  int index = FCount++;
  FOptimized = false;
  Changed();
  return index;
}

int TGIFColorMap::AddUnique(vcl::TColor Color) {
  int index = IndexOf(Color);
  return index >= 0 ? index : Add(Color);
}

void TGIFColorMap::Delete(int Index) {
  if (Index < 0 || Index >= FCount) throw GIFException(res::sGIFInvalidColorIndex);
  std::memmove(&FColorMap[static_cast<size_t>(Index)], &FColorMap[static_cast<size_t>(Index) + 1],
               static_cast<size_t>(FCount - Index - 1) * sizeof(TGIFColor));
  --FCount;
  FOptimized = false;
  Changed();
}

vcl::TColor TGIFColorMap::GetColor(int Index) {
  if (Index < 0 || Index >= FCount) {
    Warning(gsWarning, res::sGIFInvalidColorIndex);
    if (FCount == 0) throw GIFException(res::sGIFColorTableEmpty);
    Index = 0;
  }
  return RGB2Color(FColorMap[static_cast<size_t>(Index)]);
}

void TGIFColorMap::SetColor(int Index, vcl::TColor Value) {
  if (Index < 0 || Index >= FCount) throw GIFException(res::sGIFInvalidColorIndex);
  FColorMap[static_cast<size_t>(Index)] = Color2RGB(Value);
  Changed();
}

int TGIFColorMap::GetBitsPerPixel() const {
  int bits = 0;
  while (bits < 8 && (1 << bits) < FCount) ++bits;
  return FCount == 0 ? 0 : std::max(bits, 1);
}

void TGIFColorMap::Assign(vcl::TPersistent* Source) {
  auto* other = dynamic_cast<TGIFColorMap*>(Source);
  if (!other) {
    vcl::TPersistent::Assign(Source);
    return;
  }
  if (other == this) return;
  Clear();
  FCapacity = other->FCapacity;
  FCount = other->FCount;
  FOptimized = other->FOptimized;
  if (FCapacity > 0) {
    FColorMap = std::make_unique<TGIFColor[]>(static_cast<size_t>(FCapacity));
    std::memcpy(FColorMap.get(), other->FColorMap.get(), static_cast<size_t>(FCount) * sizeof(TGIFColor));
  }
  Changed();
}

void TGIFColorMap::ImportColorTable(const void* Pal, int Count) {
  Clear();
  Count = std::min(Count, static_cast<int>(kMaxColors));
  if (Count <= 0 || !Pal) return;
  SetCapacity(Count);
  const auto* quad = static_cast<const std::uint8_t*>(Pal);
  for (int i = 0; i < Count; ++i, quad += 4) FColorMap[static_cast<size_t>(i)] = {quad[2], quad[1], quad[0]};
  FCount = Count;
  Changed();
}

void TGIFColorMap::ImportColorMap(const TGIFColor* Map, int Count) {
  Clear();
  Count = std::min(Count, static_cast<int>(kMaxColors));
  if (Count <= 0 || !Map) return;
  SetCapacity(Count);
  FCount = Count;
  std::memcpy(FColorMap.get(), Map, static_cast<size_t>(Count) * sizeof(TGIFColor));
  Changed();
}

// ---- global and local maps ----

TGIFGlobalColorMap::TGIFGlobalColorMap(TGIFHeader* HeaderItem) : FHeader(HeaderItem) {}

TGIFGlobalColorMap::~TGIFGlobalColorMap() {
  Clear();
  Changed();
}

void TGIFGlobalColorMap::Warning(TGIFSeverity Severity, const std::wstring& Message) {
  if (FHeader && FHeader->Image()) FHeader->Image()->Warning(this, Severity, Message);
}

void TGIFGlobalColorMap::Changed() {
  if (FHeader && FHeader->Image()) FHeader->Image()->SetPalette(nullptr);
}

TGIFLocalColorMap::TGIFLocalColorMap(TGIFSubImage* SubImage) : FSubImage(SubImage) {}

TGIFLocalColorMap::~TGIFLocalColorMap() {
  Clear();
  Changed();
}

void TGIFLocalColorMap::Warning(TGIFSeverity Severity, const std::wstring& Message) {
  if (FSubImage && FSubImage->Image()) FSubImage->Image()->Warning(this, Severity, Message);
}

void TGIFLocalColorMap::Changed() {
  if (FSubImage) FSubImage->SetPalette(nullptr);
}

}  // namespace kestrix
