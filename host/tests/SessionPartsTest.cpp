// Two parts of `qmhost session` taken on their own: the host's passes, where a pass that never
// ends must not hold the run for ever, and the check of the words painted for repair.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "AAX_CHostProcessor.h"
#include "host_passes.h"
#include "qm/host/wav_file.h"
#include "qm/platform/text.h"
#include "repair_paint.h"

namespace {

namespace fs = std::filesystem;
using qm::host::cli::HostPasses;
using qm::host::cli::WordPlace;

// A plug-in whose passes hold their first window until let go, as one that never returns.
class HeldProcessor : public AAX_CHostProcessor {
 public:
  AAX_Result AnalyzeAudio(const float* const*, int32_t, int32_t*) noexcept override { return Hold(); }
  AAX_Result RenderAudio(const float* const*, int32_t, float* const*, int32_t, int32_t*) noexcept override {
    return Hold();
  }
  void LetGo() { letGo_.set_value(); }

 private:
  AAX_Result Hold() {
    held_.wait();
    return AAX_SUCCESS;
  }
  std::promise<void> letGo_;
  std::shared_future<void> held_ = letGo_.get_future().share();
};

void Turn() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

class Passes : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(clip->open(std::string(QM_SOURCE_DIR) + "/testdata/speech.wav", &error)) << error;
    folder = fs::temp_directory_path() / ("qm-host-passes-" + std::to_string(::getpid()));
    fs::create_directories(folder);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  std::shared_ptr<qm::host::WavClip> clip = std::make_shared<qm::host::WavClip>();
  fs::path folder;
};

// A pass that never ends fails within its time, named; it is left to run, and once the plug-in
// returns it ends as any pass does.
TEST_F(Passes, APassThatNeverEndsFailsWithinItsTimeNamingIt) {
  for (const std::string pass : {"LOAD", "RENDER"}) {
    SCOPED_TRACE(pass);
    HeldProcessor processor;
    HostPasses passes(&processor);
    ASSERT_TRUE(pass == "LOAD" ? passes.StartAnalysis(clip, 0, clip->frames())
                               : passes.StartRender(clip, 0, clip->frames(), (folder / "take.wav").string()));
    EXPECT_EQ(passes.Finish(Turn, 0.2), pass + " did not end within 0.2 s");
    EXPECT_TRUE(passes.Stuck());
    EXPECT_FALSE(passes.StartAnalysis(clip, 0, clip->frames())) << "no pass starts beside a stuck one";
    processor.LetGo();
    EXPECT_EQ(passes.Join(), "");
  }
}

// A pass that ends is answered with what went wrong in it, whatever the time it took.
TEST_F(Passes, APassThatEndsIsAnsweredAsItWent) {
  struct Plain : AAX_CHostProcessor {
    AAX_Result AnalyzeAudio(const float* const*, int32_t, int32_t*) noexcept override { return AAX_SUCCESS; }
  } processor;
  HostPasses passes(&processor);
  ASSERT_TRUE(passes.StartAnalysis(clip, 0, clip->frames()));
  EXPECT_EQ(passes.Finish(Turn, 600), "");
  EXPECT_FALSE(passes.Stuck());
}

// The words painted are checked by where they stand: the same word at another place is not the
// word asked for.
TEST(RepairPainting, PaintedWordsAreCheckedByWhereTheyStand) {
  const std::u16string line = qm::platform::utf8ToUtf16("the cat saw the \xF0\x9F\x91\x8B the end.");
  const WordPlace first{0, 3}, second{12, 15}, third{19, 22}, wave{16, 18};
  struct Case {
    std::vector<WordPlace> painted, asked;
    std::vector<std::string> missing;
    const char* problem;  // null: none
  };
  const Case cases[] = {
      {{second, first}, {first, second}, {}, nullptr},
      {{first, third}, {first, second}, {},
       "the window painted \"the\" (character 1), \"the\" (character 19) where \"the\" (character 1), \"the\" "
       "(character 13) was asked"},
      {{wave, third}, {wave, third}, {}, nullptr},
      {{first}, {first}, {"dog"}, "the window painted \"the\" where \"the dog\" was asked"},
      {{}, {wave}, {}, "the window painted nothing where \"\xF0\x9F\x91\x8B\" was asked"},
  };
  for (const Case& c : cases) {
    const auto problem = qm::host::cli::PaintingProblem(line, c.painted, c.asked, c.missing);
    EXPECT_EQ(problem.value_or("(none)"), c.problem ? c.problem : "(none)");
  }
}

}  // namespace
