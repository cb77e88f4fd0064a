// `qmhost session` end to end: the built program, the built bundle and the embedded service.
// Skipped when the program or the bundle has not been built in this build folder.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

#include "CommandRun.h"
#include "qm/host/wav_file.h"

namespace {

namespace fs = std::filesystem;

using qmhosttest::CommandRun;

CommandRun RunCommand(const std::string& command) { return qmhosttest::Capture(command); }

class SessionCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    program = fs::path(QM_BINARY_DIR) / "bin" / "qmhost";
    const fs::path module = fs::path(QM_BINARY_DIR) / "Quillomancer.aaxplugin" / "Contents" / "x86_64-linux" /
                            "Quillomancer.so";
    if (!fs::exists(program) || !fs::exists(module)) GTEST_SKIP() << "qmhost or the bundle is not built";
    folder = fs::temp_directory_path() / ("qm-session-" + std::to_string(::getpid()));
    fs::create_directories(folder);
  }
  void TearDown() override {
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
  }
  // HOME points into the test folder so the plug-in log stays there.
  CommandRun Session(const std::string& arguments) {
    return RunCommand("cd '" + folder.string() + "' && HOME='" + folder.string() + "' timeout 120 '" +
                      program.string() + "' session --input '" + std::string(QM_SOURCE_DIR) +
                      "/testdata/speech.wav' --output '" + (folder / "takes").string() + "' " + arguments);
  }

  // Every step of a run leaves one PNG and one JSON snapshot; answers how many steps did.
  int Snapshots(const fs::path& dir) {
    int png = 0, json = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
      png += entry.path().extension() == ".png";
      json += entry.path().extension() == ".json";
    }
    EXPECT_EQ(png, json);
    return png;
  }
  std::string Log() {
    std::ifstream in(folder / "Library" / "Logs" / "Quillomancer" / "quillomancer.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path program;
  fs::path folder;
};

TEST_F(SessionCommand, ChangeRepairAndVoiceRunThroughTheWindowToTheirTakes) {
  struct Run {
    const char* arguments;
    const char* shows;  // printed on the way
    int takes;
  };
  for (const Run& r : {Run{"--text 'I never said she took the car.' --takes 3",
                           "Change: \"I never said she took the money.\" -> \"I never said she took the car.\"", 3},
                       Run{"--mode repair --text money --takes 1", "Repair: 1 word", 1},
                       Run{"--mode voice", "status: \"Voice learned - load performance clip\"", 1}}) {
    SCOPED_TRACE(r.arguments);
    fs::remove_all(folder / "takes");
    fs::remove_all(folder / "snapshots");
    const CommandRun run = Session(std::string(r.arguments) + " --snapshots '" + (folder / "snapshots").string() + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("transcript: \"I never said she took the money.\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(r.shows), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("status: \"Take 1/"), std::string::npos) << run.output;
    for (int take = 1; take <= r.takes; ++take) {
      qm::host::WavAudio audio;
      std::string error;
      ASSERT_TRUE(qm::host::readWav((folder / "takes" / ("take-" + std::to_string(take) + ".wav")).string(), &audio,
                                    &error))
          << error;
      EXPECT_EQ(audio.sampleRate, 22050);
      EXPECT_GT(audio.frames(), 0);
    }
    // One snapshot per step, and one status line per step.
    int steps = 0;
    for (size_t at = run.output.find("      status: "); at != std::string::npos; at = run.output.find("      status: ", at + 1)) ++steps;
    EXPECT_EQ(Snapshots(folder / "snapshots"), steps);
    EXPECT_GE(steps, 7);
  }
  EXPECT_NE(Log().find("GUI state transition: HasTakes"), std::string::npos);
}

TEST_F(SessionCommand, ATooShortSelectionEndsWithTheWindowsStatusLine) {
  const CommandRun run = Session("--selection 0.3");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("status: \"Error — Selection too short (minimum 0.5 seconds)\""), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("(the selection is 0.30 s)"), std::string::npos) << run.output;
}

TEST_F(SessionCommand, ARunLeavesNoTakeOfAnEarlierRun) {
  fs::create_directories(folder / "takes");
  std::ofstream(folder / "takes" / "take-5.wav") << "old";
  std::ofstream(folder / "takes" / "notes.txt") << "mine";
  const CommandRun run = Session("--takes 1");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::exists(folder / "takes" / "take-1.wav"));
  EXPECT_FALSE(fs::exists(folder / "takes" / "take-5.wav"));
  EXPECT_TRUE(fs::exists(folder / "takes" / "notes.txt"));
  // The default edit changes one word, so the takes say something new.
  EXPECT_NE(run.output.find("Change: \"I never said she took the money.\" -> \"I never said she took the car.\""),
            std::string::npos)
      << run.output;
}

