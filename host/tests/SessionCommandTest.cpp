// `qmhost session` end to end: the built program, the built bundle and the embedded service.
// Skipped when the program or the bundle has not been built in this build folder.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CommandRun.h"
#include "qm/host/wav_file.h"
#include "qm/platform/text.h"
#include "qm/service/service.h"

namespace {

namespace fs = std::filesystem;

using qmhosttest::CommandRun;

CommandRun RunCommand(const std::string& command) { return qmhosttest::Capture(command); }

std::string Part(const qm::service::RecordedRequest& request, const std::string& name) {
  const qm::service::RecordedPart* part = request.part(name);
  return part ? part->content : "(none)";
}

// A line of plain words of exactly `units` UTF-16 units that ends with `ending`.
std::string LineOf(size_t units, const std::string& ending) {
  static const char* const kWords[] = {"she", "said", "she", "would", "meet", "us", "at", "the", "station", "before",
                                       "the", "last", "train", "but", "nobody", "there", "has", "seen", "her"};
  const size_t room = units - qm::platform::utf16Length(ending);
  std::string line;
  for (size_t i = 0; line.size() < room; ++i) {
    const size_t left = room - line.size();
    std::string word = kWords[i % std::size(kWords)];
    // Never one unit left over, which only a second space would fill.
    if (word.size() + 1 > left || left - (word.size() + 1) == 1) word = std::string(left - 1, 'o');
    line += word + " ";
  }
  return line + ending;
}

// Passes a request on to the service at `port`, and its answer back.
void Forward(int port, const httplib::Request& req, httplib::Response& res) {
  httplib::Headers headers;
  for (const auto& [name, value] : req.headers) {
    if (name != "Host" && name != "Content-Length" && name != "Content-Type" && name.rfind("REMOTE_", 0) != 0 &&
        name.rfind("LOCAL_", 0) != 0) {
      headers.emplace(name, value);
    }
  }
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(std::chrono::seconds(120));
  const httplib::Result answer = [&] {
    if (req.method == "GET") return client.Get(req.target, headers);
    if (!req.is_multipart_form_data()) return client.Post(req.target, headers, req.body, req.get_header_value("Content-Type"));
    httplib::MultipartFormDataItems items;
    for (const auto& [name, file] : req.files) items.push_back({file.name, file.content, file.filename, file.content_type});
    return client.Post(req.target, headers, items);
  }();
  if (!answer) {
    res.status = 502;
    return;
  }
  res.status = answer->status;
  for (const auto& [name, value] : answer->headers) {
    if (name != "Content-Length" && name != "Content-Type" && name != "Transfer-Encoding" && name != "Connection") {
      res.set_header(name, value);
    }
  }
  res.set_content(answer->body, answer->get_header_value("Content-Type"));
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

// Whatever kind of token file the plug-in does not use, the session lends its token without
// touching it (kind, mode, link and bytes), also when stopped with SIGTERM mid-run, and logs why.
TEST_F(SessionCommand, ATokenFileThePlugInDoesNotUseIsLeftAsItWas) {
  const std::string file = "Library/Application Support/Quillomancer/account.json";
  const std::pair<const char*, const char*> kinds[] = {  // made in the test folder; why it is not used
      {"printf mine >\"$F\" && chmod 644 \"$F\"", "can be read or written by others"},
      {"printf mine >mine && chmod 600 mine && ln -s \"$PWD/mine\" \"$F\"", "is a symbolic link"},
      {"mkfifo -m 600 \"$F\"", "is not a regular file"},
      {"mkdir -m 750 \"$F\"", "is a folder"},
      {"true", nullptr}};
  const std::string state = "$(stat -c '%F %a' \"$F\" 2>&1; readlink \"$F\"; [ ! -f \"$F\" ] || cat \"$F\")";
  for (const auto& [make, why] : kinds) {
    for (const std::string stop : {"", "for i in $(seq 1200); do grep -q '^LOAD' out && break; sleep 0.05; done; kill -TERM $!; "}) {
      SCOPED_TRACE(make + (" " + stop));
      const CommandRun run = RunCommand(
          "cd '" + folder.string() + "' && export HOME=\"$PWD\" F='" + file + "' && rm -rf Library mine out && mkdir -p \"${F%/*}\" && " +
          make + " && before=\"" + state + "\" && { timeout 120 '" + program.string() + "' session --input '" + QM_SOURCE_DIR +
          "/testdata/speech.wav' --output takes --takes 1 >out 2>&1 & " + stop + "wait $!; status=$?; cat out; after=\"" + state +
          "\"; [ \"$after\" = \"$before\" ] || echo \"CHANGED: $before -> $after\"; exit $status; }");
      EXPECT_TRUE(run.status == 0 || !stop.empty()) << run.output;
      EXPECT_NE(run.output.find("[01] opened"), std::string::npos) << run.output;
      EXPECT_EQ(run.output.find("CHANGED"), std::string::npos) << run.output;
      if (why) {
        EXPECT_NE(Log().find("Account token not used: " + (folder / file).string() + " " + why), std::string::npos) << Log();
      }
    }
  }
}

// The line sent is the line asked for, as the service sees it: a character of two UTF-16 units, a
// sequence of several characters and a letter with a combining accent are typed whole.
TEST_F(SessionCommand, TheChangeSentIsTheLineAskedForCharacterByCharacter) {
  qm::service::Service service;
  ASSERT_TRUE(service.start());
  for (const std::string line : {"I never said she took the \xF0\x9F\x92\xB0.",
                                 "I never said \xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7 took it.",
                                 "I never said she took the cafe\xCC\x81."}) {
    const CommandRun run = Session("--takes 1 --service " + service.url() + " --text '" + line + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto generate = service.lastRequest(qm::service::kGenerate);
    std::string sent;
    for (const auto& part : generate.value().parts)
      if (part.name == "text") sent = part.content;
    EXPECT_EQ(sent, line);
  }
}

// Against a service's unusual answers: a message whose title is far over its limit is shown, cut
// with "…", and dismissed when closed.
TEST_F(SessionCommand, AMessageWithAnOverlongTitleIsShownAndDismissed) {
  qm::service::Service service;
  qm::service::AccountSettings account;
  account.messages = {{"m-long", std::string(5000, 'T'), "Body."}};
  service.setAccount(account);
  ASSERT_TRUE(service.start());
  ASSERT_EQ(RunCommand("HOME='" + folder.string() + "' '" + program.string() + "' account set-token someone").status, 0);
  const CommandRun run = Session("--takes 1 --snapshots snapshots --service " + service.url());
  ASSERT_EQ(run.status, 0) << run.output;
  std::ifstream card(folder / "snapshots" / "02-message-1.json");
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(card), {}).find("TTTT\u2026\""), std::string::npos) << run.output;
  ASSERT_TRUE(service.waitForRequests(qm::service::kDismiss, 1, std::chrono::seconds(60)));
  EXPECT_EQ(service.lastRequest(qm::service::kDismiss)->path, "/api/messages/m-long/dismiss");

  // An answer without a balance ends the wait for one (no time is asserted: a session that waits passes too).
  account = {};
  account.rawAnswer = "{\"email\":\"e@x.io\"}";
  service.setAccount(account);
  EXPECT_EQ(Session("--takes 1 --service " + service.url()).status, 0);
  EXPECT_NE(Log().find("[SRV] VerifyAccount: HTTP 200, valid=0"), std::string::npos) << Log();
}

// Peak memory is the plug-in's own plus a few blocks, whatever the clip: 32 channels at 384 kHz
// selected for 600 s stay far under a gigabyte (outside the sanitizers also under an address-space
// limit, so that a host holding the selection fails instead of taking the machine's memory).
TEST_F(SessionCommand, MemoryStaysBoundedForTheLargestSelectionOfTheWidestClip) {
  std::string error;
  ASSERT_TRUE(qm::host::writeWav16((folder / "wide.wav").string(), std::vector<std::vector<float>>(32, std::vector<float>(96000)),
                                   384000, &error)) << error;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  rlimit old{};
  getrlimit(RLIMIT_AS, &old);
  const rlimit limit{rlim_t(2) << 30, old.rlim_max};
  setrlimit(RLIMIT_AS, &limit);
#endif
  const CommandRun run = Session("--input wide.wav --selection 600");
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  setrlimit(RLIMIT_AS, &old);
#endif
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(Log().find("selection too long 600.00s"), std::string::npos) << run.output;
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 1024L * 1024) << "kilobytes at the peak";
}

