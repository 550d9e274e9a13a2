// TKXTextSource::Execute on the real DoDragDrop, driven by synthesized input, into raw OLE drop
// targets: another window of this process and a peer process.
#include <gtest/gtest.h>

#include <stdexcept>

#include "formats/KXHTMLBlock.h"
#include "formats/KXUtil.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "peers/DragDropHelperRegistration.h"
#include "sources/KXTextDataObject.h"
#include "sources/KXTextSource.h"
#include "support/DragDriver.h"
#include "support/PeerProcess.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"

using namespace kestrix;
using namespace kxtest;

namespace {

constexpr RECT kSourceRect{40, 40, 240, 240};
constexpr RECT kTargetRect{340, 40, 540, 240};
constexpr RECT kDonorFormRect{40, 300, 240, 500};
const wchar_t kPeerRect[] = L"340,40,200,200";

struct HandlerError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Counts an event's calls and remembers the last arguments that matter.
struct AfterDrop {
  int calls = 0;
  bool droppedOK = false;
  TComponent* donor = nullptr;
};

// A form with a multi-selection list box (alpha, beta, gamma; alpha and gamma selected) in its
// upper half; the drag starts from the free lower half, so the press does not touch the selection.
struct ListBoxDonor {
  ListBoxDonor() {
    form->SetBounds(kDonorFormRect.left, kDonorFormRect.top, kDonorFormRect.right - kDonorFormRect.left,
                    kDonorFormRect.bottom - kDonorFormRect.top);
    list->SetParent(form);
    list->SetBounds(0, 0, 150, 80);
    list->SetMultiSelect(true);
    for (const wchar_t* item : {L"alpha", L"beta", L"gamma"}) list->Items().Add(item);
    form->Show();
    list->SetSelected(0, true);
    list->SetSelected(2, true);
  }
  HWND PressWindow() { return form->Handle(); }
  POINT PressPoint() const { return {100, 150}; }

  vcl::TComponent owner{nullptr};
  vcl::TForm* form = new vcl::TForm(&owner);
  vcl::TListBox* list = new vcl::TListBox(&owner);
};

std::wstring PeerTitle() { return L"kx text peer " + std::to_wstring(GetCurrentProcessId()); }

std::string ReadKey(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL) {
  return "read." + std::to_string(cf) + "." + std::to_string(tymed);
}

class TextDrag : public testing::Test {
 protected:
  void SetUp() override {
    liveBefore = TTextDataObject::LiveCount();
    target = new RawDropTarget(DROPEFFECT_COPY);
    ASSERT_EQ(target->Register(targetWnd.Handle()), S_OK);
    source.setOnAfterDrop([this](TObject* sender, TComponent* donor, bool ok) {
      EXPECT_EQ(sender, &source);
      ++after.calls;
      after.droppedOK = ok;
      after.donor = donor;
    });
    source.setOnCancelDrop([this](TObject*) { ++cancels; });
    PumpMessages(100);
  }

  void TearDown() override {
    target->Revoke();
    target->Release();  // with any data object it kept
    EXPECT_TRUE(PumpUntil([&] { return TTextDataObject::LiveCount() == liveBefore; }, 3000))
        << "data objects alive: " << TTextDataObject::LiveCount() - liveBefore;
  }

  // Presses on the source window, plays the script on the driver thread and runs Execute; what
  // Execute throws reaches the caller (the driver finishes its script first).
  bool Drag(DragScript script, MouseButton button = MouseButton::Left) {
    return DragFrom(sourceWnd.Handle(), sourceWnd.Centre(), std::move(script), button);
  }

  bool DragFrom(HWND wnd, POINT point, DragScript script, MouseButton button = MouseButton::Left) {
    return DragWith(wnd, point, std::move(script), [&] { return source.Execute(); }, button);
  }

  DragScript ToTarget(MouseButton button = MouseButton::Left) {
    return DropOn(targetWnd.Handle(), targetWnd.Centre(), button);
  }

