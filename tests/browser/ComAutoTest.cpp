// Late-bound automation: objects created by programmatic identifier and methods called by name,
// against an in-process IDispatch double and against a real object of the system.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/ComAuto.h"

using vcl::EOleException;
using vcl::EOleSysError;
using vcl::OleCallMethod;
using vcl::TBStr;
using vcl::TComPtr;
using vcl::TOleVariant;

namespace {

// The deferred filling-in of an exception record (a stdcall function, as OLE calls it).
HRESULT STDAPICALLTYPE FillInLater(EXCEPINFO* info) {
  info->scode = E_ACCESSDENIED;
  info->bstrDescription = SysAllocString(L"Filled in later");
  return S_OK;
}

// An automation object answering a few methods by name that let the tests see what arrived.
class TTestDispatch : public vcl::TInterfacedObjectImpl<IDispatch> {
 public:
  struct TArg {
    VARTYPE Type;
    std::wstring Text;
    bool operator==(const TArg&) const = default;
  };
  std::vector<TArg> Recorded;
  WORD Flags = 0;
  TOleVariant Answer;

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT /*index*/, LCID /*lcid*/, ITypeInfo** /*info*/) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names, UINT count, LCID /*lcid*/, DISPID* ids) override {
    for (DISPID i = 0; i < static_cast<DISPID>(std::size(kNames)); ++i)
      if (count == 1 && std::wcscmp(names[0], kNames[i]) == 0) {
        ids[0] = i + 1;
        return S_OK;
      }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID /*riid*/, LCID /*lcid*/, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override {
    Flags = flags;
    const UINT n = params->cArgs;
    auto arg = [&](UINT i) -> VARIANT& { return params->rgvarg[n - 1 - i]; };
    switch (id) {
      case 1:  // Record: every argument's type and value, first argument first
        Recorded.clear();
        for (UINT i = 0; i < n; ++i) Recorded.push_back({arg(i).vt, TextOf(arg(i))});
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(n);
        return S_OK;
      case 2: {  // Fill: raw bytes placed at the start of the caller's buffer
        if (n != 1 || arg(0).vt != (VT_BYREF | VT_BSTR)) return DISP_E_TYPEMISMATCH;
        std::memcpy(*arg(0).pbstrVal, "\x01\x02" "ABC", 5);
        return S_OK;
      }
      case 3:  // Replace: the caller's buffer replaced by a new string
        if (n != 1 || arg(0).vt != (VT_BYREF | VT_BSTR)) return DISP_E_TYPEMISMATCH;
        SysFreeString(*arg(0).pbstrVal);
        *arg(0).pbstrVal = SysAllocString(L"replaced");
        return S_OK;
      case 4:  // Answer
        return VariantCopy(result, const_cast<VARIANT*>(&Answer.Get()));
      case 5:  // Raise
        excep->scode = static_cast<SCODE>(0x80041234);
        excep->bstrSource = SysAllocString(L"TestObject");
        excep->bstrDescription = SysAllocString(L"Nothing to read\r\n");
        excep->bstrHelpFile = SysAllocString(L"test.hlp");
        excep->dwHelpContext = 7;
        return DISP_E_EXCEPTION;
      case 6:  // RaiseLater: the record is filled in only when asked for
        excep->pfnDeferredFillIn = FillInLater;
        return DISP_E_EXCEPTION;
      case 7:  // RaiseByCode: a 16-bit code and no text
        excep->wCode = 1001;
        return DISP_E_EXCEPTION;
      case 8:  // Strict: exactly (string, integer)
        if (n != 2) return DISP_E_BADPARAMCOUNT;
        if (arg(1).vt != VT_I4) {
          *argErr = n - 1 - 1;
          return DISP_E_TYPEMISMATCH;
        }
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  static constexpr const wchar_t* kNames[] = {L"Record", L"Fill", L"Replace", L"Answer",
                                              L"Raise", L"RaiseLater", L"RaiseByCode", L"Strict"};

  static std::wstring TextOf(const VARIANT& v) {
    switch (v.vt) {
      case VT_BSTR: return std::wstring(v.bstrVal, SysStringLen(v.bstrVal));
      case VT_BYREF | VT_BSTR: return std::wstring(*v.pbstrVal, SysStringLen(*v.pbstrVal));
      case VT_I4: return std::to_wstring(v.lVal);
      case VT_BOOL: return v.boolVal == VARIANT_TRUE ? L"true" : v.boolVal == VARIANT_FALSE ? L"false" : L"?";
      case VT_R8: return std::to_wstring(v.dblVal);
      default: return L"?";
    }
  }
};

TComPtr<TTestDispatch> NewDouble() { return TComPtr<TTestDispatch>(new TTestDispatch); }

// A key of HKEY_CLASSES_ROOT, removed with its subkeys when the owner goes.
class TClassesKey {
 public:
  TClassesKey(const std::wstring& key, const std::wstring& value) : FKey(key) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(k);
    }
  }
  ~TClassesKey() {
    std::wstring top = FKey.substr(0, FKey.find(L'\\'));
    RegDeleteTreeW(HKEY_CLASSES_ROOT, top.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, top.c_str());
  }

 private:
  std::wstring FKey;
};

}  // namespace

