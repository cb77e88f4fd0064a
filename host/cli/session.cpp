// `qmhost session`: the main job. Opens the plug-in window as a host does and works through it
// as an editor would: the host's LOAD (an analysis pass over the timeline selection), the
// timer calls that bring the transcript, the settings card opened and closed with the gear, the
// edit typed with keys or painted with the mouse, the takes chosen, Process clicked, and one
// RENDER pass per take, each written as take-N.wav. The window's status line is printed after
// every step; with --snapshots each step also leaves NN-<step>.png and NN-<step>.json.
// The web-service stand-in runs embedded on loopback unless --service names another.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "QMAccountToken.h"
#include "QuillomancerStoreClient.h"
#include "QuillomancerStoreVocabulary.h"
#include "commands.h"
#include "plugin_window.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/files.h"
#include "qm/platform/text.h"
#include "qm/service/account.h"
#include "qm/service/service.h"
#include "qm/ui/button.h"
#include "qm/ui/desktop_window.h"
#include "qm/ui/event.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/text_field.h"
#include "qm/ui/text_view.h"
#include "repair_paint.h"

namespace fs = std::filesystem;
using qm::host::cli::Centre;
using qm::host::cli::DescribePlaces;
using qm::host::cli::FindView;
using qm::host::cli::PluginWindow;
using qm::host::cli::ViewClassName;
using qm::host::cli::WordPlace;

namespace {

constexpr double kServiceWaitSeconds = 180.0;
constexpr double kWindowWaitSeconds = 10.0;
// The longest a LOAD or RENDER pass may take: the longest selection read at a crawl.
constexpr double kPassSeconds = 180.0;
// The most turns of the mouse wheel that bring a place of a scroll view into reach (ten points
// each; the editor's 200 units are far fewer lines).
constexpr int kMostWheelTurns = 1000;
// The language chooser's row for no language hint: the window then listens for any language.
constexpr const char* kNoLanguageHintRow = "-----";
// The most takes one Process makes (the takes selector offers 1, 3 or 5).
constexpr int kMostTakes = 5;
// The token the session lends the plug-in for the embedded stand-in when none stored is used:
// through this process's environment, so that no file of the user's is written or removed.
constexpr const char* kSessionToken = "qm-session-token";

struct Options {
  std::string command = "session";  // or "window": what the lines and the desktop window are titled
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
  std::string snapshots;
  std::optional<double> selection;
  std::string serviceFault;
  std::vector<qm::service::AccountMessage> messages;
  std::string updateOffer;
  bool updateRequired = false;
  std::string minVersion;
  bool checkUpdates = false;
  bool interactive = false;
};

void PrintUsage(FILE* to) {
  std::fprintf(to,
               "usage: qmhost session [--input WAV] [--transcript FILE] [--mode change|repair|voice]\n"
               "                      [--text TEXT] [--takes 1|3|5] [--language CODE] [--voice WAV]\n"
               "                      [--output DIR] [--snapshots DIR] [--selection SECONDS]\n"
               "                      [--service URL | --service-fault credits|offline]\n"
               "                      [--service-message 'id|title|body']... [--update-offer VERSION]\n"
               "                      [--update-required --min-version VERSION] [--check-updates]\n"
               "                      [--bundle PATH] [--interactive]\n"
               "\n"
               "Runs one editing session through the plug-in window: LOAD on the input clip, the\n"
               "transcript, the settings card, the edit, Process, and a RENDER pass per take, each\n"
               "written as take-N.wav into the output folder. The status line is printed after\n"
               "every step.\n"
               "  --input WAV        clip on the timeline (default: testdata/speech.wav)\n"
               "  --transcript FILE  what the embedded service hears in the clip (default: the .txt\n"
               "                     beside the input)\n"
               "  --mode MODE        change: type --text in place of the transcript (default: its\n"
               "                     last word changed); repair: paint the words of --text (default:\n"
               "                     the last word); voice: re-voice the input in the voice of --voice\n"
               "                     (default: the input itself; voice mode only)\n"
               "  --text TEXT        the new line (change, at most 200 UTF-16 units, as the editor\n"
               "                     holds) or the words to repair (repair); not in voice mode\n"
               "  --takes N          takes to generate: 1, 3 or 5 (default 3)\n"
               "  --language CODE    chosen in the window's language chooser, such as en or de\n"
               "                     (default: automatic)\n"
               "  --output DIR       folder for the takes (default: takes/ in the build folder)\n"
               "  --snapshots DIR    writes NN-<step>.png and NN-<step>.json after every step\n"
               "  --selection S      the timeline selection: the first S seconds (default: the clip)\n"
               "  --service URL      use this service instead of the embedded stand-in\n"
               "  --service-fault F  the embedded stand-in answers without credits (credits) or\n"
               "                     cannot be reached (offline)\n"
               "  --service-message 'id|title|body'  a message in the stand-in's account answer\n"
               "  --update-offer V   the stand-in offers version V\n"
               "  --update-required  the stand-in requires an update to --min-version V\n"
               "  --check-updates    on the open settings card, click Check for Updates and wait\n"
               "                     for its answer\n"
               "  --bundle PATH      the plug-in bundle (default: the one built beside qmhost)\n"
               "  --interactive      shows the window on the desktop instead, LOAD and RENDER\n"
               "                     beside it (F5, F6); Ctrl+Q closes it\n");
}

int BadArguments(const std::string& message) { return qm::host::cli::BadArguments("session", message); }

int Failure(const Options& options, const std::string& message) { return qm::host::cli::Failure(options.command, message); }

// The transcript file as text: a regular file within 64 KiB, UTF-8 without NUL bytes, without a
// leading byte-order mark. Answers what is wrong with it, or nothing.
std::optional<std::string> ReadTranscript(const std::string& path, std::string* out) {
  constexpr size_t kMostTranscriptBytes = 64 * 1024;
  qm::platform::FileOpenOptions limits;
  limits.maxBytes = kMostTranscriptBytes;
  limits.followLinks = true;  // a file the user named, wherever a link of theirs leads
  std::string text;
  int err = 0;
  const auto refusal = qm::platform::readRegularFile(path, text, limits, nullptr, &err);
  if (refusal != qm::platform::FileRefusal::none) {
    return "the transcript " + path + " " + qm::platform::describeFileRefusal(refusal, limits.maxBytes, err);
  }
  if (text.find('\0') != std::string::npos) return "the transcript " + path + " is not text (it holds a NUL byte)";
  if (!qm::platform::isValidUtf8(text)) return "the transcript " + path + " is not UTF-8 text";
  text = qm::host::cli::WithoutByteOrderMark(std::move(text));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  *out = std::move(text);
  return std::nullopt;
}

// What is wrong with a --text value, or nothing: it is typed into the editor as keys, so it must be
// UTF-8 with no control characters (a newline would join words, DEL would act as a key) and no
// private-use characters (the function keys' characters).
std::optional<std::string> TextProblem(const std::string& text) {
  if (!qm::platform::isValidUtf8(text)) return "--text must be UTF-8";
  for (const char16_t u : qm::platform::utf8ToUtf16(text)) {
    if (qm::platform::isControlCharacter(u)) return "--text must not hold control characters";
    // The private-use area of the first plane, and the high surrogates of planes 15 and 16.
    if ((u >= 0xE000 && u <= 0xF8FF) || (u >= 0xDB80 && u <= 0xDBFF)) {
      return "--text must not hold private-use characters";
    }
  }
  return std::nullopt;
}

// A message for the stand-in to send may be longer than the plug-in shows: it cuts what it shows.
constexpr size_t kMostServiceMessageBytes = 64 * 1024;

bool IsVersion(const std::string& v) { return std::regex_match(v, std::regex("[0-9]{1,4}(\\.[0-9]{1,4}){0,3}")); }

std::optional<int> ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (arg == "--interactive" || arg == "--update-required" || arg == "--check-updates") {
      (arg == "--interactive" ? options->interactive
       : arg == "--update-required" ? options->updateRequired
                                    : options->checkUpdates) = true;
      continue;
    }
    const bool known = arg == "--input" || arg == "--transcript" || arg == "--voice" || arg == "--text" ||
                       arg == "--mode" || arg == "--takes" || arg == "--language" || arg == "--output" ||
                       arg == "--service" || arg == "--bundle" || arg == "--snapshots" || arg == "--selection" ||
                       arg == "--service-fault" || arg == "--service-message" || arg == "--update-offer" ||
                       arg == "--min-version";
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
    else if (arg == "--snapshots") options->snapshots = value;
    else if (arg == "--service-fault") options->serviceFault = value;
    else if (arg == "--update-offer") options->updateOffer = value;
    else if (arg == "--min-version") options->minVersion = value;
    else if (arg == "--service-message") {
      qm::service::AccountMessage message;
      if (value.size() > kMostServiceMessageBytes || !qm::service::parseAccountMessage(value, message) ||
          message.id.empty()) {
        return BadArguments("--service-message takes 'id|title|body'");
      }
      options->messages.push_back(message);
    } else if (arg == "--selection") {
      char* end = nullptr;
      const double seconds = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 600) {
        return BadArguments("--selection takes seconds above 0 and up to 600");
      }
      options->selection = seconds;
    } else if (arg == "--takes") {
      if (value != "1" && value != "3" && value != "5") return BadArguments("--takes must be 1, 3 or 5");
      options->takes = value[0] - '0';
    }
  }
  if (options->mode != "change" && options->mode != "repair" && options->mode != "voice") {
    return BadArguments("--mode must be change, repair or voice");
  }
  if (options->text && options->text->empty()) return BadArguments("--text must not be empty");
  if (options->text) {
    if (auto problem = TextProblem(*options->text)) return BadArguments(*problem);
    const size_t units = qm::platform::utf16Length(*options->text);
    if (options->mode == "change" && units > kQuillomancer_MaxTextLength) {
      return BadArguments("--text is " + std::to_string(units) + " UTF-16 units long; the editor holds at most " +
                          std::to_string(kQuillomancer_MaxTextLength));
    }
  }
  // Options that do not apply are refused rather than passed over.
  if (options->mode == "voice" && options->text) return BadArguments("--text does not apply in voice mode");
  if (options->mode != "voice" && !options->voice.empty()) return BadArguments("--voice applies in voice mode only");
  // A code as the chooser shows it ("en", "de"); it also names a snapshot.
  if (!options->language.empty() && !std::regex_match(options->language, std::regex("[A-Za-z0-9-]{1,31}"))) {
    return BadArguments("--language takes a language code such as en or de");
  }
  if (!options->service.empty() && options->service.rfind("http://", 0) != 0 &&
      options->service.rfind("https://", 0) != 0) {
    return BadArguments("--service must be an http:// or https:// URL");
  }
  if (!options->serviceFault.empty() && options->serviceFault != "credits" && options->serviceFault != "offline") {
    return BadArguments("--service-fault must be credits or offline");
  }
  const bool standIn = !options->serviceFault.empty() || !options->messages.empty() ||
                       !options->updateOffer.empty() || options->updateRequired;
  if (standIn && !options->service.empty()) {
    return BadArguments("--service-fault, --service-message and the update options need the embedded stand-in");
  }
  if (options->updateRequired != !options->minVersion.empty()) {
    return BadArguments("--update-required and --min-version VERSION go together");
  }
  if (!options->minVersion.empty() && !IsVersion(options->minVersion)) return BadArguments("--min-version: not a version");
  if (!options->updateOffer.empty() && !IsVersion(options->updateOffer)) return BadArguments("--update-offer: not a version");
  return std::nullopt;
}

