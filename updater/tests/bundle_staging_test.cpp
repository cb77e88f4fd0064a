// Staging of swap artifacts, with real zip archives (friendly and hostile) and the real unzip.
#include "qm/platform/process.h"
#include "qm/updater/bundle_staging.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "swap_test_support.h"

#include <gtest/gtest.h>

using namespace qm::updater;
using namespace qm::updater::testing;

namespace {

class Staging : public ::testing::Test {
 protected:
  ScratchDir dir{true};
  std::string src() const { return dir.path + "/src"; }
  std::string op() const { return dir.path + "/op"; }

  // Zips the items of the source folder (paths relative to it) into `name`, links kept as links.
  std::string zip(const std::string& name, const std::vector<std::string>& items) {
    const std::string out = dir.path + "/" + name;
    std::vector<std::string> args = {"-qry", out};
    args.insert(args.end(), items.begin(), items.end());
    qm::platform::ProcessOptions o;
    o.workingDirectory = src();
    o.timeoutSeconds = 60;
    EXPECT_EQ(qm::platform::runProcess("/usr/bin/zip", args, o).exitCode, 0);
    return out;
  }
  static std::string stageError(const std::string& artifact, const std::string& operation) {
    try {
      stagePluginBundle(artifact, operation);
    } catch (const UpdaterError& e) {
      return std::string(e.codeText()) + ": " + e.detail;
    } catch (const std::exception& e) {
      return std::string("other: ") + e.what();
    }
    return "staged";
  }
};

TEST_F(Staging, ZipWithLitterYieldsACleanBundle) {
  makeBundle(src() + "/Quillomancer.aaxplugin", "new");
  const std::string clean = fingerprint(src() + "/Quillomancer.aaxplugin");
  writeText(src() + "/Quillomancer.aaxplugin/Contents/._Info.plist", "x");
  writeText(src() + "/Quillomancer.aaxplugin/Contents/Resources/.DS_Store", "x");
  writeText(src() + "/__MACOSX/Quillomancer.aaxplugin/._Contents", "x");
  const std::string artifact = zip("a.zip", {"Quillomancer.aaxplugin", "__MACOSX"});
  writeText(op() + "/staging/leftover", "from an earlier attempt");

  const std::string bundle = stagePluginBundle(artifact, op());
  EXPECT_EQ(bundle, op() + "/staging/Quillomancer.aaxplugin");
  EXPECT_EQ(fingerprint(bundle), clean);
  EXPECT_FALSE(fs::exists(op() + "/staging/leftover"));
  EXPECT_FALSE(fs::exists(op() + "/staging/__MACOSX"));
}

// The unpacked bundle is flushed to the disk, each of its files and folders, before it is handed
// on: one that cannot be is not staged.
TEST_F(Staging, UnpackedBundleIsFlushedBeforeItIsHandedOn) {
  makeBundle(src() + "/Quillomancer.aaxplugin", "new");
  const std::string artifact = zip("a.zip", {"Quillomancer.aaxplugin"});
  // Seven flushes: four folders and three files (the link has nothing of its own to flush).
  for (std::uint64_t k = 1; k <= 8; ++k) {
    SCOPED_TRACE(k);
    FileFaults::set({{k, EIO, false, FileStep::flush, {}}});
    const std::string outcome = stageError(artifact, op());
    FileFaults::clear();
    EXPECT_EQ(outcome, k <= 7 ? "other: Input/output error (" + op() + "/staging/Quillomancer.aaxplugin)" : "staged");
  }
}

TEST_F(Staging, BareBundleWithAnyNameIsStagedUnderTheFixedName) {
  makeBundle(src() + "/Build 7.AAXPLUGIN", "new");
  const std::string bundle = stagePluginBundle(src() + "/Build 7.AAXPLUGIN", op());
  EXPECT_EQ(bundle, op() + "/staging/Quillomancer.aaxplugin");
  EXPECT_EQ(fingerprint(bundle), fingerprint(src() + "/Build 7.AAXPLUGIN"));
}

TEST_F(Staging, ChoosesTheShallowestBundleThenByName) {
  makeBundle(src() + "/deep/er/A.aaxplugin", "deep");
  makeBundle(src() + "/top/Zeta.aaxplugin", "zeta");
  makeBundle(src() + "/top/Alpha.aaxplugin", "alpha");
  const std::string artifact = zip("b.zip", {"deep", "top"});
  EXPECT_EQ(stagePluginBundle(artifact, op()), op() + "/staging/top/Alpha.aaxplugin");
}

TEST_F(Staging, RefusedArtifacts) {
  fs::create_directories(src());
  writeText(src() + "/readme.txt", "no bundle here");
  const std::string noBundle = zip("none.zip", {"readme.txt"});
  writeText(dir.path + "/Quillomancer.PKG", "package");
  writeText(dir.path + "/Quillomancer.tar", "tar");
  writeText(dir.path + "/broken.zip", "not a zip at all");
  writeText(dir.path + "/Plain.aaxplugin", "a file, not a folder");
  writeText(dir.path + "/zero.zip", "");
  writeText(dir.path + "/empty.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));

  fs::create_directories(src() + "/links");
  fs::create_symlink("/etc", src() + "/links/Abs.aaxplugin");
  const std::string linkBundle = zip("linkbundle.zip", {"links"});

  fs::remove_all(src());
  makeBundle(src() + "/Quillomancer.aaxplugin", "new");
  fs::create_symlink("../../../../outside", src() + "/Quillomancer.aaxplugin/Contents/escape");
  const std::string escaping = zip("escape.zip", {"Quillomancer.aaxplugin"});

  fs::remove_all(src());
  makeBundle(src() + "/Quillomancer.aaxplugin", "new");
  fs::create_symlink(".", src() + "/Quillomancer.aaxplugin/dot");
  fs::create_symlink("dot/../..", src() + "/Quillomancer.aaxplugin/sneaky");
  const std::string sneaky = zip("sneaky.zip", {"Quillomancer.aaxplugin"});

  const std::string invalid = "swap_artifact_invalid: ";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {dir.path + "/Quillomancer.PKG", invalid + "swap requires AAX artifact (.zip/.aaxplugin), received .pkg"},
      {dir.path + "/Quillomancer.tar", invalid + "unsupported artifact extension"},
      {noBundle, invalid + "no .aaxplugin found in artifact"},
      {dir.path + "/broken.zip", invalid + "unzip failed"},
      {dir.path + "/zero.zip", invalid + "unzip failed"},
      {dir.path + "/empty.zip", invalid + "unzip failed"},
      {dir.path + "/Plain.aaxplugin", invalid + "bundle in artifact is not a folder: Quillomancer.aaxplugin"},
      {linkBundle, invalid + "artifact holds a link leading outside the staging folder: links/Abs.aaxplugin"},
      {escaping, invalid + "artifact holds a link leading outside the staging folder: "
                           "Quillomancer.aaxplugin/Contents/escape"},
      {sneaky, invalid + "artifact holds a link leading outside the staging folder: Quillomancer.aaxplugin/sneaky"},
  };
  for (const auto& [artifact, expected] : cases) EXPECT_EQ(stageError(artifact, op()), expected) << artifact;
}

TEST_F(Staging, ArchiveThatWritesThroughALinkIsRefused) {
  // An archive with a link to a folder outside and an entry meant to be written through it.
  makeBundle(src() + "/Quillomancer.aaxplugin", "new");
  fs::create_directories(dir.path + "/outside");
  fs::create_symlink(dir.path + "/outside", src() + "/link");
  const std::string first = zip("evil.zip", {"link", "Quillomancer.aaxplugin"});
  fs::remove(src() + "/link");
  writeText(src() + "/link/planted", "planted");
  zip("evil.zip", {"link/planted"});  // appended to the same archive
  EXPECT_NE(stageError(first, op()), "staged");
  EXPECT_FALSE(fs::exists(dir.path + "/outside/planted"));
}

TEST_F(Staging, LinksThatStayInsideAreKept) {
  makeBundle(src() + "/Quillomancer.aaxplugin", "new");
  fs::create_symlink("../Contents/Info.plist", src() + "/Quillomancer.aaxplugin/Contents/again");
  const std::string bundle = stagePluginBundle(zip("ok.zip", {"Quillomancer.aaxplugin"}), op());
  EXPECT_EQ(fingerprint(bundle), fingerprint(src() + "/Quillomancer.aaxplugin"));
}

TEST(FileOperations, NthStepFailsWithTheChosenErrorAndCopiesLeaveNothingHalfMade) {
  ScratchDir dir(true);
  makeBundle(dir.path + "/a", "x");
  FileFaults::clear();
  ASSERT_EQ(copyItem(dir.path + "/a", dir.path + "/b"), 0);
  const std::uint64_t steps = FileFaults::stepsTaken();
  for (std::uint64_t n = 1; n <= steps; ++n) {
    fs::remove_all(dir.path + "/b");
    FileFaults::set({{n, ENOSPC, false, std::nullopt, {}}});
    EXPECT_EQ(copyItem(dir.path + "/a", dir.path + "/b"), ENOSPC) << n;
    FileFaults::clear();
    EXPECT_FALSE(fs::exists(dir.path + "/b")) << n;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1) << n;
  }
  // Only the steps of one kind are counted when a kind is given.
  FileFaults::set({{2, EROFS, false, FileStep::makeFolder, {}}});
  EXPECT_EQ(makeFolders(dir.path + "/c/d/e"), EROFS);
  FileFaults::clear();
  EXPECT_TRUE(fs::is_directory(dir.path + "/c"));
  EXPECT_FALSE(fs::exists(dir.path + "/c/d"));
}

TEST(FileOperations, MoveAcrossFileSystemsIsACopyThenTheSourceGoes) {
  ScratchDir mem(true), disk(false);
  if (sameFileSystem(mem.path, disk.path)) GTEST_SKIP() << "no second file system";
  makeBundle(mem.path + "/a", "x");
  const std::string print = fingerprint(mem.path + "/a");
  moveItemReplaceIfExists(mem.path + "/a", disk.path + "/b");
  EXPECT_EQ(fingerprint(disk.path + "/b"), print);
  EXPECT_FALSE(fs::exists(mem.path + "/a"));
  EXPECT_EQ(std::distance(fs::directory_iterator(mem.path), fs::directory_iterator()), 0);
  try {
    FileFaults::set({{0, EACCES, false, FileStep::rename, disk.path + "/b"}});
    moveItemReplaceIfExists(disk.path + "/b", mem.path + "/c");
    FAIL();
  } catch (const FileOperationError& e) {
    EXPECT_TRUE(e.isPermissionError());
  }
  FileFaults::clear();
}

}  // namespace
