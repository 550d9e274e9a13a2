#include "support/ImageFiles.h"

#include <wincodec.h>

#include <cstring>

#include "formats/KXFileGroupBlock.h"
#include "framework/ComObj.h"
#include "framework/SysUtils.h"
#include "support/RawDropTarget.h"

namespace kxtest {

std::string EncodeImage(HBITMAP bitmap, const GUID& container) {
  const std::string pixels32 = BitmapPixels32(bitmap);  // header, then top-down BGRX rows
  if (pixels32.empty()) return {};
  BITMAPINFOHEADER h{};
  std::memcpy(&h, pixels32.data(), sizeof h);
  const UINT width = static_cast<UINT>(h.biWidth), height = static_cast<UINT>(-h.biHeight);
  const UINT stride = width * 3;
  std::string pixels24(static_cast<size_t>(stride) * height, '\0');
  for (size_t i = 0; i < size_t(width) * height; ++i) std::memcpy(&pixels24[i * 3], &pixels32[sizeof h + i * 4], 3);

  vcl::TComPtr<IWICImagingFactory> factory;
  vcl::TComPtr<IStream> stream;
  vcl::TComPtr<IWICBitmapEncoder> encoder;
  vcl::TComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              factory.PutVoid())) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())) ||
      FAILED(factory->CreateEncoder(container, nullptr, encoder.Put())) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.Put(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(width, height)) || FAILED(frame->SetPixelFormat(&format)) ||
      !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ||
      FAILED(frame->WritePixels(height, stride, static_cast<UINT>(pixels24.size()),
                                reinterpret_cast<BYTE*>(pixels24.data()))) ||
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
