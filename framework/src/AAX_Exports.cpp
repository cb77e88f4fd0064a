#include "AAX_Exports.h"

#include "AAX_CHostServices.h"
#include "AAX_CheckedResult.h"
#include "AAX_Errors.h"
#include "AAX_Exception.h"
#include "AAX_UIDs.h"
#include "AAX_VCollection.h"
#include "CACFUnknown.h"
#include "IACFComponentDefinition.h"
#include "IACFPluginDefinition.h"

#include <exception>
#include <memory>

// ---- twins ----

AAX_Result AAXStartup(IACFUnknown* host) {
  AAX_CHostServices::Set(host);
  return 0;
}

AAX_Result AAXGetSDKVersion(uint64_t* version) {
  if (!version) return AAX_ERROR_NULL_ARGUMENT;
  *version = 0x0000020900000000ull;
  *version += 20209000;
  return 0;
}

AAX_Result AAXRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition) {
  if (!definition) return AAX_ERROR_NULL_ARGUMENT;
  // Null from the start, so a failed registration never leaves the host a stale pointer.
  *definition = nullptr;
  AAX_Result result = 0;
  std::unique_ptr<AAX_VCollection> collection;
  try {
    collection = std::make_unique<AAX_VCollection>(host);
    AAX_CheckedResult checked(GetEffectDescriptions(collection.get()));
    *definition = nullptr;
    // A host that refused to create its collection has no plug-in definition to hand back.
    AAX_IACFCollection* hostCollection = collection->GetIUnknown();
    if (!hostCollection || hostCollection->QueryInterface(IID_IACFPluginDefinition, reinterpret_cast<void**>(definition)) != 0) {
      checked = AAX_ERROR_NULL_OBJECT;
    }
  } catch (const AAX::Exception::ResultError& error) {
    collection.reset();
    result = error.Result();
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "AAXRegisterPlugin exception caught: %s", error.What().c_str());
  } catch (const AAX::Exception::Any& error) {
    collection.reset();
    result = AAX_ERROR_UNKNOWN_EXCEPTION;
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "AAXRegisterPlugin exception caught: %s", error.What().c_str());
  } catch (const std::exception& error) {
    collection.reset();
    result = AAX_ERROR_UNKNOWN_EXCEPTION;
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "AAXRegisterPlugin exception caught: %s", error.what());
  } catch (...) {
    collection.reset();
    result = AAX_ERROR_UNKNOWN_EXCEPTION;
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, "AAXRegisterPlugin exception caught: unknown");
  }
  return result;
}

AAX_Result AAXRegisterComponent(IACFUnknown*, acfUInt32, IACFComponentDefinition** definition) {
  if (definition) *definition = nullptr;
  return 0;
}

AAX_Result AAXGetClassFactory(IACFUnknown*, const _acfUID&, const _acfUID&, void** out) {
  if (out) *out = nullptr;
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAXCanUnloadNow(IACFUnknown*) { return static_cast<AAX_Result>(CACFUnknown::GetActiveObjectCount()); }

AAX_Result AAXShutdown(IACFUnknown*) {
  AAX_CHostServices::Set(nullptr);
  return 0;
}

// ---- exported entry points ----

#define QM_GUARDED(call)    \
  try {                     \
    return call;            \
  } catch (...) {           \
    return ACF_E_UNEXPECTED; \
  }

ACFRESULT ACFStartup(IACFUnknown* host) noexcept { QM_GUARDED(AAXStartup(host)) }

ACFRESULT ACFGetSDKVersion(uint64_t* version) noexcept { QM_GUARDED(AAXGetSDKVersion(version)) }

ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** definition) noexcept {
  QM_GUARDED(AAXRegisterPlugin(host, definition))
}

ACFRESULT ACFRegisterComponent(IACFUnknown* host, acfUInt32 index, IACFComponentDefinition** definition) noexcept {
  QM_GUARDED(AAXRegisterComponent(host, index, definition))
}

ACFRESULT ACFGetClassFactory(IACFUnknown* host, const _acfUID& componentID, const _acfUID& interfaceID, void** out) noexcept {
  QM_GUARDED(AAXGetClassFactory(host, componentID, interfaceID, out))
}

ACFRESULT ACFCanUnloadNow(IACFUnknown* host) noexcept { QM_GUARDED(AAXCanUnloadNow(host)) }

ACFRESULT ACFShutdown(IACFUnknown* host) noexcept { QM_GUARDED(AAXShutdown(host)) }
