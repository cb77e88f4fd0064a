// The settings card in the opened window, used with the mouse against the web-service stand-in on
// loopback, on the manual clock: the gear and the health dots, the close rules, credits, server
// messages with their links and dismissals, Send Log, votes, the logo, the help popover, and
// teardown with work still under way. Pictures go to test-output/ beside the build.

#include "WindowTestSupport.h"

#include "QMAccountToken.h"
#include "QMWindowLook.h"
#include "QuillomancerLogger.h"
#include "QuillomancerServer.h"

#include "qm/platform/files.h"
#include "qm/platform/paths.h"
#include "qm/platform/system_info.h"
#include "qm/platform/time.h"
#include "qm/service/service.h"
#include "qm/ui/application.h"
#include "qm/ui/display.h"
#include "qm/ui/popover.h"
#include "qm/ui/recording_context.h"
#include "qm/ui/render.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/text_view.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

namespace fs = std::filesystem;
using qm::ui::Color;
using qm::ui::Point;
using Kind = qm::ui::RecordedOp::Kind;
using qmwindowtest::OpenedWindow;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kToken = "card-test-token";

qm::service::Fault Answer(int status, std::string body, double delay = 0) {
  qm::service::Fault fault;
  fault.status = status;
  fault.body = std::move(body);
  fault.delaySeconds = delay;
  return fault;
}

// What a view draws: its first operation of a kind.
const qm::ui::RecordedOp& Drawn(qm::ui::View& view, Kind kind) {
  static qm::ui::RecordingContext c;
  c.clearOps();
  qm::ui::drawViewTree(view, c);
  const auto ops = c.opsOfKind(kind);
  static const qm::ui::RecordedOp none;
  return ops.empty() ? none : *ops.front();
}

struct SettingsCard : ::testing::Test {
  SettingsCard() {
    qmwindowtest::UseTemporaryHome();
    EXPECT_TRUE(service.start());
    QuillomancerServerSetBaseURLOverride(service.url());
    QuillomancerLogger::shared().setMessageObserver([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex);
      logged.push_back(line);
    });
    qm::ui::Application::shared().setURLOpener([this](const std::string& url) { return opened.push_back(url), true; });
  }
  ~SettingsCard() override {
    qm::platform::dispatchWaitForIdle(20);
    QuillomancerLogger::shared().setMessageObserver({});
    qm::ui::Application::shared().setURLOpener({});
    QuillomancerServerSetBaseURLOverride(std::nullopt);
    QMClearAccountToken();
  }
  // The "GUI event" lines logged since the last call (or those with another prefix).
  Lines take(const std::string& prefix = "GUI event: ") {
    std::lock_guard<std::mutex> lock(mutex);
    Lines out;
    for (const auto& line : logged)
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    logged.clear();
    return out;
  }
  // Drains the main queue until `done`; the service answers in real time.
  static bool until(const std::function<bool()>& done) { return qm::platform::runMainQueueUntil(done, 20); }
  static void Click(OpenedWindow& w, const qm::ui::View& view, uint32_t modifiers = 0) {
    w.window.click(OpenedWindow::Centre(view), modifiers);
  }
  static void Close(OpenedWindow& w) {
    Click(w, *w.gui->views.settingsCardHolder->subviews().front()->subviews().front());
  }
  // The card opened with the gear (on its main page, whether an answer came or not).
  static void Open(OpenedWindow& w) {
    if (w.controller->views.settingsCard->isHidden()) Click(w, *w.gui->views.settingsButton);
  }
  static void WritePicture(qm::ui::Window& window, const std::string& name) {
    const fs::path out = fs::path(QM_BINARY_DIR) / "test-output";
    fs::create_directories(out);
    EXPECT_TRUE(qm::ui::render::writePNG(qm::ui::render::renderWindow(window, 2.0, Color::deviceRGB255(14, 16, 18)),
                                         (out / name).string()));
  }

  qm::service::Service service;
  std::mutex mutex;
  Lines logged, opened;
};

