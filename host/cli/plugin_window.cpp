#include "plugin_window.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <typeinfo>

#include <nlohmann/json.hpp>

#include "AAX_Exports.h"
#include "QuillomancerStoreClient.h"
#include "qm/platform/dispatch.h"
#include "qm/ui/button.h"
#include "qm/ui/desktop_window.h"
#include "qm/ui/image_view.h"
#include "qm/ui/render.h"
#include "qm/ui/text_field.h"
#include "qm/ui/text_view.h"

namespace fs = std::filesystem;

namespace qm::host::cli {

namespace {

constexpr const char* kEffectID = "com.quillomancer.aax.quillomancer";
constexpr double kSnapshotScale = 2.0;

nlohmann::json Numbers(std::initializer_list<double> values) {
  nlohmann::json array = nlohmann::json::array();
  for (double v : values) array.push_back(v);
  return array;
}

// A symbol by name, a resource by its file name without extension; images drawn in code have
// neither.
std::string ImageName(const qm::ui::Image& image) {
  if (!image.symbolName().empty()) return image.symbolName();
  if (image.kind() == qm::ui::Image::Kind::PNGFile) return fs::path(image.filePath()).stem().string();
  return image.accessibilityDescription().empty() ? "(drawn)" : image.accessibilityDescription();
}

nlohmann::json LayerJSON(const qm::ui::Layer& layer) {
  nlohmann::json out;
  if (layer.backgroundColor) {
    const qm::ui::RGBA c = layer.backgroundColor->rgba();
    out["backgroundColor"] = Numbers({c.red, c.green, c.blue, c.alpha});
  }
  out["cornerRadius"] = layer.cornerRadius;
  out["borderWidth"] = layer.borderWidth;
  nlohmann::json names = nlohmann::json::array();
  for (const auto& sublayer : layer.sublayers()) {
    if (!sublayer->name.empty()) names.push_back(sublayer->name);
  }
  if (!names.empty()) out["sublayers"] = names;
  return out;
}

// The first existing candidate, or the first one when none exists.
std::string FirstExisting(const std::vector<fs::path>& candidates) {
  for (const auto& c : candidates) {
    std::error_code ec;
    if (fs::exists(c, ec)) return c.lexically_normal().string();
  }
  return candidates.front().lexically_normal().string();
}

// The layout pass a windowing system runs at the end of each turn of its loop, before the next
// events are delivered: views that asked for layout are laid out (a text view grows to its text
// and scrolls its selection into view), in the window and in its child windows (popovers).
// Drawing, which follows it on a desktop, changes nothing an event meets, so it is left to the
// snapshots and the desktop window.
void LayOut(qm::ui::Window& window) {
  if (window.contentView()) window.contentView()->layoutSubtreeIfNeeded();
  for (const auto& child : std::vector<std::shared_ptr<qm::ui::Window>>(window.childWindows())) LayOut(*child);
}

}  // namespace

fs::path ExecutableDirectory() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : self.parent_path();
}

std::string DefaultBundlePath() {
  const fs::path exe = ExecutableDirectory();
  return FirstExisting({exe / ".." / "Quillomancer.aaxplugin", exe / "Quillomancer.aaxplugin"});
}

std::string DefaultClipPath() {
  const fs::path exe = ExecutableDirectory();
  return FirstExisting({fs::current_path() / "testdata" / "speech.wav", exe / "../../../testdata/speech.wav",
                        exe / "../../testdata/speech.wav"});
}

std::string ViewClassName(const qm::ui::View& view) {
  const char* mangled = typeid(view).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : mangled;
  std::free(demangled);
  const std::string toolkit = "qm::ui::";
  if (name.rfind(toolkit, 0) == 0) name.erase(0, toolkit.size());
  return name;
}

qm::ui::Rect WindowFrame(const qm::ui::View& view) { return view.convertRectToView(view.bounds(), nullptr); }

