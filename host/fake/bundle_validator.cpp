#include "qm/host/bundle_validator.h"

#include "AAX_CChunkDataParser.h"
#include "AAX_Errors.h"
#include "AAX_Exception.h"
#include "AAX_IACFEffectGUI.h"
#include "AAX_IACFEffectParameters.h"
#include "AAX_IACFHostProcessor.h"
#include "AAX_UIDs.h"
#include "IACFPluginDefinition.h"
#include "qm/host/bundle_loader.h"
#include "qm/host/fake_host.h"
#include "qm/platform/dispatch.h"
#include "qm/ui/view.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <iomanip>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace qm::host {

namespace {

constexpr uint64_t kSDKFamily = 0x0000020900000000ull;  // the 2.9 interface generation

std::string Code(int32_t result) { return AAX::Exception::ResultError::FormatResult(result); }

// The four characters in quotes when every byte is printable, else nothing.
std::string FourChars(uint32_t value) {
  const char text[5] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                        static_cast<char>(value), '\0'};
  for (int i = 0; i < 4; ++i) {
    if (text[i] < 0x20 || text[i] >= 0x7F) return {};
  }
  return std::string("'") + text + "'";
}

// A property value: the number, and its four characters when they are printable.
std::string PropertyText(int32_t value) {
  const std::string code = FourChars(static_cast<uint32_t>(value));
  return std::to_string(value) + (code.empty() ? "" : " (" + code + ")");
}

// What this host takes a property to be; nothing for identifiers it gives no meaning.
const char* PropertyName(int32_t id) {
  switch (id) {
    case 11: return "manufacturer code";
    case 12: return "product code";
    case 14: return "AudioSuite plug-in code";
    case AAX_eProperty_NativeProcessProc: return "native process procedure";
    case AAX_eProperty_NativeInstanceInitProc: return "native instance initialisation procedure";
    case AAX_eProperty_NativeBackgroundProc: return "native background procedure";
    case AAX_eProperty_TIDLLFileName: return "TI DLL file name";
    case AAX_eProperty_TIProcessProc: return "TI process procedure";
    case AAX_eProperty_TIInstanceInitProcName: return "TI instance initialisation procedure";
    case AAX_eProperty_TIBackgroundProcName: return "TI background procedure";
    default: return nullptr;
  }
}

std::string CategoryText(uint32_t category) {
  return category == 0 ? std::string("none (0)") : std::to_string(category);
}

const char* ProcKind(AAX_CProcPtrID id) {
  switch (id) {
    case AAX_eProcPtrID_EffectParameters: return "effect parameters";
    case AAX_eProcPtrID_EffectGUI: return "GUI";
    case AAX_eProcPtrID_HostProcessor: return "host processor";
    default: return "unknown kind";
  }
}

class Checker {
public:
  Checker(std::ostream& out, ValidationResult& result, std::string pass) : mOut(out), mResult(result), mPass(std::move(pass)) {}

  bool Check(bool ok, const std::string& what, const std::string& detail = std::string()) {
    ++mResult.checks;
    if (!ok) ++mResult.failures;
    mOut << (ok ? "PASS " : "FAIL ") << "[" << mPass << "] " << what;
    if (!detail.empty()) mOut << ": " << detail;
    mOut << '\n';
    return ok;
  }
  void Note(const std::string& text) { mOut << "     " << text << '\n'; }

private:
  std::ostream& mOut;
  ValidationResult& mResult;
  std::string mPass;
};

// One created component, counted by the host until Release.
struct Component {
  AAX_CProcPtrID kind = -1;
  IACFUnknown* object = nullptr;  // the host's first reference
  void* typed = nullptr;          // the queried host interface (one more reference)
};

using CreateProc = IACFUnknown* (*)();

