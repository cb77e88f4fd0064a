#include "QuillomancerServerFormats.h"

#include "QuillomancerLogger.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

void putU32(std::string& out, std::uint32_t v) {
  const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  out.append(bytes, 4);
}

void putU16(std::string& out, std::uint16_t v) {
  const char bytes[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
  out.append(bytes, 2);
}

std::uint32_t getU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t saturatingInt32(std::uint32_t v) {
  return v > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())
             ? std::numeric_limits<std::int32_t>::max()
             : static_cast<std::int32_t>(v);
}

std::int32_t usableHostRate(double rate) {
  if (!std::isfinite(rate) || rate < 1.0 || rate > static_cast<double>(kQMTKMaxSampleRate))
    return kQMFallbackHostSampleRate;
  return static_cast<std::int32_t>(std::lround(rate));
}

}  // namespace

std::string CreateWAVData(const float* samples, std::uint64_t count, std::int32_t sampleRate) {
  // The RIFF size (36 + 2n) must fit 32 bits.
  const std::uint64_t maxCount = (std::numeric_limits<std::uint32_t>::max() - 36u) / 2u;
  if (!samples) count = 0;
  count = std::min(count, maxCount);
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(count * 2u);
  const std::uint32_t rate = static_cast<std::uint32_t>(sampleRate);

  std::string out;
  out.reserve(44 + static_cast<size_t>(dataBytes));
  out.append("RIFF", 4);
  putU32(out, 36u + dataBytes);
  out.append("WAVE", 4);
  out.append("fmt ", 4);
  putU32(out, 16);
  putU16(out, 1);  // PCM
  putU16(out, 1);  // mono
  putU32(out, rate);
  putU32(out, rate * 2u);
  putU16(out, 2);
  putU16(out, 16);
  out.append("data", 4);
  putU32(out, dataBytes);

  const size_t start = out.size();
  out.resize(start + dataBytes);
  char* dst = out.data() + start;
  // In blocks through a local buffer, so the compiler knows the output cannot alias the input
  // and can vectorise the conversion.
  constexpr size_t kBlock = 1024;
  std::int16_t block[kBlock];
  for (std::uint64_t done = 0; done < count;) {
    const size_t n = static_cast<size_t>(std::min<std::uint64_t>(kBlock, count - done));
    const float* in = samples + done;
    for (size_t i = 0; i < n; ++i) {
      float s = in[i];
      s = s == s ? s : 0.0f;  // NaN becomes silence
      s = std::min(std::max(s, -1.0f), 1.0f);
      block[i] = static_cast<std::int16_t>(static_cast<int>(s * 32767.0f));  // truncation toward zero
    }
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(dst + 2 * done, block, 2 * n);
    } else {
      for (size_t i = 0; i < n; ++i) {
        const auto u = static_cast<std::uint16_t>(block[i]);
        dst[2 * (done + i)] = static_cast<char>(u & 0xFF);
        dst[2 * (done + i) + 1] = static_cast<char>(u >> 8);
      }
    }
    done += n;
  }
  return out;
}

namespace {

// The interpolation loop. On x86 it is built a second time for processors with a fused
// multiply-add instruction and chosen at run time (no ifunc: sanitizers cannot run resolvers);
// elsewhere the library's fma (exact, slower) is used. Both round identically.
inline void interpolateBody(const float* x, size_t n, float* y, size_t m, double ratio) {
  for (size_t i = 0; i < m; ++i) {
    const double p = static_cast<double>(i) * ratio;
    const auto i0 = std::min(static_cast<size_t>(p), n - 1);
    const size_t i1 = std::min(i0 + 1, n - 1);
    const double f = p - static_cast<double>(i0);
    y[i] = static_cast<float>(std::fma(static_cast<double>(x[i0]), 1.0 - f, static_cast<double>(x[i1]) * f));
  }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("fma"))) void interpolateWithFma(const float* x, size_t n, float* y, size_t m, double ratio) {
  interpolateBody(x, n, y, m, ratio);
}
#endif

void interpolate(const float* x, size_t n, float* y, size_t m, double ratio) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool hasFma = __builtin_cpu_supports("fma");
  if (hasFma) return interpolateWithFma(x, n, y, m, ratio);
#endif
  interpolateBody(x, n, y, m, ratio);
}

}  // namespace

std::vector<float> Resample(const std::vector<float>& x, std::int32_t from, std::int32_t to) {
  if (from == to || x.empty() || from < 1 || to < 1) return x;
  const double ratio = static_cast<double>(from) / static_cast<double>(to);
  const size_t n = x.size();
  const auto m = static_cast<size_t>(static_cast<double>(n) / ratio);
  std::vector<float> y(m);
  interpolate(x.data(), n, y.data(), m, ratio);
  return y;
}

