#include "capi/KXCObjects.h"

namespace kestrix::capi {

kx_status CheckTarget(const kx_target* Target, int Kind) {
  if (!IsLiveHandle(Target, THandleType::Target)) return Fail(KX_E_INVALID_HANDLE, L"Not a live kx_target");
  if (Kind != 0 && Target->Kind != Kind) return Fail(KX_E_INVALID_HANDLE, L"The target is of another kind");
  return KX_OK;
}

kx_status CheckSource(const kx_source* Source, int Kind) {
  if (!IsLiveHandle(Source, THandleType::Source)) return Fail(KX_E_INVALID_HANDLE, L"Not a live kx_source");
  if (Kind != 0 && Source->Kind != Kind) return Fail(KX_E_INVALID_HANDLE, L"The source is of another kind");
  return KX_OK;
}

}  // namespace kestrix::capi
