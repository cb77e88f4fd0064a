// Upload WAV, takes container, timing trailer and resampler.

#include "QuillomancerServerFormats.h"

#include "client_test_support.h"
#include "qm/platform/process.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;
using GenerateResult = QuillomancerServer::GenerateResult;

namespace {

std::string u32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string i16(std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  return std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}

// A container with the given take byte strings (lengths taken from them unless overridden).
std::string container(const std::vector<std::string>& takes, std::uint32_t rate = 48000, std::uint32_t credits = 17,
                      const char* magic = "QMTK", std::uint32_t version = 1, std::int64_t countOverride = -1) {
  std::string out(magic, 4);
  out += u32(version);
  out += u32(countOverride >= 0 ? static_cast<std::uint32_t>(countOverride) : static_cast<std::uint32_t>(takes.size()));
  out += u32(rate) + u32(16) + u32(credits) + u32(20);
  for (const auto& t : takes) out += u32(static_cast<std::uint32_t>(t.size()));
  for (const auto& t : takes) out += t;
  return out;
}

const std::uint8_t* bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

std::vector<float> floats(const QuillomancerSamples& samples) { return {samples.begin(), samples.end()}; }

// Sends the shared logger to a temporary HOME and records the messages of one test.
class FormatsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(home_.path().empty()); }
  bool logged(const std::string& message) { return log_.contains(message); }
  std::string allMessages() {
    std::string all;
    for (const auto& m : log_.messages()) all += m + "\n";
    return all;
  }

 private:
  qmtest::ScopedTemporaryHome home_;
  qmtest::LogCapture log_;
};

}  // namespace

TEST(CreateWAVData, HeaderIsTheFortyFourBytesOfMono16BitPcm) {
  const float samples[] = {0.0f, 0.25f, -0.25f};
  const std::string wav = CreateWAVData(samples, 3, 44100);
  const std::string expected = std::string("RIFF") + u32(36 + 6) + "WAVE" + "fmt " + u32(16) + i16(1) + i16(1) +
                               u32(44100) + u32(88200) + i16(2) + i16(16) + "data" + u32(6);
  ASSERT_EQ(wav.size(), 44u + 6u);
  EXPECT_EQ(wav.substr(0, 44), expected);

  const std::string empty = CreateWAVData(nullptr, 5, 16000);
  EXPECT_EQ(empty.size(), 44u);
  EXPECT_EQ(empty.substr(4, 4), u32(36));
  EXPECT_EQ(empty.substr(40, 4), u32(0));
}

TEST(CreateWAVData, SamplesAreClampedScaledAndTruncated) {
  struct Case {
    float in;
    std::int16_t out;
  } cases[] = {
      {1.5f, 32767},   {-1.5f, -32767},   {0.5f, 16383},         {1.0f, 32767},
      {-1.0f, -32767}, {0.0f, 0},         {-0.00001f, 0},        {-0.5f, -16383},
      {std::numeric_limits<float>::quiet_NaN(), 0},              {std::numeric_limits<float>::infinity(), 32767},
      {-std::numeric_limits<float>::infinity(), -32767},
  };
  std::vector<float> in;
  for (const auto& c : cases) in.push_back(c.in);
  const std::string wav = CreateWAVData(in.data(), in.size(), 48000);
  ASSERT_EQ(wav.size(), 44 + 2 * in.size());
  for (size_t i = 0; i < in.size(); ++i) EXPECT_EQ(wav.substr(44 + 2 * i, 2), i16(cases[i].out)) << "sample " << i;
}

TEST(CreateWAVData, SoxReadsItAsMono16Bit) {
  std::vector<float> tone(4800);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * std::sin(static_cast<float>(i) * 0.1f);
  const std::string wav = CreateWAVData(tone.data(), tone.size(), 48000);
  char pattern[] = "/tmp/qm-wav-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/take.wav";
  std::ofstream(path, std::ios::binary) << wav;

  qm::platform::ProcessOptions options;
  options.timeoutSeconds = 20;
  auto ask = [&](const char* flag) {
    auto r = qm::platform::runProcess("soxi", {flag, path}, options);
    return r.started && r.exitCode == 0 ? r.standardOutput : std::string("(soxi failed)");
  };
  if (!qm::platform::runProcess("soxi", {"-c", path}, options).started) {
    fs::remove_all(pattern);
    GTEST_SKIP() << "soxi is not installed";
  }
  EXPECT_EQ(ask("-c"), "1\n");
  EXPECT_EQ(ask("-b"), "16\n");
  EXPECT_EQ(ask("-r"), "48000\n");
  EXPECT_EQ(ask("-s"), "4800\n");
  EXPECT_EQ(ask("-e"), "Signed Integer PCM\n");
  fs::remove_all(pattern);
}

