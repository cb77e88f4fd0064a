#include "qm/updater/payload_loader.h"

#include "qm/updater/errors.h"
#include "qm/updater/status_store.h"
#include "updater_test_support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace qm::updater;
using qm::updater::testing::TempDir;
using qm::updater::testing::makeSwapRequest;
using qm::updater::testing::sampleRequest;

namespace {

constexpr const char* kIdA = "0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69";
constexpr const char* kIdB = "1c7d2b63-6a1f-4d9f-8b5c-3a2e4d5c6b7a";
constexpr const char* kIdC = "2d8e3c74-7b2a-4eaa-ac6d-4b3f5e6d7c8b";

LaunchPayload request(const std::string& id, std::optional<std::string> action = std::nullopt,
                      std::chrono::seconds age = std::chrono::seconds(30)) {
  auto p = sampleRequest(id, formatInternetDateTime(std::chrono::system_clock::now() - age));
  if (action == "swap") makeSwapRequest(p);
  p.action = std::move(action);
  return p;
}

struct Fixture {
  TempDir home;
  AppPaths paths = AppPaths::forHome(home.str());
  std::ostringstream err;
  LaunchPayloadLoader loader{paths, LaunchPayloadValidator(UpdaterConfig::production()), err};

  // Writes a request file whose modification time lies `age` seconds back.
  void put(const std::string& name, const std::string& text, int age) {
    fs::create_directories(paths.requestsDirectory);
    const fs::path p = fs::path(paths.requestsDirectory) / name;
    { std::ofstream(p) << text; }
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::seconds(age));
  }
  void putRequest(const LaunchPayload& p, int age) { put(p.requestID + ".json", encodeLaunchPayload(p), age); }
  void putStatus(const std::string& id, const std::string& status, std::optional<std::string> code) {
    UpdateStatus s;
    s.requestID = id;
    s.status = status;
    s.stage = status == "failed" ? "failed" : "installer_opened";
    s.errorCode = std::move(code);
    StatusStore(paths.statusDirectory).write(s);
  }
  std::optional<std::string> pendingId() {
    const auto p = loader.loadNewestPendingRequest();
    return p ? std::optional<std::string>(p->requestID) : std::nullopt;
  }
};

}  // namespace

TEST(PendingScan, NothingToDoIsQuiet) {
  Fixture f;
  EXPECT_FALSE(f.pendingId());  // no requests folder
  fs::create_directories(f.paths.requestsDirectory);
  EXPECT_FALSE(f.pendingId());  // empty
  f.put("notes.txt", "x", 1);
  f.put(".hidden.json", encodeLaunchPayload(request(kIdA)), 1);
  EXPECT_FALSE(f.pendingId());
  EXPECT_EQ(f.err.str(), "");
  try {
    f.loader.load({"QuillomancerUpdater"});
    FAIL();
  } catch (const UpdaterError& e) {
    EXPECT_EQ(e.errorCode, UpdaterErrorCode::invalidPayload);
    EXPECT_EQ(e.detail, "No pending requests");
  }
}

TEST(PendingScan, NewestValidWinsAndInvalidOnesAreReported) {
  Fixture f;
  f.putRequest(request(kIdA), 300);
  f.put("broken.json", "{ not json", 10);
  f.put("UPPER.JSON", encodeLaunchPayload(request(kIdB)), 100);  // capitals count
  EXPECT_EQ(f.pendingId(), kIdB);
  EXPECT_EQ(f.err.str(), "Updater pending request rejected: broken.json reason=request document is not valid JSON\n");
}

TEST(PendingScan, SomethingOtherThanAFileIsRejectedWithoutWaiting) {
  Fixture f;
  f.putRequest(request(kIdA), 300);
  fs::create_directories(f.paths.requestsDirectory);
  const fs::path fifo = fs::path(f.paths.requestsDirectory) / "pipe.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // newest; reading it would block for ever
  EXPECT_EQ(f.pendingId(), kIdA);
  EXPECT_EQ(f.err.str().rfind("Updater pending request rejected: pipe.json reason=Not a regular file", 0), 0u)
      << f.err.str();
}

TEST(PendingScan, OnlyInvalidFilesGiveRejectionsAndASummary) {
  Fixture f;
  auto bad = request(kIdA);
  bad.schemaVersion = "2";
  f.putRequest(bad, 20);
  f.put("b\nname.json", "[]", 10);
  EXPECT_FALSE(f.pendingId());
  EXPECT_EQ(f.err.str(),
            "Updater pending request rejected: b\\nname.json reason=request document is not a JSON object\n"
            "Updater pending request rejected: " + std::string(kIdA) +
                ".json reason=invalid_schema_version: schema_version must be 1\n"
                "Updater pending scan: no valid request found (2 invalid file(s))\n");
}

