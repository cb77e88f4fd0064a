#include "qm/platform/child_reaper.h"

#include "qm/platform/process.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace qm::platform;

namespace {

// Waits (up to a generous limit) for `done`; the limit only keeps a broken build from hanging.
bool eventually(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The process's state letter from /proc ('Z' for a zombie), or 0 when it is gone.
char procState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? 0 : text[close + 2];
}

}  // namespace

TEST(ChildReaper, ReapsInTheBackgroundAndKeepsTheExitForWhoAsks) {
  auto& reaper = ChildReaper::shared();
  const pid_t quick = spawnDetached("/bin/sh", {"-c", "exit 7"}, true);
  const pid_t killed = spawnDetached("/bin/sh", {"-c", "kill -TERM $$; sleep 5"}, true);
  const pid_t sleeping = spawnDetached("/bin/sleep", {"30"}, true);
  ASSERT_GT(quick, 0);
  ASSERT_GT(killed, 0);
  reaper.adopt(quick);
  reaper.adopt(killed);
  reaper.adopt(sleeping);

  // Nobody asks: the queued check alone must take the zombies away.
  EXPECT_TRUE(eventually([&] { return procState(quick) == 0 && procState(killed) == 0; }));

  ChildExit exit;
  ASSERT_EQ(reaper.state(quick, &exit), ChildReaper::State::exited);
  EXPECT_EQ(exit.exitCode, 7);
  EXPECT_EQ(exit.signal, 0);
  ASSERT_EQ(reaper.state(killed, &exit), ChildReaper::State::exited);
  EXPECT_EQ(exit.exitCode, -1);
  EXPECT_EQ(exit.signal, SIGTERM);

  EXPECT_EQ(reaper.state(sleeping), ChildReaper::State::running);
  ::kill(sleeping, SIGKILL);
  EXPECT_TRUE(eventually([&] { return reaper.state(sleeping) == ChildReaper::State::exited; }));

  reaper.forget(quick);
  EXPECT_EQ(reaper.state(quick), ChildReaper::State::unknown);
  EXPECT_EQ(reaper.state(999999999), ChildReaper::State::unknown);
}
