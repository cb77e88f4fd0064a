#include "QuillomancerServerFormats.h"

#include "QuillomancerLogger.h"
#include "QuillomancerSampleLoops.h"
#include "QuillomancerServerPrivate.h"

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

std::size_t AppendWAVData(std::string& out, const float* samples, std::uint64_t count, std::int32_t sampleRate) {
  // The RIFF size (36 + 2n) must fit 32 bits.
  const std::uint64_t maxCount = (std::numeric_limits<std::uint32_t>::max() - 36u) / 2u;
  if (!samples) count = 0;
  count = std::min(count, maxCount);
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(count * 2u);
  const std::uint32_t rate = static_cast<std::uint32_t>(sampleRate);

  out.reserve(out.size() + 44 + static_cast<size_t>(dataBytes));
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
  QMSampleLoopsInUse().encodePcm16(samples, static_cast<int64_t>(count), out.data() + start);
  return 44 + static_cast<size_t>(dataBytes);
}

std::string CreateWAVData(const float* samples, std::uint64_t count, std::int32_t sampleRate) {
  std::string out;
  AppendWAVData(out, samples, count, sampleRate);
  return out;
}

QuillomancerSamples Resample(std::span<const float> x, std::int32_t from, std::int32_t to) {
  if (from == to || x.empty() || from < 1 || to < 1) return QuillomancerSamples(x.begin(), x.end());
  const double ratio = static_cast<double>(from) / static_cast<double>(to);
  const size_t n = x.size();
  const auto m = static_cast<size_t>(static_cast<double>(n) / ratio);
  QuillomancerSamples y(m);
  QMSampleLoopsInUse().interpolate(x.data(), static_cast<int64_t>(n), y.data(), static_cast<int64_t>(m), ratio);
  return y;
}

// ---- the takes container -----------------------------------------------------------------------

void QMChunkedBody::append(const char* data, std::size_t size) {
  while (size > 0) {
    const std::size_t within = size_ % kBlockBytes;
    if (within == 0) blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockBytes));
    const std::size_t n = std::min(size, kBlockBytes - within);
    std::memcpy(blocks_.back().get() + within, data, n);
    data += n;
    size -= n;
    size_ += n;
  }
}

void QMChunkedBody::copy(std::size_t offset, std::size_t count, void* out) const {
  auto* to = static_cast<char*>(out);
  forEachStretch(offset, count, [&](const char* p, std::size_t n) {
    std::memcpy(to, p, n);
    to += n;
  });
}

void QMChunkedBody::releaseBefore(std::size_t offset) {
  for (std::size_t block = 0; block < blocks_.size() && (block + 1) * kBlockBytes <= offset; ++block)
    blocks_[block].reset();
}

std::string QMChunkedBody::tail(std::size_t offset) const {
  std::string out;
  if (offset >= size_) return out;
  out.reserve(size_ - offset);
  forEachStretch(offset, size_ - offset, [&](const char* p, std::size_t n) { out.append(p, n); });
  return out;
}

namespace {

// Little-endian 16-bit samples to floats (each / 32768), or kept as 16-bit samples.
void ConvertPcm16(const char* in, std::size_t n, float* out) {
  QMSampleLoopsInUse().decodePcm16(in, static_cast<int64_t>(n), out);
}
void ConvertPcm16(const char* in, std::size_t n, std::int16_t* out) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, in, 2 * n);
  } else {
    const auto* p = reinterpret_cast<const unsigned char*>(in);
    for (std::size_t i = 0; i < n; ++i)
      out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
  }
}

// The decoder's view of a body held in one piece.
struct ContiguousBody {
  const std::uint8_t* bytes;
  std::size_t length;
  std::size_t size() const { return length; }
  void copy(std::size_t offset, std::size_t count, void* out) const { std::memcpy(out, bytes + offset, count); }
  template <typename Sample>
  void decode(std::size_t offset, std::size_t count, Sample* out) const {
    ConvertPcm16(reinterpret_cast<const char*>(bytes) + offset, count, out);
  }
  void releaseBefore(std::size_t) {}
};

