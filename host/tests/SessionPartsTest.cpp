// A part of `qmhost session` taken on its own: the host's passes, where a pass that never ends
// must not hold the run for ever.

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

namespace {

namespace fs = std::filesystem;
using qm::host::cli::HostPasses;

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

}  // namespace
