// A Kestrix application in its own process: a form with a memo bound to a TKXTextTarget that
// accepts every text kind. It waits for one drop (or the timeout), writes what arrived and exits:
// 0 after a drop, 1 on timeout.
//
// Arguments: --paste 1 (take the clipboard's contents instead of waiting for a drop),
// --title T, --rect x,y,w,h, --timeout MS, --ready NAME, --out FILE.
// Result lines: text (UTF-8, hex), kind (the TDropTextFormat ordinal), x, y (client coordinates
// of OnDrop), effect (the TDropEffect ordinal reported), title (the URL title, hex), titlew (the
// wide URL title, UTF-8, hex), fragment (the HTML fragment, UTF-8, hex).
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
  const kxtest::TPeerWindow window = kxtest::PeerWindowArguments(args, L"kx_peer_texttarget");

  vcl::TForm form(nullptr);
  form.SetText(window.Title);
  form.SetBounds(window.X, window.Y, window.W, window.H);
  auto* memo = new vcl::TMemo(&form);
  memo->SetParent(&form);
  memo->SetBounds(0, 0, window.W - 20, window.H - 40);
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
    result += "titlew=" + kxtest::HexOf(vcl::Utf8FromUnicode(target->getURLTitleW())) + "\n";
    result += "fragment=" + kxtest::HexOf(vcl::Utf8FromUnicode(target->getHTMLFragment())) + "\n";
  });
  kxtest::ShowAndAwaitDrop(form.Handle(), args, window.Timeout, [&] { return !result.empty(); },
                           [&] { return target->PasteFromClipboard(); });
  kxtest::WritePeerResult(args[L"out"], result.empty() ? "timeout=1\n" : result);
  return result.empty() ? 1 : 0;
}
