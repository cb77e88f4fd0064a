#include "qm/updater/cache_manager.h"

#include "qm/updater/errors.h"
#include "qm/updater/request_lock.h"
#include "updater_test_support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;
using namespace qm::updater;
using qm::updater::testing::TempDir;

namespace {

// Creates `name` in `dir` with a modification time `age` seconds in the past.
void touch(const fs::path& dir, const std::string& name, int age) {
  fs::create_directories(dir);
  { std::ofstream(dir / name) << name; }
  fs::last_write_time(dir / name, fs::file_time_type::clock::now() - std::chrono::seconds(age));
}

std::set<std::string> names(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

}  // namespace

TEST(CacheClean, KeepsTargetAndNewestOtherPackage) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, int>> files;  // name, age in seconds
    std::string target;
    std::set<std::string> left;
  } cases[] = {
      {"target is oldest",
       {{"Quillomancer-1.0.pkg", 300}, {"Quillomancer-1.1.pkg", 200}, {"Quillomancer-1.2.pkg", 100}},
       "1.0",
       {"Quillomancer-1.0.pkg", "Quillomancer-1.2.pkg"}},
      {"target absent",
       {{"Quillomancer-1.0.pkg", 300}, {"Quillomancer-1.1.pkg", 100}, {"Quillomancer-1.2.pkg", 200}},
       "2.0",
       {"Quillomancer-1.1.pkg"}},
      {"only the target", {{"Quillomancer-2.0.pkg", 10}}, "2.0", {"Quillomancer-2.0.pkg"}},
      {"equal times keep the first in name order",
       {{"Quillomancer-1.1.pkg", 100}, {"Quillomancer-1.0.pkg", 100}},
       "2.0",
       {"Quillomancer-1.0.pkg"}},
      {"other kinds are never touched",
       {{"Old.PKG", 900}, {".hidden.pkg", 900}, {"Quillomancer-1.0-swap.zip", 900}, {"updater.log", 900},
        {"Quillomancer-1.0-swap.pkg", 800}, {"Quillomancer-0.9.pkg", 700}, {"Quillomancer-0.8.pkg", 600}},
       "2.0",
       {"Old.PKG", ".hidden.pkg", "Quillomancer-1.0-swap.zip", "updater.log", "Quillomancer-0.8.pkg"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (const auto& [file, age] : c.files) touch(dir.path, file, age);
    CacheManager(dir.str()).clean(c.target);
    EXPECT_EQ(names(dir.path), c.left);
  }
}

TEST(CacheClean, RemovesPackageFoldersAndLeavesUpdaterFolders) {
  TempDir dir;
  fs::create_directories(dir.path / "Quillomancer-0.1.pkg" / "Contents");
  touch(dir.path / "Quillomancer-0.1.pkg" / "Contents", "file", 1);
  fs::last_write_time(dir.path / "Quillomancer-0.1.pkg", fs::file_time_type::clock::now() - std::chrono::hours(2));
  touch(dir.path, "Quillomancer-0.2.pkg", 60);
  fs::create_directories(dir.path / "status");
  fs::create_directories(dir.path / "requests");
  fs::create_directories(dir.path / "SwapState");
  CacheManager(dir.str()).clean("9.9");
  EXPECT_EQ(names(dir.path), (std::set<std::string>{"Quillomancer-0.2.pkg", "status", "requests", "SwapState"}));
}

TEST(CacheClean, FailuresBecomeCacheCleanupFailed) {
  TempDir dir;
  { std::ofstream(dir.path / "file") << "x"; }
  try {
    CacheManager((dir.path / "file" / "Updates").string()).clean("1.0");
    FAIL() << "no error";
  } catch (const UpdaterError& e) {
    EXPECT_EQ(e.errorCode, UpdaterErrorCode::cacheCleanupFailed);
    EXPECT_NE(e.detail.find("Not a directory"), std::string::npos) << e.detail;
  }
}

TEST(CachePrune, KeepsNewestJsonFiles) {
  struct Case {
    const char* name;
    int jsonFiles;
    bool capitalOldest;
    size_t expectedJsonLeft;
  } cases[] = {{"forty", 40, false, 40}, {"forty-one", 41, false, 40}, {"capital extension counts", 41, true, 40}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    for (int i = 0; i < c.jsonFiles; ++i) {
      const std::string name = (i == 0 && c.capitalOldest) ? "oldest.JSON" : "r" + std::to_string(i) + ".json";
      touch(dir.path, name, 1000 - i);  // r0 (or oldest.JSON) is the oldest
    }
    touch(dir.path, "stale.tmp", 5000);
    touch(dir.path, ".hidden.json", 5000);
    CacheManager cache(dir.str());
    cache.pruneJSONFiles(dir.str(), 40);
    const auto left = names(dir.path);
    EXPECT_EQ(left.size(), c.expectedJsonLeft + 2);
    EXPECT_TRUE(left.count("stale.tmp"));
    EXPECT_TRUE(left.count(".hidden.json"));
    if (c.jsonFiles > 40) {
      EXPECT_FALSE(left.count(c.capitalOldest ? "oldest.JSON" : "r0.json"));
      EXPECT_TRUE(left.count("r1.json"));
    }
  }
  TempDir dir;
  CacheManager cache(dir.str());
  EXPECT_NO_THROW(cache.pruneJSONFiles((dir.path / "requests").string(), 40));
  EXPECT_NO_THROW(cache.pruneJSONFiles(std::nullopt, 40));
}

TEST(CacheNames, PackageAndArtifactLocations) {
  TempDir dir;
  const fs::path cacheDir = dir.path / "Updates";
  CacheManager cache(cacheDir.string());
  EXPECT_EQ(cache.pkgURL("2.0.2"), (cacheDir / "Quillomancer-2.0.2.pkg").string());
  EXPECT_TRUE(fs::is_directory(cacheDir));  // created on demand
  struct Case {
    const char* source;
    const char* name;
  } cases[] = {
      {"https://h.example/r/Quillomancer.aaxplugin", "Quillomancer-2.0.2-swap.aaxplugin"},
      {"https://h.example/r/Bundle.ZIP?sig=abc", "Quillomancer-2.0.2-swap.ZIP"},
      {"https://h.example/r/bundle", "Quillomancer-2.0.2-swap.bin"},
      {"https://h.example/r/bundle.tar.gz", "Quillomancer-2.0.2-swap.gz"},
      {"https://h.example/r/bundle.z%2F..", "Quillomancer-2.0.2-swap.bin"},
      {"https://h.example/r/bundle.a-b", "Quillomancer-2.0.2-swap.bin"},
      {"https://h.example/r/bundle.pkg", "Quillomancer-2.0.2-swap.pkg"},
      {"not a url at all", "Quillomancer-2.0.2-swap.bin"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(cache.swapArtifactURL("2.0.2", c.source), (cacheDir / c.name).string()) << c.source;

  for (const char* bad : {"../../etc", "2.0/../../x", "", ".hidden"}) {
    EXPECT_THROW(cache.pkgURL(bad), UpdaterError) << bad;
    EXPECT_THROW(cache.swapArtifactURL(bad, "https://h.example/x.zip"), UpdaterError) << bad;
  }
}

// The run locks of ended requests go with the status pruning; a held lock stays, as does all else.
TEST(CachePrune, RequestLocksNobodyHoldsAreRemoved) {
  TempDir tmp;
  const fs::path status = tmp.path / "status";
  touch(status, "ended.lock", 5);
  touch(status, "ended.json", 5);
  RequestLock live = RequestLock::acquire((status / "live.lock").string(), false);
  CacheManager cache(tmp.str());
  cache.pruneRequestLocks(status.string());
  EXPECT_EQ(names(status), (std::set<std::string>{"ended.json", "live.lock"}));
  EXPECT_NO_THROW(cache.pruneRequestLocks((tmp.path / "missing").string()));
  EXPECT_NO_THROW(cache.pruneRequestLocks(std::nullopt));
}

// By the time each operation began, not by the folder's modification time; none counts as oldest.
TEST(CachePrune, OperationFoldersByTheTimeTheyBegan) {
  TempDir ops;
  const std::pair<const char*, const char*> made[] = {
      {"a-first", "1000"}, {"b-second", "2000"}, {"c-third", "3000"}, {"d-none", nullptr}};
  int age = 500;  // seconds in the past: the last made has the newest modification time
  for (const auto& [name, began] : made) {
    fs::create_directories(ops.path / name);
    if (began) std::ofstream(ops.path / name / kOperationBeganFile) << began;
    fs::last_write_time(ops.path / name, fs::file_time_type::clock::now() - std::chrono::seconds(age -= 100));
  }
  EXPECT_EQ(operationsNewestFirst(ops.str()), (std::vector<std::string>{"c-third", "b-second", "a-first", "d-none"}));
}
