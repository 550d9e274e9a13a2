// A Kestrix application in its own process: a form with a memo bound to a TKXTextTarget that
// accepts every text kind. It waits for one drop (or the timeout), writes what arrived and exits:
// 0 after a drop, 1 on timeout.
//
// Arguments: --title T, --rect x,y,w,h, --timeout MS, --ready NAME, --out FILE.
// Result lines: text (UTF-8, hex), kind (the TDropTextFormat ordinal), x, y (client coordinates
// of OnDrop), effect (the TDropEffect ordinal reported), title (the URL title, hex).
#include <windows.h>

#include <cstdio>

#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "package/KestrixVcl.h"
#include "support/PeerSide.h"
#include "support/RawDropTarget.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;

int main() {
  auto args = kxtest::PeerArguments();
  TKestrixLibrary library;
  int x = 600, y = 100, w = 300, h = 200;
  if (args.count(L"rect")) swscanf(args[L"rect"].c_str(), L"%d,%d,%d,%d", &x, &y, &w, &h);
  const DWORD timeout = args.count(L"timeout") ? static_cast<DWORD>(_wtoi(args[L"timeout"].c_str())) : 20000;

  vcl::TForm form(nullptr);
  form.SetText(args.count(L"title") ? args[L"title"] : L"kx_peer_texttarget");
  form.SetBounds(x, y, w, h);
  auto* memo = new vcl::TMemo(&form);
  memo->SetParent(&form);
  memo->SetBounds(0, 0, w - 20, h - 40);
  auto* target = new TKXTextTarget(&form);
  target->setAcceptTextFormats({dtfURL, dtfIEHTML, dtfRichText, dtfText, dtfFiles, dtfCustom});
  target->setAcceptorControl(memo);
  std::string result;
  target->setOnDrop([&](TObject*, vcl::TWinControl*, const std::wstring& text, int dx, int dy) {
    char line[128];
    result = "text=" + kxtest::HexOf(vcl::Utf8FromUnicode(text)) + "\n";
    std::snprintf(line, sizeof line, "kind=%d\nx=%d\ny=%d\neffect=%d\n", target->getDroppedTextFormat(), dx, dy,
                  target->getDropEffect());
    result += line;
    result += "title=" + kxtest::HexOf(target->getURLTitle()) + "\n";
  });
  // Shown without taking the foreground from the source process, which holds the mouse capture.
  ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
  vcl::Application->ProcessMessages();
  kxtest::SignalPeerReady(args[L"ready"]);

  const DWORD start = GetTickCount();
  while (result.empty() && GetTickCount() - start < timeout) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    vcl::Application->ProcessMessages();
  }
  kxtest::WritePeerResult(args[L"out"], result.empty() ? "timeout=1\n" : result);
  return result.empty() ? 1 : 0;
}
