// Library start-up: the identifiers it registers and its once-only guard.
#include <gtest/gtest.h>

#include "formats/KXUtil.h"
#include "package/KestrixVcl.h"
#include "vocabulary/KXComps.h"

using namespace kestrix;

namespace {

std::wstring RegisteredName(UINT id) {
  wchar_t buf[256] = {};
  int n = GetClipboardFormatNameW(id, buf, 256);
  return std::wstring(buf, n);
}

}  // namespace

TEST(Startup, RegisteredFormatsAreTheWindowManagersIds) {
  const std::pair<UINT, const wchar_t*> formats[] = {
      {CF_NETSCAPEIMAGE, L"Netscape Image Format"}, {CF_HTML, L"HTML Format"},
      {CF_RTF, L"Rich Text Format"},                {CF_URL, L"UniformResourceLocator"},
      {CF_NETSCAPEBOOKMARK, L"Netscape Bookmark"},  {CF_FILEGROUPDESCRIPTOR, L"FileGroupDescriptor"},
      {CF_FILECONTENTS, L"FileContents"},           {CF_URLW, L"UniformResourceLocatorW"},
      {CF_FILEGROUPDESCRIPTORW, L"FileGroupDescriptorW"}, {CF_MOZURL, L"text/x-moz-url"},
      {CF_TEXTHTML, L"text/html"},                  {CF_PERFORMEDDROPEFFECT, L"Performed DropEffect"},
      {CF_PREFERREDDROPEFFECT, L"Preferred DropEffect"},
  };
  for (auto [id, name] : formats) {
    EXPECT_GE(id, 0xC000u) << name;
    EXPECT_EQ(id, RegisterClipboardFormatW(name)) << name;
    EXPECT_EQ(RegisteredName(id), name);
  }
  EXPECT_GE(WM_GRAPHICTARGETDROP, 0xC000u);
  EXPECT_EQ(WM_GRAPHICTARGETDROP, RegisterWindowMessageW(L"KXGraphicTargetDrop"));
}

TEST(Startup, RequestedTwiceRunsOnce) {
  ASSERT_EQ(KestrixStartupRuns(), 1);  // the test program's own guard
  const UINT html = CF_HTML;
  {
    TKestrixLibrary second;
    KestrixEnsureStarted();
    EXPECT_EQ(KestrixStartupRuns(), 1);
  }
  // Taking back the nested request leaves the library running.
  EXPECT_EQ(CF_HTML, html);
  EXPECT_EQ(KestrixStartupRuns(), 1);
  EXPECT_EQ(DataObjectTymed, TYMED_HGLOBAL);
  EXPECT_EQ(DataObjectLindex, -1);
}

TEST(Startup, OleIsInitialisedAsSingleThreadedApartment) {
  // A second OleInitialize on the thread answers S_FALSE: the start-up already did it.
  HRESULT hr = OleInitialize(nullptr);
  EXPECT_EQ(hr, S_FALSE);
  OleUninitialize();
}

TEST(Startup, VersionInfoIsFilled) {
  EXPECT_EQ(OSVersionInfo.dwOSVersionInfoSize, sizeof(OSVERSIONINFOW));
  EXPECT_EQ(sizeof(OSVERSIONINFOW), 276u);
  EXPECT_EQ(OSVersionInfo.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(OSVersionInfo.dwMajorVersion, 5u);
}

TEST(Startup, EveryComponentSeesTheSameIdentifiers) {
  vcl::TComponent owner(nullptr);
  auto* a = new TKXBaseComponent(&owner);
  const UINT url = CF_URL;
  auto* b = new TKXBaseComponent(&owner);
  EXPECT_EQ(CF_URL, url);
  EXPECT_EQ(a->getAbout(), aiKestrix);
  EXPECT_EQ(owner.ComponentCount(), 2);
  (void)b;
}
