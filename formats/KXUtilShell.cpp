#include "formats/KXUtilShell.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "framework/ComCtrls.h"
#include "framework/ComObj.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "framework/Streams.h"

namespace kestrix {

namespace {

std::wstring CopyAndFreeTaskString(wchar_t* text) {
  vcl::TCoTaskMem<wchar_t> owner(text);
  return text ? std::wstring(text) : std::wstring();
}

template <class Getter>
std::wstring ReadLinkText(Getter get) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(get(buffer, MAX_PATH))) return {};
  buffer[MAX_PATH - 1] = L'\0';
  return buffer;
}

// Holds the mouse capture for a window and gives it back on every way out, unless another window
// has taken it meanwhile (releasing would then end that window's capture).
class TMouseCapture {
 public:
  explicit TMouseCapture(HWND Window) : FWindow(Window) { SetCapture(Window); }
  TMouseCapture(const TMouseCapture&) = delete;
  TMouseCapture& operator=(const TMouseCapture&) = delete;
  ~TMouseCapture() {
    if (Held()) ReleaseCapture();
  }
  bool Held() const { return FWindow && GetCapture() == FWindow; }

 private:
  HWND FWindow;
};

// Storages nested deeper than this are shown as leaves: a hostile compound file must not run the
// listing out of stack.
constexpr int kMaxStorageNesting = 64;

void ListStorage(IStorage* Storage, vcl::TTreeNode* Node, int Depth) {
  vcl::TComPtr<IEnumSTATSTG> elements;
  if (FAILED(Storage->EnumElements(0, nullptr, 0, elements.Put())) || !elements) return;
  STATSTG element;
  while (elements->Next(1, &element, nullptr) == S_OK) {
    vcl::TCoTaskMem<wchar_t> name(element.pwcsName);
    vcl::TTreeNode* child = Node->Owner()->AddChild(Node, element.pwcsName ? element.pwcsName : L"");
    if (element.type != STGTY_STORAGE || !element.pwcsName || Depth >= kMaxStorageNesting) continue;
    vcl::TComPtr<IStorage> inner;
    if (SUCCEEDED(Storage->OpenStorage(element.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                       inner.Put())) && inner)
      ListStorage(inner.Get(), child, Depth + 1);
  }
}

}  // namespace

std::wstring GetTempPathEx() {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, buffer);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

std::wstring GetTempFileNameEx(const std::wstring& Prefix) {
  std::wstring folder = GetTempPathEx();
  wchar_t buffer[MAX_PATH];
  if (folder.empty() || GetTempFileNameW(folder.c_str(), Prefix.c_str(), 0, buffer) == 0) return {};
  return buffer;
}

