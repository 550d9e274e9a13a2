#pragma once
// The GIF reader's message texts.
namespace kestrix::res {

// Stream structure and object model.
inline constexpr const wchar_t* sGIFInvalidSignature = L"Invalid GIF signature";
inline constexpr const wchar_t* sGIFPrematureEnd = L"Premature end of data";
inline constexpr const wchar_t* sGIFUnknownBlockType = L"Unknown GIF block type";
inline constexpr const wchar_t* sGIFScreenSizeExceeded = L"Image exceeds Logical Screen size";
inline constexpr const wchar_t* sGIFWidthTooSmall = L"Image width too small for contained frames";
inline constexpr const wchar_t* sGIFHeightTooSmall = L"Image height too small for contained frames";
inline constexpr const wchar_t* sGIFInvalidTrailer = L"Invalid Image trailer";
inline constexpr const wchar_t* sGIFInvalidColorIndex = L"Invalid color index";
inline constexpr const wchar_t* sGIFInvalidPixelCoordinates = L"Invalid pixel coordinates";
inline constexpr const wchar_t* sGIFImageEmpty = L"Image is empty";
inline constexpr const wchar_t* sGIFNotAvailable = L"This feature is not available in this read-only TGIFImage";
// %d: the largest number of pixels a frame may have.
inline constexpr const wchar_t* sGIFFrameTooLarge = L"Image too large: a frame may hold at most %d pixels";
inline constexpr const wchar_t* sGIFImageTooLarge = L"Image too large: its frames may hold at most %d pixels together";

// Colour maps.
inline constexpr const wchar_t* sGIFColorTableOverflow = L"Color table overflow";
inline constexpr const wchar_t* sGIFColorTableEmpty = L"Color table is empty";

// Extensions.
inline constexpr const wchar_t* sGIFInvalidExtensionIntroducer = L"Invalid extension introducer";
inline constexpr const wchar_t* sGIFUnknownExtensionType = L"Unknown extension type";
inline constexpr const wchar_t* sGIFExtensionLabelMismatch = L"Internal error: Extension Instance does not match Extension Label";
inline constexpr const wchar_t* sGIFUnsupportedAppBlockSize = L"Unsupported Application Extension block size";
inline constexpr const wchar_t* sGIFInvalidData = L"Invalid GIF data";

// LZW decoding.
inline constexpr const wchar_t* sGIFBitBufferUnderrun = L"Decoder bit buffer under-run";
inline constexpr const wchar_t* sGIFCircularTableEntry = L"Circular decoder table entry";
inline constexpr const wchar_t* sGIFInvalidCodeSize = L"Invalid LZW minimum code size";

// Rendering.
inline constexpr const wchar_t* sGIFUnsupportedPixelFormat = L"Unsupported PixelFormat";
inline constexpr const wchar_t* sGIFInvalidImageDimensions = L"Invalid image dimensions";
inline constexpr const wchar_t* sGIFNoDIB = L"Image has no DIB";
inline constexpr const wchar_t* sGIFDIBOutOfMemory = L"Failed to allocate memory for GIF DIB";
inline constexpr const wchar_t* sGIFNoColorTable = L"No global or local color table defined";
inline constexpr const wchar_t* sScanLine = L"Scan line index out of range";

// Progress texts.
inline constexpr const wchar_t* sGIFLoading = L"Loading...";
inline constexpr const wchar_t* sGIFRendering = L"Rendering...";

}  // namespace kestrix::res
