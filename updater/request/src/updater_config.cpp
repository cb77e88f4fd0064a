#include "qm/updater/updater_config.h"

namespace qm::updater {

UpdaterConfig UpdaterConfig::production() {
  UpdaterConfig c;
  // The web service's API host, the product web site, the bare product domain and the storage
  // host that holds release files.
  c.allowedUpdateHosts = {"api.quillomancer.com", "www.quillomancer.com", "quillomancer.com",
                          "releases.quillomancer-storage.net"};
  c.allowedTelemetryHosts = {"api.quillomancer.com"};
  return c;
}

}  // namespace qm::updater
