// One virtual file's contents read from a foreign data object in each medium, with the faults
// sources have; every medium handed out is released.
#include <gtest/gtest.h>

#include <vector>

#include "framework/Streams.h"
#include "support/FakeDataObject.h"
#include "vocabulary/KXFileContents.h"

using namespace kestrix;
using kxtest::FakeDataObject;
using kxtest::ScriptedStream;
using vcl::TComPtr;
using R = TFileContentsResult;

namespace {

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 7);
  return bytes;
}

std::string BytesOf(vcl::TMemoryStream& out) {
  return std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<std::size_t>(out.Size()));
}

TComPtr<ScriptedStream> Stream(const std::string& bytes) { return TComPtr<ScriptedStream>(new ScriptedStream(bytes)); }

struct TRead {
  R result;
  std::string bytes;
  std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> progress;
};

TRead Read(FakeDataObject* source, std::uint64_t limit = UINT64_MAX, int cancelAt = -1) {
  TRead r;
  vcl::TMemoryStream out;
  r.result = ReadFileContents(source, 0, out, limit, [&](std::uint64_t done, std::optional<std::uint64_t> total) {
    r.progress.emplace_back(done, total);
    return static_cast<int>(r.progress.size()) != cancelAt;
  });
  r.bytes = BytesOf(out);
  return r;
}

}  // namespace

TEST(FileContents, EachMediumArrivesWhole) {
  const UINT cf = FileContentsFormat();
  EXPECT_EQ(cf, RegisterClipboardFormatW(L"FileContents"));
  const std::string big = Pattern(2500000), small = Pattern(300);
  struct Case {
    const char* what;
    DWORD tymed;
    FakeDataObject::Renderer render;
    R result;
    std::string bytes;
    std::size_t progressCalls;
    std::optional<std::uint64_t> total;
  };
  auto stream = [](const std::string& bytes, auto setUp) {
    TComPtr<ScriptedStream> s = Stream(bytes);
    setUp(*s);
    return kxtest::RenderStream(TComPtr<IStream>(s.Get()));
  };
  auto as = [](std::string bytes) {
    return [bytes](const FORMATETC&, STGMEDIUM& m) {
      m.tymed = TYMED_HGLOBAL;
      m.hGlobal = kxtest::GlobalWithBytes(bytes);
      return S_OK;
    };
  };
  Case cases[] = {
      {"global memory in chunks", TYMED_HGLOBAL, as(big), R::Read, big, 3, big.size()},
      {"an empty global block", TYMED_HGLOBAL, as(""), R::Read, "", 0, std::nullopt},
      {"a stream left at its end is read from its start", TYMED_ISTREAM, stream(big, [](ScriptedStream&) {}), R::Read,
       big, 3, big.size()},
      {"a stream that cannot seek is read from where it is", TYMED_ISTREAM,
       stream(small, [](ScriptedStream& s) { s.seekable = false; }), R::Read, "", 0, small.size()},
      {"short reads do not end a stream", TYMED_ISTREAM, stream(small, [](ScriptedStream& s) { s.maxRead = 7; }),
       R::Read, small, 43, small.size()},
      {"a stream stating less than it holds", TYMED_ISTREAM, stream(big, [](ScriptedStream& s) { s.statedSize = 10; }),
       R::Read, big, 3, 10},
      {"a stream stating more than it holds", TYMED_ISTREAM,
       stream(small, [](ScriptedStream& s) { s.statedSize = 1ull << 40; }), R::Read, small, 1, 1ull << 40},
      {"a stream failing partway", TYMED_ISTREAM, stream(big, [](ScriptedStream& s) { s.failAfter = 1500000; }),
       R::Failed, big.substr(0, 1500000), 2, big.size()},
      {"no such format", TYMED_HGLOBAL, nullptr, R::NotOffered, "", 0, std::nullopt},
      {"a producer failing", TYMED_HGLOBAL, [](const FORMATETC&, STGMEDIUM&) { return E_FAIL; }, R::Failed, "", 0,
       std::nullopt},
      {"a medium nobody asked for", TYMED_HGLOBAL,
       [](const FORMATETC&, STGMEDIUM& m) {
         m.tymed = TYMED_GDI;
         m.hBitmap = CreateBitmap(1, 1, 1, 1, nullptr);
         return S_OK;
       },
       R::NotOffered, "", 0, std::nullopt},
  };
  for (Case& c : cases) {
    TComPtr<FakeDataObject> source = kxtest::MakeFake();
    if (c.render) source->OfferRendered(cf, c.tymed, c.render);
    const TRead r = Read(source.Get());
    EXPECT_EQ(r.result, c.result) << c.what;
    EXPECT_TRUE(r.bytes == c.bytes) << c.what << ": " << r.bytes.size() << " bytes";
    EXPECT_EQ(r.progress.size(), c.progressCalls) << c.what;
    if (!r.progress.empty()) {
      EXPECT_EQ(r.progress.back().second, c.total) << c.what;
      EXPECT_EQ(r.progress.back().first, std::min<std::size_t>(c.bytes.size(), r.bytes.size())) << c.what;
    }
    source.Reset();
    EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0) << c.what;
  }
}