  TestWindow sourceWnd{L"kx text source", kSourceRect};
  TestWindow targetWnd{L"kx text target", kTargetRect, false};
  RawDropTarget* target = nullptr;
  TKXTextSource source{nullptr};
  AfterDrop after;
  int cancels = 0;
  LONG liveBefore = 0;
};

}  // namespace

TEST_F(TextDrag, DropsTheTextIntoAWindowOfThisProcess) {
  source.setText(L"drag me \u00E9");
  source.setDropEffects({deCopy, deLink});
  target->SetAnswer(DROPEFFECT_LINK);
  target->SetKeepDataObject(true);
  std::vector<TDropEffect> feedback;
  source.setOnGiveFeedback([&](TObject*, TDropEffect e, bool&) { feedback.push_back(e); });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_EQ(target->drops, 1);
  EXPECT_EQ(target->allowedAtEnter, DWORD{DROPEFFECT_COPY | DROPEFFECT_LINK});
  EXPECT_EQ(target->UnicodeText(), L"drag me \u00E9");
  EXPECT_EQ(target->AnsiText(), "drag me \xE9");
  ASSERT_EQ(target->enumerated.size(), 2u);
  EXPECT_EQ(target->enumerated[0].cfFormat, CF_TEXT);
  EXPECT_EQ(target->enumerated[1].cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(after.calls, 1);
  EXPECT_TRUE(after.droppedOK);
  EXPECT_EQ(source.getReturnedEffect(), deLink);
  ASSERT_FALSE(feedback.empty());
  EXPECT_EQ(feedback.back(), deLink);
  EXPECT_EQ(cancels, 0);
  EXPECT_FALSE(source.getActive());
  EXPECT_FALSE(source.getDropWasAsynchronous());

  // The target's reference is the only one left: the library released all of its own.
  IDataObject* kept = target->TakeDataObject();
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(TTextDataObject::LiveCount(), liveBefore + 1);
  EXPECT_EQ(kept->Release(), 0u);
  EXPECT_EQ(TTextDataObject::LiveCount(), liveBefore);
}

TEST_F(TextDrag, DragsTheSelectionOfAListBoxDonor) {
  ListBoxDonor donor;
  source.setDonorComponent(donor.list);

  EXPECT_TRUE(DragFrom(donor.PressWindow(), donor.PressPoint(), ToTarget()));

  EXPECT_EQ(target->UnicodeText(), L"alpha\r\ngamma");
  EXPECT_EQ(target->AnsiText(), "alpha\r\ngamma");
  EXPECT_EQ(after.calls, 1);
  EXPECT_TRUE(after.droppedOK);
  EXPECT_EQ(after.donor, donor.list);
  EXPECT_EQ(source.getDonorComponent(), donor.list);
  source.setDonorComponent(nullptr);
}

TEST_F(TextDrag, EscapeCancels) {
  source.setText(L"never dropped");
  source.setOnBeforeDrop([](TObject*, TComponent*, std::wstring&, bool&) { ADD_FAILURE() << "no drop to ask for"; });

  EXPECT_TRUE(Drag(EscapeOver(targetWnd.Handle(), targetWnd.Centre())));

  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(after.calls, 0);
  EXPECT_EQ(source.getReturnedEffect(), deNone);
  EXPECT_EQ(target->drops, 0);
  EXPECT_GE(target->enters, 1);
}

TEST_F(TextDrag, BeforeDropChangesWhatTheTargetReceivesAndCutsTheDonor) {
  vcl::TComponent donor(nullptr);
  donor.SetName(L"Donor1");
  source.setDonorComponent(&donor);
  int asked = 0;
  source.setOnBeforeDrop([&](TObject*, TComponent* d, std::wstring& text, bool&) {
    ++asked;
    EXPECT_EQ(d, &donor);
    EXPECT_EQ(text, L"Donor1");
    text = L"changed at the drop";
  });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_EQ(asked, 1);
  EXPECT_EQ(target->UnicodeText(), L"changed at the drop");
  EXPECT_EQ(target->AnsiText(), "changed at the drop");
  EXPECT_EQ(source.getDonorComponent(), nullptr);
  EXPECT_EQ(after.calls, 1);
  EXPECT_EQ(after.donor, nullptr);
}

TEST_F(TextDrag, BeforeDropMayCancel) {
  source.setText(L"refused");
  source.setOnBeforeDrop([](TObject*, TComponent*, std::wstring&, bool& cancel) { cancel = true; });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_EQ(target->drops, 0);
  EXPECT_EQ(after.calls, 0);
  EXPECT_EQ(cancels, 0);
  EXPECT_EQ(source.getReturnedEffect(), deNone);
}

TEST_F(TextDrag, ReleaseOverATargetThatRefusesAsksNothing) {
  source.setText(L"unwanted");
  target->SetAnswer(DROPEFFECT_NONE);
  int asked = 0;
  source.setOnBeforeDrop([&](TObject*, TComponent*, std::wstring&, bool&) { ++asked; });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_EQ(asked, 0);
  EXPECT_EQ(target->drops, 0);
  EXPECT_EQ(source.getReturnedEffect(), deNone);
  // OLE ends such a drag as a cancel; had it reported a drop, it would be one that failed.
  EXPECT_TRUE(after.calls == 0 || !after.droppedOK);
}

TEST_F(TextDrag, RightButtonDragIgnoresTheLeftButton) {
  source.setText(L"dragged with the right button");
  source.setMouseButton(vcl::mbRight);
  DragScript script;
  script.Pause(200).Down(MouseButton::Left).Pause(150).Up(MouseButton::Left).Pause(150);
  script.MoveTo(targetWnd.Handle(), targetWnd.Centre()).Pause(300).Up(MouseButton::Right).Pause(60);

  EXPECT_TRUE(Drag(std::move(script), MouseButton::Right));

  EXPECT_EQ(target->drops, 1);  // released over the target, not where the left button went up
  EXPECT_EQ(target->UnicodeText(), L"dragged with the right button");
  EXPECT_EQ(after.calls, 1);
  EXPECT_TRUE(after.droppedOK);
}

TEST_F(TextDrag, ExplicitCancelFromAFeedbackHandler) {
  source.setText(L"x");
  source.setOnGiveFeedback([&](TObject*, TDropEffect e, bool&) {
    if (e == deCopy) source.SetExplicitCancel(true);
  });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(target->drops, 0);
  EXPECT_EQ(source.getReturnedEffect(), deNone);
  EXPECT_FALSE(source.getExplicitCancel() && source.getActive());
}

TEST_F(TextDrag, ExecuteDuringADragReturnsFalse) {
  source.setText(L"x");
  int nested = 0;
  source.setOnGiveFeedback([&](TObject*, TDropEffect, bool&) {
    EXPECT_TRUE(source.getActive());
    if (!nested++) {
      EXPECT_FALSE(source.Execute());
    }
  });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_GE(nested, 1);
  EXPECT_EQ(target->drops, 1);
  EXPECT_FALSE(source.getActive());
}

TEST_F(TextDrag, AHandlerExceptionReachesTheCallerOfExecute) {
  enum Where { kFeedback, kBeforeDrop, kRender };
  for (Where where : {kFeedback, kBeforeDrop, kRender}) {
    SCOPED_TRACE(where);
    source.setOnGiveFeedback(nullptr);
    source.setOnBeforeDrop(nullptr);
    source.getCustomFormatData()->Clear();
    source.setText(L"x");
    after = {};
    const int dropsBefore = target->drops;
    switch (where) {
      case kFeedback:
        source.setOnGiveFeedback([](TObject*, TDropEffect, bool&) { throw HandlerError("feedback"); });
        break;
      case kBeforeDrop:
        source.setOnBeforeDrop([](TObject*, TComponent*, std::wstring&, bool&) { throw HandlerError("before drop"); });
        break;
      case kRender:
        // Rendered at the drop: the drop has happened, the target gets an error for that format.
        source.getCustomFormatData()->AddFormat(L"1", std::string());
        source.setOnRenderCustomFormat([](TObject*, const std::wstring&, std::wstring&) { throw HandlerError("render"); });
        break;
    }
    EXPECT_THROW(Drag(ToTarget()), HandlerError);
    EXPECT_FALSE(source.getActive());
    EXPECT_EQ(after.calls, 0);
    if (where == kRender) {
      EXPECT_EQ(target->drops, dropsBefore + 1);
      EXPECT_FALSE(target->Has(CF_TEXT));
    } else {
      EXPECT_EQ(target->drops, dropsBefore);
    }
    EXPECT_TRUE(PumpUntil([&] { return TTextDataObject::LiveCount() == liveBefore; }, 2000));
  }
  // The component is usable afterwards.
  source.setOnRenderCustomFormat(nullptr);
  source.getCustomFormatData()->Clear();
  source.setText(L"after the failures");
  EXPECT_TRUE(Drag(ToTarget()));
  EXPECT_EQ(target->UnicodeText(), L"after the failures");
}

TEST_F(TextDrag, AsynchronousDropEndsAfterExecuteReturned) {
  source.setText(L"later");
  source.setAsynchronous(true);
  target->SetAsync(true);
  int started = 0, ended = 0;
  source.setOnStartAsyncOperation([&](TObject*) { ++started; });
  source.setOnEndAsyncOperation([&](TObject*) { ++ended; });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_TRUE(target->dataAsyncMode);
  EXPECT_TRUE(target->startedAsync);
  EXPECT_TRUE(source.getDropWasAsynchronous());
  EXPECT_EQ(started, 1);
  EXPECT_EQ(ended, 0);
  EXPECT_EQ(after.calls, 1);
  EXPECT_EQ(TTextDataObject::LiveCount(), liveBefore + 1);  // the target still holds it

  target->CompleteAsync();
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(target->UnicodeText(), L"later");
  EXPECT_EQ(TTextDataObject::LiveCount(), liveBefore);
}

TEST_F(TextDrag, SynchronousTargetOfAnAsynchronousSource) {
  source.setText(L"now");
  source.setAsynchronous(true);
  EXPECT_TRUE(Drag(ToTarget()));
  EXPECT_FALSE(source.getDropWasAsynchronous());
  EXPECT_EQ(target->UnicodeText(), L"now");
}

TEST_F(TextDrag, OffersHTMLSetBeforeTheDropAndHearsWhatTheTargetPerformed) {
  const std::wstring text = L"Caf\u00E9 \u2013 \u6771\u4EAC";
  const std::wstring html = L"<b>" + text + L"</b>";
  source.setText(text);
  source.setDropEffects({deCopy, deMove});
  const std::wstring page = L"https://example.test/caf\u00E9/page.html";
  // The page the HTML came from: receivers resolve its relative links against it.
  source.setOnBeforeDrop([&](TObject*, TComponent*, std::wstring&, bool&) { source.setHTML(html, page); });
  target->SetReads({ReadRequest(CF_TEXT), ReadRequest(CF_UNICODETEXT), ReadRequest(L"HTML Format"), ReadRequest(L"text/html")});
  // An optimized move: the target moves the data itself and says so.
  target->SetPerformedEffect(DROPEFFECT_MOVE);

  EXPECT_TRUE(Drag(ToTarget()));

  const std::string utf8 = vcl::Utf8FromUnicode(html);
  const RawRead* block = target->Find(static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"HTML Format")));
  ASSERT_NE(block, nullptr);
  const blocks::THTMLBlock b = blocks::ReadHTMLBlock(block->bytes);
  EXPECT_EQ(blocks::Slice(block->bytes, b.Fragment), utf8);
  EXPECT_EQ(blocks::Slice(block->bytes, b.SourceURL), vcl::Utf8FromUnicode(page));
  EXPECT_EQ(source.getHTMLSourceURL(), page);
  const RawRead* plain = target->Find(static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"text/html")));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->bytes, utf8 + '\0');
  EXPECT_EQ(target->UnicodeText(), text);
  EXPECT_EQ(target->AnsiText(), vcl::AnsiFromUnicode(text));
  EXPECT_EQ(target->performedStored, S_OK);
  EXPECT_EQ(source.getReturnedEffect(), deCopy);
  EXPECT_EQ(source.getPerformedEffect(), deMove);
}

