#pragma once
// The stand-in service's own audio helpers: reading uploaded WAV files, finding speech by its
// energy, and writing the takes container the generate endpoint answers with. Written apart from
// the plug-in's codecs so that each side checks the other.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qm::service {

struct WavAudio {
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  uint16_t bitsPerSample = 0;
  std::vector<int16_t> samples;  // first channel only
};

// Reads a PCM 16-bit RIFF/WAVE file (any chunk order, odd chunk padding honoured).
// Nothing on anything else, or when a chunk runs past the data.
std::optional<WavAudio> readWav(const std::string& bytes);

// A mono PCM 16-bit WAV file: the plain 44-byte header, then the samples (tests build uploads
// and expected upload bytes with it).
std::string writeWav(const std::vector<int16_t>& samples, uint32_t sampleRate);

// Spans of speech (seconds) where 10 ms frames rise above a fraction of the loudest frame;
// pauses shorter than 150 ms are bridged.
struct Span {
  double start = 0;
  double end = 0;
};
std::vector<Span> speechSpans(const std::vector<int16_t>& samples, uint32_t sampleRate);

// A timed transcript of `text` laid over the speech in the audio: the words share the speech
// time in proportion to their length. Empty text or no speech give an empty transcript
// ({"text": "", "words": []}).
nlohmann::json timedTranscriptFor(const std::string& text, const std::vector<int16_t>& samples,
                                  uint32_t sampleRate);

// Linear-interpolation rate change (the stand-in's own, deliberately simple).
std::vector<int16_t> changeRate(const std::vector<int16_t>& samples, uint32_t from, uint32_t to);

struct TakesContainer {
  uint32_t sampleRate = 48000;
  uint32_t bitsPerSample = 16;
  uint32_t creditsRemaining = 0;
  uint32_t creditsAllowance = 0;
  std::vector<std::vector<int16_t>> takes;
  std::string trailer;  // appended after the takes as is (may be empty)
  uint32_t version = 1;
  std::string magic = "QMTK";
};

// Little-endian header (magic, version, take count, rate, bits, the two credit words), the take
// byte lengths, the takes, then the trailer.
std::string encodeTakesContainer(const TakesContainer& container);

// The same container made as it is sent: the header and the trailer up front, each take made
// again by `makeTake` when its bytes are due, so that one take at a time is in memory.
class TakesStream {
 public:
  // `container` gives everything but the takes; `takeSamples` the length of each take that
  // makeTake(i) answers.
  TakesStream(const TakesContainer& container, std::vector<size_t> takeSamples,
              std::function<std::vector<int16_t>(size_t take)> makeTake);
  size_t size() const { return size_; }
  // Copies bytes [offset, offset + count) of the container to `out` (count within the size).
  void read(size_t offset, size_t count, char* out);
  // The whole container in one string, sized once.
  std::string all();

 private:
  std::string header_;
  std::string trailer_;
  std::vector<size_t> takeSamples_;
  std::function<std::vector<int16_t>(size_t)> makeTake_;
  size_t size_ = 0;
  size_t current_ = SIZE_MAX;  // the take in `take_`
  std::vector<int16_t> take_;
};

}  // namespace qm::service