// ---- the inputs ---------------------------------------------------------------------------------

// The clip, the voice clip and what the embedded service hears. The clips stay in their files and
// are read as the host's passes ask for their frames; a selection beyond the clip's end reaches
// into the silence after it, as on a timeline.
struct Inputs {
  std::shared_ptr<qm::host::WavClip> clip = std::make_shared<qm::host::WavClip>();
  std::shared_ptr<qm::host::WavClip> voiceClip;
  std::string spoken = "this is the line as spoken";
  int64_t selectionEnd = 0;
  int64_t voiceSelectionEnd = 0;  // the voice pass's selection of the voice clip
};

// The longest selection the host makes of a clip (as --selection allows), and the longest voice
// clip the plug-in's voice pass takes: a host selects no more of a voice clip than that.
constexpr double kMostSelectionSeconds = 600.0;
constexpr double kMostVoiceSeconds = 25.0;

// Opens the clip, refusing from its header alone a selection longer than a host makes.
std::optional<std::string> OpenClip(const Options& options, qm::host::WavClip* clip) {
  std::string error;
  if (!clip->open(options.input, &error)) return error;
  if (clip->frames() < 1) return options.input + ": the clip holds no audio";
  const double seconds = options.selection ? *options.selection : double(clip->frames()) / clip->sampleRate();
  if (seconds > kMostSelectionSeconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f s long; a session selects at most %.0f s (--selection)", seconds,
                  kMostSelectionSeconds);
    return options.input + ": the clip is " + text;
  }
  return std::nullopt;
}

// Opens the voice clip of Voice Change: at the session's rate (a host's session has one rate), and
// selected as a host selects it, from its start for its own length up to the voice pass's longest.
std::optional<std::string> OpenVoiceClip(const std::string& path, int32_t sessionRate, qm::host::WavClip* voice,
                                         int64_t* selectionEnd) {
  std::string error;
  if (!voice->open(path, &error)) return error;
  if (voice->sampleRate() != sessionRate) {
    return "the voice clip " + path + " is at " + std::to_string(voice->sampleRate()) + " Hz and the session at " +
           std::to_string(sessionRate) + " Hz: a session has one rate";
  }
  if (voice->frames() < 1) return "the voice clip " + path + " holds no audio";
  *selectionEnd = std::min(voice->frames(), int64_t(std::llround(kMostVoiceSeconds * sessionRate)));
  return std::nullopt;
}

std::optional<int> ReadInputs(Options& options, Inputs* in) {
  if (options.input.empty()) options.input = qm::host::cli::DefaultClipPath();
  if (options.transcript.empty()) {
    fs::path beside = fs::path(options.input).replace_extension(".txt");
    std::error_code ec;
    if (fs::exists(beside, ec)) options.transcript = beside.string();
  }
  if (options.bundle.empty()) options.bundle = qm::host::cli::DefaultBundlePath();
  if (options.output.empty()) {
    options.output = (qm::host::cli::ExecutableDirectory() / ".." / "takes").lexically_normal().string();
  }
  if (auto failed = OpenClip(options, in->clip.get())) return Failure(options, *failed);
  if (!options.transcript.empty()) {
    if (auto failed = ReadTranscript(options.transcript, &in->spoken)) return Failure(options, *failed);
  }
  in->selectionEnd = in->clip->frames();
  if (options.selection) {
    in->selectionEnd = std::max<int64_t>(1, int64_t(std::llround(*options.selection * in->clip->sampleRate())));
  }
  // Without a voice clip of its own the input is the voice, over the same selection.
  in->voiceClip = in->clip;
  in->voiceSelectionEnd = in->selectionEnd;
  if (options.mode == "voice" && !options.voice.empty()) {
    in->voiceClip = std::make_shared<qm::host::WavClip>();
    if (auto failed = OpenVoiceClip(options.voice, in->clip->sampleRate(), in->voiceClip.get(), &in->voiceSelectionEnd)) {
      return Failure(options, *failed);
    }
  }
  std::error_code ec;
  fs::create_directories(options.output, ec);
  if (ec || !fs::is_directory(options.output)) {
    return Failure(options, "cannot create the output folder " + options.output);
  }
  return std::nullopt;
}

