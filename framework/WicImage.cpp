#include "framework/WicImage.h"

#include <wincodec.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "framework/ComObj.h"

namespace vcl {

namespace {

struct ImageSize {
  UINT width;
  UINT height;
};

unsigned char ByteAt(std::string_view data, size_t i) { return static_cast<unsigned char>(data[i]); }

// The image size that the first frame header (SOFn) of a JPEG file gives; nothing when the
// markers before it do not hold together. Decoders allocate by this size before they read any
// pixels (Wine's computes the allocation in 32 bits), so it is checked before WIC sees the data.
std::optional<ImageSize> JpegFrameSize(std::string_view data) {
  enum : unsigned char { kMarker = 0xFF, kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kTEM = 0x01, kRST0 = 0xD0, kRST7 = 0xD7 };
  auto byte = [&](size_t i) { return ByteAt(data, i); };
  const size_t size = data.size();
  if (size < 4 || byte(0) != kMarker || byte(1) != kSOI) return std::nullopt;
  size_t pos = 2;
  for (;;) {
    // Bytes between segments and fill bytes before a marker are skipped, as decoders do.
    while (pos < size && byte(pos) != kMarker) ++pos;
    while (pos < size && byte(pos) == kMarker) ++pos;
    if (pos >= size) return std::nullopt;
    const unsigned char marker = byte(pos++);
    if (marker == kSOI || marker == kTEM || (marker >= kRST0 && marker <= kRST7)) continue;
    if (marker == kEOI || marker == kSOS) return std::nullopt;  // no frame before the scan
    if (size - pos < 2) return std::nullopt;
    const size_t length = (size_t(byte(pos)) << 8) | byte(pos + 1);
    if (length < 2 || length > size - pos) return std::nullopt;
    // SOF0..SOF15 but DHT (C4), JPG (C8) and DAC (CC): length, precision, height, width.
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 8) return std::nullopt;
      return ImageSize{(UINT(byte(pos + 5)) << 8) | byte(pos + 6), (UINT(byte(pos + 3)) << 8) | byte(pos + 4)};
    }
    pos += length;
  }
}

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);

// The size in a PNG file's IHDR chunk, which must come first (signature, length 13, "IHDR",
// width, height, all big-endian); nothing when it does not.
std::optional<ImageSize> PngHeaderSize(std::string_view data) {
  enum : size_t { kChunkLength = 8, kChunkType = 12, kWidth = 16, kHeight = 20, kHeaderEnd = 33 };
  if (data.size() < kHeaderEnd || data.substr(0, kPngSignature.size()) != kPngSignature) return std::nullopt;
  auto be32 = [&](size_t i) {
    return (std::uint32_t(ByteAt(data, i)) << 24) | (std::uint32_t(ByteAt(data, i + 1)) << 16) |
           (std::uint32_t(ByteAt(data, i + 2)) << 8) | ByteAt(data, i + 3);
  };
  if (be32(kChunkLength) != 13 || data.substr(kChunkType, 4) != "IHDR") return std::nullopt;
  return ImageSize{be32(kWidth), be32(kHeight)};
}

bool IsJpegData(std::string_view data) { return data.size() >= 2 && ByteAt(data, 0) == 0xFF && ByteAt(data, 1) == 0xD8; }
bool IsPngData(std::string_view data) { return data.substr(0, kPngSignature.size()) == kPngSignature; }

[[noreturn]] void Invalid(const wchar_t* message) { throw EInvalidGraphic(message); }

}  // namespace