qm::ui::Point Centre(const qm::ui::View& view) {
  const qm::ui::Rect r = WindowFrame(view);
  return qm::ui::Point{r.midX(), r.midY()};
}

qm::ui::View* FindView(qm::ui::View& root, const std::function<bool(qm::ui::View&)>& match, bool visibleOnly) {
  if (visibleOnly && (root.isHidden() || root.alphaValue() <= 0.0)) return nullptr;
  if (match(root)) return &root;
  for (const auto& subview : root.subviews()) {
    if (qm::ui::View* found = FindView(*subview, match, visibleOnly)) return found;
  }
  return nullptr;
}

namespace {

// The view tree as the host sees it: class, frame in window points (origin lower left), hidden,
// alpha, texts, state, layer, subviews; keys sorted.
nlohmann::json ViewTreeJSON(const qm::ui::View& view) {
  nlohmann::json out;
  out["class"] = ViewClassName(view);
  const qm::ui::Rect frame = WindowFrame(view);
  out["frame"] = Numbers({frame.minX(), frame.minY(), frame.width(), frame.height()});
  out["hidden"] = view.isHidden();
  out["alpha"] = view.alphaValue();
  if (!view.toolTip().empty()) out["toolTip"] = view.toolTip();
  if (!view.identifier().empty()) out["identifier"] = view.identifier();
  if (const auto* control = dynamic_cast<const qm::ui::Control*>(&view)) {
    out["enabled"] = control->isEnabled();
    if (control->tag() != 0) out["tag"] = control->tag();
  }
  if (const auto* button = dynamic_cast<const qm::ui::Button*>(&view)) {
    out["title"] = button->title();
    out["state"] = button->state();
    if (button->image()) out["image"] = ImageName(*button->image());
  }
  if (const auto* image = dynamic_cast<const qm::ui::ImageView*>(&view)) {
    if (image->image()) out["image"] = ImageName(*image->image());
  }
  if (const auto* field = dynamic_cast<const qm::ui::TextField*>(&view)) {
    out["string"] = field->stringValue();
    if (!field->placeholderString().empty()) out["placeholder"] = field->placeholderString();
  }
  // The whole text as shown, struck (deleted) runs included.
  if (const auto* text = dynamic_cast<const qm::ui::TextView*>(&view)) out["string"] = qm::ui::utf8FromUTF16(text->string());
  if (auto segment = view.valueForKeyAs<int32_t>("selectedSegment")) out["selectedSegment"] = *segment;
  if (auto takes = view.valueForKeyAs<int32_t>("selectedTakes")) out["selectedTakes"] = *takes;
  if (const qm::ui::Layer* layer = view.layer()) out["layer"] = LayerJSON(*layer);
  if (!view.subviews().empty()) {
    nlohmann::json subviews = nlohmann::json::array();
    for (const auto& subview : view.subviews()) subviews.push_back(ViewTreeJSON(*subview));
    out["subviews"] = subviews;
  }
  return out;
}

}  // namespace

// ---- the plug-in opened as a host opens it ---------------------------------------------------

PluginWindow::PluginWindow()
    : window_(qm::ui::Rect{0, 0, 480, 158}), hostView_(std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 480, 158})) {
  window_.setContentView(hostView_);
  window_.makeKeyWindow();
}

PluginWindow::~PluginWindow() {
  Close();
  window_.setContentView(nullptr);
  hostView_.reset();
}