// The files this program writes into the output and snapshot folders: take-N.wav, and
// NN-<step>.png and NN-<step>.json with the names of the session's own steps. Nothing else there
// is ever removed.
const std::regex kTakeFile("take-([0-9]+)\\.wav");
const std::regex kStepName(
    "opened|settings-(open|closed|locked)|check-for-updates|message-[0-9]+(-closed)?|language-[A-Za-z0-9-]+|load|change-tool|typed|"
    "repair-tool|painted|takes-[135]|voice-change|voice-loaded|processed|process-refused|render-[0-9]+");
const std::regex kSnapshotFile("([0-9]{2})-(.*)\\.(png|json)");

bool IsSnapshotOfAStep(const std::smatch& file) { return std::regex_match(file[2].str(), kStepName); }

// Removes the files of an earlier run that this one did not write: those matching `pattern`
// (and `alsoMatches`, when given) whose number (the pattern's first group) is not in `keep`.
void RemoveStale(const fs::path& folder, const std::regex& pattern, const std::vector<int>& keep,
                 const std::function<bool(const std::smatch&)>& alsoMatches = {}) {
  std::error_code ec;
  std::vector<fs::path> stale;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::smatch m;
    const std::string name = entry.path().filename().string();
    if (!std::regex_match(name, m, pattern) || m[1].length() > 6 || (alsoMatches && !alsoMatches(m))) continue;
    if (std::find(keep.begin(), keep.end(), std::stoi(m[1].str())) == keep.end()) stale.push_back(entry.path());
  }
  for (const auto& path : stale) fs::remove(path, ec);
}

// Seconds of `frames` at `rate` with two decimals, or as many more (up to `most`) as it takes for
// the text to name those frames: a selection of 15.001 s is not shown as 15.00 s.
std::string Seconds(int64_t frames, int32_t rate, int most = 6) {
  char text[48];
  for (int decimals = 2; decimals <= most; ++decimals) {
    std::snprintf(text, sizeof text, "%.*f", decimals, double(frames) / rate);
    if (std::llround(std::strtod(text, nullptr) * rate) == frames) break;
  }
  return text;
}

bool IsErrorState(int32_t state) {
  return state == kQuillomancerState_Error || state == kQuillomancerState_SelectionTooShort ||
         state == kQuillomancerState_SelectionTooLong || state == kQuillomancerState_NoCredits ||
         state == kQuillomancerState_UpdateRequired || state == kQuillomancerState_InputTextRequired ||
         state == kQuillomancerState_BeforeTextRequired;
}

// ---- the session ----------------------------------------------------------------------------------

class Session {
 public:
  // `service`: the embedded stand-in, or null when the session talks to another service.
  Session(PluginWindow& window, const Options& options, const Inputs& in, const qm::service::Service* service)
      : w_(window),
        options_(options),
        in_(in),
        service_(service),
        passes_(window.Processor()),
        store_(window.Parameters()),
        takes_(options.output),
        loadedEnd_(in.selectionEnd) {}

  int32_t State() const { return store_.ReadStatus().state; }
  // The selection of the last LOAD.
  int64_t LoadedFrames() const { return loadedEnd_; }

  // The window's status line as it shows.
  std::string StatusLine() {
    qm::ui::View* clear = Find([](qm::ui::View& v) { return v.toolTip() == "Clear text"; }, false);
    if (clear == nullptr || clear->superview() == nullptr) return "";
    for (const auto& sibling : clear->superview()->subviews()) {
      if (sibling->subviews().size() != 1 || ViewClassName(*sibling) != "View") continue;
      if (auto* label = dynamic_cast<qm::ui::TextField*>(sibling->subviews().front().get())) {
        return label->stringValue();
      }
    }
    return "";
  }

  // Prints the step with the status line; writes its snapshot.
  std::optional<std::string> Step(const std::string& name) {
    // Only names the clean-up of the next run knows are written.
    if (!std::regex_match(name, kStepName)) return "no snapshot name for the step " + name;
    w_.Tick();
    ++step_;
    char number[16];
    std::snprintf(number, sizeof number, "%02d", step_);
    std::printf("[%s] %s\n      status: %s\n", number, name.c_str(), Quoted(StatusLine()).c_str());
    std::fflush(stdout);
    if (options_.snapshots.empty()) return std::nullopt;
    const fs::path base = fs::path(options_.snapshots) / (std::string(number) + "-" + name);
    return w_.WriteSnapshot(base.string() + ".png", base.string() + ".json");
  }

