// Real drags of files between processes, driven by synthesized mouse input: a Kestrix file source
// in this process (virtual files made on demand, one of them 64 MiB, and a real file) into a
// Kestrix file target in another process that saves them to a folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "framework/Streams.h"
#include "sources/KXFileSource.h"
#include "support/DragDriver.h"
#include "support/PeerProcess.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"

using namespace kestrix;

namespace {

constexpr std::uint64_t kBigSize = std::uint64_t{64} << 20;

// Bytes that differ from item to item and from offset to offset, made a block at a time.
void Generate(int item, std::uint64_t offset, char* out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t x = (offset + i) * 2654435761u + static_cast<std::uint64_t>(item) * 40503u;
    out[i] = static_cast<char>(x >> 13);
  }
}

void WriteGenerated(int item, std::uint64_t size, vcl::TStream& out) {
  std::vector<char> block(1 << 20);
  for (std::uint64_t done = 0; done < size;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
    Generate(item, done, block.data(), n);
    out.WriteBuffer(block.data(), static_cast<std::int64_t>(n));
    done += n;
  }
}

// Whether the file holds exactly what WriteGenerated(item, size) writes.
bool FileHoldsGenerated(const std::wstring& path, int item, std::uint64_t size) {
  vcl::TFileStream file(path, vcl::fmOpenRead | vcl::fmShareDenyNone);
  if (static_cast<std::uint64_t>(file.Size()) != size) return false;
  std::vector<char> expected(1 << 20), actual(1 << 20);
  for (std::uint64_t done = 0; done < size;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(expected.size(), size - done));
    Generate(item, done, expected.data(), n);
    file.ReadBuffer(actual.data(), static_cast<std::int64_t>(n));
    if (std::memcmp(expected.data(), actual.data(), n) != 0) return false;
    done += n;
  }
  return true;
}

std::wstring Wide(const std::string& hexUtf8) { return vcl::UnicodeFromUtf8(kxtest::BytesFromHex(hexUtf8)); }

// A form whose list box starts the file source's drag.
struct SourceForm {
  vcl::TForm form{nullptr};
  vcl::TListBox* donor;
  TKXFileSource* source;

  SourceForm() {
    form.SetBounds(60, 140, 300, 220);
    donor = new vcl::TListBox(&form);
    donor->SetParent(&form);
    donor->SetBounds(10, 10, 260, 150);
    source = new TKXFileSource(&form);
    form.Show();
    kxtest::PumpMessages(200);
  }
  // Drags the source's files onto the peer's window; Execute's result.
  bool DragOnto(HWND peerWindow) {
    return kxtest::DragWith(donor->Handle(), {40, 25}, kxtest::DropOn(peerWindow, {100, 60}),
                            [&] { return source->Execute(); });
  }
};

HWND StartFileTargetPeer(kxtest::PeerProcess& peer, std::wstring folder) {
  const std::wstring title = L"kx file target peer";
  // A trailing backslash would escape the quote around the argument.
  folder.pop_back();
  return peer.StartWindow(L"kx_peer_filetarget.exe", title, L"620,140,320,220",
                          {L"--folder", folder, L"--timeout", L"60000"});
}

}  // namespace

