// kxclip: shows what the clipboard offers through its OLE data object, format by format, and the
// data of the formats asked for; or puts text, files or virtual files there with the library's
// source components, for trying other applications by hand. Run "kxclip --help" for the command
// line.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/KXFileGroupBlock.h"
#include "formats/KXUtil.h"
#include "framework/ComObj.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "package/KestrixVcl.h"
#include "sources/KXFileSource.h"
#include "sources/KXTextSource.h"

namespace {

using namespace kestrix;

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitClipboardEmpty = 2,
  kExitUnknownFormat = 3,
  kExitNotAvailable = 4,
  kExitFailure = 5,
};

const wchar_t kUsage[] =
    L"Usage: kxclip [options] [FORMAT...]\n"
    L"\n"
    L"Without FORMAT, lists every format that the clipboard's data object offers, one line each:\n"
    L"  \"name\",id,medium,aspect,lindex\n"
    L"With FORMAT, prints the data of each format asked for: a hex dump, and the text where the\n"
    L"format holds text (CF_TEXT, CF_OEMTEXT, CF_UNICODETEXT, \"HTML Format\", ...), and one line per\n"
    L"file for a file group descriptor (\"FileGroupDescriptorW\", \"FileGroupDescriptor\").\n"
    L"\n"
    L"FORMAT is a format number (13, 0xC0F2), a standard name (CF_UNICODETEXT) or a registered\n"
    L"name (\"HTML Format\").\n"
    L"\n"
    L"Options:\n"
    L"  -l, --list     list the formats also when FORMAT is given\n"
    L"  --tymed N      ask for this storage medium: 1 global memory, 4 stream, 8 storage,\n"
    L"                 16 bitmap, 32 metafile picture, 64 enhanced metafile. By default the\n"
    L"                 first of these, in this order, that the data object says it has\n"
    L"  --lindex N     ask for this item index (default -1)\n"
    L"  --bytes N      dump at most N bytes of each format\n"
    L"  -h, --help     show this text\n"
    L"\n"
    L"Putting data on the clipboard (instead of reading it):\n"
    L"  --put-text TEXT        put TEXT (as Unicode and ANSI text)\n"
    L"  --html HTML            with --put-text, also offer HTML (\"HTML Format\", \"text/html\")\n"
    L"  --put-file PATH        put a file of the disk (CF_HDROP); may be repeated\n"
    L"  --put-virtual NAME=PATH  put a virtual file NAME whose contents are read from PATH when\n"
    L"                         a program pastes it; may be repeated\n"
    L"  --cut                  offer the data as cut (\"Preferred DropEffect\" move)\n"
    L"  --wait SECONDS         serve the clipboard this long at most (default 600) while it holds\n"
    L"                         virtual files; text and files stay after kxclip exits\n"
    L"\n"
    L"Exit codes: 0 success, 1 bad command line, 2 clipboard empty or unreadable,\n"
    L"3 unknown format, 4 data not available in the format asked for, 5 other failure.\n";

// ---- output: UTF-16 to a console, UTF-8 to a file or pipe ----

