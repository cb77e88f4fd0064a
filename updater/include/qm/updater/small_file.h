#pragma once
// Reading the small documents the updater is handed (requests, status files).

#include <cstddef>
#include <string>

namespace qm::updater {

// Reads a whole regular file of at most `maxBytes`; throws PlatformError for anything else
// (missing, unreadable, too large, or not a regular file: a pipe cannot stall the reader).
std::string readSmallFile(const std::string& path, size_t maxBytes);

}  // namespace qm::updater
