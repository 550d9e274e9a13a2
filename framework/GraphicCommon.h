#pragma once
// The members of TGraphic that need no GDI, written once for both of its declarations: the
// framework's (framework/Graphics.h, defined in Graphics.cpp) and the GIF reader's native build's
// (gif/native/NativeGraphics.h, defined in NativeGraphics.cpp). Each of those two sources includes
// this once, after its TGraphic; nothing else may.
#include <cstdint>
#include <string>

#include "framework/Streams.h"

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
