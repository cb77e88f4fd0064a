// `qmhost session`: the main job. Loads the Quillomancer bundle into the fake host, puts a clip
// on the timeline, presses LOAD, shows the transcript, writes the blocks the window would write
// for the chosen edit, presses Process, waits for the takes and renders each one to a WAV file.
// The web-service stand-in runs embedded on loopback unless --service names another.

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "AAX_Exports.h"
#include "AAX_IEffectGUI.h"
#include "AAX_IEffectParameters.h"
#include "AAX_IHostProcessor.h"
#include "qm/host/bundle_loader.h"
#include "qm/host/fake_host.h"
#include "qm/host/wav_file.h"
#include "qm/service/service.h"
#include "qm/ui/view.h"
#include "commands.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kEffectID = "com.quillomancer.aax.quillomancer";
constexpr int32_t kWindow = 1024;
constexpr double kWaitSeconds = 180.0;

// Custom-data blocks the window writes and reads (four-character codes, first byte highest).
constexpr uint32_t Block(const char (&c)[5]) {
  return (uint32_t(uint8_t(c[0])) << 24) | (uint32_t(uint8_t(c[1])) << 16) | (uint32_t(uint8_t(c[2])) << 8) |
         uint32_t(uint8_t(c[3]));
}

const char* StateName(int32_t state) {
  switch (state) {
    case 0: return "Ready";
    case 1: return "Analyzing";
    case 2: return "Processing";
    case 3: return "HasTakes";
    case 4: return "Error";
    case 6: return "SelectionTooShort";
    case 7: return "SelectionTooLong";
    case 8: return "NoCredits";
    case 9: return "UpdateRequired";
    case 10: return "InputTextRequired";
    case 11: return "BeforeTextRequired";
    case 12: return "VoiceCaptured";
    default: return "Unknown";
  }
}

struct Options {
  std::string input;
  std::string transcript;
  std::string voice;
  std::optional<std::string> text;
  std::string mode = "change";
  int takes = 3;
  std::string language;
  std::string output;
  std::string service;
  std::string bundle;
};

void PrintUsage(FILE* to) {
  std::fprintf(to,
               "usage: qmhost session [--input WAV] [--transcript FILE] [--mode change|repair|voice]\n"
               "                      [--text TEXT] [--takes 1|3|5] [--language CODE] [--voice WAV]\n"
               "                      [--output DIR] [--service URL] [--bundle PATH]\n"
               "\n"
               "Runs one editing session: LOAD on the input clip, the transcript, the edit, Process,\n"
               "and a render pass per take, each written as take-N.wav into the output folder.\n"
               "  --input WAV        clip on the timeline (default: testdata/speech.wav)\n"
               "  --transcript FILE  what the embedded service hears in the clip (default: the .txt\n"
               "                     beside the input)\n"
               "  --mode MODE        change: say --text instead; repair: regenerate the words named\n"
               "                     by --text (default: the last word); voice: re-voice the input\n"
               "                     in the voice of --voice (default: the input itself)\n"
               "  --text TEXT        the new line (change) or the words to repair (repair)\n"
               "  --takes N          takes to generate: 1, 3 or 5 (default 3)\n"
               "  --language CODE    transcription and generation language (default: automatic)\n"
               "  --output DIR       folder for the takes (default: takes/ in the build folder,\n"
               "                     beside bin/qmhost)\n"
               "  --service URL      use this service instead of the embedded stand-in\n"
               "  --bundle PATH      the plug-in bundle (default: the one built beside qmhost)\n");
}

int BadArguments(const std::string& message) {
  std::fprintf(stderr, "qmhost session: %s\n", message.c_str());
  std::fprintf(stderr, "Try 'qmhost session --help'.\n");
  return 2;
}

int Failure(const std::string& message) {
  std::fprintf(stderr, "qmhost session: %s\n", message.c_str());
  return 1;
}

fs::path ExecutableDirectory() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path() : self.parent_path();
}

