// A whole fake host for tests and `qmhost`: one host unknown that answers the component
// factory, the host definition and description host, controller, transport, automation
// delegate and host-processor delegate (each with its own chosen versions), and forwards
// effect-parameters queries to the plug-in's data-model object when one is set. Objects the
// factory creates (collections, descriptors, property maps, page tables, host services) are
// kept until the host is destroyed, so every reference can be checked at the end.
#pragma once

#include "IACFComponentFactory.h"
#include "qm/host/fake_description.h"
#include "qm/host/fake_object.h"
#include "qm/host/fake_runtime.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm::host {

class FakeHost;

class FakeComponentFactory final : public IACFComponentFactory, public FakeObject {
public:
  explicit FakeComponentFactory(FakeHost& host);
  QM_FAKE_UNKNOWN

  // Calls are logged as "CreateComponent(<kind>)": host services, page table, collection,
  // effect descriptor, component descriptor, property map; fail one kind through that name.
  ACFRESULT CreateComponent(const _acfUID& compID, IACFUnknown* outer, const _acfUID& iid, void** out) noexcept override;

private:
  FakeHost& mHost;
};

class FakeHostUnknown final : public IACFUnknown, public FakeObject {
public:
  explicit FakeHostUnknown(FakeHost& host);
  ACFRESULT QueryInterface(const _acfUID& iid, void** out) noexcept override;
  acfUInt32 AddRef() noexcept override { return Ref(); }
  acfUInt32 Release() noexcept override { return Unref(); }

private:
  FakeHost& mHost;
};

class FakeHost {
public:
  // Versions given to objects the factory creates (0: the object answers nothing).
  struct CreatedVersions {
    int propertyMap = 3;
    int effectDescriptor = 2;
    int componentDescriptor = 3;
    int pageTable = 2;
  };

  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The unknown handed to start-up, registration and each component's Initialize.
  IACFUnknown* Unknown() { return &mUnknown; }
  FakeHostUnknown& HostUnknown() { return mUnknown; }

  FakeComponentFactory& Factory() { return mFactory; }
  FakeController& Controller() { return mController; }
  FakeTransport& Transport() { return mTransport; }
  FakeAutomationDelegate& Automation() { return mAutomation; }
  FakeHostProcessorDelegate& ProcessorDelegate() { return mProcessorDelegate; }
  FakeHostServices& HostServices() { return mHostServices; }
  FakeDefinition& Definition() { return mDefinition; }
  FakeDescriptionHost& DescriptionHost() { return mDescriptionHost; }
  CreatedVersions& Versions() { return mVersions; }

  // The plug-in's data-model object, answered for the effect-parameters identifiers
  // (not counted by the host; the test keeps it alive).
  void SetEffectParameters(IACFUnknown* parameters);
  IACFUnknown* EffectParameters() const;

  // A view container the host keeps; pass it to SetViewContainer.
  FakeViewContainer& NewViewContainer(int32_t type = 1, void* view = nullptr);

  // Objects made by the factory, in creation order.
  std::vector<FakeCollection*> Collections() const;
  std::vector<FakePageTable*> PageTables() const;
  std::vector<FakePropertyMap*> PropertyMaps() const;

  // Objects of the host that still hold references (view containers excepted: the
  // framework keeps those by design) or were released too often; empty when balanced.
  std::vector<std::string> Unbalanced() const;
  bool Balanced() const { return Unbalanced().empty(); }

  // Used by the factory and the description host.
  template <class T, class... Args>
  T* Keep(Args&&... args) {
    auto object = std::make_unique<T>(std::forward<Args>(args)...);
    T* raw = object.get();
    std::lock_guard<std::mutex> guard(mMutex);
    mKept.push_back(std::move(object));
    return raw;
  }

private:
  std::vector<FakeObject*> Permanent();
  template <class T>
  std::vector<T*> KeptOf() const;

  mutable std::mutex mMutex;
  CreatedVersions mVersions;
  FakeController mController;
  FakeTransport mTransport;
  FakeAutomationDelegate mAutomation;
  FakeHostProcessorDelegate mProcessorDelegate;
  FakeHostServices mHostServices;
  FakeDefinition mDefinition;
  FakeDescriptionHost mDescriptionHost;
  FakeComponentFactory mFactory;
  FakeHostUnknown mUnknown;
  IACFUnknown* mEffectParameters = nullptr;
  std::vector<std::unique_ptr<FakeObject>> mKept;
};

}  // namespace qm::host
