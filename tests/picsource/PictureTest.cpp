// The framework pictures a picture drag works with: TPicture and its views, TMetafile, TIcon and
// TImage, on real GDI handles. Metafile and icon streams may come from other applications, so
// malformed ones are tried too.
#include <gtest/gtest.h>

#include <functional>

#include "PictureTestSupport.h"
#include "framework/ExtCtrlsImage.h"
#include "framework/Forms.h"
#include "support/TestSupport.h"

using namespace pictest;
using vcl::TBitmap;
using vcl::TIcon;
using vcl::TMetafile;
using vcl::TPicture;

namespace {

// A descendant that does not name its own class for copies, and one that does.
class TMarkedBitmap : public TBitmap {};
class TUnknownGraphic : public vcl::TGraphic {
 public:
  vcl::TGraphic* NewGraphic() const override { return new TUnknownGraphic(); }
  void Assign(vcl::TPersistent* Source) override {
    if (!dynamic_cast<TUnknownGraphic*>(Source)) vcl::TGraphic::Assign(Source);
  }
  void Draw(vcl::TCanvas*, const vcl::TRect&) override {}
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  void LoadFromStream(vcl::TStream&) override {}
  void SaveToStream(vcl::TStream&) override {}

 protected:
  bool GetEmpty() override { return false; }
  int GetWidth() override { return 1; }
  int GetHeight() override { return 1; }
};

std::string StreamOf(vcl::TGraphic& graphic) {
  vcl::TMemoryStream stream;
  graphic.SaveToStream(stream);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

template <class G>
void LoadFrom(G& graphic, const std::string& bytes) {
  vcl::TStringStream stream(bytes);
  graphic.LoadFromStream(stream);
}

void Put32(std::string& bytes, size_t offset, std::uint32_t value) { std::memcpy(bytes.data() + offset, &value, 4); }

// A picture of each kind, made fresh for every case.
struct Kind {
  const char* name;
  std::function<std::unique_ptr<vcl::TGraphic>()> make;
};
const Kind kKinds[] = {
    {"bitmap", [] { return std::unique_ptr<vcl::TGraphic>(QuarteredBitmap(8, 6, vcl::pf24bit)); }},
    {"metafile", [] { return std::unique_ptr<vcl::TGraphic>(FilledMetafileGraphic(1000, 500, RGB(0, 128, 0))); }},
    {"icon",
     [] {
       auto icon = std::make_unique<TIcon>();
       icon->SetHandle(QuarteredIcon(16));
       return std::unique_ptr<vcl::TGraphic>(std::move(icon));
     }},
};

}  // namespace

// ---- TPicture -------------------------------------------------------------------------------------

TEST(Picture, ViewsMakeTheirKindOnDemandAndReportIt) {
  TPicture picture;
  std::vector<vcl::TObject*> senders;
  picture.SetOnChange([&](vcl::TObject* sender) { senders.push_back(sender); });
  EXPECT_EQ(picture.Graphic(), nullptr);

  TBitmap* bitmap = picture.Bitmap();
  EXPECT_EQ(picture.Graphic(), bitmap);
  EXPECT_EQ(picture.Bitmap(), bitmap);  // the same kind stays
  EXPECT_EQ(senders.size(), 1u);
  bitmap->SetSize(4, 4);  // changes of the graphic reach the picture's handler
  EXPECT_EQ(senders.size(), 2u);

  TMetafile* metafile = picture.Metafile();
  EXPECT_EQ(picture.Graphic(), metafile);
  TIcon* icon = picture.Icon();
  EXPECT_EQ(picture.Graphic(), icon);
  EXPECT_EQ(senders.size(), 4u);
  for (vcl::TObject* sender : senders) EXPECT_EQ(sender, &picture);
}

TEST(Picture, AssignKeepsAnIndependentCopyOfEveryKind) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    auto original = kind.make();
    TPicture source, copy;
    source.SetGraphic(original.get());
    EXPECT_NE(source.Graphic(), original.get());
    copy.Assign(&source);
    ASSERT_NE(copy.Graphic(), nullptr);
    EXPECT_EQ(typeid(*copy.Graphic()), typeid(*original));
    EXPECT_EQ(Rendering(*copy.Graphic(), 20, 10), Rendering(*original, 20, 10));

    source.Assign(nullptr);  // the copy does not share the source's handles
    EXPECT_EQ(source.Graphic(), nullptr);
    EXPECT_EQ(Rendering(*copy.Graphic(), 20, 10), Rendering(*original, 20, 10));
  }
}

