// The bundle swap end to end with a local artifact: the report sequence, the guards, and the
// promise that the installed bundle is never lost, checked by failing or killing every step.
#include "qm/platform/process.h"
#include "qm/platform/sha256.h"
#include "qm/updater/bundle_swap.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/status_store.h"
#include "qm/updater/status_vocabulary.h"
#include "qm/updater/swap_lock.h"
#include "qm/updater/update_run.h"
#include "swap_test_support.h"
#include "updater_test_support.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <sstream>

using namespace qm::updater;
using namespace qm::updater::testing;

namespace {

const std::string kArtifactURL = "https://api.quillomancer.com/files/Quillomancer-2.0.2.zip";
const std::string kOperationID = "3f1e2d4c-5b6a-4789-8abc-def012345678";

// One swap world: a home with the updater's folders, an installed bundle and a zip artifact
// holding the replacement. Either in a private temporary folder, or in the helper's fixed test
// tree (for tests that run the helper).
struct SwapWorld {
  std::unique_ptr<HelperTestTree> helperTree;
  std::unique_ptr<ScratchDir> temp, elsewhere;
  std::string root, home, target, artifactZip;
  std::ostringstream err;
  std::unique_ptr<UpdaterContext> context;
  CopyDownloader* downloader = nullptr;
  RecordingTelemetry* telemetry = nullptr;
  LaunchPayload payload;
  SwapSettings settings;
  std::string oldPrint, newPrint;

  // plugInsElsewhere: the plug-in folder on the disk while the rest is in memory, so that every
  // move between them is a copy across file systems.
  explicit SwapWorld(bool useHelperTree, bool plugInsElsewhere = false) {
    if (useHelperTree) {
      helperTree = std::make_unique<HelperTestTree>();
      root = HelperTestTree::root;
      home = HelperTestTree::home;
      target = HelperTestTree::target;
    } else {
      temp = std::make_unique<ScratchDir>(true);
      root = temp->path;
      home = root + "/home";
      target = root + "/Plug-Ins/Quillomancer.aaxplugin";
      if (plugInsElsewhere) {
        elsewhere = std::make_unique<ScratchDir>(false);
        target = elsewhere->path + "/Plug-Ins/Quillomancer.aaxplugin";
      }
    }
    const std::string source = root + "/source";
    makeBundle(source + "/Quillomancer.aaxplugin", "new");
    newPrint = fingerprint(source + "/Quillomancer.aaxplugin");
    // Litter that the archive tool leaves out or staging removes.
    writeText(source + "/Quillomancer.aaxplugin/._Info.plist", "litter");
    writeText(source + "/Quillomancer.aaxplugin/Contents/.DS_Store", "litter");
    artifactZip = root + "/artifact.zip";
    qm::platform::ProcessOptions o;
    o.workingDirectory = source;
    o.timeoutSeconds = 60;
    qm::platform::runProcess("/usr/bin/zip", {"-qry", artifactZip, "Quillomancer.aaxplugin"}, o);
    std::string sha;
    qm::platform::sha256File(artifactZip, sha);

    const AppPaths paths = AppPaths::forHome(home);
    context = std::make_unique<UpdaterContext>(paths, UpdaterConfig{}, err);
    auto d = std::make_unique<CopyDownloader>();
    d->files[kArtifactURL] = artifactZip;
    downloader = d.get();
    context->downloader = std::move(d);
    auto t = std::make_unique<RecordingTelemetry>();
    telemetry = t.get();
    context->telemetryClient = std::move(t);

    payload.schemaVersion = "1";
    payload.requestID = "9a8b7c6d-5e4f-4a3b-9c2d-1e0f9a8b7c6d";
    payload.host = "pro_tools";
    payload.username = "editor";
    payload.installedVersion = "2.0.1";
    payload.targetVersion = "2.0.2";
    payload.effectiveChannel = "stable";
    payload.action = "swap";
    payload.operationID = kOperationID;
    payload.artifactURL = kArtifactURL;
    payload.artifactSHA256 = sha;
    payload.telemetryEndpointURL = "https://api.quillomancer.com/telemetry";
    payload.telemetryBearerToken = "token-for-tests";

    settings.target = target;
    // The host is not running; the host wait has tests of its own.
    settings.pgrepProgram = kNoHostPgrep;
    settings.hostPollSeconds = 0.05;
    settings.hostWaitTimeoutSeconds = 5;
    installOld();
  }

  void installOld() {
    std::error_code ec;
    fs::remove_all(target, ec);
    makeBundle(target, "old");
    oldPrint = fingerprint(target);
  }
  std::string operationFolder() const { return context->paths.swapOperationsDirectory + "/" + kOperationID; }
  std::string staged() const { return operationFolder() + "/staging/Quillomancer.aaxplugin"; }
  std::string sibling() const { return exchangeSiblingOf(target); }
  // Whatever stands in the plug-in folder besides the target.
  std::vector<std::string> besideTarget() const {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(fs::path(target).parent_path()))
      if (entry.path().string() != target) out.push_back(entry.path().filename().string());
    return out;
  }
  std::string lockFile() const { return context->paths.swapLocksDirectory + "/swap.lock"; }
  std::string statusStage() const {
    const auto s = context->statusStore.read(payload.requestID);
    return s ? s->stage : "<none>";
  }
  int swap() { return runSwap(*context, payload, "2026-01-01T00:00:00Z", settings); }
  // A run of this request; how it ended is in its status.
  void run() try {
    runUpdate(*context, payload, settings);
  } catch (const UpdaterError&) {
  }
  // A start of the updater in pending mode, with no request waiting.
  int startWithoutRequest() { return runUpdater({"QuillomancerUpdater"}, *context, settings); }
  std::string statusText() const {
    const auto s = context->statusStore.read(payload.requestID);
    return s ? s->status + "/" + s->stage + "/" + s->errorCode.value_or("") + "/" + s->errorDetail.value_or("")
             : "<none>";
  }
  // The host is gone at the first look and back at every later one (the look right before the moves).
  void hostBackAfterFirstLook() {
    const std::string count = root + "/pgrep-calls";
    settings.pgrepProgram = root + "/pgrep";
    writeText(settings.pgrepProgram,
              "#!/bin/sh\necho x >> '" + count + "'\n[ $(wc -l < '" + count + "') -ge 2 ] || exit 1\nexit 0\n");
    fs::permissions(settings.pgrepProgram, fs::perms::owner_all);
  }
  // The error of a swap that must fail.
  UpdaterError failingSwap() {
    try {
      swap();
    } catch (const UpdaterError& e) {
      return e;
    }
    return UpdaterError(UpdaterErrorCode::unexpectedException, "<the swap did not fail>");
  }
};

