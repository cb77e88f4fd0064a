// Sequentially consistent counter operations, exported from the bundle for the host as well.
#pragma once

#include "acfbasetypes.h"

extern "C" {
// [any-thread] Atomically add (subtract) 1 and answer the new value.
__attribute__((visibility("default"))) acfUInt32 ACFInterlockedIncrement(acfUInt32* value) noexcept;
__attribute__((visibility("default"))) acfUInt32 ACFInterlockedDecrement(acfUInt32* value) noexcept;
}
