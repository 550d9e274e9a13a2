#include "framework/ComObj.h"

namespace vcl {

std::wstring OleErrorMessage(HRESULT hr) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text ? text : Format(L"OLE error %.8X", static_cast<unsigned long long>(static_cast<DWORD>(hr)));
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) message.pop_back();
  return message;
}

void OleCheck(HRESULT hr) {
  if (SUCCEEDED(hr)) return;
  throw EOleError(OleErrorMessage(hr), hr);
}

}  // namespace vcl
