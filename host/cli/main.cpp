// qmhost: the host stand-in. Dispatches to its subcommands.
#include "commands.h"

#include "qm/platform/dispatch.h"

#include <malloc.h>

#include <cstring>
#include <exception>
#include <iostream>

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

const Command kCommands[] = {
    {"validate", qm::host::cli::RunValidate, "validate <bundle>   load a plug-in bundle and run the host's checks on it"},
    {"session", qm::host::cli::RunSession, "session [options]   run an editing session on a clip (see session --help)"},
    {"account", qm::host::cli::RunAccount,
     "account set-token - | set-token TOKEN | clear\n"
     "                      store the account access token (read from standard input with -) or remove it"},
    {"window", qm::host::cli::RunWindow, "window [options]    open the plug-in window: a snapshot, or on the desktop (see window --help)"},
};

// The commands on `to`: standard output when asked for with --help, standard error otherwise.
void PrintUsage(std::ostream& to) {
  to << "usage: qmhost <command> [arguments]\n       qmhost --help\ncommands:\n";
  for (const Command& command : kCommands) to << "  " << command.summary << '\n';
}

int Usage() {
  PrintUsage(std::cerr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // This thread is the host's main thread: it makes the window's calls and runs the main queue,
  // which the plug-in shares with the host.
  qm::platform::setCurrentThreadAsMain();
  // Audio buffers of a quarter megabyte and more are mapped on their own and given back when they
  // are freed, as an audio host's allocator does, rather than left in the heap once the allocator
  // has raised its own threshold.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  if (argc < 2) return Usage();
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(std::cout);
    return 0;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    try {
      return command.run(argc - 2, argv + 2);
    } catch (const std::exception& error) {
      std::cerr << "qmhost " << command.name << ": " << error.what() << '\n';
    } catch (...) {
      std::cerr << "qmhost " << command.name << ": unexpected failure\n";
    }
    return 1;
  }
  std::cerr << "qmhost: unknown command \"" << argv[1] << "\"\n";
  return Usage();
}
