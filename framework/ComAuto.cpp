#include "framework/ComAuto.h"

#include <type_traits>
#include <vector>

namespace vcl {

namespace {

const wchar_t* const sNoAutomationObject = L"Not an automation object";
const wchar_t* const sMethodNotSupported = L"Method '%s' not supported by automation object";
const wchar_t* const sArgumentPosition = L"%s (argument %d)";

[[noreturn]] void RaiseOleSysError(HRESULT hr) { throw EOleSysError(OleErrorMessage(hr), hr); }

// The exception record an Invoke fills; its strings are freed on every path.
struct TExcepInfo : EXCEPINFO {
  TExcepInfo() : EXCEPINFO{} {}
  TExcepInfo(const TExcepInfo&) = delete;
  TExcepInfo& operator=(const TExcepInfo&) = delete;
  ~TExcepInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
};

std::wstring TextOf(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

[[noreturn]] void RaiseOleException(TExcepInfo& info) {
  if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
  // An object may report its error by the 16-bit code alone; that code is not an HRESULT.
  HRESULT code = info.scode ? info.scode : DISP_E_EXCEPTION;
  std::wstring message = TextOf(info.bstrDescription);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
  if (message.empty()) message = OleErrorMessage(code);
  throw EOleException(std::move(message), code, TextOf(info.bstrSource), TextOf(info.bstrHelpFile), info.dwHelpContext);
}

}  // namespace

// ---- TOleVariant -----------------------------------------------------------------------------------

TOleVariant::TOleVariant(bool Value) : TOleVariant() {
  FValue.vt = VT_BOOL;
  FValue.boolVal = Value ? VARIANT_TRUE : VARIANT_FALSE;
}

TOleVariant::TOleVariant(int Value) : TOleVariant() {
  FValue.vt = VT_I4;
  FValue.lVal = Value;
}

TOleVariant::TOleVariant(double Value) : TOleVariant() {
  FValue.vt = VT_R8;
  FValue.dblVal = Value;
}

TOleVariant::TOleVariant(std::wstring_view Value) : TOleVariant() {
  FValue.bstrVal = TBStr(Value).Release();
  FValue.vt = VT_BSTR;
}

TOleVariant::TOleVariant(const TOleVariant& o) : TOleVariant() {
  HRESULT hr = VariantCopy(&FValue, const_cast<VARIANT*>(&o.FValue));
  if (FAILED(hr)) RaiseOleSysError(hr);
}

TOleVariant TOleVariant::Coerced(VARTYPE Type) const {
  TOleVariant result;
  HRESULT hr = VariantChangeTypeEx(result.Put(), const_cast<VARIANT*>(&FValue), LOCALE_USER_DEFAULT, 0, Type);
  if (FAILED(hr)) RaiseOleSysError(hr);
  return result;
}

bool TOleVariant::AsBoolean() const { return Coerced(VT_BOOL).FValue.boolVal != VARIANT_FALSE; }
int TOleVariant::AsInteger() const { return static_cast<int>(Coerced(VT_I4).FValue.lVal); }
double TOleVariant::AsDouble() const { return Coerced(VT_R8).FValue.dblVal; }
std::wstring TOleVariant::AsString() const { return TextOf(Coerced(VT_BSTR).FValue.bstrVal); }

// ---- TDispArg --------------------------------------------------------------------------------------

void TDispArg::Fill(TOleVariant& Arg) const {
  switch (FKind) {
    case kBoolean: Arg = TOleVariant(FInteger != 0); break;
    case kInteger: Arg = TOleVariant(static_cast<int>(FInteger)); break;
    case kDouble: Arg = TOleVariant(FDouble); break;
    case kString: Arg = TOleVariant(FText); break;
    case kVariant: Arg = *FVariant; break;
    case kStringRef: {
      VARIANT* v = Arg.Put();
      v->vt = VT_BYREF | VT_BSTR;
      v->pbstrVal = FBuffer->Slot();
      break;
    }
  }
}

// ---- creation and calls ------------------------------------------------------------------------------

TComPtr<IDispatch> CreateOleObject(const std::wstring& ClassName) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(ClassName.c_str(), &clsid);
  if (FAILED(hr)) RaiseOleSysError(hr);
  TComPtr<IDispatch> result;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch, result.PutVoid());
  if (FAILED(hr)) RaiseOleSysError(hr);
  if (!result) RaiseOleSysError(E_NOINTERFACE);
  return result;
}

TOleVariant OleCallMethod(IDispatch* Dispatch, const std::wstring& Name, std::initializer_list<TDispArg> Args) {
  if (!Dispatch) throw EOleSysError(sNoAutomationObject, E_POINTER);
  LPOLESTR names[] = {const_cast<LPOLESTR>(Name.c_str())};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = Dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr == DISP_E_UNKNOWNNAME) throw EOleSysError(Format(sMethodNotSupported, Name), hr);
  if (FAILED(hr)) RaiseOleSysError(hr);

  // Invoke takes the arguments last one first.
  const size_t count = Args.size();
  std::vector<TOleVariant> args(count);
  size_t i = count;
  for (const TDispArg& arg : Args) arg.Fill(args[--i]);
  static_assert(sizeof(TOleVariant) == sizeof(VARIANT) && std::is_standard_layout_v<TOleVariant>,
                "the argument array is passed as VARIANTs");
  DISPPARAMS params{count ? const_cast<VARIANT*>(&args[0].Get()) : nullptr, nullptr, static_cast<UINT>(count), 0};

  TOleVariant result;
  TExcepInfo info;
  UINT argErr = 0;
  // Calls whose result is used go as a method or a property read, as automation controllers send
  // them: objects built on type information answer a function that reads a value only to the latter.
  hr = Dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                        result.Put(), &info, &argErr);
  if (hr == DISP_E_EXCEPTION) RaiseOleException(info);
  if (FAILED(hr)) {
    std::wstring message = OleErrorMessage(hr);
    if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && argErr < count)
      message = Format(sArgumentPosition, message, static_cast<int>(count - argErr));
    throw EOleSysError(std::move(message), hr);
  }
  return result;
}

}  // namespace vcl
