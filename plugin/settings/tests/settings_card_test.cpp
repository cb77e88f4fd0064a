// The card's pieces without the plug-in window: the editor lock and the plug-in events as the
// window stand-in sees them, the gear and the health check in a toolkit window against the
// web-service stand-in, the crash reports Send Log gathers from folders, and a message's text.

#include "SettingsTestSupport.h"

#include "QMPluginEventsQueue.h"
#include "QMSettingsCardSupport.h"
#include "QMSettingsHelper.h"
#include "QMWindowLook.h"

#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"
#include "qm/service/service.h"
#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
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

// ---- the gear and the health check ----------------------------------------------------------------

// The controller's gear and card in a toolkit window; its service calls go to the stand-in.
struct CardInWindow : qmsettingstest::ControllerInWindow {
  CardInWindow() : ControllerInWindow("GUI event: ") {
    addButton(gear, "toggleSettings:");
    auto card = std::make_shared<qm::ui::View>(qm::ui::Rect{100, 0, 100, 100});
    card->setHidden(true);
    content->addSubview(card);
    controller->views.settingsCard = card;
    for (auto* label : {&controller->views.healthLabel, &controller->views.updateReqHealthLabel})
      *label = qm::ui::TextField::label("Checking server...");
  }
  void clickGear() { window.click(qm::ui::Point{10, 10}); }
  bool cardShown() const { return !controller->views.settingsCard->isHidden(); }
  // Until both pages' health labels show the service's answer.
  bool healthShown() {
    return qm::platform::runMainQueueUntil(
        [&] {
          return controller->views.healthLabel->stringValue() == "Server connected" &&
                 controller->views.updateReqHealthLabel->stringValue() == "Server connected";
        },
        10);
  }

  std::shared_ptr<qm::ui::Button> gear = std::make_shared<qm::ui::Button>(qm::ui::Rect{0, 0, 20, 20});
};

TEST_F(CardInWindow, TheStartChecksHealthOnceAndTheGearClosesWhatItOpened) {
  controller->startAccountStatusExchange();  // without a token only the health check goes out
  clickGear();                               // before the start's answer is back
  EXPECT_TRUE(cardShown());
  ASSERT_TRUE(healthShown());
  ASSERT_TRUE(qm::platform::dispatchWaitForIdle(10));
  EXPECT_EQ(service.requestCount(qm::service::kHealth), 1u) << "the gear's check would race the start's";

  clickGear();
  EXPECT_FALSE(cardShown());
  clickGear();
  EXPECT_TRUE(service.waitForRequests(qm::service::kHealth, 2, std::chrono::seconds(10))) << "each opening checks";
  EXPECT_EQ(takeLog(), (Calls{"GUI event: settings card opened", "GUI event: settings card closed",
                              "GUI event: settings card opened"}));
  EXPECT_EQ(owner.calls, (Calls{"SetMainTextInputInteractive off", "SetMainTextInputInteractive on",
                                "SetMainTextInputInteractive off"}));
}

TEST_F(CardInWindow, TheCardTheLockOpensShowsTheHealthThoughTheGearIsRefused) {
  controller->startAccountStatusExchange();
  controller->applyForcedUpdateLock("2.1.0");
  clickGear();
  EXPECT_TRUE(cardShown());
  EXPECT_EQ(takeLog(), Calls{"GUI event: settings toggle ignored (forced update lock)"});
  EXPECT_TRUE(healthShown()) << "no \"Checking server...\" for ever";
}

TEST_F(CardInWindow, TheGearAndAnAnswerWithoutABalanceShowTheBalanceTheWindowKnowsOrNone) {
  auto page = std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 100, 100});
  controller->views.settingsCard->addSubview(page);
  controller->views.mainView = page;
  controller->views.creditsLabel = qm::ui::TextField::label("Credits: \u2014", qm::ui::Rect{0, 40, 100, 18});
  page->addSubview(controller->views.creditsLabel);
  const auto drawnCredits = [&] {
    qm::ui::RecordingContext c;
    qm::ui::drawViewTree(*controller->views.settingsCard, c);
    const auto texts = c.opsOfKind(qm::ui::RecordedOp::Kind::Text);
    return texts.empty() ? std::string("(nothing)") : texts.front()->text.utf8();
  };
  const std::pair<std::optional<int32_t>, std::string> cases[] = {{std::nullopt, "Credits: \u2014"}, {4, "Credits: 4"}};
  for (const auto& [known, shown] : cases) {
    owner.credits = known;  // a balance the window saw in the processor's record, or none
    page->setHidden(true);
    clickGear();
    EXPECT_EQ(drawnCredits(), shown);
    controller->showCredits(9);
    controller->handleAccountStatusAnswer({}, "t");  // an answer without a balance: the known one, or none
    EXPECT_EQ(drawnCredits(), shown);
    clickGear();
  }
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
    // Last read before it was written, so that a read moves the access time (even with relatime).
    const timespec times[2] = {{1796792400 - age - 1000, 0}, {1796792400 - age, 0}};
    utimensat(AT_FDCWD, (dir / name).c_str(), times, 0);
  }
  bool wasRead(const std::string& name) const {
    struct stat info {};
    stat((dir / name).c_str(), &info);
    return info.st_atim.tv_sec > info.st_mtim.tv_sec;
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
  if (wasRead("Pro Tools small.ips")) {
    EXPECT_FALSE(wasRead("Pro Tools mid.ips")) << "its listed size rules it out";
  }

  std::string huge;
  while (huge.size() <= kQMCrashReportReadLimit) huge += std::string(999, 'l') + "\n";
  write("Pro Tools huge.ips", huge, 0);
  std::string bundle;
  EXPECT_EQ(names(&bundle), Calls{"Pro Tools huge.ips"});
  const size_t body = bundle.find("\n\n", bundle.find("SOURCE_SIZE_BYTES: " + std::to_string(huge.size()))) + 2;
  EXPECT_EQ(bundle.size() - body, kQMCrashReportReadLimit / 1000 * 1000);

  // Without a line end the cut keeps a character that ends at the limit.
  fs::remove(dir / "Pro Tools huge.ips");
  write("Pro Tools one line.ips", std::string(kQMCrashReportReadLimit - 2, 'l') + "\xc3\xa9z", 0);
  EXPECT_EQ(names(&bundle), Calls{"Pro Tools one line.ips"});
  EXPECT_TRUE(bundle.ends_with("l\xc3\xa9")) << "cut " << bundle.size();
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

TEST(MessageText, ABodyLabelWithoutAFontShowsTheMessageInFourteenPoint) {
  qm::platform::setCurrentThreadAsMain();
  auto c = QMSettingsHelper::Create();
  auto body = std::make_shared<qm::ui::TextField>(qm::ui::Rect{0, 0, 300, 40});
  c->views.messageBodyLabel = body;
  c->showServerMessagesSequentially({{"m1", "Hi", "See [notes](https://q.io/n) now."}}, "token");
  qm::ui::RecordingContext drawn;
  qm::ui::drawViewTree(*body, drawn);
  const auto texts = drawn.opsOfKind(qm::ui::RecordedOp::Kind::Text);
  ASSERT_FALSE(texts.empty());
  for (const auto* op : texts)
    op->text.enumerateRuns(qm::ui::Range{0, op->text.length()}, [](qm::ui::Range, const qm::ui::TextAttributes& a) {
      EXPECT_EQ(a.font, qm::ui::Font::system(14));
    });
}

}  // namespace
