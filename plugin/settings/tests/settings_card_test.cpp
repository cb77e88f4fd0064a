// The card's pieces that need no window: the editor lock and the plug-in events as the window
// stand-in sees them, the crash reports Send Log gathers from folders, and a message's links.

#include "SettingsTestSupport.h"

#include "QMPluginEventsQueue.h"
#include "QMSettingsCardSupport.h"
#include "QMSettingsHelper.h"
#include "QMWindowLook.h"

#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

namespace {

TEST(SettingsCardAlone, TheEditorLockFollowsTheCardAndEventsCarryWhatTheControllerKnows) {
  qmsettingstest::UseTemporaryHome();
  qm::platform::setCurrentThreadAsMain();
  qmsettingstest::RecordingWindow window;
  auto c = QMSettingsHelper::Create();
  c->setGuiOwner(&window);
  c->views.settingsCard = std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 10, 10});
  c->views.settingsCard->setHidden(true);
  QuillomancerServerSetBaseURLOverride("http://127.0.0.1:1");  // the health check on opening fails at once
  c->toggleSettings(nullptr);
  c->closeSettings(nullptr);
  c->forceUpdateRequired = true;
  c->syncBackgroundEditorForSettingsVisibility();
  EXPECT_EQ(window.calls, (Calls{"SetMainTextInputInteractive off", "SetMainTextInputInteractive on",
                                 "SetMainTextInputInteractive off"}));
  qm::platform::dispatchWaitForIdle(10);
  QuillomancerServerSetBaseURLOverride(std::nullopt);

  auto& defaults = qm::platform::UserDefaults::standard();
  defaults.remove(kQMPluginEventsQueueDefaultsKey);
  window.mediaComposer = true;
  c->userEmail = "e@x.io";
  c->updateTargetVersion = "2.0.3";
  c->updateEffectiveChannel = "beta";
  c->recordPluginEvent("updater_launch_failed", "REQ-1", "updater_missing");
  c->setGuiOwner(nullptr);
  c->recordPluginEvent("installer_open_ok", "REQ-1", "");
  const nlohmann::json stored = defaults.object(kQMPluginEventsQueueDefaultsKey).value();
  ASSERT_EQ(stored.size(), 2u);
  auto fields = [](const nlohmann::json& e) {
    return Calls{e["event"], e["username"], e["target_version"], e["host"], e["channel"], e["error_code"]};
  };
  EXPECT_EQ(fields(stored[0]), (Calls{"updater_launch_failed", "e@x.io", "2.0.3", "media_composer", "beta", "updater_missing"}));
  EXPECT_EQ(fields(stored[1]), (Calls{"installer_open_ok", "e@x.io", "2.0.3", "pro_tools", "beta", ""}))
      << "without a window the host is Pro Tools";
  // The exchange sends the queue and takes back what the service acknowledged.
  EXPECT_EQ(nlohmann::json::parse(c->consumeAndSerializePluginEventsForVerify()), stored);
  c->clearAckedPluginEvents({stored[0]["id"]});
  EXPECT_EQ(defaults.object(kQMPluginEventsQueueDefaultsKey).value(), nlohmann::json::array({stored[1]}));
  defaults.remove(kQMPluginEventsQueueDefaultsKey);
}

// ---- crash reports --------------------------------------------------------------------------------

struct CrashReports : ::testing::Test {
  CrashReports() {
    char folder[] = "/tmp/qm-crash-XXXXXX";
    dir = mkdtemp(folder);
  }
  ~CrashReports() override { fs::remove_all(dir); }
  void write(const std::string& name, const std::string& bytes, int age) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    const timespec times[2] = {{1796792400 - age, 0}, {1796792400 - age, 0}};
    utimensat(AT_FDCWD, (dir / name).c_str(), times, 0);
  }
  Calls names(std::string* bundle = nullptr) {
    std::string text;
    Calls taken;
    QMCollectCrashReportsForManualUpload(text, &taken, nullptr, {dir.string(), dir.string()});
    if (bundle) *bundle = text;
    return taken;
  }
  fs::path dir;
};

TEST_F(CrashReports, FourOfTheHostThenTwoOthersFromVisibleIpsFilesReadOnce) {
  for (int i = 0; i < 5; ++i) write("Pro Tools " + std::to_string(i) + ".ips", "host\n", 10 + i);
  for (int i = 0; i < 3; ++i) write("Finder " + std::to_string(i) + ".ips", i ? "other\n" : "caf\xe9\n", 20 + i);
  write(".Pro Tools hidden.ips", "text\n", 1);
  write("Pro Tools.crash", "text\n", 1);
  write("Pro Tools empty.ips", "", 1);
  fs::create_directory(dir / "Pro Tools folder.ips");
  std::string bundle;
  EXPECT_EQ(names(&bundle), (Calls{"Pro Tools 0.ips", "Pro Tools 1.ips", "Pro Tools 2.ips", "Pro Tools 3.ips",
                                   "Finder 0.ips", "Finder 1.ips"}));
  EXPECT_NE(bundle.find("caf\xc3\xa9\n"), std::string::npos) << "not UTF-8: read as ISO Latin 1";
}

TEST_F(CrashReports, TheBundleStaysWithinTwoMebibytesButTheFirstAlwaysGoesAndHugeFilesEndAtALine) {
  write("Pro Tools first.ips", std::string(3u << 19, 'f'), 1);  // 1.5 MiB
  write("Pro Tools mid.ips", std::string(1u << 20, 'm'), 2);    // would pass 2 MiB
  write("Pro Tools small.ips", "small\n", 3);
  EXPECT_EQ(names(), (Calls{"Pro Tools first.ips", "Pro Tools small.ips"}));

  std::string huge;
  while (huge.size() <= kQMCrashReportReadLimit) huge += std::string(999, 'l') + "\n";
  write("Pro Tools huge.ips", huge, 0);
  std::string bundle;
  EXPECT_EQ(names(&bundle), Calls{"Pro Tools huge.ips"});
  const size_t body = bundle.find("\n\n", bundle.find("SOURCE_SIZE_BYTES: " + std::to_string(huge.size()))) + 2;
  EXPECT_EQ(bundle.size() - body, kQMCrashReportReadLimit / 1000 * 1000);
}

// ---- message text ---------------------------------------------------------------------------------

TEST(MessageText, WebLinksBecomeOrangeUnderlinedLabelsAndEverythingElseStaysAsWritten) {
  struct Piece {
    std::string text, link;
    bool linkStyle;
    bool operator==(const Piece&) const = default;
  };
  const std::pair<std::string, std::vector<Piece>> cases[] = {
      {"See [notes](https://q.io/n) now.", {{"See ", "", false}, {"notes", "https://q.io/n", true}, {" now.", "", false}}},
      {"[[nested](https://q.io/(x)", {{"[nested", "https://q.io/(x", true}}},
      {"[odd](https:// q.io)", {{"odd", "", true}}},  // no address the browser may open: the look alone
  };
  for (const auto& [body, pieces] : cases) {
    const qm::ui::AttributedString s = QMAttributedMessageFromMarkdown(body, std::nullopt, std::nullopt);
    std::vector<Piece> got;
    s.enumerateRuns(qm::ui::Range{0, s.length()}, [&](qm::ui::Range r, const qm::ui::TextAttributes& a) {
      got.push_back({qm::ui::utf8FromUTF16(s.string().substr(r.location, r.length)), a.link.value_or(""),
                     a.foregroundColor == QMAccentOrange() && a.underlineStyle == 1});
    });
    EXPECT_EQ(got, pieces) << body;
  }
}

}  // namespace
