// Saving a 64 MiB virtual file that a source offers as a stream ("FileContents" on TYMED_ISTREAM)
// through TKXFileTarget, into a file by SaveToFolder and by SaveFileToStream, beside CopyFileW of a
// 64 MiB file on the same disk. Prints milliseconds (best of the runs) and how many times the
// copy's time each save takes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "bench/BenchClock.h"
#include "bench/BenchDataObject.h"
#include "bench/BenchFileTarget.h"
#include "formats/KXFileGroupBlock.h"
#include "framework/ComObj.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "package/KestrixVcl.h"
#include "targets/KXDropTargetBase.h"
#include "targets/KXFileTarget.h"

namespace {

constexpr size_t kBytes = size_t{64} << 20;
constexpr int kRuns = 5;

using kxbench::Now;

double Best(const std::function<void()>& prepare, const std::function<void()>& run) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    prepare();
    const double t0 = Now();
    run();
    best = std::min(best, Now() - t0);
  }
  return best;
}

// A source offering one item: a descriptor and its contents as a fresh stream over one block.
class StreamSource : public kxbench::TBenchDataObject {
 public:
  explicit StreamSource(HGLOBAL contents) : FContents(contents) {
    kestrix::blocks::TFileGroupEntry entry;
    const std::wstring name = L"big.bin";
    entry.Name.assign(reinterpret_cast<const char*>(name.data()), name.size() * 2);
    entry.HasSize = true;
    entry.Size = kBytes;
    const std::string block = kestrix::blocks::FileGroupBlock({entry}, true);
    FDescriptor = vcl::GlobalFromBytes(GMEM_MOVEABLE, block.data(), block.size(), block.size());
  }
  STDMETHODIMP GetData(FORMATETC* fe, STGMEDIUM* m) override {
    if (!fe || !m) return E_INVALIDARG;
    std::memset(m, 0, sizeof *m);
    if (fe->cfFormat == kestrix::CF_FILEGROUPDESCRIPTORW && (fe->tymed & TYMED_HGLOBAL)) {
      m->tymed = TYMED_HGLOBAL;
      m->hGlobal = OleDuplicateData(FDescriptor.Get(), kestrix::CF_FILEGROUPDESCRIPTORW, GMEM_MOVEABLE);
      return m->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    if (fe->cfFormat == kestrix::CF_FILECONTENTS && (fe->tymed & TYMED_ISTREAM) && fe->lindex == 0) {
      m->tymed = TYMED_ISTREAM;
      return CreateStreamOnHGlobal(FContents, FALSE, &m->pstm);
    }
    return DV_E_FORMATETC;
  }
  STDMETHODIMP QueryGetData(FORMATETC* fe) override {
    if (!fe) return E_INVALIDARG;
    if (fe->cfFormat == kestrix::CF_FILEGROUPDESCRIPTORW && (fe->tymed & TYMED_HGLOBAL)) return S_OK;
    return fe->cfFormat == kestrix::CF_FILECONTENTS && (fe->tymed & TYMED_ISTREAM) ? S_OK : DV_E_FORMATETC;
  }

 private:
  HGLOBAL FContents;
  vcl::TUniqueGlobal FDescriptor;
};

// The component's drop-target object, reached as OLE reaches it.
using BenchTarget = kxbench::TBenchFileTarget;

std::wstring TempFolder() {
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  std::wstring folder = std::wstring(path) + L"kx-bench-filetarget\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

int main() {
  kestrix::TKestrixLibrary library;
  const std::wstring folder = TempFolder();
  const std::wstring original = folder + L"original.bin", copy = folder + L"copy.bin";
  const std::wstring saved = folder + L"saved\\", savedFile = saved + L"big.bin", streamed = folder + L"streamed.bin";

  vcl::TUniqueGlobal contents(GlobalAlloc(GMEM_MOVEABLE, kBytes));
  {
    vcl::TGlobalLock lock(contents.Get());
    auto* bytes = lock.As<unsigned char>();
    for (size_t i = 0; i < kBytes; ++i) bytes[i] = static_cast<unsigned char>(i * 2654435761u >> 24);
    HANDLE file = CreateFileW(original.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD put = 0;
    WriteFile(file, bytes, static_cast<DWORD>(kBytes), &put, nullptr);
    CloseHandle(file);
  }

  vcl::TForm form(nullptr);
  BenchTarget* target = BenchTarget::OnForm(form);
  vcl::TComPtr<IDataObject> source = vcl::MakeComObject<StreamSource>(contents.Get());
  POINTL pt{150, 150};
  DWORD effect = DROPEFFECT_COPY;
  target->DropTarget()->DragEnter(source.Get(), 0, pt, &effect);
  effect = DROPEFFECT_COPY;
  target->DropTarget()->Drop(source.Get(), 0, pt, &effect);
  if (target->getFileCount() != 1) {
    std::printf("the drop was not taken\n");
    return 1;
  }

  const double copyTime = Best([&] { DeleteFileW(copy.c_str()); }, [&] { CopyFileW(original.c_str(), copy.c_str(), TRUE); });
  int savedCount = 0;
  const double folderTime = Best([&] { DeleteFileW(savedFile.c_str()); }, [&] { savedCount = target->SaveToFolder(saved); });
  bool streamedOK = false;
  const double streamTime = Best([&] { DeleteFileW(streamed.c_str()); }, [&] {
    vcl::TFileStream out(streamed, vcl::fmCreate);
    streamedOK = target->SaveFileToStream(0, out);
  });
  WIN32_FILE_ATTRIBUTE_DATA a{};
  GetFileAttributesExW(savedFile.c_str(), GetFileExInfoStandard, &a);
  const bool whole = savedCount == 1 && streamedOK && a.nFileSizeLow == kBytes && a.nFileSizeHigh == 0;

  std::printf("64 MiB virtual file (IStream) saved, best of %d runs\n", kRuns);
  std::printf("%-28s %10s %12s\n", "operation", "ms", "x CopyFileW");
  std::printf("%-28s %10.1f %12.2f\n", "CopyFileW (peer)", copyTime, 1.0);
  std::printf("%-28s %10.1f %12.2f\n", "SaveToFolder", folderTime, folderTime / copyTime);
  std::printf("%-28s %10.1f %12.2f\n", "SaveFileToStream (file)", streamTime, streamTime / copyTime);
  std::printf("saved whole: %s\n", whole ? "yes" : "NO");
  target->EndDrop();
  for (const std::wstring& f : {original, copy, savedFile, streamed}) DeleteFileW(f.c_str());
  RemoveDirectoryW(saved.c_str());
  RemoveDirectoryW(folder.c_str());
  return whole ? 0 : 1;
}
