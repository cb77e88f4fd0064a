// The subcommands of qmhost; each takes the arguments after its name and answers the
// process exit status.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace qm::host::cli {

int RunValidate(int argc, char** argv);
int RunSession(int argc, char** argv);
int RunAccount(int argc, char** argv);
int RunWindow(int argc, char** argv);

// "qmhost <command>: <message>" on stderr with a pointer to the command's --help; exit status 2.
inline int BadArguments(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "qmhost %s: %s\nTry 'qmhost %s --help'.\n", command.c_str(), message.c_str(), command.c_str());
  return 2;
}

// "qmhost <command>: <message>" on stderr; exit status 1.
inline int Failure(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "qmhost %s: %s\n", command.c_str(), message.c_str());
  return 1;
}

// The UTF-8 byte-order mark some editors put before the text they save: never part of the text.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

inline std::string WithoutByteOrderMark(std::string text) {
  if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  return text;
}

// `qmhost window --interactive`: the desktop window of `qmhost session --interactive` on the
// built-in clip and the embedded service stand-in, LOAD and RENDER beside it.
int RunSessionWindowOnDesktop(const std::string& bundle);

}  // namespace qm::host::cli
