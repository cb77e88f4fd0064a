#pragma once
// The check that the installed updater program is the one signed by the product's developer
// team, before the plug-in starts it.

#include "qm/platform/code_signature.h"

#include <string>
#include <vector>

// Where the updater is installed, the only path the plug-in starts.
inline constexpr const char* kQMUpdaterPath = "/Library/Application Support/Quillomancer/Updater/QuillomancerUpdater";
// The program identifier and the code-signing team its signature must name.
inline constexpr const char* kQMUpdaterSigningIdentifier = "QuillomancerUpdater";
inline constexpr const char* kQMCodeSigningTeam = "QM4T7R2N9X";

// What the check trusts. The default is the installed updater and the built-in release keys;
// tests name their own path and keys here (never through the environment).
struct QMUpdaterSignatureConfig {
  std::string expectedPath = kQMUpdaterPath;
  std::vector<std::string> extraTrustedKeys;  // Ed25519 public keys, 64 hexadecimal digits
  bool trustBuiltInKeys = true;
};

// True when the program at `path` resolves to the configured updater and carries a valid
// signature of the team; otherwise false with the reason in *errorCode: "missing_path",
// "unexpected_path", "not_executable", "static_code_create_%d", "requirement_create_%d" or
// "signature_invalid_%d". `check` (optional) receives the whole result: the resolved path to
// start and the identity to compare just before starting. [any-thread]
bool QMVerifyUpdaterBinaryAtPath(const std::string& path, std::string* errorCode = nullptr);
bool QMVerifyUpdaterBinaryAtPath(const std::string& path, const QMUpdaterSignatureConfig& config,
                                 std::string* errorCode, qm::platform::CodeSignatureCheck* check = nullptr);
