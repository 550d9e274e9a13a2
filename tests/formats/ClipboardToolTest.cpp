// The clipboard inspector (kxclip) run as its own process against a clipboard that a third
// process owns. Both are built for the test's own bitness: between 32- and 64-bit processes
// Wine's OLE clipboard cannot enumerate formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "formats/KXFileGroupBlock.h"
#include "framework/Handles.h"
#include "framework/SysUtils.h"
#include "support/TestSupport.h"

namespace {

struct TRun {
  DWORD exitCode = ~0u;
  std::string out, err;
};

// Reads whatever the pipe holds now without blocking.
void Drain(HANDLE pipe, std::string& into) {
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char chunk[4096];
    DWORD got = 0;
    if (!ReadFile(pipe, chunk, std::min<DWORD>(available, sizeof chunk), &got, nullptr) || got == 0) return;
    into.append(chunk, got);
  }
}

// Starts a program of the test's bin folder and collects its standard output and error.
TRun RunProgram(const std::wstring& program, const std::wstring& arguments, bool wait = true,
         vcl::TUniqueKernelHandle* process = nullptr) {
  TRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) return run;
  vcl::TUniqueKernelHandle outReader(outRead), outWriter(outWrite), errReader(errRead), errWriter(errWrite);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = outWrite;
  si.hStdError = errWrite;
  std::wstring commandLine = L"\"" + kxtest::ProgramFolder() + program + L"\" " + arguments;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "cannot start " << vcl::Utf8FromUnicode(commandLine);
    return run;
  }
  vcl::TUniqueKernelHandle child(pi.hProcess), thread(pi.hThread);
  outWriter.Reset();
  errWriter.Reset();
  if (!wait) {
    if (process) *process = std::move(child);
    return run;
  }
  const DWORD start = GetTickCount();
  while (WaitForSingleObject(child.Get(), 10) == WAIT_TIMEOUT) {
    Drain(outRead, run.out);
    Drain(errRead, run.err);
    if (GetTickCount() - start > 30000) {
      ADD_FAILURE() << "timed out: " << vcl::Utf8FromUnicode(commandLine);
      TerminateProcess(child.Get(), 99);
      break;
    }
  }
  Drain(outRead, run.out);
  Drain(errRead, run.err);
  GetExitCodeProcess(child.Get(), &run.exitCode);
  return run;
}

TRun Inspect(const std::wstring& arguments) { return RunProgram(L"kxclip.exe", arguments); }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ClipboardInspector, HelpExplainsTheCommandLine) {
  TRun help = Inspect(L"--help");
  EXPECT_EQ(help.exitCode, 0u);
  EXPECT_TRUE(Has(help.out, "Usage: kxclip")) << help.out;
  const struct {
    const wchar_t* arguments;
    const char* complaint;
  } mistakes[] = {
      {L"--tymed", "--tymed needs a number"},
      {L"--tymed 5", "--tymed takes one medium"},
      {L"--bytes -3", "--bytes needs a number of 0 or more"},
      {L"--frobnicate", "unknown option --frobnicate"},
  };
  for (const auto& m : mistakes) {
    TRun bad = Inspect(m.arguments);
    EXPECT_EQ(bad.exitCode, 1u) << m.complaint;
    EXPECT_TRUE(Has(bad.err, m.complaint)) << bad.err;
  }
}

