#include "AAX_VHostServices.h"

#include "AAX_VersionedCall.h"
#include "IACFComponentFactory.h"

AAX_VHostServices::AAX_VHostServices(IACFUnknown* host) {
  if (!host) return;
  ACFPtr<IACFComponentFactory> factory;
  if (host->QueryInterface(IID_IACFComponentFactory, reinterpret_cast<void**>(&factory)) != 0 || !factory) return;
  factory->CreateComponent(AAXCompID_HostServices, nullptr, IID_IAAXHostServicesV1, reinterpret_cast<void**>(&mIHostServices));
  factory->CreateComponent(AAXCompID_HostServices, nullptr, IID_IAAXHostServicesV2, reinterpret_cast<void**>(&mIHostServicesV2));
  factory->CreateComponent(AAXCompID_HostServices, nullptr, IID_IAAXHostServicesV3, reinterpret_cast<void**>(&mIHostServicesV3));
}

AAX_VHostServices::~AAX_VHostServices() = default;

AAX_Result AAX_VHostServices::HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t options) const {
  QM_CALL(mIHostServicesV3, AAX_ERROR_NULL_OBJECT, HandleAssertFailure(file, line, note, options));
}

AAX_Result AAX_VHostServices::Trace(int32_t priority, const char* message) const {
  QM_CALL(mIHostServices, AAX_ERROR_NULL_OBJECT, Trace(priority, message));
}

AAX_Result AAX_VHostServices::StackTrace(int32_t traceLevel, int32_t stackTraceLevel, const char* message) const {
  QM_CALL(mIHostServicesV2, AAX_ERROR_UNIMPLEMENTED, StackTrace(traceLevel, stackTraceLevel, message));
}
