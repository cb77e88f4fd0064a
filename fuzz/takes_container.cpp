// Takes container and timing trailer from arbitrary bytes. The first byte picks the host rate
// (usable ones and nonsense ones); the rest is the body as the service would send it.

#include "QuillomancerServerFormats.h"
#include "temporary_home.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  UseTemporaryHome("qm-fuzz-takes");  // The decoder logs.
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const double kHostRates[] = {48000, 44100, 96000, 24000, 192000, 384000, 8000, 0,
                                      -1,    std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(), 1e9, 22050.5, 1};
  const double hostRate = kHostRates[data[0] % (sizeof kHostRates / sizeof kHostRates[0])];
  const std::uint8_t* body = data + 1;
  const std::size_t length = size - 1;

  QuillomancerServer::GenerateResult result;
  std::size_t offset = 0;
  const bool ok = ParseQMTK(body, length, hostRate, result, &offset);
  if (ok) {
    if (offset > length || result.takeCount < 1 || result.takeCount > 5 ||
        result.takes.size() != static_cast<std::size_t>(result.takeCount))
      std::abort();
    std::uint64_t total = 0;
    for (const auto& take : result.takes) total += take.size();
    if (total > kQMTKMaxDecodedSamples) std::abort();
    ParseGenerateTimingSidecar(body, length, offset, result);
    if (!result.takeTimings.empty() && result.takeTimings.size() != result.takes.size()) std::abort();
  }
  return 0;
}
