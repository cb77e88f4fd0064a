// Send Log against the web-service stand-in: whatever odd files it finds beside the plug-in's log,
// the body stays within what the service takes and the log itself always goes.

#include "SettingsTestSupport.h"

#include "QMControls.h"
#include "QMSettingsCardSupport.h"
#include "QMSettingsHelper.h"
#include "QuillomancerLogger.h"
#include "QuillomancerServer.h"

#include "qm/platform/dispatch.h"
#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/text.h"
#include "qm/platform/time.h"
#include "qm/service/service.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

namespace fs = std::filesystem;

namespace {

// The controller's Send Log button in a toolkit window; its upload goes to the stand-in.
struct SendLogUpload : ::testing::Test {
  SendLogUpload() {
    qmsettingstest::UseTemporaryHome();
    qm::platform::setCurrentThreadAsMain();
    EXPECT_TRUE(service.start());
    QuillomancerServerSetBaseURLOverride(service.url());
    QuillomancerServerTimeouts patient = savedTimeouts;
    patient.sessionRequest = patient.sessionResource = 600;
    QuillomancerServerSetTimeouts(patient);
    QuillomancerLogger::shared().setMessageObserver([this](const std::string& line) {
      std::lock_guard lock(mutex);
      if (line.rfind("No updater log", 0) == 0 || line.rfind("Attaching", 0) == 0) logged.push_back(line);
    });
    char folder[] = "/tmp/qm-sendlog-XXXXXX";
    reports = mkdtemp(folder);
    auto content = std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 200, 100});
    button->setTarget(controller);
    button->setAction("sendLogAction:");
    QMApplySmallSecondaryButtonTitle(button.get(), "Send Log");
    content->addSubview(button);
    window.setContentView(content);
    controller->setGuiOwner(&owner);
    controller->views.sendLogBtn = button;
    controller->crashReportFolders = {reports.string()};
  }
  ~SendLogUpload() override {
    qm::platform::dispatchWaitForIdle(60);
    qm::platform::drainMainQueue();
    QuillomancerLogger::shared().setMessageObserver({});
    QuillomancerServerSetBaseURLOverride(std::nullopt);
    QuillomancerServerSetTimeouts(savedTimeouts);
    fs::remove_all(reports);
    fs::remove(UpdaterLog());
  }
  static std::string UpdaterLog() { return qm::platform::libraryPath("Application Support/Quillomancer/Updates/updater.log"); }
  static void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
  // Clicks Send Log; answers the button's title once the upload came back.
  std::string press() {
    window.click(qm::ui::Point{10, 10});
    EXPECT_EQ(button->title(), "Sending\u2026");
    EXPECT_TRUE(qm::platform::runMainQueueUntil([&] { return button->title() != "Sending\u2026"; }, 600));
    return button->title();
  }
  std::vector<std::string> takeLog() {
    std::lock_guard lock(mutex);
    return std::exchange(logged, {});
  }

  qm::platform::ManualClock clock;  // the result title stays until the next press
  // Uploads of tens of MiB, slow under a sanitizer on a busy machine: neither end gives up on them.
  static qm::service::Options PatientService() {
    qm::service::Options options;
    options.deadlines.headerSeconds = options.deadlines.bodyGraceSeconds = options.deadlines.idleSeconds = 600;
    return options;
  }
  const QuillomancerServerTimeouts savedTimeouts = QuillomancerServerGetTimeouts();
  qm::service::Service service{PatientService()};
  qm::ui::Window window{qm::ui::Rect{0, 0, 200, 100}};
  std::shared_ptr<QMModeTextButton> button = std::make_shared<QMModeTextButton>(qm::ui::Rect{0, 0, 40, 20});
  qmsettingstest::RecordingWindow owner;
  std::shared_ptr<QMSettingsHelper> controller = QMSettingsHelper::Create();
  fs::path reports;
  std::mutex mutex;
  std::vector<std::string> logged;
};

// Text as it stands inside a JSON string of the body.
std::string Escaped(const std::string& text) {
  const std::string quoted = nlohmann::json(text).dump();
  return quoted.substr(1, quoted.size() - 2);
}

