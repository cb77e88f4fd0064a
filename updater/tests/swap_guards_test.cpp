// The swap's guards: host wait against a real process named as the host, the swap lock between
// processes, the helper fallback with real and scripted helpers, and the rollback.
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/host_wait.h"
#include "qm/updater/privileged_apply.h"
#include "qm/updater/stop_signals.h"
#include "qm/updater/swap_lock.h"
#include "swap_test_support.h"
#include "updater_test_support.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <thread>

using namespace qm::updater;
using namespace qm::updater::testing;

namespace {

// A child process that calls itself `name` (as pgrep -x sees it) until it is ended.
struct NamedProcess {
  pid_t pid = -1;
  explicit NamedProcess(const std::string& name) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);
      [[maybe_unused]] ssize_t n = ::write(ready[1], "x", 1);
      for (int i = 0; i < 600; ++i) ::sleep(1);  // bounded, in case the test dies
      ::_exit(0);
    }
    char c;
    [[maybe_unused]] ssize_t n = ::read(ready[0], &c, 1);
    ::close(ready[0]);
    ::close(ready[1]);
  }
  void end() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      pid = -1;
    }
  }
  ~NamedProcess() { end(); }
};

std::string uniqueHostName() { return "qmhost" + std::to_string(::getpid() % 100000); }

TEST(HostWait, ProcessNamesByHostKey) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"pro_tools", "Pro Tools"}, {"PROTOOLS", "Pro Tools"}, {"protools", "Pro Tools"},
      {"media_composer", "Media Composer"}, {"Media_Composer", "Media Composer"}, {"logic", "Pro Tools"}, {"", "Pro Tools"}};
  for (const auto& [key, name] : cases) EXPECT_EQ(processNameForHost(key), name) << key;
}

TEST(HostWait, SeesTheHostByItsExactName) {
  const std::string name = uniqueHostName();
  EXPECT_FALSE(isHostRunning(name));
  NamedProcess host(name);
  EXPECT_TRUE(isHostRunning(name));
  EXPECT_FALSE(isHostRunning(name + "x"));  // exact names only
}

// pgrep's answers in turn (its exit statuses, the last one repeated): a host it sees keeps the
// wait going past the time-out; checks that cannot tell, for the whole time-out, end it.
TEST(HostWait, OnlyChecksThatCannotTellRunIntoTheTimeOut) {
  ScratchDir dir(true);
  const struct {
    const char* answers;
    bool stillRunning;
  } cases[] = {{"0 0 0 0 0 0 0 0 0 0 0 0 1", false}, {"0 0 0 2", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers);
    const std::string count = dir.path + "/count", pgrep = dir.path + "/pgrep";
    fs::remove(count);
    writeText(pgrep, std::string("#!/bin/sh\nset -- ") + c.answers + "\nn=$(cat '" + count +
                         "' 2>/dev/null || echo 0)\necho $((n + 1)) > '" + count +
                         "'\nshift $(( n < $# - 1 ? n : $# - 1 ))\nexit $1\n");
    fs::permissions(pgrep, fs::perms::owner_all);
    bool stillRunning = false;
    try {
      waitForHostToExit("Pro Tools", 0.1, 0.05, pgrep);
    } catch (const UpdaterError& e) {
      stillRunning = e.errorCode == UpdaterErrorCode::swapHostStillRunning;
    }
    EXPECT_EQ(stillRunning, c.stillRunning);
  }
}