// The first existing candidate, or the first one when none exists.
std::string FirstExisting(const std::vector<fs::path>& candidates) {
  for (const auto& c : candidates) {
    std::error_code ec;
    if (fs::exists(c, ec)) return c.lexically_normal().string();
  }
  return candidates.empty() ? std::string() : candidates.front().lexically_normal().string();
}

std::string DefaultClip() {
  const fs::path exe = ExecutableDirectory();
  return FirstExisting({fs::current_path() / "testdata" / "speech.wav", exe / "../../../testdata/speech.wav",
                        exe / "../../testdata/speech.wav"});
}

std::string DefaultBundle() {
  const fs::path exe = ExecutableDirectory();
  return FirstExisting({exe / ".." / "Quillomancer.aaxplugin", exe / "Quillomancer.aaxplugin"});
}

bool ReadText(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream buffer;
  buffer << in.rdbuf();
  *out = buffer.str();
  if (out->size() > 64 * 1024) return false;
  while (!out->empty() && (out->back() == '\n' || out->back() == '\r' || out->back() == ' ')) out->pop_back();
  return true;
}

std::optional<int> ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    const bool known = arg == "--input" || arg == "--transcript" || arg == "--voice" || arg == "--text" ||
                       arg == "--mode" || arg == "--takes" || arg == "--language" || arg == "--output" ||
                       arg == "--service" || arg == "--bundle";
    if (!known) return BadArguments("unknown argument '" + arg + "'");
    if (i + 1 >= argc) return BadArguments(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--input") options->input = value;
    else if (arg == "--transcript") options->transcript = value;
    else if (arg == "--voice") options->voice = value;
    else if (arg == "--text") options->text = value;
    else if (arg == "--mode") options->mode = value;
    else if (arg == "--language") options->language = value;
    else if (arg == "--output") options->output = value;
    else if (arg == "--service") options->service = value;
    else if (arg == "--bundle") options->bundle = value;
    else if (arg == "--takes") {
      if (value != "1" && value != "3" && value != "5") return BadArguments("--takes must be 1, 3 or 5");
      options->takes = value[0] - '0';
    }
  }
  if (options->mode != "change" && options->mode != "repair" && options->mode != "voice") {
    return BadArguments("--mode must be change, repair or voice");
  }
  if (options->text && options->text->empty()) return BadArguments("--text must not be empty");
  if (options->text && options->text->size() > 800) return BadArguments("--text is too long");
  if (options->language.size() > 31) return BadArguments("--language is too long");
  if (!options->service.empty() && options->service.rfind("http://", 0) != 0 &&
      options->service.rfind("https://", 0) != 0) {
    return BadArguments("--service must be an http:// or https:// URL");
  }
  return std::nullopt;
}

// ---- the bundle ---------------------------------------------------------------------------------

struct Bundle {
  void* handle = nullptr;
  AAX_Result (*startup)(IACFUnknown*) = nullptr;
  AAX_Result (*registerPlugin)(IACFUnknown*, IACFPluginDefinition**) = nullptr;
  AAX_Result (*canUnloadNow)(IACFUnknown*) = nullptr;
  AAX_Result (*shutdown)(IACFUnknown*) = nullptr;
  AAX_Result (*pressLoad)() = nullptr;
  AAX_Result (*pressProcess)() = nullptr;

  bool Load(const std::string& bundlePath, std::string* error) {
    const std::string path = qm::host::LoadedBundle::ModulePath(bundlePath);
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = dlerror();
      *error = "cannot load the bundle " + path + ": " + (why ? why : "unknown error");
      return false;
    }
    auto find = [&](const char* name, auto& into) {
      into = reinterpret_cast<std::remove_reference_t<decltype(into)>>(dlsym(handle, name));
      if (into == nullptr) *error = std::string("the bundle does not export ") + name;
      return into != nullptr;
    };
    return find("ACFStartup", startup) && find("ACFRegisterPlugin", registerPlugin) &&
           find("ACFCanUnloadNow", canUnloadNow) && find("ACFShutdown", shutdown) &&
           find("ACFQuillomancerPressLoad", pressLoad) && find("ACFQuillomancerPressProcess", pressProcess);
  }
};

