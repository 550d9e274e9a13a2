#include "formats/KXUtilText.h"

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

#include "framework/ComCtrls.h"
#include "framework/Streams.h"

namespace kestrix {

namespace {

// What the control's stream callbacks work on. An exception must not unwind through the control,
// so a callback keeps it here, reports an error code (which ends the transfer) and the caller
// rethrows it once the message has returned.
struct RichEditTransfer {
  vcl::TMemoryStream Stream;
  std::exception_ptr Failure;
};

enum : DWORD { kCallbackFailed = 1 };

template <class Body>
DWORD GuardedCallback(DWORD_PTR Cookie, LONG* Done, Body body) {
  auto& transfer = *reinterpret_cast<RichEditTransfer*>(Cookie);
  try {
    LONG done = body(transfer.Stream);
    if (Done) *Done = done;
    return 0;
  } catch (...) {
    transfer.Failure = std::current_exception();
    if (Done) *Done = 0;
    return kCallbackFailed;
  }
}

// Hands the control the next bytes of the stream, at most Size of them; 0 bytes ends the data.
DWORD CALLBACK StreamInCallback(DWORD_PTR Cookie, LPBYTE Buffer, LONG Size, LONG* Done) {
  return GuardedCallback(Cookie, Done, [&](vcl::TMemoryStream& stream) -> LONG {
    const std::int64_t remaining = stream.Size() - stream.Position();
    if (!Buffer || Size <= 0 || remaining <= 0) return 0;
    return static_cast<LONG>(stream.Read(Buffer, std::min<std::int64_t>(Size, remaining)));
  });
}

DWORD CALLBACK StreamOutCallback(DWORD_PTR Cookie, LPBYTE Buffer, LONG Size, LONG* Done) {
  return GuardedCallback(Cookie, Done, [&](vcl::TMemoryStream& stream) -> LONG {
    if (!Buffer || Size <= 0) return 0;
    stream.WriteBuffer(Buffer, Size);
    return Size;
  });
}

void Transfer(vcl::TCustomRichEdit& RichEdit, UINT Message, WPARAM Format, RichEditTransfer& Data,
              EDITSTREAMCALLBACK Callback) {
  EDITSTREAM request{};
  request.dwCookie = reinterpret_cast<DWORD_PTR>(&Data);
  request.pfnCallback = Callback;
  SendMessageW(RichEdit.Handle(), Message, Format, reinterpret_cast<LPARAM>(&request));
  if (Data.Failure) std::rethrow_exception(Data.Failure);
}

WPARAM StreamFormat(bool IsRTF) { return IsRTF ? SF_RTF : SF_TEXT; }

}  // namespace

vcl::TStringList* TokenizeRaw(const std::wstring& Text, const std::vector<wchar_t>& Separators) {
  auto list = std::make_unique<vcl::TStringList>();
  const std::wstring separators(Separators.begin(), Separators.end());
  size_t start = 0;
  for (size_t split; !separators.empty() && (split = Text.find_first_of(separators, start)) != std::wstring::npos;
       start = split + 1)
    list->Add(Text.substr(start, split - start));
  list->Add(Text.substr(start));
  return list.release();
}

vcl::TStringList* Tokenize(const std::wstring& Text, const std::vector<wchar_t>& Separators) {
  std::unique_ptr<vcl::TStringList> list(TokenizeRaw(Text, Separators));
  for (int i = list->Count() - 1; i >= 0; --i)
    if (list->Strings(i).empty()) list->Delete(i);
  return list.release();
}

void AddContentToRichEdit(const std::wstring& Content, vcl::TCustomRichEdit* RichEdit, bool IsRTF,
                          bool ReplaceSelection) {
  if (!RichEdit) return;
  RichEditTransfer data;
  const std::string bytes = vcl::AnsiFromUnicode(Content);
  data.Stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  data.Stream.SetPosition(0);
  if (!ReplaceSelection) {
    RichEdit->SetSelStart(-1);
    RichEdit->SetSelLength(0);
  }
  Transfer(*RichEdit, EM_STREAMIN, StreamFormat(IsRTF) | SFF_SELECTION, data, StreamInCallback);
}

std::wstring GetContentFromRichEdit(vcl::TCustomRichEdit* RichEdit, bool IsRTF, bool SelectionOnly) {
  if (!RichEdit) return {};
  RichEditTransfer data;
  Transfer(*RichEdit, EM_STREAMOUT, StreamFormat(IsRTF) | (SelectionOnly ? SFF_SELECTION : 0), data,
           StreamOutCallback);
  return vcl::UnicodeFromAnsi(
      std::string(reinterpret_cast<const char*>(data.Stream.Memory()), static_cast<size_t>(data.Stream.Size())));
}

bool ConvertUnicodeFileToAnsi(const std::wstring& FileName) {
  std::string bytes;
  {
    vcl::TFileStream file(FileName, vcl::fmOpenRead | vcl::fmShareDenyWrite);
    bytes.resize(static_cast<size_t>(file.Size()));
    file.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  if (bytes.find('\0') == std::string::npos) return false;
  std::wstring text(bytes.size() / 2, L'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  text.resize(std::min(text.size(), text.find(L'\0')));
  std::string ansi = vcl::AnsiFromUnicode(text);
  vcl::TFileStream out(FileName, vcl::fmCreate);
  out.WriteBuffer(ansi.data(), static_cast<std::int64_t>(ansi.size()));
  return true;
}

}  // namespace kestrix
