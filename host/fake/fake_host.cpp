#include "qm/host/fake_host.h"

#include "AAX_UIDs.h"

namespace qm::host {

namespace {

// Sets an object's main version: the newest it offers unless the test chose an older one.
template <class T>
T* WithVersion(T* object, int version) {
  object->SetVersion(version);
  return object;
}

}  // namespace

// ---- component factory ----

FakeComponentFactory::FakeComponentFactory(FakeHost& host) : FakeObject("component factory"), mHost(host) {
  Offer(IID_IACFComponentFactory, static_cast<IACFComponentFactory*>(this), 1);
}

ACFRESULT FakeComponentFactory::CreateComponent(const _acfUID& compID, IACFUnknown* outer, const _acfUID& iid,
                                                void** out) noexcept {
  if (!out) return ACF_E_INVALIDARG;
  *out = nullptr;
  const char* kind = compID == AAXCompID_HostServices             ? "host services"
                     : compID == AAXCompID_PageTable              ? "page table"
                     : compID == AAXCompID_AAXCollection          ? "collection"
                     : compID == AAXCompID_AAXEffectDescriptor    ? "effect descriptor"
                     : compID == AAXCompID_AAXComponentDescriptor ? "component descriptor"
                     : compID == AAXCompID_AAXPropertyMap         ? "property map"
                                                                  : "unknown";
  AAX_Result injected = 0;
  if (Record(std::string("CreateComponent(") + kind + ")", &injected)) return injected;
  if (outer) return ACF_E_INVALIDARG;  // aggregation is not offered
  const FakeHost::CreatedVersions versions = mHost.Versions();
  try {
    if (compID == AAXCompID_HostServices) return mHost.HostServices().Query(iid, out);
    if (compID == AAXCompID_PageTable) return WithVersion(mHost.Keep<FakePageTable>(), versions.pageTable)->Query(iid, out);
    if (compID == AAXCompID_AAXCollection) return mHost.Keep<FakeCollection>()->Query(iid, out);
    if (compID == AAXCompID_AAXEffectDescriptor) {
      return WithVersion(mHost.Keep<FakeEffectDescriptor>(), versions.effectDescriptor)->Query(iid, out);
    }
    if (compID == AAXCompID_AAXComponentDescriptor) {
      return WithVersion(mHost.Keep<FakeComponentDescriptor>(), versions.componentDescriptor)->Query(iid, out);
    }
    if (compID == AAXCompID_AAXPropertyMap) {
      return WithVersion(mHost.Keep<FakePropertyMap>(), versions.propertyMap)->Query(iid, out);
    }
  } catch (...) {
    return ACF_E_UNEXPECTED;
  }
  return ACF_E_NOINTERFACE;
}

// ---- host unknown ----

FakeHostUnknown::FakeHostUnknown(FakeHost& host) : FakeObject("host unknown"), mHost(host) {
  Offer(IID_IACFUnknown, static_cast<IACFUnknown*>(this), 1);
}

ACFRESULT FakeHostUnknown::QueryInterface(const _acfUID& iid, void** out) noexcept {
  if (!out) return ACF_E_INVALIDARG;
  *out = nullptr;
  if (Query(iid, out) == 0) return 0;
  FakeObject* const parts[] = {&mHost.Factory(),    &mHost.Definition(), &mHost.DescriptionHost(),
                               &mHost.Controller(), &mHost.Transport(),  &mHost.Automation(),
                               &mHost.ProcessorDelegate()};
  for (FakeObject* part : parts) {
    if (part->Query(iid, out) == 0) return 0;
  }
  if (iid == IID_IAAXEffectParametersV1 || iid == IID_IAAXEffectParametersV2 || iid == IID_IAAXEffectParametersV3 ||
      iid == IID_IAAXEffectParametersV4) {
    IACFUnknown* parameters = mHost.EffectParameters();
    if (parameters) return parameters->QueryInterface(iid, out);
  }
  return ACF_E_NOINTERFACE;
}

// ---- host ----

FakeHost::FakeHost()
    : mDescriptionHost([this](AAX_ESupportLevel level) {
        return Keep<FakeFeatureInfo>(level, Keep<FakePropertyMap>());
      }),
      mFactory(*this),
      mUnknown(*this) {
  mDefinition.SetAttributeInt32(AAXATTR_Client_Version, 0x00020900);
}

FakeHost::~FakeHost() = default;

void FakeHost::SetEffectParameters(IACFUnknown* parameters) {
  std::lock_guard<std::mutex> guard(mMutex);
  mEffectParameters = parameters;
}

IACFUnknown* FakeHost::EffectParameters() const {
  std::lock_guard<std::mutex> guard(mMutex);
  return mEffectParameters;
}

FakeViewContainer& FakeHost::NewViewContainer(int32_t type, void* view) { return *Keep<FakeViewContainer>(type, view); }

template <class T>
std::vector<T*> FakeHost::KeptOf() const {
  std::lock_guard<std::mutex> guard(mMutex);
  std::vector<T*> found;
  for (const auto& object : mKept) {
    if (auto* typed = dynamic_cast<T*>(object.get())) found.push_back(typed);
  }
  return found;
}

std::vector<FakeCollection*> FakeHost::Collections() const { return KeptOf<FakeCollection>(); }
std::vector<FakePageTable*> FakeHost::PageTables() const { return KeptOf<FakePageTable>(); }
std::vector<FakePropertyMap*> FakeHost::PropertyMaps() const { return KeptOf<FakePropertyMap>(); }

std::vector<FakeObject*> FakeHost::Permanent() {
  return {&mController, &mTransport,       &mAutomation, &mProcessorDelegate, &mHostServices,
          &mDefinition, &mDescriptionHost, &mFactory,    &mUnknown};
}

std::vector<std::string> FakeHost::Unbalanced() const {
  std::vector<const FakeObject*> objects;
  for (FakeObject* object : const_cast<FakeHost*>(this)->Permanent()) objects.push_back(object);
  {
    std::lock_guard<std::mutex> guard(mMutex);
    for (const auto& object : mKept) objects.push_back(object.get());
  }
  std::vector<std::string> problems;
  for (const FakeObject* object : objects) {
    if (object->OverReleases() > 0) {
      problems.push_back(object->Name() + ": released " + std::to_string(object->OverReleases()) +
                         " time(s) more than referenced");
    }
    if (object->BalanceChecked() && object->References() != 0) {
      problems.push_back(object->Name() + ": " + std::to_string(object->References()) + " reference(s) not released");
    }
  }
  return problems;
}

}  // namespace qm::host
