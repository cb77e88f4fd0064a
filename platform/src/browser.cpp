#include "qm/platform/browser.h"

#include "qm/platform/child_reaper.h"
#include "qm/platform/process.h"

#include <mutex>

namespace qm::platform {

namespace {

std::mutex gOpenerMutex;
std::string gOpenerProgram = kDefaultBrowserOpener;

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool isOpenableWebLink(std::string_view url) {
  size_t hostStart = 0;
  if (startsWithIgnoringCase(url, "https://"))
    hostStart = 8;
  else if (startsWithIgnoringCase(url, "http://"))
    hostStart = 7;
  else
    return false;
  // The authority must hold something before the path, query or fragment begins.
  if (url.size() <= hostStart) return false;
  const char first = url[hostStart];
  if (first == '/' || first == '?' || first == '#') return false;
  for (unsigned char c : url)
    if (c <= 0x20 || c == 0x7F) return false;
  return true;
}

std::string browserOpenerProgram() {
  std::lock_guard lock(gOpenerMutex);
  return gOpenerProgram;
}

void setBrowserOpenerProgram(std::string program) {
  std::lock_guard lock(gOpenerMutex);
  gOpenerProgram = program.empty() ? std::string(kDefaultBrowserOpener) : std::move(program);
}

bool openURLInBrowser(const std::string& url) {
  if (!isOpenableWebLink(url)) return false;
  const pid_t pid = spawnDetached(browserOpenerProgram(), {url}, /*discardOutput=*/true);
  if (pid <= 0) return false;
  ChildReaper::shared().adopt(pid);
  return true;
}

}  // namespace qm::platform
