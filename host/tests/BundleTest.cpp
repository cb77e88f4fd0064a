#include "qm/host/bundle_loader.h"
#include "qm/host/bundle_validator.h"
#include "CommandRun.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qmhosttest::Capture;
using qmhosttest::CommandRun;

std::string Bundle(const std::string& name) { return std::string(QM_BINARY_DIR) + "/" + name + ".aaxplugin"; }

TEST(Bundle, LaidOutAsABundleFolder) {
  EXPECT_EQ(qm::host::LoadedBundle::ModulePath(Bundle("QMProbe")),
            Bundle("QMProbe") + "/Contents/x86_64-linux/QMProbe.so");
  EXPECT_EQ(qm::host::LoadedBundle::ModulePath(Bundle("QMProbe") + "/"),
            Bundle("QMProbe") + "/Contents/x86_64-linux/QMProbe.so");
  std::string error;
  EXPECT_EQ(qm::host::LoadedBundle::Load(Bundle("NoSuchProbe"), &error), nullptr);
  EXPECT_NE(error.find("no module at"), std::string::npos);
}

// The names a bundle exports, as the dynamic linker sees them.
std::set<std::string> Exports(const std::string& bundle) {
  const CommandRun nm = Capture("nm -D --defined-only '" + qm::host::LoadedBundle::ModulePath(Bundle(bundle)) + "'");
  EXPECT_EQ(nm.status, 0) << nm.output;
  std::set<std::string> names;
  std::istringstream lines(nm.output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string name = line.substr(line.find_last_of(' ') + 1);
    if (!name.empty()) names.insert(name);
  }
  return names;
}

TEST(Bundle, ExportsOnlyEntryPointsAndIdentifiers) {
  auto allowed = [](const std::string& name) {
    for (const char* prefix : {"ACF", "IID_", "AAXCompID_", "AAXATTR_"}) {
      if (name.rfind(prefix, 0) == 0) return true;
    }
    return name == "acfUID_NULL";
  };
  const std::set<std::string> names = Exports("QMProbe");
  for (const auto& name : names) EXPECT_TRUE(allowed(name)) << "unexpected export: " << name;
  for (const char* entry : {"ACFStartup", "ACFGetSDKVersion", "ACFRegisterPlugin", "ACFRegisterComponent", "ACFGetClassFactory",
                            "ACFCanUnloadNow", "ACFShutdown", "ACFInterlockedIncrement", "ACFInterlockedDecrement",
                            "IID_IAAXEffectParametersV4", "IID_IACFPluginDefinition", "AAXCompID_HostServices", "acfUID_NULL"}) {
    EXPECT_EQ(names.count(entry), 1u) << entry;
  }
}

// The plug-in's own bundle exports what the framework gives every bundle and nothing of its own:
// the host presses what an editor presses, in the window.
TEST(Bundle, QuillomancerExportsNothingBeyondTheHostsEntryPoints) {
  if (!std::filesystem::exists(qm::host::LoadedBundle::ModulePath(Bundle("Quillomancer")))) {
    GTEST_SKIP() << "the Quillomancer bundle is not built";
  }
  EXPECT_EQ(Exports("Quillomancer"), Exports("QMProbe"));
}

