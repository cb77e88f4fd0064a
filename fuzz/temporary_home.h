#pragma once
// For targets whose code writes the plug-in log: HOME becomes a fresh folder under /tmp, removed
// at exit, so the real home folder is never written.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline void UseTemporaryHome(const char* name) {
  static std::string home;
  home = std::string("/tmp/") + name + "-XXXXXX";
  if (mkdtemp(home.data()) == nullptr) return;
  setenv("HOME", home.c_str(), 1);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  });
}
