#pragma once
// Throwaway TLS material for tests of HTTPS clients against the stand-in service.

#include <optional>
#include <string>

namespace qm::service {

struct TestCertificates {
  std::string caFile;    // the authority's certificate (PEM): what a client trusts
  std::string certFile;  // the server certificate for 127.0.0.1 and localhost, signed by the authority
  std::string keyFile;   // the server's private key (PEM, unencrypted)
};

// Makes a fresh certificate authority and a server certificate signed by it (EC P-256, valid for a
// day) and writes the three PEM files into `folder` (which must exist). Each call makes a new
// authority, so two calls give certificates that do not trust each other. Nothing on failure.
std::optional<TestCertificates> makeTestCertificates(const std::string& folder);

}  // namespace qm::service
