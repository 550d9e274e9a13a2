#pragma once
// TPicture: a holder of one graphic of any registered kind (bitmap, metafile, icon, or a kind an
// application or library registers), which it owns and whose changes it reports.
#include <memory>
#include <string>

#include "framework/Graphics.h"

namespace vcl {

class TMetafile;
class TIcon;

// Makes a new, empty graphic of one class (for loading files of a registered extension).
using TGraphicFactory = TGraphic* (*)();

class KX_API TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;

  // The graphic held (nil when the picture is empty); it stays owned by the picture.
  TGraphic* Graphic() const { return FGraphic.get(); }
  // Holds a copy of Value (nil empties the picture): a new graphic of Value's own class
  // (Value->NewGraphic()) assigned from Value.
  void SetGraphic(TGraphic* Value);

  // The graphic as a bitmap, metafile or icon: when the picture holds another kind (or nothing),
  // it is replaced by a new empty one of the kind asked for, which raises OnChange.
  TBitmap* Bitmap();
  TMetafile* Metafile();
  TIcon* Icon();

  // From a TPicture or a TGraphic: a copy of its graphic; from nil: empty.
  void Assign(TPersistent* Source) override;

  int Width() const;
  int Height() const;

  // Loads a file into a new graphic of the class registered for its extension (EInvalidGraphic
  // for an unknown one); saves the graphic in its own stream form.
  void LoadFromFile(const std::wstring& FileName);
  void SaveToFile(const std::wstring& FileName);

  // Raised with the picture as Sender whenever its graphic changes or is replaced.
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  // The graphic's progress reports, passed on.
  const TProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TProgressEvent Value) { FOnProgress = std::move(Value); }

  // Registers graphic class G for files with Extension (without the dot, any case), replacing an
  // earlier registration of the extension. TBitmap ("bmp"), TMetafile ("emf") and TIcon ("ico")
  // are registered from the start. The registration lasts for the process: the module that
  // registers must stay loaded.
  template <class G>
  static void RegisterFileFormat(const std::wstring& Extension, const std::wstring& Description) {
    RegisterGraphicClass(&NewGraphic<G>, Extension, Description);
  }

 protected:
  // Copies the graphic into Dest when Dest is a graphic.
  void AssignTo(TPersistent* Dest) override;

 private:
  template <class G>
  static TGraphic* NewGraphic() { return new G; }
  static void RegisterGraphicClass(TGraphicFactory Factory, const std::wstring& Extension,
                                   const std::wstring& Description);

  // Takes Value as the graphic (replacing the old one), wires its events and reports the change.
  void Adopt(std::unique_ptr<TGraphic> Value);
  template <class G>
  G* ForceType();
  void Changed();

  std::unique_ptr<TGraphic> FGraphic;
  TNotifyEvent FOnChange;
  TProgressEvent FOnProgress;
};

}  // namespace vcl
