// What a newcomer types first: `bash scripts/run` from a folder of their own, and the usage of
// `qmhost validate`.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "CommandRun.h"

namespace {

namespace fs = std::filesystem;

using qmhosttest::Capture;
using qmhosttest::CommandRun;

const fs::path kQmhost = fs::path(QM_BINARY_DIR) / "bin" / "qmhost";

// The script from another folder, with the qmhost of this build (nothing installed or built): the
// clip, the transcript and the output are named relative to that folder, and the snapshots go
// beside the takes.
TEST(RunScript, RelativePathsAreTheCallersAndTheSnapshotsGoBesideTheTakes) {
  const fs::path module = fs::path(QM_BINARY_DIR) / "Quillomancer.aaxplugin" / "Contents" / "x86_64-linux" / "Quillomancer.so";
  if (!fs::exists(kQmhost) || !fs::exists(module)) GTEST_SKIP() << "qmhost or the bundle is not built";
  const fs::path home = fs::temp_directory_path() / ("qm-run-script-" + std::to_string(::getpid()));
  const fs::path caller = home / "my work";
  fs::create_directories(caller);
  fs::copy_file(fs::path(QM_SOURCE_DIR) / "testdata" / "speech.wav", caller / "myclip.wav");
  std::ofstream(caller / "line.txt") << "Nobody here heard a single word of it.\n";

  const CommandRun run = Capture("cd '" + caller.string() + "' && HOME='" + home.string() + "' QMHOST='" +
                                 kQmhost.string() + "' timeout 120 bash '" + QM_SOURCE_DIR +
                                 "/scripts/run' --input myclip.wav --transcript line.txt --output out --takes 1");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("transcript: \"Nobody here heard a single word of it.\""), std::string::npos) << run.output;
  EXPECT_TRUE(fs::is_regular_file(caller / "out" / "take-1.wav")) << run.output;
  EXPECT_TRUE(fs::is_regular_file(caller / "out" / "snapshots" / "01-opened.png")) << run.output;
  fs::remove_all(home);
}

TEST(ValidateCommand, HelpPrintsTheUsage) {
  if (!fs::exists(kQmhost)) GTEST_SKIP() << "qmhost is not built";
  for (const char* help : {"--help", "-h"}) {
    const CommandRun run = Capture("'" + kQmhost.string() + "' validate " + help);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "usage: qmhost validate <path to .aaxplugin bundle or module>\n") << help;
  }
}

}  // namespace
