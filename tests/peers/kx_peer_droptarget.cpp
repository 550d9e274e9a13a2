// A foreign application's drop target, in its own process: a window with a raw OLE drop target
// (kxtest::RawDropTarget). It signals readiness, waits for one drop (or the timeout), writes what
// it received as "key=value" lines and exits: 0 after a drop, 1 on timeout, 2 on a set-up failure.
//
// Arguments:
//   --title T          window title (tests find the window by it)
//   --rect x,y,w,h     screen rectangle of the window
//   --effect N         DROPEFFECT mask the target is willing to answer (default 1, copy)
//   --drop-effect N    what Drop answers instead (the shell's optimized move answers 0)
//   --performed N      tells the source through "Performed DropEffect" what it did
//   --read F:TYMED[:LINDEX]  a format to read at the drop: a number or a registered name, the
//                      medium and the item (repeatable; default CF_UNICODETEXT and CF_TEXT on
//                      global memory)
//   --async MS         complete an asynchronous drop MS milliseconds after Drop returned
//   --contents HOW     read every file of "FileGroupDescriptorW": "shell" (FileContents by record
//                      index) or "chromium" (by position among the file records)
//   --timeout MS       give up after MS milliseconds (default 20000)
//   --ready NAME       named event to signal when the window is registered
//   --out FILE         result file (default: standard output)
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/RawDropTarget.h"

namespace {

struct Options {
  std::wstring title = L"kx_peer_droptarget";
  RECT rect{600, 100, 800, 300};
  DWORD effect = DROPEFFECT_COPY;
  long dropEffect = -1;
  DWORD performed = 0;
  std::vector<kxtest::RawRead> reads;
  int asyncDelay = -1;
  kxtest::RawDropTarget::ContentsIndexing indexing = kxtest::RawDropTarget::ContentsIndexing::None;
  DWORD timeout = 20000;
  std::wstring ready;
  std::wstring out;
};

// "F[:TYMED[:LINDEX]]": a format, its medium (global memory by default) and item (-1 by default).
kxtest::RawRead ParseRead(const std::wstring& request) {
  const size_t colon = request.find(L':');
  const std::wstring name = request.substr(0, colon);
  DWORD tymed = TYMED_HGLOBAL;
  LONG lindex = -1;
  if (colon != request.npos) swscanf(request.c_str() + colon + 1, L"%lu:%ld", &tymed, &lindex);
  int id = _wtoi(name.c_str());
  if (id > 0) return kxtest::ReadRequest(static_cast<CLIPFORMAT>(id), tymed, lindex);
  return kxtest::ReadRequest(name, tymed, lindex);
}

Options Parse(int argc, wchar_t** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::wstring key = argv[i], value = argv[i + 1];
    if (key == L"--title") o.title = value;
    else if (key == L"--rect") {
      int x = 0, y = 0, w = 0, h = 0;
      if (swscanf(value.c_str(), L"%d,%d,%d,%d", &x, &y, &w, &h) == 4) o.rect = {x, y, x + w, y + h};
    } else if (key == L"--effect") o.effect = static_cast<DWORD>(_wtoi(value.c_str()));
    else if (key == L"--read") o.reads.push_back(ParseRead(value));
    else if (key == L"--drop-effect") o.dropEffect = _wtol(value.c_str());
    else if (key == L"--performed") o.performed = static_cast<DWORD>(_wtoi(value.c_str()));
    else if (key == L"--async") o.asyncDelay = _wtoi(value.c_str());
    else if (key == L"--contents")
      o.indexing = value == L"shell" ? kxtest::RawDropTarget::ContentsIndexing::ByRecord
                                     : kxtest::RawDropTarget::ContentsIndexing::AmongFiles;
    else if (key == L"--timeout") o.timeout = static_cast<DWORD>(_wtoi(value.c_str()));
    else if (key == L"--ready") o.ready = value;
    else if (key == L"--out") o.out = value;
  }
  return o;
}

void WriteResult(const Options& o, const std::string& text) {
  if (o.out.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return;
  }
  std::wstring partial = o.out + L".part";  // renamed into place so a reader never sees half a file
  HANDLE f = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
  MoveFileExW(partial.c_str(), o.out.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Options o = Parse(argc, argv);
  LocalFree(argv);

  if (FAILED(OleInitialize(nullptr))) return 2;
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"KxPeerDropTarget";
  RegisterClassExW(&wc);
  // Not activated: the source process keeps the foreground, and with it the mouse capture.
  HWND wnd = CreateWindowExW(WS_EX_NOACTIVATE, wc.lpszClassName, o.title.c_str(), WS_POPUP | WS_BORDER, o.rect.left,
                             o.rect.top, o.rect.right - o.rect.left, o.rect.bottom - o.rect.top, nullptr, nullptr,
                             wc.hInstance, nullptr);
  if (!wnd) return 2;
  ShowWindow(wnd, SW_SHOWNOACTIVATE);
  UpdateWindow(wnd);

  auto* target = new kxtest::RawDropTarget(o.effect);
  if (!o.reads.empty()) target->SetReads(o.reads);
  target->SetAsync(o.asyncDelay >= 0);
  target->SetContentsIndexing(o.indexing);
  if (o.dropEffect >= 0) target->SetDropAnswer(static_cast<DWORD>(o.dropEffect));
  target->SetPerformedEffect(o.performed);
  if (FAILED(target->Register(wnd))) return 2;

  if (!o.ready.empty()) {
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, o.ready.c_str());
    if (ready) {
      SetEvent(ready);
      CloseHandle(ready);
    }
  }

  DWORD start = GetTickCount(), droppedAt = 0;
  bool done = false;
  while (!done && GetTickCount() - start < o.timeout) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (target->drops > 0 && !droppedAt) droppedAt = GetTickCount();
    if (droppedAt && target->AsyncPending() && GetTickCount() - droppedAt >= static_cast<DWORD>(o.asyncDelay))
      target->CompleteAsync();
    done = droppedAt && !target->AsyncPending();
  }

  WriteResult(o, kxtest::FormatRawResult(*target));
  // COM sends the reply to Drop from another thread after Drop has returned: leaving at once could
  // end the process before the source hears that the drop succeeded.
  for (DWORD lingerStart = GetTickCount(); done && GetTickCount() - lingerStart < 300;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  target->Revoke();
  target->Release();
  DestroyWindow(wnd);
  OleUninitialize();
  return done ? 0 : 1;
}