bool ParseQMTK(const std::uint8_t* body, std::size_t length, double hostSampleRate,
               QuillomancerServer::GenerateResult& result, std::size_t* outOffset) {
  if (!body) length = 0;
  if (length < 28) {
    QMLogFormat("[SRV] QMTK too small: %zu bytes", length);
    return false;
  }
  const std::uint32_t magic = getU32(body);
  const std::uint32_t version = getU32(body + 4);
  const std::uint32_t takeCount = getU32(body + 8);
  const std::uint32_t rate = getU32(body + 12);
  const std::uint32_t bits = getU32(body + 16);
  const std::uint32_t remaining = getU32(body + 20);
  const std::uint32_t remainingOther = getU32(body + 24);
  if (std::memcmp(body, "QMTK", 4) != 0) {
    QMLogFormat("[SRV] Bad QMTK magic: 0x%08X", magic);
    return false;
  }
  if (version != 1 || takeCount == 0 || takeCount > 5) {
    QMLogFormat("[SRV] Bad QMTK version=%u takesCount=%u", version, takeCount);
    return false;
  }
  const size_t headerLength = 28 + 4 * static_cast<size_t>(takeCount);
  if (length < headerLength) {
    QMLogFormat("[SRV] QMTK truncated header: need %zu, got %zu", headerLength, length);
    return false;
  }
  // A rate outside what audio hardware uses cannot be resampled sensibly (and a tiny one would
  // blow the takes up to absurd lengths).
  if (rate < kQMTKMinSampleRate || rate > kQMTKMaxSampleRate) {
    QMLogFormat("[SRV] Bad QMTK sample rate: %uHz", rate);
    return false;
  }
  std::uint32_t takeLengths[5] = {};
  for (std::uint32_t i = 0; i < takeCount; ++i) takeLengths[i] = getU32(body + 28 + 4 * i);
  QMLogFormat("[SRV] QMTK: %u takes, %uHz, %u-bit, remaining=%u/%u", takeCount, rate, bits, remaining,
              remainingOther);

  const std::int32_t hostRate = usableHostRate(hostSampleRate);
  result.takes.assign(takeCount, {});
  result.takeCount = static_cast<std::int32_t>(takeCount);
  result.sampleRate = static_cast<std::int32_t>(rate);
  result.creditBalance = saturatingInt32(remaining);
  result.hasCreditBalance = true;

  size_t offset = headerLength;
  std::uint64_t decodedTotal = 0;
  for (std::uint32_t i = 0; i < takeCount; ++i) {
    const size_t takeBytes = takeLengths[i];
    if (takeBytes > length - offset) {
      QMLogFormat("[SRV] QMTK truncated take %u: need %u at offset %zu, total %zu", i, takeLengths[i], offset,
                  length);
      return false;
    }
    const size_t count = takeBytes / 2;
    const std::uint64_t produced =
        static_cast<std::int32_t>(rate) == hostRate
            ? count
            : static_cast<std::uint64_t>(static_cast<double>(count) * hostRate / static_cast<double>(rate));
    if (produced > kQMTKMaxDecodedSamples - decodedTotal) {
      QMLogFormat("[SRV] QMTK take %u too long: %" PRIu64 " samples at %dHz", i, produced, hostRate);
      return false;
    }
    decodedTotal += produced;
    std::vector<float> samples(count);
    const std::uint8_t* p = body + offset;
    constexpr size_t kBlock = 1024;
    std::int16_t block[kBlock];
    for (size_t done = 0; done < count;) {
      const size_t n = std::min(kBlock, count - done);
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(block, p + 2 * done, 2 * n);
      } else {
        for (size_t k = 0; k < n; ++k)
          block[k] = static_cast<std::int16_t>(
              static_cast<std::uint16_t>(p[2 * (done + k)] | (p[2 * (done + k) + 1] << 8)));
      }
      float* out = samples.data() + done;
      for (size_t k = 0; k < n; ++k) out[k] = static_cast<float>(block[k]) / 32768.0f;
      done += n;
    }
    if (static_cast<std::int32_t>(rate) != hostRate) {
      QMLogFormat("[SRV]   Take %u: resampling %uHz -> %dHz (%zu samples)", i, rate, hostRate, samples.size());
      samples = Resample(samples, static_cast<std::int32_t>(rate), hostRate);
    }
    QMLogFormat("[SRV]   Take %u: %zu samples (%.2f sec at %dHz)", i, samples.size(),
                static_cast<double>(samples.size()) / hostRate, hostRate);
    result.takes[i] = std::move(samples);
    offset += takeBytes;
  }
  if (outOffset) *outOffset = offset;
  return true;
}

void ParseGenerateTimingSidecar(const std::uint8_t* body, std::size_t length, std::size_t offset,
                                QuillomancerServer::GenerateResult& result) {
  if (!body || offset >= length) return;
  const size_t trailerLength = length - offset;
  const std::optional<nlohmann::json> trailer =
      ParseJSONResponse(std::string_view(reinterpret_cast<const char*>(body) + offset, trailerLength));
  if (!trailer) {
    QMLogFormat("[SRV] QMTK timing sidecar present but not valid JSON (%zu bytes)", trailerLength);
    return;
  }
  const auto takes = trailer->find("takes");
  if (takes == trailer->end() || !takes->is_array()) {
    QMLogFormat("[SRV] QMTK timing sidecar JSON missing takes[]");
    return;
  }
  const size_t takeCount = static_cast<size_t>(std::max(result.takeCount, 0));
  result.takeTimings.clear();
  result.takeTimings.resize(takeCount);
  for (size_t i = 0; i < takes->size() && i < takeCount; ++i) {
    const nlohmann::json& element = (*takes)[i];
    if (!element.is_object()) continue;
    const auto transcript = element.find("transcript");
    const nlohmann::json* source = (transcript != element.end() && transcript->is_object()) ? &*transcript : &element;
    result.takeTimings[i] = QuillomancerServer::ParseTimedTranscriptFromJSON(source);
  }
  QMLogFormat("[SRV] Parsed QMTK timing sidecar for %lu/%d takes", static_cast<unsigned long>(result.takeTimings.size()),
              result.takeCount);
}
