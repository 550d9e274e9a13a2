// A Kestrix application in its own process: a form with a list bound to a TKXFileTarget. It waits
// for one drop (or the timeout), saves every dropped file under --folder, ends the drop and exits:
// 0 after a drop, 1 on timeout.
//
// Arguments: --paste 1 (take the clipboard's contents instead of waiting for a drop),
// --title T, --rect x,y,w,h, --timeout MS, --folder F, --ready NAME, --out FILE.
// Result lines: count, async (1 when the source finished the drop asynchronously), saved (files
// saved), for each item i: name<i> (UTF-8, hex), virtual<i>, folder<i>, size<i> (-1 when not stated),
// path<i> (where it was saved, UTF-8, hex); grown (how much the process's peak private memory
// grew from before the drop to after saving, in bytes).
#include <windows.h>

#include <psapi.h>

#include <string>

#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "package/KestrixVcl.h"
#include "support/PeerSide.h"
#include "support/RawDropTarget.h"
#include "targets/KXFileTarget.h"

using namespace kestrix;

namespace {

SIZE_T PeakPrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakPagefileUsage;
}

}  // namespace

int main() {
  auto args = kxtest::PeerArguments();
  TKestrixLibrary library;
  const kxtest::TPeerWindow window = kxtest::PeerWindowArguments(args, L"kx_peer_filetarget");

  vcl::TForm form(nullptr);
  form.SetText(window.Title);
  form.SetBounds(window.X, window.Y, window.W, window.H);
  auto* list = new vcl::TListBox(&form);
  list->SetParent(&form);
  list->SetBounds(0, 0, window.W - 20, window.H - 40);
  auto* target = new TKXFileTarget(&form);
  target->setAcceptorControl(list);
  std::string result;
  const SIZE_T peakBefore = PeakPrivateBytes();
  target->setOnDrop([&](TObject*, vcl::TWinControl*, int, int) {
    const int saved = target->SaveToFolder(args[L"folder"]);
    result = "count=" + std::to_string(target->getFileCount()) + "\n";
    result += "async=" + std::to_string(target->getDropIsAsynchronous() ? 1 : 0) + "\n";
    result += "saved=" + std::to_string(saved) + "\n";
    int files = 0;
    for (int i = 0; i < target->getFileCount(); ++i) {
      const TKXDroppedFile& file = target->getFile(i);
      const std::string n = std::to_string(i);
      result += "name" + n + "=" + kxtest::HexOf(vcl::Utf8FromUnicode(file.Name)) + "\n";
      result += "virtual" + n + "=" + std::to_string(file.IsVirtual ? 1 : 0) + "\n";
      result += "folder" + n + "=" + std::to_string(file.IsFolder ? 1 : 0) + "\n";
      files += file.IsFolder ? 0 : 1;
      result += "size" + n + "=" + (file.HasSize ? std::to_string(file.Size) : std::string("-1")) + "\n";
      result += "path" + n + "=" + kxtest::HexOf(vcl::Utf8FromUnicode(target->getSavedPath(i))) + "\n";
    }
    result += "grown=" + std::to_string(PeakPrivateBytes() - peakBefore) + "\n";
    target->EndDrop(saved == files);
  });
  kxtest::ShowAndAwaitDrop(form.Handle(), args, window.Timeout, [&] { return !result.empty(); },
                           [&] { return target->PasteFromClipboard(); });
  kxtest::WritePeerResult(args[L"out"], result.empty() ? "timeout=1\n" : result);
  return result.empty() ? 1 : 0;
}
