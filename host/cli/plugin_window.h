// What `qmhost window` and `qmhost session` share: the plug-in opened the way a host opens it
// (the bundle registered, its three components created and initialised, a view container
// holding the host's view in a window of ours), the host's main loop turn (the main queue, then
// the window's timer), the host's own passes (host_passes.h), snapshots of the window (PNG and
// the view tree as JSON), finding views as a person finds them, and the window on the desktop
// with LOAD and RENDER beside it.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AAX_IEffectGUI.h"
#include "AAX_IEffectParameters.h"
#include "AAX_IHostProcessor.h"
#include "QuillomancerStoreVocabulary.h"
#include "host_passes.h"
#include "qm/host/bundle_loader.h"
#include "qm/host/fake_host.h"
#include "qm/host/wav_file.h"
#include "qm/ui/view.h"
#include "qm/ui/window.h"

namespace qm::host::cli {

std::filesystem::path ExecutableDirectory();
// The bundle built beside qmhost.
std::string DefaultBundlePath();
// The built-in clip: testdata/speech.wav in the working folder or the source tree.
std::string DefaultClipPath();

// The class of a view without the toolkit's namespace ("Button", "QMModeTextButton").
std::string ViewClassName(const qm::ui::View& view);
// The frame of a view in window points.
qm::ui::Rect WindowFrame(const qm::ui::View& view);
qm::ui::Point Centre(const qm::ui::View& view);
// Depth first: the first view for which `match` answers true, or null. With `visibleOnly`, hidden
// and fully transparent views and everything inside them are passed over.
qm::ui::View* FindView(qm::ui::View& root, const std::function<bool(qm::ui::View&)>& match, bool visibleOnly = true);

class PluginWindow {
 public:
  PluginWindow();
  ~PluginWindow();
  PluginWindow(const PluginWindow&) = delete;
  PluginWindow& operator=(const PluginWindow&) = delete;

  // What went wrong, or nothing.
  std::optional<std::string> Open(const std::string& bundlePath);
  // One turn of the host's main loop: the main queue, the window's timer, then the layout pass
  // of the window and its child windows, as a windowing system runs it before the next events.
  // [main-thread]
  void Tick();
  // Tears the components down as a host does (work still queued runs out first), then shuts the
  // bundle down.
  void Close();

  qm::host::FakeHost& Host() { return host_; }
  qm::ui::Window& Window() { return window_; }
  qm::ui::View& PluginView() const { return *hostView_->subviews().front(); }
  AAX_IEffectParameters* Parameters() const { return parameters_; }
  AAX_IHostProcessor* Processor() const { return processor_; }

  // Writes the window at 2x as PNG and its view tree as JSON. What went wrong, or nothing.
  std::optional<std::string> WriteSnapshot(const std::filesystem::path& png, const std::filesystem::path& json,
                                           int* width = nullptr, int* height = nullptr);

 private:
  // First, so that it is unloaded last: the window and the host's view may still hold objects
  // (tracking areas, views) whose code lives in the module.
  std::unique_ptr<qm::host::LoadedBundle> module_;
  qm::host::FakeHost host_;
  qm::ui::Window window_;
  std::shared_ptr<qm::ui::View> hostView_;
  bool started_ = false;
  AAX_IEffectParameters* parameters_ = nullptr;
  AAX_IHostProcessor* processor_ = nullptr;
  AAX_IEffectGUI* gui_ = nullptr;
};

// The file of a RENDER pass, named for the take the service made: take-3.wav is the service's
// take 3, whichever pass writes it.
struct TakeFile {
  std::filesystem::path path;
  int made = 0;      // the service's number of the take
  int total = 0;     // takes the service made for this Process
  int rendered = 0;  // this pass among the passes over those takes, from 1
  // "the service's take 3 of 3, rendered 1 of 3"
  std::string Description() const;
  // "RENDER <path> (<description>)", as both the headless and the desktop session print it.
  std::string Line() const;
};

// Names the RENDER passes' files from the status record, for the headless session and the
// desktop window alike.
class TakeFiles {
 public:
  explicit TakeFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}
  // The file for the next pass; nothing when the plug-in has no take ready.
  std::optional<TakeFile> Next(const QuillomancerStatusRecord& status) const;
  // Counts a pass that wrote `take`.
  void Written(const TakeFile& take);
  // The plug-in's status between passes: any state but takes ready (a new Process under way, say)
  // ends the count, so the next takes are counted afresh.
  void Seen(const QuillomancerStatusRecord& status);
  // The service's numbers of the takes written so far.
  const std::vector<int>& Numbers() const { return numbers_; }

 private:
  std::filesystem::path folder_;
  int total_ = 0;
  int rendered_ = 0;
  std::vector<int> numbers_;
};

// Shows the window on the desktop until it is closed (Ctrl+Q), the host's loop turning all the
// while. With a clip, LOAD and RENDER (F5 and F6) sit in the strip below: LOAD analyses the
// selection [from, to) of the clip, RENDER writes the next take into `takesFolder`, named as
// TakeFiles names it. A pass that fails says so on its own line ("LOAD: ...", "RENDER: ...").
bool RunOnDesktop(PluginWindow& window, const std::string& title, std::shared_ptr<const qm::host::WavClip> clip,
                  int64_t from, int64_t to, const std::filesystem::path& takesFolder, std::string* error);

}  // namespace qm::host::cli