void DumpDescription(Checker& check, const FakeCollection& collection) {
  check.Note("manufacturer: \"" + collection.ManufacturerName() + "\"");
  std::string packages;
  for (const std::string& name : collection.PackageNames()) packages += (packages.empty() ? "\"" : ", \"") + name + "\"";
  check.Note("package names: " + (packages.empty() ? std::string("none") : packages));
  check.Note("package version: " + std::to_string(collection.PackageVersion()));
  for (const FakeCollection::Effect& effect : collection.Effects()) {
    check.Note("effect \"" + effect.id + "\"");
    if (!effect.descriptor) continue;
    std::string names;
    for (const std::string& name : effect.descriptor->Names()) names += (names.empty() ? "\"" : ", \"") + name + "\"";
    check.Note("  names: " + (names.empty() ? std::string("none") : names));
    std::string categories;
    for (uint32_t category : effect.descriptor->Categories()) {
      categories += (categories.empty() ? "" : ", ") + CategoryText(category);
    }
    check.Note("  categories: " + (categories.empty() ? std::string("none") : categories));
    if (const FakePropertyMap* map = effect.descriptor->Properties()) {
      for (const auto& [id, value] : map->Values()) {
        const char* name = PropertyName(id);
        check.Note("  property " + std::to_string(id) + " = " + PropertyText(value) + (name ? std::string(", ") + name : ""));
      }
    } else {
      check.Note("  properties: none");
    }
    for (const FakeEffectDescriptor::ProcPtr& proc : effect.descriptor->ProcPtrs()) {
      check.Note("  creation function " + std::to_string(proc.id) + " (" + ProcKind(proc.id) + ")");
    }
  }
}

// Saves every chunk, restores it, compares it and saves it again: both saves must match.
void ChunkRoundTrip(Checker& check, AAX_IACFEffectParameters* parameters) {
  int32_t count = 0;
  const AAX_Result counted = parameters->GetNumberOfChunks(&count);
  if (!check.Check(counted == 0 && count >= 0, "chunk count", counted == 0 ? std::to_string(count) : Code(counted))) return;
  for (int32_t index = 0; index < count; ++index) {
    AAX_CTypeID id = 0;
    if (!check.Check(parameters->GetChunkIDFromIndex(index, &id) == 0, "chunk identifier " + std::to_string(index))) continue;
    const std::string code = FourChars(id);
    const std::string name = "chunk " + (code.empty() ? std::to_string(id) : code);
    auto save = [&](std::vector<unsigned char>& bytes) -> bool {
      uint32_t size = 0;
      const AAX_Result sized = parameters->GetChunkSize(id, &size);
      if (sized != 0) return check.Check(false, name + " size", Code(sized));
      if (size > (64u << 20)) return check.Check(false, name + " size", std::to_string(size) + " bytes is implausible");
      bytes.assign(kAAX_SPlugInChunkHeaderSize + size, 0);
      auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(bytes.data());
      chunk->fChunkID = id;
      chunk->fSize = static_cast<int32_t>(size);
      const AAX_Result got = parameters->GetChunk(id, chunk);
      if (got != 0) return check.Check(false, name + " save", Code(got));
      if (chunk->fSize < 0 || static_cast<uint32_t>(chunk->fSize) > size) {
        return check.Check(false, name + " save", "size field " + std::to_string(chunk->fSize) + " exceeds the size reported");
      }
      return true;
    };
    std::vector<unsigned char> first;
    std::vector<unsigned char> second;
    if (!save(first)) continue;
    auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(first.data());
    const char* chunkName = reinterpret_cast<const char*>(chunk->fName);
    const std::string title(chunkName, strnlen(chunkName, sizeof chunk->fName));
    check.Check(chunk->fChunkID == id, name + " saved",
                chunk->fChunkID == id ? std::to_string(chunk->fSize) + " byte body, named \"" + title + "\""
                                      : "saved under another identifier, " + PropertyText(static_cast<int32_t>(chunk->fChunkID)));
    const AAX_Result restored = parameters->SetChunk(id, chunk);
    check.Check(restored == 0, name + " restored", restored == 0 ? "" : Code(restored));
    uint8_t equal = 0;
    const AAX_Result compared = parameters->CompareActiveChunk(chunk, &equal);
    check.Check(compared == 0 && equal == 1, name + " compares equal after restoring",
                compared != 0 ? Code(compared) : (equal == 1 ? "" : "the plug-in says it differs"));
    if (!save(second)) continue;
    check.Check(first == second, name + " round trip byte for byte",
                first == second ? "" : "the second save differs from the first");
  }
}

