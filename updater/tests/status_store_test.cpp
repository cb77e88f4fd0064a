#include "qm/updater/status_store.h"

#include "qm/platform/process.h"
#include "qm/updater/errors.h"
#include "updater_test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using namespace qm::updater;
using qm::updater::testing::TempDir;
using qm::updater::testing::readText;
using qm::updater::testing::modeOf;

namespace {

UpdateStatus sample(bool failed) {
  UpdateStatus s;
  s.requestID = "0b6c1a52-5f0e-4c8e-9a4b-2f1d3c4b5a69";
  s.username = "editor";
  s.host = "pro_tools";
  s.installedVersion = "2.0.1";
  s.targetVersion = "2.0.2";
  s.status = failed ? "failed" : "success";
  s.stage = failed ? "failed" : "download_ok";
  if (failed) {
    s.errorCode = "hash_mismatch";
    s.errorDetail = "SHA256 mismatch";
  }
  s.createdAtUTC = "2026-12-09T05:00:00Z";
  s.updatedAtUTC = "2026-12-09T05:00:07Z";
  return s;
}

}  // namespace

TEST(StatusDocument, KeysSortedTenOnSuccessTwelveOnFailure) {
  for (const bool failed : {false, true}) {
    const auto j = nlohmann::json::parse(encodeUpdateStatus(sample(failed)));
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys.size(), failed ? 12u : 10u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(keys.front(), "created_at_utc");
    EXPECT_EQ(keys.back(), "username");
    EXPECT_EQ(j.contains("error_code"), failed);
    EXPECT_EQ(j.contains("error_detail"), failed);
  }
  // The written text itself has its keys in ascending order (not only after re-parsing).
  const std::string text = encodeUpdateStatus(sample(true));
  EXPECT_LT(text.find("\"created_at_utc\""), text.find("\"error_code\""));
  EXPECT_LT(text.find("\"target_version\""), text.find("\"updated_at_utc\""));
  EXPECT_LT(text.find("\"updated_at_utc\""), text.find("\"username\""));
}

TEST(StatusDocument, DecodesRequiredAndOptionalKeys) {
  const auto round = decodeUpdateStatus(encodeUpdateStatus(sample(true)));
  ASSERT_TRUE(round);
  EXPECT_EQ(round->errorCode, "hash_mismatch");
  EXPECT_EQ(round->errorDetail, "SHA256 mismatch");
  EXPECT_EQ(round->stage, "failed");

  auto j = nlohmann::json::parse(encodeUpdateStatus(sample(false)));
  j["error_code"] = nullptr;  // null counts as absent
  j["extra"] = 5;             // unknown keys are ignored
  const auto withNull = decodeUpdateStatus(j.dump());
  ASSERT_TRUE(withNull);
  EXPECT_FALSE(withNull->errorCode);

  struct Bad {
    const char* what;
    std::string json;
  } bad[] = {
      {"not json", "{"},
      {"array", "[]"},
      {"missing stage", [] {
         auto b = nlohmann::json::parse(encodeUpdateStatus(sample(false)));
         b.erase("stage");
         return b.dump();
       }()},
      {"number status", [] {
         auto b = nlohmann::json::parse(encodeUpdateStatus(sample(false)));
         b["status"] = 1;
         return b.dump();
       }()},
      {"null required", [] {
         auto b = nlohmann::json::parse(encodeUpdateStatus(sample(false)));
         b["request_id"] = nullptr;
         return b.dump();
       }()},
      {"number error_code", [] {
         auto b = nlohmann::json::parse(encodeUpdateStatus(sample(false)));
         b["error_code"] = 3;
         return b.dump();
       }()},
  };
  for (const auto& b : bad) {
    std::string why;
    EXPECT_FALSE(decodeUpdateStatus(b.json, &why)) << b.what;
    EXPECT_FALSE(why.empty()) << b.what;
  }
}

