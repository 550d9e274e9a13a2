#pragma once
// JPEG pictures, decoded through Windows Imaging Component.
#include <memory>
#include <string>

#include "framework/Graphics.h"

namespace vcl {

// A JPEG picture. It keeps the compressed data as loaded (SaveToStream writes it back unchanged)
// and the image decoded from it as a 24-bit bitmap, which Draw and assignment to a TBitmap use.
class KX_API TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;

  TGraphic* NewGraphic() const override { return new TJPEGImage(); }

  // From a TJPEGImage: a copy of its data and image; from nil: empty; otherwise Source's AssignTo.
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  // A JPEG image has the size its data gives it: these raise EInvalidGraphicOperation.
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;

  // Reads the rest of the stream (from its position to its end) as a JPEG file and decodes it.
  // Data that does not decode (empty, corrupt, another format, an image of more than 2^28 pixels)
  // raises EInvalidGraphic and leaves the picture as it was.
  void LoadFromStream(TStream& Stream) override;
  // Writes the compressed data as loaded; nothing for an empty picture.
  void SaveToStream(TStream& Stream) override;

 protected:
  // To a TBitmap: a copy of the decoded image; otherwise the framework's conversion error.
  void AssignTo(TPersistent* Dest) override;
  bool GetEmpty() override;
  int GetWidth() override;
  int GetHeight() override;

 private:
  std::string FData;
  std::unique_ptr<TBitmap> FBitmap;
};

}  // namespace vcl
