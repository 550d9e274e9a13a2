// A window that accepts a link dragged from a web browser and prints the page's title, in UTF-16
// so that every character survives, and a selection of a page as its HTML fragment and the page
// it came from.
//
//   LinkDropWindow.exe                 a window for use by hand; close it to quit
//   LinkDropWindow.exe --self-check    drags a link with a title, as a browser offers it, and then a
//                                      selection with HTML into its own window with synthesized
//                                      mouse input; exits 0 when title and fragment arrived whole
#include <windows.h>

#include <string>

#include <kestrix/formats/KXUtil.h>
#include <kestrix/framework/Classes.h>
#include <kestrix/framework/Controls.h>
#include <kestrix/package/KestrixVcl.h>
#include <kestrix/sources/KXTextSource.h>
#include <kestrix/targets/KXTextTarget.h>

#include "../common/ExampleWindow.h"
#include "../common/SelfCheck.h"

using namespace kestrix;

namespace {

// What a browser offers for a link: its address, and a shortcut file named after the page, whose
// name is where the title comes from.
void OfferLink(TKXTextSource& source, const std::wstring& url, const std::wstring& title) {
  vcl::TStringList shortcut;
  shortcut.Add(title + L".url");
  TCustomFormatDataList* formats = source.getCustomFormatData();
  formats->Clear();
  formats->AddFormat(L"UniformResourceLocatorW", EncodedAnsiStringFromUnicodeString(url) + std::string(2, '\0'));
  formats->AddFormat(L"FileGroupDescriptorW", FileGroupDescriptorFromFileList(L"", shortcut));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool selfCheck = argc > 1 && std::wstring(argv[1]) == L"--self-check";
  TKestrixLibrary library;

  HWND wnd = example::CreateExampleWindow(L"KestrixLinkDropExample", L"Drop a link or a selection here", 100, 100);
  vcl::TWinControl window(nullptr, wnd);

  // [snippet:link-target]
  TKXTextTarget target(nullptr);
  target.setAcceptTextFormats({dtfURL, dtfIEHTML});  // a link wins when a drag offers both
  target.setAcceptorControl(&window);
  target.setOnDrop([&](vcl::TObject*, vcl::TWinControl*, const std::wstring& text, int, int) {
    if (target.getDroppedTextFormat() == dtfURL) {
      example::PrintUtf8(L"link: " + text);
      example::PrintUtf8(L"title: " + target.getURLTitleW());  // UTF-16: "Café 中文" stays whole
    } else {  // dtfIEHTML: the text is the whole block, header and page included
      example::PrintUtf8(L"fragment: " + target.getHTMLFragment());
      example::PrintUtf8(L"from: " + target.getHTMLSourceURL());  // empty for a browser's "text/html"
    }
  });
  // [end]

  if (!selfCheck) return example::RunMessageLoop();

  const std::wstring url = L"https://example.org/caf\u00E9", title = L"Caf\u00E9 \u4E2D\u6587";
  const std::wstring html = L"<b>caf\u00E9</b> \u4E2D\u6587";
  TKXTextSource source(nullptr);
  example::PumpFor(300);
  OfferLink(source, url, title);
  if (!example::DragInto(wnd, source)) return 2;
  example::PumpFor(100);
  const bool linkOK = target.getDroppedTextFormat() == dtfURL && target.getText() == url && target.getURLTitleW() == title;

  source.getCustomFormatData()->Clear();  // plain text with HTML beside it, as a page's selection
  source.setText(L"caf\u00E9 \u4E2D\u6587");
  source.setHTML(html);
  if (!example::DragInto(wnd, source)) return 2;
  example::PumpFor(100);
  const bool htmlOK = target.getDroppedTextFormat() == dtfIEHTML && target.getHTMLFragment() == html;

  example::PrintUtf8(linkOK && htmlOK ? L"self-check passed" : L"self-check FAILED");
  return linkOK && htmlOK ? 0 : 1;
}
