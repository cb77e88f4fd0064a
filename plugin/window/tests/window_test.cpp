#include <gtest/gtest.h>

#include <memory>

#include "AAX_CString.h"
#include "Quillomancer_GUI.h"
#include "qm/host/fake_host.h"
#include "qm/ui/view.h"

namespace {

TEST(Window, EmptyRootViewOfTheWindowSizeGoesIntoTheHostView) {
  qm::host::FakeHost host;
  AAX_IEffectGUI* gui = Quillomancer_GUI::Create();
  gui->AddRef();
  ASSERT_EQ(gui->Initialize(host.Unknown()), 0);
  auto hostView = std::make_shared<qm::ui::View>(qm::ui::Rect(0, 0, 800, 600));
  ASSERT_EQ(gui->SetViewContainer(&host.NewViewContainer(1, hostView.get())), 0);
  AAX_Point size;
  EXPECT_EQ(gui->GetViewSize(&size), 0);
  EXPECT_EQ(size.vert, 158.0f);
  EXPECT_EQ(size.horz, 480.0f);
  EXPECT_EQ(hostView->subviews().size(), 1u);
  EXPECT_EQ(gui->SetViewContainer(nullptr), 0);
  EXPECT_TRUE(hostView->subviews().empty());
  gui->Uninitialize();
  gui->Release();
}

TEST(Window, CustomLabels) {
  AAX_IEffectGUI* gui = Quillomancer_GUI::Create();
  gui->AddRef();
  AAX_CString label("untouched");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(0), &label), 0);
  EXPECT_EQ(label.StdString(), "LOAD");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(9), &label), 0);
  EXPECT_EQ(label.StdString(), "RENDER");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(5), &label), -20004);
  EXPECT_EQ(label.StdString(), "RENDER");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(0), nullptr), -20004);
  gui->Release();
}

}  // namespace
