// Pasting what another process put on the clipboard, shaped like a browser's, a mail client's and
// the file manager's contents, into each kind of target component: the same results as a drop of
// the same formats, OnDrop at (-1, -1), copy unless cut, and a probe that says the same as the
// paste.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "clipboard/ClipboardTestSupport.h"
#include "formats/KXFileGroupBlock.h"
#include "formats/KXHTMLBlock.h"
#include "formats/KXUtilBlocks.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "framework/Streams.h"
#include "picsource/PictureTestSupport.h"
#include "targets/KXFileTarget.h"
#include "targets/KXGraphicTarget.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;
using cliptest::TForeignClipboard;
using cliptest::TOffered;
using cliptest::Utf16;

namespace {

std::string Descriptor(const std::vector<std::wstring>& names) {
  std::vector<blocks::TFileGroupEntry> entries;
  for (const std::wstring& name : names) entries.push_back({Utf16(name, false)});
  return blocks::FileGroupBlock(entries, true);
}

std::string NameList(const std::vector<std::wstring>& names) {
  std::vector<std::string> wide;
  for (const std::wstring& name : names) wide.push_back(Utf16(name, false));
  return blocks::HDROPBlockFromNames(wide, true);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  vcl::TFileStream(path, vcl::fmCreate).WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

std::string ReadBytes(const std::wstring& path) {
  vcl::TFileStream in(path, vcl::fmOpenRead);
  std::string bytes(static_cast<size_t>(in.Size()), '\0');
  in.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return bytes;
}

// A window with one control for a target component.
struct TPasteForm {
  vcl::TForm form{nullptr};
  vcl::TWinControl* control;
  std::vector<vcl::TPoint> drops;

  explicit TPasteForm(bool memo) {
    form.SetBounds(100, 100, 400, 300);
    control = memo ? static_cast<vcl::TWinControl*>(new vcl::TMemo(&form)) : new vcl::TPanel(&form);
    control->SetParent(&form);
    control->SetBounds(10, 20, 200, 150);
  }
  auto Recorder() {
    return [this](auto&&... args) {
      const auto all = std::forward_as_tuple(args...);
      constexpr size_t n = sizeof...(args);
      drops.push_back({std::get<n - 2>(all), std::get<n - 1>(all)});
    };
  }
};

}  // namespace

TEST(ClipboardPaste, TextTargetReadsForeignContentsAsADrop) {
  const std::wstring title = L"P\u00E1gina \u4E2D\u6587";
  const struct {
    const char* shape;
    std::wstring text;
    std::vector<TOffered> formats;
    TDropTextFormats accepted;
    bool canPaste;
    TDropTextFormat kind;
    std::wstring expected;  // the text, or the fragment of an HTML paste
    std::wstring extra;     // the title of a URL, the source of an HTML paste
    TDropEffect effect;
  } rows[] = {
      {"browser selection", L"Kestrix ist sch\u00F6n",
       {{L"HTML Format", blocks::HTMLBlockFromFragment("<b>Kestrix</b> ist sch\xC3\xB6n", "https://example.org/k")}},
       {dtfText, dtfIEHTML}, true, dtfIEHTML, L"<b>Kestrix</b> ist sch\u00F6n", L"https://example.org/k", deCopy},
      {"browser link with a wide title", L"https://example.org/\u00FC",
       {{L"UniformResourceLocatorW", Utf16(L"https://example.org/\u00FC")},
        {L"FileGroupDescriptorW", Descriptor({title + L".url"})}},
       {dtfText, dtfURL}, true, dtfURL, L"https://example.org/\u00FC", title, deCopy},
      {"mail client message", L"Hallo",
       {{L"Rich Text Format", std::string("{\\rtf1 Hallo}") + '\0'},
        {L"HTML Format", blocks::HTMLBlockFromFragment("Hallo")}},
       {dtfText, dtfRichText}, true, dtfRichText, L"{\\rtf1 Hallo}", L"", deCopy},
      {"file manager cut: names are only read, never moved", L"",
       {{L"#15", NameList({L"C:\\kx\\a.txt", L"C:\\kx\\b \u00E9.txt"})}, cliptest::Preferred(DROPEFFECT_MOVE)},
       {dtfText, dtfFiles}, true, dtfFiles, L"C:\\kx\\a.txt\r\nC:\\kx\\b \u00E9.txt", L"", deCopy},
      {"editor cut", L"moved words", {cliptest::Preferred(DROPEFFECT_MOVE)}, {dtfText}, true, dtfText,
       L"moved words", L"", deMove},
      {"nothing accepted", L"plain", {}, {dtfURL}, false, dtfText, L"", L"", deNone},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shape);
    TForeignClipboard clipboard(row.text, row.formats);
    ASSERT_TRUE(clipboard.Started());
    TPasteForm form(true);
    auto* target = new TKXTextTarget(&form.form);
    target->setAcceptorControl(form.control);
    target->setAcceptTextFormats(row.accepted);
    target->setOnDrop(form.Recorder());

    EXPECT_EQ(target->getCanPaste(), row.canPaste);
    ASSERT_EQ(target->PasteFromClipboard(), row.canPaste);
    EXPECT_EQ(target->getDropEffect(), row.effect);
    if (!row.canPaste) {
      EXPECT_TRUE(form.drops.empty());
      continue;
    }
    ASSERT_EQ(form.drops.size(), 1u);
    EXPECT_EQ(form.drops[0].X, -1);
    EXPECT_EQ(form.drops[0].Y, -1);
    EXPECT_EQ(target->getDroppedTextFormat(), row.kind);
    EXPECT_FALSE(target->getDataObject());  // the clipboard's object is not kept
    if (row.kind == dtfIEHTML) {
      EXPECT_EQ(target->getHTMLFragment(), row.expected);
      EXPECT_EQ(target->getHTMLSourceURL(), row.extra);
    } else {
      EXPECT_EQ(target->getText(), row.expected);
      EXPECT_EQ(target->getURLTitleW(), row.extra);
    }
  }
}

