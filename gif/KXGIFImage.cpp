#include "gif/KXGIFImage.h"

#include "framework/UnitInit.h"

namespace kestrix {

namespace {
vcl::TUnitCounter unitCounter;
}

void KXGIFImageStartup() { unitCounter.Enter(); }
void KXGIFImageShutdown() { unitCounter.Leave(); }

}  // namespace kestrix
