// Temporary names, stream and storage saving, shortcuts and object descriptors, on the shell's
// and OLE's real implementations.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>

#include "formats/KXUtil.h"
#include "framework/ComObj.h"
#include "framework/Streams.h"
#include "support/FakeDataObject.h"
#include "support/TestSupport.h"

using namespace kestrix;
using vcl::TComPtr;

namespace {

std::string FileBytes(const std::wstring& path) {
  vcl::TMemoryStream m;
  m.LoadFromFile(path);
  return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

}  // namespace

TEST(ShellHelpers, TemporaryNames) {
  std::wstring folder = GetTempPathEx();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), L'\\');
  std::wstring a = GetTempFileNameEx(L"kx"), b = GetTempFileNameEx(L"kx");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(folder, 0), 0u);
  EXPECT_EQ(vcl::ExtractFileName(a).rfind(L"kx", 0), 0u);
  EXPECT_TRUE(vcl::FileExists(a));
  EXPECT_EQ(FileBytes(a), "");
  vcl::DeleteFile(a);
  vcl::DeleteFile(b);
}

TEST(ShellHelpers, SaveIStreamToFileReadsInChunksFromTheStart) {
  std::wstring folder = kxtest::MakeTempFolder(L"savestream");
  struct Case {
    size_t size;
    ULONG maxRead;  // what the stream delivers per read at most
    int reads;
  };
  // Short reads do not end the stream; only a read that delivers nothing does.
  for (Case c : {Case{30000, ULONG_MAX, 2}, Case{0, ULONG_MAX, 1}, Case{65000, ULONG_MAX, 4}, Case{65000, 1000, 66}}) {
    std::string bytes(c.size, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    TComPtr<kxtest::ScriptedStream> owner(new kxtest::ScriptedStream(bytes));
    kxtest::ScriptedStream* stream = owner.Get();
    stream->maxRead = c.maxRead;
    std::wstring path = folder + L"s" + std::to_wstring(c.size) + L"-" + std::to_wstring(c.reads) + L".bin";
    EXPECT_EQ(SaveIStreamToFile(stream, path), path);  // the stream stands at its end: it is rewound
    EXPECT_EQ(stream->reads, c.reads) << c.size;
    EXPECT_EQ(FileBytes(path), bytes);
  }
  EXPECT_THROW(SaveIStreamToFile(nullptr, folder + L"no\\such\\folder\\x.bin"), vcl::EFCreateError);
}

TEST(ShellHelpers, SaveIStorageToFileCopiesEveryElement) {
  TComPtr<ILockBytes> bytes;
  ASSERT_HRESULT_SUCCEEDED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Put()));
  TComPtr<IStorage> root, sub;
  ASSERT_HRESULT_SUCCEEDED(StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, root.Put()));
  ASSERT_HRESULT_SUCCEEDED(root->CreateStorage(L"inner", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, sub.Put()));
  TComPtr<IStream> stream;
  ASSERT_HRESULT_SUCCEEDED(sub->CreateStream(L"data", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Put()));
  ULONG n;
  stream->Write("payload", 7, &n);
  stream.Reset();
  sub.Reset();

  std::wstring path = kxtest::MakeTempFolder(L"savestorage") + L"copy.stg";
  EXPECT_EQ(SaveIStorageToFile(root.Get(), path), path);
  TComPtr<IStorage> reopened, inner;
  ASSERT_HRESULT_SUCCEEDED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, reopened.Put()));
  ASSERT_HRESULT_SUCCEEDED(reopened->OpenStorage(L"inner", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, inner.Put()));
  TComPtr<IStream> data;
  ASSERT_HRESULT_SUCCEEDED(inner->OpenStream(L"data", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, data.Put()));
  char buf[16] = {};
  data->Read(buf, sizeof buf, &n);
  EXPECT_EQ(std::string(buf, n), "payload");
  // A storage that cannot be written still gives back the name.
  EXPECT_EQ(SaveIStorageToFile(root.Get(), L"Z:\\no\\such\\folder\\x.stg"), L"Z:\\no\\such\\folder\\x.stg");
}

TEST(ShellHelpers, ShortcutsAreReadBack) {
  std::wstring folder = kxtest::MakeTempFolder(L"shortcuts");
  std::wstring target = folder + L"target file.txt";
  { vcl::TFileStream(target, vcl::fmCreate); }
  auto makeLink = [&](const std::wstring& name, const wchar_t* description) {
    TComPtr<IShellLinkW> link;
    EXPECT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid()));
    link->SetPath(target.c_str());
    link->SetArguments(L"/x y");
    link->SetWorkingDirectory(folder.c_str());
    link->SetIconLocation(L"C:\\windows\\system32\\shell32.dll", 3);
    link->SetHotkey(MAKEWORD('K', HOTKEYF_CONTROL));
    link->SetShowCmd(SW_SHOWMINNOACTIVE);
    if (description) link->SetDescription(description);
    std::wstring path = folder + name;
    EXPECT_HRESULT_SUCCEEDED(link.As<IPersistFile>()->Save(path.c_str(), TRUE));
    return path;
  };

  std::wstring description = L"untouched", arguments, workdir, icon;
  WORD hotkey = 0;
  int show = 0, index = 0;
  std::wstring path = GetShortcutInfo(makeLink(L"with.lnk", L"A description"), reinterpret_cast<HWND>(INVALID_HANDLE_VALUE),
                                      description, arguments, workdir, icon, hotkey, show, index);
  // Wine answers the long path for the short form; on Windows it is the 8.3 name of the same file.
  wchar_t shortTarget[MAX_PATH];
  GetShortPathNameW(target.c_str(), shortTarget, MAX_PATH);
  EXPECT_TRUE(path == target || path == shortTarget) << std::string(path.begin(), path.end());
  EXPECT_EQ(description, L"A description");
  EXPECT_EQ(arguments, L"/x y");
  EXPECT_EQ(icon, L"C:\\windows\\system32\\shell32.dll");
  EXPECT_EQ(index, 3);
  EXPECT_EQ(hotkey, MAKEWORD('K', HOTKEYF_CONTROL));
  // Wine reports 1 (SW_SHOWNORMAL) as the show command of every loaded link; Windows keeps 7.
  EXPECT_TRUE(show == SW_SHOWMINNOACTIVE || show == SW_SHOWNORMAL);
  EXPECT_EQ(GetShortcutPath(makeLink(L"plain.lnk", nullptr)), path);

  std::wstring undescribed;
  GetShortcutInfo(makeLink(L"My Link.lnk", nullptr), nullptr, undescribed, arguments, workdir, icon, hotkey, show, index);
  EXPECT_EQ(undescribed, L"My Link");

  std::wstring kept = L"kept";
  EXPECT_EQ(GetShortcutInfo(target, nullptr, kept, arguments, workdir, icon, hotkey, show, index), L"");
  EXPECT_EQ(kept, L"kept");
  EXPECT_EQ(GetShortcutPath(folder + L"missing.lnk"), L"");
}

