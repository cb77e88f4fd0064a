#pragma once
// WAV files for the host stand-in: reads the clips a session puts on its timeline and writes the
// rendered takes. Reading never throws; a file that is not a usable WAV gives a clear error.

#include <cstdint>
#include <fstream>
#include <functional>
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
// The rates the plug-in's takes can come back at: a clip at any other rate could only fail.
inline constexpr uint32_t kWavMinSampleRate = 8000;
inline constexpr uint32_t kWavMaxSampleRate = 384000;
// Chunks walked before the samples are found; a file of countless tiny chunks is given up on.
inline constexpr int kWavMaxChunks = 1024;

// What the header of a file says, known before any sample is decoded.
struct WavHeader {
  int32_t sampleRate = 0;
  int channels = 0;
  int64_t frames = 0;
};
// Looks at a header before its samples are decoded: a non-empty answer refuses the file with that
// text; `*decode` (all frames at first) may be lowered so that only the opening frames are decoded.
using WavHeaderCheck = std::function<std::string(const WavHeader& header, int64_t* decode)>;

// Parses a RIFF/WAVE image: PCM 8, 16, 24 or 32 bit, IEEE float 32 or 64 bit, plain or
// extensible format. False with `error` set otherwise.
bool parseWav(const std::string& bytes, WavAudio* out, std::string* error);
// Reads and parses a file (the same result as parseWav of its bytes): a regular file only, opened
// without following a link or blocking on it; the chunks are walked from buffered reads, the
// samples decoded a piece at a time once `check` (when given) has accepted the header.
bool readWav(const std::string& path, WavAudio* out, std::string* error, const WavHeaderCheck& check = {});

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
