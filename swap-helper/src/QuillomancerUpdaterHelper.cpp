#include "QuillomancerUpdaterHelper.h"

#include "TreeOps.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::helper {

namespace {

constexpr const char* kUsage =
    "usage: QuillomancerUpdaterHelper apply <target> <staged> <backup> <replacing>";
constexpr const char* kOperationsBelowHome =
    "/Library/Application Support/Quillomancer/Updates/SwapState/operations";
constexpr int kMaxLinks = 40;

std::string lastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

bool isStrictlyInside(const std::string& path, const std::string& folder) {
  const std::string prefix = folder == "/" ? "/" : folder + "/";
  return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

std::string describe(int err) { return std::strerror(err); }

[[noreturn]] void failHelper(HelperErrorKind kind, std::string message) {
  throw HelperError{kind, std::move(message)};
}

[[noreturn]] void failSystem(int err) { throw SystemError{describe(err)}; }

// A path below the operations root, opened as its parent folder plus the last name. The parent
// is reached from the root descriptor one component at a time without following links.
struct Located {
  Fd parent;
  std::string name;
  int openErrno = 0;  // set when the parent could not be reached
};

Located locateBelow(int rootFd, const std::string& root, const std::string& path) {
  Located out;
  std::vector<std::string> parts = splitComponents(path.substr(root.size()));
  out.name = parts.back();
  parts.pop_back();
  const int fd = openFoldersBelow(rootFd, parts);
  if (fd < 0) out.openErrno = errno;
  out.parent = Fd(fd);
  return out;
}

bool existsAt(const Located& where) {
  struct stat st {};
  return where.parent.valid() && statAt(where.parent.get(), where.name, st) == 0;
}

// A component that is no longer a real folder means the tree changed after it was checked.
void requireReachable(const Located& where, const std::string& path) {
  if (where.openErrno == ENOTDIR || where.openErrno == ELOOP)
    failHelper(HelperErrorKind::io, "path changed after check: " + path);
}

// Whether `name` is one of the work-in-progress names this program makes beside `targetName`
// ("." + base + "." + what + "." + pid, base the target or its exchange sibling): left by a run
// that was killed, whatever its pid, since the updater's swap lock lets one swap run at a time.
bool isOurLeftover(const std::string& name, const std::string& targetName) {
  for (const std::string& base : {targetName, "." + targetName + ".exchange"}) {
    for (const char* what : {"moving", "moved", "restoring"}) {
      const std::string prefix = "." + base + "." + what + ".";
      if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string pid = name.substr(prefix.size());
      if (pid.size() <= 10 && pid.find_first_not_of("0123456789") == std::string::npos) return true;
    }
  }
  return false;
}

// Removes what killed runs of this program left beside the target (failures are ignored: these
// are only litter, and no name of this run's own can clash with them but by its own pid, which its
// moves clear first).
void clearLeftovers(int plugIns, const std::string& targetName) {
  std::vector<std::string> names;
  if (listFolderAt(plugIns, names) != 0) return;
  for (const auto& name : names)
    if (isOurLeftover(name, targetName)) removeTreeAt(plugIns, name);
}

}  // namespace

HelperFaults HelperFaults::parse(const std::string& list) {
  HelperFaults f;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, comma - start);
    if (name == "refuse_exchange") f.refuseExchange = true;
    if (name == "fail_move_aside") f.failMoveAside = true;
    if (name == "fail_exchange_back") f.failExchangeBack = true;
    if (name == "fail_move_in") f.failMoveIn = true;
    if (name == "kill_before_exchange") f.killBeforeExchange = true;
    if (name == "kill_after_exchange") f.killAfterExchange = true;
    if (name == "kill_before_clearing_aside") f.killBeforeClearingAside = true;
    start = comma + 1;
  }
  return f;
}

std::string HelperError::text() const {
  switch (kind) {
    case HelperErrorKind::invalidArgs: return "invalid_args: " + message;
    case HelperErrorKind::invalidPath: return "invalid_path: " + message;
    case HelperErrorKind::io: return "io: " + message;
  }
  return message;
}

