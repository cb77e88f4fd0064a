// Process-wide facade for trace lines and assertion reports to the host. Reports are
// dropped quietly before start-up and after shut-down.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_CHostServices {
public:
  // [host-thread] With no wrapper and a host: creates it. With a wrapper and null: deletes it,
  // waiting for traces in flight on other threads. Otherwise nothing.
  static void Set(IACFUnknown* host);

  // [any-thread] printf-style; the text is cut to 511 characters. Answers 0 without a
  // wrapper, -20051 when the text cannot be formatted, else the host's answer.
  static AAX_Result Trace(int32_t priority, const char* format, ...) __attribute__((format(printf, 2, 3)));
  static AAX_Result StackTrace(int32_t tracePriority, int32_t stackTracePriority, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  // [any-thread] Answers 0 without a wrapper.
  static AAX_Result HandleAssertFailure(const char* file, int32_t line, const char* note, int32_t flags);
};

// Reports a failed condition to the host and carries on.
#define AAX_ASSERT(condition)                                                      \
  do {                                                                             \
    if (!(condition)) AAX_CHostServices::HandleAssertFailure(__FILE__, __LINE__, #condition, 1); \
  } while (0)