// What the commands say: help that exits 0 with the token from standard input in the usage, and
// a token that is not UTF-8 as a usage error.
TEST_F(SessionCommand, TheWordsSayWhatIsWrong) {
  const std::string qmhost = "'" + program.string() + "'";
  for (const char* help : {" --help", " -h"}) {
    const CommandRun run = RunCommand(qmhost + help);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("account set-token -"), std::string::npos) << run.output;
  }
  EXPECT_EQ(RunCommand("printf 'tok\\377en\\n' | HOME='" + folder.string() + "' " + qmhost + " account set-token -").status, 2);
  EXPECT_FALSE(fs::exists(folder / "Library" / "Application Support" / "Quillomancer" / "account.json"));
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
  // Files the user names are followed through links.
  fs::create_symlink(voice, folder / "voice-link.wav");
  fs::create_symlink(fs::path(QM_SOURCE_DIR) / "testdata" / "speech.wav", folder / "speech-link.wav");
  fs::create_symlink(fs::path(QM_SOURCE_DIR) / "testdata" / "speech.txt", folder / "speech-link.txt");
  std::ofstream(folder / "long.txt") << std::string(299, 'a') + ".";
  std::ofstream(folder / "plain") << "a file, not a folder";
  struct Case {
    std::string arguments;
    int status;
    const char* shows;
  };
  std::vector<Case> cases = {
      {"--mode voice --takes 1 --voice voice-link.wav", 0, "status: \"Take 1/"},
      {"--input speech-link.wav --transcript speech-link.txt --takes 1", 0, "status: \"Take 1/"},
      {"--voice voice-link.wav", 2, "--voice applies in voice mode only"},
      {"--mode voice --text 'a line'", 2, "--text does not apply in voice mode"},
      {"--text '" + std::string(199, 'a') + "\xF0\x9F\x92\xB0'", 2, "--text is 201 UTF-16 units long; the editor holds at most 200"},
      {"--transcript long.txt", 1, "the transcript is 300 UTF-16 units long and the editor holds at most 200"},
      // Words the window cannot paint, and a line the window changes as it is typed, fail the run.
      {"--mode repair --text 'money money'", 1, "the window painted \"money\" where \"money money\" was asked"},
      {"--mode repair --text 'said nowhere'", 1, "the window painted \"said\" where \"said nowhere\" was asked"},
      {"--text 'I never said she took the car. (fr)'", 1,
       "the window holds the line \"I never said she took the car.\" where \"I never said she took the car. (fr)\" was typed"},
      {"--selection 15.001", 1, "(the selection is 15.001 s)"},
      {"--snapshots plain/snapshots", 1, "plain/snapshots"},  // named once
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
    EXPECT_EQ(run.output.find(c.shows, run.output.find(c.shows) + 1), std::string::npos) << run.output;
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
  const CommandRun help = RunCommand("'" + program.string() + "' validate --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output, "usage: qmhost validate <path to .aaxplugin bundle or module>\n");
}

// scripts/run from a folder of one's own: paths are relative to it, the snapshots go beside the takes.
TEST_F(SessionCommand, TheRunScriptTakesPathsFromTheCallersFolderAndPutsSnapshotsBesideTheTakes) {
  const fs::path caller = folder / "my work";
  fs::create_directories(caller);
  fs::copy_file(fs::path(QM_SOURCE_DIR) / "testdata" / "speech.wav", caller / "myclip.wav");
  std::ofstream(caller / "line.txt") << "Nobody here heard a single word of it.\n";
  const CommandRun run = RunCommand("cd '" + caller.string() + "' && HOME='" + folder.string() + "' QMHOST='" +
                                    program.string() + "' timeout 120 bash '" + QM_SOURCE_DIR +
                                    "/scripts/run' --input myclip.wav --transcript line.txt --output out --takes 1");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(fs::is_regular_file(caller / "out" / "snapshots" / "01-opened.png")) << run.output;
}

// Change and Repair reach the last and the first word of lines up to the editor's 200 UTF-16 units.
TEST_F(SessionCommand, ChangeAndRepairReachTheLastWordOfEveryLineTheEditorHolds) {
  qm::service::Service service;
  ASSERT_TRUE(service.start());
  // An emoji of two units and a right-to-left word near the end.
  const std::string mixed = "said \xF0\x9F\x91\x8B \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D to the end.";
  for (const std::string& line : {LineOf(20, "end."), LineOf(100, "end."), LineOf(150, "end."), LineOf(199, "end."),
                                  LineOf(200, "end."), LineOf(200, mixed)}) {
    SCOPED_TRACE(line);
    service.setTranscriptText(line);
    const std::string url = " --takes 1 --service " + service.url(), first = "the" + line.substr(3);
    for (const auto& [arguments, sent] : {std::pair{url, line.substr(0, line.size() - 4) + "car."},
                                          std::pair{url + " --text '" + first + "'", first}}) {
      const CommandRun change = Session(arguments);
      ASSERT_EQ(change.status, 0) << change.output;
      EXPECT_EQ(Part(service.lastRequest(qm::service::kGenerate).value(), "text"), sent);
    }
    for (const char* repair : {"", " --text she"}) {  // the last word, then the first
      const CommandRun run = Session(url + " --mode repair" + repair);
      ASSERT_EQ(run.status, 0) << run.output;
      EXPECT_NE(run.output.find("Repair: 1 word of"), std::string::npos) << run.output;
    }
  }
}

// Repair paints each word asked across the whole of it, whatever its length and writing
// direction, where it stands in the line; a transcript's byte-order mark is not of the line.
TEST_F(SessionCommand, RepairPaintsEveryWordAskedWhereItStands) {
  const std::string bom = "\xEF\xBB\xBF", wave = "\xF0\x9F\x91\x8B", no = "\xD7\x9C\xD7\x90";  // 👋, לא
  const std::string cases[][3] = {  // the line, the arguments, what the run shows
      {"I think we should go now, really.", "--text I", "Repair: 1 word of \"I think we should go now, really.\": \"I\" (character 1)"},
      {"Take a seat over there.", "--text a", "\"a\" (character 6)"},
      {"The one you want is plan B.", "--text B", "\"B\" (character 26)"},
      {"Say " + wave + " to them.", "--text " + wave, "\"" + wave + "\" (character 5)"},
      {"He said " + no + " and left.", "--text " + no, "\"" + no + "\" (character 9)"},
      {"I think so when it rains.", "--text 'I when'", "\"I\" (character 1), \"when\" (character 12)"},
      {"the cat sat on the mat.", "--text 'the the'", "\"the\" (character 1), \"the\" (character 16)"},
      {bom + "We should go now.", "--text We", "Repair: 1 word of \"We should go now.\": \"We\" (character 1)"},
  };
  for (const auto& [line, arguments, shows] : cases) {
    SCOPED_TRACE(line + " " + arguments);
    std::ofstream(folder / "line.txt") << line << "\n";
    fs::remove_all(folder / "takes");
    const CommandRun run = Session("--transcript line.txt --takes 1 --mode repair " + arguments);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(shows), std::string::npos) << run.output;
  }
}