  // Turns the host's loop (the main queue, the window's timer) until `done` or the time is up.
  bool RunUntil(const std::function<bool()>& done, double seconds) {
    const auto start = std::chrono::steady_clock::now();
    while (true) {
      w_.Tick();
      if (!passes_.Running() && done()) return true;
      if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds) return false;
      qm::platform::waitForMainQueueWork(0.01);
    }
  }

  qm::ui::View* Find(const std::function<bool(qm::ui::View&)>& match, bool visible = true) {
    return FindView(w_.PluginView(), match, visible);
  }
  qm::ui::Button* ButtonTitled(const std::string& title) {
    return dynamic_cast<qm::ui::Button*>(Find([&](qm::ui::View& v) {
      auto* b = dynamic_cast<qm::ui::Button*>(&v);
      return b && b->title() == title;
    }));
  }
  // An account answer has been handled: the card (hidden or not) shows a balance.
  bool BalanceShown() {
    return Find([](qm::ui::View& v) {
             auto* f = dynamic_cast<qm::ui::TextField*>(&v);
             return f && f->stringValue().starts_with("Credits: ") && f->stringValue() != "Credits: \u2014";
           }, false) != nullptr;
  }
  // The account exchange has answered, whatever it held, once a balance shows or the plug-in's
  // requests are done and their results delivered (a finished request's result waits on the main
  // queue until the next turn of the loop).
  bool AccountAnswered() {
    return BalanceShown() || (qm::platform::dispatchGlobalPending() == 0 && qm::platform::dispatchMainPending() == 0);
  }
  qm::ui::View* TextShown(const std::string& text) {
    return Find([&](qm::ui::View& v) {
      auto* f = dynamic_cast<qm::ui::TextField*>(&v);
      return f && f->stringValue().find(text) != std::string::npos;
    });
  }
  qm::ui::TextView* Editor() {
    return dynamic_cast<qm::ui::TextView*>(
        Find([](qm::ui::View& v) { return ViewClassName(v) == "QMTrackedTextView"; }, false));
  }
  std::string EditorText() {
    qm::ui::TextView* editor = Editor();
    return editor ? qm::platform::utf16ToUtf8(editor->string()) : std::string();
  }
  void Click(qm::ui::View& view) { w_.Window().click(Centre(view)); }
  // The view that a click at `point` reaches.
  qm::ui::View* HitAt(qm::ui::Point point) {
    return w_.Window().contentView() ? w_.Window().contentView()->hitTest(point) : nullptr;
  }
  // A button clicked where it shows: at its centre, or else at the first point of it that no other
  // view covers (the open card covers the gear's lower left). False when nothing of it shows.
  bool Press(qm::ui::Button& button) {
    const qm::ui::Rect r = qm::host::cli::WindowFrame(button);
    std::vector<qm::ui::Point> points{Centre(button)};
    for (double fy = 0.9; fy > 0; fy -= 0.2)
      for (double fx = 0.9; fx > 0; fx -= 0.2) points.push_back(qm::ui::Point{r.minX() + fx * r.width(), r.minY() + fy * r.height()});
    for (const qm::ui::Point p : points) {
      qm::ui::View* hit = HitAt(p);
      if (hit == nullptr || !hit->isDescendantOf(&button)) continue;
      w_.Window().click(p);
      return true;
    }
    return false;
  }
  bool ClickButton(const std::string& title, std::string* error) {
    qm::ui::Button* button = ButtonTitled(title);
    if (button == nullptr) return *error = "the window shows no " + title + " button", false;
    if (!button->isEnabled()) return *error = "the " + title + " button is disabled", false;
    Click(*button);
    return true;
  }

  // Turns the wheel over the scroll view that holds `view`, a step at a time as a person does, until
  // a click at `at()` (in the coordinates of the view's window) reaches the view. False when no
  // turn brings it there.
  bool Reach(qm::ui::View& view, const std::function<qm::ui::Point()>& at) {
    qm::ui::ScrollView* scroll = nullptr;
    for (qm::ui::View* v = view.superview(); v != nullptr && scroll == nullptr; v = v->superview()) {
      scroll = dynamic_cast<qm::ui::ScrollView*>(v);
    }
    for (int turn = 0;; ++turn) {
      w_.Tick();
      qm::ui::Window* window = view.window();
      if (window == nullptr || window->contentView() == nullptr) return false;
      const qm::ui::Point point = at();
      const qm::ui::View* hit = window->contentView()->hitTest(point);
      if (hit != nullptr && hit->isDescendantOf(&view)) return true;
      if (scroll == nullptr || turn == kMostWheelTurns) return false;
      // Towards the top of the document while the point is above the middle of what shows.
      const qm::ui::Rect shown = qm::host::cli::WindowFrame(*scroll);
      qm::ui::Event wheel = qm::ui::Event::mouse(qm::ui::EventType::ScrollWheel, qm::ui::Point{shown.midX(), shown.midY()});
      wheel.deltaY = point.y > shown.midY() ? 1 : -1;
      const qm::ui::Rect before = scroll->contentView()->bounds();
      window->sendEvent(wheel);
      if (scroll->contentView()->bounds() == before) return false;  // at the end of its travel
    }
  }

  // The place of a character of the editor in window points.
  qm::ui::Point EditorPoint(size_t index) {
    qm::ui::TextView& editor = *Editor();
    const qm::ui::Rect caret = editor.caretRectForIndex(index);
    return editor.convertPointToView(qm::ui::Point{caret.minX() + 0.1, caret.midY()}, nullptr);
  }

  // ---- the steps ----

  // The host's LOAD: an analysis pass over the selection, then the timer calls until the
  // processor has answered.
  bool Load(std::shared_ptr<const qm::host::WavClip> clip, std::string* error) {
    return LoadSelection(std::move(clip), in_.selectionEnd, error);
  }
  // LOAD over the first `end` frames of a clip, then the timer calls until the processor has
  // answered.
  bool LoadSelection(std::shared_ptr<const qm::host::WavClip> clip, int64_t end, std::string* error) {
    if (!PassOver(std::move(clip), end, error)) return false;
    const bool answered = RunUntil(
        [&] {
          const int32_t s = State();
          return s != kQuillomancerState_Analyzing && s != kQuillomancerState_Processing;
        },
        kServiceWaitSeconds);
    if (!answered) return *error = "the service did not answer in time", false;
    return true;
  }
  // The analysis pass of LOAD over the first `end` frames of a clip, selected on the timeline as
  // the host selects them, run to its end: a clip that could not be read whole fails the run
  // before the plug-in goes on with it.
  bool PassOver(std::shared_ptr<const qm::host::WavClip> clip, int64_t end, std::string* error) {
    w_.Host().Transport().SetTimelineSelection(0, end);
    loadedEnd_ = end;
    if (!passes_.StartAnalysis(std::move(clip), 0, end)) return *error = "the host could not start LOAD", false;
    if (const std::string failed = FinishPass(); !failed.empty()) {
      return *error = passes_.Stuck() ? failed : "LOAD: " + failed, false;
    }
    return true;
  }
  // The pass under way, run to its end (or to its time-out) with the host's loop turning; what
  // went wrong, or nothing.
  std::string FinishPass() {
    return passes_.Finish(
        [&] {
          w_.Tick();
          qm::platform::waitForMainQueueWork(0.01);
        },
        kPassSeconds);
  }
  // A pass did not end within its time: it still runs inside the plug-in.
  bool PassStuck() const { return passes_.Stuck(); }

  // Waits for the transcript in the editor.
  bool Transcript(std::string* error) {
    if (IsErrorState(State())) return *error = std::string("LOAD ended in state ") + QuillomancerStateName(State()), false;
    if (!RunUntil([&] { return !EditorText().empty(); }, kWindowWaitSeconds)) {
      return *error = "the window shows no transcript", false;
    }
    std::printf("      transcript: \"%s\"\n", EditorText().c_str());
    return true;
  }

  // The messages of the account answer, which bring the card up by themselves, each closed with
  // the card's X (closing the message page dismisses every message queued behind the one shown);
  // then the card opened with the gear and closed with it again, unless the forced-update lock
  // keeps it open.
  bool SettingsCard(std::string* error) {
    if (!options_.messages.empty() && !RunUntil([&] { return ShownMessage() != nullptr; }, kWindowWaitSeconds)) {
      return *error = "the window shows no message \"" + options_.messages.front().title + "\"", false;
    }
    size_t shown = 0;
    while (const qm::service::AccountMessage* message = ShownMessage()) {
      if (++shown > options_.messages.size()) return *error = "the message page does not close", false;
      const std::string step = "message-" + std::to_string(shown);
      if (auto failed = Step(step)) return *error = *failed, false;
      qm::ui::View* close = CardClose();
      if (close == nullptr) return *error = "the message has no close button", false;
      Click(*close);
      RunUntil([&] { return TitleShown(message->title) == nullptr; }, kWindowWaitSeconds);
      if (auto failed = Step(step + "-closed")) return *error = *failed, false;
    }
    // Another service's messages are not known beforehand. With a token its answer may still be
    // on its way (it shows a balance on the card, hidden or not); a card up on its own then, but
    // for the update lock, shows its messages, and its X closes them all.
    if (service_ == nullptr && !QMReadAccountToken().empty()) {
      RunUntil([&] { return CardClose() != nullptr || AccountAnswered(); }, kWindowWaitSeconds);
    }
    while (service_ == nullptr && CardClose() != nullptr && TextShown("Update Required") == nullptr) {
      if (++shown > 1) return *error = "the message page does not close", false;
      if (auto failed = Step("message-1")) return *error = *failed, false;
      Click(*CardClose());
      RunUntil([&] { return CardClose() == nullptr || TextShown("Update Required") != nullptr; }, kWindowWaitSeconds);
      if (auto failed = Step("message-1-closed")) return *error = *failed, false;
    }
    if (shown > 0 && shown < options_.messages.size()) {
      std::printf("      closing it dismissed the %zu other message%s queued\n", options_.messages.size() - shown,
                  options_.messages.size() - shown == 1 ? "" : "s");
    }
    qm::ui::Button* gear = Gear();
    if (gear == nullptr) return *error = "the window shows no settings gear", false;
    // The forced-update lock may have brought the card up already.
    if (CardClose() == nullptr && !Press(*gear)) return *error = "the settings gear is covered", false;
    RunUntil(
        [&] {
          if (TextShown("Server offline")) return true;  // no answer is coming
          return options_.updateRequired ? TextShown("Update Required") != nullptr : TextShown("Credits:") != nullptr;
        },
        kWindowWaitSeconds);
    if (CardClose() == nullptr) return *error = "the gear did not open the settings card", false;
    if (auto failed = Step("settings-open")) return *error = *failed, false;
    if (options_.checkUpdates && !CheckForUpdates(error)) return false;
    if (!Press(*gear)) return *error = "the open card covers the settings gear", false;
    RunUntil([&] { return CardClose() == nullptr; }, options_.updateRequired ? 0.2 : kWindowWaitSeconds);
    if (CardClose() == nullptr) return Step("settings-closed") == std::nullopt;
    if (!options_.updateRequired) return *error = "the gear did not close the settings card", false;
    std::printf("      the card stays open: the update is required\n");
    if (auto failed = Step("settings-locked")) return *error = *failed, false;
    return true;
  }

  // The manual check on the open card: its answer ends "Checking..." with a passing title, or
  // with the offer (the button then hides).
  bool CheckForUpdates(std::string* error) {
    // The opening's own answer first (it shows the balance): handled during the check, it would
    // reset the button before the check's answer is in.
    RunUntil([&] { return AccountAnswered(); }, kServiceWaitSeconds);
    qm::ui::Button* check = ButtonTitled("Check for Updates");
    if (check == nullptr || !check->isEnabled()) return *error = "the card shows no Check for Updates button", false;
    if (!Press(*check)) return *error = "the Check for Updates button is covered", false;
    const std::weak_ptr<qm::ui::View> watched = check->sharedView();
    const auto title = [&]() -> std::string {
      const auto button = std::dynamic_pointer_cast<qm::ui::Button>(watched.lock());
      return !button || button->isHiddenOrHasHiddenAncestor() ? "" : button->title();
    };
    if (!RunUntil([&] { return title() != "Checking..."; }, kServiceWaitSeconds)) {
      return *error = "the service did not answer the check in time", false;
    }
    std::printf("      Check for Updates: %s\n", title().empty() ? "hidden (an update is offered)" : title().c_str());
    if (auto failed = Step("check-for-updates")) return *error = *failed, false;
    return true;
  }

  // The language the window listens for, as it hands it to the plug-in ("" for any).
  std::string Language() const { return store_.ReadString(kQMBlock_TranscriptionLanguage, kQMReadLimit_Language); }

  // Without --language the window listens for any language, as the option's default says, whatever
  // an earlier run left chosen: the chooser's row for no language hint is clicked.
  bool AutomaticLanguage(std::string* error) {
    if (Language().empty()) return true;
    const std::string before = Language();
    if (!OpenLanguageChooser(error)) return false;
    for (const auto& child : w_.Window().childWindows()) {
      if (!child->contentView()) continue;
      qm::ui::View* row = FindView(*child->contentView(), [&](qm::ui::View& v) {
        auto* b = dynamic_cast<qm::ui::Button*>(&v);
        return b && b->title() == kNoLanguageHintRow;
      });
      if (row == nullptr || !Reach(*row, [&] { return Centre(*row); })) continue;
      child->click(Centre(*row));
      if (auto failed = Step("language-auto")) return *error = *failed, false;
      if (!Language().empty()) break;
      std::printf("      language: automatic (the window had kept %s)\n", before.c_str());
      return true;
    }
    return *error = "the language chooser did not set the window back from " + before + " to automatic", false;
  }

  bool OpenLanguageChooser(std::string* error) {
    qm::ui::View* chip = Find([](qm::ui::View& v) {
      return dynamic_cast<qm::ui::Button*>(&v) && v.toolTip().rfind("Choose the language", 0) == 0;
    });
    if (chip == nullptr) return *error = "the window shows no language chip", false;
    Click(*chip);
    w_.Tick();
    return true;
  }

  bool ChooseLanguage(std::string* error) {
    if (!OpenLanguageChooser(error)) return false;
    for (const auto& child : w_.Window().childWindows()) {
      if (!child->contentView()) continue;
      for (char16_t c : qm::platform::utf8ToUtf16(options_.language)) child->typeKey(std::u16string(1, c));
      w_.Tick();
      // A row reads "English (EN)": the name, then the code in capitals.
      std::string code;
      for (unsigned char c : options_.language) code.push_back(char(std::toupper(c)));
      const std::string suffix = " (" + code + ")";
      qm::ui::View* row = FindView(*child->contentView(), [&](qm::ui::View& v) {
        auto* b = dynamic_cast<qm::ui::Button*>(&v);
        return b && b->title().size() > suffix.size() &&
               b->title().compare(b->title().size() - suffix.size(), suffix.size(), suffix) == 0;
      });
      if (row != nullptr) {
        child->click(Centre(*row));
        if (auto failed = Step("language-" + options_.language)) return *error = *failed, false;
        return true;
      }
    }
    return *error = "the language chooser offers no " + options_.language, false;
  }

  bool ChooseTakes(std::string* error) {
    qm::ui::View* selector = Find([](qm::ui::View& v) { return ViewClassName(v) == "QMTakeSelector"; });
    if (selector == nullptr) return *error = "the window shows no takes selector", false;
    std::vector<qm::ui::View*> cells;
    FindView(*selector, [&](qm::ui::View& v) {
      if (dynamic_cast<qm::ui::Button*>(&v)) cells.push_back(&v);
      return false;
    });
    std::sort(cells.begin(), cells.end(), [](qm::ui::View* a, qm::ui::View* b) { return Centre(*a).x < Centre(*b).x; });
    if (cells.size() != 3) return *error = "the takes selector shows no three cells", false;
    Click(*cells[size_t(options_.takes / 2)]);
    return Step("takes-" + std::to_string(options_.takes)) == std::nullopt;
  }

  // Change: the characters of the line that differ, deleted with Backspace and typed anew, one key
  // press per character as the user sees it (an emoji, a family sequence, a letter with its
  // accent), the way an input method commits them. Then the line the window holds for Process is
  // read back: it is the line asked for, or the session fails.
  bool TypeChange(const std::string& transcript, std::string* error) {
    const std::u16string line = qm::platform::utf8ToUtf16(transcript);
    // The embedded stand-in's transcript is known whole; the editor may show less of it.
    const size_t heard = std::max(line.size(), service_ ? qm::platform::utf16Length(in_.spoken) : 0);
    if (heard > kQuillomancer_MaxTextLength) {
      return *error = "the transcript is " + std::to_string(heard) + " UTF-16 units long and the editor holds at most " +
                      std::to_string(kQuillomancer_MaxTextLength) + ": no edit of it can be sent",
             false;
    }
    const std::string wanted = NewText(transcript);
    if (qm::platform::utf16Length(wanted) > kQuillomancer_MaxTextLength) {
      return *error = "the changed line is " + std::to_string(qm::platform::utf16Length(wanted)) +
                      " UTF-16 units long and the editor holds at most " + std::to_string(kQuillomancer_MaxTextLength),
             false;
    }
    if (!ClickButton("Change", error)) return false;
    if (auto failed = Step("change-tool")) return *error = *failed, false;
    const std::vector<std::u16string> from = Characters(line), to = Characters(qm::platform::utf8ToUtf16(wanted));
    size_t prefix = 0;
    while (prefix < from.size() && prefix < to.size() && from[prefix] == to[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < from.size() - prefix && suffix < to.size() - prefix &&
           from[from.size() - 1 - suffix] == to[to.size() - 1 - suffix]) {
      ++suffix;
    }
    size_t caret = 0;  // in UTF-16 units: after the last character that goes
    for (size_t i = 0; i < from.size() - suffix; ++i) caret += from[i].size();
    if (!Reach(*Editor(), [&] { return EditorPoint(caret); })) {
      return *error = "the editor cannot be scrolled to the place of the change", false;
    }
    w_.Window().click(EditorPoint(caret));
    for (size_t i = prefix; i < from.size() - suffix; ++i) w_.Window().typeKey(std::u16string(1, qm::ui::keys::kBackspace));
    for (size_t i = prefix; i < to.size() - suffix; ++i) w_.Window().typeKey(to[i]);
    w_.Tick();
    // What Process sends: the line as the window handed it to the plug-in.
    w_.Tick();
    const std::string sent = store_.ReadString(kQMBlock_Text, 4 * kQuillomancer_MaxTextLength);
    std::printf("      Change: \"%s\" -> \"%s\"\n", transcript.c_str(), sent.c_str());
    if (auto failed = Step("typed")) return *error = *failed, false;
    if (sent != wanted) return *error = "the window holds the line \"" + sent + "\" where \"" + wanted + "\" was typed", false;
    return true;
  }

  // Repair: each word to repair painted with a drag across the whole of it, the editor scrolled
  // to it first. Then what the window painted is read back: the words asked for, each where it
  // stands in the line, or the session fails.
  bool PaintRepair(const std::string& transcript, std::string* error) {
    if (!ClickButton("Repair", error)) return false;
    if (auto failed = Step("repair-tool")) return *error = *failed, false;
    const std::u16string line = qm::platform::utf8ToUtf16(transcript);
    std::vector<std::string> asked;
    std::istringstream words(options_.text.value_or(LastWord(transcript)));
    for (std::string word; words >> word;) asked.push_back(word);
    // Where each word stands in the line; a word asked again is its next place.
    std::vector<WordPlace> places;
    std::vector<std::string> missing;
    for (const auto& word : asked) {
      std::optional<WordPlace> place;
      for (size_t from = 0; (place = FindWord(line, qm::platform::utf8ToUtf16(word), from));) {
        if (std::find(places.begin(), places.end(), *place) == places.end()) break;
        from = place->at + 1;
      }
      if (place) places.push_back(*place);
      else missing.push_back(word);
    }
    if (places.empty()) return *error = "none of the words to repair is in the transcript", false;
    for (const WordPlace& place : places) {
      const auto stroke = [&] { return PaintStroke(place); };
      if (!Reach(*Editor(), [&] { return stroke().first; }) || !Reach(*Editor(), [&] { return stroke().second; })) {
        return *error = "the editor cannot be scrolled to " + DescribePlaces(line, {place}), false;
      }
      using qm::ui::Event;
      using qm::ui::EventType;
      const auto [press, release] = stroke();
      w_.Window().sendEvent(Event::mouse(EventType::LeftMouseDown, press));
      w_.Window().sendEvent(Event::mouse(EventType::LeftMouseDragged, release));
      w_.Window().sendEvent(Event::mouse(EventType::LeftMouseUp, release));
    }
    w_.Tick();
    // What the window painted, word by word where it stands, against the words asked.
    const std::vector<WordPlace> painted = PaintedPlaces();
    if (auto failed = Step("painted")) return *error = *failed, false;
    if (auto problem = qm::host::cli::PaintingProblem(line, painted, places, missing)) return *error = *problem, false;
    std::printf("      Repair: %zu word%s of \"%s\": %s\n", painted.size(), painted.size() == 1 ? "" : "s",
                transcript.c_str(), DescribePlaces(line, painted).c_str());
    return true;
  }
  // Where a person presses to paint a word of the editor and where they let go, in window points:
  // just inside the edge where its first character begins and the far edge of its last one, on
  // whichever side each stands in the line's writing direction (the side where the text view
  // puts the caret before the first character and after the last).
  std::pair<qm::ui::Point, qm::ui::Point> PaintStroke(const WordPlace& word) {
    qm::ui::TextView& editor = *Editor();
    const std::u16string& text = editor.string();
    const auto edge = [&](size_t from, size_t to, size_t caret) {
      const std::vector<qm::ui::Rect> pieces = editor.rectsForCharacterRange(qm::ui::Range{from, to - from});
      if (pieces.empty()) return EditorPoint(caret);
      const qm::ui::Rect r = caret == from ? pieces.front() : pieces.back();
      const double inset = std::min(1.0, r.width() / 4);
      const qm::ui::Point left{r.minX() + inset, r.midY()}, right{r.maxX() - inset, r.midY()};
      const bool leftward = editor.characterIndexForPoint(left) == caret ||
                            (editor.characterIndexForPoint(right) != caret && caret == from);
      return editor.convertPointToView(leftward ? left : right, nullptr);
    };
    const size_t firstEnd = std::clamp(qm::platform::nextCharacterBoundary(text, word.at), word.at + 1, word.end);
    const size_t lastStart = std::clamp(qm::platform::characterStartAt(text, word.end - 1), word.at, word.end - 1);
    return {edge(word.at, firstEnd, word.at), edge(lastStart, word.end, word.end)};
  }
  // The words the window shows painted for repair, where they stand in the line: its highlighted
  // runs, split at spaces and line breaks.
  std::vector<WordPlace> PaintedPlaces() {
    std::vector<WordPlace> out;
    qm::ui::TextView* editor = Editor();
    if (editor == nullptr) return out;
    const qm::ui::TextStorage& text = editor->textStorage();
    std::optional<size_t> start;
    for (size_t at = 0; at <= text.length(); ++at) {
      const bool painted = at < text.length() && text.attributesAt(at).backgroundColor &&
                           text.string()[at] != u' ' && text.string()[at] != u'\n';
      if (painted && !start) start = at;
      if (!painted && start) {
        out.push_back(WordPlace{*start, at});
        start.reset();
      }
    }
    return out;
  }

  // Voice Change: the tool, then LOAD of the voice and LOAD of the performance.
  bool VoiceChange(std::string* error) {
    if (!ClickButton("Voice Change", error)) return false;
    if (auto failed = Step("voice-change")) return *error = *failed, false;
    // The voice clip selected for its own length, then the performance selected again.
    if (!LoadSelection(in_.voiceClip, in_.voiceSelectionEnd, error)) return false;
    if (auto failed = Step("voice-loaded")) return *error = *failed, false;
    if (State() != kQuillomancerState_VoiceCaptured) {
      return *error = std::string("the voice clip ended in state ") + QuillomancerStateName(State()), false;
    }
    // Voice Change sets one take; more are chosen after it.
    if (options_.takes != 1 && !ChooseTakes(error)) return false;
    return PassOver(in_.clip, in_.selectionEnd, error);
  }

  bool Process(std::string* error) {
    if (options_.mode != "voice" && !ClickButton("Process", error)) return false;
    RunUntil([&] { return false; }, 0);
    const bool answered = RunUntil(
        [&] { return State() == kQuillomancerState_HasTakes || IsErrorState(State()) || State() == kQuillomancerState_Ready; },
        kServiceWaitSeconds);
    if (auto failed = Step("processed")) return *error = *failed, false;
    if (!answered) return *error = "the service did not answer in time", false;
    if (State() != kQuillomancerState_HasTakes) {
      return *error = std::string("Process ended in state ") + QuillomancerStateName(State()), false;
    }
    return true;
  }

  // Under a required update: Process clicked where it shows, then what happened read back from
  // the store and the service. The card covers the window then, so the click may well land on the
  // card; either way nothing may be generated.
  bool ProcessRefused(std::string* error) {
    qm::ui::Button* process = ButtonTitled("Process");
    if (process == nullptr) return *error = "the window shows no Process button", false;
    const qm::ui::Point at = Centre(*process);
    qm::ui::View* target = HitAt(at);
    const std::string reached = target && target->isDescendantOf(process) ? "Process" : Describe(target) + " over it";
    w_.Window().click(at);
    RunUntil([&] { return false; }, 0.3);
    const QuillomancerStatusRecord status = store_.ReadStatus();
    const std::optional<uint8_t> lock = store_.ReadByte(kQMBlock_CompatibilityLock);
    const size_t generations = service_ ? service_->requestCount(qm::service::kGenerate) : 0;
    std::printf("      the click at Process reached %s\n", reached.c_str());
    std::printf("      seen: state %s (%d), QMul %s, %s, %zu generation request%s at the service\n",
                QuillomancerStateName(status.state), int(status.state),
                lock ? std::to_string(int(*lock)).c_str() : "unset",
                status.asyncActivity == kQuillomancerActivity_None ? "no job running" : "a job running", generations,
                generations == 1 ? "" : "s");
    if (auto failed = Step("process-refused")) return *error = *failed, false;
    const bool refused = status.state == kQuillomancerState_UpdateRequired && lock == uint8_t(1) &&
                         status.asyncActivity == kQuillomancerActivity_None && generations == 0;
    if (!refused) return *error = "Process was not refused under the required update", false;
    // Why, as the card says it.
    refusal_ = "the service requires an update";
    if (auto* minimum = dynamic_cast<qm::ui::TextField*>(TextShown("Minimum required version"))) {
      refusal_ += " (" + Quoted(minimum->stringValue()) + ")";
    }
    return true;
  }
  // Why Process was refused, once it was.
  const std::string& Refusal() const { return refusal_; }

  // One RENDER pass per take, each written as take-N.wav.
  bool Render(std::vector<std::string>* written, std::string* error) {
    for (int pass = 0; auto take = takes_.Next(store_.ReadStatus()); ++pass) {
      if (pass == kMostTakes) return *error = "the plug-in still offers a take after every take was rendered", false;
      if (!passes_.StartRender(in_.clip, 0, in_.selectionEnd, take->path.string())) {
        return *error = "the host could not start RENDER", false;
      }
      if (const std::string failed = FinishPass(); !failed.empty()) return *error = failed, false;
      takes_.Written(*take);
      written->push_back(take->path.filename().string() + ": " + take->Description());
      std::printf("      %s\n", take->Line().c_str());
      if (auto failed = Step("render-" + std::to_string(take->rendered))) return *error = *failed, false;
    }
    return true;
  }

  // The service's numbers of the takes written.
  const std::vector<int>& Takes() const { return takes_.Numbers(); }

  std::string NewText(const std::string& transcript) const {
    if (options_.text) return *options_.text;
    // One word changed: the last one.
    const std::string last = LastWord(transcript);
    const size_t at = transcript.rfind(last);
    const std::string other = last == "car" ? "boat" : "car";
    return at == std::string::npos ? transcript + " " + other : transcript.substr(0, at) + other + transcript.substr(at + last.size());
  }

 private:
  static std::string LastWord(const std::string& text) {
    std::string word, last;
    for (unsigned char c : text + " ") {
      if (std::isalnum(c) || c == '\'' || c >= 0x80) {
        word.push_back(char(c));
      } else if (!word.empty()) {
        last = word;
        word.clear();
      }
    }
    return last;
  }
  // The first place from `from` of the word as a whole word, as [at, end), ignoring the case of
  // ASCII letters and the punctuation around it.
  static std::optional<WordPlace> FindWord(const std::u16string& line, std::u16string word, size_t from) {
    const auto punctuation = [](char16_t c) { return c < 0x80 && std::ispunct(int(c)) && c != u'\''; };
    while (!word.empty() && punctuation(word.back())) word.pop_back();
    while (!word.empty() && punctuation(word.front())) word.erase(0, 1);
    if (word.empty()) return std::nullopt;
    auto lower = [](char16_t c) { return c < 0x80 ? char16_t(std::tolower(int(c))) : c; };
    auto letter = [](char16_t c) { return c >= 0x80 || std::isalnum(int(c)) || c == u'\''; };
    for (size_t at = from; at + word.size() <= line.size(); ++at) {
      bool same = true;
      for (size_t i = 0; i < word.size() && same; ++i) same = lower(line[at + i]) == lower(word[i]);
      if (same && (at == 0 || !letter(line[at - 1])) &&
          (at + word.size() == line.size() || !letter(line[at + word.size()]))) {
        return WordPlace{at, at + word.size()};
      }
    }
    return std::nullopt;
  }
  // The text as the characters a user sees (grapheme clusters), each in its UTF-16 units.
  static std::vector<std::u16string> Characters(const std::u16string& text) {
    std::vector<std::u16string> out;
    for (size_t at = 0; at < text.size();) {
      const size_t next = std::max(at + 1, qm::platform::nextCharacterBoundary(text, at));
      out.push_back(text.substr(at, next - at));
      at = next;
    }
    return out;
  }
  static std::string Quoted(const std::string& s) { return s.empty() ? "(empty)" : "\"" + s + "\""; }
  // The message of the stand-in's answer that the card shows, if any.
  const qm::service::AccountMessage* ShownMessage() {
    for (const auto& m : options_.messages) {
      if (TitleShown(m.title)) return &m;
    }
    return nullptr;
  }
  // A message title as the card shows it: whole, or its opening cut with "…" to fit the line.
  qm::ui::View* TitleShown(const std::string& title) {
    if (title.empty()) return nullptr;
    return Find([&](qm::ui::View& v) {
      auto* f = dynamic_cast<qm::ui::TextField*>(&v);
      if (f == nullptr) return false;
      const std::string& shown = f->stringValue();
      if (shown.find(title) != std::string::npos) return true;
      const std::string ellipsis = "\u2026";
      const std::string opening = shown.ends_with(ellipsis) ? shown.substr(0, shown.size() - ellipsis.size()) : shown;
      return opening.size() >= std::min<size_t>(title.size(), 4) && title.starts_with(opening);
    });
  }
  qm::ui::Button* Gear() {
    return dynamic_cast<qm::ui::Button*>(Find([](qm::ui::View& v) {
      return dynamic_cast<qm::ui::Button*>(&v) && v.toolTip() == "Settings";
    }));
  }
  // What a click reached, in words.
  std::string Describe(qm::ui::View* view) {
    if (view == nullptr) return "nothing";
    const qm::ui::View* close = CardClose();
    const qm::ui::View* card = close ? close->superview() : nullptr;
    if (card != nullptr && view->isDescendantOf(card)) return "the settings card";
    if (card != nullptr && view->isDescendantOf(card->superview())) return "the settings card's shadow";
    return "a " + ViewClassName(*view);
  }
  // The card's X: the small untitled button at its upper right.
  qm::ui::View* CardClose() {
    qm::ui::View* best = nullptr;
    Find([&](qm::ui::View& v) {
      auto* b = dynamic_cast<qm::ui::Button*>(&v);
      const qm::ui::Rect f = qm::host::cli::WindowFrame(v);
      if (b && b->title().empty() && (b->toolTip().empty() || b->toolTip() == "Close") && f.width() <= 20 &&
          f.minY() > 110 && f.minX() > 400 &&
          (!best || qm::host::cli::WindowFrame(*best).minY() < f.minY())) {
        best = &v;
      }
      return false;
    });
    return best;
  }

  PluginWindow& w_;
  const Options& options_;
  const Inputs& in_;
  const qm::service::Service* service_;
  qm::host::cli::HostPasses passes_;
  QuillomancerStoreClient store_;
  qm::host::cli::TakeFiles takes_;
  int step_ = 0;
  int64_t loadedEnd_ = 0;
  std::string refusal_;
};

