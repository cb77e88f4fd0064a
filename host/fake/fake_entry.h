// Entry and argument checks shared by the fake objects' interface methods (inside a
// FakeObject member, where Record is in scope).
#pragma once

// Logs the call and answers an injected failure first.
#define QM_FAKE_ENTER(operation)                         \
  do {                                                   \
    AAX_Result injected_ = 0;                            \
    if (Record(operation, &injected_)) return injected_; \
  } while (0)

// A null out-pointer fails the call.
#define QM_FAKE_OUT(pointer)                        \
  do {                                              \
    if (!(pointer)) return AAX_ERROR_NULL_ARGUMENT; \
  } while (0)