TEST_F(SettingsCard, TheGearOpensTheCardWhoseDotsShowTheServersHealth) {
  OpenedWindow w;
  const QMSettingsViews& card = w.controller->views;
  Open(w);
  ASSERT_TRUE(until([&] { return card.healthLabel->stringValue() != "Checking server..."; }));
  EXPECT_EQ(card.healthLabel->stringValue(), "Server connected");
  EXPECT_EQ(Drawn(*card.healthDot, Kind::Fill).color, QMAccentGreen());
  WritePicture(w.window, "qm-settings-card-main.png");
  Close(w);
  EXPECT_TRUE(card.settingsCard->isHidden());
  EXPECT_EQ(take(), (Lines{"GUI event: settings card opened", "GUI event: settings card closed"}));

  const struct {
    qm::service::Fault fault;
    std::string url;
    Color colour;
    std::string text;
  } cases[] = {
      {Answer(503, R"({"status":"degraded"})"), service.url(), QMAccentOrange(), "Service may be slow"},
      {Answer(0, ""), "http://127.0.0.1:1", QMAccentRed(), "Server offline"},
  };
  for (const auto& c : cases) {
    service.setFault(qm::service::kHealth, c.fault);
    QuillomancerServerSetBaseURLOverride(c.url);
    card.healthLabel->setStringValue("?");
    Click(w, *w.gui->views.settingsButton);
    ASSERT_TRUE(until([&] { return card.healthLabel->stringValue() != "?"; })) << c.text;
    EXPECT_EQ(card.healthLabel->stringValue(), c.text);
    EXPECT_EQ(card.updateReqHealthLabel->stringValue(), c.text);
    EXPECT_EQ(Drawn(*card.healthDot, Kind::Fill).color, c.colour) << c.text;
    EXPECT_EQ(Drawn(*card.updateReqHealthDot, Kind::Fill).color, c.colour) << c.text;
    Close(w);
  }
}