TEST(BundleSwap, SuccessReportsEveryStepAndKeepsTheOperationFolder) {
  SwapWorld w(false);
  EXPECT_EQ(w.swap(), 0);
  EXPECT_EQ(fingerprint(w.target), w.newPrint);
  EXPECT_EQ(fingerprint(w.operationFolder() + "/Quillomancer.backup.aaxplugin"), w.oldPrint);
  EXPECT_EQ(fingerprint(w.operationFolder() + "/Quillomancer.replacing.aaxplugin"), w.oldPrint);
  EXPECT_TRUE(fs::is_directory(w.operationFolder() + "/staging"));
  EXPECT_FALSE(fs::exists(w.lockFile()));
  EXPECT_EQ(w.statusStage(), "swap_commit_complete");

  const std::vector<std::string> expectedEvents = {
      "swap_op_created/in_progress",    "swap_artifact_download_start/in_progress",
      "swap_artifact_downloaded/success", "swap_artifact_verified/success",
      "swap_host_closed/success",        "swap_backup_captured/success",
      "swap_applied/success",            "swap_postcheck_ok/success",
      "swap_commit_complete/success"};
  EXPECT_EQ(w.telemetry->names(), expectedEvents);
  for (const auto& e : w.telemetry->events) EXPECT_FALSE(e.errorCode.has_value());

  std::vector<std::string> stages;
  for (const auto& m : logMessages(w.context->paths.logFile))
    if (m.rfind("stage=", 0) == 0 || m.rfind("branch=", 0) == 0) stages.push_back(m);
  const std::string artifact = w.context->paths.cacheDirectory + "/Quillomancer-2.0.2-swap.zip";
  const std::vector<std::string> expectedLog = {
      "branch=swap", "stage=download_started url=" + kArtifactURL, "stage=download_ok artifact=" + artifact,
      "stage=swap_preflight_ok", "stage=swap_host_closed", "stage=swap_backup_captured", "stage=swap_applied",
      "stage=swap_commit_complete"};
  EXPECT_EQ(stages, expectedLog);
}

TEST(BundleSwap, WaitsForARunningHostBeforeTakingTheLock) {
  SwapWorld w(false);
  // A pgrep stand-in that sees the host twice, then no more.
  const std::string count = w.root + "/pgrep-calls";
  w.settings.pgrepProgram = w.root + "/pgrep";
  writeText(w.settings.pgrepProgram, "#!/bin/sh\n[ \"$1 $2\" = \"-x Pro Tools\" ] || exit 2\necho x >> '" + count +
                                         "'\n[ $(wc -l < '" + count + "') -le 2 ]\n");
  fs::permissions(w.settings.pgrepProgram, fs::perms::owner_all);
  EXPECT_EQ(w.swap(), 0);
  const auto names = w.telemetry->names();
  const auto waiting = std::find(names.begin(), names.end(), "swap_host_waiting/in_progress");
  ASSERT_NE(waiting, names.end());
  EXPECT_EQ(*(waiting + 1), "swap_host_closed/success");
  EXPECT_TRUE(contains(logMessages(w.context->paths.logFile), "stage=swap_host_waiting process=Pro Tools"));
}

TEST(BundleSwap, HostCheckThatCannotBeMadeWaitsAsForARunningHost) {
  SwapWorld w(false);
  w.settings.pgrepProgram = w.root + "/no-such-pgrep";
  w.settings.hostWaitTimeoutSeconds = 0.2;
  const UpdaterError e = w.failingSwap();
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapHostStillRunning);
  EXPECT_EQ(e.detail, "Pro Tools still running");
  EXPECT_EQ(w.statusStage(), "swap_host_waiting");
  EXPECT_EQ(fingerprint(w.target), w.oldPrint);
  EXPECT_FALSE(fs::exists(w.lockFile()));
}

TEST(BundleSwap, HostStartedAgainBeforeTheMovesKeepsItsBundle) {
  SwapWorld w(false);
  w.hostBackAfterFirstLook();
  const UpdaterError e = w.failingSwap();
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapHostStillRunning);
  EXPECT_EQ(e.detail, "Pro Tools still running");
  EXPECT_EQ(w.statusStage(), "swap_backup_captured");
  EXPECT_EQ(fingerprint(w.target), w.oldPrint);
  EXPECT_FALSE(fs::exists(w.operationFolder() + "/Quillomancer.replacing.aaxplugin")) << "nothing was moved";
  EXPECT_FALSE(fs::exists(w.lockFile()));
}

TEST(BundleSwap, BadHashEndsBeforeTheLockAndTouchesNothing) {
  SwapWorld w(false);
  w.payload.artifactSHA256 = std::string(64, '0');
  const UpdaterError e = w.failingSwap();
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::hashMismatch);
  EXPECT_EQ(fingerprint(w.target), w.oldPrint);
  EXPECT_FALSE(fs::exists(w.lockFile()));
  EXPECT_FALSE(fs::exists(w.operationFolder()));
}

TEST(BundleSwap, MissingFieldsAndTargetAreRefused) {
  SwapWorld w(false);
  auto noUrl = w.payload;
  noUrl.artifactURL.reset();
  try {
    runSwap(*w.context, noUrl, "2026-01-01T00:00:00Z", w.settings);
    FAIL();
  } catch (const UpdaterError& e) {
    EXPECT_EQ(e.errorCode, UpdaterErrorCode::missingRequiredField);
    EXPECT_EQ(e.detail, "Missing swap artifact fields");
  }
  fs::remove_all(w.target);
  const UpdaterError e = w.failingSwap();
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapApplyFailed);
  EXPECT_EQ(e.detail, "target plugin missing at " + w.target);
  EXPECT_FALSE(fs::exists(w.lockFile()));
}

