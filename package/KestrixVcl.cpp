#include "package/KestrixVcl.h"

#include "formats/KXUtil.h"
#include "framework/UnitInit.h"
#include "gif/KXGIFImage.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

namespace {
vcl::TUnitCounter packageCounter;
int startupRuns = 0;
}  // namespace

void KestrixStartup() {
  if (!packageCounter.Enter()) return;
  ++startupRuns;
  KXUtilStartup();
  KXGIFImageStartup();
  KXCompsStartup();
}

void KestrixShutdown() {
  if (!packageCounter.Leave()) return;
  KXCompsShutdown();
  KXGIFImageShutdown();
  KXUtilShutdown();
}

void KestrixEnsureStarted() {
  if (packageCounter.Count() > 0) return;
  KestrixStartup();
}

int KestrixStartupRuns() { return startupRuns; }

}  // namespace kestrix