// ---- Render passes --------------------------------------------------------------------------------

constexpr int32_t kRenderChannels = 2;

// `frames` samples of a 440 Hz tone at half level on each channel.
std::vector<std::vector<float>> Tone(double rate, int64_t frames) {
  std::vector<std::vector<float>> channels(kRenderChannels, std::vector<float>(size_t(frames)));
  for (auto& channel : channels) {
    for (int64_t i = 0; i < frames; ++i) {
      channel[size_t(i)] = 0.5f * float(std::sin(6.283185307179586 * 440.0 * double(i) / rate));
    }
  }
  return channels;
}

// A render pass of `frames` samples of a 440 Hz tone on two channels, in windows of `block`
// samples. `afterFirstWindow` (when given) runs on this thread once the first window is rendered.
// Answers what went wrong (a result code, or the first output sample that is NaN, infinite or
// denormal), or "" when nothing did.
std::string RenderPass(AAX_IACFHostProcessor& processor, double rate, int64_t frames, int32_t block,
                       const std::function<void()>& afterFirstWindow = {}) {
  const std::vector<std::vector<float>> in = Tone(rate, frames);
  std::vector<std::vector<float>> out(kRenderChannels, std::vector<float>(size_t(frames), 0.0f));
  int64_t dstStart = 0, dstEnd = 0;
  if (const AAX_Result r = processor.InitOutputBounds(0, frames, &dstStart, &dstEnd)) {
    return "InitOutputBounds answered " + Code(r);
  }
  if (const AAX_Result r = processor.PreRender(kRenderChannels, kRenderChannels, block)) return "PreRender answered " + Code(r);
  for (int64_t at = 0; at < frames; at += block) {
    int32_t n = int32_t(std::min<int64_t>(block, frames - at));
    const float* inputs[kRenderChannels];
    float* outputs[kRenderChannels];
    for (int c = 0; c < kRenderChannels; ++c) {
      inputs[c] = in[size_t(c)].data() + at;
      outputs[c] = out[size_t(c)].data() + at;
    }
    processor.SetLocation(at);
    if (const AAX_Result r = processor.RenderAudio(inputs, kRenderChannels, outputs, kRenderChannels, &n)) {
      return "RenderAudio answered " + Code(r) + " at sample " + std::to_string(at);
    }
    if (at == 0 && afterFirstWindow) afterFirstWindow();
  }
  if (const AAX_Result r = processor.PostRender()) return "PostRender answered " + Code(r);
  for (int c = 0; c < kRenderChannels; ++c) {
    for (int64_t i = 0; i < frames; ++i) {
      const float x = out[size_t(c)][size_t(i)];
      const char* fault = std::isnan(x)                      ? "NaN"
                          : std::isinf(x)                      ? "infinity"
                          : std::fpclassify(x) == FP_SUBNORMAL ? "denormal"
                                                               : nullptr;
      if (fault) return std::string(fault) + " at sample " + std::to_string(i) + " of channel " + std::to_string(c);
    }
  }
  return "";
}

// Render passes at several sample rates, each in several block sizes.
void RenderChecks(Checker& check, FakeHost& host, AAX_IACFHostProcessor& processor) {
  float hostRate = 0.0f;
  host.Controller().GetSampleRate(&hostRate);
  for (const int rate : {44100, 48000, 96000}) {
    host.Controller().SetSampleRate(float(rate));
    const int64_t frames = rate / 4;
    std::string fault;
    for (const int32_t block : {1, 512, 4096}) {
      fault = RenderPass(processor, rate, frames, block);
      if (!fault.empty()) {
        fault += " (blocks of " + std::to_string(block) + ")";
        break;
      }
    }
    check.Check(fault.empty(), "render at " + std::to_string(rate) + " Hz in blocks of 1, 512 and 4096 samples",
                fault.empty() ? "no NaN, infinity or denormal in " + std::to_string(kRenderChannels) + " x " +
                                    std::to_string(frames) + " samples"
                              : fault);
  }
  host.Controller().SetSampleRate(hostRate);
}

