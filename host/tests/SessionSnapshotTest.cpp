// The JSON snapshots of `qmhost session` carry the editor's line: once LOAD brought the transcript,
// the transcript editor's text view in the snapshot holds it. Skipped when the program or the
// bundle has not been built in this build folder.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

#include "CommandRun.h"

namespace {

namespace fs = std::filesystem;

// The strings of every text view of the transcript editor in a snapshot's view tree.
void EditorStrings(const nlohmann::json& view, std::set<std::string>& out) {
  if (!view.is_object()) return;
  if (view.value("class", "") == "QMTrackedTextView" && view.contains("string") && view["string"].is_string())
    out.insert(view["string"].get<std::string>());
  if (view.contains("subviews"))
    for (const auto& subview : view["subviews"]) EditorStrings(subview, out);
}

TEST(SessionSnapshots, AfterLoadTheEditorsLineIsInTheSnapshot) {
  const fs::path program = fs::path(QM_BINARY_DIR) / "bin" / "qmhost";
  const fs::path module = fs::path(QM_BINARY_DIR) / "Quillomancer.aaxplugin" / "Contents" / "x86_64-linux" / "Quillomancer.so";
  if (!fs::exists(program) || !fs::exists(module)) GTEST_SKIP() << "qmhost or the bundle is not built";
  const fs::path folder = fs::temp_directory_path() / ("qm-session-snapshots-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const qmhosttest::CommandRun run = qmhosttest::Capture(
      "cd '" + folder.string() + "' && HOME='" + folder.string() + "' timeout 120 '" + program.string() +
      "' session --input '" + std::string(QM_SOURCE_DIR) + "/testdata/speech.wav' --output takes --takes 1 --snapshots snapshots");
  ASSERT_EQ(run.status, 0) << run.output;

  // The editor's lines in the snapshots taken after LOAD's own (named in order by their number).
  bool loadSeen = false;
  std::set<fs::path> all;
  for (const auto& entry : fs::directory_iterator(folder / "snapshots"))
    if (entry.path().extension() == ".json") all.insert(entry.path());
  std::set<std::string> lines;
  for (const fs::path& path : all) {
    if (path.filename().string().find("-load.json") != std::string::npos) {
      loadSeen = true;
    } else if (loadSeen) {
      std::ifstream in(path);
      EditorStrings(nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false), lines);
    }
  }
  EXPECT_TRUE(loadSeen) << run.output;
  EXPECT_TRUE(lines.count("I never said she took the money.")) << run.output;
  std::error_code ec;
  fs::remove_all(folder, ec);
}

}  // namespace