TEST(BundleSwap, LiveLockEndsWithSwapInProgressAndStays) {
  SwapWorld w(false);
  fs::create_directories(w.context->paths.swapLocksDirectory);
  SwapLock other = SwapLock::acquire(w.lockFile(), "someone-else");
  const UpdaterError e = w.failingSwap();
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapInProgress);
  EXPECT_EQ(readText(w.lockFile()), "someone-else");
  EXPECT_EQ(fingerprint(w.target), w.oldPrint);
}

// A file system that cannot exchange two items: the swap makes two moves instead.
const FileFault kExchangeRefused{0, EINVAL, false, FileStep::exchange, {}};
const FileFault kExchangeFails{0, EIO, false, FileStep::exchange, {}};
FileFault renameFails(const std::string& source, int error = EIO) {
  return {0, error, false, FileStep::rename, source};
}

using Faults = std::vector<FileFault>;
// Cases named by what goes wrong, with the faults that make it happen in a given world.
struct FaultsCase {
  const char* name;
  Faults (*faults)(const SwapWorld&);
};

// A failure at any step of the apply leaves the installed bundle in place, with one rollback
// event, and nothing beside it.
TEST(BundleSwap, FailedApplyLeavesTheInstalledBundleInPlace) {
  const FaultsCase cases[] = {
      {"the new bundle cannot be carried over", [](const SwapWorld& w) { return Faults{renameFails(w.staged())}; }},
      {"the exchange fails", [](const SwapWorld&) { return Faults{kExchangeFails}; }},
      {"the replaced bundle cannot go aside", [](const SwapWorld& w) { return Faults{renameFails(w.sibling())}; }},
      {"no exchange, and the new bundle cannot go in",
       [](const SwapWorld& w) { return Faults{kExchangeRefused, renameFails(w.sibling())}; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SwapWorld w(false);
    FileFaults::set(c.faults(w));
    const UpdaterError e = w.failingSwap();
    FileFaults::clear();
    EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapApplyFailed);
    EXPECT_NE(e.detail.find("Input/output error"), std::string::npos) << e.detail;
    EXPECT_EQ(fingerprint(w.target), w.oldPrint);
    EXPECT_EQ(w.telemetry->names().back(), "swap_rollback_complete/success");
    EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(w.lockFile()));
  }
}

// After the exchange the replaced bundle can neither go aside nor back: the new bundle is kept.
TEST(BundleSwap, ExchangeThatCannotBeUndoneIsKept) {
  SwapWorld w(false);
  FileFaults::set({renameFails(w.sibling()), {2, EIO, false, FileStep::exchange, {}}});
  EXPECT_EQ(w.swap(), 0);
  FileFaults::clear();
  EXPECT_EQ(fingerprint(w.target), w.newPrint);
  EXPECT_EQ(w.statusStage(), "swap_commit_complete");
}

// Without exchange the new bundle cannot go in, and neither copy of the old one can go back.
Faults rollbackFailsWithoutExchange(const SwapWorld& w) {
  const std::string ops = w.context->paths.swapOperationsDirectory;
  const std::string backupCopy =
      fs::path(w.target).parent_path().string() + "/.Quillomancer.aaxplugin.copying." + std::to_string(::getpid());
  return {kExchangeRefused, renameFails(w.sibling()), renameFails(backupCopy),
          renameFails(ops + "/" + *w.payload.operationID + "/Quillomancer.replacing.aaxplugin")};
}

TEST(BundleSwap, FailedRollbackIsReportedAsSuch) {
  SwapWorld v(false);
  FileFaults::set(rollbackFailsWithoutExchange(v));
  const UpdaterError f = v.failingSwap();
  FileFaults::clear();
  EXPECT_EQ(f.errorCode, UpdaterErrorCode::swapRollbackFailed) << f.detail;
  EXPECT_NE(f.detail.find("; rollback: "), std::string::npos) << f.detail;
  EXPECT_EQ(v.telemetry->names().back(), "swap_rollback_failed/failed");
  // The whole old bundle is still in the operation folder.
  EXPECT_EQ(fingerprint(v.operationFolder() + "/Quillomancer.backup.aaxplugin"), v.oldPrint);
  EXPECT_FALSE(fs::exists(v.lockFile()));
}