TEST(Resample, LinearInterpolationAtTheNewRate) {
  const std::vector<float> x = {0.0f, 1.0f, 0.5f};
  EXPECT_EQ(floats(Resample(x, 48000, 48000)), x);
  EXPECT_TRUE(Resample({}, 24000, 48000).empty());

  // Up by two: every other output sample lies half way; the last holds the final sample.
  const std::vector<float> up = floats(Resample(x, 24000, 48000));
  EXPECT_EQ(up, (std::vector<float>{0.0f, 0.5f, 1.0f, 0.75f, 0.5f, 0.5f}));

  // Down by two: every other sample.
  const std::vector<float> five = {0.f, 1.f, 2.f, 3.f, 4.f};
  const std::vector<float> down = floats(Resample(five, 48000, 24000));
  EXPECT_EQ(down, (std::vector<float>{0.f, 2.f}));

  // 44.1 kHz to 48 kHz: length floor(n * 48000 / 44100), values between their neighbours.
  std::vector<float> ramp(441);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i);
  const std::vector<float> y = floats(Resample(ramp, 44100, 48000));
  ASSERT_EQ(y.size(), 480u);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], std::min(i * 0.91875, 440.0), 1e-3) << i;

  // Nonsense rates leave the samples alone rather than dividing by zero.
  EXPECT_EQ(floats(Resample(x, 0, 48000)), x);
  EXPECT_EQ(floats(Resample(x, 48000, -1)), x);
}

