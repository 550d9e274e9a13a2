#include "gif/native/NativeGraphics.h"

namespace vcl {

void TGraphic::LoadFromFile(const std::wstring& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::wstring& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(stream);
}

void TGraphic::Changed(TObject*) {
  FModified = true;
  if (FOnChange) FOnChange(this);
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow, const TRect& R,
                        const std::wstring& Msg) {
  if (FOnProgress) FOnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

}  // namespace vcl
