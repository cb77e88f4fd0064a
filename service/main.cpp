// qmservice: runs the web-service stand-in until interrupted.
//   qmservice [--port N] [--host ADDR] [--credits N] [--transcript TEXT] [--cert FILE --key FILE]
//             [--require-auth] [--verbose]
//             [--token T]... [--email E] [--offer V] [--min-version V] [--update-required]
//             [--message 'id|title|body']...
// Prints the base URL on the first line of standard output once it is listening.

#include "qm/service/service.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) { gStop = 1; }

int usage() {
  std::fprintf(stderr,
               "usage: qmservice [--port N] [--host ADDR] [--credits N] [--transcript TEXT]\n"
               "                 [--cert FILE --key FILE] [--require-auth] [--verbose]\n"
               "                 [--token T]... [--email E] [--offer V] [--min-version V] [--update-required]\n"
               "                 [--message 'id|title|body']...\n");
  return 2;
}

bool parseInt(const char* text, int low, int high, int& out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < low || value > high) return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qm::service::Options options;
  options.quiet = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--port" && hasValue) {
      if (!parseInt(argv[++i], 0, 65535, options.port)) return usage();
    } else if (arg == "--host" && hasValue) {
      options.host = argv[++i];
    } else if (arg == "--credits" && hasValue) {
      if (!parseInt(argv[++i], 0, 1 << 30, options.credits)) return usage();
    } else if (arg == "--transcript" && hasValue) {
      options.transcriptText = argv[++i];
    } else if (arg == "--cert" && hasValue) {
      options.certFile = argv[++i];
    } else if (arg == "--key" && hasValue) {
      options.keyFile = argv[++i];
    } else if (arg == "--require-auth") {
      options.requireAuth = true;
    } else if (arg == "--verbose") {
      options.quiet = false;
    } else if (arg == "--token" && hasValue) {
      options.account.tokens.push_back(argv[++i]);
    } else if (arg == "--email" && hasValue) {
      options.account.email = argv[++i];
    } else if (arg == "--offer" && hasValue) {
      options.account.offer = qm::service::offerForVersion(argv[++i]);
    } else if (arg == "--min-version" && hasValue) {
      options.account.minimumVersion = argv[++i];
    } else if (arg == "--update-required") {
      options.account.updateRequired = true;
    } else if (arg == "--message" && hasValue) {
      qm::service::AccountMessage message;
      if (!qm::service::parseAccountMessage(argv[++i], message)) return usage();
      options.account.messages.push_back(std::move(message));
    } else {
      return usage();
    }
  }
  if (options.certFile.empty() != options.keyFile.empty()) return usage();

  // Request bodies of a megabyte go straight back to the system once answered: glibc's moving
  // threshold would otherwise keep them in the arena of each of the many connection threads.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGPIPE, SIG_IGN);

  qm::service::Service service(options);
  if (!service.start()) {
    std::fprintf(stderr, "qmservice: cannot listen on %s port %d\n", options.host.c_str(), options.port);
    return 1;
  }
  std::printf("%s\n", service.url().c_str());
  std::fflush(stdout);
  while (!gStop) usleep(200 * 1000);
  service.stop();
  return 0;
}
