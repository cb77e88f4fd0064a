#include "QMHostDetection.h"

#include <fstream>
#include <initializer_list>
#include <iterator>

namespace {

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (text.find(name) != std::string_view::npos) return true;
  }
  return false;
}

// More than any program path; the rest of the command line does not matter here.
constexpr std::size_t kCommandLineReadLimit = 64 * 1024;

}  // namespace

bool QMIsMediaComposerHost(const std::optional<std::string>& hostName, std::string_view processName) {
  if (hostName && ContainsAny(*hostName, {"Media Composer", "MediaComposer", "AvidMediaComposer"})) return true;
  return ContainsAny(processName, {"AvidMediaComposer", "Media Composer", "MediaComposer"});
}

std::string QMProcessNameFromCommandLine(std::string_view commandLine) {
  const std::string_view program = commandLine.substr(0, commandLine.find('\0'));
  const std::size_t slash = program.rfind('/');
  return std::string(slash == std::string_view::npos ? program : program.substr(slash + 1));
}

std::string QMCurrentProcessName() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  if (!file) return {};
  std::string commandLine(kCommandLineReadLimit, '\0');
  file.read(commandLine.data(), static_cast<std::streamsize>(commandLine.size()));
  commandLine.resize(static_cast<std::size_t>(file.gcount()));
  return QMProcessNameFromCommandLine(commandLine);
}