TEST(Picture, CopiesAGraphicAsTheClassItsNewGraphicMakes) {
  TMarkedBitmap marked;
  marked.SetSize(3, 2);
  TPicture picture;
  picture.SetGraphic(&marked);
  EXPECT_EQ(typeid(*picture.Graphic()), typeid(TBitmap));
  EXPECT_EQ(picture.Width(), 3);

  // A class no picture knows of (a compressed format, the GIF reader) is held as itself.
  TUnknownGraphic unknown;
  picture.SetGraphic(&unknown);
  EXPECT_EQ(typeid(*picture.Graphic()), typeid(TUnknownGraphic));
}

TEST(Picture, LoadsFilesByTheirExtension) {
  const std::wstring folder = kxtest::MakeTempFolder(L"picture");
  const std::wstring names[] = {L"a.BMP", L"a.emf", L"a.ico"};
  for (size_t i = 0; i < std::size(kKinds); ++i) {
    SCOPED_TRACE(kKinds[i].name);
    auto graphic = kKinds[i].make();
    graphic->SaveToFile(folder + names[i]);
    TPicture picture;
    picture.LoadFromFile(folder + names[i]);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(typeid(*picture.Graphic()), typeid(*graphic));
    EXPECT_EQ(picture.Width(), graphic->Width());
  }
  TPicture picture;
  EXPECT_THROW(picture.LoadFromFile(folder + L"a.xyz"), vcl::EInvalidGraphic);

  // A registered extension loads into its class.
  TPicture::RegisterFileFormat<TMarkedBitmap>(L"Marked", L"Marked bitmaps");
  QuarteredBitmap(4, 4, vcl::pf24bit)->SaveToFile(folder + L"b.marked");
  picture.LoadFromFile(folder + L"b.marked");
  EXPECT_EQ(typeid(*picture.Graphic()), typeid(TMarkedBitmap));
}

// ---- TMetafile ------------------------------------------------------------------------------------

TEST(Metafile, TakesItsSizeFromTheFrameAndShowsItInScreenPixels) {
  auto metafile = FilledMetafileGraphic(2540, 1270, RGB(1, 2, 3));
  EXPECT_EQ(metafile->MMWidth(), 2540);
  EXPECT_EQ(metafile->MMHeight(), 1270);
  EXPECT_TRUE(metafile->Enhanced());
  HDC screen = GetDC(nullptr);
  const int dpiX = GetDeviceCaps(screen, LOGPIXELSX), dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(metafile->Width(), dpiX);  // one inch
  EXPECT_EQ(metafile->Height(), dpiY / 2);
  metafile->SetWidth(dpiX * 2);
  EXPECT_EQ(metafile->MMWidth(), 5080);
}

TEST(Metafile, StreamsAndCopiesKeepTheRecords) {
  auto metafile = FilledMetafileGraphic(800, 600, RGB(200, 10, 10));
  const std::string bytes = StreamOf(*metafile);
  EXPECT_EQ(bytes, kxtest::EnhMetaFileBytes(metafile->Handle()));

  TMetafile loaded;
  loaded.SetEnhanced(false);
  LoadFrom(loaded, bytes + "trailing bytes of a bigger stream");
  EXPECT_EQ(StreamOf(loaded), bytes);
  EXPECT_TRUE(loaded.Enhanced());
  EXPECT_EQ(loaded.MMWidth(), 800);

  TMetafile copy;
  metafile->SetEnhanced(false);
  copy.Assign(metafile.get());
  EXPECT_NE(copy.Handle(), metafile->Handle());
  EXPECT_EQ(StreamOf(copy), bytes);
  EXPECT_FALSE(copy.Enhanced());
  EXPECT_EQ(copy.MMHeight(), 600);
  EXPECT_EQ(Rendering(copy, 16, 12), Rendering(*metafile, 16, 12));
}

TEST(Metafile, RefusesStreamsThatAreNotWholeMetafiles) {
  const std::string good = StreamOf(*FilledMetafileGraphic(500, 500, RGB(9, 9, 9)));
  const size_t size = good.size();
  std::uint32_t headerSize = 0;
  std::memcpy(&headerSize, good.data() + 4, 4);
  struct Case {
    const char* name;
    std::function<std::string()> bytes;
  } cases[] = {
      {"empty", [] { return std::string(); }},
      {"shorter than a header", [&] { return good.substr(0, 40); }},
      {"cut short", [&] { return good.substr(0, size - 4); }},
      {"wrong signature", [&] { std::string b = good; b[40] = 'X'; return b; }},
      {"not a header record", [&] { std::string b = good; Put32(b, 0, EMR_EOF); return b; }},
      {"declared size past the stream", [&] { std::string b = good; Put32(b, 48, static_cast<std::uint32_t>(size + 100)); return b; }},
      {"header record past the declared size", [&] { std::string b = good; Put32(b, 4, static_cast<std::uint32_t>(size)); return b; }},
      {"record of size 0", [&] { std::string b = good; Put32(b, headerSize + 4, 0); return b; }},
      {"no end record", [&] { std::string b = good; Put32(b, size - 20, EMR_FILLRGN); return b; }},
  };
  TMetafile metafile;
  metafile.SetHandle(FilledMetafile(100, 100, RGB(1, 1, 1)));
  const HENHMETAFILE before = metafile.Handle();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(LoadFrom(metafile, c.bytes()), vcl::EInvalidGraphic);
    EXPECT_EQ(metafile.Handle(), before);
  }
}

