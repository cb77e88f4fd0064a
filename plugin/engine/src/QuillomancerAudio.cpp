#include "QuillomancerAudio.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

#include "QuillomancerLogger.h"
#include "QuillomancerSampleLoops.h"
#include "qm/platform/json.h"

void QMComputeHandleLayoutFromSelection(int64_t range, int64_t timelineSelection, int64_t* outSelection,
                                        int64_t* outHead, int64_t* outTail) {
  if (outSelection) *outSelection = 0;
  if (outHead) *outHead = 0;
  if (outTail) *outTail = 0;
  if (range <= 0) return;
  int64_t selection = range, head = 0, tail = 0;
  if (timelineSelection >= 1 && timelineSelection < range) {
    const int64_t rest = range - timelineSelection;
    head = rest / 2;
    tail = rest - head;
    selection = timelineSelection;
  }
  if (outSelection) *outSelection = selection;
  if (outHead) *outHead = head;
  if (outTail) *outTail = tail;
}

void QMComputeRenderHandleLayout(int64_t output, int64_t selection, int64_t* outHead, int64_t* outTail) {
  int64_t head = 0, tail = 0;
  if (output >= 1 && selection >= 1 && output > selection) {
    const int64_t rest = output - selection;
    head = rest / 2;
    tail = rest - head;
  }
  if (outHead) *outHead = head;
  if (outTail) *outTail = tail;
}

void QMMixWindowToMono(const float* const* inputs, int32_t channelCount, float* dest, int64_t n) {
  if (dest == nullptr || n <= 0) return;
  const QMSampleLoops& loops = QMSampleLoopsInUse();
  if (channelCount == 1 && inputs != nullptr && inputs[0] != nullptr) {
    loops.scale(inputs[0], kQMSingleChannelGain, dest, n);
    return;
  }
  // The channels whose buffer is present, in order, two per pass over the window: each sample is
  // summed with one fused multiply-add per channel, from 0, then clamped after the last.
  const int32_t channels = inputs != nullptr ? channelCount : 0;
  int32_t c = 0;
  auto next = [&]() -> const float* {
    while (c < channels) {
      if (const float* p = inputs[c++]) return p;
    }
    return nullptr;
  };
  const float* a = next();
  if (a == nullptr) {
    std::fill(dest, dest + n, 0.0f);
    return;
  }
  bool first = true;
  while (a != nullptr) {
    const float* b = next();
    const float* after = b != nullptr ? next() : nullptr;
    loops.mix(a, b, first ? nullptr : dest, kQMMultichannelGain, after == nullptr, kQMMultichannelClamp, dest, n);
    first = false;
    a = after;
  }
}

int64_t QMTrimmedCaptureSize(int64_t size, int64_t rawLength, int64_t head, int64_t tail, int64_t* start) {
  rawLength = std::clamp<int64_t>(rawLength, 0, size);
  if (start) *start = 0;
  if (head > 0 || tail > 0) {
    const int64_t first = std::min(std::max<int64_t>(0, head), rawLength);
    const int64_t end = std::max(first, rawLength - std::max<int64_t>(0, tail));
    if (start) *start = first;
    return end - first;
  }
  return rawLength;
}

int64_t QMTrimCapture(QuillomancerSamples& capture, int64_t rawLength, int64_t head, int64_t tail) {
  int64_t start = 0;
  const int64_t kept = QMTrimmedCaptureSize(int64_t(capture.size()), rawLength, head, tail, &start);
  if (head > 0 || tail > 0) {  // without handles the buffer stays as it is
    std::memmove(capture.data(), capture.data() + start, size_t(kept) * sizeof(float));
    capture.resize(size_t(kept));
  }
  return kept;
}

int32_t QMSanitizeSampleRate(double hostRate) {
  if (!std::isfinite(hostRate) || hostRate < 1.0 ||
      hostRate >= double(std::numeric_limits<int32_t>::max())) {
    return int32_t(kQMDefaultSampleRate);
  }
  return int32_t(hostRate);
}

int64_t QMSecondsToSamplesClamped(double seconds, double rate, bool roundUp, int64_t lo, int64_t hi) {
  const double product = seconds * rate;
  if (std::isnan(product)) return lo;
  const double rounded = roundUp ? std::ceil(product) : std::floor(product);
  if (rounded <= double(lo)) return lo;
  if (rounded >= double(hi)) return hi;
  return int64_t(rounded);
}

double QMDurationSeconds(int64_t samples, int32_t sampleRate) {
  if (sampleRate < 1) return 0.0;
  return double(samples) / double(sampleRate);
}

int QMCheckDuration(double seconds, QMDurationLimits limits) {
  if (seconds < limits.minimum) return -1;
  if (seconds > limits.maximum) return 1;
  return 0;
}

int32_t QMCountdownEstimate(int32_t takes, double durationSeconds) {
  const double estimate = 3.0 + double(takes) * std::max(5.0, durationSeconds * 1.2);
  const double up = std::ceil(estimate);
  if (!(up < double(std::numeric_limits<int32_t>::max()))) return std::numeric_limits<int32_t>::max();
  return int32_t(up);
}

int32_t QMTakesFromByte(bool readSomething, uint8_t value) {
  if (readSomething && (value == 1 || value == 3 || value == 5)) return value;
  return 3;
}

float QMMaxAbsSample(std::span<const float> samples, int64_t count) {
  count = std::clamp<int64_t>(count, 0, int64_t(samples.size()));
  float peak = 0.0f;
  for (int64_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[size_t(i)]));
  return peak;
}