void Write(DWORD stdHandle, const std::wstring& text) {
  HANDLE out = GetStdHandle(stdHandle);
  if (!out || out == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  std::string bytes = vcl::Utf8FromUnicode(text);
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Print(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text); }
void PrintError(const std::wstring& text) { Write(STD_ERROR_HANDLE, L"kxclip: " + text + L"\n"); }

// ---- command line ----

// The media a data object is asked for when no medium is given, in order of preference.
const DWORD kMediaInOrder[] = {TYMED_HGLOBAL, TYMED_ISTREAM, TYMED_ISTORAGE, TYMED_GDI, TYMED_MFPICT, TYMED_ENHMF};

struct TOptions {
  bool list = false;
  bool help = false;
  std::optional<LONG> tymed;
  LONG lindex = -1;
  size_t maxBytes = SIZE_MAX;
  std::vector<std::wstring> formats;
  // ---- putting ----
  std::optional<std::wstring> putText;
  std::wstring html;
  std::vector<std::wstring> putFiles;
  std::vector<std::pair<std::wstring, std::wstring>> putVirtual;  // name, path of the contents
  bool cut = false;
  long long waitSeconds = 600;
  bool Puts() const { return putText || !putFiles.empty() || !putVirtual.empty(); }
};

// The text as an integer (decimal, or hexadecimal after "0x" or "$"); nothing when it is not one.
std::optional<long long> ParseNumber(const std::wstring& text) {
  int a = vcl::StrToIntDef(text, -1), b = vcl::StrToIntDef(text, -2);
  if (a != b) return std::nullopt;
  return a;
}

std::optional<TOptions> ParseCommandLine(const std::vector<std::wstring>& args) {
  TOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    auto value = [&]() -> std::optional<long long> {
      if (i + 1 >= args.size()) {
        PrintError(arg + L" needs a number");
        return std::nullopt;
      }
      auto number = ParseNumber(args[++i]);
      if (!number) PrintError(arg + L" needs a number, not \"" + args[i] + L"\"");
      return number;
    };
    if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
      options.help = true;
    } else if (arg == L"-l" || arg == L"--list") {
      options.list = true;
    } else if (arg == L"--tymed") {
      auto n = value();
      if (!n) return std::nullopt;
      if (std::find(std::begin(kMediaInOrder), std::end(kMediaInOrder), *n) == std::end(kMediaInOrder)) {
        PrintError(L"--tymed takes one medium: 1, 4, 8, 16, 32 or 64");
        return std::nullopt;
      }
      options.tymed = static_cast<LONG>(*n);
    } else if (arg == L"--lindex") {
      auto n = value();
      if (!n) return std::nullopt;
      options.lindex = static_cast<LONG>(*n);
    } else if (arg == L"--bytes") {
      auto n = value();
      if (!n) return std::nullopt;
      if (*n < 0) {
        PrintError(L"--bytes needs a number of 0 or more");
        return std::nullopt;
      }
      options.maxBytes = static_cast<size_t>(*n);
    } else if (arg == L"--put-text" || arg == L"--html" || arg == L"--put-file" || arg == L"--put-virtual") {
      if (i + 1 >= args.size()) {
        PrintError(arg + L" needs a value");
        return std::nullopt;
      }
      const std::wstring& text = args[++i];
      if (arg == L"--put-text") options.putText = text;
      else if (arg == L"--html") options.html = text;
      else if (arg == L"--put-file") options.putFiles.push_back(text);
      else if (const size_t eq = text.find(L'='); eq == std::wstring::npos || eq == 0 || eq + 1 == text.size()) {
        PrintError(L"--put-virtual needs NAME=PATH");
        return std::nullopt;
      } else {
        options.putVirtual.push_back({text.substr(0, eq), text.substr(eq + 1)});
      }
    } else if (arg == L"--cut") {
      options.cut = true;
    } else if (arg == L"--wait") {
      auto n = value();
      if (!n) return std::nullopt;
      options.waitSeconds = std::max<long long>(*n, 0);
    } else if (arg.size() > 1 && arg[0] == L'-' && !ParseNumber(arg)) {
      PrintError(L"unknown option " + arg + L" (see kxclip --help)");
      return std::nullopt;
    } else {
      options.formats.push_back(arg);
    }
  }
  return options;
}

// ---- formats ----

struct TFormat {
  UINT id = 0;
  std::wstring requestName;  // what DataObjGetFormat is given
  std::wstring displayName;
};