// ... and of one held in blocks, each let go as soon as its last sample is decoded; a sample
// split across two blocks is put together on its own.
struct BlockBody {
  QMChunkedBody& body;
  std::size_t size() const { return body.size(); }
  void copy(std::size_t offset, std::size_t count, void* out) const { body.copy(offset, count, out); }
  template <typename Sample>
  void decode(std::size_t offset, std::size_t count, Sample* out) {
    char carry[2];
    bool carrying = false;
    std::size_t at = offset;
    body.forEachStretch(offset, 2 * count, [&](const char* p, std::size_t n) {
      at += n;
      if (carrying) {
        carry[1] = *p++;
        --n;
        ConvertPcm16(carry, 1, out++);
        carrying = false;
      }
      ConvertPcm16(p, n / 2, out);
      out += n / 2;
      if (n % 2) {
        carry[0] = p[n - 1];
        carrying = true;
      }
      body.releaseBefore(at);  // a byte carried over is copied already
    });
  }
  void releaseBefore(std::size_t offset) { body.releaseBefore(offset); }
};

template <typename Body>
bool ParseTakes(Body& body, double hostSampleRate, QuillomancerServer::GenerateResult& result,
                std::size_t* outOffset, bool keep16Bit) {
  const std::size_t length = body.size();
  if (length < 28) {
    QMLogFormat("[SRV] QMTK too small: %zu bytes", length);
    return false;
  }
  std::uint8_t header[28];
  body.copy(0, 28, header);
  const std::uint32_t magic = getU32(header);
  const std::uint32_t version = getU32(header + 4);
  const std::uint32_t takeCount = getU32(header + 8);
  const std::uint32_t rate = getU32(header + 12);
  const std::uint32_t bits = getU32(header + 16);
  const std::uint32_t remaining = getU32(header + 20);
  const std::uint32_t remainingOther = getU32(header + 24);
  if (std::memcmp(header, "QMTK", 4) != 0) {
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
  std::uint8_t lengthWords[20];
  body.copy(28, 4 * static_cast<size_t>(takeCount), lengthWords);
  std::uint32_t takeLengths[5] = {};
  for (std::uint32_t i = 0; i < takeCount; ++i) takeLengths[i] = getU32(lengthWords + 4 * i);
  QMLogFormat("[SRV] QMTK: %u takes, %uHz, %u-bit, remaining=%u/%u", takeCount, rate, bits, remaining,
              remainingOther);

  const std::int32_t hostRate = usableHostRate(hostSampleRate);
  result.takes.assign(takeCount, {});
  result.pcmTakes.clear();
  if (keep16Bit) result.pcmTakes.resize(takeCount);
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
    if (keep16Bit && static_cast<std::int32_t>(rate) == hostRate) {
      QMPcm16Samples pcm(count);
      body.decode(offset, count, pcm.data());
      body.releaseBefore(offset + takeBytes);
      QMLogFormat("[SRV]   Take %u: %zu samples (%.2f sec at %dHz)", i, pcm.size(),
                  static_cast<double>(pcm.size()) / hostRate, hostRate);
      result.pcmTakes[i] = std::move(pcm);
      offset += takeBytes;
      continue;
    }
    QuillomancerSamples samples(count);
    body.decode(offset, count, samples.data());
    body.releaseBefore(offset + takeBytes);
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

}  // namespace

bool ParseQMTK(const std::uint8_t* body, std::size_t length, double hostSampleRate,
               QuillomancerServer::GenerateResult& result, std::size_t* outOffset) {
  ContiguousBody contiguous{body, body ? length : 0};
  return ParseTakes(contiguous, hostSampleRate, result, outOffset, false);
}

bool ParseQMTK(QMChunkedBody& body, double hostSampleRate, QuillomancerServer::GenerateResult& result,
               std::size_t* outOffset, bool keep16Bit) {
  BlockBody blocks{body};
  return ParseTakes(blocks, hostSampleRate, result, outOffset, keep16Bit);
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
