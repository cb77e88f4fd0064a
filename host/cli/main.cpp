// qmhost: the host stand-in. Dispatches to its subcommands.
#include "commands.h"

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
};

int Usage() {
  std::cerr << "usage: qmhost <command> [arguments]\ncommands:\n";
  for (const Command& command : kCommands) std::cerr << "  " << command.summary << '\n';
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
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
