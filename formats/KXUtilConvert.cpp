// KXUtil: format names to ids, and the byte converters.
#include <cstring>

#include "formats/KXUtil.h"
#include "framework/Handles.h"

namespace kestrix {

namespace {

template <class T>
std::string BytesOf(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class T>
T ValueOf(const std::string& data) {
  T value{};
  if (data.size() >= sizeof value) std::memcpy(&value, data.data(), sizeof value);
  return value;
}

}  // namespace

UINT ClipboardFormatFromString(const std::wstring& FormatName) {
  if (FormatName.empty()) return 0;
  int standard = vcl::StrToIntDef(FormatName, 0);
  if (standard >= 1 && standard <= 16) return static_cast<UINT>(standard);
  return RegisterClipboardFormatW(FormatName.c_str());
}

std::string EncodeDWORDToString(DWORD Value) { return BytesOf(Value); }
DWORD DecodeDWORDFromString(const std::string& Data) { return ValueOf<DWORD>(Data); }
std::string EncodeDoubleToString(double Value) { return BytesOf(Value); }
double DecodeDoubleFromString(const std::string& Data) { return ValueOf<double>(Data); }

std::string EncodePointerToString(const void* Value) { return BytesOf(Value); }

std::optional<void*> DecodePointerFromString(const std::string& Data) {
  if (Data.size() < sizeof(void*)) return std::nullopt;
  return ValueOf<void*>(Data);
}

std::string GetHandleDataToString(HGLOBAL Handle) {
  vcl::TGlobalLock lock(Handle);
  if (!lock) return {};
  return std::string(lock.As<const char>(), lock.Size());
}

HGLOBAL SetHandleDataFromString(const std::string& Data) {
  vcl::TUniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Data.size() + 1));
  if (!block) return nullptr;
  vcl::TGlobalLock lock(block.Get());
  if (lock) {  // a block that cannot be locked is handed back unfilled
    std::memcpy(lock.Ptr(), Data.data(), Data.size());
    lock.As<char>()[Data.size()] = '\0';
  }
  return block.Release();
}

std::string EncodedAnsiStringFromUnicodeString(const std::wstring& Text) {
  return std::string(reinterpret_cast<const char*>(Text.data()), Text.size() * sizeof(wchar_t));
}

std::wstring UnicodeStringFromEncodedAnsiString(std::string_view Data) {
  std::wstring text(Data.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), Data.data(), text.size() * sizeof(wchar_t));
  return text;
}

}  // namespace kestrix