// Control bytes grow six-fold in the JSON body: a report or an updater log of NUL bytes would
// pass what the service takes many times over, and the refused upload would lose the log too.
TEST_F(SendLogUpload, ReportsAndUpdaterLogsOfControlBytesAreCutSoTheLogStillGoes) {
  const std::string kCrash = "\n\n--- CRASH REPORT ---\n", kUpdater = "\n\n--- UPDATER LOG ---\n";
  struct Case {
    const char* what;
    size_t reportBytes, updaterLogBytes;
    std::string follows;  // what comes after the plug-in log in the body
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"a 50 MB report", 50'000'000, 0, kCrash + "\n\n===== CRASH REPORT 1 =====\nSOURCE_FILE: Pro Tools.ips\n",
       {"Attaching 1 crash reports (1 host-matched, 0 generic)",
        "No updater log attached (missing or unreadable updater.log)"}},
      {"a 10 MB updater log", 0, 10'000'000, kUpdater + std::string(1000, '\0'), {}},
      {"both", 50'000'000, 10'000'000, kCrash,
       {"Attaching 1 crash reports (1 host-matched, 0 generic)", "No updater log attached (no room left in the upload)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(reports / "Pro Tools.ips");
    fs::remove(UpdaterLog());
    if (c.reportBytes) Write(reports / "Pro Tools.ips", std::string(c.reportBytes, '\0'));
    if (c.updaterLogBytes) Write(UpdaterLog(), std::string(c.updaterLogBytes, '\0'));
    takeLog();

    ASSERT_EQ(press(), "Sent!");
    const auto request = service.lastRequest(qm::service::kLogUpload);
    ASSERT_TRUE(request.has_value());
    EXPECT_LE(request->bodySize, kQMLogUploadMaxBodyBytes);
    EXPECT_GT(request->bodySize, kQMLogUploadMaxBodyBytes - (1u << 20)) << "cut, not left out";
    if (!c.lines.empty()) {
      EXPECT_EQ(takeLog(), c.lines);
    }

    // The log as it stood after the click's own line, then the separator and what was attached.
    std::string file;
    ASSERT_TRUE(qm::platform::readFile(QuillomancerLogger::shared().logPath(), file));
    const std::string clicked = "] GUI event: send log clicked\n";
    const std::string log = file.substr(0, file.rfind(clicked) + clicked.size());
    const std::string sent = "\"log\":\"" + Escaped(log + c.follows);
    ASSERT_LT(sent.size(), qm::service::kLoggedContentLimit);
    EXPECT_NE(request->body.find(sent), std::string::npos) << request->body.substr(0, 400);
  }
}

// What the body carries is counted as the body is written, so every bound above is exact.
TEST(UploadBody, TextIsCountedAndCutAsTheBodyCarriesIt) {
  const std::string texts[] = {
      std::string("plain \"quoted\" back\\slash /"), std::string("\0\x01\x1f\x7f\b\f\n\r\t", 9), "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xac",
      "bad \xff \xc3 \xe2\x82 \xed\xa0\x80 end",  // not UTF-8: sent as U+FFFD
  };
  for (const std::string& text : texts) {
    const size_t body = QuillomancerServer::UploadLogBody(text, "v", "", "", "")->size();
    const size_t empty = QuillomancerServer::UploadLogBody("", "v", "", "", "")->size();
    if (qm::platform::isValidUtf8(text)) {
      EXPECT_EQ(QMJSONStringBytes(text), body - empty) << text;
    } else {
      EXPECT_GE(QMJSONStringBytes(text), body - empty) << text;
    }
    for (size_t room = 0; room <= QMJSONStringBytes(text) + 1; ++room) {
      std::string start = text, end = text;
      QMCutForUpload(start, room);
      QMKeepEndForUpload(end, room);
      EXPECT_LE(QMJSONStringBytes(start), room);
      EXPECT_LE(QMJSONStringBytes(end), room);
      EXPECT_EQ(text.substr(0, start.size()), start);
      EXPECT_EQ(text.substr(text.size() - end.size()), end);
      if (qm::platform::isValidUtf8(text)) {
        EXPECT_TRUE(qm::platform::isValidUtf8(start) && qm::platform::isValidUtf8(end)) << "cut inside a character";
      }
    }
  }
  // A cut that can end at a line end does.
  std::string lines = "first\nsecond\x01\nthird";
  QMCutForUpload(lines, 20);
  EXPECT_EQ(lines, "first\n");
}

}  // namespace
