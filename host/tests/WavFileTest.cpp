#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "qm/host/wav_file.h"
#include "qm/platform/files.h"

namespace {

using qm::host::WavAudio;

std::string Le16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
std::string Le32(uint32_t v) {
  return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}

std::string Wav(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data,
                const std::string& extraChunk = "") {
  std::string fmt = Le16(format) + Le16(channels) + Le32(rate) + Le32(rate * channels * bits / 8) +
                    Le16(uint16_t(channels * bits / 8)) + Le16(bits);
  std::string body = "WAVE" + extraChunk + "fmt " + Le32(uint32_t(fmt.size())) + fmt + "data" +
                     Le32(uint32_t(data.size())) + data;
  return "RIFF" + Le32(uint32_t(body.size())) + body;
}

TEST(WavFile, RoundTripsSixteenBitStereo) {
  const std::vector<std::vector<float>> channels = {{0.0f, 0.5f, -1.0f}, {0.25f, -0.5f, 1.0f}};
  const std::string bytes = qm::host::encodeWav16(channels, 48000);
  EXPECT_EQ(bytes.size(), 44u + 3 * 2 * 2);
  WavAudio audio;
  std::string error;
  ASSERT_TRUE(qm::host::parseWav(bytes, &audio, &error)) << error;
  EXPECT_EQ(audio.sampleRate, 48000);
  ASSERT_EQ(audio.channels.size(), 2u);
  EXPECT_EQ(audio.frames(), 3);
  EXPECT_NEAR(audio.channels[0][1], 0.5f, 1e-4);
  EXPECT_NEAR(audio.channels[1][2], 1.0f, 1e-4);
  EXPECT_NEAR(audio.channels[0][2], -1.0f, 1e-4);
}

TEST(WavFile, ReadsOtherEncodingsAndSkipsUnknownChunks) {
  float f[2] = {0.75f, -0.25f};
  std::string floats(reinterpret_cast<const char*>(f), 8);
  WavAudio audio;
  std::string error;
  ASSERT_TRUE(qm::host::parseWav(Wav(3, 1, 44100, 32, floats, "LIST" + Le32(3) + "abc" + std::string(1, '\0')),
                                 &audio, &error))
      << error;
  EXPECT_EQ(audio.channels[0][0], 0.75f);
  EXPECT_EQ(audio.channels[0][1], -0.25f);

  const std::string pcm24 = std::string("\x00\x00\x40", 3) + std::string("\x00\x00\xC0", 3);
  ASSERT_TRUE(qm::host::parseWav(Wav(1, 1, 8000, 24, pcm24), &audio, &error)) << error;
  EXPECT_EQ(audio.channels[0][0], 0.5f);
  EXPECT_EQ(audio.channels[0][1], -0.5f);
}

TEST(WavFile, RefusesWhatItCannotUse) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string junk;  // as many chunks before the samples as the reader walks
  for (int i = 0; i < qm::host::kWavMaxChunks; ++i) junk += "junk" + Le32(0);
  const Case cases[] = {
      {"empty", ""},
      {"not riff", std::string(64, 'x')},
      {"no data", "RIFF" + Le32(4) + "WAVE"},
      {"adpcm", Wav(2, 1, 8000, 4, "abcd")},
      {"no channels", Wav(1, 0, 8000, 16, "abcd")},
      {"zero rate", Wav(1, 1, 0, 16, "abcd")},
      {"format chunk overruns", "RIFF" + Le32(100) + "WAVEfmt " + Le32(4000) + std::string(16, '\0')},
      {"a rate below what takes come back at", Wav(1, 1, 7999, 16, "abcd")},
      {"a rate above what takes come back at", Wav(1, 1, 384001, 16, "abcd")},
      {"countless chunks", Wav(1, 1, 8000, 16, "abcd", junk)},
  };
  for (const auto& c : cases) {
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(qm::host::parseWav(c.bytes, &audio, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
  WavAudio audio;
  std::string error;
  EXPECT_FALSE(qm::host::readWav("/nonexistent/clip.wav", &audio, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
  // At the edges: the highest rate, and the format and data chunks within the chunk limit.
  EXPECT_TRUE(qm::host::parseWav(Wav(1, 1, 384000, 16, "abcd"), &audio, &error)) << error;
  junk.resize(junk.size() - 16);
  EXPECT_TRUE(qm::host::parseWav(Wav(1, 1, 8000, 16, "abcd", junk), &audio, &error)) << error;
}

TEST(WavFile, CutDataChunkKeepsWholeFrames) {
  std::string bytes = Wav(1, 2, 8000, 16, std::string(8, '\0'));
  bytes.resize(bytes.size() - 3);  // cut inside the second frame
  WavAudio audio;
  std::string error;
  ASSERT_TRUE(qm::host::parseWav(bytes, &audio, &error)) << error;
  EXPECT_EQ(audio.frames(), 1);
}

class WavFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qm-wav-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string dir;
};

// Reading a file a piece at a time gives what parsing its bytes gives, refusals included.
TEST_F(WavFiles, ReadingTheFileMatchesParsingItsBytes) {
  std::vector<std::string> images;
  for (const char* seed : {"float32_mono.wav", "pcm16_stereo.wav", "pcm24_mono.wav", "speech_head.wav"}) {
    ASSERT_TRUE(qm::platform::readFile(QM_SOURCE_DIR "/fuzz/corpus/session_clip/" + std::string(seed), images.emplace_back()));
  }
  std::mt19937 rng(7);
  std::string noise(3 * (1 << 20) + 7, '\0');  // pieces of about 1 MiB, a cut frame at the end
  for (auto& c : noise) c = char(rng());
  images.push_back(Wav(1, 3, 96000, 24, noise));
  images.push_back(Wav(3, 2, 44100, 64, noise.substr(0, 4096)));
  // The samples before the format, an odd chunk in between, a data chunk longer than the file.
  const std::string fmt = Le16(1) + Le16(1) + Le32(8000) + Le32(16000) + Le16(2) + Le16(16);
  images.push_back("RIFF" + Le32(60) + "WAVEdata" + Le32(4) + "abcd" + "odd " + Le32(1) + "x" + std::string(1, '\0') +
                   "fmt " + Le32(16) + fmt);
  images.push_back("RIFF" + Le32(60) + "WAVEfmt " + Le32(16) + fmt + "data" + Le32(4000) + "abcdef");
  images.push_back(Wav(1, 1, 8000, 12, "abcd"));
  images.push_back("RIFF" + Le32(4) + "WAVE");
  for (size_t k = 0; k < images.size(); ++k) {
    WavAudio parsed, read;
    std::string parseError, readError;
    const bool parsedOk = qm::host::parseWav(images[k], &parsed, &parseError);
    const std::string path = Write("clip" + std::to_string(k) + ".wav", images[k]);
    ASSERT_EQ(qm::host::readWav(path, &read, &readError), parsedOk) << k;
    if (!parsedOk) {
      EXPECT_EQ(readError, path + ": " + parseError);
      continue;
    }
    EXPECT_EQ(read.sampleRate, parsed.sampleRate);
    EXPECT_EQ(read.channels, parsed.channels) << k;
  }
}

// A window of frames reads the file's frames where it has them and silence elsewhere, also
// wholly before or past the file.
TEST_F(WavFiles, AWindowOutsideTheFileReadsSilence) {
  std::string data;
  for (int16_t v : {1000, 2000, 3000, 4000}) data += Le16(uint16_t(v));
  qm::host::WavClip clip;
  ASSERT_TRUE(clip.open(Write("four.wav", Wav(1, 1, 8000, 16, data)), nullptr));
  const struct {
    int64_t at;
    std::vector<int> expected;  // in thousands, 0 for silence
  } windows[] = {{-2, {0, 0, 1, 2, 3, 4, 0, 0}}, {-20, {0, 0, 0}}, {2, {3, 4, 0}}, {9, {0, 0, 0}}};
  for (const auto& w : windows) {
    std::vector<float> samples(w.expected.size() + 4, 9.0f);  // past the window stays untouched
    float* out[] = {samples.data()};
    ASSERT_TRUE(clip.read(w.at, int64_t(w.expected.size()), out)) << w.at;
    for (size_t i = 0; i < w.expected.size(); ++i) EXPECT_NEAR(samples[i] * 32.768f, w.expected[i], 0.01) << w.at << " " << i;
    for (size_t i = w.expected.size(); i < samples.size(); ++i) EXPECT_EQ(samples[i], 9.0f) << w.at;
  }
}

// A FIFO is refused without a read that could block, also through a link; a link to a regular
// file (a sound library's usual layout) is followed.
TEST_F(WavFiles, OnlyARegularFileIsRead) {
  const std::string fifo = dir + "/clip.fifo", link = dir + "/link.wav", toFifo = dir + "/to-fifo.wav";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(Write("clip.wav", qm::host::encodeWav16({{0.5f}}, 8000)), link);
  std::filesystem::create_symlink(fifo, toFifo);
  WavAudio audio;
  std::string error;
  for (const std::string& path : {fifo, toFifo}) {
    EXPECT_FALSE(qm::host::readWav(path, &audio, &error)) << path;
    EXPECT_EQ(error, "cannot open " + path + ": is not a regular file");
  }
  EXPECT_TRUE(qm::host::readWav(link, &audio, &error)) << error;
}

// What is wrong with a file is said as it is: a chunk without its pad byte, more chunks before the
// samples than the reader walks (the format and 1,023 others are allowed), a file over 1 GiB.
TEST_F(WavFiles, TheMessagesSayWhatIsWrong) {
  WavAudio audio;
  std::string error, junk;
  EXPECT_FALSE(qm::host::parseWav(Wav(1, 1, 8000, 16, "abcd", "LIST" + Le32(3) + "abc"), &audio, &error));
  EXPECT_EQ(error, "the chunk \"LIST\" of odd size 3 has no pad byte before the chunk \"fmt \"");
  for (int i = 0; i < qm::host::kWavMaxChunks - 1; ++i) junk += "junk" + Le32(0);
  EXPECT_TRUE(qm::host::parseWav(Wav(1, 1, 8000, 16, "abcd", junk), &audio, &error)) << error;
  EXPECT_FALSE(qm::host::parseWav(Wav(1, 1, 8000, 16, "abcd", junk + "junk" + Le32(0)), &audio, &error));
  EXPECT_EQ(error, "more than 1024 chunks before the samples");
  const std::string large = Write("large.wav", qm::host::encodeWav16({{0.5f}}, 8000));  // sparse: 1 GiB and a byte
  ASSERT_EQ(::truncate(large.c_str(), (off_t(1) << 30) + 1), 0);
  EXPECT_FALSE(qm::host::readWav(large, &audio, &error));
  EXPECT_EQ(error, "cannot open " + large + ": is larger than 1 GiB");
}

// A second format chunk, before or after the samples or past 1,024 others, is refused: the rate is in doubt.
TEST_F(WavFiles, ASecondFormatChunkIsRefused) {
  const auto format = [](uint32_t rate) {
    return "fmt " + Le32(16) + Le16(1) + Le16(1) + Le32(rate) + Le32(rate * 2) + Le16(2) + Le16(16);
  };
  const std::string samples = "data" + Le32(4) + "abcd";
  std::string junk;
  for (int i = 0; i < qm::host::kWavMaxChunks; ++i) junk += "JUNK" + Le32(0);
  const std::string second = "a second format chunk \"fmt \" at byte ";
  const std::string countless = "more than 1024 chunks besides the samples";
  for (const auto& [chunks, refusal] : {std::pair{format(22050) + format(44100) + samples, second + "36 (a file has one)"},
                                        std::pair{format(22050) + samples + format(44100), second + "48 (a file has one)"},
                                        std::pair{format(22050) + samples + junk + format(44100), countless}}) {
    const std::string path = Write("two-formats.wav", "RIFF" + Le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks);
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(qm::host::readWav(path, &audio, &error)) << refusal;
    EXPECT_EQ(error, path + ": " + refusal);
  }
}

// The header check sees the file's format before any sample is decoded, and bounds the decoding.
TEST_F(WavFiles, TheHeaderIsCheckedBeforeTheSamplesAreDecoded) {
  std::vector<float> samples(1000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = float(i % 100) / 100.0f;
  const std::string path = Write("two.wav", qm::host::encodeWav16({samples, samples}, 16000));
  WavAudio audio;
  std::string error;
  ASSERT_TRUE(qm::host::readWav(path, &audio, &error, [](const qm::host::WavHeader& header, int64_t* decode) {
    EXPECT_EQ(std::to_string(header.sampleRate) + "/" + std::to_string(header.channels) + "/" + std::to_string(header.frames),
              "16000/2/1000");
    *decode = 300;
    return std::string();
  })) << error;
  ASSERT_EQ(audio.frames(), 300);
  EXPECT_NEAR(audio.channels[1][299], samples[299], 1e-4);
  EXPECT_FALSE(qm::host::readWav(path, &audio, &error, [](auto&, int64_t*) { return std::string("too long"); }));
  EXPECT_EQ(error, "too long");
  EXPECT_EQ(audio.frames(), 0);
}

TEST_F(WavFiles, WriterWritesWhatTheEncoderEncodes) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> level(-1.3f, 1.3f);
  std::vector<std::vector<float>> channels(2, std::vector<float>(5000));
  for (auto& channel : channels)
    for (auto& v : channel) v = rng() % 50 ? level(rng) : std::numeric_limits<float>::quiet_NaN();
  const std::string path = dir + "/take.wav";
  {
    qm::host::Wav16Writer writer(path, 2, 6000, 48000);  // the last 1000 frames never come
    for (size_t at = 0; at < 5000;) {
      const size_t n = std::min<size_t>(1 + rng() % 700, 5000 - at);
      const float* window[2] = {channels[0].data() + at, channels[1].data() + at};
      writer.append(window, int64_t(n));
      at += n;
    }
    std::string error;
    ASSERT_TRUE(writer.finish(&error)) << error;
  }
  for (auto& channel : channels) channel.resize(6000, 0.0f);
  std::string written;
  ASSERT_TRUE(qm::platform::readFile(path, written));
  EXPECT_EQ(written, qm::host::encodeWav16(channels, 48000));

  // A writer that is not finished leaves nothing behind.
  { qm::host::Wav16Writer abandoned(dir + "/abandoned.wav", 1, 10, 8000); }
  EXPECT_FALSE(std::filesystem::exists(dir + "/abandoned.wav"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/abandoned.wav.partial"));
}

}  // namespace
