// `qmhost session` end to end: the built program, the built bundle and the embedded service.
// Skipped when the program or the bundle has not been built in this build folder.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CommandRun.h"
#include "qm/host/wav_file.h"
#include "qm/service/service.h"

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

// Whatever kind of token file the plug-in does not use, the session lends its own token without
// touching it: the file stays byte for byte and mode for mode, also when the session is stopped
// with SIGTERM mid-run, and why the plug-in did not use it is logged.
TEST_F(SessionCommand, ATokenFileThePlugInDoesNotUseIsLeftAsItWas) {
  const fs::path folder = this->folder / "Library" / "Application Support" / "Quillomancer";
  const fs::path file = folder / "account.json";
  const fs::path elsewhere = this->folder / "elsewhere.json";
  const std::string mine = "{\"access_token\":\"the-users-own\"}\n";
  struct Kind {
    const char* name;
    std::function<void()> make;
    const char* logged;  // why the plug-in does not use it; "" for no file at all
  };
  const Kind kinds[] = {
      {"0644 file", [&] { std::ofstream(file) << mine; fs::permissions(file, fs::perms(0644)); }, "can be read or written by others"},
      {"symbolic link", [&] { std::ofstream(elsewhere) << mine; fs::permissions(elsewhere, fs::perms(0600));
                              fs::create_symlink(elsewhere, file); }, "is a symbolic link"},
      {"FIFO", [&] { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }, "is not a regular file"},
      {"folder", [&] { fs::create_directory(file); fs::permissions(file, fs::perms(0750)); }, "is a folder"},
      {"no file", [] {}, ""},
  };
  // The file as it stands: its kind, mode and bytes (read without following a link or blocking).
  auto state = [&] {
    struct stat info {};
    if (lstat(file.c_str(), &info) != 0) return std::string("absent");
    std::string out = std::to_string(info.st_mode);
    if (S_ISREG(info.st_mode)) {
      std::ifstream in(file, std::ios::binary);
      out += std::string(std::istreambuf_iterator<char>(in), {});
    } else if (S_ISLNK(info.st_mode)) {
      out += fs::read_symlink(file).string();
    }
    return out;
  };
  for (const Kind& kind : kinds) {
    for (const bool stopped : {false, true}) {
      SCOPED_TRACE(std::string(kind.name) + (stopped ? ", stopped with SIGTERM" : ""));
      fs::remove_all(this->folder / "Library");
      fs::remove(elsewhere);
      fs::create_directories(folder);
      kind.make();
      const std::string before = state();
      if (!stopped) {
        const CommandRun run = Session("--takes 1");
        EXPECT_EQ(run.status, 0) << run.output;
      } else {
        // Stopped once the window is open and the run under way.
        const CommandRun run = RunCommand(
            "cd '" + this->folder.string() + "' && export HOME=\"$PWD\"; '" + program.string() + "' session --input '" +
            QM_SOURCE_DIR + "/testdata/speech.wav' --output takes >out.txt 2>&1 & pid=$!; for i in $(seq 600); do " +
            "grep -q '^LOAD' out.txt && break; sleep 0.05; done; kill -TERM $pid; wait $pid; cat out.txt");
        EXPECT_NE(run.output.find("[01] opened"), std::string::npos) << run.output;
      }
      EXPECT_EQ(state(), before);
      if (*kind.logged) {
        EXPECT_NE(Log().find("Account token not used: " + file.string() + " " + kind.logged), std::string::npos) << Log();
      }
    }
  }
}

// Runs `qmhost session` against a service of the test's own, with HOME in the test folder.
CommandRun SessionAgainst(const fs::path& program, const fs::path& folder, const qm::service::Service& service,
                          const std::string& arguments) {
  return RunCommand("cd '" + folder.string() + "' && HOME='" + folder.string() + "' timeout 120 '" + program.string() +
                    "' session --input '" + QM_SOURCE_DIR + "/testdata/speech.wav' --output takes --service " +
                    service.url() + " " + arguments);
}

