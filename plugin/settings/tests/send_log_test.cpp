// Send Log against the web-service stand-in: whatever odd files it finds beside the plug-in's log,
// the body stays within what the service takes and the log itself always goes.

#include "SettingsTestSupport.h"

#include "QMControls.h"
#include "QMSettingsCardSupport.h"

#include "qm/platform/paths.h"
#include "qm/platform/text.h"
#include "qm/platform/time.h"

#include <fstream>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// The controller's Send Log button; crash reports come from a folder of the test's. Uploads of
// tens of MiB, slow under a sanitizer on a busy machine: neither end gives up on them.
struct SendLogUpload : qmsettingstest::ControllerInWindow {
  SendLogUpload() : ControllerInWindow("No updater log", [] {
    qm::service::Options patient;
    patient.deadlines.headerSeconds = patient.deadlines.bodyGraceSeconds = patient.deadlines.idleSeconds = 600;
    return patient;
  }()) {
    QuillomancerServerTimeouts patient = savedTimeouts;
    patient.sessionRequest = patient.sessionResource = 600;
    QuillomancerServerSetTimeouts(patient);
    QMApplySmallSecondaryButtonTitle(button.get(), "Send Log");
    addButton(button, "sendLogAction:");
    controller->views.sendLogBtn = button;
    char folder[] = "/tmp/qm-sendlog-XXXXXX";
    reports = mkdtemp(folder);
    controller->crashReportFolders = {reports.string()};
  }
  ~SendLogUpload() override {
    QuillomancerServerSetTimeouts(savedTimeouts);
    fs::remove_all(reports);
    fs::remove(updaterLog);
  }

  const QuillomancerServerTimeouts savedTimeouts = QuillomancerServerGetTimeouts();
  qm::platform::ManualClock clock;  // the result title stays until the next press
  std::shared_ptr<QMModeTextButton> button = std::make_shared<QMModeTextButton>(qm::ui::Rect{0, 0, 40, 20});
  fs::path reports;
  const std::string updaterLog = qm::platform::libraryPath("Application Support/Quillomancer/Updates/updater.log");
};

// Control bytes grow six-fold in the JSON body: a report and an updater log of NUL bytes would each
// pass what the service takes, losing the log too. The report is cut; the updater log finds no room.
TEST_F(SendLogUpload, AReportAndAnUpdaterLogOfControlBytesAreCutSoTheLogStillGoes) {
  std::ofstream(reports / "Pro Tools.ips", std::ios::binary) << std::string(50'000'000, '\0');
  fs::create_directories(fs::path(updaterLog).parent_path());
  std::ofstream(updaterLog, std::ios::binary) << std::string(10'000'000, '\0');
  window.click(qm::ui::Point{10, 10});
  EXPECT_TRUE(qm::platform::runMainQueueUntil([&] { return button->title() != "Sending\u2026"; }, 600));
  EXPECT_EQ(button->title(), "Sent!");
  const auto request = service.lastRequest(qm::service::kLogUpload);
  ASSERT_TRUE(request.has_value());
  EXPECT_LE(request->bodySize, kQMLogUploadMaxBodyBytes);
  EXPECT_GT(request->bodySize, kQMLogUploadMaxBodyBytes - (1u << 20)) << "cut, not left out";
  EXPECT_EQ(takeLog(), std::vector<std::string>{"No updater log attached (no room left in the upload)"});
  std::string log, clicked = "] GUI event: send log clicked\n";  // the log up to the click, then the report
  ASSERT_TRUE(qm::platform::readFile(QuillomancerLogger::shared().logPath(), log));
  const std::string sent = nlohmann::json(log.substr(0, log.rfind(clicked) + clicked.size()) +
                                          "\n\n--- CRASH REPORT ---\n\n\n===== CRASH REPORT 1 =====\n").dump();
  EXPECT_NE(request->body.find("\"log\":" + sent.substr(0, sent.size() - 1)), std::string::npos);
}

// Text is counted exactly as the body carries it, and a cut to any room stays within it, whole.
TEST(UploadBody, TextIsCountedAndCutAsTheBodyCarriesIt) {
  const size_t empty = QuillomancerServer::UploadLogBody("", "v", "", "", "")->size();
  const std::string text = "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xac \"quoted\" back\\slash /\0\x01\x1f\x7f\b\f\n\r\t"s;
  EXPECT_EQ(QMJSONStringBytes(text), QuillomancerServer::UploadLogBody(text, "v", "", "", "")->size() - empty);
  for (size_t room = 0; room <= QMJSONStringBytes(text); ++room) {
    std::string start = text, end = text;
    QMCutForUpload(start, room);
    QMKeepEndForUpload(end, room);
    EXPECT_TRUE(text.starts_with(start) && QMJSONStringBytes(start) <= room && qm::platform::isValidUtf8(start)) << room;
    EXPECT_TRUE(text.ends_with(end) && QMJSONStringBytes(end) <= room && qm::platform::isValidUtf8(end)) << room;
  }
}

}  // namespace
