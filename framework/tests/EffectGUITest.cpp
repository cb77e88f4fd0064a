#include "AAX_CEffectGUI_Cocoa.h"
#include "AAX_CEffectParameters.h"
#include "AAX_CParameter.h"
#include "AAX_IViewContainer.h"
#include "HostCapture.h"
#include "ParameterFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using qm::ui::Rect;
using qm::ui::View;
using qm::ui::ViewController;

namespace {

class TwoParameters : public AAX_CEffectParameters {
public:
  AAX_Result EffectInit() override {
    for (const char* id : {"MasterBypassID", "PreviewID"}) {
      mParameterManager.AddParameter(NewBoolParameter(id, id));
    }
    return 0;
  }
};

// A parameters object that cannot tell how many parameters it has.
class CountlessParameters : public AAX_CEffectParameters {
public:
  AAX_Result GetNumberOfParameters(int32_t*) noexcept override { return AAX_ERROR_NULL_OBJECT; }
};

// A window that builds one 800 x 600 view and records the base's calls of its hooks.
class TestWindow : public AAX_CEffectGUI_Cocoa {
public:
  std::vector<std::string> events;
  bool throwOnBuild = false;
  std::weak_ptr<ViewController> builtController;
  std::weak_ptr<View> builtView;

  void CreateViewContents() override {
    if (throwOnBuild) throw std::runtime_error("no views");
    auto controller = std::make_shared<ViewController>(std::make_shared<View>(Rect{0, 0, 800, 600}));
    builtController = controller;
    builtView = controller->view();
    SetViewController(std::move(controller));
    events.push_back("build");
  }
  void CreateViewContainer() override {
    events.push_back("attach");
    AAX_CEffectGUI_Cocoa::CreateViewContainer();
  }
  void DeleteViewContainer() override {
    events.push_back("detach");
    AAX_CEffectGUI_Cocoa::DeleteViewContainer();
  }
  AAX_Result ParameterUpdated(AAX_CParamID id) noexcept override {
    events.push_back(std::string("updated ") + id);
    return 0;
  }
  void HandOver(std::shared_ptr<ViewController> controller) { SetViewController(std::move(controller)); }
  View* HostView() const { return GetHostView(); }
};

struct WindowOnFakeHost : ::testing::Test {
  HostCapture capture;
  TwoParameters parameters;
  std::shared_ptr<View> hostView = std::make_shared<View>(Rect{0, 0, 1000, 700});

  void SetUp() override {
    parameters.AddRef();  // the host's own reference
    ASSERT_EQ(parameters.Initialize(capture.Unknown()), 0);
    capture.Host().SetEffectParameters(parameters.GetPrivateUnknown());
  }
  void TearDown() override { parameters.Uninitialize(); }
  IACFUnknown* Container(int32_t type, void* view) {
    return static_cast<AAX_IACFViewContainer*>(&capture.Host().NewViewContainer(type, view));
  }
  IACFUnknown* HostViewContainer() { return Container(1, hostView.get()); }
  uint32_t ParametersReferences() {
    const uint32_t count = parameters.AddRef();
    parameters.Release();
    return count - 2;  // the host's reference and this probe's own
  }
};

}  // namespace

TEST_F(WindowOnFakeHost, AttachShowsTheViewAndRefreshesEveryParameter) {
  TestWindow window;
  EXPECT_EQ(window.Initialize(nullptr), AAX_ERROR_NOT_INITIALIZED);
  ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
  EXPECT_EQ(window.events, std::vector<std::string>{"build"});
  EXPECT_EQ(window.GetEffectParameters(), static_cast<AAX_IEffectParameters*>(&parameters));
  EXPECT_NE(window.GetController(), nullptr);
  EXPECT_NE(window.Transport(), nullptr);
  EXPECT_EQ(window.GetViewContainerType(), 0);
  EXPECT_EQ(window.GetViewContainerPtr(), nullptr);

  ASSERT_EQ(window.SetViewContainer(HostViewContainer()), 0);
  EXPECT_EQ(window.events,
            (std::vector<std::string>{"build", "attach", "updated MasterBypassID", "updated PreviewID"}));
  EXPECT_EQ(window.GetViewContainerType(), 1);
  ASSERT_EQ(hostView->subviews().size(), 1u);
  EXPECT_EQ(hostView->subviews().front(), window.builtView.lock());
  EXPECT_EQ(window.HostView(), hostView.get());

  AAX_Point size;
  EXPECT_EQ(window.GetViewSize(&size), 0);
  EXPECT_EQ(size.vert, 600.0f);
  EXPECT_EQ(size.horz, 800.0f);

  ASSERT_EQ(window.Uninitialize(), 0);
  EXPECT_EQ(window.events.back(), "detach");
  EXPECT_TRUE(hostView->subviews().empty());
  EXPECT_EQ(window.GetEffectParameters(), nullptr);
  EXPECT_EQ(ParametersReferences(), 0u);
}

