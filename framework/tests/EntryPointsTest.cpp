#include "AAX_CHostServices.h"
#include "AAX_Errors.h"
#include "AAX_Exception.h"
#include "AAX_Exports.h"
#include "AAX_ICollection.h"
#include "AAX_UIDs.h"
#include "IACFComponentDefinition.h"
#include "IACFPluginDefinition.h"
#include "StubComponents.h"
#include "qm/host/fake_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {
// What the test's description does; registration calls it through GetEffectDescriptions.
std::function<AAX_Result(AAX_ICollection*)> gDescription;
}  // namespace

AAX_Result GetEffectDescriptions(AAX_ICollection* collection) {
  return gDescription ? gDescription(collection) : 0;
}

namespace {

using qm::host::FakeHost;

class EntryPoints : public testing::Test {
protected:
  void SetUp() override {
    gDescription = [](AAX_ICollection* collection) {
      return collection->SetManufacturerName("Quillomancer");
    };
  }
  void TearDown() override {
    ACFShutdown(nullptr);
    gDescription = nullptr;
  }
  std::vector<std::string> TraceTexts() {
    std::vector<std::string> texts;
    for (const auto& trace : host.HostServices().Traces()) texts.push_back(trace.text);
    return texts;
  }
  FakeHost host;
};

TEST_F(EntryPoints, SdkVersion) {
  uint64_t version = 0;
  EXPECT_EQ(ACFGetSDKVersion(&version), 0);
  EXPECT_EQ(version, 0x0000020901345D68ull);
  EXPECT_EQ(ACFGetSDKVersion(nullptr), AAX_ERROR_NULL_ARGUMENT);
}

TEST_F(EntryPoints, NoClassFactoryAndNoComponentsByIndex) {
  void* factory = reinterpret_cast<void*>(1);
  EXPECT_EQ(ACFGetClassFactory(host.Unknown(), IID_IACFUnknown, IID_IACFComponentFactory, &factory), -20009);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(ACFGetClassFactory(nullptr, acfUID_NULL, acfUID_NULL, nullptr), -20009);
  for (acfUInt32 index : {0u, 1u, 0xFFFFFFFFu}) {
    IACFComponentDefinition* definition = reinterpret_cast<IACFComponentDefinition*>(1);
    EXPECT_EQ(ACFRegisterComponent(host.Unknown(), index, &definition), 0);
    EXPECT_EQ(definition, nullptr);
  }
}

TEST_F(EntryPoints, UnloadQueryCountsLiveComponents) {
  const ACFRESULT before = ACFCanUnloadNow(nullptr);
  auto* parameters = new StubEffectParameters;
  parameters->AddRef();
  EXPECT_EQ(ACFCanUnloadNow(host.Unknown()), before + 1);
  parameters->Release();
  EXPECT_EQ(ACFCanUnloadNow(host.Unknown()), before);
}

TEST_F(EntryPoints, StartUpTwiceKeepsTheFirstHostAndShutDownAloneDoesNothing) {
  EXPECT_EQ(ACFShutdown(nullptr), 0);
  FakeHost second;
  EXPECT_EQ(ACFStartup(host.Unknown()), 0);
  EXPECT_EQ(ACFStartup(second.Unknown()), 0);
  AAX_CHostServices::Trace(AAX_eTracePriorityHost_Normal, "hello");
  EXPECT_EQ(host.HostServices().Traces().size(), 1u);
  EXPECT_TRUE(second.HostServices().Traces().empty());
  EXPECT_EQ(ACFShutdown(host.Unknown()), 0);
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
  EXPECT_TRUE(second.Balanced());
}

TEST_F(EntryPoints, RegistrationHandsBackTheHostsPluginDefinition) {
  IACFPluginDefinition* definition = nullptr;
  ASSERT_EQ(ACFRegisterPlugin(host.Unknown(), &definition), 0);
  ASSERT_NE(definition, nullptr);
  ASSERT_EQ(host.Collections().size(), 1u);
  EXPECT_EQ(host.Collections()[0]->ManufacturerName(), "Quillomancer");
  EXPECT_EQ(host.Collections()[0]->References(), 1);  // the definition's reference, nothing else
  definition->Release();
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
  EXPECT_EQ(ACFRegisterPlugin(host.Unknown(), nullptr), AAX_ERROR_NULL_ARGUMENT);
}

struct FailureCase {
  const char* name;
  std::function<AAX_Result(AAX_ICollection*)> description;
  AAX_Result expected;
  const char* trace;
};

TEST_F(EntryPoints, RegistrationTurnsEachFailureIntoItsCode) {
  const FailureCase cases[] = {
      {"result", [](AAX_ICollection*) { return AAX_Result(AAX_ERROR_NULL_OBJECT); }, -20004,
       "AAXRegisterPlugin exception caught: AAX_ERROR_NULL_OBJECT (-20004)"},
      {"plug-in code", [](AAX_ICollection*) { return AAX_Result(-20700); }, -20700,
       "AAXRegisterPlugin exception caught: plug-in defined error (-20700)"},
      {"framework exception", [](AAX_ICollection*) -> AAX_Result { throw AAX::Exception::Any("broken description"); }, -20042,
       "AAXRegisterPlugin exception caught: broken description"},
      {"standard exception", [](AAX_ICollection*) -> AAX_Result { throw std::runtime_error("out of words"); }, -20042,
       "AAXRegisterPlugin exception caught: out of words"},
      {"anything else", [](AAX_ICollection*) -> AAX_Result { throw 42; }, -20042, "AAXRegisterPlugin exception caught: unknown"},
  };
  ASSERT_EQ(ACFStartup(host.Unknown()), 0);
  for (const FailureCase& c : cases) {
    host.HostServices().ClearRecords();
    gDescription = c.description;
    IACFPluginDefinition* definition = reinterpret_cast<IACFPluginDefinition*>(1);
    EXPECT_EQ(ACFRegisterPlugin(host.Unknown(), &definition), c.expected) << c.name;
    EXPECT_EQ(definition, nullptr) << c.name;
    const auto texts = TraceTexts();
    ASSERT_FALSE(texts.empty()) << c.name;
    EXPECT_EQ(texts.back(), c.trace) << c.name;
  }
  EXPECT_EQ(TraceTexts().size(), 1u);  // a thrown value skips the checked result's own line
  ACFShutdown(host.Unknown());
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST_F(EntryPoints, ResultFailureTracesTwoLines) {
  ASSERT_EQ(ACFStartup(host.Unknown()), 0);
  gDescription = [](AAX_ICollection*) { return AAX_Result(AAX_ERROR_NULL_OBJECT); };
  IACFPluginDefinition* definition = nullptr;
  EXPECT_EQ(ACFRegisterPlugin(host.Unknown(), &definition), -20004);
  EXPECT_EQ(TraceTexts(), (std::vector<std::string>{"AAX_CheckedResult - throwing AAX_ERROR_NULL_OBJECT (-20004)",
                                                    "AAXRegisterPlugin exception caught: AAX_ERROR_NULL_OBJECT (-20004)"}));
  EXPECT_EQ(host.HostServices().Traces()[1].priority, 0x08000000);
}

TEST_F(EntryPoints, RefusedCollectionAnswers20004) {
  host.Factory().FailOperation("CreateComponent(collection)", ACF_E_NOINTERFACE);
  gDescription = [](AAX_ICollection*) { return AAX_Result(0); };
  IACFPluginDefinition* definition = reinterpret_cast<IACFPluginDefinition*>(1);
  EXPECT_EQ(ACFRegisterPlugin(host.Unknown(), &definition), -20004);
  EXPECT_EQ(definition, nullptr);
  // A description that uses the refused collection fails the same way.
  gDescription = [](AAX_ICollection* collection) { return collection->SetManufacturerName("x"); };
  EXPECT_EQ(ACFRegisterPlugin(host.Unknown(), &definition), -20004);
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST_F(EntryPoints, RegistrationWorksWithoutStartUp) {
  gDescription = [](AAX_ICollection*) { return AAX_Result(-20009); };
  IACFPluginDefinition* definition = nullptr;
  EXPECT_EQ(ACFRegisterPlugin(host.Unknown(), &definition), -20009);
  EXPECT_TRUE(host.HostServices().Traces().empty());
}

}  // namespace
