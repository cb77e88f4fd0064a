#pragma once
// Turns a downloaded swap artifact (a zip archive holding the bundle, or a bundle) into a clean
// plug-in bundle in the "staging" folder of a swap operation. Archive output is not trusted:
// links that leave the staging folder are refused, and the bundle must be a real folder.

#include <string>

namespace qm::updater {

// The unzip tool the staging runs.
inline constexpr const char* kUnzipProgram = "/usr/bin/unzip";

// Stages `artifact` into "<operationRoot>/staging" and returns the staged bundle's path.
// Throws UpdaterError swap_artifact_invalid for an artifact that is not usable, and the file
// system's errors (FileOperationError, PlatformError) as they come.
std::string stagePluginBundle(const std::string& artifact, const std::string& operationRoot,
                              const std::string& unzipProgram = kUnzipProgram);

// Removes archive litter ("__MACOSX", ".DS_Store", names beginning "._") beneath `folder`,
// deepest first. Never reports a failure.
void removeArchiveJunk(const std::string& folder) noexcept;

}  // namespace qm::updater
