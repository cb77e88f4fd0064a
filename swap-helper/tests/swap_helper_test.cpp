// Runs the real helper programs: the installed build (fixed system target) for what it refuses,
// and the test build, whose target and home are fixed inside QM_HELPER_TEST_ROOT, for the swap.

#include <gtest/gtest.h>

#include <qm/platform/process.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using qm::platform::ProcessOptions;
using qm::platform::ProcessResult;
using qm::platform::runProcess;

namespace {

const std::string kRoot = QM_HELPER_TEST_ROOT;
const std::string kPlugIns = kRoot + "/Plug-Ins";
const std::string kTarget = kPlugIns + "/Quillomancer.aaxplugin";
const std::string kOps =
    kRoot + "/home/Library/Application Support/Quillomancer/Updates/SwapState/operations";
const std::string kOp = kOps + "/op1";
const std::string kStaged = kOp + "/staging/Quillomancer.aaxplugin";
const std::string kBackup = kOp + "/Quillomancer.backup.aaxplugin";
const std::string kReplacing = kOp + "/Quillomancer.replacing.aaxplugin";
const std::string kUsageLine =
    "helper_error: invalid_args: usage: QuillomancerUpdaterHelper apply <target> <staged> "
    "<backup> <replacing>\n";

std::string testHelper() { return std::string(QM_BINARY_DIR) + "/bin/QuillomancerUpdaterHelperTest"; }
std::string installedHelper() { return std::string(QM_BINARY_DIR) + "/bin/QuillomancerUpdaterHelper"; }

void writeFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

// One line per item below `root`: kind, mode and content or link target. Equal strings mean
// equal trees.
std::string fingerprint(const fs::path& root) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(root, ec))) return "<missing>";
  std::map<std::string, std::string> items;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    struct stat st {};
    ::lstat(it->path().c_str(), &st);
    std::string desc = std::to_string(st.st_mode & 07777) + " ";
    if (S_ISLNK(st.st_mode)) desc += "link " + fs::read_symlink(it->path()).string();
    else if (S_ISDIR(st.st_mode)) desc += "dir";
    else {
      std::ifstream in(it->path(), std::ios::binary);
      desc += "file " + std::string(std::istreambuf_iterator<char>(in), {});
    }
    items[it->path().lexically_relative(root).string()] = desc;
  }
  std::string out;
  for (const auto& [k, v] : items) out += k + "=" + v + "\n";
  return out;
}

void makeBundle(const fs::path& p, const std::string& version) {
  writeFile(p / "Contents/Info.plist", "version " + version);
  writeFile(p / "Contents/x86_64-linux/Quillomancer.so", "binary " + version);
  fs::create_symlink("x86_64-linux/Quillomancer.so", p / "Contents/current");
}

// The test build's paths are fixed, so tests that use them take turns (ctest runs in parallel,
// and other rooms' tests use the same tree).
class HelperTree : public ::testing::Test {
 protected:
  void SetUp() override {
    lockFd_ = ::open("/tmp/qm-helper-test.lock", O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lockFd_, 0);
    ASSERT_EQ(::flock(lockFd_, LOCK_EX), 0);
    prepare();
  }
  void prepare() {
    clear();
    fs::create_directories(kPlugIns);
    fs::create_directories(kOp / fs::path("staging"));
    makeBundle(kTarget, "old");
    makeBundle(kStaged, "new");
    fs::copy(kTarget, kBackup, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    oldPrint_ = fingerprint(kTarget);
    newPrint_ = fingerprint(kStaged);
  }
  void TearDown() override {
    clear();
    if (lockFd_ >= 0) ::close(lockFd_);
  }
  static void clear() {
    std::error_code ec;
    fs::remove_all(kRoot, ec);
    fs::remove_all("/dev/shm/qm-helper-test-plugins", ec);
  }
  // The target alone in the plug-in folder: no exchange sibling or copy beside it.
  static bool targetAlone() { return std::distance(fs::directory_iterator(kPlugIns), fs::directory_iterator{}) == 1; }
  static ProcessResult helper(const std::vector<std::string>& args, const std::string& cwd = "") {
    ProcessOptions options;
    options.timeoutSeconds = 60;
    options.workingDirectory = cwd;
    return runProcess(testHelper(), args, options);
  }
  static ProcessResult apply(const std::string& target, const std::string& staged,
                             const std::string& backup, const std::string& replacing,
                             const std::string& cwd = "") {
    return helper({"apply", target, staged, backup, replacing}, cwd);
  }
  int lockFd_ = -1;
  std::string oldPrint_, newPrint_;
};

TEST(SwapHelperCommandLine, WrongShapeIsAUsageError) {
  const std::vector<std::vector<std::string>> cases = {
      {"apply", "a", "b", "c"},
      {"apply", "a", "b", "c", "d", "e"},
      {"Apply", "a", "b", "c", "d"},
      {},
  };
  for (const auto& args : cases) {
    const ProcessResult r = runProcess(installedHelper(), args);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.standardError, kUsageLine);
    EXPECT_EQ(r.standardOutput, "");
  }
}

