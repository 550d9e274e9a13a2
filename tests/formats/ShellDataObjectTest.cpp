// The shell's own data object for a file: a real foreign peer of the inspection functions.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/KXUtil.h"
#include "framework/ComObj.h"
#include "framework/Handles.h"
#include "support/TestSupport.h"

using namespace kestrix;
using vcl::TComPtr;

namespace {

std::vector<std::wstring> Lines(vcl::TStringList* list) {
  std::unique_ptr<vcl::TStringList> owned(list);
  std::vector<std::wstring> lines;
  for (int i = 0; i < owned->Count(); ++i) lines.push_back(owned->Strings(i));
  return lines;
}

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ShellDataObject : public testing::Test {
 protected:
  void SetUp() override {
    folder = kxtest::MakeTempFolder(L"shellobj");
    fileName = L"inspected.txt";
    vcl::TUniqueKernelHandle file(
        CreateFileW((folder + fileName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_NE(file.Get(), INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file.Get(), "text", 4, &written, nullptr);

    TComPtr<IShellFolder> desktop;
    ASSERT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
    vcl::TCoTaskMem<ITEMIDLIST> folderItem;
    ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, folder.data(), nullptr, folderItem.Put(), nullptr), S_OK);
    TComPtr<IShellFolder> parent;
    ASSERT_EQ(desktop->BindToObject(folderItem.Get(), nullptr, IID_IShellFolder, parent.PutVoid()), S_OK);
    vcl::TCoTaskMem<ITEMIDLIST> fileItem;
    ASSERT_EQ(parent->ParseDisplayName(nullptr, nullptr, fileName.data(), nullptr, fileItem.Put(), nullptr), S_OK);
    PCUITEMID_CHILD children[] = {fileItem.Get()};
    ASSERT_EQ(parent->GetUIObjectOf(nullptr, 1, children, IID_IDataObject, nullptr, object.PutVoid()), S_OK);
    ASSERT_TRUE(object);
  }
  void TearDown() override {
    object.Reset();
    DeleteFileW((folder + fileName).c_str());
    RemoveDirectoryW(folder.c_str());
  }

  std::wstring folder, fileName;
  TComPtr<IDataObject> object;
};

}  // namespace

TEST_F(ShellDataObject, ListsTheShellsFormats) {
  auto formats = Lines(DataObjFormatList(object.Get()));
  for (const wchar_t* expected : {L"Shell IDList Array", L"15", L"FileName", L"FileNameW"})
    EXPECT_TRUE(Contains(formats, expected)) << expected;
  auto etcs = Lines(DataObjFormatEtcList(object.Get()));
  EXPECT_EQ(etcs.size(), formats.size());
  EXPECT_TRUE(Contains(etcs, L"\"CF_HDROP\",15,TYMED_HGLOBAL,1,-1"));
  EXPECT_TRUE(DataObjHasFormat(object.Get(), L"15"));
  EXPECT_TRUE(DataObjHasFormat(object.Get(), L"Shell IDList Array"));
  EXPECT_FALSE(DataObjHasFormat(object.Get(), L"Kestrix Format Nobody Offers"));
}

TEST_F(ShellDataObject, HdropIsADropFilesBlockNamingTheFile) {
  std::string block = DataObjGetFormat(object.Get(), L"15");
  ASSERT_GE(block.size(), sizeof(DROPFILES));
  DROPFILES header;
  std::memcpy(&header, block.data(), sizeof header);
  ASSERT_GE(header.pFiles, sizeof(DROPFILES));
  ASSERT_LT(header.pFiles, block.size());
  std::wstring path = folder + fileName;
  std::wstring names;
  if (header.fWide) {
    names = UnicodeStringFromEncodedAnsiString(block.substr(header.pFiles));
  } else {
    names = vcl::UnicodeFromAnsi(block.substr(header.pFiles));
  }
  std::wstring first = names.substr(0, names.find(L'\0'));
  EXPECT_EQ(vcl::AnsiCompareText(first, path), 0) << vcl::Utf8FromUnicode(first);
  EXPECT_NE(names.find(std::wstring(2, L'\0')), std::wstring::npos);  // the list's double terminator

  std::string wideName = DataObjGetFormat(object.Get(), L"FileNameW");
  EXPECT_EQ(vcl::AnsiCompareText(UnicodeStringFromEncodedAnsiString(wideName).c_str(), path), 0);
}

TEST_F(ShellDataObject, ReferenceCountIsSensible) {
  int count = DataObjRefCount(object.Get());
  EXPECT_GE(count, 1);
  EXPECT_LT(count, 100);
  EXPECT_EQ(DataObjRefCount(object.Get()), count);  // asking takes nothing
  {
    TComPtr<IDataObject> extra(object.Get());
    EXPECT_EQ(DataObjRefCount(object.Get()), count + 1);
  }
  // Fetching data leaves no reference behind either.
  DataObjGetFormat(object.Get(), L"15");
  Lines(DataObjFormatList(object.Get()));
  EXPECT_EQ(DataObjRefCount(object.Get()), count);
}