std::string normalizePath(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[PATH_MAX];
    const std::string base = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
    absolute = base + "/" + absolute;
  }
  std::vector<std::string> kept;
  for (const auto& part : splitComponents(absolute)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  std::string out;
  for (const auto& part : kept) out += "/" + part;
  return out.empty() ? "/" : out;
}

bool resolveLinks(const std::string& path, std::string& resolved) {
  std::vector<std::string> pending = splitComponents(normalizePath(path));
  std::reverse(pending.begin(), pending.end());
  std::vector<std::string> current;
  bool missing = false;
  int links = 0;
  while (!pending.empty()) {
    const std::string part = pending.back();
    pending.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      if (!current.empty()) current.pop_back();
      continue;
    }
    current.push_back(part);
    if (missing) continue;
    std::string soFar;
    for (const auto& p : current) soFar += "/" + p;
    struct stat st {};
    if (::lstat(soFar.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) return false;
      missing = true;  // the rest is taken as written
      continue;
    }
    if (!S_ISLNK(st.st_mode)) continue;
    if (++links > kMaxLinks) return false;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(soFar.c_str(), buf, sizeof buf - 1);
    if (n < 0) return false;
    const std::string target(buf, static_cast<size_t>(n));
    current.pop_back();
    if (!target.empty() && target[0] == '/') current.clear();
    std::vector<std::string> linkParts = splitComponents(target);
    for (auto it = linkParts.rbegin(); it != linkParts.rend(); ++it) pending.push_back(*it);
  }
  resolved.clear();
  for (const auto& p : current) resolved += "/" + p;
  if (resolved.empty()) resolved = "/";
  return true;
}

QuillomancerUpdaterHelper::QuillomancerUpdaterHelper(std::string allowedTarget,
                                                     std::string homeOverride)
    : allowedTarget_(std::move(allowedTarget)), homeOverride_(std::move(homeOverride)) {}

std::string QuillomancerUpdaterHelper::operationsRoot() const {
  std::string home = homeOverride_;
  if (home.empty()) {
    // The real user's account, not $HOME and not the effective user: this ties the accepted
    // source paths to the user who asked for the update.
    const passwd* entry = ::getpwuid(::getuid());
    if (!entry || !entry->pw_dir || !*entry->pw_dir)
      failHelper(HelperErrorKind::io, "unable to resolve real user home");
    home = entry->pw_dir;
  }
  std::string root;
  if (!resolveLinks(normalizePath(home + kOperationsBelowHome), root))
    failHelper(HelperErrorKind::io, "unable to resolve operations root");
  return root;
}

QuillomancerUpdaterHelper::CheckedPaths QuillomancerUpdaterHelper::validate(
    const std::string& target, const std::string& staged, const std::string& backup,
    const std::string& replacing) const {
  CheckedPaths out;
  out.target = normalizePath(target);
  if (out.target != allowedTarget_)
    failHelper(HelperErrorKind::invalidPath, "target must be " + allowedTarget_);
  out.root = operationsRoot();

  const std::pair<const std::string*, std::string*> inside[] = {
      {&staged, &out.staged}, {&backup, &out.backup}, {&replacing, &out.replacing}};
  for (const auto& [given, resolved] : inside) {
    if (!resolveLinks(normalizePath(*given), *resolved))
      failHelper(HelperErrorKind::invalidPath, "path cannot be resolved: " + normalizePath(*given));
    if (*resolved == out.root)
      failHelper(HelperErrorKind::invalidPath, "path is the operations root itself: " + *resolved);
    if (!isStrictlyInside(*resolved, out.root))
      failHelper(HelperErrorKind::invalidPath, "path outside operations root: " + *resolved);
  }

  const std::string name = lastComponent(out.staged);
  const size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension != "aaxplugin")
    failHelper(HelperErrorKind::invalidPath, "staged bundle must be .aaxplugin");

  // Each path names its own item: none equal to or inside another (the target included).
  const std::string* all[] = {&out.target, &out.staged, &out.backup, &out.replacing};
  for (const std::string* a : all)
    for (const std::string* b : all)
      if (a != b && (*a == *b || isStrictlyInside(*a, *b)))
        failHelper(HelperErrorKind::invalidPath,
                   "paths must be distinct and not inside one another: " + *a + " and " + *b);
  return out;
}