namespace {

// An embedded object as a container sees it; a link when asked to be one.
class TestOleObject : public vcl::TInterfacedObjectImpl<IOleObject, IOleLink> {
 public:
  TestOleObject(std::wstring typeName, bool link) : FType(std::move(typeName)), FLink(link) { AddRef(); }
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IOleLink && !FLink) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return TInterfacedObjectImpl::QueryInterface(riid, ppv);
  }
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* name) override {
    if (form != USERCLASSTYPE_FULL || FType.empty()) return E_FAIL;
    *name = Dup(FType);
    return S_OK;
  }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override { *clsid = CLSID_ShellLink; return S_OK; }
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override { *status = aspect == DVASPECT_CONTENT ? 0x1234 : 0; return S_OK; }
  STDMETHODIMP GetSourceDisplayName(LPOLESTR* name) override { *name = Dup(L"C:\\docs\\source.txt"); return S_OK; }
  // The rest of both interfaces is not used by a descriptor.
  STDMETHODIMP SetClientSite(IOleClientSite*) override { return E_NOTIMPL; }
  STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP Close(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override { return E_NOTIMPL; }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return E_NOTIMPL; }
  STDMETHODIMP IsUpToDate() override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }
  STDMETHODIMP SetUpdateOptions(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetUpdateOptions(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP SetSourceMoniker(IMoniker*, REFCLSID) override { return E_NOTIMPL; }
  STDMETHODIMP GetSourceMoniker(IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP SetSourceDisplayName(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP BindToSource(DWORD, IBindCtx*) override { return E_NOTIMPL; }
  STDMETHODIMP BindIfRunning() override { return E_NOTIMPL; }
  STDMETHODIMP GetBoundSource(IUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP UnbindSource() override { return E_NOTIMPL; }
  STDMETHODIMP Update(IBindCtx*) override { return E_NOTIMPL; }

 private:
  static LPOLESTR Dup(const std::wstring& s) {
    auto* p = static_cast<wchar_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
    std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
    return p;
  }
  std::wstring FType;
  bool FLink;
};

struct Descriptor {
  OBJECTDESCRIPTOR header;
  std::wstring fullName, source;
};

Descriptor Parse(const std::string& block) {
  Descriptor d{};
  EXPECT_GE(block.size(), sizeof d.header);
  std::memcpy(&d.header, block.data(), sizeof d.header);
  EXPECT_EQ(d.header.cbSize, block.size());
  d.fullName = reinterpret_cast<const wchar_t*>(block.data() + d.header.dwFullUserTypeName);
  d.source = reinterpret_cast<const wchar_t*>(block.data() + d.header.dwSrcOfCopy);
  return d;
}

}  // namespace

TEST(ShellHelpers, ObjectDescriptorOfEmbeddedAndLinkedObjects) {
  TComPtr<IOleObject> plain = TComPtr<IOleObject>::Attach(new TestOleObject(L"Test Object!", false));
  std::string block = ObjectDescriptor(plain.Get());
  Descriptor d = Parse(block);
  EXPECT_EQ(d.header.cbSize, 104u);  // 52 + 2 × (13 + 13)
  EXPECT_EQ(d.header.dwFullUserTypeName, 52u);
  EXPECT_EQ(d.header.dwSrcOfCopy, 78u);
  EXPECT_EQ(d.header.dwDrawAspect, DWORD(DVASPECT_CONTENT));
  EXPECT_EQ(d.header.dwStatus, 0x1234u);
  EXPECT_TRUE(IsEqualCLSID(d.header.clsid, CLSID_ShellLink));
  EXPECT_EQ(d.header.sizel.cx, 0);
  EXPECT_EQ(d.fullName, L"Test Object!");
  EXPECT_EQ(d.source, L"Test Object!");

  TComPtr<IOleObject> link = TComPtr<IOleObject>::Attach(new TestOleObject(L"Caf\u00E9 \u4E2D", true));
  d = Parse(ObjectDescriptor(link.Get()));
  EXPECT_EQ(d.fullName, L"Linked Caf\u00E9 ?");  // through the ANSI code page
  EXPECT_EQ(d.source, L"C:\\docs\\source.txt");

  TComPtr<IOleObject> nameless = TComPtr<IOleObject>::Attach(new TestOleObject(L"", false));
  d = Parse(ObjectDescriptor(nameless.Get()));
  EXPECT_EQ(d.header.cbSize, 56u);
  EXPECT_EQ(d.fullName, L"");
  EXPECT_EQ(ObjectDescriptor(nullptr), "");
}