// The line sent is the line asked for: characters of more than one UTF-16 unit, sequences of
// several characters and a letter with a combining accent are typed whole, as the service sees.
TEST_F(SessionCommand, TheChangeSentIsTheLineAskedForCharacterByCharacter) {
  qm::service::Service service;
  ASSERT_TRUE(service.start());
  for (const std::string line : {"I never said she took the \xF0\x9F\x92\xB0.",                      // money bag
                                 "I never said \xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7 took it.",  // a family
                                 "I never said she took the cafe\xCC\x81."}) {                          // e and an accent
    SCOPED_TRACE(line);
    service.clearRequests();
    const CommandRun run = SessionAgainst(program, folder, service, "--takes 1 --text '" + line + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto generate = service.lastRequest(qm::service::kGenerate);
    ASSERT_TRUE(generate);
    std::string text;
    for (const auto& part : generate->parts)
      if (part.name == "text") text = part.content;
    EXPECT_EQ(text, line);
  }
  service.stop();
}

// A line the editor cannot hold is refused before anything is sent: a --text over its 200
// UTF-16 units at once, a transcript over them as a clear failure.
TEST_F(SessionCommand, ALineLongerThanTheEditorHoldsIsRefused) {
  const CommandRun tooLong = Session("--text '" + std::string(199, 'a') + "\xF0\x9F\x92\xB0'");  // 201 units
  EXPECT_EQ(tooLong.status, 2) << tooLong.output;
  EXPECT_NE(tooLong.output.find("--text is 201 UTF-16 units long; the editor holds at most 200"), std::string::npos)
      << tooLong.output;
  std::string words;
  while (words.size() < 300) words += "word ";
  std::ofstream(folder / "long.txt") << words.substr(0, 299) + ".";
  const CommandRun transcript = Session("--transcript '" + (folder / "long.txt").string() + "'");
  EXPECT_EQ(transcript.status, 1) << transcript.output;
  EXPECT_NE(transcript.output.find("the transcript is 300 UTF-16 units long and the editor holds at most 200"),
            std::string::npos)
      << transcript.output;
}

// A server message whose title is far over its limit is shown, cut with an ellipsis, and is
// dismissed when it is closed.
TEST_F(SessionCommand, AMessageWithAnOverlongTitleIsShownAndDismissed) {
  qm::service::Service service;
  qm::service::AccountSettings account;
  account.messages = {{"m-long", std::string(5000, 'T'), "Body."}};
  service.setAccount(account);
  ASSERT_TRUE(service.start());
  const CommandRun set = RunCommand("HOME='" + folder.string() + "' '" + program.string() + "' account set-token someone");
  ASSERT_EQ(set.status, 0) << set.output;
  const CommandRun run = SessionAgainst(program, folder, service, "--takes 1 --snapshots snapshots");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("] message-1\n"), std::string::npos) << run.output;
  std::string shown;
  for (const auto& entry : fs::directory_iterator(folder / "snapshots")) {
    if (entry.path().filename().string().ends_with("-message-1.json")) {
      std::ifstream in(entry.path());
      shown = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  EXPECT_NE(shown.find("TTTT\u2026\""), std::string::npos) << "the title, cut with an ellipsis";
  EXPECT_TRUE(service.waitForRequests(qm::service::kDismiss, 1, std::chrono::seconds(60)));
  EXPECT_EQ(service.lastRequest(qm::service::kDismiss)->path, "/api/messages/m-long/dismiss");
  service.stop();
}

// An answer without a balance is an answer: the session goes on once the exchange is done,
// whatever it held (the test asserts no time; a session waiting for a balance passes too).
TEST_F(SessionCommand, AnAccountAnswerWithoutABalanceEndsTheWaitForIt) {
  qm::service::Service service;
  qm::service::AccountSettings account;
  account.rawAnswer = "{\"email\":\"e@x.io\"}";
  service.setAccount(account);
  ASSERT_TRUE(service.start());
  ASSERT_EQ(RunCommand("HOME='" + folder.string() + "' '" + program.string() + "' account set-token someone").status, 0);
  const CommandRun run = SessionAgainst(program, folder, service, "--takes 1");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(Log().find("[SRV] VerifyAccount: HTTP 200, valid=0"), std::string::npos) << Log();
  service.stop();
}

// Peak memory is the plug-in's own plus a few blocks, whatever the clip: 32 channels at 384 kHz
// selected for 600 s stay far under a gigabyte. Outside the sanitizers the address space is
// limited too, so a host that held the selection fails instead of taking the machine's memory.
TEST_F(SessionCommand, MemoryStaysBoundedForTheLargestSelectionOfTheWidestClip) {
  const std::string clip = (folder / "wide.wav").string();
  {
    const int channels = 32, rate = 384000;
    std::string fmt;
    auto put = [&](std::string& s, uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
    };
    put(fmt, 1, 2), put(fmt, channels, 2), put(fmt, rate, 4), put(fmt, rate * channels, 4), put(fmt, channels, 2), put(fmt, 8, 2);
    const std::string data(size_t(rate) * channels / 4, char(128));  // a quarter second of 8-bit silence
    std::string body = "WAVEfmt ";
    put(body, 16, 4);
    body += fmt + "data";
    put(body, uint32_t(data.size()), 4);
    std::string file = "RIFF";
    put(file, uint32_t(body.size() + data.size()), 4);
    std::ofstream(clip, std::ios::binary) << file << body << data;
  }
  const std::string home = folder.string(), input = clip, output = (folder / "takes").string();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const rlimit limit{rlim_t(2) << 30, rlim_t(2) << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
    setenv("HOME", home.c_str(), 1);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    execl(program.c_str(), "qmhost", "session", "--input", input.c_str(), "--selection", "600", "--output",
          output.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  ASSERT_EQ(wait4(child, &status, 0, &usage), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "the plug-in refuses the selection as too long";
  EXPECT_NE(Log().find("selection too long 600.00s"), std::string::npos);
  EXPECT_LT(usage.ru_maxrss, 1024L * 1024) << "kilobytes at the peak";
}

// Files the user names are followed through links to a regular file; options that do not apply
// to the mode are refused.
TEST_F(SessionCommand, LinkedInputsAreFollowedAndOptionsThatDoNotApplyAreRefused) {
  fs::create_symlink(fs::path(QM_SOURCE_DIR) / "testdata" / "speech.wav", folder / "linked.wav");
  fs::create_symlink(fs::path(QM_SOURCE_DIR) / "testdata" / "speech.txt", folder / "linked.txt");
  ASSERT_EQ(mkfifo((folder / "fifo.wav").c_str(), 0600), 0);
  fs::create_symlink(folder / "fifo.wav", folder / "to-fifo.wav");
  const std::string linked = (folder / "linked.wav").string();
  struct Case {
    std::string arguments;
    int status;
    std::string shows;
  } cases[] = {
      {"--input '" + linked + "' --transcript '" + (folder / "linked.txt").string() + "' --takes 1", 0, "status: \"Take 1/"},
      {"--mode voice --takes 1 --voice '" + linked + "'", 0, "status: \"Take 1/"},
      {"--input '" + (folder / "to-fifo.wav").string() + "'", 1, "to-fifo.wav: is not a regular file"},
      {"--voice '" + linked + "'", 2, "--voice applies in voice mode only"},
      {"--mode voice --text 'a line'", 2, "--text does not apply in voice mode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CommandRun run = Session(c.arguments);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.shows), std::string::npos) << run.output;
  }
}

// What the commands say: help that exits 0, the token from standard input shown in the usage,
// a token that is not UTF-8 as a usage error, a selection with the decimals that tell it from
// the limit, and a snapshot that cannot be written named once.
TEST_F(SessionCommand, TheWordsSayWhatIsWrong) {
  const std::string qmhost = "'" + program.string() + "'";
  for (const char* help : {" --help", " -h"}) {
    const CommandRun run = RunCommand(qmhost + help);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("account set-token -"), std::string::npos) << run.output;
  }
  EXPECT_EQ(RunCommand(qmhost).status, 2);
  const CommandRun notUtf8 = RunCommand("printf 'tok\\377en\\n' | HOME='" + folder.string() + "' " + qmhost + " account set-token -");
  EXPECT_EQ(notUtf8.status, 2) << notUtf8.output;
  EXPECT_FALSE(fs::exists(folder / "Library" / "Application Support" / "Quillomancer" / "account.json"));

  const CommandRun selection = Session("--selection 15.001");
  EXPECT_EQ(selection.status, 1) << selection.output;
  EXPECT_NE(selection.output.find("(the selection is 15.001 s)"), std::string::npos) << selection.output;

  std::ofstream(folder / "plain") << "a file, not a folder";
  const std::string snapshots = (folder / "plain" / "snapshots").string();
  const CommandRun snapshot = Session("--snapshots '" + snapshots + "'");
  EXPECT_EQ(snapshot.status, 1) << snapshot.output;
  const size_t first = snapshot.output.find(snapshots);
  ASSERT_NE(first, std::string::npos) << snapshot.output;
  EXPECT_EQ(snapshot.output.find(snapshots, first + 1), std::string::npos) << snapshot.output;
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
