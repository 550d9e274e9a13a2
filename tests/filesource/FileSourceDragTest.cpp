// TKXFileSource::Execute on the real DoDragDrop, driven by synthesized input, into raw OLE drop
// targets that read descriptors, CF_HDROP and contents as the shell does: another window of this
// process and a peer process.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "filesource/FileSourceTestSupport.h"
#include "formats/KXFileGroupBlock.h"
#include "formats/KXUtilBlocks.h"
#include "sources/KXFileDataObject.h"
#include "sources/KXFileSource.h"
#include "support/DragDriver.h"
#include "support/PeerProcess.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"

using namespace kestrix;
using namespace kxtest;
using namespace filetest;

namespace {

constexpr RECT kSourceRect{40, 40, 240, 240};
constexpr RECT kTargetRect{340, 40, 540, 240};
const wchar_t kPeerRect[] = L"340,40,200,200";

struct HandlerError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class FileDrag : public testing::Test {
 protected:
  void SetUp() override {
    liveBefore = TFileDataObject::LiveCount();
    target = new RawDropTarget(DROPEFFECT_COPY);
    ASSERT_EQ(target->Register(targetWnd.Handle()), S_OK);
    producer.Attach(source);
    source.setOnAfterDrop([this](TObject* sender, bool ok) {
      EXPECT_EQ(sender, &source);
      afterDrops.push_back(ok);
    });
    source.setOnStartAsyncOperation([this](TObject*) { ++starts; });
    source.setOnEndAsyncOperation([this](TObject*) { ++ends; });
    PumpMessages(100);
  }

  void TearDown() override {
    target->Revoke();
    target->Release();
    EXPECT_TRUE(PumpUntil([&] { return TFileDataObject::LiveCount() == liveBefore; }, 3000))
        << "data objects alive: " << TFileDataObject::LiveCount() - liveBefore;
  }

  bool Drag(DragScript script) {
    return DragWith(sourceWnd.Handle(), sourceWnd.Centre(), std::move(script), [&] { return source.Execute(); });
  }

  DragScript ToTarget() { return DropOn(targetWnd.Handle(), targetWnd.Centre()); }

  TestWindow sourceWnd{L"kx file source", kSourceRect};
  TestWindow targetWnd{L"kx file target", kTargetRect, false};
  RawDropTarget* target = nullptr;
  TKXFileSource source{nullptr};
  Producer producer;
  std::vector<bool> afterDrops;
  int starts = 0, ends = 0;
  LONG liveBefore = 0;
};

}  // namespace

