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
// Chunks that may stand before the samples (the samples' own chunk is not counted); a file of
// countless tiny chunks is given up on.
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

// A WAV file opened for its frames to be read as they are needed, the way a host reads a clip on
// its timeline: the header is parsed at open, and read() decodes only the frames asked for, so a
// clip of any legal size costs a block or two of memory. The path is followed through links to
// the file the user named, which must be a regular file. read() may be called from any thread.
class WavClip {
 public:
  WavClip() = default;
  ~WavClip();
  WavClip(const WavClip&) = delete;
  WavClip& operator=(const WavClip&) = delete;
  // False with `error` ("<path>: <what is wrong>") when the file is no usable WAV.
  bool open(const std::string& path, std::string* error);
  int32_t sampleRate() const { return rate_; }
  int channels() const { return channels_; }
  int64_t frames() const { return frames_; }
  const std::string& path() const { return path_; }
  // Frames [at, at + count) of every channel into out[c][0, count): silence where the file has no
  // frame (before its start, past its end). False when the file could not be read.
  bool read(int64_t at, int64_t count, float* const* out) const;

 private:
  std::string path_;
  int fd_ = -1;
  int32_t rate_ = 0;
  int channels_ = 0;
  int64_t frames_ = 0;
  uint16_t format_ = 0, bits_ = 0;
  uint64_t samplesAt_ = 0;
  size_t frameBytes_ = 0;
};

// Parses a RIFF/WAVE image: PCM 8, 16, 24 or 32 bit, IEEE float 32 or 64 bit, plain or
// extensible format, with one format chunk. False with `error` set otherwise.
bool parseWav(const std::string& bytes, WavAudio* out, std::string* error);
// Reads and parses a file (the same result as parseWav of its bytes): opened as WavClip opens it,
// without blocking on it; the samples decoded a piece at a time once `check` (when given) has
// accepted the header.
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
