// Runs the real QuillomancerUpdater program with a private home folder.
#include "qm/platform/process.h"
#include "qm/updater/app_paths.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/status_store.h"
#include "updater_test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qm::updater;
using qm::updater::testing::TempDir;

namespace {

const std::string kProgram = std::string(QM_BINARY_DIR) + "/bin/QuillomancerUpdater";

LaunchPayload validRequest(const std::string& id) {
  return qm::updater::testing::sampleRequest(id, nowInternetDateTime());
}

struct ProgramRun {
  int exitCode;
  std::string err;
  std::string out;
};

ProgramRun runUpdater(const fs::path& home, const std::vector<std::string>& args) {
  std::vector<std::string> full = {"HOME=" + home.string(), kProgram};
  full.insert(full.end(), args.begin(), args.end());
  qm::platform::ProcessOptions o;
  o.timeoutSeconds = 60;
  const auto r = qm::platform::runProcess("/usr/bin/env", full, o);
  return {r.exitCode, r.standardError, r.standardOutput};
}

}  // namespace

TEST(UpdaterProgram, ExitCodesAndStandardError) {
  TempDir home;
  const auto paths = AppPaths::forHome(home.str());
  const fs::path valid = home.path / "valid.json";
  { std::ofstream(valid) << encodeLaunchPayload(validRequest("0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69")); }
  auto badSchema = validRequest("0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69");
  badSchema.schemaVersion = "2";
  auto stale = validRequest("0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69");
  stale.timestampUTC = "2020-01-01T00:00:00Z";
  auto farFuture = validRequest("0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69");
  farFuture.timestampUTC = "2611-06-30T07:41:57Z";
  // The two valid requests were handled before: the run refuses them at its duplicate check,
  // which shows they loaded, without going near the network.
  for (const char* id : {"0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69", "1c7d2b63-6a1f-4d9f-8b5c-3a2e4d5c6b7a"}) {
    UpdateStatus done;
    done.requestID = id;
    done.status = "success";
    done.stage = "installer_opened";
    StatusStore(paths.statusDirectory).write(done);
  }

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {
      {"pending mode without a requests folder", {}, 0, ""},
      {"one argument", {"--payload"}, 1, "Updater failed: invalid_payload\n"},
      {"missing file", {"--payload", (home.path / "nope.json").string()}, 1, "Updater failed: unexpected_exception\n"},
      {"unknown argument", {"--verbose", "x"}, 1, "Updater failed: invalid_payload\n"},
      {"valid file, extra arguments ignored", {"--payload", valid.string(), "--x", "y"}, 1, "Updater failed: invalid_request_id\n"},
      {"valid inline request", {"--payload-json", encodeLaunchPayload(validRequest("1c7d2b63-6a1f-4d9f-8b5c-3a2e4d5c6b7a"))}, 1, "Updater failed: invalid_request_id\n"},
      {"inline request that does not decode", {"--payload-json", "{\"schema_version\":1}"}, 1, "Updater failed: unexpected_exception\n"},
      {"inline request with bad schema", {"--payload-json", encodeLaunchPayload(badSchema)}, 1, "Updater failed: invalid_schema_version\n"},
      {"inline request too old", {"--payload-json", encodeLaunchPayload(stale)}, 1, "Updater failed: invalid_payload\n"},
      {"inline request centuries ahead", {"--payload-json", encodeLaunchPayload(farFuture)}, 1, "Updater failed: invalid_payload\n"},
      {"inline request not utf8", {"--payload-json", "{\"x\":\"\xc3\x28\"}"}, 1, "Updater failed: invalid_payload\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ProgramRun r = runUpdater(home.path, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  // Loading writes nothing: no log, no status document besides the two made above.
  EXPECT_FALSE(fs::exists(paths.logFile));
  EXPECT_EQ(std::distance(fs::directory_iterator(paths.statusDirectory), fs::directory_iterator()), 2);
}

TEST(UpdaterProgram, PendingModeReportsRejectedFilesAndEndsQuietly) {
  TempDir home;
  const auto paths = AppPaths::forHome(home.str());
  fs::create_directories(paths.requestsDirectory);
  { std::ofstream(fs::path(paths.requestsDirectory) / "a.json") << "{"; }
  { std::ofstream(fs::path(paths.requestsDirectory) / "b.json") << "{}"; }
  fs::last_write_time(fs::path(paths.requestsDirectory) / "b.json",
                      fs::last_write_time(fs::path(paths.requestsDirectory) / "a.json"));
  ProgramRun r = runUpdater(home.path, {});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err,
            "Updater pending request rejected: a.json reason=request document is not valid JSON\n"
            "Updater pending request rejected: b.json reason=key not found: schema_version\n"
            "Updater pending scan: no valid request found (2 invalid file(s))\n");

  // A valid request among them is taken: its cached package does not match, so its run ends
  // there, before any download.
  { std::ofstream(fs::path(paths.requestsDirectory) / "c.json") << encodeLaunchPayload(validRequest("2d8e3c74-7b2a-4eaa-ac6d-4b3f5e6d7c8b")); }
  { std::ofstream(fs::path(paths.cacheDirectory) / "Quillomancer-2.0.2.pkg") << "not the package"; }
  // The run also removes the run locks of ended requests.
  const fs::path endedLock = fs::path(paths.statusDirectory) / "0c1d2e3f-4a5b-4c6d-8e7f-8a9b0c1d2e3f.lock";
  fs::create_directories(paths.statusDirectory);
  { std::ofstream{endedLock}; }
  r = runUpdater(home.path, {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Updater failed: hash_mismatch\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(endedLock));
}

// A request whose run lock cannot be taken (a link stands there) is not run.
TEST(UpdaterProgram, RequestWithoutItsLockIsNotRun) {
  const std::string id = "4fa05e96-9d4c-4a0c-8e7f-6d5b7a8f9e0d";
  TempDir home;
  const auto paths = AppPaths::forHome(home.str());
  fs::create_directories(paths.statusDirectory);
  fs::create_symlink("elsewhere", fs::path(paths.statusDirectory) / (id + ".lock"));
  EXPECT_EQ(runUpdater(home.path, {"--payload-json", encodeLaunchPayload(validRequest(id))}).err,
            "Updater failed: unexpected_exception\n");
  EXPECT_FALSE(fs::exists(fs::path(paths.statusDirectory) / (id + ".json")));
  EXPECT_FALSE(fs::exists(paths.logFile));
}
