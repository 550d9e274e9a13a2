// A browser-like drag that offers only "Netscape Image Format": Drop takes the URL and leaves the
// picture empty; the acceptor's message loop then fetches the image through the stand-in network
// object (tests/peers/kx_network_object) and raises OnDrop with it.
#include <gtest/gtest.h>

#include "GraphicTargetTestSupport.h"
#include "browser/BrowserTestSupport.h"
#include "peers/NetworkObjectRegistration.h"
#include "textsource/ApplicationExceptions.h"

using namespace kestrix;
using namespace gtargettest;

namespace {

std::string BrowserBlock(const std::string& url, bool terminated = true) {
  // What precedes the URL is not read; fill it with something that is not a URL.
  return std::string(44, '\x7F') + url + (terminated ? std::string(1, '\0') : std::string());
}

class BrowserImageDrop : public testing::Test {
 protected:
  void SetUp() override {
    FRegistration = std::make_unique<kxtest::TNetworkObjectRegistration>(kxtest::TestDataPath(L"browser"));
    ASSERT_TRUE(FRegistration->Ok());
  }
  std::unique_ptr<kxtest::TNetworkObjectRegistration> FRegistration;
};

}  // namespace

TEST_F(BrowserImageDrop, TheImageArrivesInOnDropFromTheMessageLoop) {
  struct Case {
    const char* file;
    bool terminated;
    int tolerance;
  };
  const Case cases[] = {
      {"quadrants.gif", true, 0},
      {"quadrants.jpg", true, 40},
      {"quadrants.gif", false, 0},  // the URL runs to the end of the block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    BoundTarget b;
    vcl::TBitmap received;
    b.target->setOnDrop([&](TObject*, vcl::TWinControl*, vcl::TPicture* picture, int x, int y) {
      b.drops.push_back({picture, {x, y}, static_cast<bool>(b.target->getDataObject()), false, false});
      if (picture && picture->Graphic()) received.Assign(picture->Graphic());
    });
    auto data = kxtest::MakeFake();
    data->Offer(L"Netscape Image Format", BrowserBlock(std::string("http://pictures.test/images/") + c.file, c.terminated));
    EXPECT_EQ(b.Enter(data.Get()), DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(b.target->getAvailableGraphicFormats(), TDropGraphicFormats{dgfBitmap});
    auto [hr, effect] = b.DragAndDrop(data.Get());
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    ASSERT_NE(b.target->getPicture(), nullptr);
    EXPECT_EQ(b.target->getPicture()->Graphic(), nullptr);  // fetched only in the second stage
    EXPECT_TRUE(b.drops.empty());

    ASSERT_TRUE(kxtest::PumpUntil([&] { return !b.drops.empty(); }, 15000));
    EXPECT_EQ(b.drops[0].at, (vcl::TPoint{7, 8}));
    EXPECT_TRUE(b.drops[0].hadDataObject);
    EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfBitmap);
    browsertest::ExpectQuadrants(received, c.tolerance);
    EXPECT_FALSE(b.target->getDataObject());
  }
}

TEST_F(BrowserImageDrop, NoURLMeansNoFetchAndAnEmptyPicture) {
  // A 44-byte block has no URL; a block whose URL cannot be opened leaves the picture empty too.
  for (const std::string& block : {std::string(44, 'x'), BrowserBlock("http://pictures.test/images/missing.gif")}) {
    BoundTarget b;
    auto data = kxtest::MakeFake();
    data->Offer(L"Netscape Image Format", block);
    auto [hr, effect] = b.DragAndDrop(data.Get());
    EXPECT_EQ(hr, S_OK);
    ASSERT_TRUE(kxtest::PumpUntil([&] { return !b.drops.empty(); }, 15000));
    EXPECT_TRUE(b.drops[0].empty);
    EXPECT_FALSE(b.target->getDataObject());
  }
}

TEST(BrowserImageDropWithoutBrowser, TheFailureGoesToTheApplicationAndOnDropFollows) {
  kxtest::TNetworkObjectRegistration none;  // no network object: creating one fails
  ASSERT_TRUE(none.Ok());
  ApplicationExceptions exceptions;
  BoundTarget b;
  auto data = kxtest::MakeFake();
  data->Offer(L"Netscape Image Format", BrowserBlock("http://pictures.test/images/quadrants.gif"));
  b.DragAndDrop(data.Get());
  ASSERT_TRUE(kxtest::PumpUntil([&] { return !b.drops.empty(); }, 15000));
  EXPECT_EQ(exceptions.messages.size(), 1u);
  EXPECT_TRUE(b.drops[0].empty);
  EXPECT_FALSE(b.target->getDataObject());
}
