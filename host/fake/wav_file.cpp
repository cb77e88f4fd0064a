#include "qm/host/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "qm/platform/files.h"

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

// What the chunks of a RIFF/WAVE image say: its format and where its samples are.
struct Layout {
  uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
  uint32_t rate = 0;
  uint64_t samplesAt = 0;  // offset of the first sample byte
  size_t sampleBytes = 0;
  size_t frameBytes = 0;
  bool pcm = false;
};

// The four letters of a chunk's name as a message shows them.
std::string ChunkName(const unsigned char* id) {
  std::string name = "\"";
  for (int i = 0; i < 4; ++i) name.push_back(id[i] >= 0x20 && id[i] < 0x7F ? char(id[i]) : '?');
  return name + "\"";
}

bool IsFormatOrSamples(const unsigned char* id) { return std::memcmp(id, "fmt ", 4) == 0 || std::memcmp(id, "data", 4) == 0; }

// Walks the chunks of an image of `size` bytes; read(offset, count, to) fetches bytes that lie
// inside it. A cut data chunk keeps what it has.
template <typename Read>
bool ReadLayout(uint64_t size, Read read, Layout* l, std::string* error) {
  unsigned char head[12];
  if (size < 12 || !read(0, 12, head) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
    return Fail(error, "not a RIFF/WAVE file");
  }
  bool haveFormat = false, haveSamples = false;
  uint64_t pos = 12;
  // Every chunk but the samples' own counts towards the limit, in whichever order they come. Once
  // both are found the walk goes on to meet a second format chunk, which would leave the samples'
  // rate and encoding in doubt; a file with more chunks than the walk reads is refused, so no
  // second format chunk hides beyond the limit.
  for (int others = 0; pos + 8 <= size;) {
    unsigned char chunk[8];
    if (!read(pos, 8, chunk)) return Fail(error, "cannot read the file");
    const uint64_t chunkSize = U32(chunk + 4);
    const uint64_t body = pos + 8;
    const uint64_t available = size - body;
    const bool samples = std::memcmp(chunk, "data", 4) == 0;
    const bool format = std::memcmp(chunk, "fmt ", 4) == 0;
    if (format && haveFormat) {
      return Fail(error, "a second format chunk " + ChunkName(chunk) + " at byte " + std::to_string(pos) +
                             " (a file has one)");
    }
    if (!(samples && !haveSamples) && ++others > kWavMaxChunks) {
      const char* where = haveFormat && haveSamples ? "besides the samples"
                          : haveSamples               ? "before the format"
                                                      : "before the samples";
      return Fail(error, "more than " + std::to_string(kWavMaxChunks) + " chunks " + where);
    }
    if (format) {
      if (chunkSize < 16 || chunkSize > available) return Fail(error, "damaged format chunk");
      unsigned char f[40] = {};
      if (!read(body, size_t(std::min<uint64_t>(chunkSize, 40)), f)) return Fail(error, "cannot read the file");
      l->format = U16(f);
      l->channels = U16(f + 2);
      l->rate = U32(f + 4);
      l->blockAlign = U16(f + 12);
      l->bits = U16(f + 14);
      if (l->format == 0xFFFE) {
        if (chunkSize < 40) return Fail(error, "damaged extensible format chunk");
        l->format = U16(f + 24);  // the sub-format's first two bytes
      }
      haveFormat = true;
    } else if (samples && !haveSamples) {
      l->samplesAt = body;
      l->sampleBytes = size_t(std::min<uint64_t>(chunkSize, available));  // a cut file keeps what it has
      haveSamples = true;
    }
    // A chunk of odd size is followed by a pad byte. One written without it puts the next chunk a
    // byte early, where the walk would miss it: said as what it is.
    if ((chunkSize & 1) != 0 && body + chunkSize + 1 + 8 <= size) {
      unsigned char unpadded[4], padded[4];
      if (read(body + chunkSize, 4, unpadded) && read(body + chunkSize + 1, 4, padded) && IsFormatOrSamples(unpadded) &&
          !IsFormatOrSamples(padded)) {
        return Fail(error, "the chunk " + ChunkName(chunk) + " of odd size " + std::to_string(chunkSize) +
                               " has no pad byte before the chunk " + ChunkName(unpadded));
      }
    }
    const uint64_t next = body + chunkSize + (chunkSize & 1);
    if (next > size) break;
    pos = next;
  }
  if (!haveFormat) return Fail(error, "no format chunk");
  if (!haveSamples) return Fail(error, "no data chunk");
  if (l->channels < 1 || l->channels > kWavMaxChannels)
    return Fail(error, "unsupported channel count " + std::to_string(l->channels));
  if (l->rate < kWavMinSampleRate || l->rate > kWavMaxSampleRate) {
    return Fail(error, "unsupported sample rate " + std::to_string(l->rate) + " Hz (" +
                           std::to_string(kWavMinSampleRate) + " to " + std::to_string(kWavMaxSampleRate) + " Hz)");
  }
  l->pcm = l->format == 1 && (l->bits == 8 || l->bits == 16 || l->bits == 24 || l->bits == 32);
  const bool ieee = l->format == 3 && (l->bits == 32 || l->bits == 64);
  if (!l->pcm && !ieee) {
    return Fail(error, "unsupported encoding (format " + std::to_string(l->format) + ", " + std::to_string(l->bits) +
                           " bits)");
  }
  l->frameBytes = size_t(l->bits / 8) * l->channels;
  if (l->blockAlign != 0 && l->blockAlign != l->frameBytes) return Fail(error, "inconsistent block alignment");
  return true;
}

