#include "qm/platform/browser.h"
#include "qm/platform/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qm::platform;

TEST(Browser, OnlyAbsoluteWebLinksMayBeOpened) {
  for (const char* url : {"https://www.quillomancer.com/download", "HTTP://x.io", "http://127.0.0.1:8080/a?b#c"})
    EXPECT_TRUE(isOpenableWebLink(url)) << url;
  for (const char* url : {"", "-https://x.io", "--help", "ftp://x.io", "file:///etc/passwd", "javascript:alert(1)",
                          "https://", "https:///path", "//x.io", "www.x.io", "https://x.io/a b",
                          "https://x.io/\n--version", "https://x.io/\x7f"})
    EXPECT_FALSE(isOpenableWebLink(url)) << url;
}

TEST(Browser, TheOpenerGetsTheLinkAsItsOnlyArgument) {
  const fs::path dir = fs::temp_directory_path() / ("qm-browser-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string seen = (dir / "seen").string();
  const std::string opener = (dir / "opener").string();
  ASSERT_EQ(writeFileAtomic(opener, "#!/bin/sh\necho \"$#:$1\" > '" + seen + ".tmp'\nmv '" + seen + ".tmp' '" + seen + "'\n", 0755), 0);
  setBrowserOpenerProgram(opener);
  EXPECT_FALSE(openURLInBrowser("-x https://x.io"));
  EXPECT_FALSE(openURLInBrowser("ftp://x.io"));
  ASSERT_TRUE(openURLInBrowser("https://x.io/a;b&c"));
  std::string text;
  for (int i = 0; i < 6000 && !readFile(seen, text); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(text, "1:https://x.io/a;b&c\n");
  setBrowserOpenerProgram("");
  EXPECT_EQ(browserOpenerProgram(), "xdg-open");
  fs::remove_all(dir);
}