bool DragDetectEx(HWND Window, const vcl::TPoint& Point, vcl::TMouseButton Button) {
  if (Button != vcl::mbLeft && Button != vcl::mbRight && Button != vcl::mbMiddle) return false;
  POINT origin{Point.X, Point.Y};
  if (!ClientToScreen(Window, &origin)) return false;  // no such window
  // The system's DragDetect takes the point in screen coordinates (Wine compares it with client
  // coordinates instead, so there a move of any length can count as a drag).
  if (Button == vcl::mbLeft) return DragDetect(Window, origin) != FALSE;
  const int key = Button == vcl::mbRight ? VK_RBUTTON : VK_MBUTTON;
  const int cx = GetSystemMetrics(SM_CXDRAG), cy = GetSystemMetrics(SM_CYDRAG);
  // Sleeps until input arrives rather than spinning; the timeout only bounds a missed wake-up.
  enum : DWORD { kIdleWaitMs = 10 };

  TMouseCapture capture(Window);
  for (;;) {
    vcl::Application->ProcessMessages();
    POINT cursor{};
    GetCursorPos(&cursor);
    if (std::abs(cursor.x - origin.x) > cx || std::abs(cursor.y - origin.y) > cy) return true;
    // Without the capture (taken by another window, or the window is gone) the button's release may
    // never reach this thread.
    if (!(GetKeyState(key) & 0x8000) || !capture.Held()) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, kIdleWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

std::wstring SaveIStreamToFile(IStream* Stream, const std::wstring& FileName) {
  enum { kChunk = 30000 };
  vcl::TFileStream file(FileName, vcl::fmCreate);
  if (Stream) {
    LARGE_INTEGER zero{};
    Stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::string chunk(kChunk, '\0');
    // A stream may deliver less than asked before its end (one across processes, a network
    // stream): only a read that delivers nothing ends it.
    for (;;) {
      ULONG got = 0;
      const HRESULT hr = Stream->Read(chunk.data(), kChunk, &got);
      got = std::min<ULONG>(got, kChunk);
      file.WriteBuffer(chunk.data(), got);
      if (FAILED(hr) || got == 0) break;
    }
  }
  return FileName;
}

std::wstring SaveIStorageToFile(IStorage* Storage, const std::wstring& FileName) {
  vcl::TComPtr<IStorage> file;
  if (Storage && SUCCEEDED(StgCreateDocfile(FileName.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                            0, file.Put())))
    Storage->CopyTo(0, nullptr, nullptr, file.Get());
  return FileName;
}

std::wstring GetShortcutInfo(const std::wstring& ShortcutFile, HWND Window, std::wstring& Description,
                             std::wstring& Arguments, std::wstring& WorkingDirectory, std::wstring& IconLocation,
                             WORD& HotKey, int& ShowCommand, int& IconIndex) {
  vcl::TComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
    return {};
  auto file = link.As<IPersistFile>();
  if (!file || FAILED(file->Load(ShortcutFile.c_str(), STGM_READ))) return {};
  const bool silent = Window == reinterpret_cast<HWND>(INVALID_HANDLE_VALUE);
  if (FAILED(link->Resolve(silent ? nullptr : Window, silent ? SLR_NO_UI : SLR_ANY_MATCH))) return {};
  std::wstring path = ReadLinkText([&](wchar_t* b, int n) { return link->GetPath(b, n, nullptr, SLGP_SHORTPATH); });
  if (path.empty()) return {};

  Description = ReadLinkText([&](wchar_t* b, int n) { return link->GetDescription(b, n); });
  WorkingDirectory = ReadLinkText([&](wchar_t* b, int n) { return link->GetWorkingDirectory(b, n); });
  Arguments = ReadLinkText([&](wchar_t* b, int n) { return link->GetArguments(b, n); });
  IconIndex = 0;
  IconLocation = ReadLinkText([&](wchar_t* b, int n) { return link->GetIconLocation(b, n, &IconIndex); });
  if (Description.empty()) Description = vcl::ChangeFileExt(vcl::ExtractFileName(ShortcutFile), L"");
  ShowCommand = 0;
  link->GetShowCmd(&ShowCommand);
  HotKey = 0;
  link->GetHotkey(&HotKey);
  return path;
}

std::wstring GetShortcutPath(const std::wstring& ShortcutFile) {
  std::wstring description, arguments, folder, icon;
  WORD key = 0;
  int show = 0, index = 0;
  return GetShortcutInfo(ShortcutFile, reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), description, arguments, folder,
                         icon, key, show, index);
}

std::string ObjectDescriptor(IOleObject* Object) {
  if (!Object) return {};
  wchar_t* raw = nullptr;
  std::wstring typeName = SUCCEEDED(Object->GetUserType(USERCLASSTYPE_FULL, &raw)) ? CopyAndFreeTaskString(raw)
                                                                                   : CopyAndFreeTaskString(nullptr);
  std::wstring fullName = typeName, source = typeName;
  vcl::TComPtr<IOleObject> object(Object);
  if (auto link = object.As<IOleLink>()) {
    fullName = vcl::Format(L"Linked %s", typeName);
    raw = nullptr;
    source = SUCCEEDED(link->GetSourceDisplayName(&raw)) ? CopyAndFreeTaskString(raw) : std::wstring();
  }
  // Both texts travel through the ANSI code page, as the clipboard's consumers expect.
  fullName = vcl::UnicodeFromAnsi(vcl::AnsiFromUnicode(fullName));
  source = vcl::UnicodeFromAnsi(vcl::AnsiFromUnicode(source));
  fullName.resize(std::min(fullName.size(), fullName.find(L'\0')));
  source.resize(std::min(source.size(), source.find(L'\0')));

  static_assert(sizeof(OBJECTDESCRIPTOR) == 52, "the block's strings start at byte 52");
  OBJECTDESCRIPTOR header{};
  const DWORD nameBytes = static_cast<DWORD>((fullName.size() + 1) * sizeof(wchar_t));
  const DWORD sourceBytes = static_cast<DWORD>((source.size() + 1) * sizeof(wchar_t));
  header.cbSize = sizeof header + nameBytes + sourceBytes;
  Object->GetUserClassID(&header.clsid);
  header.dwDrawAspect = DVASPECT_CONTENT;
  Object->GetMiscStatus(DVASPECT_CONTENT, &header.dwStatus);
  header.dwFullUserTypeName = sizeof header;
  header.dwSrcOfCopy = sizeof header + nameBytes;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  block.append(reinterpret_cast<const char*>(fullName.c_str()), nameBytes);
  block.append(reinterpret_cast<const char*>(source.c_str()), sourceBytes);
  return block;
}

void DisplayStorageUnderTreeNode(IStorage* Storage, vcl::TTreeNode* Node) {
  if (Storage && Node) ListStorage(Storage, Node, 1);
}

bool DisplayCompoundDocUnderTreeNode(const std::wstring& FileName, vcl::TTreeNode* Node) {
  if (!Node || !vcl::FileExists(FileName)) return false;
  vcl::TComPtr<IStorage> root;
  if (FAILED(StgOpenStorage(FileName.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, root.Put())) ||
      !root)
    return false;
  DisplayStorageUnderTreeNode(root.Get(), Node);
  return true;
}

}  // namespace kestrix
