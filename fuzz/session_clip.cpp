// Any bytes as a WAV file: parsed without crashing; what parses has equal channels and
// finite samples, and survives a re-encode.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qm/host/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm::host::WavAudio audio;
  std::string error;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!qm::host::parseWav(bytes, &audio, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (audio.channels.empty() || audio.sampleRate < 1) std::abort();
  for (const auto& channel : audio.channels) {
    if (channel.size() != audio.channels[0].size()) std::abort();
    for (float x : channel) {
      if (!std::isfinite(x)) std::abort();
    }
  }
  if (audio.frames() < 4096) {
    qm::host::WavAudio again;
    if (!qm::host::parseWav(qm::host::encodeWav16(audio.channels, audio.sampleRate), &again, &error)) std::abort();
    if (again.frames() != audio.frames()) std::abort();
  }
  return 0;
}
