// Real drags of files between processes, driven by synthesized mouse input: a Kestrix file source
// in this process (virtual files made on demand, one of them 64 MiB, and a real file) into a
// Kestrix file target in another process that saves them to a folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

  // The real file first, then the virtual ones in order, with the folder of "Reports\\big.bin"
  // as an item of its own before it.
  ASSERT_EQ(result["count"], "5") << peer.ResultText();
  EXPECT_EQ(result["saved"], "4") << peer.ResultText();
  EXPECT_EQ(result["virtual0"], "0");
  EXPECT_TRUE(FileHoldsGenerated(folder + L"real.bin", 3, 5000));
  EXPECT_EQ(Wide(result["name2"]), L"Reports");
  EXPECT_EQ(result["folder2"], "1");
  const std::vector<std::wstring> names{L"small \u00E9t\u00E9.txt", L"Reports\\big.bin", L"unsized.dat"};
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i == 0 ? 1 : i + 2);
    EXPECT_EQ(Wide(result["name" + n]), names[i]);
    EXPECT_EQ(result["virtual" + n], "1");
    EXPECT_EQ(Wide(result["path" + n]), folder + names[i]);
    EXPECT_TRUE(FileHoldsGenerated(folder + names[i], i, sizes[i])) << i;
  }
  EXPECT_EQ(result["size1"], "1000");
  EXPECT_EQ(result["size3"], std::to_string(kBigSize));
  EXPECT_EQ(result["size4"], "-1");
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
