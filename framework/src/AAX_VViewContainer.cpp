#include "AAX_VViewContainer.h"

#include "AAX_CHostServices.h"
#include "AAX_VersionedCall.h"

using qm::framework::QueryInto;

namespace {
// Every identifier of a multiple-parameter call must be there.
bool AllIdentifiersPresent(const AAX_CParamID* ids, uint32_t count) {
  if (count == 0) return true;
  if (!ids) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (!ids[i]) return false;
  }
  return true;
}
}  // namespace

AAX_VViewContainer::AAX_VViewContainer(IACFUnknown* host) {
  if (!host) return;
  QueryInto(host, IID_IAAXViewContainerV1, mIViewContainer);
  QueryInto(host, IID_IAAXViewContainerV2, mIViewContainerV2);
  QueryInto(host, IID_IAAXViewContainerV3, mIViewContainerV3);
}

namespace {
// Drops the member's reference without calling Release: the host keeps its container.
template <class T>
void DetachWithoutRelease(ACFPtr<T>& member, const char* format) {
  if (!member) return;
  try {
    (void)member.detach();
  } catch (ACFRESULT error) {
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_High, format, static_cast<int>(error));
  }
}
}  // namespace

AAX_VViewContainer::~AAX_VViewContainer() {
  DetachWithoutRelease(mIViewContainer, "AAX_VViewContainer error when detaching mIViewContainer: %d");
  DetachWithoutRelease(mIViewContainerV2, "AAX_VViewContainer error when detaching mIViewContainerV2: %d");
  DetachWithoutRelease(mIViewContainerV3, "AAX_VViewContainer error when detaching mIViewContainerV3: %d");
}

AAX_Result AAX_VViewContainer::GetModifiers(uint32_t* modifiers) {
  QM_REQUIRE_OUT(mIViewContainer, modifiers);
  QM_CALL(mIViewContainer, AAX_ERROR_UNIMPLEMENTED, GetModifiers(modifiers));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainer, id);
  QM_CALL(mIViewContainer, AAX_ERROR_UNIMPLEMENTED, HandleParameterMouseDown(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainer, id);
  QM_CALL(mIViewContainer, AAX_ERROR_UNIMPLEMENTED, HandleParameterMouseDrag(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainer, id);
  QM_CALL(mIViewContainer, AAX_ERROR_UNIMPLEMENTED, HandleParameterMouseUp(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseEnter(AAX_CParamID id, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainerV3, id);
  QM_CALL(mIViewContainerV3, AAX_ERROR_UNIMPLEMENTED, HandleParameterMouseEnter(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseExit(AAX_CParamID id, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainerV3, id);
  QM_CALL(mIViewContainerV3, AAX_ERROR_UNIMPLEMENTED, HandleParameterMouseExit(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainerV2, AllIdentifiersPresent(ids, count));
  QM_CALL(mIViewContainerV2, AAX_ERROR_UNIMPLEMENTED, HandleMultipleParametersMouseDown(ids, count, modifiers));
}

AAX_Result AAX_VViewContainer::HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainerV2, AllIdentifiersPresent(ids, count));
  QM_CALL(mIViewContainerV2, AAX_ERROR_UNIMPLEMENTED, HandleMultipleParametersMouseDrag(ids, count, modifiers));
}

AAX_Result AAX_VViewContainer::HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) {
  QM_REQUIRE_ID(mIViewContainerV2, AllIdentifiersPresent(ids, count));
  QM_CALL(mIViewContainerV2, AAX_ERROR_UNIMPLEMENTED, HandleMultipleParametersMouseUp(ids, count, modifiers));
}
int32_t AAX_VViewContainer::GetType() {
  if (!mIViewContainer) return 0;
  return mIViewContainer->GetType();
}

void* AAX_VViewContainer::GetPtr() {
  if (!mIViewContainer) return nullptr;
  return mIViewContainer->GetPtr();
}

AAX_Result AAX_VViewContainer::SetViewSize(AAX_Point& size) {
  if (!mIViewContainer) return 0;
  return mIViewContainer->SetViewSize(size);
}