// A clip cut short after the first LOAD fails the performance's LOAD in voice mode: nothing is generated.
TEST_F(SessionCommand, AClipCutShortBeforeThePerformanceIsLoadedFailsBeforeAnyGeneration) {
  const fs::path clip = folder / "clip.wav", voice = fs::path(QM_SOURCE_DIR) / "testdata" / "speech.wav";
  fs::copy_file(voice, clip);
  qm::service::Service service;
  service.setTranscriptText("I never said she took the money.");
  ASSERT_TRUE(service.start());
  // Between the plug-in and the service: the clip is cut to half once the first LOAD has read it
  // and asked for the transcript.
  qm::service::warmHttpLibrary();
  httplib::Server gate;
  std::atomic<bool> cut{false};
  const auto pass = [&](const httplib::Request& req, httplib::Response& res) {
    if (req.path == qm::service::kTranscribe && !cut.exchange(true)) fs::resize_file(clip, fs::file_size(clip) / 2);
    Forward(service.port(), req, res);
  };
  gate.Get(".*", pass);
  gate.Post(".*", pass);
  const int port = gate.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { gate.listen_after_bind(); });
  const CommandRun run = Session("--input '" + clip.string() + "' --mode voice --voice '" + voice.string() +
                                 "' --service http://127.0.0.1:" + std::to_string(port));
  gate.stop();
  serving.join();
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("LOAD: cannot read " + clip.string()), std::string::npos) << run.output;
  EXPECT_EQ(service.requestCount(qm::service::kGenerate), 0u);
}

