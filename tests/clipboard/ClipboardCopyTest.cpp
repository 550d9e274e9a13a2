// Copying with the source components and pasting in another process (the target peers of
// tests/peers with --paste), then again after the source has gone: its data object is released
// with it, and what stays on the clipboard is what its retention says. Both processes are of the
// test's bitness: between 32- and 64-bit processes Wine's OLE clipboard cannot list formats.
#include <gtest/gtest.h>

#include <memory>

#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "framework/Streams.h"
#include "picsource/PictureTestSupport.h"
#include "sources/KXFileSource.h"
#include "sources/KXGraphicSource.h"
#include "sources/KXTextSource.h"
#include "support/PeerProcess.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;

namespace {

// Pastes in a target peer; its result lines, empty when it took nothing.
std::map<std::string, std::string> PasteInPeer(const wchar_t* peer, std::vector<std::wstring> args = {}) {
  kxtest::PeerProcess process;
  args.insert(args.end(), {L"--paste", L"1", L"--timeout", L"3000"});
  EXPECT_TRUE(process.Start(peer, args));
  EXPECT_TRUE(process.WaitExit(30000));  // pumps: the peer's requests reach this process's data object
  std::map<std::string, std::string> result = process.Result();
  if (result.count("timeout")) result.clear();
  return result;
}

std::string Utf8Hex(const std::wstring& s) { return kxtest::HexOf(vcl::Utf8FromUnicode(s)); }

}  // namespace

TEST(ClipboardCopy, TextPastesInAnotherProcessAndStaysOnlyWhenFlushed) {
  const struct {
    const char* name;
    std::wstring text, html;
    TClipboardRetention retention;
  } rows[] = {
      {"wide text with HTML, flushed", L"Gr\u00FC\u00DFe \u4E2D\u6587 \u2713", L"<b>Gr\u00FC\u00DFe</b> \u4E2D\u6587", crFlush},
      {"wide text, cleared", L"\u00C9t\u00E9 \U0001F600", L"", crClear},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const LONG live = TTextDataObject::LiveCount();
    auto source = std::make_unique<TKXTextSource>(nullptr);
    source->setText(row.text);
    source->setHTML(row.html);
    source->setClipboardRetention(row.retention);
    ASSERT_TRUE(source->CopyToClipboard());
    EXPECT_TRUE(source->getOnClipboard());

    const bool html = !row.html.empty();
    for (const bool gone : {false, true}) {
      if (gone) {
        source.reset();
        EXPECT_EQ(TTextDataObject::LiveCount(), live);  // the clipboard no longer holds it
      }
      std::map<std::string, std::string> pasted = PasteInPeer(L"kx_peer_texttarget.exe");
      if (gone && row.retention == crClear) {
        EXPECT_TRUE(pasted.empty());
        continue;
      }
      ASSERT_FALSE(pasted.empty()) << (gone ? "after the source went" : "while the source lives");
      EXPECT_EQ(pasted["kind"], std::to_string(html ? dtfIEHTML : dtfText));
      EXPECT_EQ(pasted[html ? "fragment" : "text"], Utf8Hex(html ? row.html : row.text));
      EXPECT_EQ(pasted["x"], "-1");
      EXPECT_EQ(pasted["y"], "-1");
      EXPECT_EQ(pasted["effect"], std::to_string(deCopy));
    }
  }
}

TEST(ClipboardCopy, PicturePastesInAnotherProcessWithItsPixels) {
  std::unique_ptr<vcl::TBitmap> bitmap = pictest::QuarteredBitmap(8, 6, vcl::pf24bit);
  const std::string pixels = kxtest::HexOf(kxtest::BitmapPixels32(bitmap->Handle()));
  for (const TClipboardRetention retention : {crFlush, crClear}) {
    SCOPED_TRACE(retention == crFlush ? "flushed" : "cleared");
    const LONG live = TGraphicDataObject::LiveCount();
    auto source = std::make_unique<TKXGraphicSource>(nullptr);
    source->getPicture()->SetGraphic(bitmap.get());
    source->setClipboardRetention(retention);
    ASSERT_TRUE(source->CopyToClipboard());
    for (const bool gone : {false, true}) {
      if (gone) {
        source.reset();
        EXPECT_EQ(TGraphicDataObject::LiveCount(), live);
      }
      std::map<std::string, std::string> pasted = PasteInPeer(L"kx_peer_picturetarget.exe", {L"--preferred", L"bitmap"});
      if (gone && retention == crClear) {
        EXPECT_TRUE(pasted.empty());
        continue;
      }
      ASSERT_FALSE(pasted.empty()) << (gone ? "after the source went" : "while the source lives");
      EXPECT_EQ(pasted["x"], "-1");
      EXPECT_TRUE(pasted["pixels"] == pixels) << pasted["pixels"].size() << " hex digits";
    }
  }
}