TEST(PendingScan, HandledRequestsArePassedOverUnlessARetryableSwap) {
  struct Case {
    const char* name;
    std::optional<std::string> action;
    const char* status;
    std::optional<std::string> code;
    bool taken;
  } cases[] = {
      {"success", std::nullopt, "success", std::nullopt, false},
      {"failed hash", "swap", "failed", "hash_mismatch", false},
      {"failed install", "install", "failed", "swap_host_still_running", false},
      {"failed without action", std::nullopt, "failed", "download_io_error", false},
      {"retryable swap", "swap", "failed", "swap_host_still_running", true},
      {"retryable swap other code", "swap", "failed", "unexpected_exception", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.putRequest(request(kIdA), 500);  // older and unhandled
    f.putRequest(request(kIdB, c.action), 10);
    f.putStatus(kIdB, c.status, c.code);
    EXPECT_EQ(f.pendingId(), c.taken ? kIdB : kIdA);
    EXPECT_EQ(f.err.str(), "");
  }
}

TEST(PendingScan, ErrorsAroundAHandledRequestEndTheScan) {
  {
    Fixture f;  // a retryable swap that has grown too old
    f.putRequest(request(kIdA), 500);
    f.putRequest(request(kIdB, "swap", std::chrono::hours(7)), 10);
    f.putStatus(kIdB, "failed", "swap_host_still_running");
    try {
      f.loader.loadNewestPendingRequest();
      FAIL();
    } catch (const UpdaterError& e) {
      EXPECT_EQ(e.detail, "timestamp_utc outside allowed age window");
    }
  }
  {
    Fixture f;  // a status file that is not JSON
    f.putRequest(request(kIdA), 500);
    f.putRequest(request(kIdB), 10);
    fs::create_directories(f.paths.statusDirectory);
    { std::ofstream(fs::path(f.paths.statusDirectory) / (std::string(kIdB) + ".json")) << "garbage"; }
    EXPECT_THROW(f.loader.loadNewestPendingRequest(), DecodingError);
  }
}

TEST(PendingScan, EqualTimesAreDecidedByFileName) {
  Fixture f;
  // Same modification time for all three: the first name in order wins, on every run.
  f.putRequest(request(kIdC), 50);
  f.putRequest(request(kIdA), 50);
  f.putRequest(request(kIdB), 50);
  const auto t = fs::last_write_time(fs::path(f.paths.requestsDirectory) / (std::string(kIdC) + ".json"));
  for (const char* id : {kIdA, kIdB}) fs::last_write_time(fs::path(f.paths.requestsDirectory) / (std::string(id) + ".json"), t);
  EXPECT_EQ(f.pendingId(), kIdA);
}

TEST(LoadArguments, CommandLineForms) {
  Fixture f;
  const fs::path file = f.home.path / "req.json";
  { std::ofstream(file) << encodeLaunchPayload(request(kIdA)); }
  EXPECT_EQ(f.loader.load({"u", "--payload", file.string(), "extra", "more"}).requestID, kIdA);
  EXPECT_EQ(f.loader.load({"u", "--payload-json", encodeLaunchPayload(request(kIdB))}).requestID, kIdB);

  struct Bad {
    std::vector<std::string> args;
    const char* detail;
  } bad[] = {
      {{"u", "--payload"}, "Usage: --payload <json-file> OR --payload-json <json> OR no args for pending request mode"},
      {{"u", "--PAYLOAD", file.string()}, "Unknown argument"},
      {{"u", "-x", "y"}, "Unknown argument"},
      {{"u", "--payload-json", "{\"a\":\"\xff\"}"}, "Payload json must be utf8"},
  };
  for (const auto& b : bad) {
    try {
      f.loader.load(b.args);
      ADD_FAILURE() << b.detail;
    } catch (const UpdaterError& e) {
      EXPECT_EQ(e.errorCode, UpdaterErrorCode::invalidPayload);
      EXPECT_EQ(e.detail, b.detail);
    }
  }
  EXPECT_THROW(f.loader.load({"u", "--payload", (f.home.path / "missing.json").string()}), PlatformError);
  EXPECT_THROW(f.loader.load({"u", "--payload-json", "{\"schema_version\":1}"}), DecodingError);
  auto old = request(kIdA, std::nullopt, std::chrono::hours(8));
  EXPECT_THROW(f.loader.load({"u", "--payload-json", encodeLaunchPayload(old)}), UpdaterError);
}
