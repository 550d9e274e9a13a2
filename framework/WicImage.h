#pragma once
// Image files held in memory, decoded through Windows Imaging Component into a bitmap.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/Graphics.h"

namespace vcl {

// Images above this many pixels are refused, as bitmap files are: a forged header of a few bytes
// must not make the decoder reserve gigabytes.
inline constexpr std::uint64_t kMaxDecodedImagePixels = std::uint64_t(1) << 28;

// Decodes the first frame of an image file into a new 24-bit bitmap (transparency is dropped), or
// with KeepAlpha into a 32-bit one whose fourth byte is the image's alpha, not premultiplied (255
// where the image has none). Container restricts the file to one format (GUID_ContainerFormatJpeg, ...); null lets WIC pick
// any decoder it has by the data's content. Data that does not decode, an image of more than
// kMaxDecodedImagePixels (for PNG and JPEG checked from the file's header before WIC sees it) and
// data of 4 GiB or more raise EInvalidGraphic(InvalidMessage); a failure to create the imaging
// objects themselves raises EOleError. Data must stay alive during the call only.
KX_API std::unique_ptr<TBitmap> DecodeImageWithWIC(std::string_view Data, const GUID* Container,
                                                   const wchar_t* InvalidMessage, bool KeepAlpha = false);

// Encodes Width x Height pixels of four bytes (top row first, BGRA, alpha not premultiplied) as an
// image file of the container format (GUID_ContainerFormatPng, ...), alpha kept. Raises EOleError
// when WIC fails or TopDownBGRA holds fewer bytes.
KX_API std::string EncodeBGRAWithWIC(UINT Width, UINT Height, std::string_view TopDownBGRA, const GUID& Container);

}  // namespace vcl