// A format named on the command line; nothing when the text names no format that can be asked for.
std::optional<TFormat> ResolveFormat(const std::wstring& text) {
  if (text.empty()) return std::nullopt;
  if (auto number = ParseNumber(text)) {
    if (*number < 1 || *number > 0xFFFF) return std::nullopt;
    UINT id = static_cast<UINT>(*number);
    std::wstring name = ClipboardFormatDisplayName(static_cast<int>(id));
    if (name.empty()) return std::nullopt;  // a predefined id without a name cannot be asked for by name
    return TFormat{id, id <= 16 ? vcl::IntToStr(id) : name, name};
  }
  for (int id = 1; id <= 16; ++id) {
    std::wstring name = ClipboardFormatDisplayName(id);
    if (CompareStringOrdinal(text.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL)
      return TFormat{static_cast<UINT>(id), vcl::IntToStr(id), name};
  }
  UINT id = ClipboardFormatFromString(text);  // registering a name is how any application names a format
  if (id == 0) return std::nullopt;
  std::wstring name = ClipboardFormatDisplayName(static_cast<int>(id));
  return TFormat{id, text, name.empty() ? text : name};
}

enum class TTextKind { None, Ansi, Oem, Utf16, Utf8 };

TTextKind TextKindOf(const TFormat& format) {
  switch (format.id) {
    case CF_TEXT: return TTextKind::Ansi;
    case CF_OEMTEXT: return TTextKind::Oem;
    case CF_UNICODETEXT: return TTextKind::Utf16;
    default: break;
  }
  static const struct {
    const wchar_t* name;
    TTextKind kind;
  } kTextFormats[] = {
      {L"HTML Format", TTextKind::Utf8},          {L"Rich Text Format", TTextKind::Ansi},
      {L"UniformResourceLocator", TTextKind::Ansi}, {L"UniformResourceLocatorW", TTextKind::Utf16},
      {L"FileName", TTextKind::Ansi},             {L"FileNameW", TTextKind::Utf16},
  };
  for (const auto& t : kTextFormats)
    if (CompareStringOrdinal(format.displayName.c_str(), -1, t.name, -1, TRUE) == CSTR_EQUAL) return t.kind;
  return TTextKind::None;
}

std::wstring DecodeText(const std::string& bytes, TTextKind kind) {
  if (kind == TTextKind::Utf16) {
    std::wstring text = UnicodeStringFromEncodedAnsiString(bytes);
    return text.substr(0, text.find(L'\0'));
  }
  std::string narrow = bytes.substr(0, bytes.find('\0'));
  UINT codePage = kind == TTextKind::Oem ? CP_OEMCP : kind == TTextKind::Utf8 ? CP_UTF8 : CP_ACP;
  int length = MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(std::max(length, 0)), L'\0');
  if (length > 0) MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()), text.data(), length);
  return text;
}

const wchar_t* TextKindName(TTextKind kind) {
  switch (kind) {
    case TTextKind::Ansi: return L"ANSI";
    case TTextKind::Oem: return L"OEM";
    case TTextKind::Utf16: return L"UTF-16";
    case TTextKind::Utf8: return L"UTF-8";
    default: return L"";
  }
}

std::wstring HexDump(const std::string& bytes, size_t maxBytes) {
  static const wchar_t kHex[] = L"0123456789abcdef";
  size_t shown = std::min(bytes.size(), maxBytes);
  std::wstring out;
  for (size_t line = 0; line < shown; line += 16) {
    out += vcl::IntToHex(line, 8) + L"  ";
    std::wstring ascii;
    for (size_t i = line; i < line + 16; ++i) {
      if (i < shown) {
        auto b = static_cast<unsigned char>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 15];
        out += L' ';
        ascii += b >= 0x20 && b < 0x7F ? static_cast<wchar_t>(b) : L'.';
      } else {
        out += L"   ";
      }
      if (i == line + 7) out += L' ';
    }
    out += L" " + ascii + L"\n";
  }
  if (shown < bytes.size()) out += L"... " + vcl::IntToStr(static_cast<long long>(bytes.size() - shown)) + L" more bytes\n";
  return out;
}

// ---- file group descriptors: one line per record ----

