#pragma once
// Code signatures of the programs the plug-in starts. A program is signed by a detached envelope
// "<program>.sig" beside it (beside the file its path resolves to), at most 4 KiB, of six lines:
//
//   qm-code-signature-v1
//   identifier <program identifier>
//   team <team identifier: ten upper-case letters or digits>
//   size <the program's size in bytes, decimal>
//   sha256 <the program's SHA-256, 64 lower-case hexadecimal digits>
//   ed25519 <signature, 128 lower-case hexadecimal digits>
//
// Every line ends in a line feed (the last one may lack it). The Ed25519 signature covers the
// first five lines exactly as they stand, line feeds included; it must verify with one of the
// public keys the caller trusts.

#include <ctime>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qm::platform {

inline constexpr size_t kCodeSignatureEnvelopeMaxBytes = 4096;

// Status numbers carried in the error codes of checkCodeSignature.
inline constexpr int kCodeRequirementInvalid = -2;    // no usable trusted key, malformed team or identifier
inline constexpr int kCodeSignatureMissing = -10;     // no envelope beside the program
inline constexpr int kCodeSignatureMalformed = -11;   // the envelope cannot be read as the six lines
inline constexpr int kCodeSignatureMismatch = -12;    // the program's size or digest differs
inline constexpr int kCodeSignatureUntrusted = -13;   // no trusted key verifies the envelope
inline constexpr int kCodeSignatureWrongSigner = -14; // signed for another team or program
inline constexpr int kCodeSignatureUnsafe = -15;      // program or folder writable by others, or a stranger's

// What a signature must satisfy.
struct CodeRequirement {
  std::string identifier;                // the program's identifier, e.g. its name
  std::string team;                      // ten upper-case letters or digits
  std::vector<std::string> trustedKeys;  // Ed25519 public keys as 64 hexadecimal digits; malformed ones are skipped
};

// The release keys of the product's developer team.
const std::vector<std::string>& builtInCodeSigningKeys();

// Enough of a file's metadata to tell whether the file at a path is still the one checked.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  mode_t mode = 0;
  uid_t owner = 0;
  timespec modified{};
  timespec changed{};
};

struct CodeSignatureCheck {
  bool valid = false;
  // "" when valid, else one of: "missing_path", "unexpected_path", "not_executable",
  // "static_code_create_<-errno>", "requirement_create_-2", "signature_invalid_<status>".
  std::string errorCode;
  std::string resolvedPath;  // the file checked (symbolic links resolved): start this one
  FileIdentity identity;     // of the file that was hashed, for isSameFile just before starting
};

// Checks the program at `path`:
//  1. an empty path: "missing_path";
//  2. `path` and `expectedPath`, links resolved, differ: "unexpected_path";
//  3. not a regular file with an execute permission the caller holds: "not_executable";
//  4. the file, opened without following links, is hashed from that descriptor; a failure to
//     open or read it: "static_code_create_<-errno>";
//  5. the requirement has no usable key or a malformed team or identifier: "requirement_create_-2";
//  6. the envelope: missing -10, malformed -11, no trusted key verifies it -13, another team or
//     identifier -14, size or digest differs -12, the program or its folder writable by group or
//     others or owned by neither root nor this user -15, as "signature_invalid_<status>".
// Never throws. [any-thread]
CodeSignatureCheck checkCodeSignature(const std::string& path, const std::string& expectedPath,
                                      const CodeRequirement& requirement) noexcept;

// The check again just before the program starts: true when the file at `path` (a symbolic link
// is not followed) is still the one `identity` describes, unchanged. [any-thread]
bool isSameFile(const std::string& path, const FileIdentity& identity) noexcept;

// "<resolvedPath>.sig"
std::string codeSignatureEnvelopePath(const std::string& resolvedPath);

// ---- Signing (the qmcodesign tool and tests) ----

struct CodeSigningKey {
  std::string privateKeyHex;  // the 32-byte Ed25519 seed, 64 hexadecimal digits
  std::string publicKeyHex;   // 64 hexadecimal digits
};

// A new key pair, or nothing when the random source or the library fails.
std::optional<CodeSigningKey> generateCodeSigningKey() noexcept;

// The public key of a private key in hexadecimal, or "" when the text is no private key.
std::string codeSigningPublicKey(const std::string& privateKeyHex) noexcept;

// Signs the program at `path` (links resolved) and writes its envelope beside it atomically with
// mode 0644. Returns "" on success, else a text saying what failed. `envelopePath` receives
// where the envelope went.
std::string signCode(const std::string& path, const std::string& privateKeyHex,
                     const std::string& identifier, const std::string& team,
                     std::string* envelopePath = nullptr) noexcept;

}  // namespace qm::platform