// Only pgrep's own "no match" lets the swap go on; a check that could not be made counts as a
// running host.
TEST(HostWait, FailsClosedWhenPgrepCannotTell) {
  ScratchDir dir(true);
  auto script = [&](const std::string& name, const std::string& body) {
    const std::string path = dir.path + "/" + name;
    writeText(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
  };
  const std::string plain = dir.path + "/plain";
  writeText(plain, "#!/bin/sh\nexit 1\n");
  const struct {
    const char* name;
    std::string pgrep;
    bool running;
  } cases[] = {
      {"no match", kNoHostPgrep, false},
      {"a match", "/bin/true", true},
      {"tool missing", dir.path + "/none", true},
      {"tool not executable", plain, true},
      {"usage error", script("usage", "exit 2"), true},
      {"ended by a signal", script("killed", "kill -9 $$"), true},
  };
  for (const auto& c : cases) EXPECT_EQ(isHostRunning("Pro Tools", c.pgrep), c.running) << c.name;
}

TEST(HostWait, ReturnsWhenTheHostQuits) {
  const std::string name = uniqueHostName();
  NamedProcess host(name);
  std::thread quitter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    host.end();
  });
  EXPECT_NO_THROW(waitForHostToExit(name, 60, 0.05));
  quitter.join();
}

// A stop recorded under guards is forgotten only as the outermost one ends.
TEST(StopSignals, RecordedStopEndsWithTheOutermostGuard) {
  {
    const StopSignalGuard outer;
    { const StopSignalGuard inner; ::raise(SIGTERM); }
    EXPECT_EQ(requestedStopSignal(), SIGTERM);
  }
  EXPECT_EQ(requestedStopSignal(), 0);
}

TEST(SwapLockFile, ModeContentAndRemoval) {
  ScratchDir dir(true);
  const std::string path = dir.path + "/swap.lock";
  {
    SwapLock lock = SwapLock::acquire(path, "op-1");
    EXPECT_EQ(readText(path), "op-1");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_FALSE(lock.takenOverFrom().has_value());
    try {
      SwapLock::acquire(path, "op-2");
      FAIL();
    } catch (const UpdaterError& e) {
      EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapInProgress);
      EXPECT_EQ(e.detail, "swap lock already present");
    }
    EXPECT_EQ(readText(path), "op-1");
  }
  EXPECT_FALSE(fs::exists(path));
  try {
    SwapLock::acquire(dir.path + "/missing/swap.lock", "op");
    FAIL();
  } catch (const UpdaterError& e) {
    EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapApplyFailed);
    EXPECT_EQ(e.detail, "lock create failed errno=2");
  }
}

TEST(SwapLockFile, LiveHolderInAnotherProcessBlocksAndADeadOneIsTakenOver) {
  ScratchDir dir(true);
  const std::string path = dir.path + "/swap.lock";
  int toChild[2], fromChild[2];
  ASSERT_EQ(::pipe(toChild), 0);
  ASSERT_EQ(::pipe(fromChild), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    try {
      SwapLock lock = SwapLock::acquire(path, "dead-op");
      [[maybe_unused]] ssize_t n = ::write(fromChild[1], "x", 1);
      char c;
      n = ::read(toChild[0], &c, 1);
      ::kill(::getpid(), SIGKILL);  // dies holding it: the file stays
    } catch (...) {
    }
    ::_exit(1);
  }
  char c;
  ASSERT_EQ(::read(fromChild[0], &c, 1), 1);
  EXPECT_THROW(SwapLock::acquire(path, "mine"), UpdaterError);
  EXPECT_EQ(readText(path), "dead-op");
  ASSERT_EQ(::write(toChild[1], "x", 1), 1);
  ::waitpid(pid, nullptr, 0);
  ASSERT_TRUE(fs::exists(path));

  SwapLock lock = SwapLock::acquire(path, "mine");
  ASSERT_TRUE(lock.takenOverFrom().has_value());
  EXPECT_EQ(*lock.takenOverFrom(), "dead-op");
  EXPECT_EQ(readText(path), "dead-op") << "names the dead swap until it is put right";
  lock.setMarker("mine");
  EXPECT_EQ(readText(path), "mine");
  EXPECT_EQ(modeOf(path), 0600u);
  lock.release();
  EXPECT_FALSE(fs::exists(path));
  for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
}