// ---- The window -----------------------------------------------------------------------------------

// Opens one new window object in a view of the host, runs `whileOpen`, closes it and releases it.
void OpenAndCloseWindow(Checker& check, FakeHost& host, CreateProc create, const std::string& what,
                        const std::function<void()>& whileOpen = {}) {
  IACFUnknown* object = create();
  if (!check.Check(object != nullptr, what + ": window created")) return;
  object->AddRef();
  void* typed = nullptr;
  const bool answers = object->QueryInterface(IID_IAAXEffectGUIV1, &typed) == 0 && typed;
  if (!check.Check(answers, what + ": window answers its interface")) {
    object->Release();
    return;
  }
  auto* gui = static_cast<AAX_IACFEffectGUI*>(typed);
  const AAX_Result initialized = gui->Initialize(host.Unknown());
  check.Check(initialized == 0, what + ": window initialised", initialized == 0 ? "" : Code(initialized));
  auto hostView = std::make_shared<qm::ui::View>(qm::ui::Rect(0, 0, 800, 600));
  gui->SetViewContainer(&host.NewViewContainer(1, hostView.get()));
  AAX_Point size;
  gui->GetViewSize(&size);
  const size_t shown = hostView->subviews().size();
  std::ostringstream opened;
  opened << (shown == 1 ? "its view of " : std::to_string(shown) + " views in the host's view; the window's is ")
         << size.horz << " x " << size.vert << " points";
  check.Check(shown == 1, what + ": window opened", opened.str());
  gui->TimerWakeup();
  if (whileOpen) whileOpen();
  gui->SetViewContainer(nullptr);
  const size_t left = hostView->subviews().size();
  check.Check(left == 0, what + ": window closed", left == 0 ? "" : std::to_string(left) + " view(s) left in the host's view");
  gui->Uninitialize();
  gui->Release();
  const acfUInt32 references = object->Release();
  check.Check(references == 0, what + ": window released",
              references == 0 ? "" : std::to_string(references) + " reference(s) still held");
}

// A window closed on this thread while a render pass runs on a host thread: the pass renders its
// first window, waits until the window is closed, then renders to the end.
void CloseWindowDuringRender(Checker& check, FakeHost& host, AAX_IACFHostProcessor& processor, CreateProc createGUI) {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool closed = false;
  std::string fault;
  float rate = 48000.0f;
  host.Controller().GetSampleRate(&rate);
  const int64_t frames = int64_t(rate);
  std::thread pass([&] {
    fault = RenderPass(processor, rate, frames, 64, [&] {
      std::unique_lock<std::mutex> lock(mutex);
      started = true;
      changed.notify_all();
      changed.wait_for(lock, std::chrono::seconds(30), [&] { return closed; });
    });
    std::lock_guard<std::mutex> lock(mutex);
    started = true;  // also when the pass failed before its first window
    changed.notify_all();
  });
  OpenAndCloseWindow(check, host, createGUI, "closed during a render pass", [&] {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(30), [&] { return started; });
  });
  {
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
    changed.notify_all();
  }
  pass.join();
  check.Check(fault.empty(), "render pass with the window closed after its first block",
              fault.empty() ? std::to_string(frames) + " samples, no NaN, infinity or denormal" : fault);
}

// ---- A window closed while the plug-in's work runs ---------------------------------------------

// How long the work an analysis pass leaves behind may take to run out.
constexpr double kWorkSeconds = 60.0;

