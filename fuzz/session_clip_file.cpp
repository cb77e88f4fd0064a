// Any bytes as a WAV file on disk, read through the file reader the host uses (the buffered
// chunk walk, the header check, the samples a piece at a time): it accepts exactly what the
// in-memory parser accepts, with the same samples, and a header check that lowers the frames to
// decode gets that many.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "input_file.h"
#include "qm/host/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = WriteInputFile("qm-fuzz-session-clip", data, size);
  qm::host::WavAudio parsed, read;
  std::string parseError, readError;
  const bool parsedOk =
      qm::host::parseWav(std::string(reinterpret_cast<const char*>(data), size), &parsed, &parseError);
  const bool readOk = qm::host::readWav(path, &read, &readError);
  if (parsedOk != readOk || (!readOk && readError.empty())) std::abort();
  if (!readOk) return 0;
  if (read.sampleRate != parsed.sampleRate || read.channels != parsed.channels) std::abort();

  // The header is seen before any sample; only the frames it allows are decoded.
  int64_t seenFrames = -1;
  const auto half = [&](const qm::host::WavHeader& header, int64_t* decode) -> std::string {
    seenFrames = header.frames;
    *decode = header.frames / 2;
    return {};
  };
  qm::host::WavAudio opening;
  if (!qm::host::readWav(path, &opening, &readError, half)) std::abort();
  if (seenFrames != read.frames() || opening.frames() != read.frames() / 2) std::abort();
  const auto refuse = [](const qm::host::WavHeader&, int64_t*) { return std::string("refused"); };
  if (qm::host::readWav(path, &opening, &readError, refuse) || readError != "refused") std::abort();
  return 0;
}
