#pragma once
// The inner loops of the audio paths: gain, mono mix, 16-bit encoding and decoding, and linear
// interpolation. Each set holds the same loops; the plain set is the reference (and what runs
// where no vector set fits), the others use a vector instruction set and produce the same bits.
// The set in use is chosen once, from what the processor can run.

#include <cstdint>
#include <vector>

struct QMSampleLoops {
  const char* name;
  // out[i] = in[i] x gain.
  void (*scale)(const float* in, float gain, float* out, int64_t n);
  // out[i] = (in[i] / 32768) x gain: the same as decoding the 16-bit samples and scaling them.
  void (*scalePcm16)(const int16_t* in, float gain, float* out, int64_t n);
  // out[i] = fma(b[i], gain, fma(a[i], gain, acc[i])) in single precision, where a missing `acc`
  // counts as 0 and a missing `b` drops the outer step; then, when `clamp`, limited to
  // [-limit, limit] (NaN passes). `out` may be `acc`.
  void (*mix)(const float* a, const float* b, const float* acc, float gain, bool clamp, float limit, float* out,
              int64_t n);
  // Little-endian int16 of each sample: NaN as 0, clamped to [-1, 1], times 32767, truncated.
  void (*encodePcm16)(const float* in, int64_t n, char* out);
  // Each little-endian int16 divided by 32768.
  void (*decodePcm16)(const char* in, int64_t n, float* out);
  // y[i] for i < m: p = i x ratio, i0 = floor(p) (at most n - 1), i1 = min(i0 + 1, n - 1),
  // f = p - i0, y = x[i0] x (1 - f) + x[i1] x f as one fused multiply-add in double, rounded to
  // float. n >= 1, ratio > 0.
  void (*interpolate)(const float* x, int64_t n, float* y, int64_t m, double ratio);
};

// The reference loops.
const QMSampleLoops& QMPlainSampleLoops();
// The fastest set this processor runs. [any-thread]
const QMSampleLoops& QMSampleLoopsInUse();
// Every set this processor runs, the plain one first (tests hold each against the plain one).
std::vector<const QMSampleLoops*> QMSampleLoopsAvailable();
