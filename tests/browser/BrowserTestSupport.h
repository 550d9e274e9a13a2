#pragma once
// Helpers of the browser image tests: test files as bytes, and the colours of the four-quadrant
// test picture that every format in tests/data/browser holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/Graphics.h"
#include "framework/Streams.h"
#include "support/TestSupport.h"

namespace browsertest {

inline std::string ReadTestFile(const std::wstring& name) {
  vcl::TMemoryStream stream;
  stream.LoadFromFile(kxtest::TestDataPath(L"browser/" + name));
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

struct TProbe {
  int X, Y;
  vcl::TColor Color;
};

// The picture is 32x16: red and lime above, blue and white below, in 16x8 quadrants.
inline constexpr int kQuadrantsWidth = 32;
inline constexpr int kQuadrantsHeight = 16;
inline constexpr TProbe kQuadrantProbes[] = {
    {4, 3, 0x0000FF}, {27, 4, 0x00FF00}, {5, 12, 0xFF0000}, {28, 11, 0xFFFFFF},
    {0, 0, 0x0000FF}, {31, 0, 0x00FF00}, {0, 15, 0xFF0000}, {31, 15, 0xFFFFFF},
};

inline std::string Hex(vcl::TColor color) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(color));
  return text;
}

// Each channel of actual within tolerance of expected.
inline ::testing::AssertionResult ColorNear(vcl::TColor actual, vcl::TColor expected, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > tolerance)
      return ::testing::AssertionFailure() << "colour " << Hex(actual) << " is not near " << Hex(expected);
  }
  return ::testing::AssertionSuccess();
}

// Checks the quadrant colours of a bitmap drawn at Scale times the picture's size.
inline void ExpectQuadrants(vcl::TBitmap& bitmap, int tolerance, int scale = 1) {
  ASSERT_EQ(bitmap.Width(), kQuadrantsWidth * scale);
  ASSERT_EQ(bitmap.Height(), kQuadrantsHeight * scale);
  for (const TProbe& p : kQuadrantProbes)
    EXPECT_TRUE(ColorNear(bitmap.Canvas()->Pixels(p.X * scale, p.Y * scale), p.Color, tolerance))
        << "at " << p.X << "," << p.Y;
}

}  // namespace browsertest
