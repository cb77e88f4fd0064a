#include "AAX_Errors.h"
#include "AAX_UIDs.h"
#include "qm/host/fake_host.h"

#include <gtest/gtest.h>

namespace {

using qm::host::FakeHost;

TEST(FakeHost, HostUnknownAnswersEveryPartAndCountsReferences) {
  FakeHost host;
  const _acfUID answered[] = {IID_IACFComponentFactory, IID_IACFDefinition, IID_IAAXDescriptionHostV1, IID_IAAXControllerV5,
                              IID_IAAXPageTableControllerV2, IID_IAAXTransportV5, IID_IAAXTransportControlV1,
                              IID_IAAXAutomationDelegateV1, IID_IAAXHostProcessorDelegateV3, IID_IACFUnknown};
  for (const _acfUID& iid : answered) {
    void* out = nullptr;
    ASSERT_EQ(host.Unknown()->QueryInterface(iid, &out), 0);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(host.Balanced());
    static_cast<IACFUnknown*>(out)->Release();
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(host.Unknown()->QueryInterface(IID_IAAXEffectParametersV1, &out), ACF_E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST(FakeHost, LeaksAndOverReleasesAreReportedByName) {
  FakeHost host;
  void* out = nullptr;
  ASSERT_EQ(host.Unknown()->QueryInterface(IID_IAAXTransportV1, &out), 0);
  auto unbalanced = host.Unbalanced();
  ASSERT_EQ(unbalanced.size(), 1u);
  EXPECT_EQ(unbalanced[0], "transport: 1 reference(s) not released");
  static_cast<IACFUnknown*>(out)->Release();
  static_cast<IACFUnknown*>(out)->Release();
  unbalanced = host.Unbalanced();
  ASSERT_EQ(unbalanced.size(), 1u);
  EXPECT_EQ(unbalanced[0], "transport: released 1 time(s) more than referenced");
}

TEST(FakeHost, OlderVersionsAreRefused) {
  FakeHost host;
  host.Controller().SetVersion(2);
  void* out = nullptr;
  EXPECT_EQ(host.Unknown()->QueryInterface(IID_IAAXControllerV3, &out), ACF_E_NOINTERFACE);
  ASSERT_EQ(host.Unknown()->QueryInterface(IID_IAAXControllerV2, &out), 0);
  static_cast<IACFUnknown*>(out)->Release();
  host.Controller().SetVersion(0, qm::host::FakeController::kPageTableControllerGroup);
  EXPECT_EQ(host.Unknown()->QueryInterface(IID_IAAXPageTableController, &out), ACF_E_NOINTERFACE);
}

TEST(FakeHost, InjectedFailuresRunOutAfterTheirCount) {
  FakeHost host;
  host.Factory().FailOperation("CreateComponent(collection)", -20012, 2);
  void* out = nullptr;
  IACFComponentFactory& factory = host.Factory();
  EXPECT_EQ(factory.CreateComponent(AAXCompID_AAXCollection, nullptr, IID_IAAXCollectionV1, &out), -20012);
  EXPECT_EQ(factory.CreateComponent(AAXCompID_AAXCollection, nullptr, IID_IAAXCollectionV1, &out), -20012);
  EXPECT_TRUE(host.Collections().empty());
  ASSERT_EQ(factory.CreateComponent(AAXCompID_AAXCollection, nullptr, IID_IAAXCollectionV1, &out), 0);
  EXPECT_EQ(host.Collections().size(), 1u);
  EXPECT_EQ(host.Factory().CallCount("CreateComponent(collection)"), 3u);
  static_cast<IACFUnknown*>(out)->Release();
  host.Unknown()->AddRef();
  host.HostUnknown().FailOperation("QueryInterface", ACF_E_NOINTERFACE);
  EXPECT_EQ(host.Unknown()->QueryInterface(IID_IACFUnknown, &out), ACF_E_NOINTERFACE);
  host.Unknown()->Release();
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(FakeHost, AttributesAndFeatures) {
  FakeHost host;
  IACFDefinition& definition = host.Definition();
  _acfUID type = acfUID_NULL;
  acfUInt32 size = 0;
  EXPECT_NE(definition.GetAttributeInfo(AAXATTR_Client_Level, &type, &size), 0);
  host.Definition().SetAttributeInt32(AAXATTR_Client_Level, 3);
  ASSERT_EQ(definition.GetAttributeInfo(AAXATTR_Client_Level, &type, &size), 0);
  EXPECT_EQ(size, 4u);
  int32_t level = 0;
  EXPECT_EQ(definition.CopyAttribute(AAXATTR_Client_Level, type, &level, 8), AAX_ERROR_INVALID_ARGUMENT);
  ASSERT_EQ(definition.CopyAttribute(AAXATTR_Client_Level, type, &level, 4), 0);
  EXPECT_EQ(level, 3);

  AAX_IACFDescriptionHost& descriptions = host.DescriptionHost();
  IACFUnknown* info = nullptr;
  EXPECT_NE(descriptions.AcquireFeatureProperties(AAXATTR_ClientFeature_MIDI, &info), 0);
  host.DescriptionHost().SetFeature(AAXATTR_ClientFeature_MIDI, static_cast<AAX_ESupportLevel>(3));
  ASSERT_EQ(descriptions.AcquireFeatureProperties(AAXATTR_ClientFeature_MIDI, &info), 0);
  AAX_IACFFeatureInfo* feature = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_IAAXFeatureInfoV1, reinterpret_cast<void**>(&feature)), 0);
  AAX_ESupportLevel support = AAX_eSupportLevel_Uninitialized;
  EXPECT_EQ(feature->SupportLevel(&support), 0);
  EXPECT_EQ(support, 3);
  feature->Release();
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(FakeHost, EffectParametersAreForwarded) {
  FakeHost host;
  FakeHost other;  // stands in for a counted plug-in object
  host.SetEffectParameters(other.Unknown());
  void* out = nullptr;
  // The stand-in does not answer the parameters identifier, so the answer is its refusal.
  EXPECT_EQ(host.Unknown()->QueryInterface(IID_IAAXEffectParametersV1, &out), ACF_E_NOINTERFACE);
  EXPECT_EQ(other.HostUnknown().Calls().size(), 0u);
  EXPECT_TRUE(host.Balanced());
}

}  // namespace