// Without a token, or with a token file not safe to read, the gear opens the whole main page with
// no balance known, and no account exchange is made.
TEST_F(SettingsCard, WithoutATokenOrWithAnUnsafeTokenFileTheGearOpensTheWholeMainPage) {
  const std::string file = QMAccountTokenFilePath();
  const struct {
    mode_t mode;  // 0: no token file
    std::string logged;
  } cases[] = {{0, ""}, {S_IFIFO, file + " is not a regular file"}, {0644, file + " can be read or written by others"},
               {0620, file + " can be read or written by others"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    QMClearAccountToken();
    fs::create_directories(fs::path(file).parent_path());
    if (c.mode == S_IFIFO) {
      ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    } else if (c.mode) {
      ASSERT_TRUE(QMWriteAccountToken(kToken) == 0 && chmod(file.c_str(), c.mode) == 0);
    }
    take();
    OpenedWindow w;  // a FIFO must not hold the window up: it is never opened for reading
    EXPECT_EQ(take("Account token not used: "), c.logged.empty() ? Lines{} : Lines{"Account token not used: " + c.logged});
    Click(w, *w.gui->views.settingsButton);
    const QMSettingsViews& card = w.controller->views;
    ASSERT_TRUE(until([&] { return card.healthLabel->stringValue() != "Checking server..."; }));
    qm::ui::RecordingContext drawn;
    qm::ui::drawViewTree(*w.gui->views.settingsCardHolder, drawn);
    Lines texts;
    for (const auto* op : drawn.opsOfKind(Kind::Text)) texts.push_back(op->text.utf8());
    for (const char* text : {"Add breath tail", "Credits: \u2014", "Send Log", "Check for Updates", "Installed v2.0.2"})
      EXPECT_NE(std::find(texts.begin(), texts.end(), text), texts.end()) << text;
    EXPECT_EQ(Drawn(*card.creditsLabel, Kind::Text).text.attributesAt(0).foregroundColor, QMTextSecondary());
    EXPECT_EQ(service.requestCount(qm::service::kAccountStatus), 0u);
  }
}

TEST_F(SettingsCard, TheLockAndAMessageKeepTheCardUpAndTheFailureCardClosesToTheMainPage) {
  OpenedWindow w;
  QMSettingsHelper& c = *w.controller;
  c.forceUpdateRequired = true;  // as the account-status answer turns the lock on
  c.performAction("toggleSettings:", w.gui->views.settingsButton);
  Close(w);
  EXPECT_FALSE(c.views.settingsCard->isHidden());
  c.forceUpdateRequired = false;
  Close(w);
  c.showServerMessagesSequentially({{"m1", "Hello", "there"}}, kToken);
  c.performAction("toggleSettings:", w.gui->views.settingsButton);
  EXPECT_FALSE(c.views.settingsCard->isHidden());
  Close(w);
  EXPECT_TRUE(c.views.settingsCard->isHidden()) << "hidden before the message, hidden after it";
  EXPECT_EQ(take(), (Lines{"GUI event: settings toggle ignored (forced update lock)",
                           "GUI event: close ignored (forced update lock)", "GUI event: settings card closed",
                           "GUI event: server messages received (1)",
                           "GUI event: settings toggle ignored (server message visible)",
                           "GUI event: server message close clicked", "GUI event: server messages dismissed"}));

  // The failure card as the update button opens it.
  c.showingUpdateFailureDetail = true;
  for (qm::ui::View* v : {c.views.settingsCard.get(), static_cast<qm::ui::View*>(c.views.messageView.get()),
                          static_cast<qm::ui::View*>(c.views.modalInteractionShield.get())})
    v->setHidden(false);
  Close(w);
  for (qm::ui::View* v : {c.views.settingsCard.get(), static_cast<qm::ui::View*>(c.views.messageView.get()),
                          static_cast<qm::ui::View*>(c.views.modalInteractionShield.get())})
    EXPECT_TRUE(v->isHidden());
  Click(w, *w.gui->views.settingsButton);
  EXPECT_FALSE(c.views.mainView->isHidden()) << "the next opening shows the main page";
}

TEST_F(SettingsCard, CreditsAreColouredByWhatIsLeft) {
  OpenedWindow w;
  const std::pair<int32_t, Color> cases[] = {
      {0, QMAccentRed()}, {-3, QMAccentRed()}, {1, QMAccentOrange()}, {5, QMAccentOrange()}, {6, QMTextSecondary()}};
  for (const auto& [credits, colour] : cases) {
    w.controller->showCredits(credits);
    const qm::ui::AttributedString& text = Drawn(*w.controller->views.creditsLabel, Kind::Text).text;
    EXPECT_EQ(text.utf8(), "Credits: " + std::to_string(credits));
    EXPECT_EQ(text.attributesAt(0).foregroundColor, colour) << credits;
  }
}

TEST_F(SettingsCard, OnlyMessagesWithIdShowAndClosingSendsOneDismissalPerTick) {
  OpenedWindow w;
  QMSettingsHelper& c = *w.controller;
  for (const std::string& token : {std::string(), std::string(256, 't')}) {
    c.showServerMessagesSequentially({{"m1", "", "first"}}, token);
    EXPECT_TRUE(c.views.settingsCard->isHidden()) << "no usable token: nothing shows";
  }
  Open(w);
  c.showServerMessagesSequentially({{"m1", "", "Read [the notes](https://quillomancer.com/notes) before the session."},
                                    {"", "Lost", "no id"},
                                    {"m3", "Third", "last"}},
                                   kToken);
  EXPECT_EQ(c.pendingMessages.size(), 2u);
  EXPECT_TRUE(c.views.mainView->isHidden());
  EXPECT_FALSE(c.views.modalInteractionShield->isHidden());
  EXPECT_EQ(Drawn(*c.views.messageTitleLabel, Kind::Text).text.utf8(), "Quillomancer");
  WritePicture(w.window, "qm-settings-card-message.png");
  Close(w);
  EXPECT_FALSE(c.views.settingsCard->isHidden()) << "open before the messages, open after them";
  EXPECT_FALSE(c.views.mainView->isHidden());
  for (size_t tick = 1; tick <= 3; ++tick) {
    EXPECT_EQ(w.component->TimerWakeup(), 0);
    service.waitForRequests(qm::service::kDismiss, tick, std::chrono::seconds(tick < 3 ? 10 : 0));
  }
  qm::platform::dispatchWaitForIdle(10);
  const auto sent = service.requests(qm::service::kDismiss);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].path, "/api/messages/m1/dismiss");
  EXPECT_EQ(sent[1].path, "/api/messages/m3/dismiss");
  for (const auto& r : sent) EXPECT_EQ(r.header("Authorization"), std::string("Bearer ") + kToken);

  // Under the lock the card stays on the update-required page, its minimum version as the lock left it.
  c.forceUpdateRequired = true;
  c.views.updateReqMinLabel->setStringValue("Minimum required version: v2.1.0");
  c.showServerMessagesSequentially({{"m4", "Hi", "two"}}, kToken);
  Close(w);
  EXPECT_FALSE(c.views.updateRequiredView->isHidden());
  EXPECT_TRUE(c.views.mainView->isHidden());
  EXPECT_EQ(c.views.updateReqMinLabel->stringValue(), "Minimum required version: v2.1.0");
  c.forceUpdateRequired = false;
}