// An option not given takes its default, not what an earlier run chose.
TEST_F(SessionCommand, TheLanguageOfAnEarlierRunIsNotTheNextRunsDefault) {
  qm::service::Service service;
  ASSERT_TRUE(service.start());
  ASSERT_EQ(Session("--takes 1 --language de --service " + service.url()).status, 0);
  ASSERT_EQ(Session("--takes 1 --service " + service.url()).status, 0);
  EXPECT_EQ(Part(service.lastRequest(qm::service::kTranscribe).value(), "language"), "(none)");
  EXPECT_EQ(Part(service.lastRequest(qm::service::kGenerate).value(), "language"), "(none)");
}

// Without a display it can reach, or with a driver that shows none, the desktop window is refused at once.
TEST_F(SessionCommand, WithoutADisplayTheDesktopWindowIsRefusedAtOnce) {
  for (const auto& [environment, shows] :
       {std::pair{"", "no display to show the window on"},
        std::pair{"DISPLAY=:977", "cannot reach the display \":977\" (DISPLAY)"},
        std::pair{"DISPLAY=:977 SDL_VIDEODRIVER=offscreen", "SDL_VIDEODRIVER=offscreen shows no window on a desktop"}}) {
    for (const char* command : {"window --interactive", "session --interactive"}) {
      SCOPED_TRACE(std::string(environment) + " " + command);
      const CommandRun run = RunCommand("cd '" + folder.string() + "' && HOME='" + folder.string() +
                                        "' env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER " + environment +
                                        " timeout 60 '" + program.string() + "' " + command);
      EXPECT_EQ(run.status, 1) << run.output;
      EXPECT_NE(run.output.find(shows), std::string::npos) << run.output;
    }
  }
}

}  // namespace
