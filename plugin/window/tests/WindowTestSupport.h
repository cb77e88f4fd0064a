#pragma once
// The window on the fake host, opened as a host opens it: a parameters object that also records
// every block written to it, the window component initialised against the host (which builds
// the view), and a view container holding the host's view in a toolkit window that takes clicks.

#include "Quillomancer_GUI.h"
#include "QuillomancerLogger.h"
#include "Quillomancer_Parameters.h"
#include "../../settings/tests/SettingsTestSupport.h"

#include "qm/host/fake_host.h"
#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qmwindowtest {

// The user defaults, the plug-in log and every file below HOME of this program live in one
// temporary folder, set before any test runs, as in the settings room's tests.
using qmsettingstest::UseTemporaryHome;

// Gathers the window's own log lines (those logged on the main thread) into `lines`; what
// requests log on their own threads is left out, so the test reads `lines` without a lock.
inline void GatherWindowLog(std::vector<std::string>& lines) {
  QuillomancerLogger::shared().setMessageObserver([&lines](const std::string& line) {
    if (qm::platform::isMainThread()) lines.push_back(line);
  });
}

inline qm::platform::UserDefaults& Defaults() { return qm::platform::UserDefaults::standard(); }

// The stored choices a window starts from (takes, language), removed before and after each test.
struct CleanChoices {
  CleanChoices() { Remove(); }
  ~CleanChoices() { Remove(); }
  static void Remove() {
    UseTemporaryHome();
    Defaults().remove(kQuillomancer_TakesDefaultsKey);
    Defaults().remove("com.quillomancer.selectedLanguage");
  }
};

// The parameters object, with a list of the blocks written to it.
class RecordingParameters : public Quillomancer_Parameters {
 public:
  AAX_Result SetCustomData(AAX_CTypeID blockId, uint32_t size, const void* data) noexcept override {
    writes.emplace_back(blockId, size);
    return Quillomancer_Parameters::SetCustomData(blockId, size, data);
  }
  int WritesOf(uint32_t blockId) const {
    int n = 0;
    for (const auto& w : writes) n += w.first == blockId ? 1 : 0;
    return n;
  }
  std::vector<std::pair<uint32_t, uint32_t>> writes;

  // A test may change the byte count a read reports, after the store answered (a short record).
  std::function<void(uint32_t blockId, uint32_t* count)> readCountHook;
  AAX_Result GetCustomData(AAX_CTypeID blockId, uint32_t size, void* data, uint32_t* count) noexcept override {
    const AAX_Result result = Quillomancer_Parameters::GetCustomData(blockId, size, data, count);
    if (readCountHook && count) readCountHook(blockId, count);
    return result;
  }
};

struct HostSetup {
  std::optional<std::string> hostName;  // none: the host's name cannot be read
  std::string processName = "qmhost";
};

class OpenedWindow {
 public:
  explicit OpenedWindow(const HostSetup& setup = {}, bool attach = true)
      : window(qm::ui::Rect{0, 0, 480, 158}), hostView(std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 480, 158})) {
    UseTemporaryHome();
    qm::platform::setCurrentThreadAsMain();
    if (setup.hostName) {
      host.Controller().SetHostName(*setup.hostName);
    } else {
      host.Controller().FailOperation("GetHostName", -20001);
    }
    Quillomancer_GUI::SetProcessNameForTesting(setup.processName);
    window.setContentView(hostView);
    parameters = new RecordingParameters();
    parameters->AddRef();
    host.SetEffectParameters(parameters);
    parameters->Initialize(host.Unknown());
    component = Quillomancer_GUI::Create();
    component->AddRef();
    EXPECT_EQ(component->Initialize(host.Unknown()), 0);
    gui = static_cast<Quillomancer_GUI*>(component);
    controller = gui->settingsController;
    if (attach) Attach();
  }
  ~OpenedWindow() {
    Detach();
    if (component) {
      component->Uninitialize();
      component->Release();
    }
    parameters->Uninitialize();
    parameters->Release();
    host.SetEffectParameters(nullptr);
    Quillomancer_GUI::SetProcessNameForTesting(std::nullopt);
    // Requests the window started (the health check of its construction) end with the test, not
    // under the next one or under the program's exit.
    qm::platform::dispatchWaitForIdle(10);
  }
  OpenedWindow(const OpenedWindow&) = delete;
  OpenedWindow& operator=(const OpenedWindow&) = delete;

  void Attach() { EXPECT_EQ(component->SetViewContainer(&host.NewViewContainer(1, hostView.get())), 0); }
  void Detach() {
    if (component && !hostView->subviews().empty()) {
      EXPECT_EQ(component->SetViewContainer(nullptr), 0);
    }
  }
  // Releases the component now (the host closing the plug-in).
  void Release() {
    component->Uninitialize();
    component->Release();
    component = nullptr;
    gui = nullptr;
  }

  // The deepest view under a point of the window (points, origin lower left).
  qm::ui::View* ViewAt(qm::ui::Point p) const { return hostView->hitTest(p); }
  // The centre of a view, in the window's coordinates.
  static qm::ui::Point Centre(const qm::ui::View& view) {
    const qm::ui::Rect r = view.convertRectToView(view.bounds(), nullptr);
    return qm::ui::Point{r.midX(), r.midY()};
  }

  qm::host::FakeHost host;
  qm::ui::Window window;
  std::shared_ptr<qm::ui::View> hostView;
  RecordingParameters* parameters = nullptr;
  AAX_IEffectGUI* component = nullptr;
  Quillomancer_GUI* gui = nullptr;
  // Held by the test as well, to look at after the window let go of it.
  std::shared_ptr<QMSettingsHelper> controller;
};

}  // namespace qmwindowtest
