#pragma once
// TImage: a control without a window that shows a picture on its parent.
#include <memory>

#include "framework/Controls.h"
#include "framework/Picture.h"

namespace vcl {

// Shows its picture at the top left (or centred, or stretched over the control) and repaints
// whenever the picture changes. With AutoSize the control takes the picture's size.
class KX_API TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  // Never nil; owned by the image.
  TPicture* Picture() const { return FPicture.get(); }
  // Copies Value into the image's picture (nil empties it).
  void SetPicture(TPicture* Value) { FPicture->Assign(Value); }

  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);

  // Where the picture is drawn, in the control's coordinates.
  TRect DestRect() const;

 protected:
  void Paint(HDC Canvas) override;

 private:
  void PictureChanged();

  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FAutoSize = false;
};

}  // namespace vcl
