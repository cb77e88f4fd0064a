#include "QMUpdaterSignature.h"

bool QMVerifyUpdaterBinaryAtPath(const std::string& path, std::string* errorCode) {
  return QMVerifyUpdaterBinaryAtPath(path, QMUpdaterSignatureConfig{}, errorCode);
}

bool QMVerifyUpdaterBinaryAtPath(const std::string& path, const QMUpdaterSignatureConfig& config,
                                 std::string* errorCode, qm::platform::CodeSignatureCheck* check) {
  qm::platform::CodeRequirement requirement{kQMUpdaterSigningIdentifier, kQMCodeSigningTeam, {}};
  if (config.trustBuiltInKeys) requirement.trustedKeys = qm::platform::builtInCodeSigningKeys();
  requirement.trustedKeys.insert(requirement.trustedKeys.end(), config.extraTrustedKeys.begin(),
                                 config.extraTrustedKeys.end());
  qm::platform::CodeSignatureCheck result = qm::platform::checkCodeSignature(path, config.expectedPath, requirement);
  if (errorCode && !result.valid) *errorCode = result.errorCode;
  const bool valid = result.valid;
  if (check) *check = std::move(result);
  return valid;
}
