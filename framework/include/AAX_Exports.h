// The bundle's exported entry points, their framework twins, and the plug-in's description
// function that registration runs. Every exported entry point turns an escaping exception
// into 0x8000FFFF, so none ever reaches the host.
#pragma once

#include "AAX.h"
#include "ACFInterlocked.h"
#include "IACFUnknown.h"

class AAX_ICollection;
class IACFComponentDefinition;
class IACFPluginDefinition;

#define ACF_EXPORT extern "C" __attribute__((visibility("default")))

// The SDK version the bundle was built against: 2.9, revision 20209000.
constexpr uint64_t kAAX_SDKVersion = 0x0000020901345D68ull;

// [host-thread] All answer AAX result codes.
ACF_EXPORT ACFRESULT ACFStartup(IACFUnknown* host) noexcept;
ACF_EXPORT ACFRESULT ACFGetSDKVersion(uint64_t* version) noexcept;
ACF_EXPORT ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition) noexcept;
ACF_EXPORT ACFRESULT ACFRegisterComponent(IACFUnknown* host, acfUInt32 index, IACFComponentDefinition** definition) noexcept;
ACF_EXPORT ACFRESULT ACFGetClassFactory(IACFUnknown* host, const _acfUID& componentID, const _acfUID& interfaceID,
                                        void** out) noexcept;
// The number of live component objects; 0 means the bundle may be unloaded.
ACF_EXPORT ACFRESULT ACFCanUnloadNow(IACFUnknown* host) noexcept;
ACF_EXPORT ACFRESULT ACFShutdown(IACFUnknown* host) noexcept;

// Twins of the entry points; they may throw, the entry points never do.
AAX_Result AAXStartup(IACFUnknown* host);
AAX_Result AAXGetSDKVersion(uint64_t* version);
AAX_Result AAXRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition);
AAX_Result AAXRegisterComponent(IACFUnknown* host, acfUInt32 index, IACFComponentDefinition** definition);
AAX_Result AAXGetClassFactory(IACFUnknown* host, const _acfUID& componentID, const _acfUID& interfaceID, void** out);
AAX_Result AAXCanUnloadNow(IACFUnknown* host);
AAX_Result AAXShutdown(IACFUnknown* host);

// Provided by the plug-in: describes its effects into the collection.
AAX_Result GetEffectDescriptions(AAX_ICollection* collection);

// Entry-point names the host looks up, in the order above, then the two counters.
inline constexpr const char* kAAX_EntryPointNames[] = {
    "ACFStartup",     "ACFGetSDKVersion", "ACFRegisterPlugin",       "ACFRegisterComponent",   "ACFGetClassFactory",
    "ACFCanUnloadNow", "ACFShutdown",     "ACFInterlockedIncrement", "ACFInterlockedDecrement"};