// Drags with the stand-in drag-and-drop helper registered in place of the system's: the source
// hands it an image (the helper stores "DragImageBits" in the data object), and a target sees it.
TEST_F(TextDrag, DragImagesGoThroughTheShellsHelper) {
  const std::wstring log = MakeTempFolder(L"dragimage") + L"helper.log";
  TDragDropHelperRegistration registration(log);
  ASSERT_TRUE(registration.Ok());
  vcl::TUniqueBitmap supplied(CreateBitmap(40, 30, 1, 32, nullptr));
  struct Case {
    const char* what;
    bool show;
    HBITMAP bitmap;
    const char* logged;  // the start of the line the helper logs, or null for none
  } cases[] = {
      {"the text rendered", true, nullptr, "InitializeFromBitmap "},
      {"the application's bitmap", true, supplied.Get(), "InitializeFromBitmap 40x30 offset 20,0 stored"},
      {"turned off", false, nullptr, nullptr},
  };
  const CLIPFORMAT imageBits = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"DragImageBits"));
  for (const Case& c : cases) {
    registration.ClearLog();
    source.setText(L"first line\r\nsecond line");
    source.setShowDragImage(c.show);
    source.setDragImage(c.bitmap);
    EXPECT_TRUE(Drag(ToTarget())) << c.what;
    const std::string lines = registration.LogText();
    bool offered = false;
    for (const FORMATETC& fe : target->enumerated) offered |= fe.cfFormat == imageBits;
    if (c.logged) {
      EXPECT_EQ(lines.rfind(c.logged, 0), 0u) << c.what << ": " << lines;
      EXPECT_NE(lines.find(" stored"), std::string::npos) << c.what;
      EXPECT_TRUE(offered) << c.what;
    } else {
      EXPECT_EQ(lines, "") << c.what;
      EXPECT_FALSE(offered) << c.what;
    }
    EXPECT_EQ(target->UnicodeText(), L"first line\r\nsecond line") << c.what;
  }
  EXPECT_NE(GetObjectType(supplied.Get()), 0u);  // the application's bitmap stays its own
}

