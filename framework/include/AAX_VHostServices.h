// Versioned wrapper of the host's trace and assertion services. Each version is created
// separately through the host's component factory.
#pragma once

#include "AAX_IACFHostServices.h"
#include "AAX_IHostServices.h"
#include "ACFPtr.h"

class AAX_VHostServices : public AAX_IHostServices {
public:
  explicit AAX_VHostServices(IACFUnknown* host);
  ~AAX_VHostServices() override;
  AAX_VHostServices(const AAX_VHostServices&) = delete;
  AAX_VHostServices& operator=(const AAX_VHostServices&) = delete;

  // [any-thread]
  AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t options) const override;
  AAX_Result Trace(int32_t priority, const char* message) const override;
  AAX_Result StackTrace(int32_t traceLevel, int32_t stackTraceLevel, const char* message) const override;

private:
  ACFPtr<AAX_IACFHostServices> mIHostServices;
  ACFPtr<AAX_IACFHostServices_V2> mIHostServicesV2;
  ACFPtr<AAX_IACFHostServices_V3> mIHostServicesV3;
};
