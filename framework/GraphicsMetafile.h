#pragma once
// TMetafile: a picture on a real enhanced-metafile handle.
#include <windows.h>

#include "framework/Graphics.h"
#include "framework/Handles.h"

namespace vcl {

// Owns its enhanced metafile; Handle lends it, ReleaseHandle hands it over. The size is kept in
// 0.01 mm (MMWidth, MMHeight), taken from the metafile's frame whenever a handle is given, and
// converted to screen pixels for Width and Height.
class KX_API TMetafile : public TGraphic {
 public:
  TMetafile();
  ~TMetafile() override;

  TGraphic* NewGraphic() const override { return new TMetafile(); }

  // From a TMetafile: a copy of its metafile, size and Enhanced flag; from nil: empty; otherwise
  // Source's AssignTo.
  void Assign(TPersistent* Source) override;
  // Plays the metafile into Rect.
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  // Pixels of the screen; they change MMWidth / MMHeight, not the records.
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;

  // An EMF file from the stream's position. Anything that is not a whole enhanced metafile (bad
  // header, a record that runs past the declared size, no end record, a short stream) raises
  // EInvalidGraphic and leaves the metafile as it was.
  void LoadFromStream(TStream& Stream) override;
  // The EMF bytes of the metafile; nothing for an empty one.
  void SaveToStream(TStream& Stream) override;
  // CF_ENHMETAFILE only; the handle is copied, the caller keeps AData.
  void LoadFromClipboardFormat(UINT AFormat, HANDLE AData, HPALETTE APalette) override;
  // CF_ENHMETAFILE: a copy for the caller; APalette 0.
  void SaveToClipboardFormat(UINT& AFormat, HANDLE& AData, HPALETTE& APalette) override;

  // The metafile (0 when empty); it stays owned by the picture.
  HENHMETAFILE Handle() const { return FHandle.Get(); }
  // Takes ownership of Value (0 empties the picture) and takes the size from its frame. A handle
  // that is not an enhanced metafile raises EInvalidGraphic and is not taken.
  void SetHandle(HENHMETAFILE Value);
  HENHMETAFILE ReleaseHandle();

  // Whether the picture counts as an enhanced metafile (true unless a holder says it came from
  // the older Windows form). Records and stream form are enhanced either way.
  bool Enhanced() const { return FEnhanced; }
  void SetEnhanced(bool Value);
  int MMWidth() const { return FMMWidth; }
  void SetMMWidth(int Value);
  int MMHeight() const { return FMMHeight; }
  void SetMMHeight(int Value);

 protected:
  bool GetEmpty() override { return !FHandle; }
  int GetWidth() override;
  int GetHeight() override;
  // A metafile draws only where its records paint.
  bool GetTransparent() override { return true; }

 private:
  TUniqueEnhMetaFile FHandle;
  int FMMWidth = 0;
  int FMMHeight = 0;
  bool FEnhanced = true;
};

}  // namespace vcl
