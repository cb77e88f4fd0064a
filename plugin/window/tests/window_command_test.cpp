// `qmhost window --snapshot` on the built bundle, in a home folder of its own: the picture's size
// and the view tree as the host sees it; and the process name the window tells its host by.

#include "qm/ui/image.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

struct CommandRun {
  int status = -1;
  std::string output;
};

CommandRun RunShell(const std::string& command) {
  CommandRun run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

struct WindowCommand : ::testing::Test {
  WindowCommand() {
    char tmpl[] = "/tmp/qm-window-command-XXXXXX";
    folder = mkdtemp(tmpl);
  }
  ~WindowCommand() override {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  // Runs qmhost (or a link to it under another name) with HOME in the test's folder.
  CommandRun Qmhost(const std::string& arguments, const std::string& program = "") const {
    const std::string qmhost = program.empty() ? std::string(QM_BINARY_DIR) + "/bin/qmhost" : program;
    return RunShell("HOME='" + folder.string() + "' '" + qmhost + "' window " + arguments + " --bundle '" +
               std::string(QM_BINARY_DIR) + "/Quillomancer.aaxplugin'");
  }
  nlohmann::json Views(const fs::path& snapshot) const {
    std::ifstream in(snapshot / "views.json");
    return nlohmann::json::parse(in, nullptr, false);
  }
  fs::path folder;
};

// The first view (depth first) that `match` accepts.
const nlohmann::json* Find(const nlohmann::json& view, const std::function<bool(const nlohmann::json&)>& match) {
  if (match(view)) return &view;
  if (view.contains("subviews")) {
    for (const auto& sub : view["subviews"]) {
      if (const nlohmann::json* found = Find(sub, match)) return found;
    }
  }
  return nullptr;
}

const nlohmann::json* OfClass(const nlohmann::json& root, const std::string& name) {
  return Find(root, [&](const nlohmann::json& v) { return v["class"] == name; });
}

TEST_F(WindowCommand, SnapshotWritesThePictureAndTheViewTree) {
  const fs::path out = folder / "snapshot";
  const CommandRun run = Qmhost("--snapshot '" + out.string() + "'");
  ASSERT_EQ(run.status, 0) << run.output;
  const auto size = qm::ui::pngPixelSize((out / "window.png").string());
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 960);
  EXPECT_EQ(size->height, 316);

  const nlohmann::json root = Views(out);
  ASSERT_TRUE(root.is_object());
  EXPECT_EQ(root["frame"], nlohmann::json({0, 0, 480, 158}));
  const nlohmann::json* placeholder = Find(root, [](const nlohmann::json& v) {
    return v.value("string", "") == "Select audio on timeline, press LOAD, edit it, then hit Process!";
  });
  ASSERT_TRUE(placeholder);
  EXPECT_EQ((*placeholder)["frame"], nlohmann::json({19, 67, 442, 35}));
  EXPECT_FALSE((*placeholder)["hidden"]);
  const nlohmann::json* card = Find(root, [](const nlohmann::json& v) {
    return v["frame"] == nlohmann::json({13, -1, 454, 160});
  });
  ASSERT_TRUE(card);
  EXPECT_TRUE((*card)["hidden"]);
  ASSERT_TRUE(OfClass(root, "QMTrackedTextView"));
  EXPECT_EQ((*OfClass(root, "QMTrackedTextView"))["string"], "") << "the editor's line, empty before LOAD";
  ASSERT_TRUE(OfClass(root, "QMModeSelector"));
  EXPECT_EQ((*OfClass(root, "QMModeSelector"))["selectedSegment"], 0);
  ASSERT_TRUE(OfClass(root, "QMTakeSelector"));
  EXPECT_EQ((*OfClass(root, "QMTakeSelector"))["selectedTakes"], 3);
  EXPECT_EQ((*OfClass(root, "QMTakeSelector"))["frame"], nlohmann::json({251, 6, 132, 24}));
  const nlohmann::json* process = Find(root, [](const nlohmann::json& v) { return v.value("title", "") == "Process"; });
  ASSERT_TRUE(process);
  EXPECT_EQ((*process)["frame"], nlohmann::json({395, 8, 74, 20}));
  EXPECT_EQ((*process)["class"], "QMModeTextButton");
  const nlohmann::json* gear = Find(root, [](const nlohmann::json& v) { return v.value("image", "") == "gearshape.fill"; });
  ASSERT_TRUE(gear);
  EXPECT_EQ((*gear)["toolTip"], "Settings");
  EXPECT_EQ((*gear)["frame"], nlohmann::json({445, 136, 20, 20}));
  const nlohmann::json* logo = Find(root, [](const nlohmann::json& v) {
    return v.value("image", "") == "QMTR_GrayLogo_N_Large_Blue3s";
  });
  ASSERT_TRUE(logo) << "the logo comes from the bundle's resources";
  EXPECT_EQ((*logo)["frame"][1], 112.38);
  // A layer as the host sees it: the shell's painted face is named.
  const nlohmann::json* input = Find(root, [](const nlohmann::json& v) { return v["frame"] == nlohmann::json({8, 34, 464, 72}); });
  ASSERT_TRUE(input);
  EXPECT_EQ((*input)["layer"]["cornerRadius"], 12);
  EXPECT_EQ((*input)["layer"]["sublayers"], nlohmann::json({"qmInputFace", "qmInputInnerStroke"}));
}

TEST_F(WindowCommand, AProcessNamedForMediaComposerStartsWithOneTake) {
  // The kernel's name would be cut to 15 characters; the window reads the whole one.
  const fs::path link = folder / "AvidMediaComposer-host";
  fs::create_symlink(std::string(QM_BINARY_DIR) + "/bin/qmhost", link);
  const fs::path out = folder / "mc";
  const CommandRun run = Qmhost("--snapshot '" + out.string() + "'", link.string());
  ASSERT_EQ(run.status, 0) << run.output;
  const nlohmann::json root = Views(out);
  ASSERT_TRUE(OfClass(root, "QMTakeSelector"));
  EXPECT_EQ((*OfClass(root, "QMTakeSelector"))["selectedTakes"], 1);
}

TEST_F(WindowCommand, BadArgumentsAreRefused) {
  EXPECT_EQ(Qmhost("").status, 2) << "a snapshot folder or --interactive is needed";
  EXPECT_EQ(Qmhost("--snapshot").status, 2);
  EXPECT_EQ(Qmhost("--frobnicate").status, 2);
  EXPECT_EQ(RunShell("'" + std::string(QM_BINARY_DIR) + "/bin/qmhost' window --snapshot '" + (folder / "x").string() +
                "' --bundle /nonexistent/None.aaxplugin")
                .status,
            1);
}

}  // namespace
