#include "AAX_VAutomationDelegate.h"

#include "AAX_VersionedCall.h"

#include <cstring>

using qm::framework::QueryInto;

AAX_VAutomationDelegate::AAX_VAutomationDelegate(IACFUnknown* host) {
  if (!host) return;
  QueryInto(host, IID_IAAXAutomationDelegateV1, mIAutomationDelegate);
  QueryInto(host, IID_IAAXControllerV2, mIControllerV2);
}

AAX_VAutomationDelegate::~AAX_VAutomationDelegate() = default;

AAX_Result AAX_VAutomationDelegate::RegisterParameter(AAX_CParamID id) {
  QM_REQUIRE_ID(mIAutomationDelegate, id);
  QM_CALL(mIAutomationDelegate, AAX_ERROR_NULL_OBJECT, RegisterParameter(id));
}

AAX_Result AAX_VAutomationDelegate::UnregisterParameter(AAX_CParamID id) {
  QM_REQUIRE_ID(mIAutomationDelegate, id);
  QM_CALL(mIAutomationDelegate, AAX_ERROR_NULL_OBJECT, UnregisterParameter(id));
}

AAX_Result AAX_VAutomationDelegate::PostSetValueRequest(AAX_CParamID id, double normalizedValue) const {
  QM_REQUIRE_ID(mIAutomationDelegate, id);
  QM_CALL(mIAutomationDelegate, AAX_ERROR_NULL_OBJECT, PostSetValueRequest(id, normalizedValue));
}

AAX_Result AAX_VAutomationDelegate::PostCurrentValue(AAX_CParamID id, double normalizedValue) const {
  QM_REQUIRE_ID(mIAutomationDelegate, id);
  QM_CALL(mIAutomationDelegate, AAX_ERROR_NULL_OBJECT, PostCurrentValue(id, normalizedValue));
}

AAX_Result AAX_VAutomationDelegate::PostTouchRequest(AAX_CParamID id) {
  QM_REQUIRE_ID(mIAutomationDelegate, id);
  QM_CALL(mIAutomationDelegate, AAX_ERROR_NULL_OBJECT, PostTouchRequest(id));
}

AAX_Result AAX_VAutomationDelegate::PostReleaseRequest(AAX_CParamID id) {
  QM_REQUIRE_ID(mIAutomationDelegate, id);
  QM_CALL(mIAutomationDelegate, AAX_ERROR_NULL_OBJECT, PostReleaseRequest(id));
}

AAX_Result AAX_VAutomationDelegate::GetTouchState(AAX_CParamID id, uint8_t* touched) {
  QM_REQUIRE_OUT(mIAutomationDelegate, touched);
  QM_REQUIRE_ID(mIAutomationDelegate, id);
  QM_CALL(mIAutomationDelegate, AAX_ERROR_NULL_OBJECT, GetTouchState(id, touched));
}
// Tells the host that a parameter's name changed, through the controller's notification
// 'AXpn' carrying the identifier with its terminating zero byte.
AAX_Result AAX_VAutomationDelegate::ParameterNameChanged(AAX_CParamID id) {
  if (!mIControllerV2) return AAX_ERROR_UNIMPLEMENTED;
  if (!id) return AAX_ERROR_INVALID_PARAMETER_ID;
  constexpr uint32_t kSearched = 32;
  const void* end = std::memchr(id, 0, kSearched);
  const uint32_t length = end ? static_cast<uint32_t>(static_cast<const char*>(end) - id) : 0;
  if (length == 0) return AAX_ERROR_INVALID_PARAMETER_ID;
  constexpr AAX_CTypeID kNameChanged = 0x4158706E;  // 'AXpn'
  return mIControllerV2->SendNotification(kNameChanged, id, length + 1);
}