TEST(FileDrag, VirtualAndRealFilesIntoAKestrixTargetInAnotherProcess) {
  const std::wstring folder = kxtest::MakeTempFolder(L"filedrop");
  const std::wstring realFolder = kxtest::MakeTempFolder(L"filedrop-real");
  {
    vcl::TFileStream real(realFolder + L"real.bin", vcl::fmCreate);
    WriteGenerated(3, 5000, real);
  }
  kxtest::PeerProcess peer;
  HWND peerWindow = StartFileTargetPeer(peer, folder);
  ASSERT_NE(peerWindow, nullptr);

  SourceForm s;
  const std::vector<std::uint64_t> sizes{1000, kBigSize, 70000};
  s.source->AddVirtualFile(L"small \u00E9t\u00E9.txt", sizes[0]);
  s.source->AddVirtualFile(L"Reports\\big.bin", sizes[1]);
  s.source->AddVirtualFile(L"unsized.dat");  // its size is not stated
  s.source->AddFile(realFolder + L"real.bin");
  std::vector<int> asked;
  s.source->setOnGetContents([&](TObject*, int index, vcl::TStream& out) {
    asked.push_back(index);
    WriteGenerated(index, sizes[index], out);
  });
  int ended = 0;
  s.source->setOnEndAsyncOperation([&](TObject*) { ++ended; });

  EXPECT_TRUE(s.DragOnto(peerWindow));
  // The peer reads the contents after the drag loop has ended, while this thread serves them.
  ASSERT_TRUE(peer.WaitExit(120000));
  auto result = peer.Result();
  EXPECT_EQ(result["async"], "1");
  EXPECT_TRUE(kxtest::PumpUntil([&] { return ended == 1; }, 5000));
  EXPECT_TRUE(s.source->getDropWasAsynchronous());
  EXPECT_EQ(s.source->getPerformedEffect(), deCopy);

  // The real file first, then the virtual ones in order; the folder of "Reports\\big.bin" is
  // implied by its file and is no item of its own.
  ASSERT_EQ(result["count"], "4") << peer.ResultText();
  EXPECT_EQ(result["saved"], "4") << peer.ResultText();
  EXPECT_EQ(result["virtual0"], "0");
  EXPECT_TRUE(FileHoldsGenerated(folder + L"real.bin", 3, 5000));
  const std::vector<std::wstring> names{L"small \u00E9t\u00E9.txt", L"Reports\\big.bin", L"unsized.dat"};
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i + 1);
    EXPECT_EQ(Wide(result["name" + n]), names[i]);
    EXPECT_EQ(result["virtual" + n], "1");
    EXPECT_EQ(result["folder" + n], "0");
    EXPECT_EQ(Wide(result["path" + n]), folder + names[i]);
    EXPECT_TRUE(FileHoldsGenerated(folder + names[i], i, sizes[i])) << i;
  }
  EXPECT_EQ(result["size1"], "1000");
  EXPECT_EQ(result["size2"], std::to_string(kBigSize));
  EXPECT_EQ(result["size3"], "-1");
  // Each item was made once, when the target asked for it.
  EXPECT_EQ(asked, (std::vector<int>{0, 1, 2}));
  // The 64 MiB item went to its file in pieces: the target never held it whole.
  EXPECT_LT(std::stoull(result["grown"]), kBigSize / 2) << peer.ResultText();
}

