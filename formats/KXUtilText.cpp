#include "formats/KXUtilText.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "framework/Streams.h"

namespace kestrix {

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
