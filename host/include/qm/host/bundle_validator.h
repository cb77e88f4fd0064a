// The checks a careful host runs on a plug-in bundle, reported in plain words: load and
// entry points, start-up, SDK version, registration with a readable dump of what was
// described, each component created, initialised against a fake host and released, the
// saved-state chunk round trip byte for byte, render passes at several sample rates and block
// sizes with no NaN, infinity or denormal in the output, the window opened, closed and opened
// again, a window closed while a render pass runs and one closed while the work an analysis
// pass started still runs, the unload query, shut-down and unload, all of it twice (cold and
// warm), with every host reference balanced.
#pragma once

#include <ostream>
#include <string>

namespace qm::host {

struct ValidationResult {
  int checks = 0;
  int failures = 0;
  bool Passed() const { return failures == 0 && checks > 0; }
};

// Writes one line per check ("PASS ..." / "FAIL ...") and the dump to `out`.
ValidationResult ValidateBundle(const std::string& bundlePath, std::ostream& out);

}  // namespace qm::host
