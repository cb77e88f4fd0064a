// Host interface for trace lines and assertion reports, versions 1 to 3.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFHostServices : public IACFUnknown {
public:
  virtual AAX_Result ReservedSlot3() noexcept = 0;                                   // 3: not called by this framework
  virtual AAX_Result Trace(int32_t priority, const char* message) noexcept = 0;     // 4
};

class AAX_IACFHostServices_V2 : public AAX_IACFHostServices {
public:
  virtual AAX_Result StackTrace(int32_t traceLevel, int32_t stackTraceLevel, const char* message) noexcept = 0;  // 5
};

class AAX_IACFHostServices_V3 : public AAX_IACFHostServices_V2 {
public:
  virtual AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t options) noexcept = 0;  // 6
};