// Each channel sized on its own: no template channel is made to be copied.
void SizeChannels(int channels, size_t frames, WavAudio* out) {
  out->channels.resize(size_t(channels));
  for (auto& channel : out->channels) channel.resize(frames);
}

// One sample from its bytes.
float DecodeSample(bool pcm, uint16_t bits, const unsigned char* p) {
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
  return std::isfinite(v) ? v : 0.0f;
}

// `count` frames from their bytes into out[c][offset, offset + count).
void DecodeFrames(bool pcm, uint16_t bits, int channels, const unsigned char* samples, size_t count,
                  float* const* out, size_t offset) {
  const size_t bytesPerSample = bits / 8;
  const size_t frameBytes = bytesPerSample * size_t(channels);
  for (size_t f = 0; f < count; ++f) {
    for (int c = 0; c < channels; ++c) {
      out[c][offset + f] = DecodeSample(pcm, bits, samples + f * frameBytes + size_t(c) * bytesPerSample);
    }
  }
}

std::vector<float*> ChannelPointers(WavAudio& audio) {
  std::vector<float*> pointers;
  for (auto& channel : audio.channels) pointers.push_back(channel.data());
  return pointers;
}

}  // namespace

bool parseWav(const std::string& bytes, WavAudio* out, std::string* error) {
  if (out == nullptr) return Fail(error, "no output");
  *out = WavAudio{};
  if (bytes.size() > kWavMaxFileBytes) return Fail(error, "is larger than 1 GiB");
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  Layout layout;
  auto read = [&](uint64_t offset, size_t count, unsigned char* to) {
    std::memcpy(to, data + offset, count);
    return true;
  };
  if (!ReadLayout(bytes.size(), read, &layout, error)) return false;
  const size_t frames = layout.sampleBytes / layout.frameBytes;
  out->sampleRate = int32_t(layout.rate);
  SizeChannels(layout.channels, frames, out);
  DecodeFrames(layout.pcm, layout.bits, layout.channels, data + layout.samplesAt, frames, ChannelPointers(*out).data(), 0);
  return true;
}

