#include "Quillomancer_Parameters.h"

#include "AAX_CBinaryDisplayDelegate.h"
#include "AAX_CBinaryTaperDelegate.h"
#include "AAX_CParameter.h"
#include "AAX_CString.h"
#include "AAX_Errors.h"
#include "AAX_VController.h"
#include "AAX_VTransport.h"

static_assert(QuillomancerCustomDataStore::kResultInvalidArgument == AAX_ERROR_INVALID_ARGUMENT);

AAX_IEffectParameters* Quillomancer_Parameters::Create() { return new Quillomancer_Parameters(); }

Quillomancer_Parameters::Quillomancer_Parameters() = default;
Quillomancer_Parameters::~Quillomancer_Parameters() = default;

// [host-thread]
AAX_Result Quillomancer_Parameters::EffectInit() {
  auto* bypass = new AAX_CParameter<bool>(cDefaultMasterBypassID, AAX_CString("Bypass"), false,
                                          AAX_CBinaryTaperDelegate<bool>(),
                                          AAX_CBinaryDisplayDelegate<bool>("bypass", "on"), true);
  bypass->SetNumberOfSteps(2);
  bypass->SetType(AAX_eParameterType_Discrete);
  mParameterManager.AddParameter(bypass);

  if (const AAX_IController* controller = Controller()) {
    AAX_CString hostName;
    if (controller->GetHostName(&hostName) == AAX_SUCCESS) {
      const std::string name = hostName.StdString();
      if (name.find("Media Composer") != std::string::npos ||
          name.find("AvidMediaComposer") != std::string::npos) {
        mStore.SetTakesRequestedDefault(1);
      }
    }
  }
  return AAX_SUCCESS;
}

// [any-thread]
AAX_Result Quillomancer_Parameters::GetCustomData(AAX_CTypeID blockId, uint32_t size, void* data,
                                                  uint32_t* written) noexcept {
  try {
    return mStore.Get(blockId, size, data, written, [this] {
      QuillomancerCustomDataStore::TimelineSelection selection;
      if (const AAX_ITransport* transport = Transport()) {
        int64_t start = 0, end = 0;
        if (transport->GetTimelineSelectionStartPosition(&start) == AAX_SUCCESS &&
            transport->GetTimelineSelectionEndPosition(&end) == AAX_SUCCESS && end > start) {
          selection = {start, end, true};
        }
      }
      return selection;
    });
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

// [any-thread]
AAX_Result Quillomancer_Parameters::SetCustomData(AAX_CTypeID blockId, uint32_t size, const void* data) noexcept {
  try {
    return mStore.Set(blockId, size, data);
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

std::string Quillomancer_Parameters::GetQuillomanceText() const { return mStore.GetText(); }
void Quillomancer_Parameters::SetQuillomanceText(const std::string& text) { mStore.SetTextUnchecked(text); }