TEST(ClipboardInspector, ShowsWhatAnotherProcessPutOnTheClipboard) {
  const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
  const std::wstring readyName = L"kx-clipboard-ready-" + tag, quitName = L"kx-clipboard-quit-" + tag;
  vcl::TUniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
  vcl::TUniqueKernelHandle quit(CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
  ASSERT_TRUE(ready && quit);

  const std::wstring text = L"Hello clipboard caf\u00E9 \u4E2D";
  // Two virtual files: one of more than 4 GiB written at a known time, and a folder.
  auto utf16 = [](std::wstring_view s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); };
  const std::string descriptor = kestrix::blocks::FileGroupBlock(
      {{utf16(L"report \u00E9.txt"), true, 0x100000005ull, 0x20, 133800000000000000ull},
       {utf16(L"pictures"), false, 0, kestrix::blocks::FileAttributeDirectory, 0}},
      true);
  std::wstring hex = L"hex:";
  for (unsigned char b : descriptor) hex += vcl::IntToHex(b, 2);
  vcl::TUniqueKernelHandle owner;
  RunProgram(L"kx_clipboard_owner.exe",
      readyName + L" " + quitName + L" \"" + text + L"\" \"HTML Format\" \"<b>caf\u00E9</b>\" FileGroupDescriptorW " + hex,
      false, &owner);
  ASSERT_TRUE(owner);
  HANDLE either[] = {ready.Get(), owner.Get()};
  ASSERT_EQ(WaitForMultipleObjects(2, either, FALSE, 20000), WAIT_OBJECT_0) << "the clipboard owner did not start";

  TRun list = Inspect(L"");
  EXPECT_EQ(list.exitCode, 0u) << list.err;
  EXPECT_TRUE(Has(list.out, "\"CF_UNICODETEXT\",13,TYMED_HGLOBAL,1,-1\n")) << list.out;
  EXPECT_TRUE(Has(list.out, "\"CF_TEXT\",1,TYMED_HGLOBAL,1,-1\n")) << list.out;
  EXPECT_TRUE(Has(list.out, "\"HTML Format\"," + std::to_string(RegisterClipboardFormatW(L"HTML Format")) +
                                ",TYMED_HGLOBAL,1,-1\n"))
      << list.out;

  TRun dump = Inspect(L"13 \"html format\" CF_TEXT");
  EXPECT_EQ(dump.exitCode, 0u) << dump.err;
  EXPECT_TRUE(Has(dump.out, "Format \"CF_UNICODETEXT\" (13), TYMED_HGLOBAL: ")) << dump.out;
  EXPECT_TRUE(Has(dump.out, "00000000  48 00 65 00 6c 00 6c 00  6f 00 20 00 63 00 6c 00  H.e.l.l.o. .c.l.\n"))
      << dump.out;
  EXPECT_TRUE(Has(dump.out, "Text (UTF-16):\n" + vcl::Utf8FromUnicode(text) + "\n")) << dump.out;
  EXPECT_TRUE(Has(dump.out, "Text (UTF-8):\n<b>caf\xC3\xA9</b>\n")) << dump.out;
  EXPECT_TRUE(Has(dump.out, "Text (ANSI):\nHello clipboard caf\xC3\xA9 ?\n")) << dump.out;

  TRun files = Inspect(L"FileGroupDescriptorW --bytes 0");
  EXPECT_EQ(files.exitCode, 0u) << files.err;
  EXPECT_TRUE(Has(files.out, "Files (2 records):\n"
                             "  \"report \xC3\xA9.txt\", 4294967301 bytes, attributes 0x00000020, written 2024-12-30 "
                             "02:40:00 UTC\n"
                             "  \"pictures\", folder, attributes 0x00000010\n"))
      << files.out;

  TRun missing = Inspect(L"CF_ENHMETAFILE");
  EXPECT_EQ(missing.exitCode, 4u);
  EXPECT_TRUE(Has(missing.err, "no data in format \"CF_ENHMETAFILE\" (14)")) << missing.err;
  for (const wchar_t* unknown : {L"0", L"70000", L"129"}) {
    TRun r = Inspect(unknown);
    EXPECT_EQ(r.exitCode, 3u) << vcl::Utf8FromUnicode(unknown);
    EXPECT_TRUE(Has(r.err, "unknown format")) << r.err;
  }

  SetEvent(quit.Get());
  ASSERT_EQ(WaitForSingleObject(owner.Get(), 20000), WAIT_OBJECT_0);
  DWORD ownerExit = ~0u;
  GetExitCodeProcess(owner.Get(), &ownerExit);
  EXPECT_EQ(ownerExit, 0u);

  TRun empty = Inspect(L"");  // the owner took its data away
  EXPECT_EQ(empty.exitCode, 2u) << empty.out;
  EXPECT_TRUE(Has(empty.err, "the clipboard is empty")) << empty.err;
}