namespace {

// Up to `count` bytes from `offset`; answers how many there were.
size_t ReadAt(int fd, uint64_t offset, unsigned char* to, size_t count) {
  size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, to + got, count - got, off_t(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  return got;
}

// Reads of an open file through one buffer: the chunk walk's small reads come from the buffer, and
// the file is read again only where a read leaves it.
class BufferedFile {
 public:
  explicit BufferedFile(int fd) : fd_(fd) {}
  bool Read(uint64_t offset, size_t count, unsigned char* to) {
    if (offset < start_ || offset + count > start_ + buffer_.size()) {
      buffer_.resize(std::max(count, kBuffer));
      const size_t got = ReadAt(fd_, offset, buffer_.data(), buffer_.size());
      buffer_.resize(got);
      start_ = offset;
      if (got < count) return false;
    }
    std::memcpy(to, buffer_.data() + (offset - start_), count);
    return true;
  }

 private:
  static constexpr size_t kBuffer = size_t(64) << 10;
  int fd_;
  uint64_t start_ = 0;
  std::vector<unsigned char> buffer_;
};

}  // namespace

WavClip::~WavClip() {
  if (fd_ >= 0) ::close(fd_);
}

bool WavClip::open(const std::string& path, std::string* error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  rate_ = channels_ = 0;
  frames_ = 0;
  qm::platform::FileOpenOptions options;
  options.maxBytes = kWavMaxFileBytes;
  options.followLinks = true;  // a file the user named, wherever a link of theirs leads
  const qm::platform::FileOpenResult opened = qm::platform::openRegularFile(path, options);
  if (opened.fd < 0) {
    const std::string why = opened.refusal == qm::platform::FileRefusal::tooLarge
                                ? "is larger than 1 GiB"
                                : qm::platform::describeFileRefusal(opened.refusal, options.maxBytes, opened.error);
    return Fail(error, "cannot open " + path + ": " + why);
  }
  BufferedFile file(opened.fd);
  auto read = [&](uint64_t offset, size_t count, unsigned char* to) { return file.Read(offset, count, to); };
  Layout layout;
  std::string why;
  if (!ReadLayout(uint64_t(opened.info.st_size), read, &layout, &why)) {
    ::close(opened.fd);
    return Fail(error, path + ": " + why);
  }
  fd_ = opened.fd;
  path_ = path;
  rate_ = int32_t(layout.rate);
  channels_ = layout.channels;
  frames_ = int64_t(layout.sampleBytes / layout.frameBytes);
  format_ = layout.pcm ? 1 : 3;
  bits_ = layout.bits;
  samplesAt_ = layout.samplesAt;
  frameBytes_ = layout.frameBytes;
  return true;
}

// [any-thread]
bool WavClip::read(int64_t at, int64_t count, float* const* out) const {
  if (count <= 0) return true;
  const int64_t first = std::clamp<int64_t>(at, 0, frames_), last = std::clamp<int64_t>(at + count, 0, frames_);
  // Silence before and after the file's frames, also for a window wholly outside the file.
  const int64_t head = std::clamp<int64_t>(first - at, 0, count), tail = std::clamp<int64_t>(last - at, head, count);
  for (int c = 0; c < channels_; ++c) {
    std::fill(out[c], out[c] + head, 0.0f);
    std::fill(out[c] + tail, out[c] + count, 0.0f);
  }
  if (last <= first || fd_ < 0) return last <= first;
  // A piece of about 256 KiB at a time from the file.
  const size_t piece = std::max<size_t>(1, (size_t(256) << 10) / frameBytes_);
  std::vector<unsigned char> bytes(std::min<size_t>(piece, size_t(last - first)) * frameBytes_);
  for (int64_t from = first; from < last; from += int64_t(piece)) {
    const size_t n = size_t(std::min<int64_t>(int64_t(piece), last - from));
    const size_t want = n * frameBytes_;
    if (ReadAt(fd_, samplesAt_ + uint64_t(from) * frameBytes_, bytes.data(), want) < want) return false;
    DecodeFrames(format_ == 1, bits_, channels_, bytes.data(), n, out, size_t(from - at));
  }
  return true;
}

bool readWav(const std::string& path, WavAudio* out, std::string* error, const WavHeaderCheck& check) {
  if (out == nullptr) return Fail(error, "no output");
  *out = WavAudio{};
  WavClip clip;
  if (!clip.open(path, error)) return false;
  int64_t frames = clip.frames();
  if (check) {
    const WavHeader header{clip.sampleRate(), clip.channels(), frames};
    int64_t decode = frames;
    if (std::string refused = check(header, &decode); !refused.empty()) return Fail(error, refused);
    frames = std::clamp<int64_t>(decode, 0, frames);
  }
  out->sampleRate = clip.sampleRate();
  SizeChannels(clip.channels(), size_t(frames), out);
  if (!clip.read(0, frames, ChannelPointers(*out).data())) {
    *out = WavAudio{};
    return Fail(error, "cannot read " + path);
  }
  return true;
}

namespace {

std::string Wav16Header(uint16_t channels, uint64_t frames, int32_t sampleRate) {
  const uint32_t dataBytes = uint32_t(frames * channels * 2);
  std::string s;
  s += "RIFF";
  Put32(s, 36 + dataBytes);
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, 1);
  Put16(s, channels);
  Put32(s, uint32_t(sampleRate));
  Put32(s, uint32_t(sampleRate) * channels * 2);
  Put16(s, uint16_t(channels * 2));
  Put16(s, 16);
  s += "data";
  Put32(s, dataBytes);
  return s;
}

void PutSample(std::string& s, float v) {
  if (!std::isfinite(v)) v = 0.0f;
  v = std::clamp(v, -1.0f, 1.0f);
  Put16(s, uint16_t(int16_t(std::lrint(v * 32767.0f))));
}

}  // namespace

