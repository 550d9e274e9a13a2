#pragma once
// The LZW decoder of GIF image data: variable-width codes of up to 12 bits, least significant bit
// first, read from data sub-blocks, written into a frame's index buffer in row or interlace order.
#include <cstdint>
#include <memory>

#include "gif/KXGIFBase.h"

namespace kestrix::gifdetail {

// The frame being decoded: Width x Height index bytes, top row first.
struct TGIFFrameBuffer {
  std::uint8_t* Pixels;
  int Width;
  int Height;
  bool Interlaced;
  // The value of every pixel the data does not reach.
  std::uint8_t Fill;
};

// Where the decoder's warnings go ("Premature end of data", "Decoder bit buffer under-run").
class TGIFDecoderWarnings {
 public:
  virtual void DecoderWarning(const wchar_t* Message) = 0;

 protected:
  ~TGIFDecoderWarnings() = default;
};

// Decodes the image data at the stream's position (the minimum code size byte, then sub-blocks)
// into Frame. Data that ends early leaves the rest of the frame at the fill value; after a complete
// frame one more code is read, which normally is the end code and moves the stream past the
// terminator. A minimum code size above 11 raises GIFException "Invalid LZW minimum code size", a
// string whose prefixes form a cycle "Circular decoder table entry".
void DecodeLZW(vcl::TStream& Stream, const TGIFFrameBuffer& Frame, TGIFDecoderWarnings& Warnings);

// DecodeLZW for the frames of one image: the decoder's tables (about 72 KB) are made by the first
// frame and kept, so that the next frame sets up only what it uses; a decoder that goes leaves
// them for the next one made. One frame at a time.
class TGIFLZWDecoder {
 public:
  TGIFLZWDecoder();
  ~TGIFLZWDecoder();
  TGIFLZWDecoder(const TGIFLZWDecoder&) = delete;
  TGIFLZWDecoder& operator=(const TGIFLZWDecoder&) = delete;

  void Decode(vcl::TStream& Stream, const TGIFFrameBuffer& Frame, TGIFDecoderWarnings& Warnings);

  struct TTables;

 private:
  std::unique_ptr<TTables> FTables;
};

}  // namespace kestrix::gifdetail