// Against another service with a token: the card opens once the answer came, its message is closed.
TEST_F(SessionCommand, AgainstAnotherServiceTheCardShowsTheAnswerAndItsMessageIsClosed) {
  const fs::path qmservice = fs::path(QM_BINARY_DIR) / "bin" / "qmservice";
  if (!fs::exists(qmservice)) GTEST_SKIP() << "qmservice is not built";
  const std::string qmhost = "'" + program.string() + "' ";
  // The service prints its URL on its first line once it listens; it stops with the session.
  const CommandRun run = RunCommand(
      "cd '" + folder.string() + "' && export HOME=\"$PWD\" || exit 1; '" + qmservice.string() +
      "' --message 'm1|Maintenance tonight|Back at ten.' >url.txt & service=$!; for i in $(seq 200); do [ -s url.txt ] " +
      "&& break; sleep 0.05; done; echo session-token | " + qmhost + "account set-token - && timeout 120 " + qmhost +
      "session --input '" + QM_SOURCE_DIR + "/testdata/speech.wav' --output takes --service \"$(head -n 1 url.txt)\" " +
      "--snapshots snapshots; status=$?; kill $service; exit $status");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("] message-1\n"), std::string::npos) << run.output;
  std::ifstream card(folder / "snapshots" / "04-settings-open.json");
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(card), {}).find("\"Credits: 100\""), std::string::npos);
}

// A voice clip is selected for its own length, up to the longest voice the pass takes. Inputs that
// cannot be used, and --text that keys cannot type, are refused at once, saying why.
TEST_F(SessionCommand, TheVoiceClipIsSelectedWithinItsOwnLengthAndUnusableInputsAreRefused) {
  const std::string big = (folder / "big.txt").string(), nul = (folder / "nul.txt").string(),
                    slow = (folder / "slow.wav").string(), brief = (folder / "brief.wav").string(),
                    voice = (folder / "voice.wav").string();
  std::ofstream(big) << std::string(64 * 1024 + 1, 'a');
  std::ofstream(nul) << std::string("one\0two", 7);
  std::string error;
  ASSERT_TRUE(qm::host::writeWav16(slow, {std::vector<float>(8000, 0.1f)}, 8000, &error)) << error;
  ASSERT_TRUE(qm::host::writeWav16(brief, {std::vector<float>(22050 / 2, 0.1f)}, 22050, &error)) << error;
  std::vector<float> samples(30 * 22050);  // at the built-in clip's rate
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.3f * float(std::sin(double(i) * 0.05));
  ASSERT_TRUE(qm::host::writeWav16(voice, {samples}, 22050, &error)) << error;
  struct Case {
    std::string arguments;
    int status;
    const char* shows;
  };
  std::vector<Case> cases = {
      {"--mode voice --takes 1 --voice '" + voice + "'", 0, "status: \"Take 1/"},
      {"--mode voice --voice '" + slow + "'", 1, "is at 8000 Hz and the session at 22050 Hz: a session has one rate"},
      {"--mode voice --takes 1 --voice '" + brief + "'", 1, "(the selection is 0.50 s)"},
      {"--transcript '" + big + "'", 1, "is larger than 64 KiB"},
      {"--transcript '" + nul + "'", 1, "is not text (it holds a NUL byte)"},
  };
  // Not UTF-8, control characters, private-use characters of the first plane and of plane 15.
  for (const char* text : {"a\\377b", "two\\nlines", "del\\177", "key\\357\\234\\200", "plane\\363\\260\\200\\200"})
    cases.push_back({"--text \"$(printf '" + std::string(text) + "')\"", 2, "--text must"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CommandRun run = Session(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.shows), std::string::npos) << run.output;
  }
  EXPECT_NE(Log().find("stored voice capture (" + std::to_string(25 * 22050) + " samples)"), std::string::npos);
}

TEST_F(SessionCommand, BadArgumentsAndMissingFilesFail) {
  EXPECT_EQ(Session("--takes 2").status, 2);
  EXPECT_EQ(Session("--mode shout").status, 2);
  EXPECT_EQ(Session("--frobnicate").status, 2);
  const CommandRun missing = RunCommand("'" + program.string() + "' session --input /nonexistent/clip.wav");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("cannot open /nonexistent/clip.wav"), std::string::npos);
  EXPECT_EQ(Session("--mode repair --text nowhere").status, 1);
  EXPECT_EQ(Session("--selection 0").status, 2);
  EXPECT_EQ(Session("--service-fault flood").status, 2);
  EXPECT_EQ(Session("--update-required").status, 2);
}

}  // namespace
