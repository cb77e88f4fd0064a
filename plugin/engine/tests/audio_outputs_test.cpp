// Digests of what the audio paths produce on the benchmark inputs and on harder ones: the mono mix
// (direct and through the analysis pass), the render pass (samples, status and log lines), the
// upload WAV, the takes container decoder (the fuzz seeds among its inputs), the resampler and the
// log file itself. The digests were recorded from the straightforward loops these paths started
// with, so a faster path that changes one bit, one log line or one tie shows here. NaNs count as
// one value: which of two NaN operands an instruction passes on is the processor's business.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "QuillomancerAudio.h"
#include "QuillomancerLogger.h"
#include "QuillomancerServerFormats.h"
#include "engine_test_support.h"
#include "qm/platform/files.h"
#include "qm/platform/sha256.h"

namespace {

using qmtest::PluginInstance;

// ---- digest bytes -------------------------------------------------------------------------------

struct Digest {
  std::string bytes;
  void Put(uint64_t v) { bytes.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void Put(std::string_view s) {
    Put(uint64_t(s.size()));
    bytes += s;
  }
  void Put(const float* x, size_t n) {
    Put(uint64_t(n));
    for (size_t i = 0; i < n; ++i) {
      const uint32_t bits = std::isnan(x[i]) ? 0x7FC00000u : std::bit_cast<uint32_t>(x[i]);
      bytes.append(reinterpret_cast<const char*>(&bits), 4);
    }
  }
  template <typename Allocator>
  void Put(const std::vector<float, Allocator>& x) {
    Put(x.data(), x.size());
  }
  std::string Hex() const { return qm::platform::sha256Hex(bytes); }
};

// Samples in [-1.5, 1.5] with the odd special value: NaNs, infinities, zeros of both signs,
// subnormals, the largest float, the clamp limits and exact halves.
std::vector<float> Noise(size_t n, uint32_t seed) {
  static const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                   -std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   0.0f,
                                   -0.0f,
                                   std::numeric_limits<float>::denorm_min(),
                                   -std::numeric_limits<float>::denorm_min(),
                                   std::numeric_limits<float>::max(),
                                   -std::numeric_limits<float>::max(),
                                   0.8912509f,
                                   -0.8912509f,
                                   1.0f,
                                   -1.0f,
                                   0.5f,
                                   32767.0f / 32768.0f,
                                   1.0000001f,
                                   -1.0000001f};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> uniform(-1.5f, 1.5f);
  std::vector<float> x(n);
  for (auto& v : x) v = rng() % 40 == 0 ? kSpecial[rng() % std::size(kSpecial)] : uniform(rng);
  return x;
}

// The benchmark's inputs.
std::vector<float> BenchAudio() {  // bench/formats.cpp
  std::vector<float> x(30 * 48000);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = 0.6f * std::sin(float(i) * 0.0573f) + 0.2f * std::sin(float(i) * 0.31f);
  return x;
}
std::vector<float> BenchRamp(bool negate) {  // bench/engine.cpp
  std::vector<float> x(30 * 48000);
  for (size_t i = 0; i < x.size(); ++i) x[i] = float(int(i % 200) - 100) / 100.0f * (negate ? -1.0f : 1.0f);
  return x;
}

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[size_t(i)] = char((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Container(const std::vector<std::string>& takes, uint32_t rate, const std::string& trailer = "") {
  std::string out = "QMTK" + U32(1) + U32(uint32_t(takes.size())) + U32(rate) + U32(16) + U32(100) + U32(200);
  for (const auto& t : takes) out += U32(uint32_t(t.size()));
  for (const auto& t : takes) out += t;
  return out + trailer;
}

std::string Pcm(const std::vector<float>& x) { return CreateWAVData(x.data(), x.size(), 48000).substr(44); }

// Records the plug-in log's messages while it lives.
struct Messages {
  std::vector<std::string> lines;
  std::mutex mutex;
  Messages() {
    QuillomancerLogger::shared().setMessageObserver([this](const std::string& m) {
      std::lock_guard<std::mutex> guard(mutex);
      lines.push_back(m);
    });
  }
  ~Messages() { QuillomancerLogger::shared().setMessageObserver({}); }
  void Into(Digest& d) {
    std::lock_guard<std::mutex> guard(mutex);
    d.Put(uint64_t(lines.size()));
    for (const auto& l : lines) d.Put(l);
    lines.clear();
  }
};

// A log file with every "[yyyy-MM-dd HH:mm:ss]" stamp replaced by a fixed one.
std::string MaskStamps(std::string text) {
  for (size_t at = text.find('['); at != std::string::npos; at = text.find('[', at + 1)) {
    if (at + 21 > text.size() || text[at + 20] != ']') continue;
    bool shaped = true;
    for (size_t k = 1; k < 20; ++k) {
      const char c = text[at + k];
      const char want = "[9999-99-99 99:99:99"[k];
      shaped = shaped && (want == '9' ? (c >= '0' && c <= '9') : c == want);
    }
    if (shaped) text.replace(at + 1, 19, "2000-01-01 00:00:00");
  }
  return text;
}

// ---- mono mix -----------------------------------------------------------------------------------

TEST(AudioOutputs, MonoMix) {
  Digest d;
  struct Case {
    int32_t channels;
    uint32_t nullMask;  // channel c is absent when bit c is set
  };
  const Case cases[] = {{1, 0}, {1, 1}, {2, 0}, {2, 2}, {2, 1}, {3, 0}, {3, 5}, {5, 0}, {8, 0x81},
                        {16, 0}, {17, 0}, {17, 0x10000}, {33, 0x2}, {0, 0}};
  for (const Case& c : cases) {
    for (const int64_t n : {1, 7, 8, 15, 16, 17, 31, 1000, 1024, 1500}) {
      std::vector<std::vector<float>> data;
      std::vector<const float*> inputs;
      for (int32_t k = 0; k < c.channels; ++k) {
        data.push_back(Noise(size_t(n), uint32_t(k * 131 + n)));
        inputs.push_back(k < 32 && ((c.nullMask >> k) & 1) ? nullptr : data.back().data());
      }
      std::vector<float> out(size_t(n), -7.0f);
      QMMixWindowToMono(inputs.empty() ? nullptr : inputs.data(), c.channels, out.data(), n);
      d.Put(out);
      if (c.channels > 0) {  // unaligned output and inputs
        std::vector<float> shifted(size_t(n) + 1, -7.0f);
        std::vector<const float*> offset(inputs);
        for (auto& p : offset) p = p ? p + 1 : p;
        QMMixWindowToMono(offset.data(), c.channels, shifted.data() + 1, n - 1);
        d.Put(shifted);
      }
    }
  }
  EXPECT_EQ(d.Hex(), "5e0c3017af19317dcbc1794e2f450404284fdc53017b773adece3e9f16060293") << "mono mix";
}

class AudioPasses : public ::testing::Test {
 protected:
  void SetUp() override { QuillomancerServerSetBaseURLOverride(std::string("http://127.0.0.1:9")); }
  void TearDown() override { QuillomancerServerSetBaseURLOverride(std::nullopt); }
  qm::host::FakeHost host;
};

// The analysis pass as the benchmark drives it, and with windows that miss the range.
TEST_F(AudioPasses, AnalysisCapture) {
  Digest d;
  {
    PluginInstance instance(host);
    const std::vector<float> left = BenchRamp(false), right = BenchRamp(true);
    qmtest::RunAnalysis(instance, {left, right}, 0, 0, 1024);
    d.Put(instance.processor->GetSnapshot().capture);
    const std::vector<float> a = Noise(50000, 1), b = Noise(50000, 2), c = Noise(50000, 3);
    qmtest::RunAnalysis(instance, {a, b, c}, 1000, 1000 + 40001, 333);
    d.Put(instance.processor->GetSnapshot().capture);
    qmtest::RunAnalysis(instance, {a}, 0, 0, 4096);
    d.Put(instance.processor->GetSnapshot().capture);
  }
  {
    // The host hands over fewer samples than the range holds.
    PluginInstance instance(host);
    const std::vector<float> a = Noise(30000, 4), b = Noise(30000, 5);
    qmtest::OnHostThread([&] {
      int64_t start = 0, end = 0;
      instance.processor->InitOutputBounds(0, 30000, &start, &end);
      instance.processor->PreAnalyze(2, 1000);
      for (int64_t at = 0; at < 21500; at += 1000) {
        int32_t n = 1000;
        const float* inputs[2] = {a.data() + at, b.data() + at};
        instance.processor->AnalyzeAudio(inputs, 2, &n);
      }
      instance.processor->PostAnalyze();
    });
    d.Put(instance.processor->GetSnapshot().capture);
  }
  EXPECT_EQ(d.Hex(), "6102583f14a948b68db1e423ba41521ea82748d241645e9d7accc73810752df9") << "analysis capture";
}

// ---- render ---------------------------------------------------------------------------------------

// A capture of `audio` (window 1000, optional timeline selection) made the one take of a local
// preview through Process.
void Preview(PluginInstance& instance, const std::vector<std::vector<float>>& audio, int64_t selectionStart = 0,
             int64_t selectionEnd = 0) {
  qmtest::RunAnalysis(instance, audio, selectionStart, selectionEnd);
  instance.SetBlock(kQMBlock_Text, "line");
  instance.SetByte(kQMBlock_RepairPreview, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_EQ(instance.Status()[0], kQuillomancerState_HasTakes);
}

struct RenderPlan {
  int64_t length;          // output range
  int32_t outputs;         // output channels
  int32_t window;
  int64_t firstLocation;   // host location of the first window
  int32_t nullOutput = -1; // this output's buffer is absent
  int64_t jumpAt = -1;     // from this window on the host location goes back by `jumpBy`
  int64_t jumpBy = 0;
};

// One render pass; puts the outputs, the status and the pass's log lines into `d`, and checks
// that the log file holds those lines, stamped, in order.
void Render(PluginInstance& instance, const RenderPlan& plan, Digest& d) {
  const std::string path = QuillomancerLogger::shared().logPath();
  { std::ofstream(path, std::ios::binary | std::ios::trunc); }
  Messages messages;
  std::vector<std::vector<float>> written(size_t(plan.outputs), std::vector<float>(size_t(plan.length), -9.0f));
  int64_t start = 0, end = 0;
  instance.processor->InitOutputBounds(0, plan.length, &start, &end);
  instance.processor->PreRender(1, plan.outputs, plan.window);
  int64_t window = 0;
  for (int64_t at = 0; at < plan.length; at += plan.window, ++window) {
    int32_t n = int32_t(std::min<int64_t>(plan.window, plan.length - at));
    std::vector<float*> buffers;
    for (auto& channel : written) buffers.push_back(channel.data() + at);
    if (plan.nullOutput >= 0) buffers[size_t(plan.nullOutput)] = nullptr;
    const int64_t back = plan.jumpAt >= 0 && window >= plan.jumpAt ? plan.jumpBy : 0;
    instance.processor->SetLocation(plan.firstLocation + at - back);
    ASSERT_EQ(instance.processor->RenderAudio(nullptr, 0, buffers.data(), plan.outputs, &n), 0);
  }
  instance.processor->PostRender();
  for (const auto& channel : written) d.Put(channel);
  for (const int32_t v : instance.Status()) d.Put(uint64_t(uint32_t(v)));

  std::string expected;
  {
    std::lock_guard<std::mutex> guard(messages.mutex);
    for (const auto& line : messages.lines) expected += "[2000-01-01 00:00:00] " + line + "\n";
  }
  std::string text;
  ASSERT_TRUE(qm::platform::readFile(path, text));
  const std::string masked = MaskStamps(text);
  const auto differ = std::mismatch(masked.begin(), masked.end(), expected.begin(), expected.end());
  EXPECT_TRUE(masked == expected) << "the log file differs from the pass's lines at byte "
                                  << (differ.first - masked.begin());
  messages.Into(d);
}

TEST_F(AudioPasses, RenderOfTheBenchmarkTake) {
  Digest d;
  PluginInstance instance(host);
  const std::vector<float> left(30 * 48000, 0.25f), right(30 * 48000, -0.25f);
  qmtest::RunAnalysis(instance, {left, right}, 0, 0, 1024);
  instance.SetBlock(kQMBlock_Text, "line");
  instance.SetByte(kQMBlock_RepairPreview, 1);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("bench"), 0);
  Render(instance, {30 * 48000, 2, 1024, 0}, d);
  EXPECT_EQ(d.Hex(), "746f63e2e7e6b62b07aa92b3c7f17062e7c2bb1c09cc4564c53c1c57852bb4e9") << "benchmark render";
}

TEST_F(AudioPasses, RenderLayouts) {
  Digest d;
  const std::vector<float> a = Noise(24000, 11);
  const RenderPlan plans[] = {
      {24000, 1, 1000, 0},          {24010, 1, 1000, 0},       {24011, 2, 1024, 0},
      {20000, 1, 333, 0},           {24000, 3, 1000, 0, 1},    {30000, 2, 7, 5000},
      {24000, 1, 4096, 7000, -1, 2, 3000}, {24000, 1, 1000, 7000, -1, 3, 9000}, {0, 1, 1000, 0},
  };
  for (const RenderPlan& plan : plans) {
    PluginInstance instance(host);
    Preview(instance, {a}, 100, 100 + 24000);
    Render(instance, plan, d);
    Render(instance, plan, d);  // the take is consumed: silence
  }
  {
    // Without a timeline selection the captured length stands in for it; a trimmed capture.
    PluginInstance instance(host);
    instance.host.Transport().SetTimelineSelection(0, 0);
    Preview(instance, {a, Noise(24000, 12)}, 2000, 2000 + 15001);
    instance.host.Transport().SetTimelineSelection(0, 0);
    Render(instance, {24000, 2, 1000, 0}, d);
  }
  EXPECT_EQ(d.Hex(), "ef454ff36118ad330107476e04e09e4b11b6544afa6cec3b9d920e45825a8bd5") << "render layouts";
}

// Service takes render at -1 dB, newest first, one per output.
TEST(AudioOutputs, RenderOfServiceTakes) {
  Digest d;
  qm::host::FakeHost host;
  host.Controller().SetSampleRate(16000.0f);
  qmtest::LoopbackService loopback;
  PluginInstance instance(host);
  std::vector<float> clip = qmtest::Tone(24000, 0.7f);
  const std::vector<float> noise = Noise(24000, 21);
  for (size_t i = 0; i < clip.size(); ++i)
    if (std::isfinite(noise[i])) clip[i] += 0.1f * noise[i];
  qmtest::RunAnalysis(instance, {clip});
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_Ready));
  instance.SetByte(kQMBlock_Mode, kQuillomancerMode_After);
  instance.SetBlock(kQMBlock_Text, "a new line");
  instance.SetByte(kQMBlock_Takes, 3);
  instance.SetByte(kQMBlock_RepairPreview, 0);
  ASSERT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), 0);
  ASSERT_TRUE(qmtest::WaitForState(instance, kQuillomancerState_HasTakes));
  for (const auto& take : instance.processor->GetSnapshot().takes) d.Put(take);
  Render(instance, {24011, 2, 1000, 0}, d);
  Render(instance, {24000, 1, 1024, 0}, d);
  EXPECT_EQ(d.Hex(), "39045b92b0ce22ac87515c0f8a738e5c98f7b7e336e4c1acfb9577d520b5d027") << "service takes";
}

