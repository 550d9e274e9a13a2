// The C++ wrapper (kestrix.hpp) when a handler throws: the exception must never enter the DLL, the
// library must see its callback fail, and the very exception must come out on the caller's side
// exactly once, from the call or message pump the wrapper documents. One real drag per row: a
// virtual file from a kx::FileSource dragged into a kx::FileTarget of this process.
#include <gtest/gtest.h>

#include <kestrix/kestrix.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "support/DragDriver.h"
#include "support/TestSupport.h"

using namespace kxtest;

namespace {

constexpr RECT kSourceRect{40, 40, 240, 240};
constexpr RECT kTargetRect{340, 40, 540, 240};
const std::string kContents = "contents of the virtual file";

// What the handlers throw: no kx::Error, so that it cannot be mistaken for a failure's status.
struct Thrown {
  std::string where;
};

enum class Thrower { AfterDrop, TargetDrop, Contents, Writer, Progress };

struct Row {
  const char* name;
  Thrower thrower;
  // Where the exception must come out: the drag (execute), a message loop after it (the test's
  // own, then the wrapper's), the target's read that ran the handler, or the end of the drop. A drop is taken inside OLE's drag loop, or
  // for an asynchronous one later, from the message loop, and then tells the source it is done
  // when it is ended; both are documented, and a row allows both where the handler runs then.
  std::vector<std::string> caughtIn;
};

std::string ToString(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class WrapperThrow : public testing::TestWithParam<Row> {};

TEST_P(WrapperThrow, ComesOutOnTheCallersSideOnce) {
  const Row& row = GetParam();
  kx::Library library;
  TestWindow sourceWnd(L"kx wrapper source", kSourceRect);
  TestWindow targetWnd(L"kx wrapper target", kTargetRect, false);

  kx::FileSource source;
  source.addVirtualFile(L"virtual.txt", kContents.size());
  bool contentsThrows = row.thrower == Thrower::Contents;
  source.onContents([&](std::size_t, kx::ContentsStream& out) {
    if (contentsThrows) throw Thrown{"contents"};
    out.write(kContents);
  });
  int afterDrops = 0;
  source.onAfterDrop([&](bool) {
    ++afterDrops;
    if (row.thrower == Thrower::AfterDrop) throw Thrown{"after drop"};
  });

  kx::FileTarget target;
  int drops = 0;
  target.onDrop([&](const kx::FileDrop&) {
    ++drops;
    if (row.thrower == Thrower::TargetDrop) throw Thrown{"target drop"};
  });
  bool progressThrows = row.thrower == Thrower::Progress;
  target.onProgress([&](std::size_t, std::uint64_t, std::uint64_t, bool&) {
    if (progressThrows) throw Thrown{"progress"};
  });
  target.bind(targetWnd.Handle());
  PumpMessages(200);

  std::vector<std::string> caught;
  DragDriver driver;
  ASSERT_TRUE(driver.Press(sourceWnd.Handle(), sourceWnd.Centre()));
  driver.Run(DropOn(targetWnd.Handle(), targetWnd.Centre()));
  kx_effect effect = KX_EFFECT_NONE;
  try {
    effect = source.execute();
  } catch (const Thrown&) {
    caught.push_back("execute");
  }
  EXPECT_TRUE(driver.Wait());  // pumps messages: an application's own loop, for the wrapper
  try {
    kx::RethrowPending();
  } catch (const Thrown&) {
    caught.push_back("own loop");
  }
  for (int i = 0; i < 50; ++i) {
    try {
      kx::PumpMessages();
    } catch (const Thrown&) {
      caught.push_back("pump");
    }
    Sleep(10);
  }
  EXPECT_EQ(drops, 1);

  switch (row.thrower) {
    case Thrower::AfterDrop:  // a drop finished asynchronously tells the source when it is ended
      EXPECT_EQ(ToString(target.readItem(0)), kContents);
      try {
        target.endDrop(true);
      } catch (const Thrown&) {
        caught.push_back("end");
      }
      break;
    case Thrower::Contents:
    case Thrower::Progress:
      try {
        (void)target.readItem(0);
      } catch (const Thrown&) {
        caught.push_back("read");
      }
      break;
    case Thrower::Writer:
      try {
        target.saveItem(0, [](const void*, std::size_t) { throw Thrown{"writer"}; });
      } catch (const Thrown&) {
        caught.push_back("read");
      }
      break;
    case Thrower::TargetDrop:
      break;
  }
  ASSERT_EQ(caught.size(), 1u) << "caught " << caught.size() << " times";
  EXPECT_NE(std::find(row.caughtIn.begin(), row.caughtIn.end(), caught[0]), row.caughtIn.end()) << caught[0];
  EXPECT_NO_THROW(kx::RethrowPending());  // nothing left over for a later call

  // What the library made of the failed callback, and that it goes on working.
  bool open = false;
  (void)target.lastDrop(&open);
  switch (row.thrower) {
    case Thrower::AfterDrop:  // the drop itself went through
      EXPECT_EQ(effect, KX_EFFECT_COPY);
      EXPECT_EQ(afterDrops, 1);
      EXPECT_FALSE(open);
      break;
    case Thrower::TargetDrop:  // the drop ended as failed: nothing left to read
      EXPECT_FALSE(open);
      break;
    case Thrower::Contents:
    case Thrower::Writer:
    case Thrower::Progress:  // the read stopped; the drop is still open and reads whole now
      contentsThrows = progressThrows = false;
      EXPECT_TRUE(open);
      EXPECT_EQ(ToString(target.readItem(0)), kContents);
      target.endDrop(true);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, WrapperThrow,
    testing::Values(Row{"AfterDrop", Thrower::AfterDrop, {"execute", "end"}},
                    Row{"TargetDrop", Thrower::TargetDrop, {"execute", "own loop", "pump"}},
                    Row{"Contents", Thrower::Contents, {"read"}},
                    Row{"Writer", Thrower::Writer, {"read"}},
                    Row{"Progress", Thrower::Progress, {"read"}}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// A paste runs the text target's drop handler inside paste(): what it throws comes out of paste()
// and is not taken for "nothing to paste" (false), which a clipboard without text gives.
TEST(WrapperPaste, RethrowsTheDropHandlersExceptionAndReportsNothingToPaste) {
  kx::Library library;
  kx::TextSource source;
  source.setText(L"pasted text");
  kx::TextTarget target;
  bool throws = true;
  std::wstring text;
  target.onDrop([&](const kx::TextDrop& drop) {
    if (throws) throw Thrown{"paste"};
    text = drop.text;
  });
  ASSERT_TRUE(source.copyToClipboard());
  EXPECT_TRUE(source.onClipboard());
  EXPECT_TRUE(target.canPaste());
  EXPECT_THROW(target.paste(), Thrown);
  EXPECT_NO_THROW(kx::RethrowPending());
  throws = false;
  EXPECT_TRUE(target.paste());
  EXPECT_EQ(text, L"pasted text");
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_FALSE(target.canPaste());
  EXPECT_FALSE(target.paste());
  EXPECT_FALSE(source.onClipboard());
}

}  // namespace