TEST(Validate, SoundProbePassesColdAndWarm) {
  std::ostringstream out;
  const qm::host::ValidationResult result = qm::host::ValidateBundle(Bundle("QMProbe"), out);
  EXPECT_TRUE(result.Passed()) << out.str();
  const std::string text = out.str();
  for (const char* expected : {"PASS [cold] SDK version: 0x0000020901345D68", "PASS [warm] unload",
                               "effect \"com.quillomancer.aax.probe\"", "property 11 = 1364029554 ('QMpr')",
                               "creation function 3 (host processor)", "round trip byte for byte",
                               "PASS [warm] host references balanced", "PASS [cold] unload query: no live objects"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
}

TEST(Validate, FailingDescriptionIsReported) {
  std::ostringstream out;
  const qm::host::ValidationResult result = qm::host::ValidateBundle(Bundle("QMProbeFailing"), out);
  EXPECT_FALSE(result.Passed());
  EXPECT_NE(out.str().find("FAIL [cold] registration: AAX_ERROR_NULL_OBJECT (-20004)"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("trace: AAXRegisterPlugin exception caught: AAX_ERROR_NULL_OBJECT (-20004)"), std::string::npos);
}

TEST(Validate, LeakedHostReferenceIsReported) {
  std::ostringstream out;
  const qm::host::ValidationResult result = qm::host::ValidateBundle(Bundle("QMProbeLeaking"), out);
  EXPECT_EQ(result.failures, 2) << out.str();
  EXPECT_NE(out.str().find("FAIL [cold] host references balanced: transport: 1 reference(s) not released"), std::string::npos)
      << out.str();
}

TEST(Validate, RenderAndWindowChecksCatchTheirFaults) {
  struct Case {
    const char* probe;
    int failures;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"QMProbe", 0,
       {"PASS [cold] render at 96000 Hz in blocks of 1, 512 and 4096 samples: no NaN, infinity or denormal",
        "PASS [warm] second opening: window opened: its view of 240 x 80 points",
        "PASS [warm] second opening: window closed",
        "PASS [cold] render pass with the window closed after its first block: 48000 samples",
        "PASS [cold] closed while the analysis pass's work runs: window closed",
        "PASS [warm] work of the analysis pass after the window closed: 1 block(s) running at the close, all finished"}},
      {"QMProbeNaN", 8,
       {"FAIL [cold] render at 44100 Hz in blocks of 1, 512 and 4096 samples: NaN at sample 0 of channel 0 (blocks of 1)",
        "FAIL [warm] render pass with the window closed after its first block: NaN at sample 0 of channel 0"}},
      {"QMProbeInfinity", 8,
       {"FAIL [cold] render at 48000 Hz in blocks of 1, 512 and 4096 samples: infinity at sample 0 of channel 0",
        "FAIL [warm] render pass with the window closed after its first block: infinity at sample 0 of channel 0"}},
      {"QMProbeDenormal", 8,
       {"FAIL [cold] render at 96000 Hz in blocks of 1, 512 and 4096 samples: denormal at sample 0 of channel 0",
        "FAIL [warm] render pass with the window closed after its first block: denormal at sample 0 of channel 0"}},
      {"QMProbeLeakingView", 8,
       {"FAIL [cold] first opening: window closed: 1 view(s) left in the host's view",
        "FAIL [warm] closed during a render pass: window closed: 1 view(s) left in the host's view",
        "FAIL [cold] closed while the analysis pass's work runs: window closed: 1 view(s) left in the host's view"}},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    const qm::host::ValidationResult result = qm::host::ValidateBundle(Bundle(c.probe), out);
    EXPECT_EQ(result.failures, c.failures) << c.probe << "\n" << out.str();
    for (const std::string& line : c.lines) EXPECT_NE(out.str().find(line), std::string::npos) << c.probe << ": " << line;
  }
}

TEST(Validate, CommandLineExitStatus) {
  const std::string qmhost = std::string(QM_BINARY_DIR) + "/bin/qmhost";
  const CommandRun passed = Capture("'" + qmhost + "' validate '" + Bundle("QMProbe") + "'");
  EXPECT_EQ(passed.status, 0) << passed.output;
  EXPECT_NE(passed.output.find("PASSED: "), std::string::npos);
  const CommandRun failed = Capture("'" + qmhost + "' validate '" + Bundle("QMProbeLeaking") + "'");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.output.find("FAILED: "), std::string::npos);
  EXPECT_EQ(Capture("'" + qmhost + "' validate").status, 2);
  EXPECT_EQ(Capture("'" + qmhost + "' frobnicate").status, 2);
  const CommandRun missing = Capture("'" + qmhost + "' validate /nonexistent/None.aaxplugin");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("FAIL [cold] load: no module at"), std::string::npos);
}

// A module cut short inside a segment or after its last one, or a path to one that is no regular
// file, gets a FAIL verdict: no crash while the system loader maps it, no wait on a FIFO.
TEST(Validate, DamagedModuleGetsAVerdict) {
  namespace fs = std::filesystem;
  const fs::path home = fs::temp_directory_path() / ("qm-damaged-module-" + std::to_string(::getpid()));
  const std::string probe = qm::host::LoadedBundle::ModulePath(Bundle("QMProbe"));
  const std::string cut = "cp '" + probe + "' \"$M\" && truncate -s ";
  const std::string cases[][3] = {  // its name, a command that lays out the module "$M", what FAIL says of it
      {"InASegment", cut + "65536 \"$M\"", "is cut short: its "},
      {"AfterTheSegments", cut + std::to_string(fs::file_size(probe) - 1) + " \"$M\"", "is cut short: its "},
      {"Fifo", "mkfifo \"$M\"", "is not a regular file"},
      {"LinkToFifo", "mkfifo \"$M.fifo\" && ln -s \"$M.fifo\" \"$M\"", "is not a regular file"}};
  for (const auto& [name, make, fault] : cases) {
    const std::string bundle = (home / (name + ".aaxplugin")).string(), module = qm::host::LoadedBundle::ModulePath(bundle);
    fs::create_directories(fs::path(module).parent_path());
    ASSERT_EQ(Capture("M='" + module + "'; " + make).status, 0) << name << ": the module could not be laid out";
    const CommandRun validated = Capture("HOME='" + home.string() + "' timeout 120 '" + std::string(QM_BINARY_DIR) +
                                         "/bin/qmhost' validate '" + bundle + "'");
    EXPECT_EQ(validated.status, 1) << name << "\n" << validated.output;
    EXPECT_NE(validated.output.find("FAIL [cold] load: the module " + module + " " + fault), std::string::npos)
        << name << "\n" << validated.output;
  }
  fs::remove_all(home);
}

// The plug-in's own bundle: its analysis pass starts a transcription, which the command's
// stand-in answers late, so the window closes while that job runs.
TEST(Validate, QuillomancerWindowClosesWhileItsTranscriptionRuns) {
  if (!std::filesystem::exists(qm::host::LoadedBundle::ModulePath(Bundle("Quillomancer")))) {
    GTEST_SKIP() << "the Quillomancer bundle is not built";
  }
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("qm-validate-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  const CommandRun run = Capture("HOME='" + home.string() + "' '" + std::string(QM_BINARY_DIR) + "/bin/qmhost' validate '" +
                                 Bundle("Quillomancer") + "'");
  std::filesystem::remove_all(home);
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* pass : {"cold", "warm"}) {
    EXPECT_NE(run.output.find(std::string("PASS [") + pass +
                              "] work of the analysis pass after the window closed: 1 block(s) running at the close"),
              std::string::npos)
        << run.output;
  }
}

}  // namespace