TEST(ComAuto, ArgumentsArriveInTheirNaturalOrderAndTypes) {
  auto object = NewDouble();
  std::wstring url = L"http://pictures.test/a.gif";
  TOleVariant result = OleCallMethod(object.Get(), L"Record", {url, 0, L"", 7, true, 2.5, TOleVariant(L"v")});
  EXPECT_EQ(result.AsInteger(), 7);
  using A = TTestDispatch::TArg;
  EXPECT_EQ(object->Recorded, (std::vector<A>{{VT_BSTR, url},
                                               {VT_I4, L"0"},
                                               {VT_BSTR, L""},
                                               {VT_I4, L"7"},
                                               {VT_BOOL, L"true"},
                                               {VT_R8, L"2.500000"},
                                               {VT_BSTR, L"v"}}));
  EXPECT_EQ(object->Flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);

  EXPECT_EQ(OleCallMethod(object.Get(), L"Record").AsInteger(), 0);
  EXPECT_TRUE(object->Recorded.empty());
}

TEST(ComAuto, ByReferenceBufferHoldsWhatTheCalleeLeftThere) {
  auto object = NewDouble();
  TBStr buffer = TBStr::OfLength(8);
  BSTR storage = buffer.Get();
  OleCallMethod(object.Get(), L"Record", {buffer, 1});
  ASSERT_EQ(object->Recorded.size(), 2u);
  EXPECT_EQ(object->Recorded[0].Type, VT_BYREF | VT_BSTR);
  EXPECT_EQ(object->Recorded[0].Text, std::wstring(8, L'\0'));

  OleCallMethod(object.Get(), L"Fill", {buffer});
  EXPECT_EQ(buffer.Get(), storage);
  EXPECT_EQ(buffer.ByteLength(), 16u);
  EXPECT_EQ(std::memcmp(buffer.Get(), "\x01\x02" "ABC", 5), 0);

  OleCallMethod(object.Get(), L"Replace", {buffer});
  EXPECT_EQ(buffer.ToString(), L"replaced");
}

TEST(ComAuto, ResultsConvertLikeVariants) {
  auto object = NewDouble();
  auto answer = [&](TOleVariant v) {
    object->Answer = std::move(v);
    return OleCallMethod(object.Get(), L"Answer");
  };
  TOleVariant text = answer(TOleVariant(L"42"));
  EXPECT_EQ(text.AsInteger(), 42);
  EXPECT_EQ(text.AsString(), L"42");
  // A method that answers nothing reads as False, 0 and "".
  TOleVariant empty = answer(TOleVariant());
  EXPECT_FALSE(empty.AsBoolean());
  EXPECT_EQ(empty.AsInteger(), 0);
  EXPECT_EQ(empty.AsString(), L"");

  TOleVariant null;
  null.Put()->vt = VT_NULL;
  EXPECT_THROW(answer(null).AsString(), EOleSysError);
  EXPECT_THROW(answer(TOleVariant(L"abc")).AsInteger(), EOleSysError);

  // Copies are deep: a string outlives the variant it was copied from.
  TOleVariant copy;
  {
    TOleVariant original(L"kept");
    copy = original;
  }
  EXPECT_EQ(copy.AsString(), L"kept");
}

