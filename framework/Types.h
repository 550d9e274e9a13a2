#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <type_traits>

namespace vcl {

class TObject;

// A set of an enumeration whose ordinals are 0..7, stored in one byte: bit n stands for ordinal n,
// so the byte values match the ones applications store.
template <class E>
class TSet {
  static_assert(std::is_enum_v<E>);

 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) FBits |= Bit(m);
  }
  static constexpr TSet FromByte(std::uint8_t bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }
  constexpr std::uint8_t Byte() const { return FBits; }
  constexpr bool Contains(E m) const { return (FBits & Bit(m)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet& Include(E m) { FBits |= Bit(m); return *this; }
  constexpr TSet& Exclude(E m) { FBits &= static_cast<std::uint8_t>(~Bit(m)); return *this; }
  constexpr TSet operator|(TSet o) const { return FromByte(FBits | o.FBits); }
  constexpr TSet operator&(TSet o) const { return FromByte(FBits & o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromByte(FBits & static_cast<std::uint8_t>(~o.FBits)); }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr std::uint8_t Bit(E m) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(m)); }
  std::uint8_t FBits = 0;
};

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

enum TMouseButton : std::uint8_t { mbLeft, mbRight, mbMiddle };

// Events: callables taking the sender first; raised only when assigned.
using TNotifyEvent = std::function<void(TObject* Sender)>;

}  // namespace vcl
