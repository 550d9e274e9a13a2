#include "support/ImageFiles.h"

#include <shlobj.h>
#include <wincodec.h>

#include <cstring>

#include "framework/ComObj.h"
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
  const UINT count = static_cast<UINT>(items.size());
  std::string block(reinterpret_cast<const char*>(&count), sizeof count);
  for (const VirtualItem& item : items) {
    if (wide) {
      FILEDESCRIPTORW d{};
      d.dwFlags = FD_ATTRIBUTES | FD_UNICODE;
      d.dwFileAttributes = item.attributes;
      wcsncpy(d.cFileName, item.name.c_str(), MAX_PATH - 1);
      block.append(reinterpret_cast<const char*>(&d), sizeof d);
    } else {
      FILEDESCRIPTORA d{};
      d.dwFlags = FD_ATTRIBUTES;
      d.dwFileAttributes = item.attributes;
      WideCharToMultiByte(CP_ACP, 0, item.name.c_str(), -1, d.cFileName, MAX_PATH - 1, nullptr, nullptr);
      block.append(reinterpret_cast<const char*>(&d), sizeof d);
    }
  }
  return block;
}

}  // namespace kxtest