// The web service: the embedded stand-in (with the faults and answers the options ask for) unless
// --service names another; the plug-in finds it through its environment. Null with `url` set for
// another service; null with `url` empty when the stand-in cannot start.
std::unique_ptr<qm::service::Service> StartService(const Options& options, const Inputs& in, std::string* url) {
  *url = options.service;
  if (!url->empty()) {
    setenv("QUILLOMANCER_SERVER_URL", url->c_str(), 1);
    return nullptr;
  }
  qm::service::Options serviceOptions;
  serviceOptions.transcriptText = in.spoken;
  if (options.serviceFault == "credits") serviceOptions.credits = 0;
  serviceOptions.account.messages = options.messages;
  if (!options.updateOffer.empty()) {
    serviceOptions.account.offer = qm::service::offerForVersion(options.updateOffer);
    serviceOptions.account.latestVersion = options.updateOffer;
  }
  serviceOptions.account.minimumVersion = options.minVersion;
  serviceOptions.account.updateRequired = options.updateRequired;
  auto service = std::make_unique<qm::service::Service>(serviceOptions);
  if (!service->start()) return nullptr;
  *url = service->url();
  // Offline: the stand-in's address, with nobody answering on it.
  if (options.serviceFault == "offline") service->stop();
  setenv("QUILLOMANCER_SERVER_URL", url->c_str(), 1);
  return service;
}