TEST_F(FileDrag, VirtualAndRealFilesIntoAWindow) {
  const std::wstring folder = MakeTempFolder(L"filesource");
  const std::wstring real = folder + L"real.txt";
  {
    vcl::TFileStream f(real, vcl::fmCreate);
    f.WriteBuffer("on disk", 7);
  }
  producer.Sizes = {300000, 4000};
  source.AddVirtualFile(L"Reports\\May.csv", 300000);  // record 0 (its folder has none)
  source.AddVirtualFile(L"notes.txt");                 // record 1, size unknown
  source.AddFile(real);
  const CLIPFORMAT contents = static_cast<CLIPFORMAT>(CF_FILECONTENTS);
  struct Expect {
    RawRead read;
    HRESULT hr;
    DWORD tymed;
    int item;  // whose contents, -1: none
  } reads[] = {
      {ReadRequest(L"FileGroupDescriptorW"), S_OK, TYMED_HGLOBAL, -1},
      {ReadRequest(L"FileGroupDescriptor"), S_OK, TYMED_HGLOBAL, -1},
      {ReadRequest(CF_HDROP), S_OK, TYMED_HGLOBAL, -1},
      {ReadRequest(L"Preferred DropEffect"), S_OK, TYMED_HGLOBAL, -1},
      {ReadRequest(contents, TYMED_ISTREAM | TYMED_HGLOBAL, 1), S_OK, TYMED_ISTREAM, 1},
      {ReadRequest(contents, TYMED_HGLOBAL, 0), S_OK, TYMED_HGLOBAL, 0},
      {ReadRequest(contents, TYMED_ISTREAM, 0), S_OK, TYMED_ISTREAM, 0},
      {ReadRequest(contents, TYMED_ISTREAM, 2), DV_E_LINDEX, 0, -1},  // past the records
  };
  std::vector<RawRead> requests;
  for (const Expect& e : reads) requests.push_back(e.read);
  target->SetReads(requests);

  EXPECT_TRUE(Drag(ToTarget()));
  ASSERT_EQ(target->drops, 1);
  ASSERT_EQ(target->reads.size(), std::size(reads));
  for (size_t i = 0; i < std::size(reads); ++i) {
    SCOPED_TRACE(i);
    const RawRead& got = target->reads[i];
    EXPECT_EQ(got.hr, reads[i].hr);
    if (reads[i].hr != S_OK) continue;
    EXPECT_EQ(got.gotTymed, reads[i].tymed);
    if (reads[i].item >= 0) {
      EXPECT_EQ(got.bytes, Contents(reads[i].item, producer.Sizes[reads[i].item]));
    }
  }
  EXPECT_EQ(producer.Calls, (std::vector<int>{1, 0, 0})) << "once per request, only items asked";

  const std::string& wide = target->reads[0].bytes;
  const auto records = blocks::ReadFileGroup(wide, true);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_FALSE(records[0].IsFolder());
  EXPECT_EQ(WideName(wide, records[0]), L"Reports\\May.csv");
  EXPECT_EQ(WideName(wide, records[1]), L"notes.txt");
  EXPECT_EQ(blocks::ReadFileGroup(target->reads[1].bytes, false).size(), 2u);
  const std::string& hdrop = target->reads[2].bytes;
  const blocks::THDROPList names = blocks::ReadHDROPList(hdrop);
  ASSERT_EQ(names.Names.size(), 1u);
  EXPECT_EQ(hdrop.substr(names.Names[0].Offset, names.Names[0].Length),
            std::string(reinterpret_cast<const char*>(real.data()), real.size() * 2));
  EXPECT_EQ(target->reads[3].bytes, Bytes("\x01\0\0\0"));

  EXPECT_EQ(afterDrops, std::vector<bool>{true});
  EXPECT_EQ(source.getReturnedEffect(), deCopy);
  EXPECT_EQ(source.getPerformedEffect(), deCopy);
  EXPECT_FALSE(source.getDropWasAsynchronous());
  EXPECT_EQ(starts + ends, 0);
  DeleteFileW(real.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_F(FileDrag, AsynchronousDropIsReadAfterExecute) {
  producer.Sizes = {20000};
  producer.SleepMs = 300;  // a slow producer: Drop must not wait for it
  source.AddVirtualFile(L"slow.bin", 20000);
  target->SetAsync(true);
  target->SetReads({ReadRequest(static_cast<CLIPFORMAT>(CF_FILECONTENTS), TYMED_ISTREAM, 0)});

  EXPECT_TRUE(Drag(ToTarget()));
  EXPECT_TRUE(target->dataAsyncMode);
  ASSERT_TRUE(target->AsyncPending());
  EXPECT_TRUE(producer.Calls.empty());
  EXPECT_TRUE(source.getDropWasAsynchronous());
  EXPECT_TRUE(source.getInAsyncOperation());
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(afterDrops.empty()) << "the drop has not ended yet";

  target->CompleteAsync();  // reads, then EndOperation(S_OK, nullptr, DROPEFFECT_COPY)
  ASSERT_EQ(target->reads.size(), 1u);
  EXPECT_EQ(target->reads[0].hr, S_OK);
  EXPECT_EQ(target->reads[0].bytes, Contents(0, 20000));
  EXPECT_EQ(producer.Calls, std::vector<int>{0});
  EXPECT_FALSE(source.getInAsyncOperation());
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(source.getPerformedEffect(), deCopy);
  EXPECT_EQ(afterDrops, std::vector<bool>{true});
}

TEST_F(FileDrag, ProducerFailingInsideTheDragReachesExecute) {
  source.setAsynchronous(false);
  source.AddVirtualFile(L"broken.txt", 10);
  source.setOnGetContents([](TObject*, int, vcl::TStream& out) {
    out.WriteBuffer("half", 4);
    throw HandlerError("no contents");
  });
  target->SetReads({ReadRequest(static_cast<CLIPFORMAT>(CF_FILECONTENTS), TYMED_HGLOBAL, 0)});
  EXPECT_THROW(Drag(ToTarget()), HandlerError);
  ASSERT_EQ(target->reads.size(), 1u);
  EXPECT_TRUE(FAILED(target->reads[0].hr));
  EXPECT_TRUE(target->reads[0].bytes.empty());
  EXPECT_TRUE(afterDrops.empty());
}

TEST_F(FileDrag, IntoAnotherProcess) {
  target->Revoke();  // the peer's window lies where the local target was
  producer.Sizes = {5000};
  source.AddVirtualFile(L"peer.bin", 5000);
  const std::wstring title = L"kx file peer " + std::to_wstring(GetCurrentProcessId());
  const std::wstring contents = std::to_wstring(CF_FILECONTENTS);
  PeerProcess peer;
  HWND peerWnd = peer.StartWindow(L"kx_peer_droptarget.exe", title, kPeerRect,
                                  {L"--read", L"FileGroupDescriptorW:1", L"--read", contents + L":4:0"});
  ASSERT_NE(peerWnd, nullptr);

  EXPECT_TRUE(Drag(DropOn(peerWnd, {100, 100})));
  ASSERT_TRUE(peer.WaitExit());
  auto r = peer.Result();
  const std::string descriptorKey = "read." + std::to_string(CF_FILEGROUPDESCRIPTORW) + ".1";
  const std::string contentsKey = "read." + std::to_string(CF_FILECONTENTS) + ".4.0";
  const std::string descriptor = BytesFromHex(r[descriptorKey + ".bytes"]);
  const auto records = blocks::ReadFileGroup(descriptor, true);
  ASSERT_EQ(records.size(), 1u) << peer.ResultText();
  EXPECT_EQ(WideName(descriptor, records[0]), L"peer.bin");
  EXPECT_EQ(r[contentsKey + ".tymed"], "4");
  EXPECT_EQ(BytesFromHex(r[contentsKey + ".bytes"]), Contents(0, 5000));
  EXPECT_EQ(producer.Calls, std::vector<int>{0});
  EXPECT_EQ(afterDrops, std::vector<bool>{true});
}
