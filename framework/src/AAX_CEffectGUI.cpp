#include "AAX_CEffectGUI.h"

#include "AAX_CHostServices.h"
#include "AAX_CString.h"
#include "AAX_EffectParametersQuery.h"
#include "AAX_IEffectParameters.h"
#include "AAX_VController.h"
#include "AAX_VTransport.h"
#include "AAX_VViewContainer.h"
#include "qm/platform/thread_check.h"

AAX_CEffectGUI::AAX_CEffectGUI() = default;

AAX_CEffectGUI::~AAX_CEffectGUI() {
  ReleaseHostObjects();
  mViewContainer.reset();
}

void AAX_CEffectGUI::ReleaseHostObjects() noexcept {
  if (mEffectParameters) {
    mEffectParameters->Release();
    mEffectParameters = nullptr;
  }
  delete mController;
  mController = nullptr;
  delete mTransport;
  mTransport = nullptr;
}

AAX_Result AAX_CEffectGUI::Initialize(IACFUnknown* host) noexcept {
  QM_ASSERT_THREAD(main);
  if (!host) return AAX_ERROR_NOT_INITIALIZED;
  try {
    ReleaseHostObjects();  // a repeated Initialize gives back what the first one took
    mController = new AAX_VController(host);
    mEffectParameters = qm::framework::QueryEffectParameters(host);
    mTransport = new AAX_VTransport(host);
    CreateViewContents();
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::Uninitialize() noexcept {
  QM_ASSERT_THREAD(main);
  AAX_Result result = AAX_SUCCESS;
  if (mViewContainer) result = SetViewContainer(nullptr);
  ReleaseHostObjects();
  return result;
}

AAX_Result AAX_CEffectGUI::NotificationReceived(AAX_CTypeID, const void*, uint32_t) noexcept {
  QM_ASSERT_THREAD(main);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::SetViewContainer(IACFUnknown* container) noexcept {
  QM_ASSERT_THREAD(main);
  try {
    if (container) {
      // Replaces (and deletes) a container still held, without a detach call for it.
      mViewContainer = std::make_unique<AAX_VViewContainer>(container);
      CreateViewContainer();
      UpdateAllParameters();
    } else {
      try {
        DeleteViewContainer();
      } catch (...) {
        mViewContainer.reset();
        throw;
      }
      mViewContainer.reset();
    }
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::GetViewSize(AAX_Point*) noexcept {
  QM_ASSERT_THREAD(main);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::Draw(AAX_Rect*) noexcept {
  QM_ASSERT_THREAD(main);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::TimerWakeup() noexcept {
  QM_ASSERT_THREAD(main);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::ParameterUpdated(AAX_CParamID) noexcept {
  QM_ASSERT_THREAD(main);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::GetCustomLabel(AAX_EPlugInStrings, AAX_IString*) noexcept { return AAX_ERROR_NULL_OBJECT; }

AAX_Result AAX_CEffectGUI::SetControlHighlightInfo(AAX_CParamID, uint8_t, AAX_EHighlightColor) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::GetMinimumViewSize(AAX_Point*) noexcept { return AAX_SUCCESS; }

void AAX_CEffectGUI::UpdateAllParameters() {
  if (!mEffectParameters) return;
  int32_t count = 0;
  if (mEffectParameters->GetNumberOfParameters(&count) != AAX_SUCCESS) {
    AAX_CHostServices::Trace(AAX_eTracePriorityHost_Critical,
                             "AAX_CEffectGUI::UpdateAllParameters - error getting the number of parameters");
    return;
  }
  for (int32_t i = 0; i < count; ++i) {
    AAX_CString id;
    if (mEffectParameters->GetParameterIDFromIndex(i, &id) == AAX_SUCCESS) ParameterUpdated(id.Get());
  }
}

AAX_IController* AAX_CEffectGUI::GetController() { return mController; }
const AAX_IController* AAX_CEffectGUI::GetController() const { return mController; }
AAX_IEffectParameters* AAX_CEffectGUI::GetEffectParameters() { return mEffectParameters; }
const AAX_IEffectParameters* AAX_CEffectGUI::GetEffectParameters() const { return mEffectParameters; }
AAX_IViewContainer* AAX_CEffectGUI::GetViewContainer() { return mViewContainer.get(); }
const AAX_IViewContainer* AAX_CEffectGUI::GetViewContainer() const { return mViewContainer.get(); }
AAX_ITransport* AAX_CEffectGUI::Transport() { return mTransport; }
const AAX_ITransport* AAX_CEffectGUI::Transport() const { return mTransport; }

int32_t AAX_CEffectGUI::GetViewContainerType() { return mViewContainer ? mViewContainer->GetType() : 0; }

void* AAX_CEffectGUI::GetViewContainerPtr() { return mViewContainer ? mViewContainer->GetPtr() : nullptr; }
