// `qmhost session` end to end: the built program, the built bundle and the embedded service.
// Skipped when the program or the bundle has not been built in this build folder.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "CommandRun.h"
#include "qm/host/wav_file.h"

namespace {

namespace fs = std::filesystem;

using qmhosttest::CommandRun;

CommandRun RunCommand(const std::string& command) { return qmhosttest::Capture(command); }

// The titles and texts of a snapshot's views that show: neither they nor a view around them is hidden.
std::set<std::string> ShownTexts(const nlohmann::json& view, std::set<std::string> into = {}) {
  if (!view.is_object() || view.value("hidden", false)) return into;
  for (const char* key : {"title", "string"})
    if (view.contains(key) && view[key].is_string()) into.insert(view[key].get<std::string>());
  for (const auto& child : view.value("subviews", nlohmann::json::array())) into = ShownTexts(child, std::move(into));
  return into;
}

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

TEST_F(SessionCommand, AgainstAnotherServiceTheCardIsWholeWithoutATokenAndItsMessagesAreClosed) {
  const fs::path qmservice = fs::path(QM_BINARY_DIR) / "bin" / "qmservice";
  if (!fs::exists(qmservice)) GTEST_SKIP() << "qmservice is not built";
  // The service prints its URL on its first line once it listens; it stops with the session.
  const std::string start = "'" + qmservice.string() + "' --message 'm1|Maintenance tonight|Back at ten.' >url.txt & "
                            "service=$!; for i in $(seq 200); do [ -s url.txt ] && break; sleep 0.05; done; ";
  const std::string home = "HOME='" + folder.string() + "' ";
  for (const bool token : {false, true}) {
    SCOPED_TRACE(token ? "a stored token" : "no token");
    fs::remove_all(folder / "snapshots");
    const std::string account = token ? "echo session-token | " + home + "'" + program.string() + "' account set-token - && "
                                      : home + "'" + program.string() + "' account clear && ";
    const CommandRun run = RunCommand("cd '" + folder.string() + "' || exit 1; " + start + account + home + "timeout 120 '" +
                                      program.string() + "' session --input '" + std::string(QM_SOURCE_DIR) +
                                      "/testdata/speech.wav' --output '" + (folder / "takes").string() +
                                      "' --service \"$(head -n 1 url.txt)\" --snapshots '" + (folder / "snapshots").string() +
                                      "'; status=$?; kill $service; exit $status");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("] message-1\n") != std::string::npos, token) << run.output;
    // The card the gear opens: the main page with its buttons, and a balance only from an answer.
    const std::string open = (folder / "snapshots" / (token ? "04-settings-open.json" : "02-settings-open.json")).string();
    std::ifstream in(open);
    const std::set<std::string> shown = ShownTexts(nlohmann::json::parse(in, nullptr, false));
    for (const char* text : {"Send Log", "Check for Updates", "Add breath tail", token ? "Credits: 100" : "Credits: \u2014"})
      EXPECT_TRUE(shown.count(text)) << open << ": " << text;
  }
}

// The voice pass selects the voice clip for its own length: a clip too short for it ends in the
// plug-in's refusal, a long one is selected up to the longest voice the pass takes, and a clip at
// another rate than the session's is refused before LOAD. No pass reads past a clip.
TEST_F(SessionCommand, TheVoiceClipIsSelectedWithinItsOwnLength) {
  constexpr int kRate = 22050;  // the built-in clip's
  struct Case {
    const char* name;
    int64_t frames;
    int rate;
    int status;
    const char* shows;
  };
  const Case cases[] = {
      {"one frame", 1, kRate, 1, "the voice clip ended in state SelectionTooShort"},
      {"short", kRate / 2, kRate, 1, "(the selection is 0.50 s)"},
      {"long", 30 * kRate, kRate, 0, "status: \"Take 1/"},
      {"other rate", 2 * kRate, 8000, 1, "is at 8000 Hz and the session at 22050 Hz: a session has one rate"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path voice = folder / "voice.wav";
    std::vector<float> samples(size_t(c.frames));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.3f * float(std::sin(double(i) * 0.05));
    std::string error;
    ASSERT_TRUE(qm::host::writeWav16(voice.string(), {samples}, c.rate, &error)) << error;
    fs::remove(folder / "Library" / "Logs" / "Quillomancer" / "quillomancer.log");
    const CommandRun run = Session("--mode voice --takes 1 --voice '" + voice.string() + "'");
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.shows), std::string::npos) << run.output;
    if (c.status == 0) {
      EXPECT_NE(Log().find("stored voice capture (" + std::to_string(25 * kRate) + " samples)"), std::string::npos);
    }
  }
}

// Inputs that are no regular file, or no usable clip or text, are refused at once, saying why.
TEST_F(SessionCommand, InputsThatCannotBeUsedAreRefusedSayingWhy) {
  const fs::path fifo = folder / "clip.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path big = folder / "big.txt";
  std::ofstream(big) << std::string(64 * 1024 + 1, 'a');
  const fs::path nul = folder / "nul.txt";
  std::ofstream(nul) << std::string("one\0two", 7);
  const fs::path slow = folder / "slow.wav";
  std::string error;
  ASSERT_TRUE(qm::host::writeWav16(slow.string(), {std::vector<float>(4000, 0.1f)}, 4000, &error)) << error;
  const fs::path linked = folder / "linked.wav";
  fs::create_symlink(std::string(QM_SOURCE_DIR) + "/testdata/speech.wav", linked);
  struct Case {
    std::string arguments;
    const char* shows;
  };
  const Case cases[] = {
      {"--input '" + fifo.string() + "'", "is not a regular file"},
      {"--input '" + folder.string() + "'", "is a folder"},
      {"--input /dev/null", "is not a regular file"},
      {"--input '" + linked.string() + "'", "is a symbolic link"},
      {"--input '" + slow.string() + "'", "unsupported sample rate 4000 Hz (8000 to 384000 Hz)"},
      {"--mode voice --voice '" + fifo.string() + "'", "is not a regular file"},
      {"--transcript '" + fifo.string() + "'", "is not a regular file"},
      {"--transcript '" + big.string() + "'", "is larger than 64 KiB"},
      {"--transcript '" + nul.string() + "'", "is not text (it holds a NUL byte)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    // The arguments come after the fixture's own --input, so they name the clip used.
    const CommandRun run = Session(c.arguments);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(c.shows), std::string::npos) << run.output;
  }
}

// --text is typed as keys: what a key cannot type is a usage error, not a silent success.
TEST_F(SessionCommand, TextThatCannotBeTypedIsAUsageError) {
  for (const char* text : {"a\\377b", "two\\nlines", "tab\\there", "del\\177", "key\\357\\234\\200",
                           "plane\\363\\260\\200\\200"}) {
    SCOPED_TRACE(text);
    const CommandRun run = Session(std::string("--text \"$(printf '") + text + "')\"");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("--text must"), std::string::npos) << run.output;
  }
  const CommandRun usage = RunCommand("'" + program.string() + "' session --help");
  EXPECT_EQ(usage.output.find("pt-BR"), std::string::npos);
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
