// The sample loops: the plain set, and on x86 an AVX2 set and an AVX-512 set built with target
// attributes and chosen at run time (no ifunc: sanitizers cannot run resolvers). The vector loops
// do the plain loops' arithmetic lane by lane, in the same order and precision, so every bit is
// the same; tails shorter than a vector run the plain loop.

#include "QuillomancerSampleLoops.h"
#include "QuillomancerSamples.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
// GCC 12's AVX-512 conversion intrinsics start from an "undefined" vector that its own
// uninitialised-use check flags (GCC bug 105593).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace {

// ---- the plain loops ------------------------------------------------------------------------------

void ScalePlain(const float* __restrict in, float gain, float* __restrict out, int64_t n) {
  for (int64_t i = 0; i < n; ++i) out[i] = in[i] * gain;
}

void ScalePcm16Plain(const int16_t* __restrict in, float gain, float* __restrict out, int64_t n) {
  for (int64_t i = 0; i < n; ++i) out[i] = static_cast<float>(in[i]) / 32768.0f * gain;
}

template <bool kAcc, bool kOuter, bool kClamp>
void MixPlainAs(const float* a, const float* b, const float* acc, float gain, float limit, float* out, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    float s = kAcc ? acc[i] : 0.0f;
    s = std::fma(a[i], gain, s);
    if (kOuter) s = std::fma(b[i], gain, s);
    out[i] = kClamp ? std::clamp(s, -limit, limit) : s;
  }
}

using MixLoop = void (*)(const float*, const float*, const float*, float, float, float*, int64_t);

// The eight variants of a mix loop, by which inputs are present and whether it clamps.
template <template <bool, bool, bool> class Loop>
void MixDispatch(const float* a, const float* b, const float* acc, float gain, bool clamp, float limit, float* out,
                 int64_t n) {
  static constexpr MixLoop kLoops[8] = {Loop<false, false, false>::run, Loop<false, false, true>::run,
                                        Loop<false, true, false>::run,  Loop<false, true, true>::run,
                                        Loop<true, false, false>::run,  Loop<true, false, true>::run,
                                        Loop<true, true, false>::run,   Loop<true, true, true>::run};
  kLoops[(acc ? 4 : 0) | (b ? 2 : 0) | (clamp ? 1 : 0)](a, b, acc, gain, limit, out, n);
}

template <bool kAcc, bool kOuter, bool kClamp>
struct MixPlainLoop {
  static void run(const float* a, const float* b, const float* acc, float gain, float limit, float* out, int64_t n) {
    MixPlainAs<kAcc, kOuter, kClamp>(a, b, acc, gain, limit, out, n);
  }
};

void MixPlain(const float* a, const float* b, const float* acc, float gain, bool clamp, float limit, float* out,
              int64_t n) {
  MixDispatch<MixPlainLoop>(a, b, acc, gain, clamp, limit, out, n);
}

inline int16_t EncodeOne(float s) {
  s = s == s ? s : 0.0f;  // NaN becomes silence
  s = std::min(std::max(s, -1.0f), 1.0f);
  return static_cast<int16_t>(static_cast<int>(s * 32767.0f));  // truncation toward zero
}

void EncodePlain(const float* __restrict in, int64_t n, char* __restrict out) {
  for (int64_t i = 0; i < n; ++i) {
    const auto u = static_cast<uint16_t>(EncodeOne(in[i]));
    out[2 * i] = static_cast<char>(u & 0xFF);
    out[2 * i + 1] = static_cast<char>(u >> 8);
  }
}

