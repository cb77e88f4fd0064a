#include "QuillomancerHostDriver.h"

#include "Quillomancer_HostProcessor.h"

extern "C" AAX_Result ACFQuillomancerPressLoad() {
  return Quillomancer_HostProcessor::RequestForceAnalyzeForSpike("load_button");
}

extern "C" AAX_Result ACFQuillomancerPressProcess() {
  return Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button");
}
