// QuillomancerUpdaterHelper apply <target> <staged> <backup> <replacing>
// Exit codes: 0 applied; 2 an error of the helper's own; 3 any other error. On failure one line
// goes to standard error; nothing is written to standard output.

#include "QuillomancerUpdaterHelper.h"

#include <string>
#include <unistd.h>
#include <vector>

#ifndef QM_HELPER_TARGET
#error "QM_HELPER_TARGET must name the one target the helper accepts"
#endif
#ifdef QM_HELPER_HOME
#include <cstdlib>
#define QM_HELPER_TEST_BUILD 1
#else
#define QM_HELPER_HOME ""
#endif

int main(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  qm::helper::QuillomancerUpdaterHelper helper(QM_HELPER_TARGET, QM_HELPER_HOME);
#ifdef QM_HELPER_TEST_BUILD
  // The test build only: faults that its tests ask for.
  if (const char* faults = std::getenv("QM_HELPER_TEST_FAULTS"))
    helper.setFaultsForTests(qm::helper::HelperFaults::parse(faults));
#endif
  std::string errorLine;
  const int code = helper.run(arguments, errorLine);
  if (!errorLine.empty()) {
    size_t done = 0;
    while (done < errorLine.size()) {
      const ssize_t n = ::write(STDERR_FILENO, errorLine.data() + done, errorLine.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  return code;
}
