// Normalisation and validation of the swap helper's four paths. Validation only reads file
// metadata; the swap itself is never run here.
#include "QuillomancerUpdaterHelper.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string kRoot = "/tmp/qm-fuzz-home/Library/Application Support/Quillomancer/Updates/SwapState/operations";

bool isNormal(const std::string& p) {
  if (p.empty() || p[0] != '/') return false;
  if (p.size() > 1 && p.back() == '/') return false;
  return p.find("//") == std::string::npos && p.find("/./") == std::string::npos &&
         p.find("/../") == std::string::npos && !(p.size() >= 2 && p.compare(p.size() - 2, 2, "/.") == 0) &&
         !(p.size() >= 3 && p.compare(p.size() - 3, 3, "/..") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size && parts.size() <= 4; ++i) {
    if (data[i] == '\n') parts.emplace_back();
    else parts.back().push_back(static_cast<char>(data[i]));
  }
  while (parts.size() < 4) parts.emplace_back();

  for (const auto& p : parts) {
    const std::string n = qm::helper::normalizePath(p);
    if (!isNormal(n) || qm::helper::normalizePath(n) != n) std::abort();
  }

  const qm::helper::QuillomancerUpdaterHelper helper("/tmp/qm-fuzz-target/Quillomancer.aaxplugin", "/tmp/qm-fuzz-home");
  try {
    const auto checked = helper.validate(parts[0], parts[1], parts[2], parts[3]);
    // Accepted paths lie strictly inside the operations root and are distinct.
    for (const std::string* p : {&checked.staged, &checked.backup, &checked.replacing})
      if (p->compare(0, kRoot.size() + 1, kRoot + "/") != 0 || p->size() <= kRoot.size() + 1) std::abort();
    if (checked.staged == checked.backup || checked.backup == checked.replacing || checked.staged == checked.replacing)
      std::abort();
  } catch (const qm::helper::HelperError&) {
  } catch (const qm::helper::SystemError&) {
  }
  return 0;
}