std::string encodeWav16(const std::vector<std::vector<float>>& channels, int32_t sampleRate) {
  const uint16_t count = uint16_t(std::max<size_t>(1, channels.size()));
  size_t frames = 0;
  for (const auto& c : channels) frames = std::max(frames, c.size());
  std::string s = Wav16Header(count, frames, sampleRate);
  s.reserve(44 + frames * count * 2);
  for (size_t f = 0; f < frames; ++f) {
    for (size_t c = 0; c < count; ++c) PutSample(s, (c < channels.size() && f < channels[c].size()) ? channels[c][f] : 0.0f);
  }
  return s;
}

Wav16Writer::Wav16Writer(std::string path, int channels, int64_t frames, int32_t sampleRate)
    : path_(std::move(path)), channels_(std::max(1, channels)), frames_(std::max<int64_t>(0, frames)) {
  out_.open(path_ + ".partial", std::ios::binary | std::ios::trunc);
  const std::string header = Wav16Header(uint16_t(channels_), uint64_t(frames_), sampleRate);
  out_.write(header.data(), std::streamsize(header.size()));
}

Wav16Writer::~Wav16Writer() {
  if (!finished_) {
    out_.close();
    std::remove((path_ + ".partial").c_str());
  }
}

void Wav16Writer::append(const float* const* channels, int64_t frames) {
  frames = std::min(frames, frames_ - written_);
  if (frames <= 0) return;
  buffer_.clear();
  for (int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels_; ++c) PutSample(buffer_, channels[c] ? channels[c][f] : 0.0f);
  }
  out_.write(buffer_.data(), std::streamsize(buffer_.size()));
  written_ += frames;
}

bool Wav16Writer::finish(std::string* error) {
  std::vector<const float*> silence(size_t(channels_), nullptr);
  while (written_ < frames_) append(silence.data(), std::min<int64_t>(frames_ - written_, 4096));
  const std::string temporary = path_ + ".partial";
  if (!out_ || !out_.flush()) {
    out_.close();
    std::remove(temporary.c_str());
    return Fail(error, "cannot write " + path_);
  }
  out_.close();
  if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return Fail(error, "cannot write " + path_);
  }
  finished_ = true;
  return true;
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