std::unique_ptr<TBitmap> DecodeImageWithWIC(std::string_view Data, const GUID* Container, const wchar_t* InvalidMessage,
                                            bool KeepAlpha) {
  auto invalid = [&] { Invalid(InvalidMessage); };
  // Failures of the decoder itself mean the data is not an image we can read.
  auto decodeCheck = [&](HRESULT hr) {
    if (FAILED(hr)) invalid();
  };
  if (Data.empty() || Data.size() > MAXDWORD) invalid();

  // The size the file's own header states, where we can read it before the decoder allocates.
  std::optional<ImageSize> stated;
  const bool jpeg = Container ? IsEqualGUID(*Container, GUID_ContainerFormatJpeg) : IsJpegData(Data);
  const bool png = Container ? IsEqualGUID(*Container, GUID_ContainerFormatPng) : IsPngData(Data);
  if (jpeg || png) {
    stated = jpeg ? JpegFrameSize(Data) : PngHeaderSize(Data);
    // A JPEG height of 0 defers it to a later marker, which decoders do not support.
    if (!stated || stated->width == 0 || stated->height == 0 ||
        std::uint64_t(stated->width) * stated->height > kMaxDecodedImagePixels)
      invalid();
  }

  // Failures to set up the imaging objects are the system's, not the data's.
  TComPtr<IWICImagingFactory> factory;
  OleCheck(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                            factory.PutVoid()));
  TComPtr<IWICStream> stream;
  OleCheck(factory->CreateStream(stream.Put()));
  // WIC only reads through the stream; the cast is its interface's, not a write.
  OleCheck(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(Data.data())),
                                        static_cast<DWORD>(Data.size())));
  TComPtr<IWICFormatConverter> converter;
  OleCheck(factory->CreateFormatConverter(converter.Put()));
  TComPtr<IWICBitmapDecoder> decoder;
  if (Container) {
    OleCheck(factory->CreateDecoder(*Container, nullptr, decoder.Put()));
    decodeCheck(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand));
  } else {
    // No decoder recognising the data is the data's failure.
    decodeCheck(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Put()));
  }

  TComPtr<IWICBitmapFrameDecode> frame;
  decodeCheck(decoder->GetFrame(0, frame.Put()));
  UINT width = 0, height = 0;
  decodeCheck(frame->GetSize(&width, &height));
  if (width == 0 || height == 0 || std::uint64_t(width) * height > kMaxDecodedImagePixels) invalid();
  if (stated && (width != stated->width || height != stated->height)) invalid();
  // Every source format converts to 32-bit BGR (Wine converts grey to 24-bit BGR only through it),
  // or BGRA when the alpha is kept.
  decodeCheck(converter->Initialize(frame.Get(), KeepAlpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat32bppBGR,
                                    WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom));

  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(KeepAlpha ? pf32bit : pf24bit);
  bitmap->SetSize(static_cast<int>(width), static_cast<int>(height));
  // Row by row, since the DIB keeps its rows bottom-up; each row packed from BGRX to BGR unless the
  // alpha is kept.
  const size_t outPixel = KeepAlpha ? 4 : 3;
  std::vector<BYTE> row(static_cast<size_t>(width) * 4);
  for (UINT y = 0; y < height; ++y) {
    WICRect rect{0, static_cast<INT>(y), static_cast<INT>(width), 1};
    decodeCheck(converter->CopyPixels(&rect, width * 4, static_cast<UINT>(row.size()), row.data()));
    auto* out = static_cast<BYTE*>(bitmap->ScanLine(static_cast<int>(y)));
    for (UINT x = 0; x < width; ++x) std::memcpy(out + size_t(x) * outPixel, row.data() + size_t(x) * 4, outPixel);
  }
  return bitmap;
}

std::string EncodeBGRAWithWIC(UINT Width, UINT Height, std::string_view TopDownBGRA, const GUID& Container) {
  const std::uint64_t stride = std::uint64_t{Width} * 4;
  if (Width == 0 || Height == 0 || stride * Height > MAXDWORD || TopDownBGRA.size() < stride * Height) OleCheck(E_INVALIDARG);
  TComPtr<IWICImagingFactory> factory;
  OleCheck(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                            factory.PutVoid()));
  TComPtr<IStream> stream;
  OleCheck(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
  TComPtr<IWICBitmapEncoder> encoder;
  OleCheck(factory->CreateEncoder(Container, nullptr, encoder.Put()));
  OleCheck(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache));
  TComPtr<IWICBitmapFrameEncode> frame;
  OleCheck(encoder->CreateNewFrame(frame.Put(), nullptr));
  OleCheck(frame->Initialize(nullptr));
  OleCheck(frame->SetSize(Width, Height));
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  OleCheck(frame->SetPixelFormat(&format));
  // An encoder that cannot keep the alpha as given would change the pixels.
  if (!IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA)) OleCheck(WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT);
  // WIC only reads the pixels; the cast is its interface's, not a write.
  OleCheck(frame->WritePixels(Height, static_cast<UINT>(stride), static_cast<UINT>(stride * Height),
                              reinterpret_cast<BYTE*>(const_cast<char*>(TopDownBGRA.data()))));
  OleCheck(frame->Commit());
  OleCheck(encoder->Commit());
  STATSTG stat{};
  OleCheck(stream->Stat(&stat, STATFLAG_NONAME));
  std::string file(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
  LARGE_INTEGER start{};
  ULONG read = 0;
  OleCheck(stream->Seek(start, STREAM_SEEK_SET, nullptr));
  OleCheck(stream->Read(file.data(), static_cast<ULONG>(file.size()), &read));
  file.resize(read);
  return file;
}

}  // namespace vcl
