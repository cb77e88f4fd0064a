// `qmhost session` where it must leave what is not its own alone, and where it must see for
// itself what the plug-in did: the built program and bundle against the embedded stand-in.

#include "CommandRun.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using qmhosttest::CommandRun;

class SessionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qm-host-session-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  // HOME in the test folder, so that the lent token and the plug-in's log stay there.
  CommandRun Session(const std::string& arguments) {
    return qmhosttest::Capture("cd '" + folder_.string() + "' && HOME='" + folder_.string() + "' timeout 120 '" +
                               std::string(QM_BINARY_DIR) + "/bin/qmhost' session --input '" +
                               std::string(QM_SOURCE_DIR) + "/testdata/speech.wav' --output '" + Takes().string() +
                               "' " + arguments);
  }
  fs::path Takes() const { return folder_ / "takes"; }
  fs::path Snapshots() const { return folder_ / "snapshots"; }
  static void Write(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "kept";
  }

  fs::path folder_;
};

// A run that fails keeps the takes of the run before it; the snapshot clean-up removes only
// names of the session's own steps.
TEST_F(SessionRun, AFailedRunKeepsTheEarlierTakesAndTheUsersFiles) {
  Write(Takes() / "take-2.wav");
  for (const char* mine : {"01-notes.png", "04-my-idea.json", "07-render-1-of-mine.png"}) Write(Snapshots() / mine);
  Write(Snapshots() / "09-render-1.png");  // a step this run does not reach
  const CommandRun run = Session("--selection 0.3 --snapshots '" + Snapshots().string() + "'");
  ASSERT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(fs::exists(Takes() / "take-2.wav"));
  for (const char* mine : {"01-notes.png", "04-my-idea.json", "07-render-1-of-mine.png"}) {
    EXPECT_TRUE(fs::exists(Snapshots() / mine)) << mine;
  }
  EXPECT_FALSE(fs::exists(Snapshots() / "09-render-1.png"));
  EXPECT_TRUE(fs::exists(Snapshots() / "01-opened.png"));
}

// Under a required update the session reads back what the plug-in did: a refusal passes, a
// plug-in that never learned of the update (its service unreachable) fails the run. Two
// messages: closing the first dismisses the second with it.
TEST_F(SessionRun, TheSessionReportsWhatThePluginDid) {
  struct Case {
    const char* arguments;
    int status;
    const char* shows;
  };
  const Case cases[] = {
      {"--update-required --min-version 2.1.0", 0,
       "seen: state UpdateRequired (9), QMul 1, no job running, 0 generation requests at the service"},
      {"--update-required --min-version 1.0.0", 0,
       "Process refused: the service requires an update (\"Minimum required version: v1.0.0\")"},
      {"--update-required --min-version 2.1.0 --service-fault offline", 1,
       "Process was not refused under the required update"},
      {"--takes 1 --service-message 'm1|Hello|there' --service-message 'm/2|Again|here'", 0,
       "closing it dismissed the 1 other message queued"},
      // The manual check finds the offer, so the button gives way to it.
      {"--takes 1 --update-offer 2.0.3 --check-updates", 0, "Check for Updates: hidden (an update is offered)"},
  };
  for (const Case& c : cases) {
    const CommandRun run = Session(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(c.shows), std::string::npos) << c.arguments << "\n" << run.output;
  }
}

}  // namespace
