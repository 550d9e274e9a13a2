// TFileDataObject through its interfaces, as a foreign drop target reads it, without a drag.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "filesource/FileSourceTestSupport.h"
#include "formats/KXFileGroupBlock.h"
#include "framework/ComObj.h"
#include "framework/Handles.h"
#include "sources/KXFileDataObject.h"
#include "sources/KXFileSource.h"
#include "support/SetDataChecks.h"
#include "textsource/ApplicationExceptions.h"

using namespace kestrix;
using namespace filetest;
using vcl::TComPtr;

namespace {

FORMATETC Fe(UINT cf, DWORD tymed, LONG lindex = -1) {
  return {static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, lindex, tymed};
}

// What one GetData gave: its result, the medium's kind and bytes (a stream read from where it
// was handed out), the medium released.
struct Got {
  HRESULT hr = E_FAIL;
  DWORD tymed = 0xFFFF;
  bool emptyMedium = false;  // nothing handed out
  std::string bytes;
};

Got Get(IDataObject* d, FORMATETC fe) {
  STGMEDIUM m;
  std::memset(&m, 0xCC, sizeof m);
  Got g;
  g.hr = d->GetData(&fe, &m);
  g.tymed = m.tymed;
  g.emptyMedium = m.tymed == TYMED_NULL && m.hGlobal == nullptr && m.pUnkForRelease == nullptr;
  if (FAILED(g.hr)) return g;
  if (m.tymed == TYMED_HGLOBAL) {
    vcl::TGlobalLock lock(m.hGlobal);
    g.bytes.assign(static_cast<const char*>(lock.Ptr()), lock.Size());
  } else if (m.tymed == TYMED_ISTREAM) {
    char buf[4096];
    for (ULONG got = 0; SUCCEEDED(m.pstm->Read(buf, sizeof buf, &got)) && got;) g.bytes.append(buf, got);
  }
  ReleaseStgMedium(&m);
  return g;
}

class FileDataObject : public testing::Test {
 protected:
  void SetUp() override { producer.Attach(*source); }
  TComPtr<IDataObject> Make() {
    return TComPtr<IDataObject>::Attach(static_cast<IDataObject*>(TFileDataObject::createEx(source.get())));
  }

  std::unique_ptr<TKXFileSource> source = std::make_unique<TKXFileSource>(nullptr);
  Producer producer;
};

}  // namespace

TEST_F(FileDataObject, DescriptorsListOneRecordPerFile) {
  source->AddVirtualFile(L"A\\b.txt", 5);
  source->AddVirtualFile(L"/c\u4E2D.bin");
  source->AddVirtualFile(L"a/sub//d.txt", std::uint64_t{5} << 32);
  // Names pass the rules a target applies to a descriptor's: prefixes dropped, characters made safe.
  source->AddVirtualFile(L"C:\\docs\\drive.txt");
  source->AddVirtualFile(L"\\\\server\\share\\unc.txt");
  source->AddVirtualFile(L"CON");
  source->AddVirtualFile(L"a<b>.txt. ");
  auto data = Make();
  struct Row {
    std::wstring name;
    std::string ansi;
    bool folder;
    bool hasSize;
    std::uint64_t size;
  } rows[] = {{L"A\\b.txt", "A\\b.txt", false, true, 5},  // its folder is implied, with no record
              {L"c\u4E2D.bin", "c?.bin", false, false, 0},  // code page 1252 in the test prefix
              {L"a\\sub\\d.txt", "a\\sub\\d.txt", false, true, std::uint64_t{5} << 32},
              {L"docs\\drive.txt", "docs\\drive.txt", false, false, 0},
              {L"unc.txt", "unc.txt", false, false, 0},
              {L"_CON", "_CON", false, false, 0},
              {L"a_b_.txt", "a_b_.txt", false, false, 0}};
  const Got w = Get(data.Get(), Fe(CF_FILEGROUPDESCRIPTORW, TYMED_HGLOBAL));
  const Got a = Get(data.Get(), Fe(CF_FILEGROUPDESCRIPTOR, TYMED_HGLOBAL));
  ASSERT_EQ(w.hr, S_OK);
  ASSERT_EQ(a.hr, S_OK);
  const auto wide = blocks::ReadFileGroup(w.bytes, true), ansi = blocks::ReadFileGroup(a.bytes, false);
  ASSERT_EQ(wide.size(), std::size(rows));
  ASSERT_EQ(ansi.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(WideName(w.bytes, wide[i]), rows[i].name);
    EXPECT_EQ(a.bytes.substr(ansi[i].Name.Offset, ansi[i].Name.Length), rows[i].ansi);
    for (const auto& r : {wide[i], ansi[i]}) {
      EXPECT_EQ(r.IsFolder(), rows[i].folder);
      EXPECT_EQ(r.HasSize(), rows[i].hasSize);
      EXPECT_EQ(r.Size, rows[i].size);
    }
  }
  EXPECT_EQ(Get(data.Get(), Fe(CF_HDROP, TYMED_HGLOBAL)).hr, DV_E_FORMATETC) << "no real files";
  EXPECT_EQ(Get(data.Get(), Fe(CF_FILEGROUPDESCRIPTORW, TYMED_ISTREAM)).hr, DV_E_TYMED);
  EXPECT_THROW(source->AddVirtualFile(L"\\/"), vcl::Exception);
  // A name that climbs out of where it is dropped is refused, not made safe.
  EXPECT_THROW(source->AddVirtualFile(L"..\\..\\x.txt"), vcl::Exception);
  EXPECT_THROW(source->AddVirtualFile(L"report/../../x.txt"), vcl::Exception);
  EXPECT_EQ(source->getVirtualFileCount(), 7);
}

