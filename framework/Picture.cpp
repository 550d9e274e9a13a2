#include "framework/Picture.h"

#include <vector>

#include "framework/GraphicsIcon.h"
#include "framework/GraphicsMetafile.h"

namespace vcl {

namespace {

struct TFileFormat {
  TGraphicFactory Factory;
  std::wstring Extension;  // lower case
  std::wstring Description;
};

template <class G>
TGraphic* MakeGraphic() {
  return new G;
}

// The file formats a picture can load, by extension.
std::vector<TFileFormat>& Registry() {
  static std::vector<TFileFormat> registry{
      {&MakeGraphic<TBitmap>, L"bmp", L"Bitmaps"},
      {&MakeGraphic<TMetafile>, L"emf", L"Enhanced metafiles"},
      {&MakeGraphic<TIcon>, L"ico", L"Icons"},
  };
  return registry;
}

std::wstring FileExtension(const std::wstring& FileName) {
  const size_t dot = FileName.find_last_of(L'.');
  const size_t separator = FileName.find_last_of(L"\\/:");
  if (dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator)) return {};
  return LowerCase(FileName.substr(dot + 1));
}

}  // namespace

void TPicture::RegisterGraphicClass(TGraphicFactory Factory, const std::wstring& Extension,
                                    const std::wstring& Description) {
  std::vector<TFileFormat>& registry = Registry();
  const std::wstring extension = LowerCase(Extension);
  std::erase_if(registry, [&](const TFileFormat& f) { return f.Extension == extension; });
  registry.push_back({Factory, extension, Description});
}

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (FOnChange) FOnChange(this);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> Value) {
  if (Value) {
    Value->SetOnChange([this](TObject*) { Changed(); });
    Value->SetOnProgress([this](TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow,
                                const TRect& R, const std::wstring& Msg) {
      if (FOnProgress) FOnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
    });
  }
  FGraphic = std::move(Value);
  Changed();
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (Value == FGraphic.get()) return;
  std::unique_ptr<TGraphic> copy;
  if (Value) {
    copy.reset(Value->NewGraphic());
    copy->Assign(Value);
  }
  Adopt(std::move(copy));
}

template <class G>
G* TPicture::ForceType() {
  if (auto* graphic = dynamic_cast<G*>(FGraphic.get())) return graphic;
  auto created = std::make_unique<G>();
  G* result = created.get();
  Adopt(std::move(created));
  return result;
}

TBitmap* TPicture::Bitmap() { return ForceType<TBitmap>(); }
TMetafile* TPicture::Metafile() { return ForceType<TMetafile>(); }
TIcon* TPicture::Icon() { return ForceType<TIcon>(); }

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* picture = dynamic_cast<TPicture*>(Source)) {
    if (picture != this) SetGraphic(picture->Graphic());
    return;
  }
  if (auto* graphic = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(graphic);
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::AssignTo(TPersistent* Dest) {
  if (auto* graphic = dynamic_cast<TGraphic*>(Dest)) {
    graphic->Assign(FGraphic.get());
    return;
  }
  TPersistent::AssignTo(Dest);
}

int TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }
int TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::LoadFromFile(const std::wstring& FileName) {
  const std::wstring extension = FileExtension(FileName);
  for (const TFileFormat& f : Registry()) {
    if (f.Extension != extension) continue;
    std::unique_ptr<TGraphic> loaded(f.Factory());
    loaded->LoadFromFile(FileName);
    Adopt(std::move(loaded));
    return;
  }
  throw EInvalidGraphic(Format(L"Unknown picture file extension (.%s)", extension));
}

void TPicture::SaveToFile(const std::wstring& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

}  // namespace vcl