TEST(SwapHelperCommandLine, InstalledBuildAcceptsOnlyItsFixedTarget) {
  const ProcessResult r = runProcess(
      installedHelper(), {"apply", "/tmp/Plug-Ins/Quillomancer.aaxplugin", "/tmp/a.aaxplugin",
                          "/tmp/b.aaxplugin", "/tmp/c.aaxplugin"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.standardError, std::string("helper_error: invalid_path: target must be ") +
                                 QM_HELPER_INSTALLED_TARGET + "\n");
}

// The installed build takes the home from the user database, never from HOME: paths below a
// home named by the environment are outside its operations root. Validation stops before any
// file is touched.
TEST(SwapHelperCommandLine, InstalledBuildIgnoresHomeFromEnvironment) {
  const std::string fakeOps =
      "/tmp/qm-fake-home/Library/Application Support/Quillomancer/Updates/SwapState/operations";
  const std::string saved = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", "/tmp/qm-fake-home", 1);
  const ProcessResult r = runProcess(
      installedHelper(), {"apply", QM_HELPER_INSTALLED_TARGET, fakeOps + "/op/s.aaxplugin",
                          fakeOps + "/op/b.aaxplugin", fakeOps + "/op/r.aaxplugin"});
  setenv("HOME", saved.c_str(), 1);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.standardError,
            "helper_error: invalid_path: path outside operations root: " + fakeOps +
                "/op/s.aaxplugin\n");
}

TEST_F(HelperTree, SwapsAndKeepsTheOldBundleAside) {
  const ProcessResult r = apply(kTarget, kStaged, kBackup, kReplacing);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0) << r.standardError;
  EXPECT_EQ(r.standardError, "");
  EXPECT_EQ(r.standardOutput, "");
  EXPECT_EQ(fingerprint(kTarget), newPrint_);
  EXPECT_EQ(fingerprint(kReplacing), oldPrint_);
  EXPECT_EQ(fingerprint(kBackup), oldPrint_);
  EXPECT_FALSE(fs::exists(kStaged));
}

TEST_F(HelperTree, TargetSpellingsThatNormaliseToTheFixedTargetAreAccepted) {
  for (const std::string& spelled :
       {kPlugIns + "/./Quillomancer.aaxplugin", kPlugIns + "/Elsewhere/../Quillomancer.aaxplugin"}) {
    prepare();
    const ProcessResult r = apply(spelled, kStaged, kBackup, kReplacing);
    EXPECT_EQ(r.exitCode, 0) << spelled << ": " << r.standardError;
    EXPECT_EQ(fingerprint(kTarget), newPrint_);
  }
}

TEST_F(HelperTree, ExistingReplacingItemIsReplaced) {
  writeFile(kReplacing + "/stale", "stale");
  EXPECT_EQ(apply(kTarget, kStaged, kBackup, kReplacing).exitCode, 0);
  EXPECT_EQ(fingerprint(kReplacing), oldPrint_);
}