TEST(StatusStore, WritesPrivateDocumentReplacingAnyEarlierOne) {
  TempDir dir;
  const StatusStore store((dir.path / "Updates" / "status").string());
  const fs::path doc = store.statusFilePath(sample(false).requestID);
  // An earlier document with wider permissions is replaced, and the new one is 0600.
  fs::create_directories(doc.parent_path());
  { std::ofstream(doc) << "old"; }
  fs::permissions(doc, fs::perms(0644));

  store.write(sample(false));
  EXPECT_EQ(modeOf(doc), 0600u);
  EXPECT_EQ(decodeUpdateStatus(readText(doc))->stage, "download_ok");
  store.write(sample(true));
  EXPECT_EQ(modeOf(doc), 0600u);
  EXPECT_EQ(store.read(sample(true).requestID)->errorCode, "hash_mismatch");
  // Only the document is left; no temporary file stays behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(doc.parent_path()), fs::directory_iterator()), 1);
}

TEST(StatusStore, DocumentReadsBackWithPythonJson) {
  TempDir dir;
  const StatusStore store(dir.str());
  auto s = sample(true);
  s.username = "Zoë \"quoted\" \\ name";
  store.write(s);
  const auto r = qm::platform::runProcess(
      "python3", {"-c",
                  "import json,sys; d=json.load(open(sys.argv[1])); "
                  "print(len(d), d['username'], d['error_code'], sorted(d)==list(d))",
                  store.statusFilePath(s.requestID)});
  if (!r.started) GTEST_SKIP() << "python3 not available";
  EXPECT_EQ(r.exitCode, 0) << r.standardError;
  EXPECT_EQ(r.standardOutput, "12 Zoë \"quoted\" \\ name hash_mismatch True\n");
}

TEST(StatusStore, FolderCreationFailureIsThePlatformErrorAndWriteFailureIsStatusWriteFailed) {
  TempDir dir;
  // A plain file where a parent folder should be: the folder cannot be created (even as root).
  { std::ofstream(dir.path / "file") << "x"; }
  const StatusStore cannotCreate((dir.path / "file" / "status").string());
  EXPECT_THROW(cannotCreate.write(sample(false)), PlatformError);

  // A non-empty folder in the document's place: the rename over it fails.
  const StatusStore store(dir.str());
  fs::create_directories(dir.path / (sample(false).requestID + ".json") / "inner");
  try {
    store.write(sample(false));
    FAIL() << "write over a folder succeeded";
  } catch (const UpdaterError& e) {
    EXPECT_EQ(e.errorCode, UpdaterErrorCode::statusWriteFailed);
    EXPECT_FALSE(e.detail.empty());
  }
}

TEST(StatusStore, RefusesRequestIdsThatAreNotPlainFileNames) {
  TempDir dir;
  const StatusStore store(dir.str());
  for (const char* id : {"../escape", "", ".hidden", "a/b"}) {
    auto s = sample(false);
    s.requestID = id;
    EXPECT_THROW(store.write(s), UpdaterError) << id;
  }
  EXPECT_FALSE(fs::exists(dir.path.parent_path() / "escape.json"));
}

TEST(StatusStore, RetryableFailedSwapNeedsSwapFailedAndARetryableCode) {
  auto s = sample(true);
  struct Case {
    const char* status;
    std::optional<std::string> code;
    const char* action;
    bool retry;
  } cases[] = {
      {"failed", "swap_host_still_running", "swap", true},
      {"failed", "download_start_failed", "swap", true},
      {"failed", "download_http_error", "swap", true},
      {"failed", "download_io_error", "swap", true},
      {"failed", "swap_in_progress", "swap", true},
      {"failed", "unexpected_exception", "swap", true},
      {"failed", "hash_mismatch", "swap", false},
      {"failed", "swap_host_still_running", "install", false},
      {"failed", std::nullopt, "swap", false},
      {"success", "swap_in_progress", "swap", false},
  };
  for (const auto& c : cases) {
    s.status = c.status;
    s.errorCode = c.code;
    EXPECT_EQ(isRetryableFailedSwap(s, c.action), c.retry) << c.status << " " << c.code.value_or("-");
  }
}
