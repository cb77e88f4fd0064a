// GUI base for a container that is a view: the derived class hands over a view controller in
// CreateViewContents, its view is added to the host's view when a container of type 1 is
// attached and removed (and the controller released) when the container is detached.
#pragma once

#include "AAX_CEffectGUI.h"

#include "qm/ui/view.h"
#include "qm/ui/view_controller.h"

#include <memory>

class AAX_CEffectGUI_Cocoa : public AAX_CEffectGUI {
public:
  AAX_CEffectGUI_Cocoa();
  // Removes the controller's view from the host view and releases the controller, without
  // calling the derived class (a window destroyed while attached, or never attached).
  ~AAX_CEffectGUI_Cocoa() override;

  // [main-thread] Height into the point's first float, width into its second.
  AAX_Result GetViewSize(AAX_Point* size) noexcept override;

  // Derived classes that override these call them.
  void CreateViewContainer() override;
  void DeleteViewContainer() override;

protected:
  // Takes over the caller's reference to the controller.
  void SetViewController(std::shared_ptr<qm::ui::ViewController> controller);
  const std::shared_ptr<qm::ui::ViewController>& GetViewController() const { return mViewController; }
  // The container's view while a container of type 1 is attached, else null. Not owned.
  qm::ui::View* GetHostView() const { return mHostView; }
  // Adds the controller's view to the host view (when all three exist).
  void AddViewContents();

private:
  void RemoveViewContents() noexcept;

  qm::ui::View* mHostView = nullptr;
  std::shared_ptr<qm::ui::ViewController> mViewController;
};
