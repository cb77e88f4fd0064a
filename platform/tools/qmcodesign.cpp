// qmcodesign: makes Ed25519 signing keys, signs a program with a detached envelope beside it and
// checks such a signature the way the plug-in does before it starts the updater.
//
//   qmcodesign keygen <private-key-file> <public-key-file>
//   qmcodesign sign --key <private-key-file> [--identifier ID] [--team TEAM] <program>
//   qmcodesign verify [--key <public-key-file>]... [--no-built-in-keys] [--identifier ID]
//                     [--team TEAM] [--expected-path PATH] <program>
//
// verify prints "ok" and exits 0, or prints the error code and exits 1; a wrong command line
// exits 2. Key files hold one line, "<kind> <64 hexadecimal digits>"; the private one is created
// with mode 0600 and neither file is ever overwritten.

#include "qm/platform/code_signature.h"
#include "qm/platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace qm::platform;

constexpr std::string_view kPrivateKind = "qm-ed25519-private-key";
constexpr std::string_view kPublicKind = "qm-ed25519-public-key";
constexpr const char* kDefaultIdentifier = "QuillomancerUpdater";
constexpr const char* kDefaultTeam = "QM4T7R2N9X";

int usage() {
  std::fputs(
      "usage: qmcodesign keygen <private-key-file> <public-key-file>\n"
      "       qmcodesign sign --key <private-key-file> [--identifier ID] [--team TEAM] <program>\n"
      "       qmcodesign verify [--key <public-key-file>]... [--no-built-in-keys] [--identifier ID]\n"
      "                         [--team TEAM] [--expected-path PATH] <program>\n",
      stderr);
  return 2;
}

bool writeNewFile(const std::string& path, const std::string& text, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    std::fprintf(stderr, "qmcodesign: %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok) std::fprintf(stderr, "qmcodesign: %s: write failed\n", path.c_str());
  return ok;
}

// The hexadecimal key of a key file of the given kind, or "" (with a message) when it is none.
std::string readKeyFile(const std::string& path, std::string_view kind) {
  std::string text;
  if (!readFile(path, text, 1024)) {
    std::fprintf(stderr, "qmcodesign: %s: cannot be read\n", path.c_str());
    return {};
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  const std::string prefix = std::string(kind) + " ";
  if (text.rfind(prefix, 0) != 0 || text.size() != prefix.size() + 64) {
    std::fprintf(stderr, "qmcodesign: %s: not a %.*s file\n", path.c_str(), static_cast<int>(kind.size()),
                 kind.data());
    return {};
  }
  return text.substr(prefix.size());
}

int keygen(const std::vector<std::string>& args) {
  if (args.size() != 2) return usage();
  const auto key = generateCodeSigningKey();
  if (!key) {
    std::fputs("qmcodesign: no key could be made\n", stderr);
    return 1;
  }
  if (!writeNewFile(args[0], std::string(kPrivateKind) + " " + key->privateKeyHex + "\n", 0600)) return 1;
  if (!writeNewFile(args[1], std::string(kPublicKind) + " " + key->publicKeyHex + "\n", 0644)) return 1;
  std::printf("%s\n", key->publicKeyHex.c_str());
  return 0;
}

struct Options {
  std::vector<std::string> keyFiles;
  std::string identifier = kDefaultIdentifier;
  std::string team = kDefaultTeam;
  std::string expectedPath;
  bool builtInKeys = true;
  std::string program;
};

// Parses the options of sign and verify; false on a wrong command line.
bool parseOptions(const std::vector<std::string>& args, bool verifying, Options& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--key" && hasValue) {
      o.keyFiles.push_back(args[++i]);
    } else if (a == "--identifier" && hasValue) {
      o.identifier = args[++i];
    } else if (a == "--team" && hasValue) {
      o.team = args[++i];
    } else if (verifying && a == "--expected-path" && hasValue) {
      o.expectedPath = args[++i];
    } else if (verifying && a == "--no-built-in-keys") {
      o.builtInKeys = false;
    } else if (a.rfind("--", 0) != 0 && o.program.empty() && i + 1 == args.size()) {
      o.program = a;
    } else {
      return false;
    }
  }
  return !o.program.empty();
}

int sign(const std::vector<std::string>& args) {
  Options o;
  if (!parseOptions(args, false, o) || o.keyFiles.size() != 1) return usage();
  const std::string privateKey = readKeyFile(o.keyFiles[0], kPrivateKind);
  if (privateKey.empty()) return 1;
  std::string envelope;
  const std::string error = signCode(o.program, privateKey, o.identifier, o.team, &envelope);
  if (!error.empty()) {
    std::fprintf(stderr, "qmcodesign: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", envelope.c_str());
  return 0;
}

int verify(const std::vector<std::string>& args) {
  Options o;
  if (!parseOptions(args, true, o)) return usage();
  CodeRequirement requirement{o.identifier, o.team, {}};
  if (o.builtInKeys) requirement.trustedKeys = builtInCodeSigningKeys();
  for (const auto& file : o.keyFiles) {
    const std::string key = readKeyFile(file, kPublicKind);
    if (key.empty()) return 1;
    requirement.trustedKeys.push_back(key);
  }
  const std::string expected = o.expectedPath.empty() ? o.program : o.expectedPath;
  const CodeSignatureCheck check = checkCodeSignature(o.program, expected, requirement);
  std::printf("%s\n", check.valid ? "ok" : check.errorCode.c_str());
  return check.valid ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "keygen") return keygen(args);
    if (command == "sign") return sign(args);
    if (command == "verify") return verify(args);
    return usage();
  } catch (...) {
    std::fputs("qmcodesign: out of memory\n", stderr);
    return 1;
  }
}
