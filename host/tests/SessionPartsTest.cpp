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

// A plug-in whose passes hold their first window until let go, as one that never returns.
struct HeldProcessor : AAX_CHostProcessor {
  AAX_Result AnalyzeAudio(const float* const*, int32_t, int32_t*) noexcept override { return Hold(); }
  AAX_Result RenderAudio(const float* const*, int32_t, float* const*, int32_t, int32_t*) noexcept override {
    return Hold();
  }
  AAX_Result Hold() {
    held.wait();
    return AAX_SUCCESS;
  }
  std::promise<void> letGo;
  std::shared_future<void> held = letGo.get_future().share();
};

// A pass that never ends fails within its time, named, and no pass starts beside it; once the
// plug-in returns it ends as any pass does.
TEST(Passes, APassThatNeverEndsFailsWithinItsTimeNamingIt) {
  const auto clip = std::make_shared<qm::host::WavClip>();
  std::string error;
  ASSERT_TRUE(clip->open(std::string(QM_SOURCE_DIR) + "/testdata/speech.wav", &error)) << error;
  const fs::path take = fs::temp_directory_path() / ("qm-host-passes-" + std::to_string(::getpid()) + ".wav");
  for (const std::string pass : {"LOAD", "RENDER"}) {
    SCOPED_TRACE(pass);
    HeldProcessor processor;
    qm::host::cli::HostPasses passes(&processor);
    ASSERT_TRUE(pass == "LOAD" ? passes.StartAnalysis(clip, 0, clip->frames())
                               : passes.StartRender(clip, 0, clip->frames(), take.string()));
    EXPECT_EQ(passes.Finish([] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }, 0.2),
              pass + " did not end within 0.2 s");
    EXPECT_TRUE(passes.Stuck());
    EXPECT_FALSE(passes.StartAnalysis(clip, 0, clip->frames())) << "no pass starts beside a stuck one";
    processor.letGo.set_value();
    EXPECT_EQ(passes.Join(), "");
  }
  fs::remove(take);
}

// The same word painted at another place is not the word asked for.
TEST(RepairPainting, PaintedWordsAreCheckedByWhereTheyStand) {
  const std::u16string line = qm::platform::utf8ToUtf16("the cat saw the \xF0\x9F\x91\x8B the end.");
  const qm::host::cli::WordPlace first{0, 3}, second{12, 15}, third{19, 22};
  EXPECT_EQ(qm::host::cli::PaintingProblem(line, {second, first}, {first, second}, {}), std::nullopt);
  EXPECT_EQ(qm::host::cli::PaintingProblem(line, {first, third}, {first, second}, {}).value_or("(none)"),
            "the window painted \"the\" (character 1), \"the\" (character 19) where \"the\" (character 1), \"the\" "
            "(character 13) was asked");
}

}  // namespace