// Whether the format is a file group descriptor, and which form.
std::optional<bool> FileGroupFormIsWide(const TFormat& format) {
  for (bool wide : {true, false}) {
    const wchar_t* name = wide ? L"FileGroupDescriptorW" : L"FileGroupDescriptor";
    if (CompareStringOrdinal(format.displayName.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL) return wide;
  }
  return std::nullopt;
}

std::wstring FileTimeText(std::uint64_t time) {
  FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  SYSTEMTIME st{};
  if (!FileTimeToSystemTime(&ft, &st)) return L"(not a time)";
  return vcl::Format(L"%04d-%02d-%02d %02d:%02d:%02d UTC", int{st.wYear}, int{st.wMonth}, int{st.wDay}, int{st.wHour},
                     int{st.wMinute}, int{st.wSecond});
}

std::wstring DescribeFileGroup(const std::string& bytes, bool wide) {
  const std::vector<blocks::TFileGroupRecord> records = blocks::ReadFileGroup(bytes, wide);
  const std::uint32_t stated = blocks::ReadLE32(bytes, 0);
  std::wstring out = L"Files (" + vcl::IntToStr(static_cast<long long>(records.size())) + L" records";
  if (stated != records.size()) out += L"; the block states " + vcl::IntToStr(static_cast<long long>(stated));
  out += L"):\n";
  for (const blocks::TFileGroupRecord& r : records) {
    out += L"  \"" + DecodeText(std::string(blocks::Slice(bytes, r.Name)), wide ? TTextKind::Utf16 : TTextKind::Ansi) + L"\"";
    if (r.HasSize()) out += L", " + vcl::IntToStr(static_cast<long long>(r.Size)) + L" bytes";
    if (r.IsFolder()) out += L", folder";
    if (r.HasAttributes()) out += L", attributes 0x" + vcl::IntToHex(r.Attributes, 8);
    if (r.Flags & blocks::FileDescriptorHasWriteTime) out += L", written " + FileTimeText(r.LastWriteTime);
    out += L"\n";
  }
  return out;
}

// ---- data on each medium ----

std::string ReadWholeStream(IStream* stream) {
  constexpr size_t kLimit = size_t{256} << 20;  // a stream that never ends must not fill memory
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);  // not every stream can seek; then read from where it is
  std::string bytes;
  char chunk[65536];
  for (;;) {
    ULONG got = 0;
    HRESULT hr = stream->Read(chunk, sizeof chunk, &got);
    if (FAILED(hr) || got == 0 || got > sizeof chunk) break;
    bytes.append(chunk, got);
    if (bytes.size() >= kLimit) break;
  }
  return bytes;
}

std::wstring DescribeStorage(IStorage* storage) {
  std::wstring out;
  vcl::TComPtr<IEnumSTATSTG> elements;
  if (FAILED(storage->EnumElements(0, nullptr, 0, elements.Put())) || !elements) return L"(no elements readable)\n";
  STATSTG stat;
  for (int i = 0; i < 10000 && elements->Next(1, &stat, nullptr) == S_OK; ++i) {
    vcl::TCoTaskMem<wchar_t> name(stat.pwcsName);
    const wchar_t* type = stat.type == STGTY_STORAGE ? L"storage" : stat.type == STGTY_STREAM ? L"stream" : L"other";
    out += L"  " + std::wstring(type) + L" \"" + (name ? name.Get() : L"") + L"\", " +
           vcl::IntToStr(static_cast<long long>(stat.cbSize.QuadPart)) + L" bytes\n";
  }
  return out.empty() ? L"  (empty storage)\n" : out;
}

// Turns what DataObjGetFormat returned for the medium into bytes to dump, with a line about it.
// Takes over whatever handle or reference the result carries.
std::string BytesOfResult(const std::string& result, DWORD medium, std::wstring& about) {
  void* pointer = medium == TYMED_HGLOBAL ? nullptr : DecodePointerFromString(result).value_or(nullptr);
  switch (medium) {
    case TYMED_HGLOBAL:
      about = vcl::IntToStr(static_cast<long long>(result.size())) + L" bytes of global memory";
      return result;
    case TYMED_ISTREAM: {
      auto stream = vcl::TComPtr<IStream>::Attach(static_cast<IStream*>(pointer));
      std::string bytes = stream ? ReadWholeStream(stream.Get()) : std::string();
      about = vcl::IntToStr(static_cast<long long>(bytes.size())) + L" bytes read from a stream";
      return bytes;
    }
    case TYMED_ISTORAGE: {
      auto storage = vcl::TComPtr<IStorage>::Attach(static_cast<IStorage*>(pointer));
      about = L"a storage:\n" + (storage ? DescribeStorage(storage.Get()) : std::wstring());
      return {};
    }
    case TYMED_GDI: {
      vcl::TUniqueBitmap bitmap(static_cast<HBITMAP>(pointer));
      BITMAP info{};
      GetObjectW(bitmap.Get(), sizeof info, &info);
      about = vcl::Format(L"a bitmap of %d x %d pixels, %d bits per pixel", info.bmWidth, info.bmHeight,
                          int{info.bmBitsPixel});
      return {};
    }
    case TYMED_ENHMF: {
      vcl::TUniqueEnhMetaFile metafile(static_cast<HENHMETAFILE>(pointer));
      std::string bits(GetEnhMetaFileBits(metafile.Get(), 0, nullptr), '\0');
      GetEnhMetaFileBits(metafile.Get(), static_cast<UINT>(bits.size()), reinterpret_cast<BYTE*>(bits.data()));
      about = vcl::IntToStr(static_cast<long long>(bits.size())) + L" bytes of an enhanced metafile";
      return bits;
    }
    case TYMED_MFPICT: {
      METAFILEPICT pict{};
      if (result.size() < sizeof pict) return {};
      std::memcpy(&pict, result.data(), sizeof pict);
      vcl::TUniqueMetaFile metafile(pict.hMF);
      std::string bits(GetMetaFileBitsEx(metafile.Get(), 0, nullptr), '\0');
      GetMetaFileBitsEx(metafile.Get(), static_cast<UINT>(bits.size()), bits.data());
      about = vcl::Format(L"a metafile picture (mapping mode %d, extent %d x %d) of %d bytes", pict.mm,
                          pict.xExt, pict.yExt, static_cast<long long>(bits.size()));
      return bits;
    }
    default:
      return result;
  }
}