struct RefusedCase {
  const char* name;
  std::vector<std::string> args;  // target, staged, backup, replacing
  std::string cwd;
  std::string line;  // the whole standard error
};

TEST_F(HelperTree, RefusesPathsItMustNotTouch) {
  fs::create_directories(kRoot + "/outside/x.aaxplugin");
  fs::create_symlink(kRoot + "/outside", kOp + "/escape");
  fs::create_directories(kOps + "-evil/op1/x.aaxplugin");
  writeFile(kOp + "/staging/File.aaxplugin", "not a folder");
  const std::string pathError = "helper_error: invalid_path: ";
  const std::vector<RefusedCase> cases = {
      {"other target folder",
       {kRoot + "/Other/Quillomancer.aaxplugin", kStaged, kBackup, kReplacing}, "",
       pathError + "target must be " + kTarget + "\n"},
      {"climbs out with ..",
       {kTarget, kOp + "/../../../../../outside/x.aaxplugin", kBackup, kReplacing}, "",
       pathError + "path outside operations root: " + kRoot +
           "/home/Library/Application Support/outside/x.aaxplugin\n"},
      {"sibling whose name starts with the root's",
       {kTarget, kOps + "-evil/op1/x.aaxplugin", kBackup, kReplacing}, "",
       pathError + "path outside operations root: " + kOps + "-evil/op1/x.aaxplugin\n"},
      {"the root itself as backup", {kTarget, kStaged, kOps, kReplacing}, "",
       pathError + "path is the operations root itself: " + kOps + "\n"},
      {"the root spelled with ./ as replacing", {kTarget, kStaged, kBackup, kOps + "/./"}, "",
       pathError + "path is the operations root itself: " + kOps + "\n"},
      {"link leading out", {kTarget, kOp + "/escape/x.aaxplugin", kBackup, kReplacing}, "",
       pathError + "path outside operations root: " + kRoot + "/outside/x.aaxplugin\n"},
      {"relative path outside", {kTarget, "op1/x.aaxplugin", kBackup, kReplacing}, kRoot,
       pathError + "path outside operations root: " + kRoot + "/op1/x.aaxplugin\n"},
      {"not a bundle name", {kTarget, kOp + "/staging/New.zip", kBackup, kReplacing}, "",
       pathError + "staged bundle must be .aaxplugin\n"},
      {"backup inside staged", {kTarget, kStaged, kStaged + "/Contents", kReplacing}, "",
       pathError + "paths must be distinct and not inside one another: " + kStaged +
           "/Contents and " + kStaged + "\n"},
      {"backup equals replacing", {kTarget, kStaged, kReplacing, kReplacing}, "",
       pathError + "paths must be distinct and not inside one another: " + kReplacing + " and " +
           kReplacing + "\n"},
      {"staged is a plain file", {kTarget, kOp + "/staging/File.aaxplugin", kBackup, kReplacing},
       "", pathError + "staged bundle must be a real folder\n"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = apply(c.args[0], c.args[1], c.args[2], c.args[3], c.cwd);
    EXPECT_EQ(r.exitCode, 2) << c.name;
    EXPECT_EQ(r.standardError, c.line) << c.name;
    EXPECT_EQ(fingerprint(kTarget), oldPrint_) << c.name;
    EXPECT_EQ(fingerprint(kStaged), newPrint_) << c.name;
  }
}

TEST_F(HelperTree, AcceptsDotComponentsRelativePathsAndCapitalExtension) {
  fs::rename(kStaged, kOp + "/staging/Quillomancer.AAXPLUGIN");
  const ProcessResult r = apply(kTarget, "./op1/./staging/Quillomancer.AAXPLUGIN",
                                "op1/Quillomancer.backup.aaxplugin",
                                "op1/staging/../Quillomancer.replacing.aaxplugin", kOps);
  EXPECT_EQ(r.exitCode, 0) << r.standardError;
  EXPECT_EQ(fingerprint(kTarget), newPrint_);
  EXPECT_EQ(fingerprint(kReplacing), oldPrint_);
}

// A home reached through a link: the root and the paths are compared with links resolved, so
// either spelling of the same folder is inside.
TEST_F(HelperTree, HomeBehindALinkIsResolved) {
  fs::rename(kRoot + "/home", kRoot + "/real-home");
  fs::create_symlink(kRoot + "/real-home", kRoot + "/home");
  const std::string realOp = kRoot +
      "/real-home/Library/Application Support/Quillomancer/Updates/SwapState/operations/op1";
  const ProcessResult r = apply(kTarget, realOp + "/staging/Quillomancer.aaxplugin", kBackup,
                                realOp + "/Quillomancer.replacing.aaxplugin");
  EXPECT_EQ(r.exitCode, 0) << r.standardError;
  EXPECT_EQ(fingerprint(kTarget), newPrint_);
  EXPECT_EQ(fingerprint(kReplacing), oldPrint_);
}

TEST_F(HelperTree, MissingTargetOrStagedTouchesNothing) {
  fs::rename(kTarget, kRoot + "/parked");
  ProcessResult r = apply(kTarget, kStaged, kBackup, kReplacing);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.standardError, "helper_error: io: target missing\n");
  EXPECT_EQ(fingerprint(kStaged), newPrint_);
  EXPECT_FALSE(fs::exists(kReplacing));

  fs::rename(kRoot + "/parked", kTarget);
  fs::remove_all(kStaged);
  r = apply(kTarget, kStaged, kBackup, kReplacing);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.standardError, "helper_error: io: staged missing\n");
  EXPECT_EQ(fingerprint(kTarget), oldPrint_);
}