// A swap whose rollback failed leaves the target empty, the old bundle in its operation folder and
// no lock behind: the next start of the updater, whatever it is for, puts the bundle back. A
// target emptied after a swap that ended with a bundle in place (committed, rolled back, or
// failed before moving anything) was emptied by someone else: no older bundle is put back.
TEST(BundleSwap, EmptyTargetLeftByAFailedRollbackIsRefilledAtTheNextStart) {
  enum How { failedRollback, failureNotRecorded, succeeded, rolledBack, hostCameBack };
  struct Case {
    const char* name;
    How how;
    bool restored;
    const char* statusAfter;  // "" when the status stays as the swap left it
  } cases[] = {
      {"rollback failed, failure recorded", failedRollback, true, "success/swap_rollback_complete//"},
      {"rollback failed, failure not recorded", failureNotRecorded, true,
       "failed/failed/unexpected_exception/interrupted swap was rolled back"},
      {"swap succeeded, bundle removed afterwards", succeeded, false, ""},
      {"swap rolled back, bundle removed afterwards", rolledBack, false, ""},
      {"host came back before the moves, bundle removed afterwards", hostCameBack, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SwapWorld w(false);
    if (c.how == failedRollback || c.how == failureNotRecorded)
      FileFaults::set(rollbackFailsWithoutExchange(w));
    else if (c.how == rolledBack)
      FileFaults::set({renameFails(w.sibling())});
    else if (c.how == hostCameBack)
      w.hostBackAfterFirstLook();
    try {
      // The whole run writes the failure's status; the swap alone leaves its last step's.
      if (c.how == failureNotRecorded)
        w.swap();
      else
        runUpdate(*w.context, w.payload, w.settings);
    } catch (const UpdaterError&) {
    }
    FileFaults::clear();
    if (c.how == failedRollback) {
      ASSERT_EQ(w.statusText().rfind("failed/failed/swap_rollback_failed/", 0), 0u) << w.statusText();
    }
    ASSERT_TRUE(c.how != rolledBack || w.statusText().rfind("failed/failed/swap_apply_failed/", 0) == 0);
    if (c.how == succeeded || c.how == rolledBack || c.how == hostCameBack) fs::remove_all(w.target);
    ASSERT_EQ(fingerprint(w.target), "<missing>");
    ASSERT_FALSE(fs::exists(w.lockFile()));
    const std::string statusBefore = w.statusText();
    const std::string logBefore = readText(w.context->paths.logFile);

    EXPECT_EQ(w.startWithoutRequest(), 0);
    EXPECT_EQ(w.err.str(), "");
    EXPECT_FALSE(fs::exists(w.lockFile()));
    EXPECT_EQ(w.statusText(), *c.statusAfter ? std::string(c.statusAfter) : statusBefore);
    if (!c.restored) {
      EXPECT_EQ(fingerprint(w.target), "<missing>");
      EXPECT_EQ(readText(w.context->paths.logFile), logBefore);
      continue;
    }
    EXPECT_EQ(fingerprint(w.target), w.oldPrint);
    EXPECT_TRUE(contains(logMessages(w.context->paths.logFile), "swap_restored_from=" + w.operationFolder()));
    // Done once: the next start finds nothing to do.
    const std::string log = readText(w.context->paths.logFile);
    EXPECT_EQ(w.startWithoutRequest(), 0);
    fs::remove_all(w.target);
    EXPECT_EQ(w.startWithoutRequest(), 0);
    EXPECT_EQ(fingerprint(w.target), "<missing>");
    EXPECT_EQ(readText(w.context->paths.logFile), log);
  }
}

TEST(BundleSwap, PermissionDeniedWithoutHelper) {
  SwapWorld w(false);
  FileFaults::set({renameFails(w.staged(), EACCES)});
  const UpdaterError e = w.failingSwap();
  FileFaults::clear();
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapApplyFailed);
  EXPECT_EQ(e.detail, "permission denied and helper binary not found");
  EXPECT_EQ(fingerprint(w.target), w.oldPrint);
  EXPECT_FALSE(fs::exists(w.lockFile()));
}

// Any step of the apply refused for lack of rights: what was done is undone, and the helper makes
// the whole apply from the staged bundle, with the installed bundle at the target.
TEST(BundleSwap, PermissionDeniedGoesThroughTheHelper) {
  const FaultsCase cases[] = {
      {"carrying the new bundle over refused",
       [](const SwapWorld& w) { return Faults{renameFails(w.staged(), EACCES)}; }},
      {"the exchange refused", [](const SwapWorld&) { return Faults{{0, EACCES, false, FileStep::exchange, {}}}; }},
      {"no exchange, moving the installed bundle aside refused",
       [](const SwapWorld& w) { return Faults{kExchangeRefused, renameFails(w.target, EACCES)}; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SwapWorld w(true);
    w.settings.helperCandidates = {w.root + "/not-there", HelperTestTree::helper()};
    FileFaults::set(c.faults(w));
    const int code = w.swap();
    FileFaults::clear();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fingerprint(w.target), w.newPrint);
    EXPECT_EQ(fingerprint(w.operationFolder() + "/Quillomancer.replacing.aaxplugin"), w.oldPrint);
    EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
    EXPECT_TRUE(contains(logMessages(w.context->paths.logFile), "stage=swap_applied_via_helper"));
    EXPECT_EQ(w.statusStage(), "swap_commit_complete");
  }
}

TEST(BundleSwap, HelperThatReportsSuccessWithoutATargetFailsThePostcheck) {
  SwapWorld w(false);
  const std::string helper = w.root + "/liar";
  writeText(helper, "#!/bin/sh\nrm -rf \"$2\"\nexit 0\n");
  fs::permissions(helper, fs::perms::owner_all);
  w.settings.helperCandidates = {helper};
  FileFaults::set({renameFails(w.staged(), EACCES)});
  const UpdaterError e = w.failingSwap();
  FileFaults::clear();
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapApplyFailed);
  EXPECT_EQ(e.detail, "postcheck target missing");
  EXPECT_EQ(fingerprint(w.target), w.oldPrint) << "rolled back from the backup";
  EXPECT_EQ(w.telemetry->names().back(), "swap_applied/success") << "no rollback event on this path";
  EXPECT_FALSE(fs::exists(w.lockFile()));
}

// A user without rights to the plug-in folder: the updater's move fails for real, and so does the
// helper started by the same user; the bundle stays in place.
TEST(BundleSwap, RealPermissionDeniedAsOrdinaryUser) {
  if (runningAsRoot()) GTEST_SKIP() << "root has every right";
  SwapWorld w(true);
  w.settings.helperCandidates = {HelperTestTree::helper()};
  fs::permissions(HelperTestTree::plugIns, fs::perms::owner_read | fs::perms::owner_exec);
  const UpdaterError e = w.failingSwap();
  fs::permissions(HelperTestTree::plugIns, fs::perms::owner_all);
  EXPECT_EQ(e.errorCode, UpdaterErrorCode::swapApplyFailed);
  EXPECT_EQ(e.detail, "privileged helper failed with exit 3: helper_error: Permission denied");
  EXPECT_EQ(fingerprint(w.target), w.oldPrint);
}

