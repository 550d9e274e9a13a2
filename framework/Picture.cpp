#include "framework/Picture.h"

#include <typeindex>
#include <vector>

#include "framework/GraphicsIcon.h"
#include "framework/GraphicsMetafile.h"

namespace vcl {

namespace {

struct TGraphicClass {
  std::type_index Class;
  TGraphicFactory Factory;
  bool (*Test)(TGraphic*);
  std::wstring Extension;  // lower case
  std::wstring Description;
};

template <class G>
TGraphic* MakeGraphic() {
  return new G;
}
template <class G>
bool GraphicIs(TGraphic* Graphic) {
  return dynamic_cast<G*>(Graphic) != nullptr;
}

// The classes a picture can copy, oldest registration first.
std::vector<TGraphicClass>& Registry() {
  static std::vector<TGraphicClass> registry{
      {typeid(TBitmap), &MakeGraphic<TBitmap>, &GraphicIs<TBitmap>, L"bmp", L"Bitmaps"},
      {typeid(TMetafile), &MakeGraphic<TMetafile>, &GraphicIs<TMetafile>, L"emf", L"Enhanced metafiles"},
      {typeid(TIcon), &MakeGraphic<TIcon>, &GraphicIs<TIcon>, L"ico", L"Icons"},
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

void TPicture::RegisterGraphicClass(const std::type_info& Class, TGraphicFactory Factory, bool (*Test)(TGraphic*),
                                    const std::wstring& Extension, const std::wstring& Description) {
  std::vector<TGraphicClass>& registry = Registry();
  const std::type_index key(Class);
  std::erase_if(registry, [&](const TGraphicClass& c) { return c.Class == key; });
  registry.push_back({key, Factory, Test, LowerCase(Extension), Description});
}

TGraphicFactory TPicture::FactoryFor(TGraphic& Graphic) {
  const std::vector<TGraphicClass>& registry = Registry();
  const std::type_index key(typeid(Graphic));
  for (const TGraphicClass& c : registry)
    if (c.Class == key) return c.Factory;
  for (auto c = registry.rbegin(); c != registry.rend(); ++c)
    if (c->Test(&Graphic)) return c->Factory;
  throw EInvalidGraphic(L"Unknown picture class");
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
    copy.reset(FactoryFor(*Value)());
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
  for (const TGraphicClass& c : Registry()) {
    if (c.Extension != extension) continue;
    std::unique_ptr<TGraphic> loaded(c.Factory());
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
