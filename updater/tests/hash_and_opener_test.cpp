#include "qm/platform/sha256.h"
#include "qm/updater/download.h"
#include "qm/updater/errors.h"
#include "updater_test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace qm::updater;
using qm::updater::testing::TempDir;

namespace {

UpdaterErrorCode codeOf(const std::function<void()>& f, std::string* detail = nullptr) {
  try {
    f();
  } catch (const UpdaterError& e) {
    if (detail) *detail = e.detail;
    return e.errorCode;
  }
  ADD_FAILURE() << "no UpdaterError";
  return UpdaterErrorCode::unexpectedException;
}

}  // namespace

TEST(VerifyHash, ExactLowercaseMatchOnly) {
  TempDir dir;
  const fs::path file = dir.path / "Quillomancer-2.0.2.pkg";
  { std::ofstream(file) << "package bytes"; }
  const std::string digest = qm::platform::sha256Hex("package bytes");
  EXPECT_NO_THROW(verifyHash(file.string(), digest));

  std::string upper = digest;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string detail;
  EXPECT_EQ(codeOf([&] { verifyHash(file.string(), upper); }, &detail), UpdaterErrorCode::hashMismatch);
  EXPECT_EQ(detail, "SHA256 mismatch");
  EXPECT_EQ(codeOf([&] { verifyHash(file.string(), std::string(64, '0')); }), UpdaterErrorCode::hashMismatch);
  EXPECT_EQ(codeOf([&] { verifyHash((dir.path / "missing.pkg").string(), digest); }, &detail),
            UpdaterErrorCode::hashComputeError);
  EXPECT_NE(detail.find("No such file"), std::string::npos);
}

TEST(InstallerOpener, RunsTheToolWithThePackagePath) {
  TempDir dir;
  const fs::path tool = dir.path / "opener";
  const fs::path seen = dir.path / "seen";
  {
    std::ofstream s(tool);
    s << "#!/bin/sh\nprintf '%s' \"$1\" > '" << seen.string() << "'\n[ \"$1\" = fail ] && exit 4\nexit 0\n";
  }
  fs::permissions(tool, fs::perms(0700));
  const std::string pkg = (dir.path / "Quillomancer 2.0.2.pkg").string();
  CommandInstallerOpener(tool.string()).openInstaller(pkg);
  std::ifstream in(seen);
  std::string arg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(arg, pkg);  // one argument, blanks and all, no shell

  std::string detail;
  EXPECT_EQ(codeOf([&] { CommandInstallerOpener(tool.string()).openInstaller("fail"); }, &detail),
            UpdaterErrorCode::installerOpenFailed);
  EXPECT_EQ(detail, "open exit code 4");
  EXPECT_EQ(codeOf([&] { CommandInstallerOpener((dir.path / "absent").string()).openInstaller(pkg); }, &detail),
            UpdaterErrorCode::installerOpenFailed);
  EXPECT_NE(detail.find("No such file"), std::string::npos);
}