TEST_F(WindowOnFakeHost, DetachReleasesTheControllerSoAReattachShowsNothing) {
  TestWindow window;
  ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
  ASSERT_EQ(window.SetViewContainer(HostViewContainer()), 0);
  ASSERT_EQ(window.SetViewContainer(nullptr), 0);
  EXPECT_TRUE(hostView->subviews().empty());
  EXPECT_TRUE(window.builtController.expired());
  EXPECT_TRUE(window.builtView.expired());
  EXPECT_EQ(window.HostView(), nullptr);
  EXPECT_EQ(window.GetViewContainer(), nullptr);

  AAX_Point size{1.0f, 2.0f};
  EXPECT_EQ(window.GetViewSize(&size), 0);  // no controller: untouched
  EXPECT_EQ(size.vert, 1.0f);
  EXPECT_EQ(size.horz, 2.0f);

  ASSERT_EQ(window.SetViewContainer(HostViewContainer()), 0);
  EXPECT_TRUE(hostView->subviews().empty());

  // A controller handed over in between is shown at the next attach.
  window.SetViewContainer(nullptr);
  window.HandOver(std::make_shared<ViewController>(std::make_shared<View>(Rect{0, 0, 10, 20})));
  ASSERT_EQ(window.SetViewContainer(HostViewContainer()), 0);
  EXPECT_EQ(hostView->subviews().size(), 1u);
  window.Uninitialize();
}

TEST_F(WindowOnFakeHost, SecondContainerReplacesTheFirstWithoutADetach) {
  TestWindow window;
  ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
  auto otherView = std::make_shared<View>(Rect{0, 0, 50, 50});
  ASSERT_EQ(window.SetViewContainer(HostViewContainer()), 0);
  ASSERT_EQ(window.SetViewContainer(Container(1, otherView.get())), 0);
  size_t detaches = 0;
  for (const auto& e : window.events) detaches += e == "detach";
  EXPECT_EQ(detaches, 0u);
  EXPECT_EQ(otherView->subviews().size(), 1u);  // the view moved to the new host view
  EXPECT_TRUE(hostView->subviews().empty());
  EXPECT_EQ(window.HostView(), otherView.get());
  window.Uninitialize();
  EXPECT_TRUE(otherView->subviews().empty());
}

TEST_F(WindowOnFakeHost, OtherContainerTypesAreHeldButGetNoView) {
  TestWindow window;
  ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
  ASSERT_EQ(window.SetViewContainer(Container(2, hostView.get())), 0);
  EXPECT_EQ(window.GetViewContainerType(), 2);
  EXPECT_TRUE(hostView->subviews().empty());
  EXPECT_EQ(window.HostView(), nullptr);
  AAX_Point size;
  EXPECT_EQ(window.GetViewSize(&size), 0);
  EXPECT_EQ(size.horz, 800.0f);
  window.Uninitialize();
}

TEST_F(WindowOnFakeHost, NoCustomLabelAndNoSizeIntoNothing) {
  TestWindow window;
  ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
  AAX_CString label("untouched");
  EXPECT_EQ(window.GetCustomLabel(AAX_ePlugInStrings_Analysis, &label), AAX_ERROR_NULL_OBJECT);
  EXPECT_EQ(label, "untouched");
  EXPECT_EQ(window.GetViewSize(nullptr), AAX_ERROR_NULL_ARGUMENT);
  window.Uninitialize();
}

TEST_F(WindowOnFakeHost, ThrowingViewBuildStopsAtInitialize) {
  TestWindow window;
  window.throwOnBuild = true;
  EXPECT_EQ(window.Initialize(capture.Unknown()), AAX_ERROR_UNKNOWN_EXCEPTION);
  window.Uninitialize();
  parameters.Uninitialize();
  EXPECT_EQ(capture.Unbalanced(), std::vector<std::string>{});
}

TEST_F(WindowOnFakeHost, DestroyedWhileAttachedRemovesItsViewWithoutItsHooks) {
  std::weak_ptr<ViewController> controller;
  {
    TestWindow window;
    ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
    ASSERT_EQ(window.SetViewContainer(HostViewContainer()), 0);
    controller = window.builtController;
    ASSERT_EQ(hostView->subviews().size(), 1u);
  }
  EXPECT_TRUE(hostView->subviews().empty());
  EXPECT_TRUE(controller.expired());
  EXPECT_EQ(ParametersReferences(), 0u);
  parameters.Uninitialize();
  EXPECT_EQ(capture.Unbalanced(), std::vector<std::string>{});
}

TEST_F(WindowOnFakeHost, NeverAttachedWindowStillReleasesItsController) {
  std::weak_ptr<ViewController> controller;
  {
    TestWindow window;
    ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
    controller = window.builtController;
    ASSERT_FALSE(controller.expired());
    window.Uninitialize();
    EXPECT_FALSE(controller.expired());  // not attached: nothing detached it
  }
  EXPECT_TRUE(controller.expired());
}

TEST(EffectGUI, FailingParameterCountTracesOnceAndUpdatesNothing) {
  HostCapture capture;
  CountlessParameters parameters;
  parameters.AddRef();
  capture.Host().SetEffectParameters(parameters.GetPrivateUnknown());
  auto hostView = std::make_shared<View>();
  TestWindow window;
  ASSERT_EQ(window.Initialize(capture.Unknown()), 0);
  capture.Clear();
  ASSERT_EQ(window.SetViewContainer(static_cast<AAX_IACFViewContainer*>(&capture.Host().NewViewContainer(1, hostView.get()))), 0);
  for (const auto& e : window.events) EXPECT_EQ(e.rfind("updated", 0), std::string::npos) << e;
  const auto traces = capture.Traces();
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].priority, 0x10000000);
  EXPECT_EQ(traces[0].text, "AAX_CEffectGUI::UpdateAllParameters - error getting the number of parameters");
  window.Uninitialize();
}
