// Forwarding helpers of the versioned wrappers: test the member that first has the
// operation, answer the fixed code when it is missing, else call the host unchanged.
#pragma once

#include "AAX_Errors.h"
#include "AAX_UIDs.h"
#include "ACFPtr.h"

#define QM_CALL(member, missing, call) \
  do {                                 \
    if (!(member)) return (missing);   \
    return (member)->call;             \
  } while (0)

// A null out-pointer or parameter identifier would make the host write through or read
// from null; refuse it once the version is known to be there.
#define QM_REQUIRE_OUT(member, pointer) \
  do {                                  \
    if ((member) && !(pointer)) return AAX_ERROR_NULL_ARGUMENT; \
  } while (0)
#define QM_REQUIRE_ID(member, id) \
  do {                            \
    if ((member) && !(id)) return AAX_ERROR_INVALID_PARAMETER_ID; \
  } while (0)

namespace qm::framework {
// Counted query of `iid` on `host` into `member`; a refusal leaves the member null.
template <class T>
void QueryInto(IACFUnknown* host, const _acfUID& iid, ACFPtr<T>& member) noexcept {
  if (host) host->QueryInterface(iid, reinterpret_cast<void**>(&member));
}
}  // namespace qm::framework
