#pragma once
// Automation: objects created by programmatic identifier and their methods called by name through
// IDispatch (late binding), with owners for the BSTRs and VARIANTs that such calls trade in.
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "framework/ComObj.h"

namespace vcl {

// An OLE or automation call failed; ErrorCode is its HRESULT.
class KX_API EOleSysError : public EOleError {
 public:
  using EOleError::EOleError;
};

// A method of an automation object raised an exception (DISP_E_EXCEPTION). The message is the
// object's description of it; ErrorCode its SCODE; Source the name the object gave itself.
class KX_API EOleException : public EOleSysError {
 public:
  EOleException(std::wstring message, long errorCode, std::wstring source, std::wstring helpFile, DWORD helpContext)
      : EOleSysError(std::move(message), errorCode),
        FSource(std::move(source)),
        FHelpFile(std::move(helpFile)),
        FHelpContext(helpContext) {}
  const std::wstring& Source() const noexcept { return FSource; }
  const std::wstring& HelpFile() const noexcept { return FHelpFile; }
  DWORD HelpContext() const noexcept { return FHelpContext; }

 private:
  std::wstring FSource;
  std::wstring FHelpFile;
  DWORD FHelpContext;
};

// Owns a BSTR (freed with SysFreeString). A BSTR may hold any bytes, including an odd count.
class TBStr {
 public:
  TBStr() = default;
  // A copy of Text; raises EOutOfMemory when it cannot be allocated.
  explicit TBStr(std::wstring_view Text) : FStr(Allocate(Text.data(), Text.size())) {}
  TBStr(TBStr&& o) noexcept : FStr(std::exchange(o.FStr, nullptr)) {}
  TBStr& operator=(TBStr&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.FStr, nullptr));
    return *this;
  }
  TBStr(const TBStr&) = delete;
  TBStr& operator=(const TBStr&) = delete;
  ~TBStr() { Reset(); }

  // Length characters, all zero.
  static TBStr OfLength(UINT Length) {
    TBStr s;
    s.FStr = Allocate(nullptr, Length);
    return s;
  }

  BSTR Get() const { return FStr; }
  // The slot itself, for a by-reference argument: the callee may free what is there and store a
  // new string, which this owner then frees.
  BSTR* Slot() { return &FStr; }
  // Frees what is held and returns the slot for an out-parameter.
  BSTR* Put() {
    Reset();
    return &FStr;
  }
  BSTR Release() { return std::exchange(FStr, nullptr); }
  void Reset(BSTR Value = nullptr) {
    if (FStr && FStr != Value) SysFreeString(FStr);
    FStr = Value;
  }
  UINT Length() const { return SysStringLen(FStr); }          // 0 for a null BSTR
  UINT ByteLength() const { return SysStringByteLen(FStr); }  // 0 for a null BSTR
  std::wstring ToString() const { return FStr ? std::wstring(FStr, SysStringLen(FStr)) : std::wstring(); }

 private:
  static BSTR Allocate(const wchar_t* Text, size_t Length) {
    BSTR s = Length <= 0x7FFFFFF0u ? SysAllocStringLen(Text, static_cast<UINT>(Length)) : nullptr;
    if (!s) throw EOutOfMemory(L"Out of memory");
    if (!Text) std::memset(s, 0, Length * sizeof(wchar_t));  // the system leaves it uninitialised
    return s;
  }

  BSTR FStr = nullptr;
};

// Owns a VARIANT (cleared with VariantClear); copies are deep. The As... conversions follow the
// system's variant coercion and raise EOleSysError (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, ...)
// when the value does not convert; an empty variant reads as False, 0 and "".
class KX_API TOleVariant {
 public:
  TOleVariant() { VariantInit(&FValue); }
  TOleVariant(bool Value);
  TOleVariant(int Value);
  TOleVariant(double Value);
  TOleVariant(std::wstring_view Value);
  TOleVariant(const wchar_t* Value) : TOleVariant(std::wstring_view(Value ? Value : L"")) {}
  TOleVariant(const char*) = delete;  // narrow text would silently turn into a Boolean
  TOleVariant(const TOleVariant& o);
  TOleVariant(TOleVariant&& o) noexcept : FValue(o.FValue) { VariantInit(&o.FValue); }
  TOleVariant& operator=(TOleVariant o) noexcept {
    std::swap(FValue, o.FValue);
    return *this;
  }
  ~TOleVariant() { VariantClear(&FValue); }

  const VARIANT& Get() const { return FValue; }
  // Clears what is held and returns the variant for an out-parameter.
  VARIANT* Put() {
    VariantClear(&FValue);
    return &FValue;
  }
  VARTYPE VarType() const { return FValue.vt; }
  bool IsEmpty() const { return FValue.vt == VT_EMPTY; }

  bool AsBoolean() const;
  int AsInteger() const;
  double AsDouble() const;
  std::wstring AsString() const;

 private:
  // A copy of the value coerced to Type.
  TOleVariant Coerced(VARTYPE Type) const;

  VARIANT FValue;
};

// One positional argument of a late-bound call: a value (Boolean, integer, floating point, string
// or variant), or a string buffer passed by reference (VT_BYREF | VT_BSTR) that the callee may fill
// or replace. An argument only refers to what it was made from, which must outlive the call; that
// holds for temporaries in the call's own argument list.
class KX_API TDispArg {
 public:
  TDispArg(bool Value) : FKind(kBoolean), FInteger(Value) {}
  TDispArg(int Value) : FKind(kInteger), FInteger(Value) {}
  TDispArg(long Value) : FKind(kInteger), FInteger(Value) {}
  TDispArg(double Value) : FKind(kDouble), FDouble(Value) {}
  TDispArg(const wchar_t* Value) : FKind(kString), FText(Value ? Value : L"") {}
  TDispArg(const std::wstring& Value) : FKind(kString), FText(Value) {}
  TDispArg(const char*) = delete;  // narrow text would silently turn into a Boolean
  TDispArg(TBStr& Buffer) : FKind(kStringRef), FBuffer(&Buffer) {}
  TDispArg(const TOleVariant& Value) : FKind(kVariant), FVariant(&Value) {}

  // Fills Arg with this argument, as Invoke takes it; a string becomes a new BSTR that Arg owns.
  void Fill(TOleVariant& Arg) const;

 private:
  enum TKind { kBoolean, kInteger, kDouble, kString, kStringRef, kVariant };

  TKind FKind;
  long FInteger = 0;
  double FDouble = 0;
  std::wstring_view FText;
  TBStr* FBuffer = nullptr;
  const TOleVariant* FVariant = nullptr;
};

// Creates the object registered under the programmatic identifier ClassName (in-process or local
// server) and returns its IDispatch. Raises EOleSysError with the HRESULT when the identifier is
// not registered (CO_E_CLASSSTRING), no server answers, or the object has no IDispatch.
KX_API TComPtr<IDispatch> CreateOleObject(const std::wstring& ClassName);

// Calls the method Name of Dispatch with Args in their natural order (first argument first) and
// returns its result (empty when it has none). The call goes with DISPATCH_METHOD and, since the
// result is used, DISPATCH_PROPERTYGET, so a value a method name reads is answered too. By-reference buffers hold the callee's strings
// afterwards. Raises EOleException when the method raises one, EOleSysError when the object does
// not know the name or refuses the call (DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH, ...), and
// EOleSysError with E_POINTER for a nil Dispatch.
KX_API TOleVariant OleCallMethod(IDispatch* Dispatch, const std::wstring& Name, std::initializer_list<TDispArg> Args = {});

}  // namespace vcl
