#pragma once
// The service's payload formats: the upload WAV (mono 16-bit PCM), the takes container of the
// generate answer ("QMTK") with its optional JSON timing trailer, and the linear resampler that
// brings the takes to the host's rate. Each logs its progress with the "[SRV] " prefix.

#include "QuillomancerSamples.h"
#include "QuillomancerServer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Container sample rates outside this range are refused.
inline constexpr std::uint32_t kQMTKMinSampleRate = 8000;
inline constexpr std::uint32_t kQMTKMaxSampleRate = 384000;
// All takes of one container together may not decode (after resampling) to more samples than
// this (2^26, about 23 minutes at 48 kHz): a small body must not expand into gigabytes.
inline constexpr std::uint64_t kQMTKMaxDecodedSamples = 1ull << 26;
// Host rates that are not finite, below 1 or above the container maximum count as this one.
inline constexpr std::int32_t kQMFallbackHostSampleRate = 48000;

// Mono 16-bit PCM WAV (44-byte header, little-endian) of `count` samples at `sampleRate`.
// Samples are clamped to [-1, 1] and scaled by 32767 (truncated); NaN becomes 0. A count too
// large for the 32-bit size fields is cut to the largest that fits. [any-thread]
std::string CreateWAVData(const float* samples, std::uint64_t count, std::int32_t sampleRate);
// The same WAV appended to `out` (a multipart body is built without a copy of it); answers the
// WAV's size. [any-thread]
std::size_t AppendWAVData(std::string& out, const float* samples, std::uint64_t count, std::int32_t sampleRate);

// Decodes a takes container into `result` (takes at the host rate, take count, container rate,
// credit balance). Returns false, after a log line, for a container that is too short, has a bad
// magic, version, take count or sample rate, whose takes run past the body or decode to more
// than kQMTKMaxDecodedSamples; takes decoded
// before the fault stay in `result`. On success `outOffset` (may be null) receives the offset
// just past the last take, where the timing trailer begins. [any-thread]
bool ParseQMTK(const std::uint8_t* body, std::size_t length, double hostSampleRate,
               QuillomancerServer::GenerateResult& result, std::size_t* outOffset);

// A body received in blocks, as the generate answer is: its blocks can be let go as they are
// decoded, so the body and all of its takes are never in memory at once.
class QMChunkedBody {
 public:
  static constexpr std::size_t kBlockBytes = std::size_t(1) << 20;
  void append(const char* data, std::size_t size);
  std::size_t size() const { return size_; }
  // Bytes [offset, offset + count) into `out`; every byte must still be held.
  void copy(std::size_t offset, std::size_t count, void* out) const;
  // Lets go of every block that ends at or before `offset`.
  void releaseBefore(std::size_t offset);
  // The bytes from `offset` to the end, joined.
  std::string tail(std::size_t offset) const;
  // Calls visit(pointer, bytes) for the held stretches of [offset, offset + count), in order.
  template <typename Visit>
  void forEachStretch(std::size_t offset, std::size_t count, Visit visit) const {
    while (count > 0) {
      const std::size_t block = offset / kBlockBytes, within = offset % kBlockBytes;
      const std::size_t n = std::min(count, kBlockBytes - within);
      visit(blocks_[block].get() + within, n);
      offset += n;
      count -= n;
    }
  }

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t size_ = 0;
};

// ParseQMTK over a body received in blocks: the same results and log lines, and each block is let
// go once the takes before its end are decoded. With `keep16Bit`, a take at the host rate goes to
// result.pcmTakes as its 16-bit samples instead of to result.takes. [any-thread]
bool ParseQMTK(QMChunkedBody& body, double hostSampleRate, QuillomancerServer::GenerateResult& result,
               std::size_t* outOffset, bool keep16Bit = false);

// Reads the JSON timing trailer (bytes offset .. length-1) into result.takeTimings, one timed
// transcript per take. A missing, non-JSON or malformed trailer leaves the timings as they are
// (or empty, once "takes" was found). [any-thread]
void ParseGenerateTimingSidecar(const std::uint8_t* body, std::size_t length, std::size_t offset,
                                QuillomancerServer::GenerateResult& result);

// Linear interpolation from one rate to another, without filtering. Equal rates, empty input or
// a rate below 1 return a copy. [any-thread]
QuillomancerSamples Resample(std::span<const float> samples, std::int32_t fromRate, std::int32_t toRate);
