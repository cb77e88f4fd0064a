#pragma once
// Sample arithmetic of the processor's passes: mono mix, handle layouts, trimming, duration
// limits, sample-rate and seconds-to-samples guards, render gains and the repair silencing.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "QuillomancerSamples.h"

// Mono mix gains (nearest floats to -2 dB, -3 dB and the -1 dB clamp).
inline constexpr float kQMSingleChannelGain = 0.7943282f;
inline constexpr float kQMMultichannelGain = 0.70794576f;
inline constexpr float kQMMultichannelClamp = 0.8912509f;
// Render gain of service takes (-1 dB); local previews render at unity.
inline constexpr float kQMServiceTakeGain = 0.8912509f;

inline constexpr int kQMMaxTakes = 5;
inline constexpr double kQMDefaultSampleRate = 48000.0;

// Analysis layout: the selection sits in the middle of the range, an odd surplus in the tail.
void QMComputeHandleLayoutFromSelection(int64_t range, int64_t timelineSelection, int64_t* outSelection,
                                        int64_t* outHead, int64_t* outTail);
// Render layout: handles only when the output is longer than the selection.
void QMComputeRenderHandleLayout(int64_t output, int64_t selection, int64_t* outHead, int64_t* outTail);

// Mixes one window of n samples to mono into dest (see the gains above).
void QMMixWindowToMono(const float* const* inputs, int32_t channelCount, float* dest, int64_t n);

// The length the capture keeps of `size` samples of which `rawLength` were written:
// [head, rawLength - tail) when there are handles, else all of them. `start` gets the first kept.
int64_t QMTrimmedCaptureSize(int64_t size, int64_t rawLength, int64_t head, int64_t tail, int64_t* start);
// Keeps samples [head, rawLength - tail) of capture, in place; answers the kept length.
int64_t QMTrimCapture(QuillomancerSamples& capture, int64_t rawLength, int64_t head, int64_t tail);

// A host rate that is not finite, below 1 or beyond int32 counts as 48,000; truncated to int32.
int32_t QMSanitizeSampleRate(double hostRate);

// seconds x rate, rounded down (or up), clamped to [lo, hi] before the integer conversion, so
// that NaN, infinities and huge values never reach an int64 cast. NaN gives lo.
int64_t QMSecondsToSamplesClamped(double seconds, double rate, bool roundUp, int64_t lo, int64_t hi);

double QMDurationSeconds(int64_t samples, int32_t sampleRate);

struct QMDurationLimits {
  double minimum;
  double maximum;
};
inline constexpr QMDurationLimits kQMTranscribeLimits{0.5, 15.0};
inline constexpr QMDurationLimits kQMVoicePassLimits{1.0, 25.0};
inline constexpr QMDurationLimits kQMPerformancePassLimits{0.25, 30.0};
inline constexpr QMDurationLimits kQMGeneratePassLimits{0.5, 15.0};

// -1 below the minimum, +1 above the maximum, 0 within (limits included).
int QMCheckDuration(double seconds, QMDurationLimits limits);

// Voice Change countdown: ceil(3 + takes x max(5, duration x 1.2)).
int32_t QMCountdownEstimate(int32_t takes, double durationSeconds);

// Takes requested from a QMtk byte: 1, 3 or 5, anything else 3.
int32_t QMTakesFromByte(bool readSomething, uint8_t value);

// Largest absolute sample of the first `count` samples.
float QMMaxAbsSample(std::span<const float> samples, int64_t count);

// One range of the repair plan.
struct QuillomancerRepairRange {
  double start = 0.0;
  double end = 0.0;
  std::string word;
  int32_t wordIndex = -1;
};

// Reads the "selections" of a repair plan; logs each refusal. True when a range was read.
bool QMParseRepairPlan(const std::string& text, std::vector<QuillomancerRepairRange>* out);
// The sample regions of a clip of `length` samples that the ranges silence (merged, in order), and
// the fade length; logs them. Empty when no range covers a sample.
struct QMRepairSilence {
  std::vector<std::pair<int64_t, int64_t>> regions;
  int64_t fade = 0;
};
QMRepairSilence QMPlanRepairSilence(int64_t length, int32_t sampleRate, const std::vector<QuillomancerRepairRange>& ranges);
// Silences the planned regions with their fades, in place.
void QMSilenceRegions(std::span<float> audio, const QMRepairSilence& plan);
// Both: silences the ranges with 20 ms fades, in place.
void QMApplyRepairSilence(std::span<float> audio, int32_t sampleRate, const std::vector<QuillomancerRepairRange>& ranges);