// ---- a drop target in another process -------------------------------------------------------------

class PeerDrag : public TextDrag {
 protected:
  void SetUp() override {
    TextDrag::SetUp();
    target->Revoke();  // the peer's window lies where the local target was
  }

  HWND StartPeer(std::vector<std::wstring> args) {
    return peer.StartWindow(L"kx_peer_droptarget.exe", PeerTitle(), kPeerRect, std::move(args));
  }

  PeerProcess peer;
};

TEST_F(PeerDrag, DropsAListBoxSelectionIntoAnotherProcess) {
  HWND peerWnd = StartPeer({L"--effect", std::to_wstring(DROPEFFECT_MOVE)});
  ASSERT_NE(peerWnd, nullptr);
  ListBoxDonor donor;
  donor.list->Items().Add(L"\u00E9t\u00E9");
  donor.list->SetSelected(3, true);
  source.setDonorComponent(donor.list);
  source.setDropEffects({deCopy, deMove});

  EXPECT_TRUE(DragFrom(donor.PressWindow(), donor.PressPoint(), DropOn(peerWnd, {100, 100})));
  source.setDonorComponent(nullptr);
  ASSERT_TRUE(peer.WaitExit());
  EXPECT_EQ(peer.ExitCode(), 0u) << peer.ResultText();

  auto r = peer.Result();
  EXPECT_EQ(r["drops"], "1");
  EXPECT_EQ(r["enumerated"], "1:1,13:1");
  EXPECT_EQ(BytesFromHex(r[ReadKey(CF_UNICODETEXT) + ".bytes"]),
            EncodedAnsiStringFromUnicodeString(L"alpha\r\ngamma\r\n\u00E9t\u00E9") + Bytes("\0\0"));
  EXPECT_EQ(BytesFromHex(r[ReadKey(CF_TEXT) + ".bytes"]), Bytes("alpha\r\ngamma\r\n\xE9t\xE9\0"));
  EXPECT_EQ(after.calls, 1);
  EXPECT_TRUE(after.droppedOK);
  EXPECT_EQ(source.getReturnedEffect(), deMove);
}

