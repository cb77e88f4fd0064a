// Calls through raw tables of function pointers, as the host does, to prove that each
// operation sits at the position the host calls.
#include "AAX_CString.h"
#include "AAX_UIDs.h"
#include "StubComponents.h"
#include "qm/host/fake_host.h"

#include <gtest/gtest.h>

namespace {

using qm::host::FakeHost;

template <class Fn, class Interface>
Fn Slot(Interface* object, int position) {
  auto* const* table = *reinterpret_cast<void* const* const*>(object);
  return reinterpret_cast<Fn>(table[position]);
}

TEST(SlotPositions, ControllerTransportAndDelegate) {
  FakeHost host;
  AAX_IACFController* controller = &host.Controller();
  host.Controller().SetSampleRate(96000.0f);
  float rate = 0;
  EXPECT_EQ((Slot<AAX_Result (*)(void*, float*)>(controller, 4))(controller, &rate), 0);
  EXPECT_EQ(rate, 96000.0f);
  AAX_CString name;
  EXPECT_EQ((Slot<AAX_Result (*)(void*, AAX_IString*)>(controller, 23))(controller, &name), 0);
  EXPECT_EQ(name, "Pro Tools");
  uint32_t instance = 0;
  EXPECT_EQ((Slot<AAX_Result (*)(void*, uint32_t*)>(controller, 28))(controller, &instance), 0);
  EXPECT_EQ(host.Controller().Calls().back(), "GetInstanceID");

  AAX_IACFTransport* transport = &host.Transport();
  host.Transport().SetTimelineSelection(10, 20);
  int64_t position = 0;
  EXPECT_EQ((Slot<AAX_Result (*)(void*, int64_t*)>(transport, 13))(transport, &position), 0);
  EXPECT_EQ(position, 10);
  EXPECT_EQ((Slot<AAX_Result (*)(void*, int64_t*)>(transport, 18))(transport, &position), 0);
  EXPECT_EQ(position, 20);

  AAX_IACFHostProcessorDelegate* delegate = &host.ProcessorDelegate();
  EXPECT_EQ((Slot<AAX_Result (*)(void*)>(delegate, 5))(delegate), 0);
  EXPECT_EQ(host.ProcessorDelegate().Calls().back(), "ForceAnalyze");
  EXPECT_EQ((Slot<AAX_Result (*)(void*)>(delegate, 6))(delegate), 0);
  EXPECT_EQ(host.ProcessorDelegate().Calls().back(), "ForceProcess");
}

TEST(SlotPositions, HostServicesFactoryAndDefinition) {
  FakeHost host;
  AAX_IACFHostServices* services = &host.HostServices();
  EXPECT_EQ((Slot<AAX_Result (*)(void*, int32_t, const char*)>(services, 4))(services, 7, "line"), 0);
  EXPECT_EQ(host.HostServices().Traces().at(0).text, "line");
  EXPECT_EQ((Slot<AAX_Result (*)(void*, const char*, int32_t, const char*, int32_t)>(services, 6))(services, "f", 3, "n", 1), 0);
  EXPECT_EQ(host.HostServices().Asserts().at(0).line, 3);

  IACFComponentFactory* factory = &host.Factory();
  void* out = nullptr;
  using CreateFn = ACFRESULT (*)(void*, const _acfUID&, IACFUnknown*, const _acfUID&, void**);
  EXPECT_EQ((Slot<CreateFn>(factory, 3))(factory, AAXCompID_AAXPropertyMap, nullptr, IID_IAAXPropertyMapV1, &out), 0);
  ASSERT_NE(out, nullptr);
  static_cast<IACFUnknown*>(out)->Release();

  IACFDefinition* definition = &host.Definition();
  _acfUID type = acfUID_NULL;
  acfUInt32 size = 0;
  EXPECT_EQ((Slot<ACFRESULT (*)(void*, const _acfUID&, _acfUID*, acfUInt32*)>(definition, 4))(definition, AAXATTR_Client_Version, &type, &size), 0);
  EXPECT_EQ(size, 4u);
  int32_t version = 0;
  EXPECT_EQ((Slot<ACFRESULT (*)(void*, const _acfUID&, const _acfUID&, void*, acfUInt32)>(definition, 5))(definition, AAXATTR_Client_Version, type, &version, 4), 0);
  EXPECT_EQ(version, 0x00020900);
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(SlotPositions, DescriptionObjects) {
  qm::host::FakeCollection collection;
  AAX_IACFCollection* asCollection = &collection;
  EXPECT_EQ((Slot<AAX_Result (*)(void*, const char*)>(asCollection, 8))(asCollection, "Maker"), 0);
  EXPECT_EQ(collection.ManufacturerName(), "Maker");
  EXPECT_EQ((Slot<AAX_Result (*)(void*, uint32_t)>(asCollection, 10))(asCollection, 2), 0);
  EXPECT_EQ(collection.PackageVersion(), 2u);

  qm::host::FakeEffectDescriptor descriptor;
  AAX_IACFEffectDescriptor* asDescriptor = &descriptor;
  int proc = 0;
  EXPECT_EQ((Slot<AAX_Result (*)(void*, void*, int32_t)>(asDescriptor, 7))(asDescriptor, &proc, 3), 0);
  ASSERT_EQ(descriptor.ProcPtrs().size(), 1u);
  EXPECT_EQ(descriptor.ProcPtrs()[0].id, 3);
  EXPECT_EQ((Slot<AAX_Result (*)(void*, const char*, IACFUnknown*)>(asCollection, 7))(asCollection, "com.x", asDescriptor), 0);
  ASSERT_EQ(collection.Effects().size(), 1u);
  EXPECT_EQ(collection.Effects()[0].descriptor, &descriptor);

  qm::host::FakePropertyMap map;
  AAX_IACFPropertyMap* asMap = &map;
  EXPECT_EQ((Slot<AAX_Result (*)(void*, int32_t, int32_t)>(asMap, 4))(asMap, 11, 42), 0);
  EXPECT_EQ(map.Value(11), 42);
  EXPECT_EQ((Slot<AAX_Result (*)(void*, int32_t, const void*)>(asMap, 9))(asMap, 36, &proc), 0);
  EXPECT_EQ(map.Pointers().at(36), &proc);
}

// The plug-in side: the host reaches a component's own operations by position too.
class InitializeCounter : public StubHostProcessor {
public:
  AAX_Result Initialize(IACFUnknown*) noexcept override {
    ++initialized;
    return 0;
  }
  AAX_Result GetClipNameSuffix(int32_t, AAX_IString*) noexcept override { return -20009; }
  int initialized = 0;
};

TEST(SlotPositions, ComponentOperations) {
  auto* processor = new InitializeCounter;
  AAX_IACFHostProcessor* asHost = processor;
  asHost->AddRef();
  EXPECT_EQ((Slot<AAX_Result (*)(void*, IACFUnknown*)>(asHost, 3))(asHost, nullptr), 0);
  EXPECT_EQ(processor->initialized, 1);
  EXPECT_EQ((Slot<AAX_Result (*)(void*, int32_t, AAX_IString*)>(asHost, 13))(asHost, 8, nullptr), -20009);
  asHost->Release();
}

}  // namespace
