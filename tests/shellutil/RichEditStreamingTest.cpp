// Plain text and RTF streamed into and out of a real rich edit control.
#include <gtest/gtest.h>

#include <windows.h>
#include <richedit.h>

#include <vector>

#include "formats/KXUtil.h"
#include "framework/ComCtrls.h"

using namespace kestrix;
using vcl::TRichEdit;

namespace {

std::string Narrow(const std::wstring& s) { return vcl::AnsiFromUnicode(s); }

// Sits between the control and the stream-in callback it is handed, and notes the size each call
// asks for and the count the callback reports.
struct ChunkRecorder {
  DWORD_PTR cookie = 0;
  EDITSTREAMCALLBACK callback = nullptr;
  std::vector<LONG> asked, reported;

  static DWORD CALLBACK Relay(DWORD_PTR self, LPBYTE buffer, LONG cb, LONG* done) {
    auto* r = reinterpret_cast<ChunkRecorder*>(self);
    r->asked.push_back(cb);
    DWORD result = r->callback(r->cookie, buffer, cb, done);
    r->reported.push_back(*done);
    return result;
  }

  void Attach(TRichEdit& rich) {
    vcl::TWndMethod saved = rich.getWindowProc();
    rich.setWindowProc([this, saved](vcl::TMessage& m) {
      if (m.Msg != EM_STREAMIN) return saved(m);
      auto* original = reinterpret_cast<EDITSTREAM*>(m.LParam);
      cookie = original->dwCookie;
      callback = original->pfnCallback;
      EDITSTREAM relayed = *original;
      relayed.dwCookie = reinterpret_cast<DWORD_PTR>(this);
      relayed.pfnCallback = Relay;
      m.LParam = reinterpret_cast<LPARAM>(&relayed);
      saved(m);
      original->dwError = relayed.dwError;
    });
  }
};

}  // namespace

TEST(RichEditStreaming, InsertsAndReplacesPlainTextAndRtf) {
  struct Case {
    const char* what;
    std::wstring before;
    int selStart, selLength;
    std::wstring content;
    bool rtf, replace;
    std::wstring after;
  };
  const Case cases[] = {
      {"text replaces the selection", L"one two three", 4, 3, L"2", false, true, L"one 2 three"},
      {"text replaces everything", L"old", 0, 3, L"new", false, true, L"new"},
      // Collapsing puts the caret at the selection's end on Windows and at the text's end on Wine;
      // a selection that ends the text gives the same result on both.
      {"text is inserted", L"keep this", 5, 4, L"+new", false, false, L"keep this+new"},
      {"text into an empty control", L"", 0, 0, L"first", false, false, L"first"},
      {"rtf replaces the selection", L"one two three", 4, 3, L"{\\rtf1 {\\b bold}}", true, true, L"one bold three"},
      {"rtf is inserted", L"AB", 0, 2, L"{\\rtf1 x}", true, false, L"ABx"},
      {"outside the code page", L"", 0, 0, L"Caf\u00E9 \u4E2D", false, true, L"Caf\u00E9 ?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vcl::TComponent owner(nullptr);
    auto* rich = new TRichEdit(&owner);
    rich->SetText(c.before);
    rich->SetSelStart(c.selStart);
    rich->SetSelLength(c.selLength);
    AddContentToRichEdit(c.content, rich, c.rtf, c.replace);
    EXPECT_EQ(rich->Text(), c.after);
    EXPECT_EQ(GetContentFromRichEdit(rich, false, false), c.after);
  }
  AddContentToRichEdit(L"nothing", nullptr, false, true);  // a null control is a no-op
}

TEST(RichEditStreaming, WritesTheWholeContentOrTheSelection) {
  vcl::TComponent owner(nullptr);
  auto* rich = new TRichEdit(&owner);
  rich->SetText(L"one two three");
  rich->SetSelStart(4);
  rich->SetSelLength(3);
  // Bold "two", so that the RTF carries formatting that plain text does not.
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_BOLD;
  format.dwEffects = CFE_BOLD;
  SendMessageW(rich->Handle(), EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));

  EXPECT_EQ(GetContentFromRichEdit(rich, false, false), L"one two three");
  EXPECT_EQ(GetContentFromRichEdit(rich, false, true), L"two");
  std::string whole = Narrow(GetContentFromRichEdit(rich, true, false));
  std::string selected = Narrow(GetContentFromRichEdit(rich, true, true));
  EXPECT_EQ(whole.rfind("{\\rtf", 0), 0u) << whole;
  EXPECT_NE(whole.find("three"), std::string::npos) << whole;
  EXPECT_NE(whole.find("\\b"), std::string::npos) << whole;
  EXPECT_EQ(selected.rfind("{\\rtf", 0), 0u) << selected;
  EXPECT_NE(selected.find("two"), std::string::npos) << selected;
  EXPECT_EQ(selected.find("three"), std::string::npos) << selected;
  EXPECT_EQ(GetContentFromRichEdit(nullptr, true, false), L"");

  // The RTF carries the formatting over into another control.
  auto* copy = new TRichEdit(&owner);
  AddContentToRichEdit(GetContentFromRichEdit(rich, true, false), copy, true, true);
  // The RTF closes its last paragraph with \par, which Wine's control keeps as a line break.
  EXPECT_EQ(copy->Text().rfind(L"one two three", 0), 0u);
  copy->SetSelStart(5);
  copy->SetSelLength(1);
  CHARFORMAT2W read{};
  read.cbSize = sizeof read;
  SendMessageW(copy->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&read));
  EXPECT_TRUE(read.dwEffects & CFE_BOLD);
  copy->SetSelStart(0);
  SendMessageW(copy->Handle(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&read));
  EXPECT_FALSE(read.dwEffects & CFE_BOLD);
}

TEST(RichEditStreaming, HandsTheControlAtMostWhatItAsksFor) {
  // 100 lines of 98 characters and a line break: 10 000 bytes.
  std::wstring content;
  for (int line = 0; line < 100; ++line) {
    std::wstring text = L"line " + std::to_wstring(line) + L" ";
    text.resize(98, static_cast<wchar_t>(L'a' + line % 26));
    content += text + L"\r\n";
  }
  ASSERT_EQ(content.size(), 10000u);

  vcl::TComponent owner(nullptr);
  auto* rich = new TRichEdit(&owner);
  ChunkRecorder recorder;
  recorder.Attach(*rich);
  AddContentToRichEdit(content, rich, false, true);
  EXPECT_EQ(recorder.asked, (std::vector<LONG>{4096, 4096, 4096, 4096}));
  EXPECT_EQ(recorder.reported, (std::vector<LONG>{4096, 4096, 1808, 0}));
  EXPECT_EQ(GetContentFromRichEdit(rich, false, false), content);
}
