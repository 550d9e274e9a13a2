#pragma once
// TIcon: a picture on a real icon handle.
#include <windows.h>

#include "framework/Graphics.h"
#include "framework/Handles.h"

namespace vcl {

// Owns its icon; Handle lends it, ReleaseHandle hands it over. An icon keeps the size it was made
// with: SetWidth and SetHeight raise EInvalidGraphicOperation.
class KX_API TIcon : public TGraphic {
 public:
  TIcon();
  ~TIcon() override;

  TGraphic* NewGraphic() const override { return new TIcon(); }

  // From a TIcon: a copy of its icon; from nil: empty; otherwise Source's AssignTo.
  void Assign(TPersistent* Source) override;
  // Draws the icon (with its mask) stretched into Rect.
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;

  // An ICO file from the stream's position; the icon is made from its first image. A file whose
  // directory or image lies outside the stream raises EInvalidGraphic and leaves the icon as it
  // was.
  void LoadFromStream(TStream& Stream) override;
  // An ICO file holding the icon as one 32-bit image with its mask; nothing for an empty icon.
  void SaveToStream(TStream& Stream) override;

  // The icon (0 when empty); it stays owned by the picture.
  HICON Handle() const { return FHandle.Get(); }
  // Takes ownership of Value (0 empties the picture). A handle that is not an icon raises
  // EInvalidGraphic and is not taken.
  void SetHandle(HICON Value);
  HICON ReleaseHandle();

 protected:
  bool GetEmpty() override { return !FHandle; }
  int GetWidth() override { return FWidth; }
  int GetHeight() override { return FHeight; }
  bool GetTransparent() override { return true; }

 private:
  TUniqueIcon FHandle;
  int FWidth = 0;
  int FHeight = 0;
};

}  // namespace vcl
