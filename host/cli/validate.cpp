// qmhost validate <bundle>: the checks of a careful host, exit status 1 on any failure.
#include "commands.h"
#include "qm/host/bundle_validator.h"

#include <iostream>
#include <string>

namespace qm::host::cli {

int RunValidate(int argc, char** argv) {
  if (argc != 1 || std::string(argv[0]).empty()) {
    std::cerr << "usage: qmhost validate <path to .aaxplugin bundle or module>\n";
    return 2;
  }
  const ValidationResult result = ValidateBundle(argv[0], std::cout);
  std::cout.flush();
  return result.Passed() ? 0 : 1;
}

}  // namespace qm::host::cli
