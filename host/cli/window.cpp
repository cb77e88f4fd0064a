// `qmhost window`: opens the plug-in's window the way a host does (the bundle registered, the
// three components created and initialised, a view container holding the host's view in a
// window of ours, the timer calls, the main queue drained in between), then either writes a
// snapshot (the picture at twice the point size and the view tree as the host sees it) or shows
// the window on the desktop until the person closes it, as `qmhost session --interactive` does.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "commands.h"
#include "plugin_window.h"

namespace fs = std::filesystem;

namespace {

// Timer calls made before a snapshot: the window settles over its first few.
constexpr int kSnapshotTimerCalls = 3;

struct Options {
  std::string bundle;
  std::string snapshot;
  bool interactive = false;
};

void PrintUsage(FILE* to) {
  std::fprintf(to,
               "usage: qmhost window [--bundle PATH] (--snapshot DIR | --interactive)\n"
               "\n"
               "Opens the plug-in window as a host does and runs its first timer calls.\n"
               "  --snapshot DIR  writes DIR/window.png (the window at 2x, 960 x 316 pixels) and\n"
               "                  DIR/views.json (every view: class, frame in window points with the\n"
               "                  origin at the lower left, state, texts, layer), then closes it\n"
               "  --interactive   shows the window on the desktop until it is closed (Ctrl+Q), with\n"
               "                  the host's LOAD (F5) and RENDER (F6) beside it: the built-in clip\n"
               "                  on the timeline, the embedded service stand-in, the takes written to\n"
               "                  takes/ in the build folder (as qmhost session --interactive)\n"
               "  --bundle PATH   the plug-in bundle (default: the one built beside qmhost)\n");
}

int BadArguments(const std::string& message) { return qm::host::cli::BadArguments("window", message); }

std::optional<int> ParseArguments(int argc, char** argv, Options* options) {
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (arg == "--interactive") {
      options->interactive = true;
      continue;
    }
    if (arg != "--bundle" && arg != "--snapshot") return BadArguments("unknown argument '" + arg + "'");
    if (i + 1 >= argc || argv[i + 1][0] == '\0') return BadArguments(arg + " needs a value");
    (arg == "--bundle" ? options->bundle : options->snapshot) = argv[++i];
  }
  if (options->snapshot.empty() == !options->interactive) {
    return BadArguments("give either --snapshot DIR or --interactive");
  }
  if (options->bundle.empty()) options->bundle = qm::host::cli::DefaultBundlePath();
  return std::nullopt;
}

}  // namespace

namespace qm::host::cli {

int RunWindow(int argc, char** argv) {
  Options options;
  if (auto exit = ParseArguments(argc, argv, &options)) return *exit;
  if (options.interactive) return RunSessionWindowOnDesktop(options.bundle);
  PluginWindow open;
  if (auto error = open.Open(options.bundle)) return qm::host::cli::Failure("window", *error);
  std::printf("Quillomancer window\n  bundle: %s\n", options.bundle.c_str());
  for (int i = 0; i < kSnapshotTimerCalls; ++i) open.Tick();
  int width = 0, height = 0;
  const fs::path folder = options.snapshot;
  const std::optional<std::string> failure =
      open.WriteSnapshot(folder / "window.png", folder / "views.json", &width, &height);
  if (!failure) {
    std::printf("  window.png: %d x %d pixels\n  views.json: %s\n", width, height, (folder / "views.json").c_str());
  }
  open.Close();
  if (failure) return qm::host::cli::Failure("window", *failure);
  return 0;
}

}  // namespace qm::host::cli
