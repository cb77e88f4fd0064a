#include "qm/host/wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qm::host {
namespace {

uint16_t U16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

void Put16(std::string& s, uint16_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

bool parseWav(const std::string& bytes, WavAudio* out, std::string* error) {
  if (out == nullptr) return Fail(error, "no output");
  *out = WavAudio{};
  if (bytes.size() > kWavMaxFileBytes) return Fail(error, "file larger than 1 GiB");
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
    return Fail(error, "not a RIFF/WAVE file");
  }
  bool haveFormat = false;
  uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
  uint32_t rate = 0;
  const unsigned char* samples = nullptr;
  size_t sampleBytes = 0;
  size_t pos = 12;
  while (pos + 8 <= size) {
    const unsigned char* chunk = data + pos;
    const uint64_t chunkSize = U32(chunk + 4);
    const size_t body = pos + 8;
    const size_t available = size - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (chunkSize < 16 || chunkSize > available) return Fail(error, "damaged format chunk");
      format = U16(data + body);
      channels = U16(data + body + 2);
      rate = U32(data + body + 4);
      blockAlign = U16(data + body + 12);
      bits = U16(data + body + 14);
      if (format == 0xFFFE) {
        if (chunkSize < 40) return Fail(error, "damaged extensible format chunk");
        format = U16(data + body + 24);  // the sub-format's first two bytes
      }
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      samples = data + body;
      sampleBytes = size_t(std::min<uint64_t>(chunkSize, available));  // a cut file keeps what it has
      if (haveFormat) break;
    }
    const uint64_t next = uint64_t(body) + chunkSize + (chunkSize & 1);
    if (next > size) break;
    pos = size_t(next);
  }
  if (!haveFormat) return Fail(error, "no format chunk");
  if (samples == nullptr) return Fail(error, "no data chunk");
  if (channels < 1 || channels > kWavMaxChannels) return Fail(error, "unsupported channel count " + std::to_string(channels));
  if (rate < 1 || rate > 768000) return Fail(error, "unsupported sample rate " + std::to_string(rate));
  const bool pcm = format == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  const bool ieee = format == 3 && (bits == 32 || bits == 64);
  if (!pcm && !ieee) {
    return Fail(error, "unsupported encoding (format " + std::to_string(format) + ", " + std::to_string(bits) + " bits)");
  }
  const size_t bytesPerSample = bits / 8;
  const size_t frameBytes = bytesPerSample * channels;
  if (blockAlign != 0 && blockAlign != frameBytes) return Fail(error, "inconsistent block alignment");
  const size_t frames = sampleBytes / frameBytes;
  out->sampleRate = int32_t(rate);
  out->channels.assign(channels, std::vector<float>(frames));
  for (size_t f = 0; f < frames; ++f) {
    for (size_t c = 0; c < channels; ++c) {
      const unsigned char* p = samples + f * frameBytes + c * bytesPerSample;
      float v = 0.0f;
      if (pcm) {
        switch (bits) {
          case 8: v = (float(p[0]) - 128.0f) / 128.0f; break;
          case 16: v = float(int16_t(U16(p))) / 32768.0f; break;
          case 24: {
            int32_t x = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
            v = float(x) / 8388608.0f;
            break;
          }
          default: v = float(double(int32_t(U32(p))) / 2147483648.0); break;
        }
      } else if (bits == 32) {
        uint32_t u = U32(p);
        std::memcpy(&v, &u, 4);
      } else {
        uint64_t u = uint64_t(U32(p)) | (uint64_t(U32(p + 4)) << 32);
        double d;
        std::memcpy(&d, &u, 8);
        v = float(d);
      }
      if (!std::isfinite(v)) v = 0.0f;
      out->channels[c][f] = v;
    }
  }
  return true;
}

bool readWav(const std::string& path, WavAudio* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, "cannot open " + path);
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) return Fail(error, "cannot read " + path);
  if (uint64_t(length) > kWavMaxFileBytes) return Fail(error, path + ": file larger than 1 GiB");
  in.seekg(0);
  std::string bytes(size_t(length), '\0');
  if (!in.read(bytes.data(), length)) return Fail(error, "cannot read " + path);
  std::string why;
  if (!parseWav(bytes, out, &why)) return Fail(error, path + ": " + why);
  return true;
}

std::string encodeWav16(const std::vector<std::vector<float>>& channels, int32_t sampleRate) {
  const uint16_t count = uint16_t(std::max<size_t>(1, channels.size()));
  size_t frames = 0;
  for (const auto& c : channels) frames = std::max(frames, c.size());
  const uint32_t dataBytes = uint32_t(frames * count * 2);
  std::string s;
  s.reserve(44 + dataBytes);
  s += "RIFF";
  Put32(s, 36 + dataBytes);
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, 1);
  Put16(s, count);
  Put32(s, uint32_t(sampleRate));
  Put32(s, uint32_t(sampleRate) * count * 2);
  Put16(s, uint16_t(count * 2));
  Put16(s, 16);
  s += "data";
  Put32(s, dataBytes);
  for (size_t f = 0; f < frames; ++f) {
    for (size_t c = 0; c < count; ++c) {
      float v = (c < channels.size() && f < channels[c].size()) ? channels[c][f] : 0.0f;
      if (!std::isfinite(v)) v = 0.0f;
      v = std::clamp(v, -1.0f, 1.0f);
      Put16(s, uint16_t(int16_t(std::lrint(v * 32767.0f))));
    }
  }
  return s;
}

bool writeWav16(const std::string& path, const std::vector<std::vector<float>>& channels, int32_t sampleRate,
                std::string* error) {
  const std::string bytes = encodeWav16(channels, sampleRate);
  const std::string temporary = path + ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(bytes.data(), std::streamsize(bytes.size())) || !out.flush()) {
      std::remove(temporary.c_str());
      return Fail(error, "cannot write " + path);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return Fail(error, "cannot write " + path);
  }
  return true;
}

}  // namespace qm::host