TEST(ComAuto, FailuresRaiseTheFrameworkOleErrors) {
  auto object = NewDouble();
  struct TCase {
    const wchar_t* Method;
    std::vector<std::wstring> Args;
    bool Exception;  // EOleException rather than plain EOleSysError
    HRESULT Code;
    std::wstring Message;  // contained in the message
  };
  const TCase cases[] = {
      {L"NoSuchMethod", {}, false, DISP_E_UNKNOWNNAME, L"'NoSuchMethod'"},
      {L"Raise", {}, true, static_cast<HRESULT>(0x80041234), L"Nothing to read"},
      {L"RaiseLater", {}, true, E_ACCESSDENIED, L"Filled in later"},
      {L"RaiseByCode", {}, true, DISP_E_EXCEPTION, L""},
      {L"Strict", {L"a"}, false, DISP_E_BADPARAMCOUNT, L""},
      {L"Strict", {L"a", L"b"}, false, DISP_E_TYPEMISMATCH, L"(argument 2)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << vcl::Utf8FromUnicode(c.Method) << " with " << c.Args.size() << " arguments");
    try {
      if (c.Args.empty()) OleCallMethod(object.Get(), c.Method);
      else if (c.Args.size() == 1) OleCallMethod(object.Get(), c.Method, {c.Args[0]});
      else OleCallMethod(object.Get(), c.Method, {c.Args[0], c.Args[1]});
      ADD_FAILURE() << "no exception";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(dynamic_cast<const EOleException*>(&e) != nullptr, c.Exception);
      EXPECT_EQ(e.ErrorCode(), c.Code);
      EXPECT_FALSE(e.Message().empty());
      EXPECT_NE(e.Message().find(c.Message), std::wstring::npos) << e.what();
    }
  }

  try {
    OleCallMethod(object.Get(), L"Raise");
  } catch (const EOleException& e) {
    EXPECT_EQ(e.Message(), L"Nothing to read");
    EXPECT_EQ(e.Source(), L"TestObject");
    EXPECT_EQ(e.HelpFile(), L"test.hlp");
    EXPECT_EQ(e.HelpContext(), 7u);
  }
  // At a COM boundary the object's error becomes its code again.
  EXPECT_EQ(vcl::ComBoundary([&] {
              OleCallMethod(object.Get(), L"Raise");
              return S_OK;
            }),
            static_cast<HRESULT>(0x80041234));
  try {
    OleCallMethod(nullptr, L"Record");
    ADD_FAILURE() << "no exception";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), E_POINTER);
  }
}

TEST(ComAuto, CreatesObjectsByProgrammaticIdentifier) {
  TComPtr<IDispatch> dictionary = vcl::CreateOleObject(L"Scripting.Dictionary");
  ASSERT_TRUE(dictionary);
  OleCallMethod(dictionary.Get(), L"Add", {L"key", 5});
  EXPECT_TRUE(OleCallMethod(dictionary.Get(), L"Exists", {L"key"}).AsBoolean());
  EXPECT_FALSE(OleCallMethod(dictionary.Get(), L"Exists", {L"other"}).AsBoolean());
  EXPECT_EQ(OleCallMethod(dictionary.Get(), L"Count").AsInteger(), 1);

  try {
    vcl::CreateOleObject(L"Kestrix.NoSuchObject.1");
    ADD_FAILURE() << "created an object that is not registered";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), CO_E_CLASSSTRING);
  }
  // Known by name, but no server for its class.
  TClassesKey progid(L"KestrixTest.Unserved.1\\CLSID", L"{6F0B2B0C-54C4-4C53-9D0E-0F8B3A52C001}");
  try {
    vcl::CreateOleObject(L"KestrixTest.Unserved.1");
    ADD_FAILURE() << "created an object without a server";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), REGDB_E_CLASSNOTREG);
  }
}