void PrintHeading(const Options& options, const Inputs& in, const std::string& serviceURL, bool embedded,
                  const std::string& unusedToken, bool lendToken) {
  std::printf("Quillomancer %s\n", options.command.c_str());
  std::printf("  clip: %s (%s s, %d Hz, %d channel%s)\n", options.input.c_str(),
              Seconds(in.clip->frames(), in.clip->sampleRate(), 3).c_str(), in.clip->sampleRate(), in.clip->channels(),
              in.clip->channels() == 1 ? "" : "s");
  std::printf("  selection: %s s\n", Seconds(in.selectionEnd, in.clip->sampleRate(), 3).c_str());
  std::printf("  service: %s%s%s\n", serviceURL.c_str(), embedded ? " (embedded stand-in" : "",
              !embedded ? "" : options.serviceFault.empty() ? ")" : (", fault " + options.serviceFault + ")").c_str());
  std::printf("  bundle: %s\n", options.bundle.c_str());
  if (!unusedToken.empty()) {
    std::printf("  account token: %s, not used%s\n", unusedToken.c_str(), lendToken ? "; the session lends its own" : "");
  }
}

// The window opened as a host opens it, over a session at the clip's rate whose timeline holds the
// clip and selects it. What went wrong, or nothing.
std::optional<std::string> OpenWindow(PluginWindow& window, const Options& options, const Inputs& in) {
  if (auto failed = window.Open(options.bundle)) return failed;
  window.Host().Controller().SetSampleRate(float(in.clip->sampleRate()));
  // Audio the plug-in asks the host for is read from the clip's file as it is asked for.
  window.Host().ProcessorDelegate().SetTimelineAudioReader(
      [clip = in.clip](int64_t at, int32_t count, float* const* buffers, int32_t channels) {
        if (channels > clip->channels()) {
          for (int32_t c = clip->channels(); c < channels; ++c) std::fill(buffers[c], buffers[c] + count, 0.0f);
          channels = clip->channels();
        }
        if (channels == clip->channels()) return clip->read(at, count, buffers);
        // Fewer channels than the clip has: the clip's first ones.
        std::vector<std::vector<float>> all(size_t(clip->channels()), std::vector<float>(size_t(count)));
        std::vector<float*> pointers;
        for (auto& channel : all) pointers.push_back(channel.data());
        if (!clip->read(at, count, pointers.data())) return false;
        for (int32_t c = 0; c < channels; ++c) std::copy(all[size_t(c)].begin(), all[size_t(c)].end(), buffers[c]);
        return true;
      });
  window.Host().Transport().SetTimelineSelection(0, in.selectionEnd);
  // The host's own LOAD asked for by the window's spike: the host answers, its pass follows.
  window.Host().ProcessorDelegate().OnForceAnalyze([] { return AAX_Result(AAX_SUCCESS); });
  return std::nullopt;
}

