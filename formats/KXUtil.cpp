#include "formats/KXUtil.h"

#include "framework/UnitInit.h"

namespace kestrix {

LONG DataObjectTymed = TYMED_HGLOBAL;
LONG DataObjectLindex = -1;
OSVERSIONINFOW OSVersionInfo = {};

namespace {
vcl::TUnitCounter unitCounter;
}

void KXUtilStartup() {
  if (!unitCounter.Enter()) return;
  DataObjectTymed = TYMED_HGLOBAL;
  DataObjectLindex = -1;
  OSVersionInfo = {};
  OSVersionInfo.dwOSVersionInfoSize = sizeof OSVersionInfo;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&OSVersionInfo);
#pragma GCC diagnostic pop
}

void KXUtilShutdown() { unitCounter.Leave(); }

}  // namespace kestrix
