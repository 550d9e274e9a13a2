// Rendering a large Unicode text as CF_UNICODETEXT through the text data object, beside a plain
// memcpy of the same number of bytes into fresh memory. Prints milliseconds (best of the runs).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "bench/BenchClock.h"
#include "framework/ComObj.h"
#include "package/KestrixVcl.h"
#include "sources/KXTextDataObject.h"
#include "sources/KXTextSource.h"

using kxbench::Now;

int main() {
  kestrix::TKestrixLibrary library;
  constexpr size_t kBytes = 64u << 20;
  constexpr int kRuns = 5;
  std::wstring text(kBytes / sizeof(wchar_t), L'x');
  for (size_t i = 0; i < text.size(); i += 61) text[i] = static_cast<wchar_t>(L'a' + i % 26);

  kestrix::TKXTextSource source(nullptr);
  source.setText(text);
  auto data = vcl::TComPtr<IDataObject>::Attach(kestrix::TTextDataObject::createEx(text, &source));
  FORMATETC fe{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};

  double render = 1e300, copy = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    STGMEDIUM medium{};
    double t0 = Now();
    HRESULT hr = data->GetData(&fe, &medium);
    double t1 = Now();
    if (FAILED(hr)) {
      std::printf("GetData failed: %08lx\n", static_cast<unsigned long>(hr));
      return 1;
    }
    ReleaseStgMedium(&medium);
    render = std::min(render, t1 - t0);

    std::unique_ptr<char[]> target(new char[kBytes + sizeof(wchar_t)]);
    double t2 = Now();
    std::memcpy(target.get(), text.data(), kBytes);
    double t3 = Now();
    copy = std::min(copy, t3 - t2);
  }
  std::printf("CF_UNICODETEXT of %zu MiB: GetData %.1f ms, memcpy %.1f ms (ratio %.2f)\n", kBytes >> 20, render, copy,
              render / copy);
  return 0;
}