TEST(ClipboardPaste, GraphicTargetReadsForeignPicturesWithTheirPixels) {
  std::unique_ptr<vcl::TBitmap> original = pictest::QuarteredBitmap(8, 6, vcl::pf24bit);
  const std::string pixels = pictest::Rendering(*original, 8, 6);
  const std::string bmpFile = pictest::BmpFileOf(*original);
  const struct {
    const char* shape;
    std::wstring text;
    std::vector<TOffered> formats;
    bool canPaste;
  } rows[] = {
      {"browser image", L"",
       {{L"#8", bmpFile.substr(14)}, {L"HTML Format", blocks::HTMLBlockFromFragment("<img src=\"q.bmp\">")}}, true},
      {"mail client attachment", L"",
       {{L"FileGroupDescriptorW", Descriptor({L"photo.bmp"})}, {L"FileContents@0", bmpFile, true}}, true},
      {"text only", L"no picture here", {}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shape);
    TForeignClipboard clipboard(row.text, row.formats);
    ASSERT_TRUE(clipboard.Started());
    TPasteForm form(false);
    auto* target = new TKXGraphicTarget(&form.form);
    target->setAcceptorControl(form.control);
    target->setOnDrop(form.Recorder());

    EXPECT_EQ(target->getCanPaste(), row.canPaste);
    ASSERT_EQ(target->PasteFromClipboard(), row.canPaste);
    if (!row.canPaste) continue;
    ASSERT_TRUE(kxtest::PumpUntil([&] { return !form.drops.empty(); }, 5000));
    EXPECT_EQ(form.drops[0].X, -1);
    EXPECT_EQ(form.drops[0].Y, -1);
    EXPECT_EQ(target->getDropEffect(), deCopy);
    ASSERT_TRUE(target->getPicture() && target->getPicture()->Graphic());
    EXPECT_EQ(target->getDroppedGraphicFormat(), dgfBitmap);
    EXPECT_TRUE(pictest::Rendering(*target->getPicture()->Graphic(), 8, 6) == pixels);
  }
}

TEST(ClipboardPaste, FileTargetSavesForeignFilesByteForByte) {
  const std::wstring from = kxtest::MakeTempFolder(L"clip-paste-from");
  const std::string first("first\0file\r\n", 12), second(10000, '\x5A');  // the owner's command line carries it
  WriteBytes(from + L"a.bin", first);
  WriteBytes(from + L"b \u00E9.bin", second);
  const struct {
    const char* shape;
    std::wstring text;
    std::vector<TOffered> formats;
    bool canPaste;
  } rows[] = {
      {"mail client attachments", L"",
       {{L"FileGroupDescriptorW", Descriptor({L"a.bin", L"b \u00E9.bin"})},
        {L"FileContents@0", first, true},
        {L"FileContents@1", second, true}},
       true},
      {"file manager copy", L"", {{L"#15", NameList({from + L"a.bin", from + L"b \u00E9.bin"})}, cliptest::Preferred(5)}, true},
      {"file manager cut: saved, never moved", L"",
       {{L"#15", NameList({from + L"a.bin", from + L"b \u00E9.bin"})}, cliptest::Preferred(DROPEFFECT_MOVE)}, true},
      {"browser page text", L"only text", {}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shape);
    TForeignClipboard clipboard(row.text, row.formats);
    ASSERT_TRUE(clipboard.Started());
    TPasteForm form(false);
    auto* target = new TKXFileTarget(&form.form);
    target->setAcceptorControl(form.control);
    target->setOnDrop(form.Recorder());

    EXPECT_EQ(target->getCanPaste(), row.canPaste);
    ASSERT_EQ(target->PasteFromClipboard(), row.canPaste);
    if (!row.canPaste) continue;
    ASSERT_EQ(form.drops.size(), 1u);
    EXPECT_EQ(form.drops[0].X, -1);
    EXPECT_EQ(form.drops[0].Y, -1);
    EXPECT_EQ(target->getDropEffect(), deCopy);
    ASSERT_EQ(target->getFileCount(), 2);
    const std::wstring to = kxtest::MakeTempFolder(L"clip-paste-to-" + std::to_wstring(&row - rows));
    EXPECT_EQ(target->SaveToFolder(to), 2);
    for (const auto& [name, bytes] : {std::pair{L"a.bin", first}, std::pair{L"b \u00E9.bin", second}}) {
      const std::string saved = ReadBytes(to + name);
      EXPECT_TRUE(saved == bytes) << vcl::Utf8FromUnicode(name) << ": " << saved.size() << " bytes";
    }
    target->EndDrop();
  }
}