std::optional<std::string> PluginWindow::Open(const std::string& bundlePath) {
  std::string error;
  module_ = qm::host::LoadedBundle::Load(bundlePath, &error);
  if (!module_) return "cannot load the bundle " + qm::host::LoadedBundle::ModulePath(bundlePath) + ": " + error;
  if (!module_->Missing().empty()) return "the bundle does not export " + module_->Missing().front();
  module_->Entry().startup(host_.Unknown());
  started_ = true;
  IACFPluginDefinition* definition = nullptr;
  const AAX_Result registered = module_->Entry().registerPlugin(host_.Unknown(), &definition);
  if (registered != AAX_SUCCESS) return "registration failed with " + std::to_string(registered);
  void* create[4] = {};  // by creation-function kind
  for (auto* collection : host_.Collections()) {
    for (const auto& effect : collection->Effects()) {
      if (effect.id != kEffectID || !effect.descriptor) continue;
      for (const auto& proc : effect.descriptor->ProcPtrs()) {
        if (proc.id >= 0 && proc.id < 4) create[proc.id] = proc.proc;
      }
    }
  }
  if (!create[AAX_eProcPtrID_EffectParameters] || !create[AAX_eProcPtrID_EffectGUI]) {
    return std::string("the bundle describes no window for ") + kEffectID;
  }
  parameters_ = reinterpret_cast<AAX_IEffectParameters* (*)()>(create[AAX_eProcPtrID_EffectParameters])();
  parameters_->AddRef();
  host_.SetEffectParameters(parameters_);
  parameters_->Initialize(host_.Unknown());
  if (create[AAX_eProcPtrID_HostProcessor]) {
    processor_ = reinterpret_cast<AAX_IHostProcessor* (*)()>(create[AAX_eProcPtrID_HostProcessor])();
    processor_->AddRef();
    processor_->Initialize(host_.Unknown());
  }
  gui_ = reinterpret_cast<AAX_IEffectGUI* (*)()>(create[AAX_eProcPtrID_EffectGUI])();
  gui_->AddRef();
  if (gui_->Initialize(host_.Unknown()) != AAX_SUCCESS) return "the window did not initialise";
  gui_->SetViewContainer(&host_.NewViewContainer(1, hostView_.get()));
  AAX_Point size;
  gui_->GetViewSize(&size);
  window_.setFrame(qm::ui::Rect{0, 0, size.horz, size.vert});
  if (hostView_->subviews().size() != 1) return "the window put no view into the host's view";
  return std::nullopt;
}

// [main-thread]
void PluginWindow::Tick() {
  qm::platform::drainMainQueue();
  if (gui_) gui_->TimerWakeup();
  LayOut(window_);
}

void PluginWindow::Close() {
  if (gui_) {
    gui_->SetViewContainer(nullptr);
    gui_->Uninitialize();
    gui_->Release();
    gui_ = nullptr;
  }
  if (processor_) {
    processor_->Uninitialize();
    processor_->Release();
    processor_ = nullptr;
  }
  // Work the plug-in queued on other threads runs out before its code goes.
  qm::platform::dispatchWaitForIdle(10.0);
  qm::platform::drainMainQueue();
  if (parameters_) {
    parameters_->Uninitialize();
    parameters_->Release();
    host_.SetEffectParameters(nullptr);
    parameters_ = nullptr;
  }
  if (started_) {
    module_->Entry().shutdown(host_.Unknown());
    started_ = false;
  }
}

std::optional<std::string> PluginWindow::WriteSnapshot(const fs::path& png, const fs::path& json, int* width,
                                                       int* height) {
  std::error_code ec;
  fs::create_directories(png.parent_path(), ec);
  fs::create_directories(json.parent_path(), ec);
  std::string error;
  const qm::ui::Bitmap picture = qm::ui::render::renderWindow(window_, kSnapshotScale);
  if (!qm::ui::render::writePNG(picture, png.string(), &error)) {
    // The writer's own message names the file already.
    return error.starts_with("cannot write ") ? error : "cannot write " + png.string() + ": " + error;
  }
  std::ofstream out(json, std::ios::binary | std::ios::trunc);
  out << ViewTreeJSON(PluginView()).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  out.close();
  if (!out) return "cannot write " + json.string();
  if (width) *width = picture.width;
  if (height) *height = picture.height;
  return std::nullopt;
}

// ---- the takes -------------------------------------------------------------------------------