// The plug-in folder on another file system (tmpfs) makes both moves copies; a staged bundle
// holding a FIFO cannot be copied, so the final move fails and the helper restores.
class HelperAcrossFileSystems : public HelperTree {
 protected:
  void SetUp() override {
    HelperTree::SetUp();
    struct stat a {}, b {};
    if (::stat("/dev/shm", &a) != 0 || ::stat("/tmp", &b) != 0 || a.st_dev == b.st_dev)
      GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    const std::string shm = "/dev/shm/qm-helper-test-plugins";
    fs::create_directories(shm);
    makeBundle(shm + "/Quillomancer.aaxplugin", "old");
    fs::remove_all(kPlugIns);
    fs::create_symlink(shm, kPlugIns);
  }
};

TEST_F(HelperAcrossFileSystems, MovesAcrossFileSystems) {
  const ProcessResult r = apply(kTarget, kStaged, kBackup, kReplacing);
  EXPECT_EQ(r.exitCode, 0) << r.standardError;
  EXPECT_EQ(fingerprint(kTarget), newPrint_);
  EXPECT_EQ(fingerprint(kReplacing), oldPrint_);
  EXPECT_TRUE(targetAlone());
}

// A new bundle that cannot be carried beside the target (a FIFO across file systems) moves nothing.
TEST_F(HelperAcrossFileSystems, NewBundleThatCannotBeCarriedOverReplacesNothing) {
  ASSERT_EQ(::mkfifo((kStaged + "/Contents/pipe").c_str(), 0600), 0);
  const ProcessResult r = apply(kTarget, kStaged, kBackup, kReplacing);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.standardError, "helper_error: Invalid argument\n");
  EXPECT_EQ(fingerprint(kTarget), oldPrint_);
  EXPECT_FALSE(fs::exists(kReplacing));
  EXPECT_TRUE(targetAlone());
}

// A replaced bundle that cannot go into the operation folder (a FIFO in it) is exchanged back.
TEST_F(HelperAcrossFileSystems, ReplacedBundleThatCannotGoAsideIsExchangedBack) {
  const std::string pipe = kTarget + "/Contents/pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const ProcessResult r = apply(kTarget, kStaged, kBackup, kReplacing);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.standardError, "helper_error: io: apply failed: Invalid argument\n");
  EXPECT_TRUE(fs::is_fifo(pipe)) << "the installed bundle is back";
  fs::remove(pipe);
  EXPECT_EQ(fingerprint(kTarget), oldPrint_);
  EXPECT_FALSE(fs::exists(kReplacing));
  EXPECT_TRUE(targetAlone());
}

