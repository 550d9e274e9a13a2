// Pasting what another process put on the clipboard, shaped like a browser's, a mail client's and
// the file manager's contents, into each kind of target component: the same results as a drop of
// the same formats, OnDrop at (-1, -1), copy unless cut, and a probe that says the same as the
// paste.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <type_traits>

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

// What another program puts on the clipboard, and whether a target should take it.
struct TShape {
  const char* name;
  std::wstring text;  // offered as Unicode and ANSI text unless empty
  std::vector<TOffered> formats;
  bool canPaste;
};

// The shape on the clipboard, owned by another process for the life of the form, and a window
// with one control bound to a target component that records where OnDrop said it was.
template <class Target>
struct TPasteForm {
  TForeignClipboard clipboard;
  vcl::TForm form{nullptr};
  vcl::TWinControl* control;
  Target* target;
  std::vector<vcl::TPoint> drops;

  explicit TPasteForm(const TShape& shape) : clipboard(shape.text, shape.formats) {
    form.SetBounds(100, 100, 400, 300);
    if constexpr (std::is_same_v<Target, TKXTextTarget>) control = new vcl::TMemo(&form);
    else control = new vcl::TPanel(&form);
    control->SetParent(&form);
    control->SetBounds(10, 20, 200, 150);
    target = new Target(&form);
    target->setAcceptorControl(control);
    target->setOnDrop([this](auto&&... args) {
      const auto all = std::forward_as_tuple(args...);
      constexpr size_t n = sizeof...(args);
      drops.push_back({std::get<n - 2>(all), std::get<n - 1>(all)});
    });
  }
  // Probes and pastes, both as the shape says; when it pasted, OnDrop came once (from the message
  // loop for a picture) at (-1, -1).
  bool Paste(const TShape& shape) {
    EXPECT_TRUE(clipboard.Started());
    EXPECT_EQ(target->getCanPaste(), shape.canPaste);
    const bool pasted = target->PasteFromClipboard();
    EXPECT_EQ(pasted, shape.canPaste);
    if (pasted) kxtest::PumpUntil([&] { return !drops.empty(); }, 5000);
    EXPECT_EQ(drops.size(), pasted ? 1u : 0u);
    for (const vcl::TPoint& at : drops) EXPECT_TRUE(at.X == -1 && at.Y == -1) << at.X << ", " << at.Y;
    return pasted && drops.size() == 1;
  }
};

}  // namespace

TEST(ClipboardPaste, TextTargetReadsForeignContentsAsADrop) {
  const std::wstring title = L"P\u00E1gina \u4E2D\u6587";
  const struct {
    TShape shape;
    TDropTextFormats accepted;
    TDropTextFormat kind;
    std::wstring expected;  // the text, or the fragment of an HTML paste
    std::wstring extra;     // the title of a URL, the source of an HTML paste
    TDropEffect effect;
  } rows[] = {
      {{"browser selection", L"Kestrix ist sch\u00F6n",
        {{L"HTML Format", blocks::HTMLBlockFromFragment("<b>Kestrix</b> ist sch\xC3\xB6n", "https://example.org/k")}}, true},
       {dtfText, dtfIEHTML}, dtfIEHTML, L"<b>Kestrix</b> ist sch\u00F6n", L"https://example.org/k", deCopy},
      {{"browser link with a wide title", L"https://example.org/\u00FC",
        {{L"UniformResourceLocatorW", Utf16(L"https://example.org/\u00FC")},
         {L"FileGroupDescriptorW", Descriptor({title + L".url"})}}, true},
       {dtfText, dtfURL}, dtfURL, L"https://example.org/\u00FC", title, deCopy},
      {{"mail client message", L"Hallo",
        {{L"Rich Text Format", std::string("{\\rtf1 Hallo}") + '\0'},
         {L"HTML Format", blocks::HTMLBlockFromFragment("Hallo")}}, true},
       {dtfText, dtfRichText}, dtfRichText, L"{\\rtf1 Hallo}", L"", deCopy},
      {{"file manager cut: names are only read, never moved", L"",
        {{L"#15", NameList({L"C:\\kx\\a.txt", L"C:\\kx\\b \u00E9.txt"})}, cliptest::Preferred(DROPEFFECT_MOVE)}, true},
       {dtfText, dtfFiles}, dtfFiles, L"C:\\kx\\a.txt\r\nC:\\kx\\b \u00E9.txt", L"", deCopy},
      {{"editor cut", L"moved words", {cliptest::Preferred(DROPEFFECT_MOVE)}, true}, {dtfText}, dtfText, L"moved words",
       L"", deMove},
      {{"nothing accepted", L"plain", {}, false}, {dtfURL}, dtfText, L"", L"", deNone},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shape.name);
    TPasteForm<TKXTextTarget> form(row.shape);
    TKXTextTarget* target = form.target;
    target->setAcceptTextFormats(row.accepted);
    const bool pasted = form.Paste(row.shape);
    EXPECT_EQ(target->getDropEffect(), row.effect);
    if (!pasted) continue;
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
  const TShape rows[] = {
      {"browser image", L"",
       {{L"#8", bmpFile.substr(14)}, {L"HTML Format", blocks::HTMLBlockFromFragment("<img src=\"q.bmp\">")}}, true},
      {"mail client attachment", L"",
       {{L"FileGroupDescriptorW", Descriptor({L"photo.bmp"})}, {L"FileContents@0", bmpFile, true}}, true},
      {"text only", L"no picture here", {}, false},
  };
  for (const TShape& row : rows) {
    SCOPED_TRACE(row.name);
    TPasteForm<TKXGraphicTarget> form(row);
    TKXGraphicTarget* target = form.target;
    if (!form.Paste(row)) continue;
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
  const TShape rows[] = {
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
  for (const TShape& row : rows) {
    SCOPED_TRACE(row.name);
    TPasteForm<TKXFileTarget> form(row);
    TKXFileTarget* target = form.target;
    if (!form.Paste(row)) continue;
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
