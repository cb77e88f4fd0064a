// Any bytes as a repair plan: read without throwing, and the silencing it leads to stays
// inside the audio.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "QuillomancerAudio.h"
#include "temporary_home.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  UseTemporaryHome("qm-fuzz-repair-plan");  // The reader logs its refusals to the plug-in log.
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16383) return 0;
  std::vector<QuillomancerRepairRange> ranges;
  const bool parsed = QMParseRepairPlan(std::string(reinterpret_cast<const char*>(data), size), &ranges);
  if (parsed != !ranges.empty()) std::abort();
  for (const auto& r : ranges) {
    if (!(r.end > r.start)) std::abort();
  }
  std::vector<float> audio(2000, 1.0f);
  QMApplyRepairSilence(audio, 1000, ranges);
  for (float x : audio) {
    if (!(x >= 0.0f && x <= 1.0f)) std::abort();
  }
  return 0;
}
