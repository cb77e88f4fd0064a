// After LOAD, the snapshots of `qmhost session` carry the transcript editor's line in its text view.

#include "CommandRun.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(SessionSnapshots, AfterLoadTheEditorsLineIsInTheSnapshot) {
  const fs::path folder = fs::temp_directory_path() / ("qm-session-snapshots-" + std::to_string(::getpid()));
  const qmhosttest::CommandRun run = qmhosttest::Capture(
      "mkdir -p '" + folder.string() + "' && cd '" + folder.string() + "' && HOME='" + folder.string() + "' timeout 120 '" + QM_BINARY_DIR +
      "/bin/qmhost' session --input '" + QM_SOURCE_DIR + "/testdata/speech.wav' --output takes --takes 1 --snapshots snapshots");
  ASSERT_EQ(run.status, 0) << run.output;
  std::string views;
  for (const auto& entry : fs::directory_iterator(folder / "snapshots")) {
    std::ifstream in(entry.path());
    if (entry.path().extension() == ".json") views.append(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_NE(views.find("\"string\": \"I never said she took the money.\""), std::string::npos) << run.output;
  fs::remove_all(folder);
}