namespace {

// A number, or a string read like a number (leading numeric text, else 0).
bool JSONNumberValue(const nlohmann::json& object, const char* key, double* out) {
  const auto it = object.find(key);
  if (it == object.end()) return false;
  if (it->is_number()) {
    *out = it->get<double>();
    return true;
  }
  if (it->is_string()) {
    const std::string& s = it->get_ref<const std::string&>();
    *out = std::strtod(s.c_str(), nullptr);
    return true;
  }
  return false;
}

bool JSONIntegerValue(const nlohmann::json& object, const char* key, int32_t* out) {
  double value = 0.0;
  const auto it = object.find(key);
  if (it == object.end()) return false;
  if (it->is_number_integer()) {
    const auto v = it->is_number_unsigned() ? int64_t(std::min<uint64_t>(it->get<uint64_t>(), INT32_MAX))
                                            : it->get<int64_t>();
    *out = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    return true;
  }
  if (it->is_number_float()) {
    value = it->get<double>();
  } else if (it->is_string()) {
    value = double(std::strtoll(it->get_ref<const std::string&>().c_str(), nullptr, 10));
  } else {
    return false;
  }
  if (std::isnan(value)) value = 0.0;
  *out = int32_t(std::clamp(std::trunc(value), double(INT32_MIN), double(INT32_MAX)));
  return true;
}

}  // namespace

bool QMParseRepairPlan(const std::string& text, std::vector<QuillomancerRepairRange>* out) {
  if (out == nullptr) return false;
  out->clear();
  if (text.empty()) return false;
  const std::optional<nlohmann::json> document = qm::platform::parseJsonObject(text);
  if (!document) {
    QMLogFormat("  Repair plan: invalid JSON payload (%zu bytes)", text.size());
    return false;
  }
  const auto selections = document->find("selections");
  if (selections == document->end() || !selections->is_array() || selections->empty()) {
    QMLogFormat("  Repair plan: no selections present");
    return false;
  }
  for (const auto& element : *selections) {
    if (!element.is_object()) continue;
    QuillomancerRepairRange range;
    if (!JSONNumberValue(element, "start_seconds", &range.start)) range.start = 0.0;
    if (!JSONNumberValue(element, "end_seconds", &range.end)) range.end = 0.0;
    if (!(range.end > range.start)) continue;
    const auto word = element.find("word");
    if (word != element.end() && word->is_string()) range.word = word->get<std::string>();
    if (!JSONIntegerValue(element, "word_index", &range.wordIndex)) range.wordIndex = -1;
    out->push_back(std::move(range));
  }
  if (out->empty()) {
    QMLogFormat("  Repair plan: selections array present but no valid ranges");
    return false;
  }
  std::stable_sort(out->begin(), out->end(), [](const auto& a, const auto& b) {
    return a.start < b.start || (a.start == b.start && a.end < b.end);
  });
  QMLogFormat("  Repair plan: parsed %zu ranges", out->size());
  for (size_t i = 0; i < out->size(); ++i) {
    const auto& r = (*out)[i];
    QMLogFormat("    [%zu] word=%s index=%d start=%.3f end=%.3f", i,
                r.word.empty() ? "(unknown)" : r.word.c_str(), r.wordIndex, r.start, r.end);
  }
  return true;
}

QMRepairSilence QMPlanRepairSilence(int64_t n, int32_t sampleRate, const std::vector<QuillomancerRepairRange>& ranges) {
  QMRepairSilence plan;
  if (n <= 0 || sampleRate < 1 || ranges.empty()) return plan;
  const double rate = double(sampleRate);
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (const auto& r : ranges) {
    const int64_t s = QMSecondsToSamplesClamped(r.start, rate, false, 0, n);
    const int64_t e = QMSecondsToSamplesClamped(r.end, rate, true, 0, n);
    if (e > s) spans.emplace_back(s, e);
  }
  if (spans.empty()) {
    QMLogFormat("  Repair silence: no valid sample ranges after conversion");
    return plan;
  }
  std::sort(spans.begin(), spans.end());
  for (const auto& span : spans) {
    if (!plan.regions.empty() && span.first <= plan.regions.back().second) {
      plan.regions.back().second = std::max(plan.regions.back().second, span.second);
    } else {
      plan.regions.push_back(span);
    }
  }
  plan.fade = std::max<int64_t>(1, std::llround(0.02 * rate));
  QMLogFormat("  Repair silence: applying %zu merged regions (fade=%" PRId64 " samples)", plan.regions.size(),
              plan.fade);
  for (size_t m = 0; m < plan.regions.size(); ++m) {
    const int64_t s = plan.regions[m].first, e = plan.regions[m].second;
    QMLogFormat("    merged[%zu] start=%" PRId64 " end=%" PRId64 " duration=%" PRId64, m, s, e, e - s);
  }
  return plan;
}

void QMSilenceRegions(std::span<float> audio, const QMRepairSilence& plan) {
  const int64_t n = int64_t(audio.size());
  float* x = audio.data();
  for (const auto& [s, e] : plan.regions) {
    if (e > n) break;  // planned for a longer clip
    const int64_t a = std::max<int64_t>(0, s - plan.fade);
    for (int64_t j = a; j < s; ++j) {
      x[j] *= float(double(s - j) / double(std::max<int64_t>(1, s - a)));
    }
    for (int64_t j = s; j < e; ++j) x[j] = 0.0f;
    const int64_t b = std::min(n, e + plan.fade);
    for (int64_t j = e; j < b; ++j) {
      x[j] *= float(double(j - e) / double(std::max<int64_t>(1, b - e)));
    }
  }
}

void QMApplyRepairSilence(std::span<float> audio, int32_t sampleRate, const std::vector<QuillomancerRepairRange>& ranges) {
  QMSilenceRegions(audio, QMPlanRepairSilence(int64_t(audio.size()), sampleRate, ranges));
}
