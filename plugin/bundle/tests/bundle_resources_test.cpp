// The built bundle's Contents/Resources: the window's artwork is copied there at build time, and
// the window of a bundle takes its artwork from there alone, never from the source tree.

#include "qm/platform/files.h"
#include "qm/platform/process.h"
#include "qm/ui/image.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr const char* kLogo = "QMTR_GrayLogo_N_Large_Blue3s";
constexpr const char* kAlternateLogo = "Quillomancer_vomit_v3S";

const fs::path kBuiltBundle = fs::path(QM_BINARY_DIR) / "Quillomancer.aaxplugin";

std::string Bytes(const fs::path& path) {
  std::string bytes;
  EXPECT_TRUE(qm::platform::readFile(path.string(), bytes)) << path;
  return bytes;
}

fs::path Png(const fs::path& folder, const std::string& name) { return folder / (name + ".png"); }

TEST(BundleResources, TheBuiltBundleCarriesTheWindowArtwork) {
  const fs::path source = fs::path(QM_SOURCE_DIR) / "plugin" / "bundle" / "resources";
  for (const char* name : {kLogo, kAlternateLogo}) {
    const fs::path built = Png(kBuiltBundle / "Contents" / "Resources", name);
    ASSERT_TRUE(fs::is_regular_file(built)) << built;
    EXPECT_EQ(Bytes(built), Bytes(Png(source, name))) << name;
  }
}

// A copy of the built bundle in a folder of its own (beside a link to the build's libraries,
// where the module's run path looks), and the window that `qmhost window` opens from it.
struct BundleCopy : ::testing::Test {
  BundleCopy() {
    char pattern[] = "/tmp/qm-bundle-resources-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
    folder = pattern;
    bundle = folder / "Quillomancer.aaxplugin";
    fs::copy(kBuiltBundle, bundle, fs::copy_options::recursive);
    fs::create_directory_symlink(fs::path(QM_BINARY_DIR) / "lib", folder / "lib");
    fs::create_directory(folder / "home");
  }
  ~BundleCopy() override {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
  // The view tree of the window's snapshot.
  nlohmann::json Snapshot() const {
    const fs::path out = folder / "snapshot";
    const auto run = qm::platform::runProcess(
        "/usr/bin/env", {"HOME=" + (folder / "home").string(), std::string(QM_BINARY_DIR) + "/bin/qmhost", "window",
                         "--snapshot", out.string(), "--bundle", bundle.string()});
    EXPECT_EQ(run.exitCode, 0) << run.standardOutput << run.standardError;
    std::ifstream in(out / "views.json");
    return nlohmann::json::parse(in, nullptr, false);
  }
  fs::path Resources() const { return bundle / "Contents" / "Resources"; }

  fs::path folder;
  fs::path bundle;
};

// The frame of the first image view (depth first) that shows the resource `name`, or null.
const nlohmann::json* FrameOfImage(const nlohmann::json& view, const std::string& name) {
  if (view.value("image", "") == name) return &view["frame"];
  if (view.contains("subviews"))
    for (const auto& sub : view["subviews"])
      if (const nlohmann::json* found = FrameOfImage(sub, name)) return found;
  return nullptr;
}

TEST_F(BundleCopy, TheWindowShowsTheArtworkInItsBundle) {
  // The alternate logo's frame follows its picture's proportions: give it the mark's.
  fs::copy_file(Png(Resources(), kLogo), Png(Resources(), kAlternateLogo), fs::copy_options::overwrite_existing);
  const auto markSize = qm::ui::pngPixelSize(Png(Resources(), kLogo).string());
  ASSERT_TRUE(markSize);
  const nlohmann::json views = Snapshot();
  ASSERT_TRUE(views.is_object());
  ASSERT_TRUE(FrameOfImage(views, kLogo));
  const nlohmann::json* alternate = FrameOfImage(views, kAlternateLogo);
  ASSERT_TRUE(alternate);
  EXPECT_NEAR((*alternate)[3].get<double>() / (*alternate)[2].get<double>(), markSize->height / markSize->width, 1e-3);
}

TEST_F(BundleCopy, ABundleWithoutItsArtworkShowsNoneRatherThanTheSourceTrees) {
  fs::remove(Png(Resources(), kLogo));
  fs::remove(Png(Resources(), kAlternateLogo));
  const nlohmann::json views = Snapshot();
  ASSERT_TRUE(views.is_object()) << "the window still opens";
  EXPECT_FALSE(FrameOfImage(views, kLogo));
  EXPECT_FALSE(FrameOfImage(views, kAlternateLogo));
}

}  // namespace
