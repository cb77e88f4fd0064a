#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qm/host/wav_file.h"

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
  const Case cases[] = {
      {"empty", ""},
      {"not riff", std::string(64, 'x')},
      {"no data", "RIFF" + Le32(4) + "WAVE"},
      {"adpcm", Wav(2, 1, 8000, 4, "abcd")},
      {"no channels", Wav(1, 0, 8000, 16, "abcd")},
      {"zero rate", Wav(1, 1, 0, 16, "abcd")},
      {"format chunk overruns", "RIFF" + Le32(100) + "WAVEfmt " + Le32(4000) + std::string(16, '\0')},
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
}

TEST(WavFile, CutDataChunkKeepsWholeFrames) {
  std::string bytes = Wav(1, 2, 8000, 16, std::string(8, '\0'));
  bytes.resize(bytes.size() - 3);  // cut inside the second frame
  WavAudio audio;
  std::string error;
  ASSERT_TRUE(qm::host::parseWav(bytes, &audio, &error)) << error;
  EXPECT_EQ(audio.frames(), 1);
}

}  // namespace