TEST(ClipboardCopy, FilesPasteInAnotherProcessByteForByte) {
  const std::wstring from = kxtest::MakeTempFolder(L"clip-copy-from");
  const std::string real("real\0bytes\r\n", 12), made(300000, '\x7E');
  vcl::TFileStream(from + L"real.bin", vcl::fmCreate).WriteBuffer(real.data(), static_cast<std::int64_t>(real.size()));
  const struct {
    const char* name;
    TClipboardRetention retention;
    int savedAfterGone;  // the virtual file never outlives its producer
  } rows[] = {{"flushed", crFlush, 1}, {"cleared", crClear, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const LONG live = TFileDataObject::LiveCount();
    int produced = 0;
    auto source = std::make_unique<TKXFileSource>(nullptr);
    source->AddFile(from + L"real.bin");
    source->AddVirtualFile(L"made \u00FC.bin", made.size());
    source->setOnGetContents([&](TObject*, int, vcl::TStream& out) {
      ++produced;
      out.WriteBuffer(made.data(), static_cast<std::int64_t>(made.size()));
    });
    source->setClipboardRetention(row.retention);
    ASSERT_TRUE(source->CopyToClipboard());
    EXPECT_EQ(produced, 0);  // made when a program pastes it

    for (const bool gone : {false, true}) {
      if (gone) {
        source.reset();
        EXPECT_EQ(TFileDataObject::LiveCount(), live);
      }
      const std::wstring to = kxtest::MakeTempFolder(L"clip-copy-to-" + std::to_wstring(&row - rows) + (gone ? L"b" : L"a"));
      std::map<std::string, std::string> pasted = PasteInPeer(L"kx_peer_filetarget.exe", {L"--folder", to.substr(0, to.size() - 1)});
      const int saved = pasted.empty() ? 0 : std::stoi(pasted["saved"]);
      EXPECT_EQ(saved, gone ? row.savedAfterGone : 2);
      if (saved == 0) continue;
      auto bytes = [&](const std::wstring& name) {
        vcl::TFileStream in(to + name, vcl::fmOpenRead);
        std::string b(static_cast<size_t>(in.Size()), '\0');
        in.ReadBuffer(b.data(), static_cast<std::int64_t>(b.size()));
        return b;
      };
      EXPECT_TRUE(bytes(L"real.bin") == real);
      if (!gone) EXPECT_TRUE(bytes(L"made \u00FC.bin") == made);
    }
    EXPECT_EQ(produced, 1);
  }
}

TEST(ClipboardCopy, CutPastedTellsTheSource) {
  vcl::TForm form(nullptr);
  auto* memo = new vcl::TMemo(&form);
  memo->SetParent(&form);
  auto* target = new TKXTextTarget(&form);
  target->setAcceptorControl(memo);
  auto* source = new TKXTextSource(&form);
  source->setText(L"cut me");
  std::vector<TDropEffect> told;
  source->setOnPasteSucceeded([&](TObject* sender, TDropEffect effect) {
    EXPECT_EQ(sender, source);
    told.push_back(effect);
  });

  ASSERT_TRUE(source->CopyToClipboard(false));
  source->setText(L"changed after the copy");  // a paste brings what was copied
  ASSERT_TRUE(target->PasteFromClipboard());
  EXPECT_EQ(target->getText(), L"cut me");
  EXPECT_EQ(target->getDropEffect(), deCopy);
  EXPECT_TRUE(told.empty());  // a copy pasted is no news for the source

  source->setText(L"cut me");

  ASSERT_TRUE(source->CopyToClipboard(true));
  ASSERT_TRUE(target->PasteFromClipboard());
  EXPECT_EQ(target->getText(), L"cut me");
  EXPECT_EQ(target->getDropEffect(), deMove);
  EXPECT_EQ(told, std::vector<TDropEffect>{deMove});
  source->setClipboardRetention(crClear);
}
