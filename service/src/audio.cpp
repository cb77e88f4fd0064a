#include "qm/service/audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace qm::service {

namespace {

uint32_t readU32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t readU16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

void putU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

}  // namespace

std::optional<WavAudio> readWav(const std::string& bytes) {
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
    return std::nullopt;
  WavAudio wav;
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string id = bytes.substr(at, 4);
    const uint64_t size = readU32(bytes, at + 4);
    const size_t body = at + 8;
    if (body + size > bytes.size()) return std::nullopt;
    if (id == "fmt ") {
      if (size < 16) return std::nullopt;
      if (readU16(bytes, body) != 1) return std::nullopt;  // PCM only
      wav.channels = readU16(bytes, body + 2);
      wav.sampleRate = readU32(bytes, body + 4);
      wav.bitsPerSample = readU16(bytes, body + 14);
      // Rates beyond any real recording are refused: they would size buffers from untrusted input.
      if (wav.channels == 0 || wav.bitsPerSample != 16 || wav.sampleRate == 0 || wav.sampleRate > 768000)
        return std::nullopt;
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat) return std::nullopt;
      const size_t frame = 2u * wav.channels;
      const size_t frames = size / frame;
      wav.samples.resize(frames);
      for (size_t i = 0; i < frames; ++i)
        wav.samples[i] = static_cast<int16_t>(readU16(bytes, body + i * frame));
      return wav;
    }
    at = body + size + (size & 1);
  }
  return std::nullopt;
}

std::string writeWav(const std::vector<int16_t>& samples, uint32_t sampleRate) {
  const auto dataBytes = static_cast<uint32_t>(2 * samples.size());
  std::string out = "RIFF";
  putU32(out, 36 + dataBytes);
  out += "WAVEfmt ";
  putU32(out, 16);
  putU16(out, 1);  // PCM
  putU16(out, 1);  // mono
  putU32(out, sampleRate);
  putU32(out, sampleRate * 2);
  putU16(out, 2);
  putU16(out, 16);
  out += "data";
  putU32(out, dataBytes);
  for (int16_t s : samples) putU16(out, static_cast<uint16_t>(s));
  return out;
}

std::vector<Span> speechSpans(const std::vector<int16_t>& samples, uint32_t sampleRate) {
  std::vector<Span> spans;
  if (samples.empty() || sampleRate == 0) return spans;
  const size_t frame = std::max<size_t>(1, sampleRate / 100);
  std::vector<double> rms;
  for (size_t at = 0; at < samples.size(); at += frame) {
    const size_t end = std::min(samples.size(), at + frame);
    double sum = 0;
    for (size_t i = at; i < end; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    rms.push_back(std::sqrt(sum / static_cast<double>(end - at)));
  }
  const double loudest = *std::max_element(rms.begin(), rms.end());
  if (loudest < 30.0) return spans;  // about -60 dBFS: silence
  const double threshold = loudest * 0.1;
  const double frameSeconds = static_cast<double>(frame) / sampleRate;
  const double total = static_cast<double>(samples.size()) / sampleRate;
  for (size_t i = 0; i < rms.size(); ++i) {
    if (rms[i] < threshold) continue;
    const double start = static_cast<double>(i) * frameSeconds;
    const double end = std::min(total, start + frameSeconds);
    if (!spans.empty() && start - spans.back().end < 0.15)
      spans.back().end = end;
    else
      spans.push_back({start, end});
  }
  return spans;
}

nlohmann::json timedTranscriptFor(const std::string& text, const std::vector<int16_t>& samples,
                                  uint32_t sampleRate) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  const auto spans = speechSpans(samples, sampleRate);
  nlohmann::json result = {{"text", ""}, {"words", nlohmann::json::array()}};
  if (words.empty() || spans.empty()) return result;
  result["text"] = text;
  double speech = 0;
  for (const auto& s : spans) speech += s.end - s.start;
  size_t weightTotal = 0;
  for (const auto& w : words) weightTotal += w.size() + 1;
  // Maps a share of the speech time to a time on the clip, walking the spans.
  auto timeAt = [&](double share) {
    double left = share * speech;
    for (const auto& s : spans) {
      const double length = s.end - s.start;
      if (left <= length) return s.start + left;
      left -= length;
    }
    return spans.back().end;
  };
  size_t before = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    const double a = static_cast<double>(before) / weightTotal;
    before += words[i].size() + 1;
    const double b = static_cast<double>(before) / weightTotal;
    const double start = std::round(timeAt(a) * 1000.0) / 1000.0;
    const double end = std::round(timeAt(b) * 1000.0) / 1000.0;
    result["words"].push_back({{"index", i}, {"word", words[i]}, {"start", start}, {"end", end}});
  }
  return result;
}

