#include "Quillomancer_GUI.h"

#include <memory>

#include "AAX_Errors.h"
#include "qm/ui/view.h"
#include "qm/ui/view_controller.h"

AAX_IEffectGUI* Quillomancer_GUI::Create() { return new Quillomancer_GUI(); }

Quillomancer_GUI::Quillomancer_GUI() = default;
Quillomancer_GUI::~Quillomancer_GUI() = default;

// [main-thread]
void Quillomancer_GUI::CreateViewContents() {
  auto root = std::make_shared<qm::ui::View>(qm::ui::Rect(0.0, 0.0, kViewWidth, kViewHeight));
  SetViewController(std::make_shared<qm::ui::ViewController>(std::move(root)));
}

// [main-thread]
void Quillomancer_GUI::CreateViewContainer() { AAX_CEffectGUI_Cocoa::CreateViewContainer(); }

// [main-thread]
void Quillomancer_GUI::DeleteViewContainer() { AAX_CEffectGUI_Cocoa::DeleteViewContainer(); }

// [main-thread]
AAX_Result Quillomancer_GUI::GetCustomLabel(AAX_EPlugInStrings kind, AAX_IString* label) noexcept {
  if (label == nullptr) return AAX_ERROR_NULL_OBJECT;
  if (kind == AAX_ePlugInStrings_Analysis) {
    label->Set("LOAD");
    return AAX_SUCCESS;
  }
  if (kind == AAX_ePlugInStrings_Process) {
    label->Set("RENDER");
    return AAX_SUCCESS;
  }
  return AAX_ERROR_NULL_OBJECT;
}