// ---- the session --------------------------------------------------------------------------------

class Session {
 public:
  AAX_IEffectParameters* parameters = nullptr;
  AAX_IHostProcessor* processor = nullptr;
  AAX_IEffectGUI* window = nullptr;

  void SetBlock(uint32_t id, const std::string& value) {
    parameters->SetCustomData(id, uint32_t(value.size()), value.empty() ? nullptr : value.data());
  }
  void SetByte(uint32_t id, uint8_t value) { parameters->SetCustomData(id, 1, &value); }
  std::string GetBlock(uint32_t id, uint32_t size) {
    std::string buffer(size + 1, '\0');
    uint32_t n = 0;
    parameters->GetCustomData(id, size, buffer.data(), &n);
    buffer.resize(std::min(n, size));
    return buffer;
  }
  std::vector<int32_t> Status() {
    std::vector<int32_t> record(7, 0);
    uint32_t n = 0;
    parameters->GetCustomData(Block("QMst"), 28, record.data(), &n);
    return record;
  }

  // Prints the state when it changed since the last look.
  int32_t WatchState() {
    const auto status = Status();
    if (status[0] != mLastState) {
      EndProgress();
      mLastState = status[0];
      std::printf("  state: %s", StateName(status[0]));
      if (status[0] == 3) std::printf(" (%d take%s ready)", status[3], status[3] == 1 ? "" : "s");
      if (status[0] == 12) std::printf(" (voice clip stored)");
      std::printf("\n");
      std::fflush(stdout);
    }
    return status[0];
  }