// The decoder over a body held in blocks answers as over the same body in one piece, line for
// line, whatever the cuts: the seeds, and containers with odd takes across block ends. Takes kept
// as 16-bit samples (those at the host rate) stand for exactly the decoded floats.
TEST_F(FormatsTest, BodyInBlocksDecodesAsInOnePiece) {
  std::vector<std::string> bodies;
  for (const auto& entry : fs::directory_iterator(QM_SOURCE_DIR "/fuzz/corpus/takes_container")) {
    std::ifstream in(entry.path(), std::ios::binary);
    bodies.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string odd(QMChunkedBody::kBlockBytes + 301, '\0');
  for (size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<char>(i * 7 + i / 5);
  bodies.push_back(container({odd.substr(0, 3), odd, odd.substr(9, 1001), odd.substr(5)}, 48000) + "{\"takes\":[]}");
  const std::string cut = container({odd, odd}, 24000);
  bodies.push_back(cut.substr(0, cut.size() - QMChunkedBody::kBlockBytes / 2));
  for (const std::string& body : bodies) {
    for (const double hostRate : {44100.0, 48000.0}) {
      for (const bool keep16Bit : {false, true}) {
        GenerateResult whole, pieces;
        size_t wholeOffset = 0, piecesOffset = 0;
        const size_t logged = allMessages().size();
        const bool wholeOk = ParseQMTK(bytes(body), body.size(), hostRate, whole, &wholeOffset);
        const std::string wholeLog = allMessages().substr(logged);
        QMChunkedBody blocks;
        for (size_t at = 0; at < body.size(); at += 4093)
          blocks.append(body.data() + at, std::min<size_t>(4093, body.size() - at));
        const bool piecesOk = ParseQMTK(blocks, hostRate, pieces, &piecesOffset, keep16Bit);
        EXPECT_EQ(piecesOk, wholeOk);
        EXPECT_EQ(piecesOffset, wholeOffset);
        EXPECT_EQ(allMessages().substr(logged + wholeLog.size()), wholeLog);
        ASSERT_EQ(pieces.takes.size(), whole.takes.size());
        ASSERT_EQ(pieces.pcmTakes.size(), keep16Bit ? whole.takes.size() : 0u);
        for (size_t i = 0; i < whole.takes.size(); ++i) {
          const bool kept16Bit = keep16Bit && !pieces.pcmTakes[i].empty();
          EXPECT_EQ(kept16Bit, keep16Bit && hostRate == whole.sampleRate && !whole.takes[i].empty()) << i;
          const QuillomancerSamples got =
              kept16Bit ? QuillomancerTake(std::move(pieces.pcmTakes[i])).Samples() : pieces.takes[i];
          EXPECT_EQ(floats(got), floats(whole.takes[i])) << "take " << i << " at " << hostRate;
          if (kept16Bit) {
            EXPECT_TRUE(pieces.takes[i].empty());
          }
        }
        if (wholeOk) {
          EXPECT_EQ(blocks.tail(piecesOffset), body.substr(wholeOffset));
        }
      }
    }
  }
}

TEST_F(FormatsTest, ContainerFaultsAreRefusedWithTheirLogLine) {
  struct Case {
    std::string body;
    std::string line;
  } cases[] = {
      {std::string(27, 'Q'), "[SRV] QMTK too small: 27 bytes"},
      {container({}, 48000, 0, "QMTK", 1, 1), "[SRV] QMTK truncated header: need 32, got 28"},
      {container({"ab"}, 48000, 0, "QMTX"), "[SRV] Bad QMTK magic: 0x58544D51"},
      {container({"ab"}, 48000, 0, "QMTK", 2), "[SRV] Bad QMTK version=2 takesCount=1"},
      {container({"a", "b", "c", "d", "e", "f"}), "[SRV] Bad QMTK version=1 takesCount=6"},
      {container({}, 48000, 0, "QMTK", 1, 0), "[SRV] Bad QMTK version=1 takesCount=0"},
      {container({"ab"}, 7999), "[SRV] Bad QMTK sample rate: 7999Hz"},
      {container({"ab"}, 384001), "[SRV] Bad QMTK sample rate: 384001Hz"},
      {container({"ab"}, 0), "[SRV] Bad QMTK sample rate: 0Hz"},
  };
  for (const auto& c : cases) {
    GenerateResult result;
    size_t offset = 12345;
    EXPECT_FALSE(ParseQMTK(bytes(c.body), c.body.size(), 48000, result, &offset)) << c.line;
    EXPECT_TRUE(logged(c.line)) << c.line << "\nlogged:\n" << allMessages();
    EXPECT_EQ(offset, 12345u);
  }
}

TEST_F(FormatsTest, TakeRunningPastTheBodyFailsButKeepsEarlierTakes) {
  std::string body = container({i16(16384) + i16(-16384), i16(100) + i16(200)});
  body.resize(body.size() - 1);
  GenerateResult result;
  EXPECT_FALSE(ParseQMTK(bytes(body), body.size(), 48000, result, nullptr));
  EXPECT_TRUE(logged("[SRV] QMTK truncated take 1: need 4 at offset 40, total 43")) << allMessages();
  ASSERT_EQ(result.takes.size(), 2u);
  EXPECT_EQ(floats(result.takes[0]), (std::vector<float>{0.5f, -0.5f}));
  EXPECT_TRUE(result.takes[1].empty());

  // A small body may not expand into gigabytes through resampling: 8 kHz to 384 kHz of a
  // 1.5-million-sample take would be 72 million samples.
  const std::string longTake(3000000, '\0');
  const std::string expanding = container({longTake}, 8000);
  GenerateResult big;
  EXPECT_FALSE(ParseQMTK(bytes(expanding), expanding.size(), 384000, big, nullptr));
  EXPECT_TRUE(logged("[SRV] QMTK take 0 too long: 72000000 samples at 384000Hz")) << allMessages();
  EXPECT_TRUE(ParseQMTK(bytes(expanding), expanding.size(), 48000, big, nullptr));
  EXPECT_EQ(big.takes[0].size(), 9000000u);

  // A length near 2^32 must not wrap around the bounds check.
  std::string huge = container({"abcd"});
  huge.replace(28, 4, u32(0xFFFFFFFFu));
  EXPECT_FALSE(ParseQMTK(bytes(huge), huge.size(), 48000, result, nullptr));
}

TEST_F(FormatsTest, DecodesTakesHeaderFieldsAndEndOffset) {
  const std::string take0 = i16(32767) + i16(-32768) + i16(0) + i16(16384);
  const std::string take1 = i16(-8192) + "z";  // odd length: one sample, next take starts at an odd offset
  const std::string take2 = i16(1);
  const std::string body = container({take0, take1, take2}, 48000, 0xFFFFFFF0u);
  GenerateResult result;
  size_t offset = 0;
  ASSERT_TRUE(ParseQMTK(bytes(body), body.size(), 48000, result, &offset));
  EXPECT_EQ(offset, body.size());  // ends exactly at the body's end: no trailer
  EXPECT_EQ(result.takeCount, 3);
  EXPECT_EQ(result.sampleRate, 48000);
  EXPECT_TRUE(result.hasCreditBalance);
  EXPECT_EQ(result.creditBalance, std::numeric_limits<std::int32_t>::max());  // saturated
  ASSERT_EQ(result.takes.size(), 3u);
  EXPECT_EQ(floats(result.takes[0]), (std::vector<float>{32767.0f / 32768.0f, -1.0f, 0.0f, 0.5f}));
  EXPECT_EQ(floats(result.takes[1]), (std::vector<float>{-0.25f}));
  EXPECT_EQ(floats(result.takes[2]), (std::vector<float>{1.0f / 32768.0f}));
  EXPECT_TRUE(logged("[SRV] QMTK: 3 takes, 48000Hz, 16-bit, remaining=4294967280/20")) << allMessages();
  EXPECT_TRUE(logged("[SRV]   Take 0: 4 samples (0.00 sec at 48000Hz)")) << allMessages();
}

TEST_F(FormatsTest, TakesAreResampledToTheHostRate) {
  const std::string take = i16(0) + i16(16384) + i16(8192);
  const std::string body = container({take, take}, 24000, 5);
  GenerateResult result;
  ASSERT_TRUE(ParseQMTK(bytes(body), body.size(), 48000, result, nullptr));
  EXPECT_EQ(result.sampleRate, 24000);
  EXPECT_EQ(result.creditBalance, 5);
  for (const auto& t : result.takes) EXPECT_EQ(floats(t), (std::vector<float>{0.0f, 0.25f, 0.5f, 0.375f, 0.25f, 0.25f}));
  EXPECT_TRUE(logged("[SRV]   Take 1: resampling 24000Hz -> 48000Hz (3 samples)")) << allMessages();
  EXPECT_TRUE(logged("[SRV]   Take 1: 6 samples (0.00 sec at 48000Hz)")) << allMessages();

  // A host rate that is not usable counts as 48 kHz.
  for (double host : {std::nan(""), 0.0, -44100.0, 0.5, std::numeric_limits<double>::infinity(), 1e12}) {
    GenerateResult r;
    ASSERT_TRUE(ParseQMTK(bytes(body), body.size(), host, r, nullptr)) << host;
    EXPECT_EQ(r.takes[0].size(), 6u) << host;
  }
}

TEST_F(FormatsTest, TimingTrailerGivesOneTranscriptPerTake) {
  const std::string takes = container({i16(1), i16(2), i16(3)});
  struct Case {
    const char* trailer;
    std::vector<std::string> texts;  // expected text per take timing
    const char* line;
  } cases[] = {
      {R"({"takes":[{"transcript":{"text":"one","words":[{"word":"one","start":0.1,"end":0.4}]}},
                    {"text":"two"}, 7, {"text":"four"}]})",
       {"one", "two", ""}, "[SRV] Parsed QMTK timing sidecar for 3/3 takes"},
      {R"({"takes":[{"text":"only"}]})", {"only", "", ""}, "[SRV] Parsed QMTK timing sidecar for 3/3 takes"},
      {R"({"takes":[{"transcript":"not an object","text":"outer"}]})", {"outer", "", ""}, nullptr},
      {R"({"takes":{}})", {}, "[SRV] QMTK timing sidecar JSON missing takes[]"},
      {R"([1,2])", {}, "[SRV] QMTK timing sidecar present but not valid JSON (5 bytes)"},
      {R"({"takes":[)", {}, "[SRV] QMTK timing sidecar present but not valid JSON (10 bytes)"},
  };
  for (const auto& c : cases) {
    const std::string body = takes + c.trailer;
    GenerateResult result;
    size_t offset = 0;
    ASSERT_TRUE(ParseQMTK(bytes(body), body.size(), 48000, result, &offset)) << c.trailer;
    EXPECT_EQ(offset, takes.size());
    ParseGenerateTimingSidecar(bytes(body), body.size(), offset, result);
    std::vector<std::string> texts;
    for (const auto& t : result.takeTimings) texts.push_back(t.text);
    EXPECT_EQ(texts, c.texts) << c.trailer;
    if (c.line) {
      EXPECT_TRUE(logged(c.line)) << c.line << "\n" << allMessages();
    }
  }

  // The first case's words and timing flag come through the timed-transcript reader.
  const std::string body = takes + R"({"takes":[{"transcript":{"text":"a b","words":[
      {"word":"a","index":0,"start":0.5,"end":"0.75"},{"word":"","text":""},{"text":"b","start_seconds":1}]}}]})";
  GenerateResult result;
  size_t offset = 0;
  ASSERT_TRUE(ParseQMTK(bytes(body), body.size(), 48000, result, &offset));
  ParseGenerateTimingSidecar(bytes(body), body.size(), offset, result);
  ASSERT_EQ(result.takeTimings.size(), 3u);
  const auto& t = result.takeTimings[0];
  EXPECT_TRUE(t.timingAvailable);
  ASSERT_EQ(t.words.size(), 2u);
  EXPECT_EQ(t.words[0].word, "a");
  EXPECT_DOUBLE_EQ(t.words[0].end, 0.75);
  EXPECT_EQ(t.words[1].word, "b");
  EXPECT_DOUBLE_EQ(t.words[1].start, 1.0);

  // No trailer: the timings are left alone.
  GenerateResult untouched;
  untouched.takeCount = 3;
  ParseGenerateTimingSidecar(bytes(takes), takes.size(), takes.size(), untouched);
  ParseGenerateTimingSidecar(nullptr, 100, 0, untouched);
  EXPECT_TRUE(untouched.takeTimings.empty());
}
