// qmhost validate <bundle>: the checks of a careful host, exit status 1 on any failure.
#include "commands.h"
#include "qm/host/bundle_validator.h"
#include "qm/service/service.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace qm::host::cli {

namespace {

// The plug-in's service calls answered by the stand-in, its transcriptions a second late, so that
// the job an analysis pass starts still runs when the validator closes the window.
constexpr double kTranscribeDelaySeconds = 1.0;

void PrintUsage(std::ostream& to) { to << "usage: qmhost validate <path to .aaxplugin bundle or module>\n"; }

}  // namespace

int RunValidate(int argc, char** argv) {
  if (argc == 1 && (std::string(argv[0]) == "--help" || std::string(argv[0]) == "-h")) {
    PrintUsage(std::cout);
    return 0;
  }
  if (argc != 1 || std::string(argv[0]).empty()) {
    PrintUsage(std::cerr);
    return 2;
  }
  // The plug-in under test talks to the web-service stand-in on loopback, never to the network.
  qm::service::Service service;
  qm::service::Fault late;
  late.delaySeconds = kTranscribeDelaySeconds;
  service.setFault(qm::service::kTranscribe, late);
  if (!service.start()) {
    std::cerr << "qmhost validate: cannot start the web-service stand-in on 127.0.0.1\n";
    return 1;
  }
  setenv("QUILLOMANCER_SERVER_URL", service.url().c_str(), 1);
  std::cout << "service: the web-service stand-in at " << service.url() << '\n';
  const ValidationResult result = ValidateBundle(argv[0], std::cout);
  std::cout.flush();
  service.stop();
  return result.Passed() ? 0 : 1;
}

}  // namespace qm::host::cli
