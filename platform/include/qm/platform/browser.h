#pragma once
// Opening web pages in the user's browser, as the desktop's own opener does (xdg-open by default).
// The address goes to the opener as its one argument through posix_spawn, never through a shell.

#include <string>
#include <string_view>

namespace qm::platform {

inline constexpr const char* kDefaultBrowserOpener = "xdg-open";

// True for a link that may be handed to the browser: an absolute http or https address (scheme
// in any case, "://", a non-empty host) with no control characters and no white space. Anything
// else is refused: relative addresses, other schemes (file, javascript, ftp, ...), and so any
// text starting with "-", which the opener would read as an option. [any-thread]
bool isOpenableWebLink(std::string_view url);

// The opener program in effect and its replacement (a bare name is looked up on PATH; empty
// restores xdg-open). Process-wide. [any-thread]
std::string browserOpenerProgram();
void setBrowserOpenerProgram(std::string program);

// Starts the opener with `url` and returns at once; the child is reaped in the background and
// its output discarded. False, with nothing started, for a link that isOpenableWebLink refuses or
// an opener that cannot be started. [any-thread]
bool openURLInBrowser(const std::string& url);

}  // namespace qm::platform
