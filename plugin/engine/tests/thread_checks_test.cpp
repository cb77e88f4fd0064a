// Calls made on the wrong thread stop the process, with the function named, in the builds that
// carry the thread checks (the sanitizer presets); elsewhere the checks cost nothing.

#include <gtest/gtest.h>

#include <thread>

#include "AAX_CEffectGUI.h"
#include "Quillomancer_HostProcessor.h"
#include "QuillomancerServer.h"
#include "qm/host/fake_host.h"
#include "qm/platform/dispatch.h"

namespace {

#if defined(QM_THREAD_CHECKS)

class EmptyWindow : public AAX_CEffectGUI {
 protected:
  void CreateViewContents() override {}
  void CreateViewContainer() override {}
  void DeleteViewContainer() override {}
};

void OnAnotherThread(void (*call)()) { std::thread(call).join(); }

TEST(ThreadChecks, WrongThreadCallsStopTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The Process button's entry, pressed from a host thread.
  EXPECT_DEATH(OnAnotherThread([] { Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"); }),
               "RequestProcessLoadedAudio must be called on the main thread");
  // A window entry from a host thread.
  EXPECT_DEATH(OnAnotherThread([] {
                 qm::host::FakeHost host;
                 EmptyWindow window;
                 window.Initialize(host.Unknown());
               }),
               "Initialize must be called on the main thread");
  // A blocking service call on the thread that runs the main queue.
  EXPECT_DEATH(
      {
        qm::platform::setCurrentThreadAsMain();
        QuillomancerServer::CheckHealth();
      },
      "CheckHealth must not be called on the main thread");
  // The same calls where they belong pass the checks.
  qm::platform::setCurrentThreadAsMain();
  EXPECT_EQ(Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button"), AAX_ERROR_NOT_INITIALIZED);
}

#else

TEST(ThreadChecks, WrongThreadCallsStopTheProcess) { GTEST_SKIP() << "this build has no thread checks"; }

#endif

}  // namespace
