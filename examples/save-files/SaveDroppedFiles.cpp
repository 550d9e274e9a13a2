// A window that saves whatever files are dropped on it into a folder: files from the file
// manager, and virtual files such as a mail program's attachments, whose contents exist only in
// the source until it is asked for them. It prints what became of each item.
//
//   SaveDroppedFiles.exe [FOLDER]          a window for use by hand; saves into FOLDER (by default
//                                          "Kestrix inbox" in the temporary folder)
//   SaveDroppedFiles.exe --self-check      drags a file on disk and a virtual file into its own
//                                          window with synthesized mouse input; exits 0 when both
//                                          were saved with their contents
#include <windows.h>

#include <cstdint>
#include <string>

#include <kestrix/formats/KXUtil.h>
#include <kestrix/framework/Controls.h>
#include <kestrix/framework/Streams.h>
#include <kestrix/package/KestrixVcl.h>
#include <kestrix/sources/KXFileSource.h>
#include <kestrix/targets/KXFileTarget.h>

#include "../common/ExampleWindow.h"
#include "../common/SelfCheck.h"

using namespace kestrix;

namespace {

std::string ReadFileBytes(const std::wstring& path) {
  vcl::TFileStream file(path, vcl::fmOpenRead);
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  file.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  vcl::TFileStream file(path, vcl::fmCreate);
  file.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool selfCheck = argc > 1 && std::wstring(argv[1]) == L"--self-check";
  const std::wstring inbox = argc > 1 && !selfCheck ? argv[1] : GetTempPathEx() + L"Kestrix inbox " + std::to_wstring(GetCurrentProcessId());
  TKestrixLibrary library;

  HWND wnd = example::CreateExampleWindow(L"KestrixSaveFilesExample", L"Drop files to save them", 100, 100);
  vcl::TWinControl window(nullptr, wnd);
  int drops = 0;

  // [snippet:save-files]
  TKXFileTarget target(nullptr);  // files on disk and virtual files, both by default
  target.setAcceptorControl(&window);
  target.setOnDrop([&](vcl::TObject*, vcl::TWinControl*, int, int) {
    // Contents are read now, while the drop is open: a mail program hands them over only as long
    // as its drag's data object lives.
    const int saved = target.SaveToFolder(inbox);  // safe, unique names; nothing is overwritten
    for (int i = 0; i < target.getFileCount(); ++i) {
      const TKXDroppedFile& item = target.getFile(i);
      const std::wstring where = target.getSavedPath(i);
      example::PrintUtf8((item.IsVirtual ? L"virtual " : L"on disk ") + item.Name + L": " +
                         (where.empty() ? L"not saved: " + target.getSaveResultText(i) : L"saved as " + where));
    }
    target.EndDrop(saved > 0);  // the source lets go, and learns whether the drop succeeded
    ++drops;
  });
  // [end]

  if (!selfCheck) return example::RunMessageLoop();

  // A file on disk and a virtual one with a folder and characters beyond the ANSI code page.
  const std::wstring onDisk = GetTempPathEx() + L"kestrix example " + std::to_wstring(GetCurrentProcessId()) + L".txt";
  const std::string diskBytes = "a file on disk\r\n", virtualBytes = std::string("attachment\0bytes", 16);
  WriteFileBytes(onDisk, diskBytes);
  TKXFileSource source(nullptr);
  source.AddFile(onDisk);
  source.AddVirtualFile(L"Mail\\Gr\u00FC\u00DFe \u4E2D\u6587.bin");
  source.setOnGetContents([&](vcl::TObject*, int, vcl::TStream& contents) {
    contents.WriteBuffer(virtualBytes.data(), static_cast<std::int64_t>(virtualBytes.size()));
  });
  example::PumpFor(300);
  if (!example::DragInto(wnd, source)) return 2;
  // The source lets the target finish in the background: OnDrop comes from the message loop.
  for (int i = 0; i < 100 && drops == 0; ++i) example::PumpFor(50);

  // The source names the virtual file's folder as an item of its own, before the file.
  int files = 0;
  bool ok = drops == 1;
  for (int i = 0; ok && i < target.getFileCount(); ++i) {
    const TKXDroppedFile& item = target.getFile(i);
    const std::wstring saved = target.getSavedPath(i);
    if (item.IsFolder) {
      const DWORD attributes = saved.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(saved.c_str());
      ok = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      continue;
    }
    ++files;
    ok = !saved.empty() && ReadFileBytes(saved) == (item.IsVirtual ? virtualBytes : diskBytes) &&
         (!item.IsVirtual || saved.find(L"\\Mail\\Gr\u00FC\u00DFe \u4E2D\u6587.bin") != std::wstring::npos);
  }
  ok = ok && files == 2 && GetFileAttributesW(onDisk.c_str()) != INVALID_FILE_ATTRIBUTES;  // copied, never moved
  DeleteFileW(onDisk.c_str());
  example::PrintUtf8(ok ? L"self-check passed" : L"self-check FAILED");
  return ok ? 0 : 1;
}
