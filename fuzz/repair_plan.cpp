// Any bytes as a repair plan: read without throwing, and the silencing it leads to stays
// inside the audio.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdlib.h>
#include <string>
#include <vector>

#include "QuillomancerAudio.h"

// The reader logs its refusals to the plug-in log: keep that out of the real home folder.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static char home[] = "/tmp/qm-fuzz-repair-plan-XXXXXX";
  if (mkdtemp(home) != nullptr) {
    setenv("HOME", home, 1);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(home, ec);
    });
  }
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
  QMApplyRepairSilence(&audio, 1000, ranges);
  for (float x : audio) {
    if (!(x >= 0.0f && x <= 1.0f)) std::abort();
  }
  return 0;
}
