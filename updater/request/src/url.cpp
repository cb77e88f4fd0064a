#include "qm/updater/url.h"

namespace qm::updater {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
  switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}

// Every character is unreserved, a sub-delimiter, one of `extra`, or a valid percent escape.
bool validComponent(std::string_view s, std::string_view extra) {
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '%') {
      if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
      i += 2;
      continue;
    }
    if (!isUnreserved(c) && !isSubDelim(c) && extra.find(c) == std::string_view::npos) return false;
  }
  return true;
}

bool validIpLiteral(std::string_view s) {
  // IPv6 (hex digits, colons, dots for an embedded IPv4) or IPvFuture ("v" hex "." ...).
  if (s.empty()) return false;
  if (s[0] == 'v' || s[0] == 'V') return validComponent(s.substr(1), ":");
  for (const char c : s)
    if (!isHex(c) && c != ':' && c != '.') return false;
  return s.find(':') != std::string_view::npos;
}

}  // namespace

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (auto& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::optional<ParsedUrl> parseUrl(std::string_view text) {
  ParsedUrl url;
  std::string_view rest = text;

  // Fragment and query: checked for allowed characters, otherwise unused.
  if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
    if (!validComponent(rest.substr(hash + 1), ":@/?")) return std::nullopt;
    rest = rest.substr(0, hash);
  }
  if (const auto q = rest.find('?'); q != std::string_view::npos) {
    if (!validComponent(rest.substr(q + 1), ":@/?")) return std::nullopt;
    rest = rest.substr(0, q);
  }

  // Scheme: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":" before any "/".
  const auto colon = rest.find(':');
  const auto slash = rest.find('/');
  if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
    const std::string_view scheme = rest.substr(0, colon);
    if (scheme.empty() || !isAlpha(scheme[0])) return std::nullopt;
    for (const char c : scheme)
      if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    url.scheme = std::string(scheme);
    rest = rest.substr(colon + 1);
  }

  if (rest.substr(0, 2) == "//") {
    rest = rest.substr(2);
    const auto end = rest.find('/');
    std::string_view authority = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
      if (!validComponent(authority.substr(0, at), ":")) return std::nullopt;
      authority = authority.substr(at + 1);
    }
    std::string_view host = authority;
    if (!authority.empty() && authority[0] == '[') {
      const auto close = authority.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      host = authority.substr(1, close - 1);
      if (!validIpLiteral(host)) return std::nullopt;
      authority = authority.substr(close + 1);
      if (!authority.empty() && authority[0] != ':') return std::nullopt;
    } else {
      const auto portColon = authority.find(':');
      host = authority.substr(0, portColon);
      if (!validComponent(host, "")) return std::nullopt;
      authority = portColon == std::string_view::npos ? std::string_view() : authority.substr(portColon);
    }
    if (!authority.empty()) {  // ":" port
      const std::string_view port = authority.substr(1);
      for (const char c : port)
        if (!isDigit(c)) return std::nullopt;
      url.port = std::string(port);
    }
    if (!host.empty()) url.host = std::string(host);
  } else if (url.scheme.empty()) {
    // A relative path whose first segment holds a colon would read as a scheme: not allowed.
    const auto firstSlash = rest.find('/');
    if (rest.substr(0, firstSlash).find(':') != std::string_view::npos) return std::nullopt;
  }
  if (!validComponent(rest, ":@/")) return std::nullopt;
  url.path = std::string(rest);
  return url;
}

std::string pathExtension(const ParsedUrl& url) {
  std::string_view path = url.path;
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const auto dot = last.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == last.size()) return {};
  return std::string(last.substr(dot + 1));
}

}  // namespace qm::updater
