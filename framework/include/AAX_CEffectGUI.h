// Base of the GUI component: holds the controller and transport wrappers, a counted pointer
// to the data-model component, and the host's view container, and turns the host's attaching
// and detaching of the container into calls of the derived class's hooks.
#pragma once

#include "AAX_Errors.h"
#include "AAX_IEffectGUI.h"

#include <memory>

class AAX_IController;
class AAX_IEffectParameters;
class AAX_ITransport;
class AAX_IViewContainer;
class AAX_VController;
class AAX_VTransport;

class AAX_CEffectGUI : public AAX_IEffectGUI {
public:
  AAX_CEffectGUI();
  // Gives back what Initialize took and drops the container wrapper, without calling the
  // derived class's hooks (it is already gone when this runs).
  ~AAX_CEffectGUI() override;
  AAX_CEffectGUI(const AAX_CEffectGUI&) = delete;
  AAX_CEffectGUI& operator=(const AAX_CEffectGUI&) = delete;

  // Host interface, in slot order. [main-thread]: the host makes every GUI call there.
  AAX_Result Initialize(IACFUnknown* host) noexcept override;
  AAX_Result Uninitialize() noexcept override;
  AAX_Result NotificationReceived(AAX_CTypeID type, const void* data, uint32_t size) noexcept override;
  AAX_Result SetViewContainer(IACFUnknown* container) noexcept override;
  AAX_Result GetViewSize(AAX_Point* size) noexcept override;
  AAX_Result Draw(AAX_Rect* area) noexcept override;
  AAX_Result TimerWakeup() noexcept override;
  AAX_Result ParameterUpdated(AAX_CParamID id) noexcept override;
  AAX_Result GetCustomLabel(AAX_EPlugInStrings kind, AAX_IString* label) noexcept override;
  AAX_Result SetControlHighlightInfo(AAX_CParamID id, uint8_t highlighted, AAX_EHighlightColor color) noexcept override;
  AAX_Result GetMinimumViewSize(AAX_Point* size) noexcept override;

  // Hooks for the derived class. [main-thread]
  // Builds the views; called once by Initialize, before any container is attached.
  virtual void CreateViewContents() = 0;
  // A container was attached (GetViewContainer() is set).
  virtual void CreateViewContainer() = 0;
  // The container is being detached (still set while this runs).
  virtual void DeleteViewContainer() = 0;
  // Calls ParameterUpdated for every parameter of the data-model component.
  virtual void UpdateAllParameters();

  AAX_IController* GetController();
  const AAX_IController* GetController() const;
  AAX_IEffectParameters* GetEffectParameters();
  const AAX_IEffectParameters* GetEffectParameters() const;
  AAX_IViewContainer* GetViewContainer();
  const AAX_IViewContainer* GetViewContainer() const;
  AAX_ITransport* Transport();
  const AAX_ITransport* Transport() const;
  // 0 without a container; type 1 carries a view (qm::ui::View*).
  int32_t GetViewContainerType();
  void* GetViewContainerPtr();

private:
  void ReleaseHostObjects() noexcept;

  AAX_VController* mController = nullptr;
  AAX_IEffectParameters* mEffectParameters = nullptr;
  std::unique_ptr<AAX_IViewContainer> mViewContainer;
  AAX_VTransport* mTransport = nullptr;
};
