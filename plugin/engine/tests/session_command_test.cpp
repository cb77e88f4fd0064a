// `qmhost session` end to end: the built program, the built bundle and the embedded service.
// Skipped when the program or the bundle has not been built in this build folder.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "qm/host/wav_file.h"

namespace {

namespace fs = std::filesystem;

struct CommandRun {
  int status = -1;
  std::string output;
};

CommandRun RunCommand(const std::string& command) {
  CommandRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
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

  fs::path program;
  fs::path folder;
};

TEST_F(SessionCommand, ChangeWritesEveryTakeAsAWavFile) {
  const CommandRun run = Session("--text 'I never said she took the car.' --takes 3");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Transcript: \"I never said she took the money.\""), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("state: HasTakes (3 takes ready)"), std::string::npos);
  for (int take = 1; take <= 3; ++take) {
    qm::host::WavAudio audio;
    std::string error;
    ASSERT_TRUE(qm::host::readWav((folder / "takes" / ("take-" + std::to_string(take) + ".wav")).string(), &audio,
                                  &error))
        << error;
    EXPECT_EQ(audio.sampleRate, 22050);
    EXPECT_GT(audio.frames(), 0);
  }
}

TEST_F(SessionCommand, RepairAndVoiceRunToTheirTakes) {
  const CommandRun repair = Session("--mode repair --text money --takes 1");
  ASSERT_EQ(repair.status, 0) << repair.output;
  EXPECT_NE(repair.output.find("Repair: 1 word"), std::string::npos);
  const CommandRun voice = Session("--mode voice --takes 1");
  ASSERT_EQ(voice.status, 0) << voice.output;
  EXPECT_NE(voice.output.find("state: VoiceCaptured"), std::string::npos);
}

TEST_F(SessionCommand, BadArgumentsAndMissingFilesFail) {
  EXPECT_EQ(Session("--takes 2").status, 2);
  EXPECT_EQ(Session("--mode shout").status, 2);
  EXPECT_EQ(Session("--frobnicate").status, 2);
  const CommandRun missing = RunCommand("'" + program.string() + "' session --input /nonexistent/clip.wav");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("cannot open /nonexistent/clip.wav"), std::string::npos);
  EXPECT_EQ(Session("--mode repair --text nowhere").status, 1);
}

}  // namespace
