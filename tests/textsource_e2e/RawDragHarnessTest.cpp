// The drag harness itself, with nothing of the library in the drag: a raw data object and drop
// source, a real DoDragDrop driven by synthesized input, into a raw target in this process and in
// a peer process.
#include <gtest/gtest.h>

#include "support/DragDriver.h"
#include "support/PeerProcess.h"
#include "support/RawDragSource.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"

using namespace kxtest;

namespace {

constexpr RECT kSourceRect{40, 40, 240, 240};
constexpr RECT kTargetRect{340, 40, 540, 240};

// Owns one creator reference of a raw COM object.
template <class T>
struct Ref {
  T* p;
  explicit Ref(T* q) : p(q) {}
  ~Ref() { if (p) p->Release(); }
  T* operator->() const { return p; }
};

// A raw target in a window of this process.
struct LocalTarget {
  LocalTarget() {
    EXPECT_EQ(target->Register(wnd.Handle()), S_OK);
    PumpMessages(200);
  }
  ~LocalTarget() { target->Revoke(); }
  TestWindow wnd{L"kx raw target", kTargetRect, false};
  Ref<RawDropTarget> target{new RawDropTarget(DROPEFFECT_COPY)};
};

// Drags data with dropSource from the middle of the source window along script; DoDragDrop's result.
HRESULT RawDrag(const TestWindow& source, RawDataObject* data, RawDropSource* dropSource, DragScript script,
                DWORD allowed, DWORD& effect) {
  HRESULT hr = E_FAIL;
  DragWith(source.Handle(), source.Centre(), std::move(script), [&] {
    hr = DoDragDrop(data, dropSource, allowed, &effect);
    return true;
  });
  return hr;
}

// A drag of Unicode text with a raw data object and drop source, from a window of this process
// into a raw target in another window of it.
struct LocalDrag {
  explicit LocalDrag(const wchar_t* text) { data->AddUnicodeText(text); }
  // Drags along the script Make writes for the target window's centre; DoDragDrop's result. The
  // target is revoked before it returns.
  HRESULT Run(DragScript (*Make)(HWND, POINT, MouseButton), DWORD allowed) {
    const HRESULT hr = RawDrag(source, data.p, dropSource.p, Make(local.wnd.Handle(), local.wnd.Centre(), MouseButton::Left),
                               allowed, effect);
    local.target->Revoke();
    return hr;
  }

  TestWindow source{L"kx raw source", kSourceRect};
  LocalTarget local;
  RawDropTarget* target = local.target.p;
  Ref<RawDataObject> data{new RawDataObject};
  Ref<RawDropSource> dropSource{new RawDropSource};
  DWORD effect = 0xFFFF;
};

}  // namespace

TEST(RawDragHarness, DragsIntoAWindowOfThisProcess) {
  LocalDrag drag(L"harness \u00e9t\u00e9");
  auto* target = drag.target;
  auto& dropSource = drag.dropSource;
  const HRESULT hr = drag.Run(DropOn, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  const DWORD effect = drag.effect;

  EXPECT_EQ(hr, DRAGDROP_S_DROP);
  EXPECT_EQ(effect, DWORD{DROPEFFECT_COPY});
  EXPECT_EQ(target->enters, 1);
  EXPECT_GE(target->overs, 1);
  EXPECT_EQ(target->drops, 1);
  EXPECT_EQ(target->allowedAtEnter, DWORD{DROPEFFECT_COPY | DROPEFFECT_MOVE});
  EXPECT_EQ(target->UnicodeText(), L"harness \u00e9t\u00e9");
  EXPECT_FALSE(target->Has(CF_TEXT));  // not offered, and OLE does not synthesize it for a drag
  EXPECT_GE(dropSource->feedbacks, 1);
  EXPECT_EQ(dropSource->lastFeedback, DWORD{DROPEFFECT_COPY});
}

TEST(RawDragHarness, EscapeCancels) {
  LocalDrag drag(L"x");
  auto* target = drag.target;
  const HRESULT hr = drag.Run(EscapeOver, DROPEFFECT_COPY);
  const DWORD effect = drag.effect;

  EXPECT_EQ(hr, DRAGDROP_S_CANCEL);
  EXPECT_EQ(effect, DWORD{DROPEFFECT_NONE});
  EXPECT_EQ(target->drops, 0);
  EXPECT_EQ(target->enters, target->leaves);
}

TEST(RawDragHarness, DragsIntoAPeerProcess) {
  TestWindow source(L"kx raw source", kSourceRect);
  PeerProcess peer;
  const std::wstring title = L"kx peer target " + std::to_wstring(GetCurrentProcessId());
  HWND peerWnd = peer.StartWindow(L"kx_peer_droptarget.exe", title, L"340,40,200,200",
                                  {L"--effect", std::to_wstring(DROPEFFECT_COPY | DROPEFFECT_LINK)});
  ASSERT_NE(peerWnd, nullptr);

  Ref<RawDataObject> data(new RawDataObject);
  data->AddUnicodeText(L"across processes");
  data->Add(CF_TEXT, Bytes("across processes\0"));
  Ref<RawDropSource> dropSource(new RawDropSource);

  DWORD effect = 0;
  const HRESULT hr = RawDrag(source, data.p, dropSource.p, DropOn(peerWnd, {100, 100}), DROPEFFECT_COPY | DROPEFFECT_LINK, effect);
  ASSERT_TRUE(peer.WaitExit());
  EXPECT_EQ(peer.ExitCode(), 0u) << peer.ResultText();

  EXPECT_EQ(hr, DRAGDROP_S_DROP);
  EXPECT_EQ(effect, DWORD{DROPEFFECT_COPY | DROPEFFECT_LINK});
  auto result = peer.Result();
  EXPECT_EQ(result["drops"], "1");
  const std::string unicodeKey = "read." + std::to_string(CF_UNICODETEXT) + ".1";
  EXPECT_EQ(result[unicodeKey + ".hr"], "00000000");
  std::string expected(reinterpret_cast<const char*>(L"across processes"), 17 * sizeof(wchar_t));
  EXPECT_EQ(BytesFromHex(result[unicodeKey + ".bytes"]), expected);
  EXPECT_EQ(BytesFromHex(result["read.1.1.bytes"]), Bytes("across processes\0"));
}
