#pragma once
// The service's payload formats: the upload WAV (mono 16-bit PCM), the takes container of the
// generate answer ("QMTK") with its optional JSON timing trailer, and the linear resampler that
// brings the takes to the host's rate. Each logs its progress with the "[SRV] " prefix.

#include "QuillomancerServer.h"

#include <cstddef>
#include <cstdint>
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

// Decodes a takes container into `result` (takes at the host rate, take count, container rate,
// credit balance). Returns false, after a log line, for a container that is too short, has a bad
// magic, version, take count or sample rate, whose takes run past the body or decode to more
// than kQMTKMaxDecodedSamples; takes decoded
// before the fault stay in `result`. On success `outOffset` (may be null) receives the offset
// just past the last take, where the timing trailer begins. [any-thread]
bool ParseQMTK(const std::uint8_t* body, std::size_t length, double hostSampleRate,
               QuillomancerServer::GenerateResult& result, std::size_t* outOffset);

// Reads the JSON timing trailer (bytes offset .. length-1) into result.takeTimings, one timed
// transcript per take. A missing, non-JSON or malformed trailer leaves the timings as they are
// (or empty, once "takes" was found). [any-thread]
void ParseGenerateTimingSidecar(const std::uint8_t* body, std::size_t length, std::size_t offset,
                                QuillomancerServer::GenerateResult& result);

// Linear interpolation from one rate to another, without filtering. Equal rates, empty input or
// a rate below 1 return a copy. [any-thread]
std::vector<float> Resample(const std::vector<float>& samples, std::int32_t fromRate, std::int32_t toRate);