// The steps through the window, from the window opened to the last RENDER. False when one fails,
// with `error` saying why when it can.
bool RunSteps(Session& session, const Options& options, const Inputs& in, std::string* transcript,
              std::vector<std::string>* written, std::string* error) {
  if (auto failed = session.Step("opened")) return *error = *failed, false;
  if (!session.SettingsCard(error)) return false;
  if (!options.language.empty() && !session.ChooseLanguage(error)) return false;
  // Under the update lock nothing is sent whatever the language.
  if (options.language.empty() && !options.updateRequired && !session.AutomaticLanguage(error)) return false;
  std::printf("LOAD\n");
  const bool loaded = session.Load(in.clip, error);
  if (auto failed = session.Step("load")) return *error = *failed, false;
  if (!loaded) return false;
  if (options.updateRequired) {
    std::printf("Process\n");
    return session.ProcessRefused(error);
  }
  if (!session.Transcript(error)) return false;
  *transcript = session.EditorText();
  if (options.mode == "voice") {
    if (!session.VoiceChange(error)) return false;
  } else {
    if (options.mode == "change" && !session.TypeChange(*transcript, error)) return false;
    if (options.mode == "repair" && !session.PaintRepair(*transcript, error)) return false;
    if (!session.ChooseTakes(error)) return false;
  }
  std::printf(options.mode == "voice" ? "LOAD (the performance)\n" : "Process\n");
  if (!session.Process(error)) return false;
  return session.Render(written, error);
}

