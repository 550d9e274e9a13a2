#include "support/ImageFiles.h"

#include <wincodec.h>

#include <cstring>
#include <utility>

#include "formats/KXFileGroupBlock.h"
#include "framework/ComObj.h"
#include "framework/SysUtils.h"
#include "support/RawDropTarget.h"

namespace kxtest {

namespace {

// Top-down rows of the pixel format, encoded as a file of the container format; empty when WIC refuses.
std::string EncodePixels(UINT width, UINT height, std::string pixels, UINT bytesPerPixel, WICPixelFormatGUID pixelFormat,
                         const GUID& container) {
  const UINT stride = width * bytesPerPixel;
  vcl::TComPtr<IWICImagingFactory> factory;
  vcl::TComPtr<IStream> stream;
  vcl::TComPtr<IWICBitmapEncoder> encoder;
  vcl::TComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = pixelFormat;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              factory.PutVoid())) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())) ||
      FAILED(factory->CreateEncoder(container, nullptr, encoder.Put())) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.Put(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(width, height)) || FAILED(frame->SetPixelFormat(&format)) ||
      !IsEqualGUID(format, pixelFormat) ||
      FAILED(frame->WritePixels(height, stride, static_cast<UINT>(pixels.size()), reinterpret_cast<BYTE*>(pixels.data()))) ||
      FAILED(frame->Commit()) || FAILED(encoder->Commit()))
    return {};
  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return {};
  std::string file(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
  LARGE_INTEGER start{};
  ULONG read = 0;
  if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
      FAILED(stream->Read(file.data(), static_cast<ULONG>(file.size()), &read)) || read != file.size())
    return {};
  return file;
}

}  // namespace

std::string EncodeImage(HBITMAP bitmap, const GUID& container) {
  const std::string pixels32 = BitmapPixels32(bitmap);  // header, then top-down BGRX rows
  if (pixels32.empty()) return {};
  BITMAPINFOHEADER h{};
  std::memcpy(&h, pixels32.data(), sizeof h);
  const UINT width = static_cast<UINT>(h.biWidth), height = static_cast<UINT>(-h.biHeight);
  std::string pixels24(size_t(width) * 3 * height, '\0');
  for (size_t i = 0; i < size_t(width) * height; ++i) std::memcpy(&pixels24[i * 3], &pixels32[sizeof h + i * 4], 3);
  return EncodePixels(width, height, std::move(pixels24), 3, GUID_WICPixelFormat24bppBGR, container);
}

std::string EncodeBGRA(UINT width, UINT height, const std::string& pixels, const GUID& container) {
  return EncodePixels(width, height, pixels, 4, GUID_WICPixelFormat32bppBGRA, container);
}

std::string FileGroupDescriptor(const std::vector<VirtualItem>& items, bool wide) {
  std::vector<kestrix::blocks::TFileGroupEntry> entries;
  for (const VirtualItem& item : items) {
    kestrix::blocks::TFileGroupEntry& entry = entries.emplace_back();
    entry.Name = wide ? std::string(reinterpret_cast<const char*>(item.name.data()), item.name.size() * 2)
                      : vcl::AnsiFromUnicode(item.name);
    entry.Attributes = item.attributes;
  }
  return kestrix::blocks::FileGroupBlock(entries, wide);
}

}  // namespace kxtest