// ---- payload formats ----------------------------------------------------------------------------

TEST(AudioOutputs, UploadWav) {
  Digest d;
  const std::vector<float> bench = BenchAudio();
  d.Put(CreateWAVData(bench.data(), bench.size(), 48000));
  for (const size_t n : {0, 1, 7, 15, 16, 17, 1000, 4099}) {
    const std::vector<float> x = Noise(n, uint32_t(n + 5));
    for (const int32_t rate : {48000, 44100, 192000, 0, -1}) d.Put(CreateWAVData(x.data(), x.size(), rate));
    if (n > 1) d.Put(CreateWAVData(x.data() + 1, n - 1, 22050));
  }
  d.Put(CreateWAVData(nullptr, 10, 48000));
  EXPECT_EQ(d.Hex(), "6f5d36afb2d9851a3985e8957dd74cd0670d7a2c2d0f2de0d8cf76cf41212af5") << "upload WAV";
}

TEST(AudioOutputs, TakesContainers) {
  qmtest::UseTemporaryHome();
  Digest d;
  Messages messages;
  std::vector<std::string> bodies;
  bodies.push_back(Container({Pcm(BenchAudio())}, 48000));
  const std::vector<float> x = Noise(9001, 31);
  const std::string pcm = Pcm(x);
  bodies.push_back(Container({pcm.substr(0, 2001), pcm.substr(100, 7), pcm.substr(3, 4000)}, 24000,
                             R"({"takes":[{"transcript":{"text":"a","words":[]}}]})"));
  bodies.push_back(Container({pcm, pcm.substr(1)}, 44100));
  bodies.push_back(Container({pcm.substr(0, 1), "", pcm.substr(0, 3)}, 8000));
  std::string truncated = Container({pcm.substr(0, 500), pcm.substr(0, 900)}, 48000);
  bodies.push_back(truncated.substr(0, truncated.size() - 11));
  for (const char* seed : {"bad_magic.bin", "five_takes_with_trailer.bin", "nan_host_rate.bin", "one_take_48k.bin",
                           "three_takes_24k_resampled.bin", "trailer_not_json.bin", "truncated_take.bin"}) {
    ASSERT_TRUE(qm::platform::readFile(QM_SOURCE_DIR "/fuzz/corpus/takes_container/" + std::string(seed),
                                       bodies.emplace_back()));
  }
  for (const std::string& body : bodies) {
    for (const double hostRate : {48000.0, 44100.0, 96000.0, 22050.0, std::nan("")}) {
      QuillomancerServer::GenerateResult result;
      size_t offset = 0;
      const bool ok = ParseQMTK(reinterpret_cast<const uint8_t*>(body.data()), body.size(), hostRate, result, &offset);
      d.Put(uint64_t(ok));
      d.Put(uint64_t(offset));
      d.Put(uint64_t(uint32_t(result.takeCount)));
      d.Put(uint64_t(uint32_t(result.sampleRate)));
      d.Put(uint64_t(uint32_t(result.creditBalance)));
      d.Put(uint64_t(result.hasCreditBalance));
      d.Put(uint64_t(result.takes.size()));
      for (const auto& take : result.takes) d.Put(take);
      messages.Into(d);
    }
  }
  EXPECT_EQ(d.Hex(), "00cad0f552b011e4c232757db046f1f9b80ea5b0f0192ed5861085af82559a9b") << "takes containers";
}

