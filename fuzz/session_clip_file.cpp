// Any bytes as a WAV file on disk, read through the file reader the host uses (the buffered
// chunk walk, the header check, the samples a piece at a time): it accepts exactly what the
// in-memory parser accepts, with the same samples, and a header check that lowers the frames to
// decode gets that many.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "qm/host/wav_file.h"

namespace {

// One file per process, rewritten for every input.
const std::string& ClipPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/qm-fuzz-session-clip-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) std::abort();
    ::close(fd);
    return std::string(pattern);
  }();
  static const bool removedAtExit = std::atexit([] { ::unlink(ClipPath().c_str()); }) == 0;
  (void)removedAtExit;
  return path;
}

void WriteClip(const uint8_t* data, size_t size) {
  const int fd = ::open(ClipPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += size_t(n);
  }
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteClip(data, size);
  qm::host::WavAudio parsed, read;
  std::string parseError, readError;
  const bool parsedOk =
      qm::host::parseWav(std::string(reinterpret_cast<const char*>(data), size), &parsed, &parseError);
  const bool readOk = qm::host::readWav(ClipPath(), &read, &readError);
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
  if (!qm::host::readWav(ClipPath(), &opening, &readError, half)) std::abort();
  if (seenFrames != read.frames() || opening.frames() != read.frames() / 2) std::abort();
  const auto refuse = [](const qm::host::WavHeader&, int64_t*) { return std::string("refused"); };
  if (qm::host::readWav(ClipPath(), &opening, &readError, refuse) || readError != "refused") std::abort();
  return 0;
}
