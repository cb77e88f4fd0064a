#include "qm/platform/code_signature.h"

#include "qm/platform/files.h"
#include "qm/platform/process.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qm::platform;

namespace {

constexpr const char* kIdentifier = "QuillomancerUpdater";
constexpr const char* kTeam = "QM4T7R2N9X";

// A folder with a signed program "bin/prog" (mode 0755) and the key that signed it.
class CodeSignature : public ::testing::Test {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/qm-codesign-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
    fs::create_directory(root / "bin");
    ::chmod((root / "bin").c_str(), 0755);
    program = (root / "bin" / "prog").string();
    ASSERT_EQ(writeFileAtomic(program, "#!/bin/sh\nexit 0\n", 0755), 0);
    key = *generateCodeSigningKey();
    ASSERT_EQ(signCode(program, key.privateKeyHex, kIdentifier, kTeam), "");
  }
  void TearDown() override { fs::remove_all(root); }

  CodeRequirement requirement() const { return {kIdentifier, kTeam, {key.publicKeyHex}}; }
  std::string check(const std::string& path, const CodeRequirement& r) const {
    const auto c = checkCodeSignature(path, program, r);
    EXPECT_EQ(c.valid, c.errorCode.empty());
    return c.valid ? "ok" : c.errorCode;
  }
  std::string check() const { return check(program, requirement()); }
  std::string envelope() const { return program + ".sig"; }
  void writeEnvelope(const std::string& text) const { ASSERT_EQ(writeFileAtomic(envelope(), text, 0644), 0); }

  fs::path root;
  std::string program;
  CodeSigningKey key;
};

}  // namespace