TEST_F(FileDataObject, ContentsAnswerPerRecordAndMedium) {
  source->setMaxGlobalSize(100);
  producer.Sizes = {5, 70000, 101};
  source->AddVirtualFile(L"A\\b.txt", 5);      // record 0 (folder A has none)
  source->AddVirtualFile(L"c.bin");            // record 1: size unknown
  source->AddVirtualFile(L"A\\d.txt", 101);    // record 2: above MaxGlobalSize
  auto data = Make();
  struct Case {
    LONG lindex;
    DWORD tymed;
    HRESULT hr;
    DWORD gotTymed;
    int item;  // the producer's index, -1: not called
  } cases[] = {
      {0, TYMED_ISTREAM | TYMED_HGLOBAL | TYMED_ISTORAGE, S_OK, TYMED_ISTREAM, 0},
      {0, TYMED_HGLOBAL, S_OK, TYMED_HGLOBAL, 0},
      {1, TYMED_ISTREAM, S_OK, TYMED_ISTREAM, 1},
      {1, TYMED_HGLOBAL, DV_E_TYMED, 0, -1},
      {2, TYMED_HGLOBAL, DV_E_TYMED, 0, -1},
      {2, TYMED_ISTREAM, S_OK, TYMED_ISTREAM, 2},
      {0, TYMED_ISTORAGE, DV_E_TYMED, 0, -1},
      {3, TYMED_ISTREAM, DV_E_LINDEX, 0, -1},  // past the records
      {4, TYMED_ISTREAM, DV_E_LINDEX, 0, -1},
      {-1, TYMED_ISTREAM, DV_E_LINDEX, 0, -1},
      {-7, TYMED_HGLOBAL, DV_E_LINDEX, 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "lindex " << c.lindex << " tymed " << c.tymed);
    producer.Calls.clear();
    FORMATETC fe = Fe(CF_FILECONTENTS, c.tymed, c.lindex);
    // Asked without an item, QueryGetData answers whether the format is offered at all.
    EXPECT_EQ(data->QueryGetData(&fe), c.hr == S_OK || c.lindex == -1 ? S_OK : S_FALSE);
    const Got g = Get(data.Get(), fe);
    EXPECT_EQ(g.hr, c.hr);
    EXPECT_EQ(producer.Calls, c.item < 0 ? std::vector<int>{} : std::vector<int>{c.item});
    if (c.hr != S_OK) {
      EXPECT_TRUE(g.emptyMedium);
      continue;
    }
    EXPECT_EQ(g.tymed, c.gotTymed);
    EXPECT_EQ(g.bytes, Contents(c.item, producer.Sizes[static_cast<size_t>(c.item)]));
  }
}

TEST_F(FileDataObject, StreamEndsWhereTheProducerStopped) {
  // A stated size larger than what is written, and a producer that goes back to patch its header
  // as archive writers do: the stream holds exactly what was written, read from its start.
  source->AddVirtualFile(L"patched.bin", 1000);
  std::int64_t endSeen = -1, sizeSeen = -1;
  source->setOnGetContents([&](TObject*, int, vcl::TStream& out) {
    out.WriteBuffer("....body", 8);
    out.Seek(0, vcl::soBeginning);
    out.WriteBuffer("HEAD", 4);
    endSeen = out.Seek(0, vcl::soEnd);
    sizeSeen = out.Size();
  });
  auto data = Make();
  const Got g = Get(data.Get(), Fe(CF_FILECONTENTS, TYMED_ISTREAM, 0));
  EXPECT_EQ(g.hr, S_OK);
  EXPECT_EQ(g.bytes, "HEADbody");
  EXPECT_EQ(endSeen, 8);
  EXPECT_EQ(sizeSeen, 8);
}