TEST_F(SettingsCard, AWebLinkInAMessageIsAnOrangeUnderlinedLinkThatOpensAndFtpStaysText) {
  qm::ui::ScopedTextMeasurer measurer(std::make_shared<qm::ui::FixedWidthTextMeasurer>());  // 6 points a unit
  OpenedWindow w;
  w.controller->showServerMessagesSequentially(
      {{"m1", "News", "Read [the notes](https://quillomancer.com/notes) or [old](ftp://q.io/f)."}}, kToken);
  qm::ui::TextField& label = *w.controller->views.messageBodyLabel;
  const qm::ui::AttributedString body = Drawn(label, Kind::Text).text;
  EXPECT_EQ(body.utf8(), "Read the notes or [old](ftp://q.io/f).");
  EXPECT_EQ(body.attributesAt(7).foregroundColor, QMAccentOrange());
  EXPECT_EQ(body.attributesAt(7).underlineStyle, 1);
  EXPECT_EQ(body.attributesAt(20).foregroundColor, QMTextSecondary());
  const qm::ui::Rect text = label.textRect();
  for (size_t unit : {25u, 9u}) w.window.click(label.convertPointToView(Point{text.minX() + 6.0 * unit + 3, text.minY() + 5}, nullptr));
  EXPECT_EQ(opened, Lines{"https://quillomancer.com/notes"});
}

TEST_F(SettingsCard, AMessageTitleIsOneLineThatEndsBeforeTheCloseButton) {
  OpenedWindow w;
  // 6.5 points a unit at the title's 13 points: 60 units fit between the title's start and the X.
  const qm::ui::ScopedTextMeasurer measurer(std::make_shared<qm::ui::FixedWidthTextMeasurer>());
  const std::string as = std::string(58, 'a');
  const std::pair<std::string, std::string> cases[] = {  // title, shown
      {"Line one\tand\r\nline two\x7f!\u2028x", "Line one and  line two ! x"},
      {std::string(60, 'W'), std::string(60, 'W')},
      {std::string(200, 'W'), std::string(59, 'W') + "\u2026"},
      {as + " " + std::string(10, 'b'), as + "\u2026"},                // no space before the ellipsis
      {as + "e\u0301" + std::string(10, 'b'), as + "\u2026"},          // an accented letter stays whole
  };
  for (const auto& [title, shown] : cases) {
    w.controller->showServerMessagesSequentially({{"m1", title, "body"}}, kToken);
    EXPECT_EQ(Drawn(*w.controller->views.messageTitleLabel, Kind::Text).text.utf8(), shown);
    Close(w);
  }
}

TEST_F(SettingsCard, TheCloseButtonShowsItsToolTip) {
  OpenedWindow w;
  Open(w);
  qm::ui::View& close = *w.gui->views.settingsCardHolder->subviews().front()->subviews().front();
  w.window.sendEvent(qm::ui::Event::mouse(qm::ui::EventType::MouseMoved, OpenedWindow::Centre(close)));
  EXPECT_EQ(w.window.toolTipAtMouse(), "Close");
}

// ---- the account token ------------------------------------------------------------------------------

TEST_F(SettingsCard, QMliHoldsTheStoredTokenAndIsEmptiedWhenTheWindowOpensAfterItWasCleared) {
  QMWriteAccountToken(kToken);
  OpenedWindow w;
  const QuillomancerStoreClient store(w.parameters);
  EXPECT_EQ(store.ReadString(kQMBlock_AccessToken, kQMReadLimit_AccessToken), kToken);
  // `qmhost account clear`, then the window closed and opened again on the same plug-in.
  QMClearAccountToken();
  w.Detach();
  w.Release();
  w.component = Quillomancer_GUI::Create();
  w.component->AddRef();
  ASSERT_EQ(w.component->Initialize(w.host.Unknown()), 0);
  w.gui = static_cast<Quillomancer_GUI*>(w.component);
  w.Attach();
  EXPECT_EQ(store.ReadString(kQMBlock_AccessToken, kQMReadLimit_AccessToken), "")
      << "the processor would go on sending the cleared token";
  EXPECT_EQ(w.parameters->writes.back(), std::make_pair(kQMBlock_AccessToken, 0u));
}

