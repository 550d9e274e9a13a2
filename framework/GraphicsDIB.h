#pragma once
// The header of an uncompressed DIB as the picture classes make it to create bitmaps and to read
// their pixels back; everything else of the header stays zero.
#include <windows.h>

namespace vcl {

inline BITMAPINFOHEADER RGBDIBHeader(int Width, int Height, int Bits) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = Width;
  header.biHeight = Height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(Bits);
  header.biCompression = BI_RGB;
  return header;
}

}  // namespace vcl