// Bundles for the helper and rollback tests, in a private folder.
struct Bundles {
  ScratchDir dir{true};
  SwapLocations where;
  std::string oldPrint, newPrint;
  Bundles() {
    where = {dir.path + "/Plug-Ins/Quillomancer.aaxplugin", dir.path + "/op/staging/Quillomancer.aaxplugin",
             dir.path + "/op/Quillomancer.backup.aaxplugin", dir.path + "/op/Quillomancer.replacing.aaxplugin"};
    makeBundle(where.target, "old");
    makeBundle(where.staged, "new");
    oldPrint = fingerprint(where.target);
    newPrint = fingerprint(where.staged);
    copyItem(where.target, where.backup);
  }
  // A helper stand-in: a shell script.
  std::string script(const std::string& name, const std::string& body) const {
    const std::string path = dir.path + "/" + name;
    writeText(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
};

std::string helperFailure(const SwapLocations& where, int moveErrno, const std::vector<std::string>& candidates) {
  try {
    return tryPrivilegedHelperApplyIfNeeded(where, moveErrno, candidates) ? "applied" : "declined";
  } catch (const UpdaterError& e) {
    return std::string(e.codeText()) + ": " + e.detail;
  }
}

TEST(PrivilegedApply, OnlyPermissionErrorsGoToTheHelper) {
  Bundles b;
  const std::string marker = b.dir.path + "/ran";
  const std::string helper = b.script("helper", "touch '" + marker + "'");
  EXPECT_EQ(helperFailure(b.where, EIO, {helper}), "declined");
  EXPECT_EQ(helperFailure(b.where, EXDEV, {helper}), "declined");
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_EQ(helperFailure(b.where, EACCES, {b.dir.path + "/none"}),
            "swap_apply_failed: permission denied and helper binary not found");
}

TEST(PrivilegedApply, CandidatesInOrderFirstExecutableWins) {
  Bundles b;
  const std::string notExecutable = b.dir.path + "/plain";
  writeText(notExecutable, "#!/bin/sh\nexit 0\n");
  fs::create_directories(b.dir.path + "/folder-helper");
  const std::string good = b.script("good", "exit 0");
  EXPECT_EQ(helperBinaryPath({b.dir.path + "/none", notExecutable, b.dir.path + "/folder-helper", good}), good);
  EXPECT_EQ(helperBinaryPath({notExecutable}), std::nullopt);
  const auto defaults = defaultHelperCandidates("/opt/qm/bin/QuillomancerUpdater", "/home/u/Updates");
  const std::vector<std::string> expected = {
      "/opt/qm/bin/QuillomancerUpdaterHelper",
      "/Library/Application Support/Quillomancer/Updater/QuillomancerUpdaterHelper",
      "/Applications/QuillomancerUpdater.app/Contents/MacOS/QuillomancerUpdaterHelper",
      "/home/u/Updates/QuillomancerUpdaterHelper"};
  EXPECT_EQ(defaults, expected);
}

TEST(PrivilegedApply, HelperExitStatusAndStandardError) {
  Bundles b;
  const std::string argsFile = b.dir.path + "/args";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"printf 'helper_error: io: target missing\\n' >&2; exit 2",
       "swap_apply_failed: privileged helper failed with exit 2: helper_error: io: target missing"},
      {"exit 2", "swap_apply_failed: privileged helper failed with exit 2"},
      {"printf '  \\n' >&2; exit 3", "swap_apply_failed: privileged helper failed with exit 3"},
      {"printf '\\377\\376' >&2; exit 3", "swap_apply_failed: privileged helper failed with exit 3"},
      {"echo \"$@\" > '" + argsFile + "'; exit 0", "applied"},
  };
  for (const auto& [body, expected] : cases) {
    EXPECT_EQ(helperFailure(b.where, EACCES, {b.script("h", body)}), expected) << body;
    EXPECT_EQ(fingerprint(b.where.target), b.oldPrint) << "the target was left alone";
  }
  EXPECT_EQ(readText(argsFile), "apply " + b.where.target + " " + b.where.staged + " " + b.where.backup + " " +
                                    b.where.replacing + "\n");
}