std::vector<int16_t> changeRate(const std::vector<int16_t>& samples, uint32_t from, uint32_t to) {
  if (from == to || from == 0 || to == 0 || samples.empty()) return samples;
  const size_t outLength = static_cast<size_t>(static_cast<double>(samples.size()) * to / from);
  std::vector<int16_t> out(outLength);
  for (size_t i = 0; i < outLength; ++i) {
    const double position = static_cast<double>(i) * from / to;
    const size_t i0 = std::min(samples.size() - 1, static_cast<size_t>(position));
    const size_t i1 = std::min(samples.size() - 1, i0 + 1);
    const double f = position - static_cast<double>(i0);
    out[i] = static_cast<int16_t>(std::lround(samples[i0] * (1.0 - f) + samples[i1] * f));
  }
  return out;
}

namespace {

std::string containerHeader(const TakesContainer& c, const std::vector<size_t>& takeSamples) {
  std::string out;
  out.append(c.magic.substr(0, 4));
  out.append(4 - std::min<size_t>(4, c.magic.size()), '\0');
  putU32(out, c.version);
  putU32(out, static_cast<uint32_t>(takeSamples.size()));
  putU32(out, c.sampleRate);
  putU32(out, c.bitsPerSample);
  putU32(out, c.creditsRemaining);
  putU32(out, c.creditsAllowance);
  for (const size_t samples : takeSamples) putU32(out, static_cast<uint32_t>(samples * 2));
  return out;
}

void putSamples(const int16_t* samples, size_t count, char* out) {
  for (size_t i = 0; i < count; ++i) {
    const auto u = static_cast<uint16_t>(samples[i]);
    out[2 * i] = static_cast<char>(u & 0xFF);
    out[2 * i + 1] = static_cast<char>(u >> 8);
  }
}

}  // namespace

std::string encodeTakesContainer(const TakesContainer& c) {
  std::vector<size_t> lengths;
  for (const auto& take : c.takes) lengths.push_back(take.size());
  return TakesStream(c, lengths, [&c](size_t i) { return c.takes[i]; }).all();
}

TakesStream::TakesStream(const TakesContainer& container, std::vector<size_t> takeSamples,
                         std::function<std::vector<int16_t>(size_t take)> makeTake)
    : header_(containerHeader(container, takeSamples)),
      trailer_(container.trailer),
      takeSamples_(std::move(takeSamples)),
      makeTake_(std::move(makeTake)) {
  size_ = header_.size() + trailer_.size();
  for (const size_t samples : takeSamples_) size_ += 2 * samples;
}

void TakesStream::read(size_t offset, size_t count, char* out) {
  auto piece = [&](size_t start, size_t length, auto copy) {
    if (count == 0 || offset >= start + length || offset < start) return;
    const size_t n = std::min(count, start + length - offset);
    copy(offset - start, n);
    offset += n;
    out += n;
    count -= n;
  };
  piece(0, header_.size(), [&](size_t at, size_t n) { std::memcpy(out, header_.data() + at, n); });
  size_t start = header_.size();
  for (size_t i = 0; i < takeSamples_.size(); ++i) {
    const size_t bytes = 2 * takeSamples_[i];
    piece(start, bytes, [&](size_t at, size_t n) {
      if (current_ != i) {
        if (!makeTake_) throw std::logic_error("the takes of a container stream are read front to back");
        std::vector<int16_t>().swap(take_);  // the one before goes first (its memory too)
        take_ = makeTake_(i);
        take_.resize(takeSamples_[i]);
        current_ = i;
        // The last take made: what the takes are made from is not needed any more.
        if (i + 1 == takeSamples_.size()) makeTake_ = nullptr;
      }
      // A piece may start or end inside a sample.
      size_t k = 0;
      if (at % 2 == 1) out[k++] = static_cast<char>(static_cast<uint16_t>(take_[at / 2]) >> 8);
      const size_t whole = (n - k) / 2;
      putSamples(take_.data() + (at + k) / 2, whole, out + k);
      k += 2 * whole;
      if (k < n) out[k] = static_cast<char>(static_cast<uint16_t>(take_[(at + k) / 2]) & 0xFF);
      if (at + n == bytes) {  // the take is sent: let it go before the next one is made
        std::vector<int16_t>().swap(take_);
        current_ = SIZE_MAX;
      }
    });
    start += bytes;
  }
  if (offset >= start) {
    std::vector<int16_t>().swap(take_);  // past the takes
    current_ = SIZE_MAX;
  }
  piece(start, trailer_.size(), [&](size_t at, size_t n) { std::memcpy(out, trailer_.data() + at, n); });
}

std::string TakesStream::all() {
  std::string out;
  out.resize(size_);
  size_t at = 0;
  std::memcpy(out.data(), header_.data(), header_.size());
  at += header_.size();
  for (size_t i = 0; i < takeSamples_.size(); ++i) {
    std::vector<int16_t> take = makeTake_(i);
    take.resize(takeSamples_[i]);
    putSamples(take.data(), take.size(), out.data() + at);
    at += 2 * take.size();
  }
  std::memcpy(out.data() + at, trailer_.data(), trailer_.size());
  return out;
}

}  // namespace qm::service
