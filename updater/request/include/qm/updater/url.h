#pragma once
// A strict RFC 3986 reader for the addresses the updater is given: enough to tell scheme, host
// and path apart the same way for validation, downloads and redirects. Never throws.

#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

struct ParsedUrl {
  std::string scheme;               // as written ("" for a relative reference)
  std::optional<std::string> host;  // present when the address has a non-empty host
  std::string port;                 // digits as written, may be empty
  std::string path;                 // as written, percent escapes kept
};

// Nothing when `text` is not a URI reference: characters outside RFC 3986 (blanks, controls,
// backslashes, non-ASCII), a bad scheme, a bad percent escape, a bad host or port.
// Bracketed IP literals are returned without their brackets.
std::optional<ParsedUrl> parseUrl(std::string_view text);

std::string asciiLower(std::string_view text);

// The file-name extension of the address path's last segment, as written ("" when none).
std::string pathExtension(const ParsedUrl& url);

}  // namespace qm::updater
