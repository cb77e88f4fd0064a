#include "AAX_CEffectGUI_Cocoa.h"

#include "AAX_IViewContainer.h"
#include "qm/platform/thread_check.h"

namespace {
constexpr int32_t kViewContainerTypeView = 1;
}

AAX_CEffectGUI_Cocoa::AAX_CEffectGUI_Cocoa() = default;

AAX_CEffectGUI_Cocoa::~AAX_CEffectGUI_Cocoa() { RemoveViewContents(); }

void AAX_CEffectGUI_Cocoa::RemoveViewContents() noexcept {
  if (mViewController && mViewController->view()) mViewController->view()->removeFromSuperview();
  mViewController.reset();
  mHostView = nullptr;
}

AAX_Result AAX_CEffectGUI_Cocoa::GetViewSize(AAX_Point* size) noexcept {
  QM_ASSERT_THREAD(main);
  if (!size) return AAX_ERROR_NULL_ARGUMENT;
  if (mViewController && mViewController->view()) {
    const qm::ui::Rect& frame = mViewController->view()->frame();
    size->vert = static_cast<float>(frame.height());
    size->horz = static_cast<float>(frame.width());
  }
  return AAX_SUCCESS;
}

void AAX_CEffectGUI_Cocoa::CreateViewContainer() {
  if (GetViewContainerType() != kViewContainerTypeView) return;
  mHostView = static_cast<qm::ui::View*>(GetViewContainerPtr());
  AddViewContents();
}

void AAX_CEffectGUI_Cocoa::DeleteViewContainer() {
  if (mHostView && mViewController && mViewController->view()) {
    mViewController->view()->removeFromSuperview();
    mViewController.reset();
  }
  // The host's view belongs to the container being detached: never reach it again.
  mHostView = nullptr;
}

void AAX_CEffectGUI_Cocoa::SetViewController(std::shared_ptr<qm::ui::ViewController> controller) {
  mViewController = std::move(controller);
}

void AAX_CEffectGUI_Cocoa::AddViewContents() {
  if (mHostView && mViewController && mViewController->view()) mHostView->addSubview(mViewController->view());
}