TEST_F(FileDataObject, FailedProducerHandsOutNothing) {
  ApplicationExceptions caught;
  source->AddVirtualFile(L"one.txt", 3);
  source->setOnGetContents([](TObject*, int, vcl::TStream& out) {
    out.WriteBuffer("abc", 3);
    throw std::runtime_error("disk gone");
  });
  auto data = Make();
  for (DWORD tymed : {DWORD{TYMED_ISTREAM}, DWORD{TYMED_HGLOBAL}}) {
    const Got g = Get(data.Get(), Fe(CF_FILECONTENTS, tymed, 0));
    EXPECT_TRUE(FAILED(g.hr)) << tymed;
    EXPECT_TRUE(g.emptyMedium) << tymed;
  }
  // Outside Execute the exception goes to the application, once per request.
  EXPECT_EQ(caught.messages, (std::vector<std::string>{"disk gone", "disk gone"}));

  source->setOnGetContents(nullptr);  // no producer: an error, not an empty file
  EXPECT_EQ(Get(data.Get(), Fe(CF_FILECONTENTS, TYMED_ISTREAM, 0)).hr, E_FAIL);
}

TEST_F(FileDataObject, OutlivesItsComponent) {
  const LONG before = TFileDataObject::LiveCount();
  producer.Sizes = {4};
  source->AddVirtualFile(L"kept.txt", 4);
  source->AddFile(L"C:\\windows\\win.ini");
  auto data = Make();
  TComPtr<IAsyncOperation> async = data.As<IAsyncOperation>();
  ASSERT_TRUE(async);
  EXPECT_EQ(async->StartOperation(nullptr), S_OK);
  source.reset();

  EXPECT_EQ(Get(data.Get(), Fe(CF_FILECONTENTS, TYMED_ISTREAM, 0)).hr, E_FAIL);
  EXPECT_TRUE(producer.Calls.empty());
  const Got descriptor = Get(data.Get(), Fe(CF_FILEGROUPDESCRIPTORW, TYMED_HGLOBAL));
  EXPECT_EQ(descriptor.hr, S_OK);
  EXPECT_EQ(blocks::ReadFileGroup(descriptor.bytes, true).size(), 1u);
  EXPECT_EQ(Get(data.Get(), Fe(CF_HDROP, TYMED_HGLOBAL)).hr, S_OK);
  EXPECT_EQ(async->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), S_OK);
  async.Reset();
  data.Reset();
  EXPECT_EQ(TFileDataObject::LiveCount(), before);
}

TEST_F(FileDataObject, TargetLettingGoMidOperationEndsTheDrop) {
  // A target that releases the data between StartOperation and EndOperation: the drop still ends,
  // as a failure, so that OnAfterDrop owed to it is raised once.
  std::vector<std::string> events;
  source->setOnStartAsyncOperation([&](TObject*) { events.push_back("start"); });
  source->setOnEndAsyncOperation([&](TObject*) { events.push_back("end"); });
  source->setOnAfterDrop([&](TObject*, bool ok) { events.push_back(ok ? "after ok" : "after failed"); });
  source->AddVirtualFile(L"x.txt");
  auto* created = TFileDataObject::createEx(source.get());
  created->StartOperation(nullptr);
  EXPECT_TRUE(source->getInAsyncOperation());
  created->OweAfterDrop();
  static_cast<IDataObject*>(created)->Release();
  EXPECT_EQ(events, (std::vector<std::string>{"start", "end", "after failed"}));
  EXPECT_FALSE(source->getInAsyncOperation());
  EXPECT_EQ(source->getPerformedEffect(), deNone);
}

TEST_F(FileDataObject, LargeItemReadsThroughItsStreamInChunks) {
  constexpr std::uint64_t kSize = std::uint64_t{64} << 20;
  producer.Sizes = {kSize};
  source->AddVirtualFile(L"big.bin", kSize);
  auto data = Make();
  FORMATETC fe = Fe(CF_FILECONTENTS, TYMED_ISTREAM | TYMED_HGLOBAL, 0);
  vcl::TStgMedium m;
  ASSERT_EQ(data->GetData(&fe, m.Put()), S_OK);
  ASSERT_EQ(m->tymed, DWORD{TYMED_ISTREAM}) << "too large for global memory";
  std::string chunk(1 << 20, '\0');
  std::uint64_t offset = 0;
  bool equal = true;
  for (ULONG got = 0; SUCCEEDED(m->pstm->Read(chunk.data(), static_cast<ULONG>(chunk.size()), &got)) && got;) {
    for (ULONG i = 0; i < got && equal; ++i) equal = chunk[i] == ContentByte(0, offset + i);
    offset += got;
  }
  EXPECT_EQ(offset, kSize);
  EXPECT_TRUE(equal);
  EXPECT_EQ(producer.Calls, std::vector<int>{0});
}

TEST_F(FileDataObject, KeepsWhatOthersSet) {
  source->AddVirtualFile(L"x.txt");
  kxtest::CheckSetDataProtocol(Make().Detach(), static_cast<CLIPFORMAT>(CF_FILEGROUPDESCRIPTORW));
}
