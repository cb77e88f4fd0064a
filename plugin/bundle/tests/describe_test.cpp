// The description against the fake host's collections, one case per kind of host.

#include <gtest/gtest.h>

#include <optional>

#include "AAX_CHostServices.h"
#include "AAX_Exception.h"
#include "AAX_Exports.h"
#include "AAX_UIDs.h"
#include "AAX_VCollection.h"
#include "Quillomancer_GUI.h"
#include "Quillomancer_HostProcessor.h"
#include "Quillomancer_Parameters.h"
#include "QuillomancerStoreVocabulary.h"
#include "qm/host/fake_host.h"

namespace {

struct Described {
  AAX_Result result = 0;
  const qm::host::FakeCollection* collection = nullptr;
  const qm::host::FakeEffectDescriptor* effect = nullptr;
};

Described Describe(qm::host::FakeHost& host) {
  Described d;
  {
    AAX_VCollection collection(host.Unknown());
    d.result = GetEffectDescriptions(&collection);
  }
  const auto collections = host.Collections();
  if (!collections.empty()) {
    d.collection = collections.back();
    for (const auto& effect : d.collection->Effects()) {
      if (effect.id == "com.quillomancer.aax.quillomancer") d.effect = effect.descriptor;
    }
  }
  return d;
}

bool HasProc(const qm::host::FakeEffectDescriptor* effect, AAX_CProcPtrID id, void* proc) {
  for (const auto& p : effect->ProcPtrs()) {
    if (p.id == id && p.proc == proc) return true;
  }
  return false;
}

void* GuiCreate() { return reinterpret_cast<void*>(&Quillomancer_GUI::Create); }

struct HostCase {
  const char* name;
  std::optional<int32_t> clientLevel;       // none: not published
  std::optional<AAX_ESupportLevel> midi;    // none: no MIDI feature
  bool eightByteLevel = false;
  bool expectWindow;
};

TEST(Description, WindowTestPerHost) {
  const HostCase cases[] = {
      {"level not published", std::nullopt, std::nullopt, false, true},
      {"level 1", 1, std::nullopt, false, true},
      {"level 2, MIDI support 1", 2, AAX_ESupportLevel(1), false, false},
      {"level 3, no MIDI feature", 3, std::nullopt, false, false},
      {"level 2, MIDI support 2", 2, AAX_ESupportLevel(2), false, true},
      {"level 3, MIDI support 3", 3, AAX_ESupportLevel(3), false, true},
      {"level 3, MIDI support 4", 3, AAX_ESupportLevel(4), false, true},
      {"level 2, MIDI support 5", 2, AAX_ESupportLevel(5), false, false},
      {"level 0", 0, std::nullopt, false, true},
      {"level 4", 4, std::nullopt, false, true},
      {"eight-byte level", 2, std::nullopt, true, true},
  };
  for (const auto& c : cases) {
    qm::host::FakeHost host;
    if (c.eightByteLevel) {
      host.Definition().SetAttribute(AAXATTR_Client_Level, std::vector<uint8_t>{2, 0, 0, 0, 0, 0, 0, 0});
    } else if (c.clientLevel) {
      host.Definition().SetAttributeInt32(AAXATTR_Client_Level, *c.clientLevel);
    }
    if (c.midi) host.DescriptionHost().SetFeature(AAXATTR_ClientFeature_MIDI, *c.midi);

    const Described d = Describe(host);
    ASSERT_EQ(d.result, 0) << c.name;
    ASSERT_NE(d.effect, nullptr) << c.name;
    EXPECT_EQ(HasProc(d.effect, 1, GuiCreate()), c.expectWindow) << c.name;
    EXPECT_TRUE(HasProc(d.effect, 0, reinterpret_cast<void*>(&Quillomancer_Parameters::Create))) << c.name;
    EXPECT_TRUE(HasProc(d.effect, 3, reinterpret_cast<void*>(&Quillomancer_HostProcessor::Create))) << c.name;
    const auto* properties = d.effect->Properties();
    ASSERT_NE(properties, nullptr) << c.name;
    EXPECT_EQ(properties->Value(108), c.expectWindow ? std::optional<int32_t>(1) : std::nullopt) << c.name;
    EXPECT_EQ(properties->Value(151), c.expectWindow ? std::nullopt : std::optional<int32_t>(1)) << c.name;
    EXPECT_TRUE(host.Balanced()) << c.name;
  }
}

TEST(Description, IdentityPropertiesAndPackage) {
  qm::host::FakeHost host;
  const Described d = Describe(host);
  ASSERT_NE(d.effect, nullptr);
  EXPECT_EQ(d.effect->Names(), (std::vector<std::string>{"Quillomancer", "Qllmncr", "QMtr"}));
  EXPECT_EQ(d.effect->Categories(), std::vector<uint32_t>{0});
  const auto values = d.effect->Properties()->Values();
  const std::map<int32_t, int32_t> expected = {
      {11, int32_t(QMBlockID("Qllo"))}, {12, int32_t(QMBlockID("Qmnc"))}, {14, int32_t(QMBlockID("QMa3"))},
      {113, 48}, {114, 48}, {103, 1}, {107, 1}, {108, 1}, {110, 1}};
  EXPECT_EQ(values, expected);
  EXPECT_EQ(d.collection->ManufacturerName(), "Quillomancer");
  EXPECT_EQ(d.collection->PackageNames(), (std::vector<std::string>{"Quillomancer", "Qllmncr", "QMtr"}));
  EXPECT_EQ(d.collection->PackageVersion(), 2u);
}

TEST(Description, FailingDescriptorIsSwallowedAndPackageStillSet) {
  qm::host::FakeHost host;
  AAX_CHostServices::Set(host.Unknown());
  host.Versions().effectDescriptor = 0;  // every descriptor call answers -20004
  const Described d = Describe(host);
  AAX_CHostServices::Set(nullptr);
  EXPECT_EQ(d.result, 0);
  ASSERT_NE(d.collection, nullptr);
  EXPECT_TRUE(d.collection->Effects().empty());
  EXPECT_EQ(d.collection->PackageNames().size(), 3u);
  EXPECT_TRUE(host.HostServices().Traced("(GetEffectDescriptions) exception caught:"));
  EXPECT_TRUE(host.HostServices().Traced("(swallowed)"));
}

// A collection that hands out no descriptor.
class NoDescriptorCollection : public AAX_VCollection {
 public:
  using AAX_VCollection::AAX_VCollection;
  AAX_IEffectDescriptor* NewDescriptor() override { return nullptr; }
};

TEST(Description, NoDescriptorFailsRegistrationBeforeThePackage) {
  qm::host::FakeHost host;
  std::optional<int> code;
  {
    NoDescriptorCollection collection(host.Unknown());
    try {
      GetEffectDescriptions(&collection);
    } catch (const AAX::Exception::ResultError& error) {
      code = error.Result();
    }
  }
  EXPECT_EQ(code, -20004);
  for (const auto* collection : host.Collections()) EXPECT_TRUE(collection->PackageNames().empty());
}

}  // namespace