TEST_F(CodeSignature, EachFaultHasItsCode) {
  const auto other = *generateCodeSigningKey();
  struct Case {
    const char* name;
    std::function<void(CodeSignature&, std::string& path, CodeRequirement& r)> change;
    const char* code;
  };
  const std::vector<Case> cases = {
      {"signed", [](auto&, auto&, auto&) {}, "ok"},
      {"a link that resolves to the program",
       [](CodeSignature& t, std::string& path, auto&) {
         path = (t.root / "link").string();
         fs::create_symlink(t.program, path);
       },
       "ok"},
      {"one trusted key among strangers",
       [&](auto&, auto&, CodeRequirement& r) { r.trustedKeys = {"zz", other.publicKeyHex, r.trustedKeys[0]}; }, "ok"},
      {"no path", [](auto&, std::string& path, auto&) { path.clear(); }, "missing_path"},
      {"a signed copy elsewhere",
       [](CodeSignature& t, std::string& path, auto&) {
         path = (t.root / "copy").string();
         fs::copy_file(t.program, path);
         fs::copy_file(t.program + ".sig", path + ".sig");
       },
       "unexpected_path"},
      {"no execute permission", [](CodeSignature& t, auto&, auto&) { ::chmod(t.program.c_str(), 0644); },
       "not_executable"},
      {"missing", [](CodeSignature& t, auto&, auto&) { fs::remove(t.program); }, "not_executable"},
      {"a folder", [](CodeSignature& t, auto&, auto&) {
         fs::remove(t.program);
         fs::create_directory(t.program);
       }, "not_executable"},
      {"no trusted key", [](auto&, auto&, CodeRequirement& r) { r.trustedKeys = {"not hex"}; }, "requirement_create_-2"},
      {"malformed team", [](auto&, auto&, CodeRequirement& r) { r.team = "qm4t7r2n9x"; }, "requirement_create_-2"},
      {"unsigned", [](CodeSignature& t, auto&, auto&) { fs::remove(t.envelope()); }, "signature_invalid_-10"},
      {"envelope through a link",
       [](CodeSignature& t, auto&, auto&) {
         fs::rename(t.envelope(), t.root / "elsewhere.sig");
         fs::create_symlink(t.root / "elsewhere.sig", t.envelope());
       },
       "signature_invalid_-11"},
      {"garbage envelope", [](CodeSignature& t, auto&, auto&) { t.writeEnvelope("hello\n"); }, "signature_invalid_-11"},
      {"a seventh line",
       [](CodeSignature& t, auto&, auto&) {
         std::string text;
         readFile(t.envelope(), text);
         t.writeEnvelope(text + "extra\n");
       },
       "signature_invalid_-11"},
      {"envelope over 4 KiB",
       [](CodeSignature& t, auto&, auto&) {
         std::string text;
         readFile(t.envelope(), text);
         t.writeEnvelope(text + std::string(4096, '\n'));
       },
       "signature_invalid_-11"},
      {"another key", [&](auto&, auto&, CodeRequirement& r) { r.trustedKeys = {other.publicKeyHex}; },
       "signature_invalid_-13"},
      {"envelope edited after signing",
       [](CodeSignature& t, auto&, auto&) {
         std::string text;
         readFile(t.envelope(), text);
         text.replace(text.find("size "), 6, "size 9");
         t.writeEnvelope(text);
       },
       "signature_invalid_-13"},
      {"another team", [](CodeSignature& t, auto&, auto&) {
         ASSERT_EQ(signCode(t.program, t.key.privateKeyHex, kIdentifier, "ZZ9ZZ9ZZ9Z"), "");
       }, "signature_invalid_-14"},
      {"another program's identifier", [](CodeSignature& t, auto&, auto&) {
         ASSERT_EQ(signCode(t.program, t.key.privateKeyHex, "QuillomancerUpdaterHelper", kTeam), "");
       }, "signature_invalid_-14"},
      {"one byte appended", [](CodeSignature& t, auto&, auto&) { std::ofstream(t.program, std::ios::app) << 'x'; },
       "signature_invalid_-12"},
      {"same size, other bytes",
       [](CodeSignature& t, auto&, auto&) { ASSERT_EQ(writeFileAtomic(t.program, "#!/bin/sh\nexit 1\n", 0755), 0); },
       "signature_invalid_-12"},
      {"writable by group", [](CodeSignature& t, auto&, auto&) { ::chmod(t.program.c_str(), 0775); },
       "signature_invalid_-15"},
      {"folder writable by others", [](CodeSignature& t, auto&, auto&) { ::chmod((t.root / "bin").c_str(), 0757); },
       "signature_invalid_-15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    std::string path = program;
    CodeRequirement r = requirement();
    c.change(*this, path, r);
    EXPECT_EQ(check(path, r), c.code);
  }
}

TEST_F(CodeSignature, AStrangersProgramIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "changing a file's owner needs root";
  ASSERT_EQ(::chown(program.c_str(), 65534, 65534), 0);
  EXPECT_EQ(check(), "signature_invalid_-15");
}

TEST_F(CodeSignature, TheFileStartedMustBeTheFileChecked) {
  const auto c = checkCodeSignature(program, program, requirement());
  ASSERT_TRUE(c.valid);
  EXPECT_EQ(c.resolvedPath, fs::canonical(program).string());
  EXPECT_TRUE(isSameFile(c.resolvedPath, c.identity));

  // Replaced by another file under the same name: refused even though it too is signed.
  const std::string other = (root / "bin" / "other").string();
  ASSERT_EQ(writeFileAtomic(other, "#!/bin/sh\nexit 0\n", 0755), 0);
  fs::rename(other, program);
  EXPECT_FALSE(isSameFile(c.resolvedPath, c.identity));

  // Rewritten in place, or swapped for a link: refused as well.
  const auto again = checkCodeSignature(program, program, requirement());
  ::truncate(program.c_str(), 3);
  EXPECT_FALSE(isSameFile(again.resolvedPath, again.identity));
  fs::remove(program);
  fs::create_symlink(other, program);
  EXPECT_FALSE(isSameFile(again.resolvedPath, again.identity));
}

TEST_F(CodeSignature, ToolSignsAndVerifies) {
  const std::string tool = std::string(QM_BINARY_DIR) + "/bin/qmcodesign";
  const std::string priv = (root / "k.key").string();
  const std::string pub = (root / "k.pub").string();
  auto run = [&](std::vector<std::string> args) { return runProcess(tool, args); };

  ASSERT_EQ(run({"keygen", priv, pub}).exitCode, 0);
  struct stat st {};
  ASSERT_EQ(::stat(priv.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(run({"keygen", priv, pub}).exitCode, 1) << "an existing key is never overwritten";

  fs::remove(envelope());
  ASSERT_EQ(run({"sign", "--key", priv, program}).exitCode, 0);
  auto r = run({"verify", "--key", pub, program});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.standardOutput, "ok\n");
  r = run({"verify", program});
  EXPECT_EQ(r.standardOutput, "signature_invalid_-13\n") << "only the built-in keys";
  r = run({"verify", "--key", priv, program});
  EXPECT_EQ(r.exitCode, 1) << "a private key file is no public key";

  std::ofstream(program, std::ios::app) << 'x';
  r = run({"verify", "--key", pub, program});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.standardOutput, "signature_invalid_-12\n");
  EXPECT_EQ(run({"verify"}).exitCode, 2);
}
