// Signature envelopes from untrusted bytes: the check must never crash, and no envelope but the
// one the key really signed may pass (the key is made afresh for every run, so nothing is forged).
#include "qm/platform/code_signature.h"
#include "qm/platform/files.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

struct Fixture {
  std::string folder, program, genuine;
  qm::platform::CodeRequirement requirement;

  Fixture() {
    char tmpl[] = "/tmp/qm-fuzz-codesign-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) std::abort();
    folder = tmpl;
    ::chmod(folder.c_str(), 0755);
    program = folder + "/prog";
    if (qm::platform::writeFileAtomic(program, "#!/bin/sh\nexit 0\n", 0755) != 0) std::abort();
    const auto key = qm::platform::generateCodeSigningKey();
    if (!key || !qm::platform::signCode(program, key->privateKeyHex, "QuillomancerUpdater", "QM4T7R2N9X").empty())
      std::abort();
    if (!qm::platform::readFile(program + ".sig", genuine)) std::abort();
    requirement = {"QuillomancerUpdater", "QM4T7R2N9X", {key->publicKeyHex}};
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(fixture().folder, ignored);
    });
  }
  // Never destroyed, so the clean-up at exit still finds the folder's name.
  static Fixture& fixture() {
    static Fixture* f = new Fixture;
    return *f;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = Fixture::fixture();
  const std::string envelope(reinterpret_cast<const char*>(data), size);
  if (qm::platform::writeFileAtomic(f.program + ".sig", envelope, 0644) != 0) return 0;
  const auto check = qm::platform::checkCodeSignature(f.program, f.program, f.requirement);
  // The genuine envelope, with or without its last line feed, is the only one that passes.
  const bool genuine = envelope == f.genuine || envelope + "\n" == f.genuine;
  if (check.valid != genuine) std::abort();
  return 0;
}