std::string TakeFile::Description() const {
  return "the service's take " + std::to_string(made) + " of " + std::to_string(total) + ", rendered " +
         std::to_string(rendered) + " of " + std::to_string(total);
}

std::string TakeFile::Line() const { return "RENDER " + path.string() + " (" + Description() + ")"; }

std::optional<TakeFile> TakeFiles::Next(const QuillomancerStatusRecord& status) const {
  if (status.state != kQuillomancerState_HasTakes || status.takesReady < 1 || status.takeIndex < 0) return std::nullopt;
  TakeFile take;
  // Takes left over from the passes counted so far continue that count; any other number is a new
  // Process.
  const bool sameProcess = total_ > 0 && status.takesReady == total_ - rendered_;
  take.total = sameProcess ? total_ : status.takesReady;
  take.rendered = (sameProcess ? rendered_ : 0) + 1;
  take.made = status.takeIndex + 1;
  take.path = folder_ / ("take-" + std::to_string(take.made) + ".wav");
  return take;
}

void TakeFiles::Written(const TakeFile& take) {
  total_ = take.total;
  rendered_ = take.rendered;
  if (std::find(numbers_.begin(), numbers_.end(), take.made) == numbers_.end()) numbers_.push_back(take.made);
}

void TakeFiles::Seen(const QuillomancerStatusRecord& status) {
  if (status.state != kQuillomancerState_HasTakes) total_ = rendered_ = 0;
}

// ---- on the desktop --------------------------------------------------------------------------

// [main-thread]
bool RunOnDesktop(PluginWindow& window, const std::string& title, std::shared_ptr<const qm::host::WavClip> clip,
                  int64_t from, int64_t to, const fs::path& takesFolder, std::string* error) {
  HostPasses passes(window.Processor());
  const QuillomancerStoreClient store(window.Parameters());
  TakeFiles takes(takesFolder);
  std::optional<TakeFile> rendering;  // the take of the RENDER pass under way
  bool loading = false;               // a LOAD pass is under way
  auto say = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  // A pass that has ended says how it went, once, before another starts.
  const auto ended = [&] {
    if (passes.Running()) return;
    const std::string failed = passes.Join();
    if (loading && !failed.empty()) say("LOAD: " + failed);
    loading = false;
    if (rendering) {
      if (failed.empty()) takes.Written(*rendering);
      say(failed.empty() ? "      " + rendering->Line() : "RENDER: " + failed);
      rendering.reset();
    }
  };
  qm::ui::desktop::DesktopWindowOptions desktop;
  desktop.title = title;
  desktop.onTick = [&] {
    window.Tick();
    takes.Seen(store.ReadStatus());
    ended();
    return true;
  };
  if (clip) {
    desktop.buttons.push_back({"LOAD", {std::u16string(1, qm::ui::desktop::kF1FunctionKey + 4), 0}, [&, clip] {
                                 ended();
                                 if (!passes.StartAnalysis(clip, from, to)) return;
                                 loading = true;
                                 say("LOAD");
                               }});
    desktop.buttons.push_back({"RENDER", {std::u16string(1, qm::ui::desktop::kF1FunctionKey + 5), 0}, [&, clip] {
                                 if (passes.Running()) return;
                                 ended();
                                 const std::optional<TakeFile> take = takes.Next(store.ReadStatus());
                                 if (!take) {
                                   say("RENDER: no take is ready to render");
                                 } else if (passes.StartRender(clip, from, to, take->path.string())) {
                                   rendering = take;
                                 }
                               }});
  }
  std::fflush(stdout);
  const bool shown = qm::ui::desktop::runDesktopWindow(window.Window(), desktop, error);
  const std::string failed = passes.Join();
  if (loading && !failed.empty()) say("LOAD: " + failed);
  if (rendering) say(failed.empty() ? "      " + rendering->Line() : "RENDER: " + failed);
  return shown;
}

}  // namespace qm::host::cli