TEST(FileDrag, AProducerThatFailsCostsOnlyItsOwnItem) {
  const std::wstring folder = kxtest::MakeTempFolder(L"filedrop-fail");
  kxtest::PeerProcess peer;
  HWND peerWindow = StartFileTargetPeer(peer, folder);
  ASSERT_NE(peerWindow, nullptr);

  SourceForm s;
  s.source->AddVirtualFile(L"good.txt");
  s.source->AddVirtualFile(L"bad.txt");
  s.source->setOnGetContents([&](TObject*, int index, vcl::TStream& out) {
    out.WriteBuffer("partial", 7);
    if (index == 1) throw std::runtime_error("the report could not be made");
  });
  // The failure reaches the application's handler: the drop has ended by then.
  int handled = 0;
  vcl::Application->SetOnException([&](TObject*, std::exception_ptr) { ++handled; });

  EXPECT_TRUE(s.DragOnto(peerWindow));
  ASSERT_TRUE(peer.WaitExit(60000));
  auto result = peer.Result();
  EXPECT_EQ(result["count"], "2") << peer.ResultText();
  EXPECT_EQ(result["saved"], "1");
  EXPECT_TRUE(Wide(result["path1"]).empty());
  EXPECT_EQ(GetFileAttributesW((folder + L"bad.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(kxtest::PumpUntil([&] { return !s.source->getInAsyncOperation(); }, 5000));
  // The target ended the drop as failed.
  EXPECT_EQ(s.source->getPerformedEffect(), deNone);
  EXPECT_EQ(handled, 1);
  vcl::Application->SetOnException(nullptr);
}

namespace {

HWND StartRawPeer(kxtest::PeerProcess& peer, const std::wstring& title, std::vector<std::wstring> args) {
  for (const wchar_t* a : {L"--title", title.c_str(), L"--rect", L"620,140,320,220"}) args.push_back(a);
  if (!peer.Start(L"kx_peer_droptarget.exe", args) || !peer.WaitReady()) return nullptr;
  return kxtest::FindPeerWindow(title);
}

}  // namespace

// Files inside folders, read in another process by a reader that asks FileContents by record (the
// shell) and by one that asks by position among the file records (Chromium, as web mail's
// attachment area reads them): each file arrives with its own contents either way. And a target
// that moved the data itself, answering none and saying so through "Performed DropEffect" (in this
// process: Wine's proxy of a data object has no SetData).
TEST(FileDrag, EveryReaderIndexesTheRecordsTheSameWay) {
  // As given to AddVirtualFile, and as the descriptor lists them: made safe as a target would.
  const std::vector<std::wstring> given{L"report\\a.txt", L"top.txt", L"report\\b.txt", L"C:\\deep\\er\\c<1>.txt", L"report\\sub\\d.txt"};
  const std::vector<std::wstring> names{L"report\\a.txt", L"top.txt", L"report\\b.txt", L"deep\\er\\c_1_.txt", L"report\\sub\\d.txt"};
  auto contentsOf = [](int index) { return "contents of item " + std::to_string(index) + std::string(index * 7, '.'); };
  struct Case {
    const char* what;
    std::vector<std::wstring> args;  // the peer's; none: a target in this process
    TDropEffect performed, returned;
  } cases[] = {
      {"by record, as the shell", {L"--contents", L"shell"}, deCopy, deCopy},
      {"among the file records, as Chromium", {L"--contents", L"chromium"}, deCopy, deCopy},
      {"an optimized move", {}, deMove, deNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kxtest::PeerProcess peer;
    std::optional<kxtest::TestWindow> local;
    auto* target = new kxtest::RawDropTarget(DROPEFFECT_MOVE);
    HWND targetWindow = nullptr;
    if (c.args.empty()) {
      targetWindow = local.emplace(L"kx shell-like target", RECT{620, 140, 940, 360}, false).Handle();
      target->SetDropAnswer(DROPEFFECT_NONE);
      target->SetPerformedEffect(DROPEFFECT_MOVE);
      ASSERT_EQ(target->Register(targetWindow), S_OK);
    } else {
      targetWindow = StartRawPeer(peer, L"kx raw file reader", c.args);
      ASSERT_NE(targetWindow, nullptr);
    }
    SourceForm s;
    s.source->setDropEffects({deCopy, deMove});
    for (const std::wstring& name : given) s.source->AddVirtualFile(name);
    s.source->setOnGetContents([&](TObject*, int index, vcl::TStream& out) {
      const std::string bytes = contentsOf(index);
      out.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    });
    std::vector<bool> afterDrops;
    s.source->setOnAfterDrop([&](TObject*, bool ok) { afterDrops.push_back(ok); });
    EXPECT_TRUE(s.DragOnto(targetWindow));
    target->Revoke();
    EXPECT_EQ(afterDrops, std::vector<bool>{true});
    EXPECT_EQ(s.source->getPerformedEffect(), c.performed);
    EXPECT_EQ(s.source->getReturnedEffect(), c.returned);
    if (c.args.empty()) {
      EXPECT_EQ(target->performedStored, S_OK);
      target->Release();
      continue;
    }
    target->Release();
    ASSERT_TRUE(peer.WaitExit());
    auto result = peer.Result();
    std::vector<std::wstring> read;
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string key = "file." + std::to_string(i);
      const std::string name = kxtest::BytesFromHex(result[key + ".name"]);
      read.emplace_back(reinterpret_cast<const wchar_t*>(name.data()), name.size() / 2);
      const auto at = std::find(names.begin(), names.end(), read.back());
      ASSERT_NE(at, names.end()) << peer.ResultText();
      EXPECT_EQ(kxtest::BytesFromHex(result[key + ".bytes"]), contentsOf(static_cast<int>(at - names.begin())))
          << vcl::Utf8FromUnicode(read.back());
    }
    EXPECT_EQ(result.count("file." + std::to_string(names.size()) + ".name"), 0u);  // no more files
    std::sort(read.begin(), read.end());
    std::vector<std::wstring> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(read, sorted);
  }
}