void DecodePlain(const char* __restrict in, int64_t n, float* __restrict out) {
  const auto* p = reinterpret_cast<const unsigned char*>(in);
  for (int64_t i = 0; i < n; ++i) {
    const auto v = static_cast<int16_t>(static_cast<uint16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
    out[i] = static_cast<float>(v) / 32768.0f;
  }
}

// Outputs [from, to) of the interpolation, with the clamps.
void InterpolateRange(const float* x, int64_t n, float* y, int64_t from, int64_t to, double ratio) {
  const auto last = static_cast<size_t>(n - 1);
  for (int64_t i = from; i < to; ++i) {
    const double p = static_cast<double>(i) * ratio;
    const auto i0 = std::min(static_cast<size_t>(p), last);
    const size_t i1 = std::min(i0 + 1, last);
    const double f = p - static_cast<double>(i0);
    y[i] = static_cast<float>(std::fma(static_cast<double>(x[i0]), 1.0 - f, static_cast<double>(x[i1]) * f));
  }
}

void InterpolatePlain(const float* x, int64_t n, float* y, int64_t m, double ratio) {
  InterpolateRange(x, n, y, 0, m, ratio);
}

#if defined(__x86_64__)

// How many leading outputs read only samples at most n - 1 - margin (and their successors), so
// that neither clamp applies; the position i x ratio never decreases with i.
int64_t UnclampedOutputs(int64_t n, int64_t m, double ratio, int64_t margin) {
  if (n - 1 - margin < 0 || n > (int64_t(1) << 30) || m > (int64_t(1) << 30)) return 0;
  const double limit = static_cast<double>(n - 1 - margin);
  int64_t c = std::min<int64_t>(m, static_cast<int64_t>(limit / ratio) + 1);
  while (c > 0 && static_cast<double>(c - 1) * ratio > limit) --c;
  while (c < m && static_cast<double>(c) * ratio <= limit) ++c;
  return c;
}

// ---- AVX2 ----------------------------------------------------------------------------------------

#define QM_AVX2 __attribute__((target("avx2,fma")))

QM_AVX2 void ScaleAvx2(const float* in, float gain, float* out, int64_t n) {
  const __m256 g = _mm256_set1_ps(gain);
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) _mm256_storeu_ps(out + i, _mm256_mul_ps(_mm256_loadu_ps(in + i), g));
  ScalePlain(in + i, gain, out + i, n - i);
}

// Dividing by 32768 is exact, so it may be a multiplication by its inverse.
QM_AVX2 void ScalePcm16Avx2(const int16_t* in, float gain, float* out, int64_t n) {
  const __m256 g = _mm256_set1_ps(gain), unit = _mm256_set1_ps(1.0f / 32768.0f);
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i v = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
    _mm256_storeu_ps(out + i, _mm256_mul_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(v), unit), g));
  }
  ScalePcm16Plain(in + i, gain, out + i, n - i);
}

template <bool kAcc, bool kOuter, bool kClamp>
struct MixAvx2Loop {
  QM_AVX2 static void run(const float* a, const float* b, const float* acc, float gain, float limit, float* out,
                          int64_t n) {
    const __m256 g = _mm256_set1_ps(gain), lo = _mm256_set1_ps(-limit), hi = _mm256_set1_ps(limit);
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
      __m256 s = kAcc ? _mm256_loadu_ps(acc + i) : _mm256_setzero_ps();
      s = _mm256_fmadd_ps(_mm256_loadu_ps(a + i), g, s);
      if (kOuter) s = _mm256_fmadd_ps(_mm256_loadu_ps(b + i), g, s);
      // std::clamp: (s < lo) ? lo : (hi < s) ? hi : s; max/min hand back their second operand
      // for a NaN, so a NaN sum passes as it does there.
      if (kClamp) s = _mm256_min_ps(hi, _mm256_max_ps(lo, s));
      _mm256_storeu_ps(out + i, s);
    }
    MixPlainAs<kAcc, kOuter, kClamp>(a + i, kOuter ? b + i : b, kAcc ? acc + i : acc, gain, limit, out + i, n - i);
  }
};

void MixAvx2(const float* a, const float* b, const float* acc, float gain, bool clamp, float limit, float* out,
             int64_t n) {
  MixDispatch<MixAvx2Loop>(a, b, acc, gain, clamp, limit, out, n);
}

QM_AVX2 void EncodeAvx2(const float* in, int64_t n, char* out) {
  const __m256 lo = _mm256_set1_ps(-1.0f), hi = _mm256_set1_ps(1.0f), scale = _mm256_set1_ps(32767.0f);
  int64_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m256 a = _mm256_loadu_ps(in + i), b = _mm256_loadu_ps(in + i + 8);
    a = _mm256_and_ps(a, _mm256_cmp_ps(a, a, _CMP_ORD_Q));  // NaN becomes 0
    b = _mm256_and_ps(b, _mm256_cmp_ps(b, b, _CMP_ORD_Q));
    a = _mm256_min_ps(_mm256_max_ps(a, lo), hi);
    b = _mm256_min_ps(_mm256_max_ps(b, lo), hi);
    const __m256i ia = _mm256_cvttps_epi32(_mm256_mul_ps(a, scale));
    const __m256i ib = _mm256_cvttps_epi32(_mm256_mul_ps(b, scale));
    // packs works within 128-bit lanes; the permute puts the four quarters back in order.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(ia, ib), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i), packed);
  }
  EncodePlain(in + i, n - i, out + 2 * i);
}

