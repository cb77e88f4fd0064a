#pragma once
// WAV files for the host stand-in: reads the clips a session puts on its timeline and writes the
// rendered takes. Reading never throws; a file that is not a usable WAV gives a clear error.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace qm::host {

struct WavAudio {
  int32_t sampleRate = 0;
  std::vector<std::vector<float>> channels;  // deinterleaved, nominally -1..1
  int64_t frames() const { return channels.empty() ? 0 : int64_t(channels[0].size()); }
};

// Limits of what readWav accepts.
inline constexpr uint64_t kWavMaxFileBytes = 1ull << 30;  // 1 GiB
inline constexpr int kWavMaxChannels = 32;

// Parses a RIFF/WAVE image: PCM 8, 16, 24 or 32 bit, IEEE float 32 or 64 bit, plain or
// extensible format. False with `error` set otherwise.
bool parseWav(const std::string& bytes, WavAudio* out, std::string* error);
// Reads and parses a file, its samples a piece at a time (the same result as parseWav of its bytes).
bool readWav(const std::string& path, WavAudio* out, std::string* error);

// 16-bit PCM (values clamped to -1..1), one or more channels of equal length.
std::string encodeWav16(const std::vector<std::vector<float>>& channels, int32_t sampleRate);
// Writes the file in one piece (temporary file, then rename). False with `error` on failure.
bool writeWav16(const std::string& path, const std::vector<std::vector<float>>& channels, int32_t sampleRate,
                std::string* error);

// The same file written as its frames come, so that a rendered take need not be held whole: a
// temporary file beside `path`, renamed into place by finish(); frames not appended by then are
// silent. The file is left out when finish() is not reached.
class Wav16Writer {
 public:
  Wav16Writer(std::string path, int channels, int64_t frames, int32_t sampleRate);
  ~Wav16Writer();
  Wav16Writer(const Wav16Writer&) = delete;
  Wav16Writer& operator=(const Wav16Writer&) = delete;
  // The next `frames` frames, one pointer per channel (null: silent). Frames beyond the count
  // given at construction are dropped.
  void append(const float* const* channels, int64_t frames);
  bool finish(std::string* error);

 private:
  std::string path_;
  int channels_;
  int64_t frames_;
  int64_t written_ = 0;
  std::ofstream out_;
  std::string buffer_;
  bool finished_ = false;
};

}  // namespace qm::host
