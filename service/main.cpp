// qmservice: runs the web-service stand-in until interrupted.
//   qmservice [--port N] [--host ADDR] [--credits N] [--transcript TEXT] [--cert FILE --key FILE]
//             [--require-auth] [--verbose]
//             [--token T]... [--email E] [--offer V [--offer-package URL]] [--min-version V]
//             [--update-required] [--message 'id|title|body']...
//   qmservice --help | -h
// Prints the base URL on the first line of standard output once it is listening.

#include "qm/service/service.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) { gStop = 1; }

constexpr const char* kSynopsis =
    "usage: qmservice [--port N] [--host ADDR] [--credits N] [--transcript TEXT]\n"
    "                 [--cert FILE --key FILE] [--require-auth] [--verbose]\n"
    "                 [--token T]... [--email E] [--offer V [--offer-package URL]] [--min-version V]\n"
    "                 [--update-required] [--message 'id|title|body']...\n"
    "       qmservice --help | -h\n";

int usage() {
  std::fputs(kSynopsis, stderr);
  return 2;
}

int help() {
  std::fputs(kSynopsis, stdout);
  std::fputs(
      "\n"
      "The web-service stand-in: every endpoint the plug-in calls, until interrupted. Prints its base\n"
      "URL on the first line once it listens.\n"
      "\n"
      "  --port N             port to listen on, 0 to 65535 (default 0: a free port)\n"
      "  --host ADDR          address to listen on (default 127.0.0.1)\n"
      "  --credits N          the account's credit balance, 0 to 1073741824 (default 100)\n"
      "  --transcript TEXT    what transcription hears in every clip\n"
      "                       (default \"this is the line as spoken\")\n"
      "  --cert FILE          PEM certificate: serve HTTPS (needs --key; default plain HTTP)\n"
      "  --key FILE           PEM private key of --cert (default none; --cert needs it)\n"
      "  --require-auth       transcribe and generate answer 401 without a bearer token\n"
      "                       (default: they take requests without one)\n"
      "  --verbose            one line per request on standard error (default quiet)\n"
      "  --token T            a bearer token the account-status exchange accepts; repeat for more\n"
      "                       (default: any non-empty token)\n"
      "  --email E            the account's e-mail address in the account answer (default none)\n"
      "  --offer V            offer version V as the newest and as the update's target\n"
      "                       (default: no offer; the newest is the installed version)\n"
      "  --offer-package URL  the offer's installer package address, as sent, whatever it is\n"
      "                       (needs --offer; default on the release storage host)\n"
      "  --min-version V      the oldest supported version (default none)\n"
      "  --update-required    tell the plug-in it must update (default off)\n"
      "  --message 'id|title|body'\n"
      "                       a message for the user in the account answer; repeat for more\n"
      "                       (default none)\n"
      "  --help, -h           this text\n",
      stdout);
  return 0;
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
  std::optional<std::string> offerPackage;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      return help();
    } else if (arg == "--port" && hasValue) {
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
    } else if (arg == "--offer-package" && hasValue) {
      offerPackage = argv[++i];
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
  if (offerPackage) {
    if (!options.account.offer) return usage();
    options.account.offer->pkgURL = *offerPackage;
  }

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