QM_AVX2 void DecodeAvx2(const char* in, int64_t n, float* out) {
  const __m256 scale = _mm256_set1_ps(1.0f / 32768.0f);  // a power of two: the same as the division
  int64_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i));
    const __m256i lo = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(v));
    const __m256i hi = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1));
    _mm256_storeu_ps(out + i, _mm256_mul_ps(_mm256_cvtepi32_ps(lo), scale));
    _mm256_storeu_ps(out + i + 8, _mm256_mul_ps(_mm256_cvtepi32_ps(hi), scale));
  }
  DecodePlain(in + 2 * i, n - i, out + i);
}

// One fused multiply-add in double per output, rounded to float: x0 x (1 - f) + x1 x f. 1 - f is
// computed as -(f x 1) + 1, one rounding of the same value, on the multiply units, which have
// room where the adders are busy.
QM_AVX2 inline __m128 Blend4(__m128 x0, __m128 x1, __m256d f) {
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d d1 = _mm256_cvtps_pd(x1);
  return _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(x0), _mm256_fnmadd_pd(f, one, one), _mm256_mul_pd(d1, f)));
}

// Upsampling by 2 or 4 (ratio 1/2, 1/4): p = i x ratio is exact, so output k x L + j reads
// x[k], x[k + 1] with f = j / L, also exact.
template <int kL>
QM_AVX2 int64_t UpsampleAvx2(const float* x, int64_t n, float* y, int64_t m) {
  int64_t k = 0;
  for (; k + 5 <= n - 1 && (k + 4) * kL <= m; k += 4) {
    const __m128 x0 = _mm_loadu_ps(x + k), x1 = _mm_loadu_ps(x + k + 1);
    __m128 r[kL];
    for (int j = 0; j < kL; ++j) r[j] = Blend4(x0, x1, _mm256_set1_pd(double(j) / kL));
    float* o = y + k * kL;
    if constexpr (kL == 2) {
      _mm_storeu_ps(o, _mm_unpacklo_ps(r[0], r[1]));
      _mm_storeu_ps(o + 4, _mm_unpackhi_ps(r[0], r[1]));
    } else {
      _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
      for (int j = 0; j < 4; ++j) _mm_storeu_ps(o + 4 * j, r[j]);
    }
  }
  return k * kL;
}

// Any ratio: the four positions of a block, their samples taken from an 8-sample window when the
// block spans fewer (ratio up to 1.5), else gathered. The position counter holds whole numbers in
// double, which it keeps exactly, and floor(p) is the truncation for p >= 0.
QM_AVX2 int64_t InterpolateBlocksAvx2(const float* x, int64_t n, float* y, int64_t m, double ratio) {
  const int64_t safe = UnclampedOutputs(n, m, ratio, 8);
  const __m256d r = _mm256_set1_pd(ratio), step = _mm256_set1_pd(4.0);
  __m256d position = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
  int64_t i = 0;
  if (ratio <= 1.5) {
    for (; i + 4 <= safe; i += 4, position = _mm256_add_pd(position, step)) {
      const __m256d p = _mm256_mul_pd(position, r);
      const __m256d below = _mm256_floor_pd(p);
      const __m128i i0 = _mm256_cvttpd_epi32(below);
      const int base = _mm_cvtsi128_si32(i0);
      const __m256i at = _mm256_castsi128_si256(_mm_sub_epi32(i0, _mm_set1_epi32(base)));
      const __m128 x0 = _mm256_castps256_ps128(_mm256_permutevar8x32_ps(_mm256_loadu_ps(x + base), at));
      const __m128 x1 = _mm256_castps256_ps128(_mm256_permutevar8x32_ps(_mm256_loadu_ps(x + base + 1), at));
      _mm_storeu_ps(y + i, Blend4(x0, x1, _mm256_sub_pd(p, below)));
    }
  } else {
    for (; i + 4 <= safe; i += 4, position = _mm256_add_pd(position, step)) {
      const __m256d p = _mm256_mul_pd(position, r);
      const __m256d below = _mm256_floor_pd(p);
      const __m128i i0 = _mm256_cvttpd_epi32(below);
      _mm_storeu_ps(y + i, Blend4(_mm_i32gather_ps(x, i0, 4), _mm_i32gather_ps(x + 1, i0, 4), _mm256_sub_pd(p, below)));
    }
  }
  return i;
}