// Without exchange, what the move across file systems left of the installed bundle is deleted
// only after the new bundle went in; the next swap clears it.
TEST_F(HelperAcrossFileSystems, TwoMovesPutTheNewBundleInBeforeClearingTheOldOne) {
  ::setenv("QM_HELPER_TEST_FAULTS", "refuse_exchange,kill_before_clearing_aside", 1);
  const ProcessResult r = apply(kTarget, kStaged, kBackup, kReplacing);
  ::unsetenv("QM_HELPER_TEST_FAULTS");
  ASSERT_EQ(r.termSignal, SIGKILL) << r.standardError;
  EXPECT_EQ(fingerprint(kTarget), newPrint_);
  makeBundle(kStaged, "newer");
  EXPECT_EQ(apply(kTarget, kStaged, kBackup, kReplacing).exitCode, 0);
  EXPECT_TRUE(targetAlone());
}

// What killed runs left beside the target, whatever their pid, goes with the next swap; other
// names stay.
TEST_F(HelperTree, LeftoversOfKilledRunsAreClearedWhateverTheirPid) {
  for (const char* name : {"..Quillomancer.aaxplugin.exchange.moved.4242", ".Quillomancer.aaxplugin.moving.999999",
                           ".Quillomancer.aaxplugin.restoring.12345"})
    makeBundle(kPlugIns + "/" + name, "left");
  std::set<std::string> others = {".Quillomancer.aaxplugin.moved.12x", ".Other.aaxplugin.moved.5"};
  for (const auto& name : others) writeFile(kPlugIns + "/" + name, "keep");
  others.insert("Quillomancer.aaxplugin");
  ASSERT_EQ(apply(kTarget, kStaged, kBackup, kReplacing).exitCode, 0);
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(kPlugIns)) left.insert(entry.path().filename().string());
  EXPECT_EQ(left, others);
}

// Without the rights to the plug-in folder the first move fails: exit 3, nothing moved.
TEST_F(HelperTree, NoPermissionOnThePlugInFolderIsExitThree) {
  if (::geteuid() == 0) GTEST_SKIP() << "needs a user without rights to the folder";
  fs::permissions(kPlugIns, fs::perms::owner_read | fs::perms::owner_exec);
  const ProcessResult r = apply(kTarget, kStaged, kBackup, kReplacing);
  fs::permissions(kPlugIns, fs::perms::owner_all);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.standardError, "helper_error: Permission denied\n");
  EXPECT_EQ(fingerprint(kTarget), oldPrint_);
  EXPECT_EQ(fingerprint(kStaged), newPrint_);
}

// Failed file operations, on the two-move path for file systems that refuse the exchange too.
TEST_F(HelperTree, OutcomeFollowsWhatStandsAtTheTarget) {
  struct Case {
    const char* faults;
    bool applied, oldAside;  // oldAside: the installed bundle at replacing
  } cases[] = {
      {"refuse_exchange", true, true},
      {"refuse_exchange,fail_move_in", false, true},
      {"fail_move_aside", false, false},
      {"fail_move_aside,fail_exchange_back", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    prepare();
    ProcessOptions options;
    options.timeoutSeconds = 60;
    const ProcessResult r = runProcess(
        "/usr/bin/env",
        {"QM_HELPER_TEST_FAULTS=" + std::string(c.faults), testHelper(), "apply", kTarget, kStaged, kBackup, kReplacing},
        options);
    EXPECT_EQ(r.exitCode, c.applied ? 0 : 2);
    EXPECT_EQ(r.standardError, c.applied ? "" : "helper_error: io: apply failed: Input/output error\n");
    EXPECT_EQ(fingerprint(kTarget), c.applied ? newPrint_ : oldPrint_);
    EXPECT_EQ(fingerprint(kReplacing), c.oldAside ? oldPrint_ : "<missing>");
    EXPECT_TRUE((c.applied && !c.oldAside) || targetAlone());
  }
}

}  // namespace
