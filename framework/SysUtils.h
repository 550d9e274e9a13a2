#pragma once
// The run-time library's exceptions, formatting and string helpers. Portable: what the operating
// system provides (code pages, locale comparison, files) lives in SysUtilsWin32.cpp and
// SysUtilsPosix.cpp.
#if defined(_WIN32)
#include <windows.h>
// Windows' headers map DeleteFile to DeleteFileW; the framework function keeps its own name.
#undef DeleteFile
#endif

#include <exception>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "framework/Export.h"

namespace vcl {

// Base of every framework exception: a message in UTF-16; what() gives it in UTF-8.
class KX_API Exception : public std::exception {
 public:
  explicit Exception(std::wstring message);
  const std::wstring& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  std::wstring FMessage;
  std::string FWhat;
};

#define KX_DECLARE_EXCEPTION(Name, Base)          \
  class KX_API Name : public Base {               \
   public:                                        \
    using Base::Base;                             \
  };

KX_DECLARE_EXCEPTION(EOutOfMemory, Exception)
KX_DECLARE_EXCEPTION(EAbort, Exception)
KX_DECLARE_EXCEPTION(EListError, Exception)
KX_DECLARE_EXCEPTION(EStringListError, Exception)
KX_DECLARE_EXCEPTION(EConvertError, Exception)
KX_DECLARE_EXCEPTION(EAbstractError, Exception)
KX_DECLARE_EXCEPTION(EInvalidOperation, Exception)
KX_DECLARE_EXCEPTION(EInvalidCast, Exception)
KX_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
KX_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
KX_DECLARE_EXCEPTION(EStreamError, Exception)
KX_DECLARE_EXCEPTION(EReadError, EStreamError)
KX_DECLARE_EXCEPTION(EWriteError, EStreamError)
KX_DECLARE_EXCEPTION(EFOpenError, EStreamError)
KX_DECLARE_EXCEPTION(EFCreateError, EStreamError)
KX_DECLARE_EXCEPTION(EOSError, Exception)

// An automation or OLE failure; ErrorCode is the HRESULT.
class KX_API EOleError : public Exception {
 public:
  EOleError(std::wstring message, long errorCode = 0) : Exception(std::move(message)), FErrorCode(errorCode) {}
  long ErrorCode() const noexcept { return FErrorCode; }

 private:
  long FErrorCode;
};

// Format: the framework's printf-like formatter. Specifiers: %d %u %x %X %s %f %g %e %%, with the
// flags '-' and '0', a width and a precision ("%.2f", "%-8s", "%4.4x"). A mismatch between a
// specifier and its argument, too few arguments, or a width that cannot be met raises EConvertError.
using TFormatArg = std::variant<long long, unsigned long long, double, std::wstring>;
KX_API std::wstring FormatV(const std::wstring& format, const std::vector<TFormatArg>& args);

namespace detail {
inline TFormatArg ToFormatArg(const std::wstring& s) { return s; }
inline TFormatArg ToFormatArg(const wchar_t* s) { return std::wstring(s ? s : L""); }
inline TFormatArg ToFormatArg(double d) { return d; }
template <class T>
TFormatArg ToFormatArg(T v) requires std::is_integral_v<T> {
  if constexpr (std::is_signed_v<T>) return static_cast<long long>(v);
  else return static_cast<unsigned long long>(v);
}
}  // namespace detail

template <class... Args>
std::wstring Format(const std::wstring& format, const Args&... args) {
  return FormatV(format, {detail::ToFormatArg(args)...});
}

KX_API std::wstring IntToStr(long long value);
KX_API std::wstring IntToHex(unsigned long long value, int digits);
// Decimal (optionally signed) integer, or "$"/"0x" hexadecimal; Default when the text is not one.
KX_API int StrToIntDef(const std::wstring& s, int defaultValue);
KX_API std::wstring UpperCase(const std::wstring& s);  // ASCII letters only
KX_API std::wstring LowerCase(const std::wstring& s);  // ASCII letters only
// Compares by the user's locale, ignoring case: <0, 0 or >0. Outside Windows: by character code,
// each character case-folded by the C library.
KX_API int AnsiCompareText(const std::wstring& a, const std::wstring& b);
// Compares by the user's locale, case-sensitive: <0, 0 or >0 (outside Windows: by character code).
KX_API int AnsiCompareStr(const std::wstring& a, const std::wstring& b);
KX_API std::wstring ExtractFileName(const std::wstring& path);
KX_API std::wstring ExtractFilePath(const std::wstring& path);
KX_API std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& ext);
KX_API bool FileExists(const std::wstring& path);
KX_API bool DeleteFile(const std::wstring& path);
KX_API int FileGetAttr(const std::wstring& path);  // -1 when the file does not exist

// Unicode <-> ANSI through the system ANSI code page (UTF-8 outside Windows); characters outside
// it become the code page's replacement character. All four keep embedded NULs; malformed UTF-8
// and unpaired surrogates become U+FFFD.
KX_API std::string AnsiFromUnicode(const std::wstring& s);
KX_API std::wstring UnicodeFromAnsi(const std::string& s);
KX_API std::string Utf8FromUnicode(const std::wstring& s);
KX_API std::wstring UnicodeFromUtf8(const std::string& s);

}  // namespace vcl
