// The host's trace and assertion services (wrapper: AAX_VHostServices).
#pragma once

#include "AAX.h"

class AAX_IHostServices {
public:
  virtual ~AAX_IHostServices() = default;
  virtual AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t options) const = 0;
  virtual AAX_Result Trace(int32_t priority, const char* message) const = 0;
  virtual AAX_Result StackTrace(int32_t traceLevel, int32_t stackTraceLevel, const char* message) const = 0;
};
