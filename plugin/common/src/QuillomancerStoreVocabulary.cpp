#include "QuillomancerStoreVocabulary.h"

const char* QuillomancerStateName(int32_t state) {
  switch (state) {
    case kQuillomancerState_Ready: return "Ready";
    case kQuillomancerState_Analyzing: return "Analyzing";
    case kQuillomancerState_Processing: return "Processing";
    case kQuillomancerState_HasTakes: return "HasTakes";
    case kQuillomancerState_Error: return "Error";
    case kQuillomancerState_SelectionTooShort: return "SelectionTooShort";
    case kQuillomancerState_SelectionTooLong: return "SelectionTooLong";
    case kQuillomancerState_NoCredits: return "NoCredits";
    case kQuillomancerState_UpdateRequired: return "UpdateRequired";
    case kQuillomancerState_InputTextRequired: return "InputTextRequired";
    case kQuillomancerState_BeforeTextRequired: return "BeforeTextRequired";
    case kQuillomancerState_VoiceCaptured: return "VoiceCaptured";
    default: return "Unknown";
  }
}