  // Runs the host's main-thread timer (which runs the plug-in's main-queue work) until `done`,
  // printing state changes and, while the service works, a progress line.
  bool RunUntil(const std::function<bool()>& done, const char* waitingFor) {
    const auto start = std::chrono::steady_clock::now();
    auto lastLine = start;
    while (true) {
      parameters->TimerWakeup();
      if (window != nullptr) window->TimerWakeup();
      const int32_t state = WatchState();
      if (done()) {
        EndProgress();
        return true;
      }
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (elapsed > kWaitSeconds) {
        EndProgress();
        return false;
      }
      if (state == 2) {
        const auto status = Status();
        const char* activity = status[5] == 1 ? "generating" : (status[5] == 2 ? "transcribing" : "working");
        if (isatty(STDOUT_FILENO)) {
          std::printf("\r  waiting for %s: %s, %.1f s ", waitingFor, activity, elapsed);
          if (status[6] > 0) std::printf("(estimate %d s) ", status[6]);
          std::fflush(stdout);
          mProgressShown = true;
        } else if (std::chrono::steady_clock::now() - lastLine > std::chrono::seconds(2)) {
          std::printf("  waiting for %s: %s, %.0f s\n", waitingFor, activity, elapsed);
          std::fflush(stdout);
          lastLine = std::chrono::steady_clock::now();
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  void EndProgress() {
    if (mProgressShown) {
      std::printf("\n");
      mProgressShown = false;
    }
  }

  // An analysis pass over the timeline selection, run on a host thread.
  void RunAnalysisPass(const qm::host::WavAudio& clip) {
    RunOnHostThread([&] {
      const int64_t frames = clip.frames();
      int64_t dstStart = 0, dstEnd = 0;
      processor->InitOutputBounds(0, frames, &dstStart, &dstEnd);
      processor->PreAnalyze(int32_t(clip.channels.size()), kWindow);
      std::vector<const float*> inputs(clip.channels.size());
      for (int64_t at = 0; at < frames; at += kWindow) {
        int32_t n = int32_t(std::min<int64_t>(kWindow, frames - at));
        for (size_t c = 0; c < inputs.size(); ++c) inputs[c] = clip.channels[c].data() + at;
        processor->SetLocation(at);
        processor->AnalyzeAudio(inputs.data(), int32_t(inputs.size()), &n);
      }
      processor->PostAnalyze();
    });
  }

  // A render pass over the selection into one output channel.
  std::vector<float> RunRenderPass(const qm::host::WavAudio& clip) {
    std::vector<float> rendered(size_t(clip.frames()), 0.0f);
    RunOnHostThread([&] {
      const int64_t frames = clip.frames();
      int64_t dstStart = 0, dstEnd = 0;
      processor->InitOutputBounds(0, frames, &dstStart, &dstEnd);
      processor->PreRender(int32_t(clip.channels.size()), 1, kWindow);
      std::vector<const float*> inputs(clip.channels.size());
      for (int64_t at = 0; at < frames; at += kWindow) {
        int32_t n = int32_t(std::min<int64_t>(kWindow, frames - at));
        for (size_t c = 0; c < inputs.size(); ++c) inputs[c] = clip.channels[c].data() + at;
        float* outputs[1] = {rendered.data() + at};
        processor->SetLocation(at);
        processor->RenderAudio(inputs.data(), int32_t(inputs.size()), outputs, 1, &n);
      }
      processor->PostRender();
    });
    return rendered;
  }

 private:
  void RunOnHostThread(const std::function<void()>& pass) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
      pass();
      finished = true;
    });
    RunUntil([&] { return finished.load(); }, "the host pass");
    worker.join();
    WatchState();
  }

  int32_t mLastState = -1;
  bool mProgressShown = false;
};

struct TimedWord {
  std::string word;
  int index = 0;
  double start = 0, end = 0;
};

// The transcript payload as the window reads it: JSON with text and words, or plain text.
void ParsePayload(const std::string& payload, std::string* text, std::vector<TimedWord>* words) {
  const auto json = nlohmann::json::parse(payload, nullptr, false);
  if (!json.is_object() || !json.contains("text") || !json["text"].is_string()) {
    *text = payload;
    return;
  }
  *text = json["text"].get<std::string>();
  if (!json.contains("words") || !json["words"].is_array()) return;
  for (const auto& w : json["words"]) {
    if (!w.is_object()) continue;
    TimedWord word;
    if (w.contains("word") && w["word"].is_string()) word.word = w["word"].get<std::string>();
    if (w.contains("index") && w["index"].is_number()) word.index = w["index"].get<int>();
    if (w.contains("start") && w["start"].is_number()) word.start = w["start"].get<double>();
    if (w.contains("end") && w["end"].is_number()) word.end = w["end"].get<double>();
    if (!word.word.empty()) words->push_back(word);
  }
}

std::string Lowercase(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

std::string StripPunctuation(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (!std::ispunct(c)) out.push_back(char(c));
  }
  return out;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  std::string word;
  while (in >> word) out.push_back(word);
  return out;
}

}  // namespace