// An analysis pass of two seconds of a 440 Hz tone, in windows of `block` samples. Answers what
// went wrong, "" when nothing did, or nothing when the processor does not analyse.
std::optional<std::string> AnalysisPass(AAX_IACFHostProcessor& processor, double rate, int32_t block) {
  const int64_t frames = int64_t(2 * rate);
  const std::vector<std::vector<float>> in = Tone(rate, frames);
  int64_t dstStart = 0, dstEnd = 0;
  if (const AAX_Result r = processor.InitOutputBounds(0, frames, &dstStart, &dstEnd)) {
    return "InitOutputBounds answered " + Code(r);
  }
  if (const AAX_Result r = processor.PreAnalyze(kRenderChannels, block)) return "PreAnalyze answered " + Code(r);
  for (int64_t at = 0; at < frames; at += block) {
    int32_t n = int32_t(std::min<int64_t>(block, frames - at));
    const float* inputs[kRenderChannels];
    for (int c = 0; c < kRenderChannels; ++c) inputs[c] = in[size_t(c)].data() + at;
    processor.SetLocation(at);
    const AAX_Result r = processor.AnalyzeAudio(inputs, kRenderChannels, &n);
    if (r == AAX_ERROR_UNIMPLEMENTED && at == 0) return std::nullopt;
    if (r) return "AnalyzeAudio answered " + Code(r) + " at sample " + std::to_string(at);
  }
  if (const AAX_Result r = processor.PostAnalyze()) return "PostAnalyze answered " + Code(r);
  return "";
}

// A window closed as soon as an analysis pass has ended, while the work the pass started (a
// service job, say) still runs on the global queue; then that work is let run out. The pass runs
// on a host thread of its own, as a host runs it.
void CloseWindowDuringWork(Checker& check, FakeHost& host, AAX_IACFHostProcessor& processor, CreateProc createGUI) {
  float rate = 48000.0f;
  host.Controller().GetSampleRate(&rate);
  std::optional<std::string> fault;
  size_t running = 0;
  OpenAndCloseWindow(check, host, createGUI, "closed while the analysis pass's work runs", [&] {
    // What the window and the earlier checks started runs out first: what runs at the close is the pass's.
    qm::platform::dispatchWaitForIdle(kWorkSeconds);
    std::thread pass([&] { fault = AnalysisPass(processor, rate, 1024); });
    pass.join();
    running = qm::platform::dispatchGlobalPending();
    if (fault) check.Check(fault->empty(), "analysis pass of 2 s with the window open", *fault);
  });
  const bool finished = qm::platform::dispatchWaitForIdle(kWorkSeconds);
  if (!fault) return check.Note("the processor does not analyse: no analysis pass");
  if (!fault->empty()) return;
  if (running == 0) return check.Note("the analysis pass left no work running when the window closed");
  check.Check(finished, "work of the analysis pass after the window closed",
              std::to_string(running) + " block(s) running at the close" +
                  (finished ? ", all finished" : ", still running after " + std::to_string(int(kWorkSeconds)) + " s"));
}

// The host's checks of a host processor and a window: render passes, the window opened, closed and
// opened again (each time a new window object, as a host opens a window), a window closed while
// the processor renders, and one closed while the work of an analysis pass runs.
void ProcessingAndWindowChecks(Checker& check, FakeHost& host, AAX_IACFHostProcessor* processor, CreateProc createGUI) {
  if (processor) {
    RenderChecks(check, host, *processor);
  } else {
    check.Note("no host processor: no render pass");
  }
  if (createGUI) {
    OpenAndCloseWindow(check, host, createGUI, "first opening");
    OpenAndCloseWindow(check, host, createGUI, "second opening");
  } else {
    check.Note("no window: not opened");
  }
  if (processor && createGUI) {
    CloseWindowDuringRender(check, host, *processor, createGUI);
    CloseWindowDuringWork(check, host, *processor, createGUI);
  }
}