int DumpFormat(IDataObject* clipboard, const std::wstring& text, const TOptions& options) {
  std::optional<TFormat> format = ResolveFormat(text);
  if (!format) {
    PrintError(L"unknown format \"" + text + L"\": give a number from 1 to 65535 that names a format, "
               L"a standard name such as CF_TEXT, or a registered name");
    return kExitUnknownFormat;
  }
  DWORD medium = 0;
  if (options.tymed) {
    medium = static_cast<DWORD>(*options.tymed);
  } else {
    for (DWORD candidate : kMediaInOrder) {
      DataObjectTymed = static_cast<LONG>(candidate);
      DataObjectLindex = options.lindex;
      if (DataObjHasFormat(clipboard, format->requestName)) {
        medium = candidate;
        break;
      }
    }
  }
  std::wstring title = L"\"" + format->displayName + L"\" (" + vcl::IntToStr(format->id) + L")";
  std::string result;
  if (medium != 0) {
    DataObjectTymed = static_cast<LONG>(medium);
    DataObjectLindex = options.lindex;
    result = DataObjGetFormat(clipboard, format->requestName);
  }
  if (result.empty()) {
    PrintError(L"no data in format " + title + (options.tymed ? L" on " + StorageMediumDisplayName(*options.tymed)
                                                              : std::wstring()) +
               L" on the clipboard (run kxclip without arguments to see the formats offered)");
    return kExitNotAvailable;
  }
  std::wstring about;
  std::string bytes = BytesOfResult(result, medium, about);
  std::wstring out = L"Format " + title + L", " + StorageMediumDisplayName(static_cast<int>(medium)) + L": " +
                     about + (about.empty() || about.back() != L'\n' ? L"\n" : L"");
  out += HexDump(bytes, options.maxBytes);
  const std::optional<bool> fileGroupWide = FileGroupFormIsWide(*format);
  if (fileGroupWide && (medium == TYMED_HGLOBAL || medium == TYMED_ISTREAM)) out += DescribeFileGroup(bytes, *fileGroupWide);
  TTextKind kind = medium == TYMED_HGLOBAL || medium == TYMED_ISTREAM ? TextKindOf(*format) : TTextKind::None;
  if (kind != TTextKind::None) {
    std::wstring textOf = DecodeText(bytes, kind);
    out += L"Text (" + std::wstring(TextKindName(kind)) + L"):\n" + textOf;
    if (textOf.empty() || textOf.back() != L'\n') out += L"\n";
  }
  Print(out);
  return kExitOk;
}

// The formats the window manager's clipboard holds, for when the data object enumerates none
// (between 32- and 64-bit processes Wine's OLE clipboard enumerates nothing).
std::vector<UINT> WindowManagerFormats() {
  std::vector<UINT> ids;
  if (!OpenClipboard(nullptr)) return ids;
  for (UINT id = EnumClipboardFormats(0); id != 0 && ids.size() < 10000; id = EnumClipboardFormats(id)) ids.push_back(id);
  CloseClipboard();
  return ids;
}