// ---- Send Log ---------------------------------------------------------------------------------------

struct SendLog : SettingsCard {
  SendLog() {
    // The log is the process's: the lines earlier tests left there would make the upload longer
    // than the service keeps of a body. The logger makes a removed file anew.
    fs::remove(QuillomancerLogger::shared().logPath(), ec);
    char folder[] = "/tmp/qm-sendlog-XXXXXX";
    reports = mkdtemp(folder);
    fs::create_directories(reports / "user");
    fs::create_directories(reports / "system");
  }
  ~SendLog() override {
    fs::remove_all(reports);
    fs::remove(UpdaterLog(), ec);
  }
  static std::string UpdaterLog() { return qm::platform::libraryPath("Application Support/Quillomancer/Updates/updater.log"); }
  // Writes a report and answers its section of the bundle.
  std::string report(const std::string& folder, const std::string& name, const std::string& text, int age, int n,
                     const char* scope) {
    const fs::path path = reports / folder / name;
    std::ofstream(path) << text;
    const timespec times[2] = {{kNow - age, 0}, {kNow - age, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
    return "\n\n===== CRASH REPORT " + std::to_string(n) + " =====\nSOURCE_FILE: " + name + "\nSOURCE_SCOPE: " + scope +
           "\nSOURCE_PATH: " + path.string() + "\nSOURCE_MTIME_EPOCH: " + std::to_string(kNow - age) +
           "\nSOURCE_SIZE_BYTES: " + std::to_string(text.size()) + "\n\n" + text;
  }
  // Presses Send Log in the open card; answers the title once the upload came back.
  std::string press(OpenedWindow& w) {
    w.controller->crashReportFolders = {(reports / "user").string(), (reports / "system").string()};
    Open(w);
    // The account check the window started logs from a worker: done first, it cannot put a line
    // between the click's and the read of the log.
    qm::platform::dispatchWaitForIdle();
    QMModeTextButton& button = *w.controller->views.sendLogBtn;
    Click(w, button);
    EXPECT_EQ(button.title(), "Sending\u2026");
    EXPECT_FALSE(button.isEnabled());
    EXPECT_TRUE(until([&] { return button.title() != "Sending\u2026"; }));
    EXPECT_TRUE(button.isEnabled());
    return button.title();
  }
  nlohmann::json uploaded() { return nlohmann::json::parse(service.lastRequest(qm::service::kLogUpload)->body); }
  // The log part of an upload: the plug-in log as it stood after the click's own line.
  static void ExpectLog(const std::string& sent) {
    std::string file;
    qm::platform::readFile(QuillomancerLogger::shared().logPath(), file);
    EXPECT_EQ(file.substr(0, sent.size()), sent);
    EXPECT_TRUE(sent.ends_with("] GUI event: send log clicked\n"));
  }

  static constexpr time_t kNow = 1796792400;
  fs::path reports;
  std::error_code ec;
};

TEST_F(SendLog, TheUploadCarriesTheLogTheHostsReportsFirstAndTheUpdaterLog) {
  QMWriteAccountToken(kToken);
  OpenedWindow w;
  w.controller->userEmail = "e@x.io";
  std::string crash = report("system", "PluginRunner-2026.IPS", "host one\n", 10, 1, "host-matched");
  crash += report("user", "Pro Tools_2026-01-02.ips", "host two\n", 20, 2, "host-matched");
  crash += report("user", "AvidMediaComposer-old.ips", "host three\n", 90, 3, "host-matched");
  for (int i = 0; i < 5; ++i) {
    const std::string section = report("user", "Other-" + std::to_string(i) + ".ips", "other\n", 30 + i, 4 + i, "latest-any");
    if (i < 2) crash += section;
  }
  fs::create_symlink(reports / "user" / "Other-0.ips", reports / "system" / "Pro Tools-link.ips");
  fs::create_directories(fs::path(UpdaterLog()).parent_path());
  std::ofstream(UpdaterLog()) << "stage=download_started\n";

  EXPECT_EQ(press(w), "Sent!");
  const nlohmann::json body = uploaded();
  const std::string log = body["log"];
  const size_t split = log.find("\n\n--- CRASH REPORT ---\n");
  ASSERT_NE(split, std::string::npos);
  ExpectLog(log.substr(0, split));
  EXPECT_EQ(log.substr(split), "\n\n--- CRASH REPORT ---\n" + crash + "\n\n--- UPDATER LOG ---\nstage=download_started\n");
  EXPECT_EQ(body, (nlohmann::json{{"log", log}, {"plugin_version", "2.0.2"},
                                  {"macos_version", qm::platform::operatingSystemVersion()}, {"email", "e@x.io"}}));
  EXPECT_EQ(service.lastRequest(qm::service::kLogUpload)->header("Authorization"), std::string("Bearer ") + kToken);
  EXPECT_EQ(take("Attaching"), Lines{"Attaching 5 crash reports (3 host-matched, 2 generic)"});
}

TEST_F(SendLog, AloneTheLogGoesWithoutEmailAndTheTitleComesBackOnTheClock) {
  qm::platform::ManualClock clock;
  OpenedWindow w;
  QMModeTextButton& button = *w.controller->views.sendLogBtn;
  EXPECT_EQ(press(w), "Sent!");
  ExpectLog(uploaded()["log"]);
  EXPECT_FALSE(uploaded().contains("email"));
  EXPECT_EQ(take("Sending log"),
            Lines{"Sending log \u2014 version 2.0.2, macOS " + qm::platform::operatingSystemVersion() + ", email (none)"});
  clock.advance(2.9);
  EXPECT_EQ(button.title(), "Sent!");
  clock.advance(0.2);
  EXPECT_EQ(button.title(), "Send Log");
  service.setFault(qm::service::kLogUpload, Answer(500, R"({"message":"down"})"));
  EXPECT_EQ(press(w), "Error");
  clock.advance(3.1);
  EXPECT_EQ(button.title(), "Send Log");
}

TEST_F(SendLog, ClosingTheWindowWhileTheUploadAndAFadeWaitTouchesNoView) {
  qm::platform::ManualClock clock;
  service.setFault(qm::service::kLogUpload, Answer(0, "", 0.5));
  auto w = std::make_unique<OpenedWindow>();
  const std::shared_ptr<QMModeTextButton> button = w->controller->views.sendLogBtn;
  const std::shared_ptr<QMSettingsHelper> controller = w->controller;
  Open(*w);
  controller->voteUpAction(nullptr);  // its fade waits on the clock
  Click(*w, *button);
  w.reset();  // the host closes the view and releases the window
  ASSERT_TRUE(service.waitForRequests(qm::service::kLogUpload, 1, std::chrono::seconds(10)));
  qm::platform::dispatchWaitForIdle(20);
  clock.advance(5);
  EXPECT_EQ(button->title(), "Sending\u2026") << "the answer found no window";
  EXPECT_EQ(controller->teardownCount(), 1);
}

// ---- votes, the logo, help --------------------------------------------------------------------------

TEST_F(SettingsCard, UpThenDownLightsDownAtOnceAndOnlyItsFadeRunsOutAndNoRenderIdSendsNothing) {
  QMWriteAccountToken(kToken);
  qm::platform::ManualClock clock;
  OpenedWindow w;
  qm::ui::Button* up = w.gui->views.voteUpButton;
  qm::ui::Button* down = w.gui->views.voteDownButton;
  // A generation's render id, as the processor leaves it: the next tick enables the thumbs (which
  // the built window keeps hidden; shown here to be clicked).
  auto renderId = [&](const std::string& id) {
    QuillomancerStoreClient(w.parameters).WriteString(kQMBlock_RenderID, id);
    EXPECT_EQ(w.component->TimerWakeup(), 0);
  };
  renderId("render-7");
  for (qm::ui::Button* thumb : {up, down}) thumb->setHidden(false);
  auto tint = [](qm::ui::Button* thumb) { return Drawn(*thumb, Kind::TemplateImage).color.rgba(); };
  Click(w, *up);
  EXPECT_EQ(tint(up), QMHighlightGreen().rgba());
  clock.advance(1.0);
  EXPECT_NE(tint(up), QMHighlightGreen().rgba()) << "fading";
  Click(w, *down);
  EXPECT_EQ(tint(down), QMAccentRed().rgba());
  EXPECT_EQ(tint(up), QMTextSecondary().rgba());
  clock.advance(1.55);  // past the end of the first vote's fade
  EXPECT_NE(tint(down), QMTextSecondary().rgba());
  clock.advance(1.0);
  EXPECT_EQ(tint(down), QMTextSecondary().rgba());
  ASSERT_TRUE(service.waitForRequests(qm::service::kVote, 2, std::chrono::seconds(10)));
  std::set<nlohmann::json> votes;  // two requests, in either order
  for (const auto& r : service.requests(qm::service::kVote)) {
    votes.insert(nlohmann::json::parse(r.body));
    EXPECT_EQ(r.header("Authorization"), std::string("Bearer ") + kToken);
  }
  EXPECT_EQ(votes, (std::set<nlohmann::json>{{{"render_id", "render-7"}, {"vote", "up"}},
                                             {{"render_id", "render-7"}, {"vote", "down"}}}));
  renderId("");
  w.controller->voteDownAction(down);  // the disabled thumb takes no click
  EXPECT_EQ(tint(down), QMAccentRed().rgba());
  qm::platform::dispatchWaitForIdle(10);
  EXPECT_EQ(service.requestCount(qm::service::kVote), 2u);
  EXPECT_EQ(take(), (Lines{"GUI event: vote clicked (up)", "GUI event: vote clicked (down)", "GUI event: vote clicked (down)",
                           "GUI event: vote not sent (render id none, token present)"}));
}

TEST_F(SettingsCard, SevenPlainClicksShowTheAlternateLogoAndAnOptionClickIsNotCounted) {
  qm::platform::ManualClock clock;
  OpenedWindow w;
  const QMSettingsViews& v = w.controller->views;
  auto clicks = [&](int n, uint32_t modifiers = 0) {
    for (int i = 0; i < n; ++i) Click(w, *v.logoTapButton, modifiers);
  };
  clicks(3);
  // Option-clicks arm the repair preview (which shows the alternate logo) and disarm it again.
  clicks(1, qm::ui::kModifierOption);
  EXPECT_FALSE(v.easterEggLogoView->isHidden());
  clicks(1, qm::ui::kModifierOption);
  clicks(3);
  EXPECT_TRUE(v.easterEggLogoView->isHidden());
  clicks(1);
  EXPECT_FALSE(v.easterEggLogoView->isHidden());
  clock.advance(5.1);
  EXPECT_EQ(v.easterEggLogoView->alphaValue(), 0) << "fading after five seconds";
  clicks(7);  // again during the fade: at full opacity, and the old fade's end does not hide it
  EXPECT_EQ(v.easterEggLogoView->alphaValue(), 1);
  clock.advance(1.0);
  EXPECT_FALSE(v.easterEggLogoView->isHidden());
  clock.advance(5.0);
  EXPECT_TRUE(v.easterEggLogoView->isHidden());
  EXPECT_EQ(take(), (Lines{"GUI event: repair preview armed via option-click logo",
                           "GUI event: repair preview disarmed via option-click logo", "GUI event: logo easter egg triggered",
                           "GUI event: logo easter egg triggered"}));
}

TEST_F(SettingsCard, TheHelpButtonOpensAndClosesOnePopover) {
  OpenedWindow w;
  qm::ui::Button& help = *w.controller->views.helpButton;
  Click(w, help);
  const std::shared_ptr<qm::ui::Popover> popover = w.controller->helpPopover;
  ASSERT_TRUE(popover && popover->isShown());
  EXPECT_EQ(popover->contentSize(), (qm::ui::Size{390, 430}));
  WritePicture(*popover->window(), "qm-settings-help-popover.png");
  auto* scroll = dynamic_cast<qm::ui::ScrollView*>(popover->contentView()->subviews().at(1).get());
  auto* text = dynamic_cast<qm::ui::TextView*>(scroll->documentView());
  ASSERT_TRUE(text);
  const std::string shown = qm::ui::utf8FromUTF16(text->string());
  EXPECT_EQ(shown.rfind("Watch the YouTube tutorial\nWhat Quillomancer Does\n", 0), 0u);
  EXPECT_NE(shown.find("shoot us a message at quillomancer.com/support."), std::string::npos);
  EXPECT_EQ(text->textStorage().attributedString().attributesAt(0).link, "https://quillomancer.com/tutorial");
  Click(w, help);
  EXPECT_FALSE(popover->isShown());
  Click(w, help);
  EXPECT_TRUE(popover->isShown());
  EXPECT_EQ(w.controller->helpPopover, popover) << "built once";
}

}  // namespace
