// The toolkit's kx_ functions: format naming and looking into any data object.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "capi/KXCBoundary.h"
#include "formats/KXUtilDataObj.h"

using namespace kestrix;
using namespace kestrix::capi;

namespace {

kx_status PutList(vcl::TStringList* List, wchar_t** Out) {
  const std::unique_ptr<vcl::TStringList> owned(List);
  std::wstring text;
  for (int i = 0; owned && i < owned->Count(); ++i) {
    if (i) text += L"\r\n";
    text += (*owned)[i];
  }
  return PutAllocatedString(text, Out);
}

}  // namespace

extern "C" {

kx_status KX_CALL kx_format_from_name(const wchar_t* name, UINT* format) {
  return Guard([&]() -> kx_status {
    if (!name || !*name || !format) return Fail(KX_E_INVALID_ARG, L"name is null or empty, or format is null");
    *format = ClipboardFormatFromString(name);
    if (*format == 0) return Fail(KX_E_FAILED, L"The format could not be registered");
    return KX_OK;
  });
}

kx_status KX_CALL kx_format_name(UINT format, wchar_t* buffer, size_t capacity, size_t* length) {
  return Guard([&]() -> kx_status {
    const std::wstring name = format > 0 && format <= 0xFFFF ? ClipboardFormatDisplayName(static_cast<int>(format)) : std::wstring();
    if (name.empty()) return Fail(KX_E_INVALID_ARG, L"The format id has no name");
    return PutString(name, buffer, capacity, length);
  });
}

kx_status KX_CALL kx_medium_name(DWORD tymed, wchar_t* buffer, size_t capacity, size_t* length) {
  return Guard([&]() -> kx_status { return PutString(StorageMediumDisplayName(static_cast<int>(tymed)), buffer, capacity, length); });
}

kx_status KX_CALL kx_data_object_list_formats(IDataObject* data_object, wchar_t** list) {
  return OnLibraryThread([&]() -> kx_status {
    if (!data_object || !list) return Fail(KX_E_INVALID_ARG, L"data_object or list is null");
    return PutList(DataObjFormatList(data_object), list);
  });
}

kx_status KX_CALL kx_data_object_list_entries(IDataObject* data_object, wchar_t** list) {
  return OnLibraryThread([&]() -> kx_status {
    if (!data_object || !list) return Fail(KX_E_INVALID_ARG, L"data_object or list is null");
    return PutList(DataObjFormatEtcList(data_object), list);
  });
}

kx_status KX_CALL kx_data_object_has_format(IDataObject* data_object, const wchar_t* name, int* has) {
  return OnLibraryThread([&]() -> kx_status {
    if (!data_object || !name || !*name || !has) return Fail(KX_E_INVALID_ARG, L"data_object, name or has is null");
    *has = DataObjHasFormat(data_object, name) ? 1 : 0;
    return KX_OK;
  });
}

kx_status KX_CALL kx_data_object_get_format(IDataObject* data_object, const wchar_t* name, void* buffer,
                                            size_t capacity, size_t* size) {
  return OnLibraryThread([&]() -> kx_status {
    if (!data_object || !name || !*name) return Fail(KX_E_INVALID_ARG, L"data_object or name is null");
    if (!size) return Fail(KX_E_INVALID_ARG, L"size is null");
    *size = 0;
    if (!DataObjHasFormat(data_object, name)) return Fail(KX_E_FAILED, L"The data object does not offer the format in global memory");
    return PutBytes(DataObjGetFormat(data_object, name), buffer, capacity, size);
  });
}

}  // extern "C"