namespace qm::host::cli {

int RunSession(int argc, char** argv) {
  Options options;
  if (auto exit = ParseArguments(argc, argv, &options)) return *exit;

  if (options.input.empty()) options.input = DefaultClip();
  if (options.transcript.empty()) {
    fs::path beside = fs::path(options.input).replace_extension(".txt");
    std::error_code ec;
    if (fs::exists(beside, ec)) options.transcript = beside.string();
  }
  if (options.bundle.empty()) options.bundle = DefaultBundle();
  if (options.output.empty()) options.output = (ExecutableDirectory() / ".." / "takes").lexically_normal().string();

  qm::host::WavAudio clip;
  std::string error;
  if (!qm::host::readWav(options.input, &clip, &error)) return Failure(error);
  if (clip.frames() < 1) return Failure(options.input + ": the clip holds no audio");
  qm::host::WavAudio voiceClip = clip;
  if (options.mode == "voice" && !options.voice.empty() && !qm::host::readWav(options.voice, &voiceClip, &error)) {
    return Failure(error);
  }
  std::string spoken = "this is the line as spoken";
  if (!options.transcript.empty() && !ReadText(options.transcript, &spoken)) {
    return Failure("cannot read the transcript " + options.transcript);
  }
  std::error_code ec;
  fs::create_directories(options.output, ec);
  if (ec || !fs::is_directory(options.output)) return Failure("cannot create the output folder " + options.output);

  // The web service.
  std::unique_ptr<qm::service::Service> service;
  std::string serviceURL = options.service;
  if (serviceURL.empty()) {
    qm::service::Options serviceOptions;
    serviceOptions.transcriptText = spoken;
    service = std::make_unique<qm::service::Service>(serviceOptions);
    if (!service->start()) return Failure("cannot start the web-service stand-in on 127.0.0.1");
    serviceURL = service->url();
  }
  setenv("QUILLOMANCER_SERVER_URL", serviceURL.c_str(), 1);

  std::printf("Quillomancer session\n");
  std::printf("  clip: %s (%.2f s, %d Hz, %zu channel%s)\n", options.input.c_str(),
              double(clip.frames()) / clip.sampleRate, clip.sampleRate, clip.channels.size(),
              clip.channels.size() == 1 ? "" : "s");
  std::printf("  service: %s%s\n", serviceURL.c_str(), service ? " (embedded stand-in)" : "");
  std::printf("  bundle: %s\n", options.bundle.c_str());

  // Load, start up and register.
  Bundle bundle;
  if (!bundle.Load(options.bundle, &error)) return Failure(error);
  qm::host::FakeHost host;
  host.Controller().SetSampleRate(float(clip.sampleRate));
  bundle.startup(host.Unknown());
  IACFPluginDefinition* definition = nullptr;
  const AAX_Result registered = bundle.registerPlugin(host.Unknown(), &definition);
  if (registered != 0) return Failure("registration failed with " + std::to_string(registered));
  qm::host::FakeEffectDescriptor* descriptor = nullptr;
  for (auto* collection : host.Collections()) {
    for (const auto& effect : collection->Effects()) {
      if (effect.id == kEffectID) descriptor = effect.descriptor;
    }
  }
  if (descriptor == nullptr) return Failure(std::string("the bundle did not describe ") + kEffectID);
  void* createParameters = nullptr;
  void* createProcessor = nullptr;
  void* createWindow = nullptr;
  for (const auto& proc : descriptor->ProcPtrs()) {
    if (proc.id == 0) createParameters = proc.proc;
    if (proc.id == 3) createProcessor = proc.proc;
    if (proc.id == 1) createWindow = proc.proc;
  }
  if (createParameters == nullptr || createProcessor == nullptr) {
    return Failure("the description lacks the parameters or processor creation function");
  }
  std::printf("  registered: %s (", kEffectID);
  const auto names = descriptor->Names();
  for (size_t i = 0; i < names.size(); ++i) std::printf("%s%s", i ? ", " : "", names[i].c_str());
  std::printf(")\n");

  // Create and initialise the three components.
  Session session;
  session.parameters = reinterpret_cast<AAX_IEffectParameters* (*)()>(createParameters)();
  session.parameters->AddRef();
  host.SetEffectParameters(session.parameters);
  session.parameters->Initialize(host.Unknown());
  session.processor = reinterpret_cast<AAX_IHostProcessor* (*)()>(createProcessor)();
  session.processor->AddRef();
  session.processor->Initialize(host.Unknown());
  auto hostView = std::make_shared<qm::ui::View>(qm::ui::Rect(0, 0, 480, 158));
  if (createWindow != nullptr) {
    session.window = reinterpret_cast<AAX_IEffectGUI* (*)()>(createWindow)();
    session.window->AddRef();
    session.window->Initialize(host.Unknown());
    session.window->SetViewContainer(&host.NewViewContainer(1, hostView.get()));
    AAX_Point size;
    session.window->GetViewSize(&size);
    std::printf("  window: %.0f x %.0f\n", double(size.horz), double(size.vert));
  }

  // The clip on the timeline, selected whole.
  host.ProcessorDelegate().SetTimelineAudio(clip.channels);
  host.Transport().SetTimelineSelection(0, clip.frames());
  std::atomic<bool> analysisAsked{false};
  host.ProcessorDelegate().OnForceAnalyze([&] {
    analysisAsked = true;
    return AAX_Result(0);
  });

  int exitCode = 0;
  auto fail = [&](const std::string& message) {
    const std::string shown = session.GetBlock(Block("QMer"), 1023);
    std::fprintf(stderr, "qmhost session: %s%s%s\n", message.c_str(), shown.empty() ? "" : ": ",
                 shown.c_str());
    exitCode = 1;
  };

  // LOAD.
  session.SetBlock(Block("QMtl"), options.language);
  session.WatchState();
  std::printf("LOAD\n");
  const AAX_Result loaded = bundle.pressLoad();
  if (loaded != 0 || !analysisAsked) {
    fail("LOAD was refused (" + std::to_string(loaded) + ")");
  } else {
    session.RunAnalysisPass(clip);
    session.RunUntil([&] { return session.Status()[0] != 2; }, "the transcript");
    if (session.Status()[0] != 0) fail(std::string("loading ended in state ") + StateName(session.Status()[0]));
  }

  // The transcript, as the window applies it.
  std::string transcript;
  std::vector<TimedWord> words;
  if (exitCode == 0) {
    const std::string payload = session.GetBlock(Block("QMtr"), 16383);
    ParsePayload(payload, &transcript, &words);
    session.SetBlock(Block("QMtr"), "");
    session.SetBlock(Block("QMlr"), "");
    std::printf("Transcript: \"%s\"\n", transcript.c_str());
    if (!words.empty()) {
      std::printf("  words:");
      for (const auto& w : words) std::printf(" %s [%.2f-%.2f]", w.word.c_str(), w.start, w.end);
      std::printf("\n");
    }
    if (transcript.empty()) fail("the service gave no transcript");
  }

  // The edit, written as the window writes it.
  if (exitCode == 0) {
    session.SetByte(Block("QMtk"), uint8_t(options.takes));
    session.SetBlock(Block("QMgl"), options.language);
    session.SetByte(Block("QMat"), 0);
    session.SetBlock(Block("QMrp"), "");
    session.SetByte(Block("QMrv"), 0);
    if (options.mode == "change") {
      const std::string text = options.text.value_or(transcript);
      session.SetByte(Block("QMmd"), 1);
      session.SetBlock(Block("QMtx"), text);
      session.SetBlock(Block("QMrf"), transcript);
      session.SetByte(Block("QMlc"), text != transcript ? 1 : 0);
      std::printf("Change: \"%s\" -> \"%s\"\n", transcript.c_str(), text.c_str());
    } else if (options.mode == "repair") {
      std::vector<std::string> wanted;
      for (const auto& w : SplitWords(options.text.value_or(words.empty() ? "" : words.back().word))) {
        wanted.push_back(Lowercase(StripPunctuation(w)));
      }
      nlohmann::json selections = nlohmann::json::array();
      std::vector<std::string> kept;
      size_t searchFrom = 0;
      for (const auto& w : words) {
        const size_t at = transcript.find(w.word, searchFrom);
        const size_t charStart = at == std::string::npos ? 0 : at;
        if (at != std::string::npos) searchFrom = at + w.word.size();
        const bool picked = std::find(wanted.begin(), wanted.end(), Lowercase(StripPunctuation(w.word))) != wanted.end();
        if (picked) {
          selections.push_back({{"word_index", w.index}, {"word", w.word}, {"char_start", charStart},
                                {"char_length", w.word.size()}, {"start_seconds", w.start},
                                {"end_seconds", w.end}});
        } else {
          kept.push_back(w.word);
        }
      }
      if (selections.empty()) {
        fail("none of the words to repair is in the transcript");
      } else {
        std::string reference;
        for (const auto& k : kept) reference += (reference.empty() ? "" : " ") + k;
        const nlohmann::json plan = {{"source_text", transcript}, {"edited_source_text", transcript},
                                     {"selections", selections}, {"change_assist", false}};
        session.SetByte(Block("QMmd"), 0);
        session.SetBlock(Block("QMtx"), transcript);
        session.SetBlock(Block("QMrf"), reference);
        session.SetByte(Block("QMlc"), 1);
        session.SetBlock(Block("QMrp"), plan.dump());
        std::printf("Repair: %zu word%s of \"%s\"\n", selections.size(), selections.size() == 1 ? "" : "s",
                    transcript.c_str());
      }
    } else {
      session.SetByte(Block("QMmd"), 2);
      std::printf("Voice Change: voice clip %s, performance %s\n",
                  options.voice.empty() ? options.input.c_str() : options.voice.c_str(), options.input.c_str());
    }
  }

  // Process (Voice Change: the host's analysis of the voice clip, then of the performance).
  if (exitCode == 0) {
    if (options.mode == "voice") {
      session.RunAnalysisPass(voiceClip);
      if (session.Status()[0] != 12) {
        fail(std::string("the voice clip ended in state ") + StateName(session.Status()[0]));
      } else {
        session.RunAnalysisPass(clip);
      }
    } else {
      std::printf("Process\n");
      const AAX_Result processed = bundle.pressProcess();
      if (processed != 0) fail("Process was refused (" + std::to_string(processed) + ")");
    }
  }
  if (exitCode == 0) {
    if (!session.RunUntil([&] { return session.Status()[0] != 2; }, "the takes")) {
      fail("the service did not answer in time");
    } else if (session.Status()[0] != 3) {
      fail(std::string("processing ended in state ") + StateName(session.Status()[0]));
    }
  }

  // One render pass per take.
  std::vector<std::string> written;
  if (exitCode == 0) {
    const std::string renderId = session.GetBlock(Block("QMrd"), 255);
    const int total = session.Status()[3];
    while (session.Status()[0] == 3 && int(written.size()) < total) {
      std::printf("RENDER (take %d of %d)\n", int(written.size()) + 1, total);
      const auto rendered = session.RunRenderPass(clip);
      const fs::path file = fs::path(options.output) / ("take-" + std::to_string(written.size() + 1) + ".wav");
      if (!qm::host::writeWav16(file.string(), {rendered}, clip.sampleRate, &error)) {
        fail(error);
        break;
      }
      written.push_back(file.string());
    }
    if (exitCode == 0) {
      const auto status = session.Status();
      std::printf("Summary\n");
      std::printf("  transcript: \"%s\"\n", transcript.c_str());
      std::printf("  takes: %zu written to %s\n", written.size(), options.output.c_str());
      for (const auto& file : written) std::printf("    %s\n", file.c_str());
      std::printf("  render id: %s\n", renderId.empty() ? "(none)" : renderId.c_str());
      std::printf("  credits left: %d\n", status[4]);
    }
  }

  // Tear down as a host does.
  if (session.window != nullptr) {
    session.window->SetViewContainer(nullptr);
    session.window->Uninitialize();
    session.window->Release();
    session.window = nullptr;
  }
  session.processor->Uninitialize();
  session.processor->Release();
  session.processor = nullptr;
  // A job still running counts as a live object; the parameters object is the one left.
  session.RunUntil([&] { return bundle.canUnloadNow(host.Unknown()) <= 1; }, "the last job");
  session.parameters->Uninitialize();
  session.parameters->Release();
  host.SetEffectParameters(nullptr);
  const AAX_Result live = bundle.canUnloadNow(host.Unknown());
  if (live != 0) std::fprintf(stderr, "qmhost session: %d component objects still alive\n", int(live));
  bundle.shutdown(host.Unknown());
  // The bundle stays loaded: its worker threads may still be winding down.
  if (service) service->stop();
  return exitCode;
}

}  // namespace qm::host::cli
