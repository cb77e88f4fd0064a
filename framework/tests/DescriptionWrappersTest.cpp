#include "AAX_CHostServices.h"
#include "AAX_Errors.h"
#include "AAX_IFeatureInfo.h"
#include "AAX_UIDs.h"
#include "AAX_VCollection.h"
#include "AAX_VComponentDescriptor.h"
#include "AAX_VEffectDescriptor.h"
#include "AAX_VPropertyMap.h"
#include "qm/host/fake_host.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using qm::host::FakeHost;
using qm::host::FakePropertyMap;

AAX_EProperty P(int32_t id) { return static_cast<AAX_EProperty>(id); }

// The fake map behind a wrapper.
FakePropertyMap* Fake(AAX_IPropertyMap* map) { return dynamic_cast<FakePropertyMap*>(map->GetIUnknown()); }

TEST(PropertyMap, BothSampleRatesAddBothAndAnswerTheFirstFailure) {
  FakeHost host;
  {
    std::unique_ptr<AAX_VPropertyMap> map(AAX_VPropertyMap::Create(host.Unknown()));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->AddProperty(P(10001), 0x00020002), 0);
    EXPECT_EQ(Fake(map.get())->Value(51), 0x00020002);
    EXPECT_EQ(Fake(map.get())->Value(52), 0x00020002);
    Fake(map.get())->FailOperation("AddProperty", -20012, 1);
    EXPECT_EQ(map->AddProperty(P(10001), 0x00030003), -20012);
    EXPECT_EQ(Fake(map.get())->Value(52), 0x00030003);  // the second still ran
    Fake(map.get())->FailOperation("AddProperty", -20013, 2);
    EXPECT_EQ(map->AddProperty(P(10001), 0x00040004), -20013);
    EXPECT_EQ(Fake(map.get())->CallCount("AddProperty"), 6u);  // both ran every time
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

struct RateCase {
  int32_t id;
  uint32_t value;
  AAX_Result expected;
};

TEST(PropertyMap, OlderHostsKnowOnlySomeSampleRateValues) {
  FakeHost host;
  host.DescriptionHost().SetVersion(0);  // no description host anywhere
  const RateCase cases[] = {
      {51, 0x000D0002u, -20039}, {51, 0x00020002u, 0}, {51, 0xFFFF0000u, 0}, {52, 0xFF9C0000u, 0},
      {52, 0xFFFE0000u, -20039}, {51, 0x000C0000u, 0}, {53, 0x000D0002u, 0},
  };
  {
    std::unique_ptr<AAX_VPropertyMap> map(AAX_VPropertyMap::Create(host.Unknown()));
    for (const RateCase& c : cases) {
      EXPECT_EQ(map->AddProperty(P(c.id), static_cast<int32_t>(c.value)), c.expected) << c.id << " " << std::hex << c.value;
    }
    EXPECT_EQ(Fake(map.get())->CallCount("AddProperty"), 5u);  // the refused ones never reached the host
  }
  host.DescriptionHost().SetVersion(1);
  {
    std::unique_ptr<AAX_VPropertyMap> map(AAX_VPropertyMap::Create(host.Unknown()));
    EXPECT_EQ(map->AddProperty(P(51), 0x000D0002), 0);  // a newer host decides itself
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(PropertyMap, PointerPropertiesKeptLocallyWithoutTheThirdVersion) {
  FakeHost host;
  host.Versions().propertyMap = 2;
  int procedure = 0;
  {
    std::unique_ptr<AAX_VPropertyMap> map(AAX_VPropertyMap::Create(host.Unknown()));
    EXPECT_EQ(map->AddPointerProperty(P(36), &procedure), 0);
    const void* got = nullptr;
    EXPECT_TRUE(map->GetPointerProperty(P(36), &got));
    EXPECT_EQ(got, &procedure);
    EXPECT_FALSE(map->GetPointerProperty(P(36), nullptr));
    EXPECT_FALSE(map->GetPointerProperty(P(37), &got));
    EXPECT_EQ(map->AddPointerProperty(P(43), &procedure), -20009);
    EXPECT_EQ(map->AddPointerProperty(P(39), "probe.dll"), 0);
    EXPECT_TRUE(Fake(map.get())->Pointers().empty());  // nothing reached the host
  }
  host.Versions().propertyMap = 3;
  {
    std::unique_ptr<AAX_VPropertyMap> map(AAX_VPropertyMap::Create(host.Unknown()));
    EXPECT_EQ(map->AddPointerProperty(P(43), &procedure), 0);
    EXPECT_EQ(Fake(map.get())->Pointers().at(43), &procedure);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(PropertyMap, AcquiredOnNothingAnswersFixedValues) {
  std::unique_ptr<AAX_VPropertyMap> map(AAX_VPropertyMap::Acquire(nullptr));
  AAX_CPropertyValue value = 0;
  const AAX_SPlugInIdentifierTriad* ids = nullptr;
  uint32_t count = 0;
  EXPECT_FALSE(map->GetProperty(P(11), &value));
  EXPECT_EQ(map->AddProperty(P(11), 1), -20004);
  EXPECT_EQ(map->RemoveProperty(P(11)), -20004);
  EXPECT_EQ(map->AddPropertyWithIDArray(P(11), nullptr, 0), -20009);
  EXPECT_FALSE(map->GetPropertyWithIDArray(P(11), &ids, &count));
  EXPECT_EQ(map->GetIUnknown(), nullptr);
  EXPECT_EQ(AAX_VPropertyMap::Create(nullptr), nullptr);
}

TEST(ComponentDescriptor, ProcessProceduresOneByOneOnOlderHosts) {
  FakeHost host;
  host.Versions().componentDescriptor = 2;
  int procedure = 0;
  {
    AAX_VComponentDescriptor component(host.Unknown());
    AAX_IPropertyMap* map = component.NewPropertyMap();
    ASSERT_NE(map, nullptr);
    map->AddProperty(P(13), 1);
    map->AddPointerProperty(P(36), &procedure);
    AAX_CTypeID ids[3] = {9, 9, 9};
    EXPECT_EQ(component.AddProcessProc(map, ids, 1), -20046);  // no room for the terminating 0
    EXPECT_EQ(component.AddProcessProc(map, ids, 2), 0);
    EXPECT_NE(ids[0], 0u);
    EXPECT_EQ(ids[1], 0u);
    EXPECT_EQ(component.AddProcessProc(map, ids, -1), -20046);  // a negative size means no room
    EXPECT_EQ(component.AddProcessProc(map, nullptr, 0), 0);
    EXPECT_EQ(component.AddProcessProc(nullptr, ids, 3), -20004);
    EXPECT_EQ(component.AddTemporaryData(0, 4), 0);
  }
  host.Versions().componentDescriptor = 3;
  {
    AAX_VComponentDescriptor component(host.Unknown());
    AAX_CTypeID ids[2] = {0, 0};
    EXPECT_EQ(component.AddProcessProc(component.NewPropertyMap(), ids, 2), 0);  // the host does it
    EXPECT_NE(ids[0], 0u);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(ComponentDescriptor, BufferLengthIsTakenOutOfACopy) {
  FakeHost host;
  host.Versions().componentDescriptor = 1;
  int procedure = 0;
  {
    AAX_VComponentDescriptor component(host.Unknown());
    AAX_IPropertyMap* map = component.NewPropertyMap();
    map->AddProperty(P(14), 1);
    map->AddProperty(P(54), 256);
    map->AddPointerProperty(P(36), &procedure);
    AAX_CTypeID ids[2] = {0, 0};
    EXPECT_EQ(component.AddProcessProc(map, ids, 2), 0);
    EXPECT_EQ(Fake(map)->Value(54), 256);  // the caller's map keeps it
    const auto maps = host.PropertyMaps();
    ASSERT_EQ(maps.size(), 2u);
    EXPECT_FALSE(maps[1]->Value(54).has_value());  // the copy handed to the host does not
    EXPECT_EQ(maps[1]->Pointers().at(36), &procedure);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(ComponentDescriptor, MissingProcedurePointersAreTraced) {
  FakeHost host;
  host.Versions().componentDescriptor = 1;
  AAX_CHostServices::Set(host.Unknown());
  {
    AAX_VComponentDescriptor component(host.Unknown());
    AAX_IPropertyMap* map = component.NewPropertyMap();
    map->AddProperty(P(15), 1);
    EXPECT_EQ(component.AddProcessProc(map, nullptr, 0), 0);
  }
  EXPECT_TRUE(host.HostServices().Traced("no value found for AAX_eProperty_TIDLLFileName"));
  EXPECT_TRUE(host.HostServices().Traced("no value found for AAX_eProperty_TIProcessProc"));
  AAX_CHostServices::Set(nullptr);
}

TEST(ComponentDescriptor, NullHostAnswersFixedCodes) {
  AAX_VComponentDescriptor component(nullptr);
  EXPECT_EQ(component.Clear(), -20004);
  EXPECT_EQ(component.AddAudioIn(0), -20004);
  EXPECT_EQ(component.AddReservedField(0, 0), -20004);
  EXPECT_EQ(component.AddTemporaryData(0, 0), -20009);
  EXPECT_EQ(component.NewPropertyMap(), nullptr);
  EXPECT_EQ(component.AddProcessProc(nullptr, nullptr, 0), -20004);
  EXPECT_EQ(AAX_VComponentDescriptor::PointerPropertiesUsedByAddProcessProc().size(), 7u);
}

TEST(Collection, HostVersion) {
  FakeHost host;
  {
    AAX_VCollection collection(host.Unknown());
    uint32_t version = 0;
    EXPECT_EQ(collection.GetHostVersion(nullptr), -20044);
    EXPECT_EQ(collection.GetHostVersion(&version), 0);
    EXPECT_EQ(version, 0x00020900u);
    host.Definition().SetAttribute(AAXATTR_Client_Version, std::vector<uint8_t>(8, 1));
    EXPECT_EQ(collection.GetHostVersion(&version), -20043);
    host.Definition().RemoveAttribute(AAXATTR_Client_Version);
    EXPECT_EQ(collection.GetHostVersion(&version), AAX_ERROR_UNKNOWN_ID);  // the host's answer
  }
  host.Definition().SetVersion(0);
  {
    AAX_VCollection collection(host.Unknown());
    uint32_t version = 0;
    EXPECT_EQ(collection.GetHostVersion(&version), -20004);
    EXPECT_EQ(collection.HostDefinition(), nullptr);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(Collection, DeletingItDeletesEverythingItHandedOut) {
  FakeHost host;
  {
    AAX_VCollection collection(host.Unknown());
    AAX_IEffectDescriptor* first = collection.NewDescriptor();
    AAX_IEffectDescriptor* second = collection.NewDescriptor();
    first->NewPropertyMap();
    first->NewComponentDescriptor()->NewPropertyMap();
    second->NewPropertyMap();
    collection.NewPropertyMap();
    EXPECT_EQ(collection.AddEffect("com.probe", first), 0);
    EXPECT_EQ(collection.AddEffect("com.probe.null", nullptr), -20004);
    EXPECT_EQ(host.Collections()[0]->Effects().size(), 1u);
    EXPECT_FALSE(host.Balanced());
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(Collection, NullHostAnswersFixedCodes) {
  AAX_VCollection collection(nullptr);
  EXPECT_EQ(collection.SetManufacturerName("m"), -20004);
  EXPECT_EQ(collection.AddPackageName("p"), -20004);
  EXPECT_EQ(collection.SetPackageVersion(1), -20004);
  EXPECT_EQ(collection.SetProperties(nullptr), -20004);
  EXPECT_EQ(collection.NewPropertyMap(), nullptr);
  EXPECT_EQ(collection.DescriptionHost(), nullptr);
  EXPECT_EQ(collection.GetIUnknown(), nullptr);
  AAX_IEffectDescriptor* descriptor = collection.NewDescriptor();
  ASSERT_NE(descriptor, nullptr);
  EXPECT_EQ(collection.AddEffect("e", descriptor), -20004);
  EXPECT_EQ(descriptor->AddName("n"), -20004);
  EXPECT_EQ(descriptor->SetRole(1), -20004);
  EXPECT_EQ(descriptor->AddProcPtr(nullptr, 0), -20004);
  EXPECT_EQ(descriptor->AddControlMIDINode(0, AAX_eMIDINodeType_LocalInput, "n", 0), -20009);
  EXPECT_EQ(descriptor->NewPropertyMap(), nullptr);
}

TEST(EffectDescriptor, OlderDescriptorAndForwardedCalls) {
  FakeHost host;
  host.Versions().effectDescriptor = 1;
  {
    AAX_VCollection collection(host.Unknown());
    AAX_IEffectDescriptor* descriptor = collection.NewDescriptor();
    EXPECT_EQ(descriptor->AddControlMIDINode(0, AAX_eMIDINodeType_LocalInput, "n", 0), -20009);
    EXPECT_EQ(descriptor->SetRole(7), 0);
    AAX_IPropertyMap* map = descriptor->NewPropertyMap();
    map->AddProperty(P(11), 5);
    EXPECT_EQ(descriptor->SetProperties(map), 0);
    EXPECT_EQ(descriptor->AddCategoryBypassParameter(1, nullptr), -20001);
    EXPECT_EQ(collection.AddEffect("e", descriptor), 0);
    const auto* fake = host.Collections()[0]->Effects()[0].descriptor;
    ASSERT_NE(fake, nullptr);
    EXPECT_EQ(fake->Categories(), std::vector<uint32_t>{7});
    EXPECT_EQ(fake->Properties()->Value(11), 5);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

TEST(DescriptionHost, FeatureInformation) {
  FakeHost host;
  {
    AAX_VCollection collection(host.Unknown());
    ASSERT_NE(collection.DescriptionHost(), nullptr);
    EXPECT_EQ(collection.DescriptionHost()->AcquireFeatureProperties(AAXATTR_ClientFeature_MIDI), nullptr);
    host.DescriptionHost().SetFeature(AAXATTR_ClientFeature_MIDI, static_cast<AAX_ESupportLevel>(2));
    std::unique_ptr<AAX_IFeatureInfo> info(collection.DescriptionHost()->AcquireFeatureProperties(AAXATTR_ClientFeature_MIDI));
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->ID() == AAXATTR_ClientFeature_MIDI);
    AAX_ESupportLevel level = AAX_eSupportLevel_Uninitialized;
    EXPECT_EQ(info->SupportLevel(level), 0);
    EXPECT_EQ(level, 2);
    std::unique_ptr<AAX_IPropertyMap> properties(info->AcquireProperties());
    ASSERT_NE(properties, nullptr);
    EXPECT_NE(properties->GetIUnknown(), nullptr);
  }
  EXPECT_TRUE(host.Balanced()) << testing::PrintToString(host.Unbalanced());
}

}  // namespace
