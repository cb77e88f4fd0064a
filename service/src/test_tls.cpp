#include "qm/service/test_tls.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace qm::service {

namespace {

struct Free {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(X509* p) const { X509_free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;
using Cert = std::unique_ptr<X509, Free>;

Key newKey() { return Key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")); }

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

// A certificate for `subjectKey` named `commonName`, signed by `issuerKey` (self-signed when
// issuer is null).
Cert makeCert(EVP_PKEY* subjectKey, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, long serial,
              bool authority) {
  Cert cert(X509_new());
  if (!cert) return nullptr;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
  X509_set_pubkey(cert.get(), subjectKey);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
  X509* signer = issuer ? issuer : cert.get();
  bool ok = true;
  if (authority) {
    ok = addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
         addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign") &&
         addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  } else {
    ok = addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE") &&
         addExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
         addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
         addExtension(cert.get(), signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
         addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
  }
  if (!ok || X509_sign(cert.get(), issuerKey, EVP_sha256()) == 0) return nullptr;
  return cert;
}

template <typename Write>
bool writePem(const std::string& path, Write write) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  const bool ok = write(f) == 1;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

std::optional<TestCertificates> makeTestCertificates(const std::string& folder) {
  Key caKey = newKey();
  Key serverKey = newKey();
  if (!caKey || !serverKey) return std::nullopt;
  Cert ca = makeCert(caKey.get(), "qmservice test authority", nullptr, caKey.get(), 1, true);
  if (!ca) return std::nullopt;
  Cert server = makeCert(serverKey.get(), "127.0.0.1", ca.get(), caKey.get(), 2, false);
  if (!server) return std::nullopt;
  TestCertificates out{folder + "/ca.pem", folder + "/server.pem", folder + "/server-key.pem"};
  if (!writePem(out.caFile, [&](FILE* f) { return PEM_write_X509(f, ca.get()); }) ||
      !writePem(out.certFile, [&](FILE* f) { return PEM_write_X509(f, server.get()); }) ||
      !writePem(out.keyFile, [&](FILE* f) {
        return PEM_write_PrivateKey(f, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr);
      }))
    return std::nullopt;
  return out;
}

}  // namespace qm::service