void QuillomancerUpdaterHelper::apply(const CheckedPaths& paths) const {
  const std::string targetName = lastComponent(paths.target);
  Fd targetParent(::open(parentOf(paths.target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (!targetParent.valid() || statAt(targetParent.get(), targetName, st) != 0) {
    if (!targetParent.valid() ? (errno == ENOENT || errno == ENOTDIR) : errno == ENOENT)
      failHelper(HelperErrorKind::io, "target missing");
    failSystem(errno);
  }

  Fd root(openFolderNoFollow(paths.root));
  if (!root.valid()) {
    if (errno == ENOENT) failHelper(HelperErrorKind::io, "staged missing");
    failHelper(HelperErrorKind::io, "path changed after check: " + paths.root);
  }
  Located staged = locateBelow(root.get(), paths.root, paths.staged);
  requireReachable(staged, paths.staged);
  if (!existsAt(staged)) failHelper(HelperErrorKind::io, "staged missing");
  if (statAt(staged.parent.get(), staged.name, st) != 0 || !S_ISDIR(st.st_mode))
    failHelper(HelperErrorKind::invalidPath, "staged bundle must be a real folder");
  Fd stagedFolder(openChildFolder(staged.parent.get(), staged.name));
  if (!stagedFolder.valid()) failSystem(errno);
  struct stat stagedId {};
  if (::fstat(stagedFolder.get(), &stagedId) != 0) failSystem(errno);

  Located backup = locateBelow(root.get(), paths.root, paths.backup);
  requireReachable(backup, paths.backup);
  Located replacing = locateBelow(root.get(), paths.root, paths.replacing);
  requireReachable(replacing, paths.replacing);
  if (!replacing.parent.valid()) failSystem(replacing.openErrno);

  if (existsAt(replacing))
    if (int e = removeTreeAt(replacing.parent.get(), replacing.name)) failSystem(e);

  // The new bundle is carried whole beside the target (onto its file system) under the exchange
  // sibling, as the updater does, and exchanged with the installed bundle in one step, so that
  // the target always holds one whole bundle. Nothing has been replaced until the exchange.
  const int plugIns = targetParent.get();
  const std::string sibling = "." + targetName + ".exchange";
  clearLeftovers(plugIns, targetName);
  if (statAt(plugIns, sibling, st) == 0)
    if (int e = removeTreeAt(plugIns, sibling)) failSystem(e);
  struct stat now {};
  if (statAt(staged.parent.get(), staged.name, now) != 0) failSystem(errno);
  if (now.st_dev != stagedId.st_dev || now.st_ino != stagedId.st_ino)
    failHelper(HelperErrorKind::io, "apply failed: staged bundle changed during apply");
  if (int e = moveAt(staged.parent.get(), staged.name, plugIns, sibling)) failSystem(e);
  if (statAt(plugIns, sibling, now) != 0 || !S_ISDIR(now.st_mode) ||
      (now.st_dev == stagedId.st_dev && now.st_ino != stagedId.st_ino)) {
    removeTreeAt(plugIns, sibling);
    failHelper(HelperErrorKind::io, "apply failed: staged bundle changed during apply");
  }

  const auto exchange = [&](bool back) {
    if (faults_.killBeforeExchange && !back) ::raise(SIGKILL);
    if (faults_.refuseExchange || (back && faults_.failExchangeBack)) {
      errno = faults_.refuseExchange ? EINVAL : EIO;
      return -1;
    }
    const int r = exchangeAt(plugIns, sibling, targetName);
    if (r == 0 && faults_.killAfterExchange && !back) ::raise(SIGKILL);
    return r;
  };
  if (exchange(false) == 0) {
    // The replaced bundle goes aside; when it cannot, it is exchanged back. When that fails too,
    // the new bundle stands whole at the target: applied (the updater's backup keeps the old one,
    // and what is left beside the target is cleared by the next swap).
    const int e = faults_.failMoveAside ? EIO : moveAt(plugIns, sibling, replacing.parent.get(), replacing.name);
    if (e == 0) return;
    if (exchange(true) != 0) return;
    removeTreeAt(plugIns, sibling);
    failHelper(HelperErrorKind::io, "apply failed: " + describe(e));
  } else if (errno != EINVAL && errno != ENOSYS) {
    const int e = errno;
    removeTreeAt(plugIns, sibling);
    failHelper(HelperErrorKind::io, "apply failed: " + describe(e));
  }

  // The file system cannot exchange: the installed bundle aside, then the new one straight into
  // its place, so that the target stands empty for that one step. What a move across file
  // systems left of the installed bundle beside the target is deleted only after that.
  std::string left;
  if (int e = moveAtLeavingSource(plugIns, targetName, replacing.parent.get(), replacing.name, left)) {
    removeTreeAt(plugIns, sibling);
    failSystem(e);
  }
  const int moveErrno = faults_.failMoveIn ? EIO : moveAt(plugIns, sibling, plugIns, targetName);
  if (!left.empty()) {
    if (faults_.killBeforeClearingAside) ::raise(SIGKILL);
    removeTreeAt(plugIns, left);
  }
  if (moveErrno == 0) return;
  removeTreeAt(plugIns, sibling);

  // Restore: a copy of the backup under a temporary name renamed into place; without a usable
  // backup, the moved-aside bundle goes back. Failures here are ignored: the error of the move is
  // what is reported.
  if (statAt(plugIns, targetName, st) == 0) removeTreeAt(plugIns, targetName);
  bool restored = false;
  if (backup.parent.valid() && statAt(backup.parent.get(), backup.name, st) == 0 &&
      S_ISDIR(st.st_mode)) {
    Fd backupFolder(openChildFolder(backup.parent.get(), backup.name));
    const std::string temp = "." + targetName + ".restoring." + std::to_string(::getpid());
    removeTreeAt(plugIns, temp);
    if (backupFolder.valid() && copyFolderTo(backupFolder.get(), plugIns, temp) == 0 &&
        ::renameat(plugIns, temp.c_str(), plugIns, targetName.c_str()) == 0) {
      flushFolderAt(plugIns);
      restored = true;
    } else {
      removeTreeAt(plugIns, temp);
    }
  }
  if (!restored && existsAt(replacing))
    moveAt(replacing.parent.get(), replacing.name, plugIns, targetName);
  failHelper(HelperErrorKind::io, "apply failed: " + describe(moveErrno));
}

int QuillomancerUpdaterHelper::run(const std::vector<std::string>& arguments,
                                   std::string& errorLine) const noexcept {
  try {
    try {
      if (arguments.size() != 5 || arguments[0] != "apply")
        failHelper(HelperErrorKind::invalidArgs, kUsage);
      const CheckedPaths paths = validate(arguments[1], arguments[2], arguments[3], arguments[4]);
      apply(paths);
      return 0;
    } catch (const HelperError& e) {
      errorLine = "helper_error: " + e.text() + "\n";
      return 2;
    } catch (const SystemError& e) {
      errorLine = "helper_error: " + e.description + "\n";
      return 3;
    } catch (const std::exception& e) {
      errorLine = std::string("helper_error: ") + e.what() + "\n";
      return 3;
    }
  } catch (...) {
    errorLine = "helper_error: unexpected failure\n";
    return 3;
  }
}

}  // namespace qm::helper
