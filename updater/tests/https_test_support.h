#pragma once
// The web-service stand-in over loopback HTTPS for the updater's tests: a certificate authority
// made for the tests (once per test program) and a server certificate for 127.0.0.1 and
// localhost signed by it.

#include "qm/platform/process.h"
#include "qm/service/service.h"
#include "qm/updater/updater_config.h"
#include "updater_test_support.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace qm::updater::testing {

struct TestPki {
  TempDir dir;
  std::string caFile, certFile, keyFile;
  bool ok = false;

  TestPki() {
    const std::string d = dir.str();
    caFile = d + "/ca.pem";
    certFile = d + "/server.pem";
    keyFile = d + "/server.key";
    { std::ofstream(d + "/san.ext") << "subjectAltName=IP:127.0.0.1,DNS:localhost\n"; }
    const std::vector<std::vector<std::string>> steps = {
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Quillomancer Test CA",
         "-keyout", d + "/ca.key", "-out", caFile},
        {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", keyFile, "-out", d + "/server.csr"},
        {"x509", "-req", "-in", d + "/server.csr", "-CA", caFile, "-CAkey", d + "/ca.key", "-CAcreateserial",
         "-days", "2", "-extfile", d + "/san.ext", "-out", certFile},
    };
    qm::platform::ProcessOptions o;
    o.timeoutSeconds = 60;
    for (const auto& s : steps)
      if (qm::platform::runProcess("openssl", s, o).exitCode != 0) return;
    ok = true;
  }
};

// Made on first use; `ok` is false when openssl could not make it (the tests then skip).
inline TestPki& testPki() {
  static TestPki pki;
  return pki;
}

// An HTTPS stand-in service with the test certificate, not yet started.
inline std::unique_ptr<qm::service::Service> makeHttpsService() {
  qm::service::Options o;
  o.certFile = testPki().certFile;
  o.keyFile = testPki().keyFile;
  return std::make_unique<qm::service::Service>(o);
}

// Lets `config` reach the stand-in: 127.0.0.1 allowed for downloads and telemetry, the test
// authority trusted.
inline void trustTestService(UpdaterConfig& config) {
  config.allowedUpdateHosts = {"127.0.0.1"};
  config.allowedTelemetryHosts = {"127.0.0.1"};
  config.caFile = testPki().caFile;
}

}  // namespace qm::updater::testing