void InterpolateAvx2(const float* x, int64_t n, float* y, int64_t m, double ratio) {
  int64_t done = 0;
  if (ratio == 0.5) {
    done = UpsampleAvx2<2>(x, n, y, m);
  } else if (ratio == 0.25) {
    done = UpsampleAvx2<4>(x, n, y, m);
  } else {
    done = InterpolateBlocksAvx2(x, n, y, m, ratio);
  }
  InterpolateRange(x, n, y, done, m, ratio);
}

// ---- AVX-512 (decoding and interpolation; the other loops are bound by memory with AVX2 already) ----

#define QM_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq,avx2,fma")))

QM_AVX512 void DecodeAvx512(const char* in, int64_t n, float* out) {
  const __m512 scale = _mm512_set1_ps(1.0f / 32768.0f);
  int64_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i + 32));
    _mm512_storeu_ps(out + i, _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(a)), scale));
    _mm512_storeu_ps(out + i + 16, _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(b)), scale));
  }
  DecodeAvx2(in + 2 * i, n - i, out + i);
}

QM_AVX512 void ScalePcm16Avx512(const int16_t* in, float gain, float* out, int64_t n) {
  const __m512 g = _mm512_set1_ps(gain), unit = _mm512_set1_ps(1.0f / 32768.0f);
  int64_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m512i v = _mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)));
    _mm512_storeu_ps(out + i, _mm512_mul_ps(_mm512_mul_ps(_mm512_cvtepi32_ps(v), unit), g));
  }
  ScalePcm16Avx2(in + i, gain, out + i, n - i);
}

QM_AVX512 inline __m256 Blend8(__m256 x0, __m256 x1, __m512d f) {
  const __m512d one = _mm512_set1_pd(1.0);
  const __m512d d1 = _mm512_cvtps_pd(x1);
  return _mm512_cvtpd_ps(_mm512_fmadd_pd(_mm512_cvtps_pd(x0), _mm512_fnmadd_pd(f, one, one), _mm512_mul_pd(d1, f)));
}

