#pragma once
// Image files made in memory from a bitmap with Windows Imaging Component's encoders, and the
// file group descriptors that name virtual files, as a browser offers a dragged image.
#include <windows.h>

#include <string>
#include <vector>

namespace kxtest {

// The bitmap encoded as a file of the container format (GUID_ContainerFormatPng, ...Jpeg, ...Bmp)
// from its 24-bit pixels; empty when WIC refuses.
std::string EncodeImage(HBITMAP bitmap, const GUID& container);
// Top-down BGRA rows (alpha not premultiplied) encoded as a file of the container format, alpha
// kept; empty when WIC refuses.
std::string EncodeBGRA(UINT width, UINT height, const std::string& pixels, const GUID& container);

struct VirtualItem {
  std::wstring name;
  DWORD attributes = 0;  // FILE_ATTRIBUTE_DIRECTORY for a folder
};
// A FILEGROUPDESCRIPTORW block (Wide) or a FILEGROUPDESCRIPTORA block naming the items.
std::string FileGroupDescriptor(const std::vector<VirtualItem>& items, bool wide = true);

}  // namespace kxtest