TEST(FileContents, AStorageArrivesAsTheCompoundFileHoldingIt) {
  const std::string body = Pattern(70000);
  TComPtr<FakeDataObject> source = kxtest::MakeFake();
  source->OfferRendered(FileContentsFormat(), TYMED_ISTORAGE, kxtest::RenderStorage(L"Body", body));
  const TRead r = Read(source.Get());
  ASSERT_EQ(r.result, R::Read);
  ASSERT_FALSE(r.progress.empty());
  EXPECT_EQ(r.progress.back().second, r.bytes.size());

  TComPtr<ILockBytes> bytes;
  ASSERT_HRESULT_SUCCEEDED(CreateILockBytesOnHGlobal(kxtest::GlobalWithBytes(r.bytes), TRUE, bytes.Put()));
  TComPtr<IStorage> storage;
  ASSERT_HRESULT_SUCCEEDED(StgOpenStorageOnILockBytes(bytes.Get(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                                      storage.Put()));
  TComPtr<IStream> stream;
  ASSERT_HRESULT_SUCCEEDED(storage->OpenStream(L"Body", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put()));
  std::string back(body.size() + 10, '\0');
  ULONG got = 0;
  stream->Read(back.data(), static_cast<ULONG>(back.size()), &got);
  back.resize(got);
  EXPECT_TRUE(back == body);
  source.Reset();
  EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0);
}

TEST(FileContents, ASourceRefusingTheCombinationIsAskedForEachMedium) {
  const std::string bytes = Pattern(5000);
  for (DWORD only : {DWORD(TYMED_ISTREAM), DWORD(TYMED_HGLOBAL), DWORD(TYMED_ISTORAGE)}) {
    TComPtr<FakeDataObject> source = kxtest::MakeFake();
    const FakeDataObject::Renderer inner = only == TYMED_ISTREAM    ? kxtest::RenderStream(TComPtr<IStream>(Stream(bytes).Get()))
                                           : only == TYMED_ISTORAGE ? kxtest::RenderStorage(L"x", bytes)
                                                                    : [bytes](const FORMATETC&, STGMEDIUM& m) {
                                                                        m.tymed = TYMED_HGLOBAL;
                                                                        m.hGlobal = kxtest::GlobalWithBytes(bytes);
                                                                        return S_OK;
                                                                      };
    source->OfferRendered(FileContentsFormat(), only, [only, inner](const FORMATETC& request, STGMEDIUM& m) {
      return request.tymed == only ? inner(request, m) : DV_E_TYMED;
    });
    const TRead r = Read(source.Get());
    EXPECT_EQ(r.result, R::Read) << only;
    if (only != TYMED_ISTORAGE) {
      EXPECT_TRUE(r.bytes == bytes) << only;
    }
    EXPECT_GE(source->GetDataCalls(), 2) << only;
    source.Reset();
    EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0) << only;
  }
}

TEST(FileContents, TheLimitAndTheCallerStopTheCopy) {
  const std::string bytes = Pattern(3000000);
  struct Case {
    const char* what;
    bool stream;
    std::uint64_t limit;
    int cancelAt;
    R result;
    std::size_t kept;
  } cases[] = {
      {"global memory over the limit", false, 1000, -1, R::TooLarge, 1000},
      {"a stream over the limit", true, 2000000, -1, R::TooLarge, 2000000},
      {"a stream exactly at the limit", true, bytes.size(), -1, R::Read, bytes.size()},
      {"global memory exactly at the limit", false, bytes.size(), -1, R::Read, bytes.size()},
      {"cancelled after the first chunk", true, UINT64_MAX, 1, R::Cancelled, 1048576},
      {"cancelled after the second chunk", false, UINT64_MAX, 2, R::Cancelled, 2097152},
  };
  for (const Case& c : cases) {
    TComPtr<FakeDataObject> source = kxtest::MakeFake();
    if (c.stream) {
      source->OfferRendered(FileContentsFormat(), TYMED_ISTREAM, kxtest::RenderStream(TComPtr<IStream>(Stream(bytes).Get())));
    } else {
      source->Offer(FileContentsFormat(), bytes);
    }
    const TRead r = Read(source.Get(), c.limit, c.cancelAt);
    EXPECT_EQ(r.result, c.result) << c.what;
    EXPECT_TRUE(r.bytes == bytes.substr(0, c.kept)) << c.what << ": " << r.bytes.size() << " bytes";
    source.Reset();
    EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0) << c.what;
  }
}

TEST(FileContents, AnExceptionFromTheCallerReleasesTheMedium) {
  TComPtr<FakeDataObject> source = kxtest::MakeFake();
  source->Offer(FileContentsFormat(), Pattern(10));
  vcl::TMemoryStream out;
  EXPECT_THROW(ReadFileContents(source.Get(), 0, out, UINT64_MAX, [](auto, auto) -> bool { throw vcl::EAbort(L"stop"); }),
               vcl::EAbort);
  EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0);
  EXPECT_EQ(ReadFileContents(nullptr, 0, out), R::NotOffered);
}