TEST_F(PeerDrag, CustomFormatsOnGlobalMemoryAndAStream) {
  vcl::TComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
  ULONG written = 0;
  stream->Write("streamed bytes", 14, &written);
  TCustomFormatDataList& list = *source.getCustomFormatData();
  list.AddFormat(L"HTML Format", std::string());  // filled on demand
  list.AddFormatEx(L"Kestrix Stream Format", EncodePointerToString(stream.Get()), TYMED_ISTREAM, -1);
  int rendered = 0;
  source.setOnRenderCustomFormat([&](TObject*, const std::wstring& name, std::wstring& content) {
    ++rendered;
    EXPECT_EQ(name, L"HTML Format");
    content = L"<b>bold</b>";
  });

  HWND peerWnd = StartPeer({L"--read", L"HTML Format:1", L"--read", L"Kestrix Stream Format:4", L"--read", L"1:1"});
  ASSERT_NE(peerWnd, nullptr);
  EXPECT_TRUE(Drag(DropOn(peerWnd, {100, 100})));
  ASSERT_TRUE(peer.WaitExit());

  auto r = peer.Result();
  const CLIPFORMAT html = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"HTML Format"));
  const CLIPFORMAT streamed = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Kestrix Stream Format"));
  EXPECT_EQ(BytesFromHex(r[ReadKey(html) + ".bytes"]), Bytes("<b>bold</b>\0"));
  EXPECT_EQ(r[ReadKey(streamed, TYMED_ISTREAM) + ".tymed"], "4");
  EXPECT_EQ(BytesFromHex(r[ReadKey(streamed, TYMED_ISTREAM) + ".bytes"]), "streamed bytes");
  EXPECT_EQ(r[ReadKey(CF_TEXT) + ".hr"], "80040064");  // custom formats replace the text
  EXPECT_EQ(rendered, 1);
  EXPECT_EQ(list.Items(0)->getContent(), "<b>bold</b>");
  EXPECT_EQ(after.calls, 1);
}

TEST_F(PeerDrag, AsynchronousDropInAnotherProcess) {
  source.setText(L"finished later");
  source.setAsynchronous(true);
  int ended = 0;
  source.setOnEndAsyncOperation([&](TObject*) { ++ended; });
  HWND peerWnd = StartPeer({L"--async", L"300"});
  ASSERT_NE(peerWnd, nullptr);

  EXPECT_TRUE(Drag(DropOn(peerWnd, {100, 100})));
  EXPECT_TRUE(source.getDropWasAsynchronous());
  EXPECT_EQ(ended, 0);

  EXPECT_TRUE(PumpUntil([&] { return ended == 1; }, 10000));
  ASSERT_TRUE(peer.WaitExit());
  auto r = peer.Result();
  EXPECT_EQ(r["startedasync"], "1");
  EXPECT_EQ(BytesFromHex(r[ReadKey(CF_TEXT) + ".bytes"]), Bytes("finished later\0"));
}
