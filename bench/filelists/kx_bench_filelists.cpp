// Drops of long file lists on TKXFileTarget, through its IDropTarget as OLE calls it: a CF_HDROP
// list of 100,000 names, and a list of 10,000 names beside a file group descriptor of 100,000
// virtual items (each virtual name is matched against the real ones). Prints milliseconds (best of
// the runs) for DragEnter + Drop and the items taken; the goals are 1 s and 2 s. Names lie in a
// folder that does not exist, or in one of 2,000 files (most names then name no file).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/BenchDataObject.h"
#include "bench/BenchFileTarget.h"
#include "formats/KXFileGroupBlock.h"
#include "formats/KXUtilBlocks.h"
#include "framework/ComObj.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "package/KestrixVcl.h"
#include "targets/KXDropTargetBase.h"
#include "targets/KXFileTarget.h"

namespace {

constexpr int kRuns = 3;

std::string Utf16(const std::wstring& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

// A source offering an HDROP list and, when given one, a descriptor with FileContents.
class ListSource : public kxbench::TBenchDataObject {
 public:
  ListSource(const std::string& hdrop, const std::string& descriptor)
      : FHDROP(vcl::GlobalFromBytes(GMEM_MOVEABLE, hdrop.data(), hdrop.size(), hdrop.size())) {
    if (!descriptor.empty())
      FDescriptor = vcl::GlobalFromBytes(GMEM_MOVEABLE, descriptor.data(), descriptor.size(), descriptor.size());
  }
  STDMETHODIMP GetData(FORMATETC* fe, STGMEDIUM* m) override {
    if (!fe || !m) return E_INVALIDARG;
    std::memset(m, 0, sizeof *m);
    HGLOBAL block = Block(*fe);
    if (!block || !(fe->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    m->tymed = TYMED_HGLOBAL;
    m->hGlobal = OleDuplicateData(block, fe->cfFormat, GMEM_MOVEABLE);
    return m->hGlobal ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP QueryGetData(FORMATETC* fe) override {
    if (!fe) return E_INVALIDARG;
    if (fe->cfFormat == kestrix::CF_FILECONTENTS && FDescriptor) return fe->tymed & TYMED_ISTREAM ? S_OK : DV_E_TYMED;
    return Block(*fe) && (fe->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
  }

 private:
  HGLOBAL Block(const FORMATETC& fe) const {
    if (fe.cfFormat == CF_HDROP) return FHDROP.Get();
    if (fe.cfFormat == kestrix::CF_FILEGROUPDESCRIPTORW) return FDescriptor.Get();
    return nullptr;
  }
  vcl::TUniqueGlobal FHDROP, FDescriptor;
};

using BenchTarget = kxbench::TBenchFileTarget;

// Names of files that need not exist: the drop only lists them.
std::string HDROPOf(int count, const wchar_t* folder) {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) names.push_back(Utf16(folder + std::to_wstring(i) + L" listed file.txt"));
  return kestrix::blocks::HDROPBlockFromNames(names, true);
}

std::string DescriptorOf(int count) {
  std::vector<kestrix::blocks::TFileGroupEntry> entries(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) entries[static_cast<size_t>(i)].Name = Utf16(L"virtual " + std::to_wstring(i) + L".txt");
  return kestrix::blocks::FileGroupBlock(entries, true);
}

// Best time of DragEnter + Drop, and the items the last drop took.
double TimeDrop(BenchTarget& target, IDataObject* source, int& taken) {
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    POINTL pt{150, 150};
    DWORD effect = DROPEFFECT_COPY;
    const double t0 = kxbench::Now();
    target.DropTarget()->DragEnter(source, 0, pt, &effect);
    effect = DROPEFFECT_COPY;
    target.DropTarget()->Drop(source, 0, pt, &effect);
    best = std::min(best, kxbench::Now() - t0);
    taken = target.getFileCount();
    target.EndDrop();
  }
  return best;
}

}  // namespace

int main() {
  kestrix::TKestrixLibrary library;
  vcl::TForm form(nullptr);
  BenchTarget* target = BenchTarget::OnForm(form);

  // A folder of 2,000 files, 100,000 names of which are dropped (the rest do not exist).
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring existing = std::wstring(temp) + L"kx-bench-filelists\\";
  CreateDirectoryW(existing.c_str(), nullptr);
  for (int i = 0; i < 2000; ++i) {
    HANDLE h = CreateFileW((existing + std::to_wstring(i) + L" listed file.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }

  struct Case {
    const char* what;
    int real, virtuals;
    double goal;
    const wchar_t* folder = L"C:\\kx-bench-no-such-folder\\";
  };
  bool all = true;
  std::printf("%-44s %10s %8s %8s\n", "drop", "ms", "items", "goal ms");
  for (const Case& c : {Case{"CF_HDROP 20,000 names", 20000, 0, 1000}, Case{"CF_HDROP 100,000 names", 100000, 0, 1000},
                        Case{"CF_HDROP 100,000 names, 2,000 of them files", 100000, 0, 1000, existing.c_str()},
                        Case{"CF_HDROP 10,000 + descriptor 100,000", 10000, 100000, 2000}}) {
    vcl::TComPtr<IDataObject> source = vcl::MakeComObject<ListSource>(
        HDROPOf(c.real, c.folder), c.virtuals ? DescriptorOf(c.virtuals) : std::string());
    int taken = 0;
    const double ms = TimeDrop(*target, source.Get(), taken);
    std::printf("%-44s %10.1f %8d %8.0f\n", c.what, ms, taken, c.goal);
    all = all && taken == c.real + c.virtuals;
  }
  std::printf("every item taken: %s\n", all ? "yes" : "NO");
  for (int i = 0; i < 2000; ++i) DeleteFileW((existing + std::to_wstring(i) + L" listed file.txt").c_str());
  RemoveDirectoryW(existing.c_str());
  return all ? 0 : 1;
}
