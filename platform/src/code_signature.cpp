#include "qm/platform/code_signature.h"

#include "qm/platform/files.h"
#include "qm/platform/sha256.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::platform {

namespace {

constexpr std::string_view kMagic = "qm-code-signature-v1";
constexpr size_t kKeyBytes = 32;
constexpr size_t kSignatureBytes = 64;

// ---- small texts ----

bool isLowerHex(std::string_view text) {
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal text (either case) of exactly `size` bytes.
std::optional<std::vector<unsigned char>> fromHex(std::string_view text, size_t size) {
  if (text.size() != size * 2) return std::nullopt;
  std::vector<unsigned char> out(size);
  for (size_t i = 0; i < size; ++i) {
    const int hi = hexValue(text[2 * i]);
    const int lo = hexValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = static_cast<unsigned char>(hi * 16 + lo);
  }
  return out;
}

bool isTeamText(std::string_view team) {
  if (team.size() != 10) return false;
  for (const char c : team)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

bool isIdentifierText(std::string_view id) {
  if (id.empty() || id.size() > 128) return false;
  for (const char c : id) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

// Decimal digits without a leading zero (except "0") that fit 64 bits.
std::optional<unsigned long long> parseSize(std::string_view text) {
  if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  unsigned long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const unsigned long long digit = static_cast<unsigned long long>(c - '0');
    if (value > (ULLONG_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string signatureCode(int status) { return "signature_invalid_" + std::to_string(status); }

// ---- files ----

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

// The path with its symbolic links resolved; the path as given when it cannot be resolved (a
// file that does not exist then fails later, as not executable).
std::string resolvePath(const std::string& path) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) != nullptr) return buffer;
  return path;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

FileIdentity identityOf(const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.mode = st.st_mode;
  id.owner = st.st_uid;
  id.modified = st.st_mtim;
  id.changed = st.st_ctim;
  return id;
}

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool isRegularExecutable(const struct stat& st) {
  return S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

// Writable by group or others, or owned by neither root nor this user.
bool isUnsafe(const struct stat& st) {
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return true;
  return st.st_uid != 0 && st.st_uid != ::geteuid();
}

// ---- the envelope ----

struct Envelope {
  std::string signedPart;  // the first five lines with their line feeds
  std::string identifier;
  std::string team;
  unsigned long long size = 0;
  std::string sha256;
  std::vector<unsigned char> signature;
};

// The value after "<key> " on a line, or nothing.
std::optional<std::string_view> field(std::string_view line, std::string_view key) {
  if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key || line[key.size()] != ' ')
    return std::nullopt;
  return line.substr(key.size() + 1);
}

std::optional<Envelope> parseEnvelope(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  size_t signedEnd = 0;
  while (start < text.size() && lines.size() < 7) {
    const size_t nl = text.find('\n', start);
    const size_t end = nl == std::string_view::npos ? text.size() : nl;
    lines.push_back(text.substr(start, end - start));
    start = nl == std::string_view::npos ? text.size() : nl + 1;
    if (lines.size() == 5) signedEnd = start;
  }
  if (lines.size() != 6 || start != text.size()) return std::nullopt;
  if (lines[0] != kMagic) return std::nullopt;
  Envelope e;
  const auto id = field(lines[1], "identifier");
  const auto team = field(lines[2], "team");
  const auto size = field(lines[3], "size");
  const auto digest = field(lines[4], "sha256");
  const auto sig = field(lines[5], "ed25519");
  if (!id || !team || !size || !digest || !sig) return std::nullopt;
  if (!isIdentifierText(*id) || team->empty() || team->size() > 64) return std::nullopt;
  for (const char c : *team)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return std::nullopt;
  const auto sizeValue = parseSize(*size);
  if (!sizeValue || digest->size() != 64 || !isLowerHex(*digest)) return std::nullopt;
  if (sig->size() != kSignatureBytes * 2 || !isLowerHex(*sig)) return std::nullopt;
  e.signedPart = std::string(text.substr(0, signedEnd));
  e.identifier = std::string(*id);
  e.team = std::string(*team);
  e.size = *sizeValue;
  e.sha256 = std::string(*digest);
  e.signature = *fromHex(*sig, kSignatureBytes);
  return e;
}

// Reads the envelope beside the program: 0 with the text, else the status to report.
int readEnvelope(const std::string& envelopePath, std::string& text) {
  Fd f(::open(envelopePath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (f.fd < 0) return errno == ENOENT ? kCodeSignatureMissing : kCodeSignatureMalformed;
  struct stat st {};
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size > static_cast<off_t>(kCodeSignatureEnvelopeMaxBytes))
    return kCodeSignatureMalformed;
  char buf[kCodeSignatureEnvelopeMaxBytes + 1];
  size_t got = 0;
  while (got < sizeof buf) {
    const ssize_t n = ::read(f.fd, buf + got, sizeof buf - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return kCodeSignatureMalformed;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  if (got > kCodeSignatureEnvelopeMaxBytes) return kCodeSignatureMalformed;
  text.assign(buf, got);
  return 0;
}

// ---- Ed25519 over OpenSSL ----

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

bool verifiesWith(const std::vector<unsigned char>& publicKey, const Envelope& e) {
  Pkey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
  MdCtx ctx(EVP_MD_CTX_new());
  if (!key || !ctx) return false;
  if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
  return EVP_DigestVerify(ctx.get(), e.signature.data(), e.signature.size(),
                          reinterpret_cast<const unsigned char*>(e.signedPart.data()),
                          e.signedPart.size()) == 1;
}

Pkey privateKeyFromHex(const std::string& hex) {
  const auto seed = fromHex(hex, kKeyBytes);
  if (!seed) return nullptr;
  return Pkey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed->data(), seed->size()));
}

std::string publicHexOf(EVP_PKEY* key) {
  unsigned char raw[kKeyBytes];
  size_t len = sizeof raw;
  if (EVP_PKEY_get_raw_public_key(key, raw, &len) != 1 || len != kKeyBytes) return {};
  return toHex(raw, len);
}

CodeSignatureCheck fail(std::string code) {
  CodeSignatureCheck c;
  c.errorCode = std::move(code);
  return c;
}

CodeSignatureCheck check(const std::string& path, const std::string& expectedPath,
                         const CodeRequirement& requirement) {
  if (path.empty()) return fail("missing_path");
  const std::string resolved = resolvePath(path);
  if (resolved != resolvePath(expectedPath)) return fail("unexpected_path");

  struct stat st {};
  if (::stat(resolved.c_str(), &st) != 0 || !isRegularExecutable(st) || ::access(resolved.c_str(), X_OK) != 0)
    return fail("not_executable");
  // O_NONBLOCK: should the file have been replaced by a pipe since, opening must not hang.
  Fd program(::open(resolved.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (program.fd < 0) return fail("static_code_create_" + std::to_string(-errno));
  struct stat opened {};
  if (::fstat(program.fd, &opened) != 0) return fail("static_code_create_" + std::to_string(-errno));
  if (!isRegularExecutable(opened)) return fail("not_executable");
  std::string digest;
  unsigned long long bytes = 0;
  int err = 0;
  if (!sha256Descriptor(program.fd, digest, &err, &bytes)) return fail("static_code_create_" + std::to_string(-err));

  std::vector<std::vector<unsigned char>> keys;
  for (const auto& k : requirement.trustedKeys)
    if (auto raw = fromHex(k, kKeyBytes)) keys.push_back(std::move(*raw));
  if (keys.empty() || !isTeamText(requirement.team) || !isIdentifierText(requirement.identifier))
    return fail("requirement_create_" + std::to_string(kCodeRequirementInvalid));

  std::string text;
  if (const int status = readEnvelope(codeSignatureEnvelopePath(resolved), text)) return fail(signatureCode(status));
  const auto envelope = parseEnvelope(text);
  if (!envelope) return fail(signatureCode(kCodeSignatureMalformed));
  bool trusted = false;
  for (const auto& k : keys) trusted = trusted || verifiesWith(k, *envelope);
  if (!trusted) return fail(signatureCode(kCodeSignatureUntrusted));
  if (envelope->team != requirement.team || envelope->identifier != requirement.identifier)
    return fail(signatureCode(kCodeSignatureWrongSigner));
  if (envelope->size != bytes || static_cast<unsigned long long>(opened.st_size) != bytes ||
      envelope->sha256 != digest)
    return fail(signatureCode(kCodeSignatureMismatch));
  struct stat folder {};
  if (isUnsafe(opened) || ::stat(folderOf(resolved).c_str(), &folder) != 0 || isUnsafe(folder))
    return fail(signatureCode(kCodeSignatureUnsafe));

  CodeSignatureCheck ok;
  ok.valid = true;
  ok.resolvedPath = resolved;
  ok.identity = identityOf(opened);
  return ok;
}

}  // namespace

const std::vector<std::string>& builtInCodeSigningKeys() {
  // The developer team's release key; its private half lives with the release signing, not here.
  static const std::vector<std::string> keys = {
      "2a9d3fb56a5d80a41334f94775e3dfb6be6606f7e101c6140eed8a3e87ef75fd",
  };
  return keys;
}

std::string codeSignatureEnvelopePath(const std::string& resolvedPath) { return resolvedPath + ".sig"; }

CodeSignatureCheck checkCodeSignature(const std::string& path, const std::string& expectedPath,
                                      const CodeRequirement& requirement) noexcept {
  try {
    return check(path, expectedPath, requirement);
  } catch (...) {
    // Only allocation can throw above.
    return fail("static_code_create_" + std::to_string(-ENOMEM));
  }
}

bool isSameFile(const std::string& path, const FileIdentity& identity) noexcept {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  const FileIdentity now = identityOf(st);
  return now.device == identity.device && now.inode == identity.inode && now.size == identity.size &&
         now.mode == identity.mode && now.owner == identity.owner && sameTime(now.modified, identity.modified) &&
         sameTime(now.changed, identity.changed);
}

std::optional<CodeSigningKey> generateCodeSigningKey() noexcept {
  try {
    unsigned char seed[kKeyBytes];
    if (RAND_bytes(seed, sizeof seed) != 1) return std::nullopt;
    CodeSigningKey key;
    key.privateKeyHex = toHex(seed, sizeof seed);
    OPENSSL_cleanse(seed, sizeof seed);
    key.publicKeyHex = codeSigningPublicKey(key.privateKeyHex);
    if (key.publicKeyHex.empty()) return std::nullopt;
    return key;
  } catch (...) {
    return std::nullopt;
  }
}

std::string codeSigningPublicKey(const std::string& privateKeyHex) noexcept {
  try {
    Pkey key = privateKeyFromHex(privateKeyHex);
    return key ? publicHexOf(key.get()) : std::string();
  } catch (...) {
    return {};
  }
}

std::string signCode(const std::string& path, const std::string& privateKeyHex, const std::string& identifier,
                     const std::string& team, std::string* envelopePath) noexcept {
  try {
    if (!isIdentifierText(identifier)) return "the identifier must be 1 to 128 letters, digits, '.', '-' or '_'";
    if (!isTeamText(team)) return "the team must be ten upper-case letters or digits";
    Pkey key = privateKeyFromHex(privateKeyHex);
    if (!key) return "the private key is not 64 hexadecimal digits";
    const std::string resolved = resolvePath(path);
    Fd program(::open(resolved.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (program.fd < 0) return resolved + ": " + std::strerror(errno);
    struct stat st {};
    if (::fstat(program.fd, &st) != 0 || !S_ISREG(st.st_mode)) return resolved + ": not a regular file";
    std::string digest;
    unsigned long long bytes = 0;
    int err = 0;
    if (!sha256Descriptor(program.fd, digest, &err, &bytes)) return resolved + ": " + std::strerror(err);

    std::string text = std::string(kMagic) + "\nidentifier " + identifier + "\nteam " + team + "\nsize " +
                       std::to_string(bytes) + "\nsha256 " + digest + "\n";
    MdCtx ctx(EVP_MD_CTX_new());
    unsigned char sig[kSignatureBytes];
    size_t sigLen = sizeof sig;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), sig, &sigLen, reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1 ||
        sigLen != kSignatureBytes)
      return "signing failed";
    text += "ed25519 " + toHex(sig, sigLen) + "\n";
    const std::string out = codeSignatureEnvelopePath(resolved);
    if ((err = writeFileAtomic(out, text, 0644)) != 0) return out + ": " + std::strerror(err);
    if (envelopePath) *envelopePath = out;
    return {};
  } catch (...) {
    return "out of memory";
  }
}

}  // namespace qm::platform