template <int kL>
QM_AVX512 int64_t UpsampleAvx512(const float* x, int64_t n, float* y, int64_t m) {
  int64_t k = 0;
  for (; k + 9 <= n - 1 && (k + 8) * kL <= m; k += 8) {
    const __m256 x0 = _mm256_loadu_ps(x + k), x1 = _mm256_loadu_ps(x + k + 1);
    __m256 r[kL];
    for (int j = 0; j < kL; ++j) r[j] = Blend8(x0, x1, _mm512_set1_pd(double(j) / kL));
    float* o = y + k * kL;
    if constexpr (kL == 2) {
      const __m256 lo = _mm256_unpacklo_ps(r[0], r[1]), hi = _mm256_unpackhi_ps(r[0], r[1]);
      _mm256_storeu_ps(o, _mm256_permute2f128_ps(lo, hi, 0x20));
      _mm256_storeu_ps(o + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    } else {
      for (int half = 0; half < 2; ++half) {
        __m128 q[4];
        for (int j = 0; j < 4; ++j) q[j] = half ? _mm256_extractf128_ps(r[j], 1) : _mm256_castps256_ps128(r[j]);
        _MM_TRANSPOSE4_PS(q[0], q[1], q[2], q[3]);
        for (int j = 0; j < 4; ++j) _mm_storeu_ps(o + 16 * half + 4 * j, q[j]);
      }
    }
  }
  return k * kL;
}

// Blocks of eight positions whose samples come from a 16-sample window (ratio up to 1.75).
QM_AVX512 int64_t InterpolateBlocksAvx512(const float* x, int64_t n, float* y, int64_t m, double ratio) {
  const int64_t safe = UnclampedOutputs(n, m, ratio, 16);
  const __m512d r = _mm512_set1_pd(ratio), step = _mm512_set1_pd(8.0), one = _mm512_set1_pd(1.0);
  __m512d position = _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0);
  int64_t i = 0;
  // The whole-number position steps on the multiply units too (1 x position + 8, exact).
  for (; i + 8 <= safe; i += 8, position = _mm512_fmadd_pd(one, position, step)) {
    const __m512d p = _mm512_mul_pd(position, r);
    // p >= 0: truncation is floor(p), and the reduction p - trunc(p) is f exactly (rounded toward
    // zero, so a whole p gives +0 as p - floor(p) does).
    const __m256i i0 = _mm512_cvttpd_epi32(p);
    const __m512d f = _mm512_reduce_pd(p, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const int base = _mm_cvtsi128_si32(_mm256_castsi256_si128(i0));
    const __m256i at = _mm256_sub_epi32(i0, _mm256_set1_epi32(base));
    const float* window = x + base;
    const __m256 x0 = _mm256_permutex2var_ps(_mm256_loadu_ps(window), at, _mm256_loadu_ps(window + 8));
    const __m256 x1 = _mm256_permutex2var_ps(_mm256_loadu_ps(window + 1), at, _mm256_loadu_ps(window + 9));
    _mm256_storeu_ps(y + i, Blend8(x0, x1, f));
  }
  return i;
}

void InterpolateAvx512(const float* x, int64_t n, float* y, int64_t m, double ratio) {
  int64_t done = 0;
  if (ratio == 0.5) {
    done = UpsampleAvx512<2>(x, n, y, m);
  } else if (ratio == 0.25) {
    done = UpsampleAvx512<4>(x, n, y, m);
  } else if (ratio <= 1.75) {
    done = InterpolateBlocksAvx512(x, n, y, m, ratio);
  } else {
    done = InterpolateBlocksAvx2(x, n, y, m, ratio);
  }
  InterpolateRange(x, n, y, done, m, ratio);
}

constexpr QMSampleLoops kAvx2Loops{"avx2",     ScaleAvx2,  ScalePcm16Avx2, MixAvx2,
                                   EncodeAvx2, DecodeAvx2, InterpolateAvx2};
constexpr QMSampleLoops kAvx512Loops{"avx512",   ScaleAvx2,    ScalePcm16Avx512, MixAvx2,
                                     EncodeAvx2, DecodeAvx512, InterpolateAvx512};

bool RunsAvx2() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }
bool RunsAvx512() {
  return RunsAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512dq");
}

#endif  // __x86_64__

constexpr QMSampleLoops kPlainLoops{"plain",     ScalePlain,  ScalePcm16Plain, MixPlain,
                                    EncodePlain, DecodePlain, InterpolatePlain};

}  // namespace

const QMSampleLoops& QMPlainSampleLoops() { return kPlainLoops; }

std::vector<const QMSampleLoops*> QMSampleLoopsAvailable() {
  std::vector<const QMSampleLoops*> sets{&kPlainLoops};
#if defined(__x86_64__)
  if (RunsAvx2()) sets.push_back(&kAvx2Loops);
  if (RunsAvx512()) sets.push_back(&kAvx512Loops);
#endif
  return sets;
}

const QMSampleLoops& QMSampleLoopsInUse() {
  static const QMSampleLoops* const best = QMSampleLoopsAvailable().back();
  return *best;
}

void QuillomancerTake::Scale(size_t from, float gain, float* out, int64_t count) const {
  if (count <= 0) return;
  if (!pcm_.empty()) {
    QMSampleLoopsInUse().scalePcm16(pcm_.data() + from, gain, out, count);
  } else {
    QMSampleLoopsInUse().scale(samples_.data() + from, gain, out, count);
  }
}

QuillomancerSamples QuillomancerTake::Samples() const {
  if (pcm_.empty()) return samples_;
  QuillomancerSamples samples(pcm_.size());
  QMSampleLoopsInUse().scalePcm16(pcm_.data(), 1.0f, samples.data(), static_cast<int64_t>(pcm_.size()));
  return samples;
}