int Run(const TOptions& options) {
  vcl::TComPtr<IDataObject> clipboard;
  HRESULT hr = OleGetClipboard(clipboard.Put());
  if (FAILED(hr) || !clipboard) {
    PrintError(L"cannot read the clipboard (OleGetClipboard failed with 0x" + vcl::IntToHex(static_cast<ULONG>(hr), 8) +
               L")");
    return kExitClipboardEmpty;
  }
  std::unique_ptr<vcl::TStringList> lines(DataObjFormatEtcList(clipboard.Get()));
  if (lines->Count() == 0) {
    std::vector<UINT> held = WindowManagerFormats();
    if (held.empty()) {
      PrintError(L"the clipboard is empty");
      return kExitClipboardEmpty;
    }
    std::wstring note = L"the clipboard's data object lists no formats; the clipboard holds these ids:";
    for (UINT id : held) note += L"\n  \"" + ClipboardFormatDisplayName(static_cast<int>(id)) + L"\"," + vcl::IntToStr(id);
    PrintError(note);
  }
  if (options.formats.empty() || options.list) {
    std::wstring out;
    for (int i = 0; i < lines->Count(); ++i) out += lines->Strings(i) + L"\n";
    Print(out);
  }
  int exitCode = kExitOk;
  for (const std::wstring& format : options.formats) {
    if (options.list || &format != &options.formats.front()) Print(L"\n");
    int code = DumpFormat(clipboard.Get(), format, options);
    if (exitCode == kExitOk) exitCode = code;
  }
  return exitCode;
}

// Puts what the command line names on the clipboard with the library's source components. Text
// and files are rendered into the system's clipboard when kxclip exits; virtual files are served
// until another program takes the clipboard or the wait ends.
int Put(const TOptions& options) {
  if (options.putText && (!options.putFiles.empty() || !options.putVirtual.empty())) {
    PrintError(L"--put-text cannot be combined with files");
    return kExitUsage;
  }
  std::unique_ptr<TKXTextSource> text;
  std::unique_ptr<TKXFileSource> files;
  bool copied = false;
  if (options.putText) {
    text = std::make_unique<TKXTextSource>(nullptr);
    text->setText(*options.putText);
    text->setHTML(options.html);
    copied = text->CopyToClipboard(options.cut);
  } else {
    files = std::make_unique<TKXFileSource>(nullptr);
    for (const std::wstring& path : options.putFiles) files->AddFile(path);
    for (const auto& [name, path] : options.putVirtual) {
      // The size the file has now (when it can be read), so that a program may ask for global memory.
      WIN32_FILE_ATTRIBUTE_DATA found;
      std::optional<std::uint64_t> size;
      if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &found))
        size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
      files->AddVirtualFile(name, size);
    }
    files->setOnGetContents([&](TObject*, int index, vcl::TStream& contents) {
      vcl::TFileStream from(options.putVirtual[static_cast<size_t>(index)].second, vcl::fmOpenRead | vcl::fmShareDenyWrite);
      contents.CopyFrom(from, 0);
    });
    copied = files->CopyToClipboard(options.cut);
  }
  if (!copied) {
    PrintError(L"cannot put the data on the clipboard");
    return kExitFailure;
  }
  if (options.putVirtual.empty()) return kExitOk;
  Print(L"Serving the clipboard's virtual files; kxclip ends when another program copies.\n");
  const DWORD start = GetTickCount();
  const DWORD limit = static_cast<DWORD>(std::min<long long>(options.waitSeconds, 86400) * 1000);
  while (files->getOnClipboard() && GetTickCount() - start < limit) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    vcl::Application->ProcessMessages();
  }
  return kExitOk;
}

std::vector<std::wstring> Arguments() {
  int count = 0;
  std::unique_ptr<wchar_t*, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < count; ++i) args.emplace_back(argv.get()[i]);
  return args;
}

}  // namespace

int main() {
  try {
    std::optional<TOptions> options = ParseCommandLine(Arguments());
    if (!options) return kExitUsage;
    if (options->help) {
      Print(kUsage);
      return kExitOk;
    }
    TKestrixLibrary library;  // initialises OLE on this thread
    return options->Puts() ? Put(*options) : Run(*options);
  } catch (const std::exception& e) {
    PrintError(vcl::UnicodeFromUtf8(e.what()));
    return kExitFailure;
  }
}