TEST(AudioOutputs, Resample) {
  Digest d;
  const std::vector<float> bench = BenchAudio();
  d.Put(Resample(bench, 48000, 44100));
  d.Put(Resample(bench, 48000, 96000));
  const std::pair<int32_t, int32_t> rates[] = {{44100, 48000}, {48000, 44100}, {8000, 384000}, {384000, 8000},
                                               {22050, 16000}, {16000, 22050}, {1, 3},         {3, 1},
                                               {48000, 48000}, {0, 48000},     {96000, 44100}};
  for (const auto& [from, to] : rates) {
    for (const size_t n : {0, 1, 2, 3, 17, 1000, 4801}) d.Put(Resample(Noise(n, uint32_t(n + from)), from, to));
  }
  EXPECT_EQ(d.Hex(), "84acbafe6015baf0bc0d2e8e7753c9b3a5ecc69b5b58deb0f61eaaa812bac135") << "resample";
}

// ---- the log file ---------------------------------------------------------------------------------

TEST(AudioOutputs, LogFile) {
  char pattern[] = "/tmp/qm-log-digest-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  Digest d;
  {
    QuillomancerLogger log(folder);
    log.logMessage("=== PreRender ===");
    log.logMessage(std::string("bad \xFF\xC3 byte"));
    log.logMessage(std::string(700, 'w'));
    log.logMessage("");
    // Enough lines to pass 1 MiB twice; the deletion lands between two of them.
    for (int i = 0; i < 25000; ++i) {
      log.logMessage("  Render window: hostLocation=" + std::to_string(i * 1024) +
                     " localStart=" + std::to_string(i * 1024) + " size=1024");
    }
    std::string text;
    ASSERT_TRUE(qm::platform::readFile(log.logPath(), text));
    d.Put(MaskStamps(text));
    d.Put(MaskStamps(log.getLogContents().value_or("(none)")));
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  EXPECT_EQ(d.Hex(), "cd287c7aaa962f5d283746d41439a983fcf13833384bfb40872c1d0d402c096f") << "log file";
}

}  // namespace