TEST(PrivilegedApply, HelperThatLeavesTheTargetEmptyIsRolledBack) {
  Bundles b;
  // Moves the bundle aside, then fails.
  const std::string failsAfterMove = b.script(
      "h1", "mv '" + b.where.target + "' '" + b.where.replacing + "'; echo 'helper_error: io: apply failed' >&2; exit 2");
  EXPECT_EQ(helperFailure(b.where, EPERM, {failsAfterMove}),
            "swap_apply_failed: privileged helper failed with exit 2: helper_error: io: apply failed");
  EXPECT_EQ(fingerprint(b.where.target), b.oldPrint);

  // And when nothing can be restored, the failure says so.
  fs::remove_all(b.where.backup);
  fs::remove_all(b.where.replacing);
  const std::string removes = b.script("h3", "rm -rf '" + b.where.target + "'; exit 2");
  EXPECT_EQ(helperFailure(b.where, EACCES, {removes}),
            "swap_rollback_failed: privileged helper failed with exit 2; rollback: rollback sources missing");
}

TEST(PrivilegedApply, RealHelperAppliesTheSwap) {
  HelperTestTree tree;
  const std::string op = tree.home + "/Library/Application Support/Quillomancer/Updates/SwapState/operations/op";
  const SwapLocations where{tree.target, op + "/staging/Quillomancer.aaxplugin", op + "/Quillomancer.backup.aaxplugin",
                            op + "/Quillomancer.replacing.aaxplugin"};
  makeBundle(where.target, "old");
  makeBundle(where.staged, "new");
  const std::string oldPrint = fingerprint(where.target), newPrint = fingerprint(where.staged);
  copyItem(where.target, where.backup);
  EXPECT_EQ(helperFailure(where, EACCES, {HelperTestTree::helper()}), "applied");
  EXPECT_EQ(fingerprint(where.target), newPrint);
  EXPECT_EQ(fingerprint(where.replacing), oldPrint);

  // Refusals of the real helper come back as its exit status and line.
  const SwapLocations outside{tree.target, tree.root + "/elsewhere/Quillomancer.aaxplugin", where.backup,
                              where.replacing};
  EXPECT_EQ(helperFailure(outside, EACCES, {HelperTestTree::helper()}),
            "swap_apply_failed: privileged helper failed with exit 2: helper_error: invalid_path: path outside "
            "operations root: " + tree.root + "/elsewhere/Quillomancer.aaxplugin");
  EXPECT_EQ(fingerprint(where.target), newPrint);
}

TEST(Rollback, FromBackupFirstThenTheMovedAsideBundle) {
  {
    Bundles b;  // both present: the backup is used, the moved-aside bundle stays
    moveItem(b.where.target, b.where.replacing);
    rollbackSwap(b.where);
    EXPECT_EQ(fingerprint(b.where.target), b.oldPrint);
    EXPECT_EQ(fingerprint(b.where.replacing), b.oldPrint);
  }
  {
    Bundles b;  // only the moved-aside bundle; a new bundle at the target is cleared first
    moveItem(b.where.target, b.where.replacing);
    moveItem(b.where.staged, b.where.target);
    fs::remove_all(b.where.backup);
    rollbackSwap(b.where);
    EXPECT_EQ(fingerprint(b.where.target), b.oldPrint);
    EXPECT_FALSE(fs::exists(b.where.replacing));
  }
  {
    Bundles b;  // the backup copy cannot be put in place: falls back to the moved-aside bundle
    moveItem(b.where.target, b.where.replacing);
    FileFaults::set({{0, EIO, false, FileStep::createFile, {}}});
    rollbackSwap(b.where);
    FileFaults::clear();
    EXPECT_EQ(fingerprint(b.where.target), b.oldPrint);
  }
  {
    Bundles b;  // nothing to restore from
    fs::remove_all(b.where.backup);
    fs::remove_all(b.where.target);
    try {
      rollbackSwap(b.where);
      FAIL();
    } catch (const UpdaterError& e) {
      EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapRollbackFailed);
      EXPECT_EQ(e.detail, "rollback sources missing");
    }
  }
}

}  // namespace