void PrintSummary(Session& session, const Options& options, const std::string& transcript,
                  const std::vector<std::string>& written) {
  std::printf("Summary\n");
  if (options.updateRequired) {
    std::printf("  Process refused: %s\n", session.Refusal().c_str());
  } else {
    // Only now, with this run's takes written, do an earlier run's other takes go.
    RemoveStale(options.output, kTakeFile, session.Takes());
    std::printf("  transcript: \"%s\"\n", transcript.c_str());
    std::printf("  takes: %zu written to %s\n", written.size(), options.output.c_str());
    for (const auto& file : written) std::printf("    %s\n", file.c_str());
  }
  if (!options.snapshots.empty()) std::printf("  snapshots: %s\n", options.snapshots.c_str());
}

// Why a run that stopped failed: its step's own reason, the window's status line, and for a
// selection refused the selection's length.
std::string FailureOfStoppedRun(Session& session, const Inputs& in, std::string error) {
  // A step that stops the run always fails it, whether or not it said why.
  if (error.empty()) error = "the session stopped before its end";
  const std::string status = session.StatusLine();
  error += status.empty() ? "" : " — the window says: \"" + status + "\"";
  const int32_t state = session.State();
  if (state == kQuillomancerState_SelectionTooShort || state == kQuillomancerState_SelectionTooLong) {
    error += " (the selection is " + Seconds(session.LoadedFrames(), in.clip->sampleRate()) + " s)";
  }
  return error;
}

// The session through the open window, without a desktop. What went wrong, or nothing.
std::string RunHeadless(PluginWindow& window, const Options& options, const Inputs& in,
                        const qm::service::Service* service) {
  if (!options.snapshots.empty()) {
    std::error_code ec;
    fs::create_directories(options.snapshots, ec);
    RemoveStale(options.snapshots, kSnapshotFile, {}, IsSnapshotOfAStep);
  }
  Session session(window, options, in, service);
  std::vector<std::string> written;
  std::string transcript, error;
  if (!RunSteps(session, options, in, &transcript, &written, &error)) {
    const std::string failure = FailureOfStoppedRun(session, in, error);
    if (session.PassStuck()) {
      // The pass is still inside the plug-in: neither the plug-in nor the session can be taken
      // down under it, and waiting for it would be for ever. The run ends here.
      Failure(options, failure);
      std::fflush(nullptr);
      std::_Exit(1);
    }
    return failure;
  }
  PrintSummary(session, options, transcript, written);
  return "";
}

// Runs the session with parsed options: the web service, the window opened as a host opens it,
// then the steps through the window, or the window on the desktop with LOAD and RENDER beside it.
int Run(Options& options) {
  // Before anything else starts: a desktop that cannot be reached fails the run at once.
  std::string noDesktop;
  if (options.interactive && !qm::ui::desktop::openDesktop(&noDesktop)) return Failure(options, noDesktop);
  Inputs in;
  if (auto exit = ReadInputs(options, &in)) return *exit;

  std::string serviceURL;
  std::unique_ptr<qm::service::Service> service = StartService(options, in, &serviceURL);
  if (serviceURL.empty()) return Failure(options, "cannot start the web-service stand-in on 127.0.0.1");
  // The account exchange needs a token. With none stored that the plug-in uses, the session lends
  // its own through its environment; the stored file, used or not, is never written or removed.
  std::string unusedToken;
  const bool lendToken = service && QMReadAccountToken(&unusedToken).empty();
  if (lendToken) setenv(kQMLentAccessTokenEnvironment, kSessionToken, 1);
  PrintHeading(options, in, serviceURL, service != nullptr, unusedToken, lendToken);

  PluginWindow window;
  std::string error = OpenWindow(window, options, in).value_or("");
  if (error.empty() && options.interactive) {
    std::printf("  takes go to %s\n", options.output.c_str());
    if (!RunOnDesktop(window, "qmhost " + options.command, in.clip, 0, in.selectionEnd, options.output, &error)) {
      if (error.empty()) error = "the desktop window could not be shown";
    }
  } else if (error.empty()) {
    error = RunHeadless(window, options, in, service.get());
  }
  std::fflush(stdout);
  window.Close();
  if (lendToken) unsetenv(kQMLentAccessTokenEnvironment);
  if (service) service->stop();
  if (!error.empty()) return Failure(options, error);
  return 0;
}

}  // namespace

namespace qm::host::cli {

int RunSession(int argc, char** argv) {
  Options options;
  if (auto exit = ParseArguments(argc, argv, &options)) return *exit;
  return Run(options);
}

int RunSessionWindowOnDesktop(const std::string& bundle) {
  Options options;
  options.command = "window";
  options.interactive = true;
  options.bundle = bundle;
  return Run(options);
}

}  // namespace qm::host::cli