void ValidateComponents(Checker& check, FakeHost& host, const FakeCollection& collection) {
  std::vector<FakeEffectDescriptor::ProcPtr> procs;
  for (const FakeCollection::Effect& effect : collection.Effects()) {
    if (effect.descriptor) {
      for (const auto& proc : effect.descriptor->ProcPtrs()) procs.push_back(proc);
    }
  }
  if (!check.Check(!procs.empty(), "creation functions registered", std::to_string(procs.size()))) return;
  // The data-model object first: the others look for it through the host.
  std::stable_sort(procs.begin(), procs.end(), [](const auto& a, const auto& b) {
    return (a.id == AAX_eProcPtrID_EffectParameters) > (b.id == AAX_eProcPtrID_EffectParameters);
  });

  std::vector<Component> alive;
  AAX_IACFEffectParameters* parameters = nullptr;
  for (const FakeEffectDescriptor::ProcPtr& proc : procs) {
    const std::string what = std::string(ProcKind(proc.id)) + " (" + std::to_string(proc.id) + ")";
    IACFUnknown* object = reinterpret_cast<CreateProc>(proc.proc)();
    if (!check.Check(object != nullptr, what + " created")) continue;
    object->AddRef();
    Component component{proc.id, object, nullptr};
    const _acfUID* iid = proc.id == AAX_eProcPtrID_EffectParameters ? &IID_IAAXEffectParametersV1
                         : proc.id == AAX_eProcPtrID_HostProcessor  ? &IID_IAAXHostProcessorV1
                         : proc.id == AAX_eProcPtrID_EffectGUI      ? &IID_IAAXEffectGUIV1
                                                                    : nullptr;
    const ACFRESULT queried = iid ? object->QueryInterface(*iid, &component.typed) : ACF_E_NOINTERFACE;
    if (!check.Check(queried == 0 && component.typed, what + " answers its interface", queried == 0 ? "" : Code(queried))) {
      object->Release();
      continue;
    }
    AAX_Result initialized = ACF_E_NOINTERFACE;
    if (proc.id == AAX_eProcPtrID_EffectParameters) {
      auto* typed = static_cast<AAX_IACFEffectParameters*>(component.typed);
      initialized = typed->Initialize(host.Unknown());
      if (!parameters) {
        parameters = typed;
        host.SetEffectParameters(object);
      }
    } else if (proc.id == AAX_eProcPtrID_HostProcessor) {
      initialized = static_cast<AAX_IACFHostProcessor*>(component.typed)->Initialize(host.Unknown());
    } else {
      initialized = static_cast<AAX_IACFEffectGUI*>(component.typed)->Initialize(host.Unknown());
    }
    check.Check(initialized == 0, what + " initialised against the host", initialized == 0 ? "" : Code(initialized));
    alive.push_back(component);
  }

  if (parameters) {
    ChunkRoundTrip(check, parameters);
  } else {
    check.Check(false, "chunk round trip", "no effect-parameters object was registered");
  }
  AAX_IACFHostProcessor* processor = nullptr;
  for (const Component& component : alive) {
    if (component.kind == AAX_eProcPtrID_HostProcessor) processor = static_cast<AAX_IACFHostProcessor*>(component.typed);
  }
  CreateProc createGUI = nullptr;
  for (const FakeEffectDescriptor::ProcPtr& proc : procs) {
    if (proc.id == AAX_eProcPtrID_EffectGUI) createGUI = reinterpret_cast<CreateProc>(proc.proc);
  }
  ProcessingAndWindowChecks(check, host, processor, createGUI);

  // Release in reverse order of creation: window and processor before the data model.
  for (auto it = alive.rbegin(); it != alive.rend(); ++it) {
    const std::string what = std::string(ProcKind(it->kind)) + " (" + std::to_string(it->kind) + ")";
    AAX_Result uninitialized = 0;
    if (it->kind == AAX_eProcPtrID_EffectParameters) {
      uninitialized = static_cast<AAX_IACFEffectParameters*>(it->typed)->Uninitialize();
    } else if (it->kind == AAX_eProcPtrID_HostProcessor) {
      uninitialized = static_cast<AAX_IACFHostProcessor*>(it->typed)->Uninitialize();
    } else {
      uninitialized = static_cast<AAX_IACFEffectGUI*>(it->typed)->Uninitialize();
    }
    check.Check(uninitialized == 0, what + " uninitialised", uninitialized == 0 ? "" : Code(uninitialized));
    static_cast<IACFUnknown*>(it->typed)->Release();
    const acfUInt32 left = it->object->Release();
    check.Check(left == 0, what + " released", left == 0 ? "" : std::to_string(left) + " reference(s) still held");
  }
  host.SetEffectParameters(nullptr);
}

