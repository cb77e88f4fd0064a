#pragma once
// Two exported entry points through which the host stand-in presses LOAD and Process while the
// window has no buttons of its own. They do exactly what the window's buttons do: call the
// processor's static entries with the window's source labels.

#include "AAX.h"

extern "C" {
// [main-thread]
__attribute__((visibility("default"))) AAX_Result ACFQuillomancerPressLoad();
// [main-thread]
__attribute__((visibility("default"))) AAX_Result ACFQuillomancerPressProcess();
}

inline constexpr const char* kQuillomancerPressLoadSymbol = "ACFQuillomancerPressLoad";
inline constexpr const char* kQuillomancerPressProcessSymbol = "ACFQuillomancerPressProcess";