TEST(Metafile, MetafilesAndIconsDoNotTakeAHandleOfAnotherKind) {
  TMetafile metafile;
  TIcon icon;
  vcl::TGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(1, 2, 3)));
  EXPECT_THROW(metafile.SetHandle(reinterpret_cast<HENHMETAFILE>(brush.Get())), vcl::EInvalidGraphic);
  EXPECT_THROW(icon.SetHandle(reinterpret_cast<HICON>(brush.Get())), vcl::EInvalidGraphic);
  EXPECT_TRUE(metafile.Empty());
  EXPECT_TRUE(icon.Empty());
  EXPECT_EQ(GetObjectType(brush.Get()), DWORD{OBJ_BRUSH});  // neither deleted it
}

// ---- TIcon ----------------------------------------------------------------------------------------

TEST(Icon, AnIcoFileBringsBackTheSameIcon) {
  TIcon icon;
  icon.SetHandle(QuarteredIcon(16));
  EXPECT_EQ(icon.Width(), 16);
  EXPECT_EQ(icon.Height(), 16);
  TIcon loaded;
  LoadFrom(loaded, StreamOf(icon));
  EXPECT_EQ(loaded.Width(), 16);
  EXPECT_EQ(Rendering(loaded, 16, 16), Rendering(icon, 16, 16));
  EXPECT_THROW(icon.SetWidth(32), vcl::EInvalidGraphicOperation);
}

TEST(Icon, RefusesIcoFilesWhoseImagesLieOutsideTheStream) {
  TIcon source;
  source.SetHandle(QuarteredIcon(16));
  const std::string good = StreamOf(source);
  struct Case {
    const char* name;
    std::function<std::string()> bytes;
  } cases[] = {
      {"empty", [] { return std::string(); }},
      {"no images", [&] { std::string b = good.substr(0, 6); b[4] = 0; return b; }},
      {"directory past the end", [&] { std::string b = good.substr(0, 6); return b; }},
      {"image past the end", [&] { return good.substr(0, good.size() - 1); }},
      {"image inside the directory", [&] { std::string b = good; Put32(b, 18, 6); return b; }},
      {"image larger than its bytes", [&] { std::string b = good; Put32(b, 22 + 4, 1000); return b; }},
      {"cursor file", [&] { std::string b = good; b[2] = 2; return b; }},
  };
  TIcon icon;
  icon.SetHandle(QuarteredIcon(16));
  const HICON before = icon.Handle();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(LoadFrom(icon, c.bytes()), vcl::EInvalidGraphic);
    EXPECT_EQ(icon.Handle(), before);
  }
}

// ---- TImage ---------------------------------------------------------------------------------------

TEST(Image, PaintsItsPictureOnItsParentAndFollowsItsChanges) {
  vcl::TForm form(nullptr);
  form.SetBounds(100, 100, 200, 150);
  auto* image = new vcl::TImage(&form);
  image->SetParent(&form);
  image->SetBounds(10, 20, 60, 40);
  image->SetAutoSize(true);
  image->Picture()->SetGraphic(QuarteredBitmap(40, 30, vcl::pf24bit).get());
  EXPECT_EQ(image->Width(), 40);  // AutoSize
  EXPECT_EQ(image->Height(), 30);
  form.Show();
  kxtest::PumpMessages(200);

  auto pixelAt = [&](int x, int y) {
    UpdateWindow(form.Handle());
    HDC dc = GetDC(form.Handle());
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(form.Handle(), dc);
    return c;
  };
  EXPECT_EQ(pixelAt(10 + 5, 20 + 5), RGB(0, 0, 0));
  EXPECT_EQ(pixelAt(10 + 35, 20 + 25), RGB(0, 0, 255));

  image->Picture()->Bitmap()->Canvas()->FillRect({0, 0, 40, 30}, RGB(0, 255, 0));
  EXPECT_EQ(pixelAt(10 + 5, 20 + 5), RGB(0, 255, 0));

  image->SetAutoSize(false);
  image->SetBounds(10, 20, 80, 60);
  image->SetStretch(true);
  EXPECT_EQ(image->DestRect(), (vcl::TRect{0, 0, 80, 60}));
  image->SetStretch(false);
  image->SetCenter(true);
  EXPECT_EQ(image->DestRect(), (vcl::TRect{20, 15, 60, 45}));
  form.Close();
}