void RunPass(const std::string& bundlePath, const std::string& pass, std::ostream& out, ValidationResult& result) {
  Checker check(out, result, pass);
  FakeHost host;
  std::string error;
  std::unique_ptr<LoadedBundle> bundle = LoadedBundle::Load(bundlePath, &error);
  if (!check.Check(bundle != nullptr, "load", bundle ? LoadedBundle::ModulePath(bundlePath) : error)) return;
  std::string missing;
  for (const std::string& name : bundle->Missing()) missing += (missing.empty() ? "" : ", ") + name;
  if (!check.Check(missing.empty(), "entry points", missing.empty() ? "all nine found" : "missing " + missing)) return;
  const EntryPoints& entry = bundle->Entry();

  const ACFRESULT started = entry.startup(host.Unknown());
  check.Check(started == 0, "start-up", started == 0 ? "" : Code(started));

  uint64_t version = 0;
  const ACFRESULT versioned = entry.getSDKVersion(&version);
  std::ostringstream versionText;
  versionText << "0x" << std::hex << std::uppercase << std::setw(16) << std::setfill('0') << version;
  check.Check(versioned == 0 && (version & 0xFFFFFFFF00000000ull) == kSDKFamily, "SDK version",
              versioned == 0 ? versionText.str() : Code(versioned));

  IACFPluginDefinition* definition = nullptr;
  const ACFRESULT registered = entry.registerPlugin(host.Unknown(), &definition);
  const std::vector<FakeCollection*> collections = host.Collections();
  const bool registeredOk = check.Check(registered == 0 && definition != nullptr, "registration",
                                        registered != 0 ? Code(registered) : (definition ? "" : "no plug-in definition handed back"));
  if (registeredOk && !collections.empty()) {
    const FakeCollection& collection = *collections.back();
    check.Check(!collection.Effects().empty(), "effects described", std::to_string(collection.Effects().size()));
    DumpDescription(check, collection);
    ValidateComponents(check, host, collection);
  }
  for (const auto& trace : host.HostServices().Traces()) check.Note("trace: " + trace.text);
  if (definition) definition->Release();

  const ACFRESULT live = entry.canUnloadNow(host.Unknown());
  check.Check(live == 0, "unload query", live == 0 ? "no live objects" : std::to_string(live) + " component object(s) still alive");

  const ACFRESULT stopped = entry.shutdown(host.Unknown());
  check.Check(stopped == 0, "shut-down", stopped == 0 ? "" : Code(stopped));

  std::string unbalanced;
  for (const std::string& line : host.Unbalanced()) unbalanced += (unbalanced.empty() ? "" : "; ") + line;
  check.Check(unbalanced.empty(), "host references balanced", unbalanced);

  check.Check(bundle->Unload(&error), "unload", error);
}

}  // namespace

ValidationResult ValidateBundle(const std::string& bundlePath, std::ostream& out) {
  ValidationResult result;
  try {
    RunPass(bundlePath, "cold", out, result);
    RunPass(bundlePath, "warm", out, result);
  } catch (const std::exception& error) {
    ++result.failures;
    out << "FAIL the validation stopped: " << error.what() << '\n';
  } catch (...) {
    ++result.failures;
    out << "FAIL the validation stopped on an unknown exception\n";
  }
  out << (result.Passed() ? "PASSED" : "FAILED") << ": " << result.checks << " checks, " << result.failures << " failed\n";
  return result;
}

}  // namespace qm::host
