#pragma once
// Pictures that a drag offers as files: virtual ones (a file group descriptor and "FileContents"
// per item), as web browsers offer a dragged image, or one image file on disk (CF_HDROP), as the
// file manager offers it; and pictures offered as "PNG" bytes. Used by the picture target; a
// file is recognised by its content, never by its name.
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <string_view>

#include "framework/Picture.h"

namespace kestrix {

// Items read at most: a drag of many files that are no pictures is not read to its end.
inline constexpr int kVirtualImageMaxItems = 4;
// Contents longer than this are not read.
inline constexpr std::uint64_t kVirtualImageMaxBytes = std::uint64_t(256) << 20;

// Whether DataObject offers a virtual file: "FileGroupDescriptorW" (else "FileGroupDescriptor")
// naming at least one item that is not a folder, and "FileContents".
bool OffersVirtualImage(IDataObject* DataObject);

enum class TVirtualImageResult {
  Decoded,      // Picture holds the decoded bitmap
  NotAPicture,  // contents arrived, but none of them decodes as a picture; Picture is untouched
  NotRead,      // no item's contents could be read (none offered, refused, too large)
};

// Reads the first items of the descriptor that are not folders, up to kVirtualImageMaxItems, and
// decodes the first whose contents are a picture into a bitmap of Picture: GIF (the first frame)
// through the library's GIF reader, BMP files as TBitmap reads them, anything else through
// Windows Imaging Component (PNG, JPEG, ...). A failure of the system itself raises.
TVirtualImageResult ReadVirtualImage(IDataObject* DataObject, vcl::TPicture& Picture);

// Whether DataObject offers CF_HDROP naming exactly one item (its content is judged at the drop).
bool OffersImageFile(IDataObject* DataObject);
// Reads the one file CF_HDROP names (at most kVirtualImageMaxBytes) and decodes it as
// ReadVirtualImage decodes an item.
TVirtualImageResult ReadImageFile(IDataObject* DataObject, vcl::TPicture& Picture);

// Decodes "PNG" bytes into a 32-bit bitmap of Picture with the image's alpha (not premultiplied);
// bytes that are no PNG raise EInvalidGraphic.
void DecodePNGBytes(std::string_view Bytes, vcl::TPicture& Picture);

}  // namespace kestrix