TEST(BundleSwap, StaleLockOfAKilledSwapIsTakenOverAndItsExchangeKept) {
  SwapWorld w(false);
  // A swap killed right after the exchange, before the replaced bundle went into its folder.
  const int status = inChild([&] {
    FileFaults::set({{0, 0, true, FileStep::rename, w.sibling()}});
    return w.swap() == 0;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_TRUE(fs::exists(w.lockFile()));
  EXPECT_EQ(fingerprint(w.target), w.newPrint) << "a whole bundle at the target, without any later start";
  // Another request (another operation) comes next: it takes the lock over and restores first.
  w.payload.operationID = "4a2b3c4d-5e6f-4a1b-8c2d-3e4f5a6b7c8d";
  w.payload.requestID = "5b3c4d5e-6f7a-4b2c-9d3e-4f5a6b7c8d9e";
  EXPECT_EQ(w.swap(), 0);
  const auto log = logMessages(w.context->paths.logFile);
  EXPECT_TRUE(contains(log, "swap_lock=taken_over previous=" + kOperationID));
  EXPECT_TRUE(contains(log, "swap_completed_from=" + w.operationFolder()));
  EXPECT_EQ(fingerprint(w.target), w.newPrint);
  EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(w.lockFile()));
  // The killed swap's request has its end.
  const auto dead = w.context->statusStore.read("9a8b7c6d-5e4f-4a3b-9c2d-1e0f9a8b7c6d");
  ASSERT_TRUE(dead);
  EXPECT_EQ(dead->stage, "swap_commit_complete");
}

// A swap killed while it replaces the bundle: the next start of the updater, whatever it is for
// (here pending mode with nothing pending), puts the installed bundle back, or keeps the new one
// when its exchange was made, and gives the killed request its end.
TEST(BundleSwap, KilledSwapIsPutRightAtTheNextStart) {
  enum At { beforeTheExchange, afterTheExchange, betweenTwoMoves, atEvent };
  struct Case {
    const char* name;
    At at;
    std::string dieAtEvent;    // for atEvent
    bool unrecordedApply;      // the kill came after the moves, before "swap_applied" was written
    bool newBundleStays;
    const char* status;
  };
  const char* unchanged = "failed/failed/unexpected_exception/interrupted swap changed nothing";
  const char* rolledBack = "failed/failed/unexpected_exception/interrupted swap was rolled back";
  const char* committed = "success/swap_commit_complete//";
  const Case cases[] = {
      {"before the exchange", beforeTheExchange, "", false, false, unchanged},
      {"after the exchange, before the replaced bundle went aside", afterTheExchange, "", false, true, committed},
      {"no exchange, between the two moves", betweenTwoMoves, "", false, false, rolledBack},
      {"after both moves, before they were recorded", atEvent, "swap_applied", true, true, committed},
      {"after the apply was recorded", atEvent, "swap_applied", false, true, committed},
      {"after the postcheck was recorded", atEvent, "swap_postcheck_ok", false, true, committed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SwapWorld w(false);
    const int status = inChild([&] {
      const FileFault kill{0, 0, true, FileStep::rename, w.sibling()};
      if (c.at == beforeTheExchange) FileFaults::set({{0, 0, true, FileStep::exchange, {}}});
      if (c.at == afterTheExchange) FileFaults::set({kill});
      if (c.at == betweenTwoMoves) FileFaults::set({kExchangeRefused, kill});
      if (c.at == atEvent) w.telemetry->dieAt = c.dieAtEvent;
      return w.swap() == 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(fs::exists(w.lockFile()));
    if (c.unrecordedApply) {
      auto last = w.context->statusStore.read(w.payload.requestID);
      ASSERT_TRUE(last);
      last->stage = "swap_backup_captured";
      w.context->statusStore.write(*last);
    }

    EXPECT_EQ(w.startWithoutRequest(), 0);
    EXPECT_EQ(fingerprint(w.target), c.newBundleStays ? w.newPrint : w.oldPrint);
    EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(w.lockFile()));
    EXPECT_EQ(w.statusText(), c.status);
    EXPECT_EQ(w.err.str(), "");

    // A start that finds nothing to put right writes nothing.
    const std::string log = readText(w.context->paths.logFile);
    EXPECT_EQ(w.startWithoutRequest(), 0);
    EXPECT_EQ(readText(w.context->paths.logFile), log);
  }
}

// SIGTERM or SIGINT in the middle of a copy: the swap rolls back, writes its failure and ends
// normally; the installed bundle is whole. Nothing was changed yet, so the swap may be run again.
TEST(BundleSwap, PoliteSignalMidCopyRollsBackAndReportsTheFailure) {
  struct Case {
    const char* name;
    bool plugInsElsewhere;
    int signal;
    const char* detail;
  } cases[] = {
      {"SIGTERM during the backup copy", false, SIGTERM, "interrupted by SIGTERM"},
      {"SIGINT during the backup copy", false, SIGINT, "interrupted by SIGINT"},
      {"SIGTERM while the new bundle is carried across file systems", true, SIGTERM, "interrupted by SIGTERM"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SwapWorld w(false, c.plugInsElsewhere);
    if (c.plugInsElsewhere && sameFileSystem(w.root, fs::path(w.target).parent_path())) continue;
    const std::string outcome = w.root + "/outcome";
    const int status = inChild([&] {
      // The signal comes as the copy is renamed into place, or as the move across file systems
      // (a rename that fails, then a copy) begins.
      const std::string at = c.plugInsElsewhere ? w.staged()
                                                : w.operationFolder() + "/.Quillomancer.backup.aaxplugin.copying." +
                                                      std::to_string(::getpid());
      FileFaults::set({{0, 0, false, FileStep::rename, at, c.signal}});
      try {
        runUpdate(*w.context, w.payload, w.settings);
      } catch (const UpdaterError& e) {
        std::ofstream(outcome) << e.codeText() << ": " << e.detail;
      }
      return true;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "the signal ended the process";
    const std::string detail = std::string(c.detail) + " before anything was changed";
    EXPECT_EQ(readText(outcome), "unexpected_exception: " + detail);
    EXPECT_EQ(w.statusText(), "failed/failed/unexpected_exception/" + detail);
    EXPECT_EQ(fingerprint(w.target), w.oldPrint);
    EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(w.lockFile()));
  }
}

// A stop before the target changes leaves it, and the swap may run again: at the start, between a
// refused exchange and the move aside, and as a start puts right a swap killed between two moves.
TEST(BundleSwap, StopBeforeAChangeAtTheTargetChangesNothing) {
  enum At { atTheStart, refusedExchange, recovering };
  for (const At at : {atTheStart, refusedExchange, recovering}) {
    SCOPED_TRACE(at);
    SwapWorld w(false);
    ASSERT_TRUE(at != recovering || WIFSIGNALED(inChild([&] {
                  FileFaults::set({kExchangeRefused, {0, 0, true, FileStep::rename, w.sibling()}});
                  return w.swap() == 0;
                })));
    const int stopped = inChild([&] {
      sigset_t stop;  // at the start: sent before the updater runs, delivered as it lets it through
      sigemptyset(&stop);
      sigaddset(&stop, SIGTERM);
      if (at == atTheStart) ::sigprocmask(SIG_BLOCK, &stop, nullptr);
      if (at == atTheStart) ::kill(::getpid(), SIGTERM);
      if (at == refusedExchange) FileFaults::set({{0, EINVAL, false, FileStep::exchange, {}, SIGTERM}});
      if (at == recovering) FileFaults::set({{1, 0, false, std::nullopt, {}, SIGTERM}});
      if (at != recovering) w.run();
      return at != recovering || w.startWithoutRequest() == 0;
    });
    ASSERT_TRUE(WIFEXITED(stopped)) << "the stop ended the process";
    EXPECT_EQ(fs::exists(w.lockFile()), at == recovering) << "left for a later start";
    EXPECT_EQ(at == recovering ? w.startWithoutRequest() : 0, 0);
    EXPECT_EQ(w.statusText(), std::string("failed/failed/unexpected_exception/") +
                                  (at == recovering ? "interrupted swap was rolled back"
                                                    : "interrupted by SIGTERM before anything was changed"));
    EXPECT_EQ(fingerprint(w.target), w.oldPrint);
  }
}

// A stop between the two moves (no exchange) puts the installed bundle back; the swap runs again.
TEST(BundleSwap, StopBetweenTheTwoMovesEndsRetryableWithTheBundleWhole) {
  SwapWorld w(false);
  ASSERT_TRUE(WIFEXITED(inChild([&] {
    FileFaults::set({kExchangeRefused, {0, 0, false, FileStep::rename, w.target, SIGTERM}});
    w.run();
    return true;
  })));
  EXPECT_EQ(w.statusText(),
            "failed/failed/unexpected_exception/interrupted by SIGTERM; the installed bundle was put back");
  EXPECT_EQ(fingerprint(w.target), w.oldPrint);
  w.run();
  EXPECT_EQ(w.statusText(), "success/swap_commit_complete//");
}

// A retry (a new request for the same operation) that finds the target empty fills it only where
// a failed rollback of ours emptied it: a plug-in the user removed after a swap that was rolled
// back stays removed, and the swap ends.
TEST(BundleSwap, RetryRefillsAnEmptyTargetOnlyWhereOurRollbackFailed) {
  for (const bool ourRollbackFailed : {false, true}) {
    SCOPED_TRACE(ourRollbackFailed ? "left empty by a failed rollback" : "removed by the user");
    SwapWorld w(false);
    FileFaults::set(ourRollbackFailed ? rollbackFailsWithoutExchange(w) : Faults{renameFails(w.sibling())});
    w.run();
    FileFaults::clear();
    if (!ourRollbackFailed) fs::remove_all(w.target);
    ASSERT_EQ(fingerprint(w.target), "<missing>");
    w.payload.requestID = "5b3c4d5e-6f7a-4b2c-9d3e-4f5a6b7c8d9e";
    w.run();
    const auto log = logMessages(w.context->paths.logFile);
    EXPECT_EQ(contains(log, "swap_restored_from=" + w.operationFolder()), ourRollbackFailed);
    EXPECT_EQ(fingerprint(w.target), ourRollbackFailed ? w.newPrint : "<missing>");
    EXPECT_EQ(w.statusText(), ourRollbackFailed ? "success/swap_commit_complete//"
                                                : "failed/failed/swap_apply_failed/target plugin missing at " + w.target);
    EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(w.lockFile()));
  }
}

// A swap killed between the two moves (no exchange) left the target empty and the new bundle
// beside it (across file systems, the installed bundle's leftover too). The start that rolls it
// back fills the target before it deletes anything: killed at its first removal, the installed
// bundle stands.
TEST(BundleSwap, RollbackAfterAKillBetweenTheMovesFillsTheTargetBeforeClearing) {
  for (const bool plugInsElsewhere : {false, true}) {
    SCOPED_TRACE(plugInsElsewhere ? "across file systems" : "one file system");
    SwapWorld w(false, plugInsElsewhere);
    if (plugInsElsewhere && sameFileSystem(w.root, fs::path(w.target).parent_path())) continue;
    ASSERT_TRUE(WIFSIGNALED(inChild([&] {
      FileFaults::set({kExchangeRefused, {0, 0, true, FileStep::rename, w.sibling()}});
      return w.swap() == 0;
    })));
    ASSERT_EQ(fingerprint(w.target), "<missing>");
    EXPECT_TRUE(WIFSIGNALED(inChild([&] {
      FileFaults::set({{0, 0, true, FileStep::remove, {}}});
      return w.startWithoutRequest() == 0;
    })));
    EXPECT_EQ(fingerprint(w.target), w.oldPrint);
  }
}

// Without exchange, across file systems, the installed bundle's leftover is deleted only after the
// new bundle went in: killed at that deletion, the target holds the new bundle.
TEST(BundleSwap, TwoMovesLeaveTheTargetEmptyForOneStepOnly) {
  SwapWorld w(false, true);
  if (sameFileSystem(w.root, fs::path(w.target).parent_path())) GTEST_SKIP() << "no second file system";
  ASSERT_TRUE(WIFSIGNALED(inChild([&] {
    const std::string left = fs::path(w.target).parent_path().string() + "/.Quillomancer.aaxplugin.moved.";
    FileFaults::set({kExchangeRefused, {0, 0, true, FileStep::remove, left + std::to_string(::getpid())}});
    return w.swap() == 0;
  }))) << "the leftover was never deleted";
  EXPECT_EQ(fingerprint(w.target), w.newPrint);
  EXPECT_EQ(w.startWithoutRequest(), 0);
  EXPECT_EQ(w.statusText(), "success/swap_commit_complete//");
  EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
}

// A swap killed before its backup (while staging, or before its operation folder), the plug-in
// kept or removed since: the next starts leave the target as it is and free the lock.
TEST(BundleSwap, SwapKilledBeforeItsBackupChangedNothing) {
  const struct { bool duringStaging, removed; } cases[] = {{true, false}, {true, true}, {false, false}, {false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.duringStaging) + std::to_string(c.removed));
    SwapWorld w(false);
    const std::string at = c.duringStaging ? w.operationFolder() + "/staging" : w.operationFolder();
    ASSERT_TRUE(WIFSIGNALED(inChild([&] {
      FileFaults::set({{0, 0, true, FileStep::makeFolder, at}});
      return w.swap() == 0;
    })));
    if (c.removed) fs::remove_all(w.target);
    const std::string kept = fingerprint(w.target);
    for (int start = 1; start <= 2; ++start) {
      SCOPED_TRACE("start " + std::to_string(start));
      EXPECT_EQ(w.startWithoutRequest(), 0);
      EXPECT_FALSE(fs::exists(w.lockFile()));
      EXPECT_EQ(fingerprint(w.target), kept);
      EXPECT_EQ(w.statusText(), c.duringStaging
                                    ? "failed/failed/unexpected_exception/interrupted swap changed nothing"
                                    : "success/swap_host_closed//");
    }
    w.payload.operationID = "4a2b3c4d-5e6f-4a1b-8c2d-3e4f5a6b7c8d";
    w.payload.requestID = "5b3c4d5e-6f7a-4b2c-9d3e-4f5a6b7c8d9e";
    w.run();
    EXPECT_EQ(w.statusText(), c.removed ? "failed/failed/swap_apply_failed/target plugin missing at " + w.target
                                        : "success/swap_commit_complete//");
  }
}

// The helper (the updater lacking the rights) killed before or after its exchange: the status
// says what stands at the target.
TEST(BundleSwap, KilledHelperIsReportedByWhatStandsAtTheTarget) {
  for (const bool after : {false, true}) {
    SwapWorld w(true);
    w.settings.helperCandidates = {HelperTestTree::helper()};
    ::setenv("QM_HELPER_TEST_FAULTS", after ? "kill_after_exchange" : "kill_before_exchange", 1);
    FileFaults::set({renameFails(w.staged(), EACCES)});
    w.run();
    FileFaults::clear();
    ::unsetenv("QM_HELPER_TEST_FAULTS");
    EXPECT_EQ(fingerprint(w.target), after ? w.newPrint : w.oldPrint);
    EXPECT_EQ(w.statusText(), after ? "success/swap_commit_complete//"
                                    : "failed/failed/unexpected_exception/privileged helper failed with signal 9; "
                                      "nothing was changed");
  }
}

// A swap killed after its exchange, or between two moves without one; then the start that puts it
// right killed at each of its file steps in turn. The start after that ends in agreement: the new
// bundle and "swap_commit_complete", or the installed one and a code that lets the swap run again.
TEST(BundleSwap, RecoveryKilledAtEveryStepStillEndsInAgreement) {
  for (const bool noExchange : {false, true}) {
    SwapWorld w(false);
    bool recoveryKilled = true;
    for (std::uint64_t k = 1; recoveryKilled && !::testing::Test::HasFailure(); ++k) {
      SCOPED_TRACE((noExchange ? "no exchange, recovery step " : "recovery step ") + std::to_string(k));
      std::error_code ec;
      fs::remove_all(w.context->paths.swapStateDirectory, ec);
      fs::remove_all(w.context->paths.statusDirectory, ec);
      w.installOld();
      ASSERT_TRUE(WIFSIGNALED(inChild([&] {
        const FileFault kill{0, 0, true, FileStep::rename, w.sibling()};
        FileFaults::set(noExchange ? Faults{kExchangeRefused, kill} : Faults{kill});
        return w.swap() == 0;
      })));
      recoveryKilled = WIFSIGNALED(inChild([&] {
        FileFaults::set({{k, 0, true, std::nullopt, {}}});
        return w.startWithoutRequest() == 0;
      }));
      EXPECT_EQ(w.startWithoutRequest(), 0);
      const auto s = w.context->statusStore.read(w.payload.requestID);
      ASSERT_TRUE(s);
      const bool isNew = fingerprint(w.target) == w.newPrint;
      EXPECT_TRUE(isNew ? s->stage == "swap_commit_complete" : isRetryableFailureCode(s->errorCode.value_or("")))
          << w.statusText();
      EXPECT_TRUE(isNew || fingerprint(w.target) == w.oldPrint);
      EXPECT_FALSE(fs::exists(w.lockFile()));
      EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
    }
  }
}

// Each swap that ends with a bundle at the target (committed, or rolled back) keeps the newest two
// operation folders, its own among them; one whose rollback failed keeps them all.
TEST(BundleSwap, OperationFoldersArePrunedToTheNewestTwo) {
  SwapWorld w(false);
  const auto op = [](int n) { return "1a2b3c4d-0000-4000-8000-00000000000" + std::to_string(n); };
  // Three commits, a rollback, a failed rollback: the folders left after each.
  const std::vector<std::vector<int>> kept = {{1}, {1, 2}, {2, 3}, {3, 4}, {3, 4, 5}};
  for (int n = 1; n <= 5; ++n) {
    w.payload.operationID = w.payload.requestID = op(n);
    w.installOld();
    if (n < 4) {
      EXPECT_EQ(w.swap(), 0);
    } else {
      FileFaults::set(n == 4 ? Faults{kExchangeFails} : rollbackFailsWithoutExchange(w));
      const UpdaterErrorCode code = w.failingSwap().errorCode;
      FileFaults::clear();
      EXPECT_EQ(code, n == 4 ? UpdaterErrorCode::swapApplyFailed : UpdaterErrorCode::swapRollbackFailed);
    }
    std::vector<std::string> expected, folders;
    for (const int k : kept[n - 1]) expected.push_back(op(k));
    for (const auto& e : fs::directory_iterator(w.context->paths.swapOperationsDirectory))
      folders.push_back(e.path().filename().string());
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, expected) << "after swap " << n;
  }
}

// The promise under faults: run the swap in a child process that fails (or is killed at) its N-th
// file step, for every N; afterwards the target holds the old or the new bundle whole, or (only
// without exchange) the operation folder holds the old one whole and the next start puts it back.
struct FaultCase {
  const char* name;
  bool kill;
  bool plugInsElsewhere;  // the plug-in folder on another file system: moves are copies
  bool failAside;         // the replaced bundle can neither go aside nor be exchanged back (without
                          // exchange, the new bundle cannot go in), so every step of the rollback is hit
  bool noExchange;        // the file system cannot exchange: the two moves
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SwapUnderFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SwapUnderFaults, InstalledBundleIsNeverLost) {
  const FaultCase c = GetParam();
  SwapWorld w(false, c.plugInsElsewhere);
  if (c.plugInsElsewhere && sameFileSystem(w.root, fs::path(w.target).parent_path()))
    GTEST_SKIP() << "no second file system";
  std::vector<FileFault> base;
  if (c.noExchange) base.push_back(kExchangeRefused);
  if (c.failAside) base.push_back({0, EIO, false, FileStep::rename, w.sibling()});
  if (c.failAside && !c.noExchange) base.push_back({2, EIO, false, FileStep::exchange, {}});

  // How many steps a whole run takes.
  const int counting = inChild([&] {
    FileFaults::set(base);
    try {
      w.swap();
    } catch (...) {
    }
    std::ofstream(w.root + "/steps") << FileFaults::stepsTaken();
    return true;
  });
  ASSERT_TRUE(WIFEXITED(counting));
  const std::uint64_t steps = std::stoull(readText(w.root + "/steps"));
  ASSERT_GT(steps, 10u);
  HostStandIn host(w.root);

  // ThreadSanitizer learns nothing from this single-threaded loop of forks and makes each one
  // slow; under it every third step is taken (the other builds take every step).
#if defined(__SANITIZE_THREAD__)
  const std::uint64_t stride = 3;
#else
  const std::uint64_t stride = 1;
#endif
  for (std::uint64_t n = 1; n <= steps; n += stride) {
    SCOPED_TRACE("step " + std::to_string(n));
    std::error_code ec;
    fs::remove_all(w.context->paths.swapStateDirectory, ec);
    w.installOld();
    std::vector<FileFault> faults = {{n, EIO, c.kill, std::nullopt, {}}};
    faults.insert(faults.end(), base.begin(), base.end());
    const int status = inChild([&] {
      FileFaults::set(faults);
      return w.swap() == 0;
    });
    ASSERT_TRUE(WIFEXITED(status) || WIFSIGNALED(status));
    if (!c.kill || WIFEXITED(status)) {
      EXPECT_FALSE(fs::exists(w.lockFile())) << "lock left by a run that ended";
    }

    std::string now = fingerprint(w.target);
    if (!c.noExchange) {
      EXPECT_TRUE(now == w.oldPrint || now == w.newPrint) << "no whole bundle at the target: " << now;
    } else if (now != w.oldPrint && now != w.newPrint) {
      EXPECT_EQ(now, "<missing>") << "the target holds a mixture";
      const bool backupWhole = fingerprint(w.operationFolder() + "/Quillomancer.backup.aaxplugin") == w.oldPrint;
      const bool asideWhole = fingerprint(w.operationFolder() + "/Quillomancer.replacing.aaxplugin") == w.oldPrint;
      EXPECT_TRUE(backupWhole || asideWhole) << "no whole copy of the installed bundle is left";
    }
    // A run killed while it held the lock, or one that ended with the target empty (its rollback
    // failed), is put right by the next start of the updater: a whole bundle at the target and,
    // once its operation folder named the request, a final status.
    // That start waits for the host; then a made exchange is committed, else a retryable code.
    const bool killed = WIFSIGNALED(status);
    if ((killed && fs::exists(w.lockFile())) || now == "<missing>") {
      const bool named = fs::exists(w.operationFolder() + "/request_id");
      const std::string left = now;
      host.start();
      w.settings.pgrepProgram = host.pgrep;
      EXPECT_EQ(w.startWithoutRequest(), 0);
      EXPECT_EQ(fingerprint(w.target), left) << "changed while the host runs";
      host.quit();
      EXPECT_EQ(w.startWithoutRequest(), 0);
      now = fingerprint(w.target);
      EXPECT_TRUE(now == w.oldPrint || now == w.newPrint) << now;
      EXPECT_TRUE(left == "<missing>" || now == left) << "a whole bundle at the target stays";
      EXPECT_FALSE(fs::exists(w.lockFile()));
      const auto s = w.context->statusStore.read(w.payload.requestID);
      EXPECT_TRUE(!named || (s && isFinalUpdateStage(s->stage)))
          << w.statusText();
      if (s && s->stage == "swap_commit_complete") {
        EXPECT_EQ(now, w.newPrint) << "committed, so the new bundle stands";
      }
      EXPECT_TRUE(!killed || !named || !s ||
                  (now == w.newPrint ? s->stage == "swap_commit_complete"
                                     : isRetryableFailureCode(s->errorCode.value_or(""))))
          << w.statusText();
    }
    // The next run (faults gone) ends with the new bundle in place, whatever was left behind.
    // Always after a kill or a target that is not the old bundle; now and then after a clean
    // failure too (it left the old bundle and no lock, which the checks above saw already).
    if (!killed && now == w.oldPrint && n % 4 != 0) continue;
    EXPECT_EQ(w.swap(), 0);
    EXPECT_EQ(fingerprint(w.target), w.newPrint);
    EXPECT_FALSE(fs::exists(w.lockFile()));
    // Nothing half-made is left beside the bundle.
    EXPECT_EQ(w.besideTarget(), std::vector<std::string>{});
    if (::testing::Test::HasFailure()) break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SwapUnderFaults,
    ::testing::Values(FaultCase{"Fail", false, false, false, false}, FaultCase{"Kill", true, false, false, false},
                      FaultCase{"FailAcrossFileSystems", false, true, false, false},
                      FaultCase{"KillAcrossFileSystems", true, true, false, false},
                      FaultCase{"FailDuringRollback", false, false, true, false},
                      FaultCase{"KillDuringRollback", true, false, true, false},
                      FaultCase{"FailWithoutExchange", false, false, false, true},
                      FaultCase{"KillWithoutExchange", true, false, false, true},
                      FaultCase{"FailDuringRollbackWithoutExchange", false, false, true, true},
                      FaultCase{"KillDuringRollbackWithoutExchange", true, false, true, true}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
