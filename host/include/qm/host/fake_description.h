// Fake description-time host objects: the collection (also the plug-in definition handed
// back at registration), effect and component descriptors, property maps, the description
// host with feature information, and the host definition with its attributes. They record
// what a plug-in describes so a test or `qmhost validate` can read it back.
#pragma once

#include "AAX_Errors.h"
#include "AAX_IACFCollection.h"
#include "AAX_IACFComponentDescriptor.h"
#include "AAX_IACFDescriptionHost.h"
#include "AAX_IACFEffectDescriptor.h"
#include "AAX_IACFFeatureInfo.h"
#include "AAX_IACFPropertyMap.h"
#include "IACFDefinition.h"
#include "IACFPluginDefinition.h"
#include "qm/host/fake_object.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qm::host {

class FakePropertyMap final : public AAX_IACFPropertyMap_V3, public FakeObject {
public:
  FakePropertyMap();
  QM_FAKE_UNKNOWN

  std::map<int32_t, int32_t> Values() const;
  std::map<int32_t, const void*> Pointers() const;
  std::optional<int32_t> Value(int32_t id) const;

  int32_t GetProperty(AAX_EProperty id, AAX_CPropertyValue* value) noexcept override;
  AAX_Result AddProperty(AAX_EProperty id, AAX_CPropertyValue value) noexcept override;
  AAX_Result RemoveProperty(AAX_EProperty id) noexcept override;
  AAX_Result AddPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad* ids, uint32_t count) noexcept override;
  int32_t GetPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad** ids, uint32_t* count) noexcept override;
  int32_t GetPointerProperty(AAX_EProperty id, const void** value) noexcept override;
  AAX_Result AddPointerProperty(AAX_EProperty id, const void* value) noexcept override;

private:
  mutable std::mutex mState;
  std::map<int32_t, int32_t> mValues;
  std::map<int32_t, const void*> mPointers;
  std::map<int32_t, std::vector<AAX_SPlugInIdentifierTriad>> mIdArrays;
};

class FakeComponentDescriptor final : public AAX_IACFComponentDescriptor_V3, public FakeObject {
public:
  FakeComponentDescriptor();
  QM_FAKE_UNKNOWN

  AAX_Result Clear() noexcept override;
  AAX_Result AddReservedField(AAX_CFieldIndex, uint32_t) noexcept override;
  AAX_Result AddAudioIn(AAX_CFieldIndex) noexcept override;
  AAX_Result AddAudioOut(AAX_CFieldIndex) noexcept override;
  AAX_Result AddAudioBufferLength(AAX_CFieldIndex) noexcept override;
  AAX_Result AddSampleRate(AAX_CFieldIndex) noexcept override;
  AAX_Result AddClock(AAX_CFieldIndex) noexcept override;
  AAX_Result AddSideChainIn(AAX_CFieldIndex) noexcept override;
  AAX_Result AddDataInPort(AAX_CFieldIndex, uint32_t, AAX_EDataInPortType) noexcept override;
  AAX_Result AddAuxOutputStem(AAX_CFieldIndex, int32_t, const char*) noexcept override;
  AAX_Result AddPrivateData(AAX_CFieldIndex, int32_t, uint32_t) noexcept override;
  AAX_Result AddDmaInstance(AAX_CFieldIndex, AAX_IDma::EMode) noexcept override;
  AAX_Result AddMIDINode(AAX_CFieldIndex, AAX_EMIDINodeType, const char*, uint32_t) noexcept override;
  AAX_Result AddProcessProc_Native(void*, IACFUnknown*, void*, void*, AAX_CTypeID* outProcID) noexcept override;
  AAX_Result AddProcessProc_TI(const char*, const char*, IACFUnknown*, const char*, const char*, AAX_CTypeID* outProcID) noexcept override;
  AAX_Result AddMeters(AAX_CFieldIndex, const AAX_CTypeID*, uint32_t) noexcept override;
  AAX_Result AddTemporaryData(AAX_CFieldIndex, uint32_t) noexcept override;
  AAX_Result AddProcessProc(IACFUnknown* properties, AAX_CTypeID* outProcIDs, int32_t outProcIDsSize) noexcept override;

private:
  std::mutex mState;
  AAX_CTypeID mNextProcID = 1;
};

class FakeEffectDescriptor final : public AAX_IACFEffectDescriptor_V2, public FakeObject {
public:
  FakeEffectDescriptor();
  QM_FAKE_UNKNOWN

  struct ProcPtr {
    void* proc;
    AAX_CProcPtrID id;
  };
  std::vector<std::string> Names() const;
  std::vector<uint32_t> Categories() const;
  std::vector<ProcPtr> ProcPtrs() const;
  // The property map last set (null when none or not one of ours).
  FakePropertyMap* Properties() const;

  AAX_Result AddComponent(IACFUnknown* componentDescriptor) noexcept override;
  AAX_Result AddName(const char* name) noexcept override;
  AAX_Result AddCategory(uint32_t category) noexcept override;
  AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID id) noexcept override;
  AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) noexcept override;
  AAX_Result SetProperties(IACFUnknown* properties) noexcept override;
  AAX_Result AddResourceInfo(AAX_EResourceType type, const char* info) noexcept override;
  AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* name, IACFUnknown* properties) noexcept override;
  AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, AAX_EMIDINodeType type, const char* name, uint32_t channelMask) noexcept override;

private:
  mutable std::mutex mState;
  std::vector<std::string> mNames;
  std::vector<uint32_t> mCategories;
  std::vector<ProcPtr> mProcPtrs;
  FakePropertyMap* mProperties = nullptr;
};

// The collection; queried for the plug-in definition, it answers itself.
class FakeCollection final : public AAX_IACFCollection, public IACFPluginDefinition, public FakeObject {
public:
  FakeCollection();
  QM_FAKE_UNKNOWN

  struct Effect {
    std::string id;
    FakeEffectDescriptor* descriptor;  // null when the plug-in passed something else
  };
  std::vector<Effect> Effects() const;
  std::string ManufacturerName() const;
  std::vector<std::string> PackageNames() const;
  uint32_t PackageVersion() const;

  AAX_Result ReservedSlot3() noexcept override { return AAX_ERROR_UNIMPLEMENTED; }
  AAX_Result ReservedSlot4() noexcept override { return AAX_ERROR_UNIMPLEMENTED; }
  AAX_Result ReservedSlot5() noexcept override { return AAX_ERROR_UNIMPLEMENTED; }
  AAX_Result ReservedSlot6() noexcept override { return AAX_ERROR_UNIMPLEMENTED; }
  AAX_Result AddEffect(const char* effectID, IACFUnknown* descriptor) noexcept override;
  AAX_Result SetManufacturerName(const char* name) noexcept override;
  AAX_Result AddPackageName(const char* name) noexcept override;
  AAX_Result SetPackageVersion(uint32_t version) noexcept override;
  AAX_Result SetProperties(IACFUnknown* properties) noexcept override;
  ACFRESULT GetAttributeInfo(const _acfUID& attributeID, _acfUID* typeID, acfUInt32* size) noexcept override;
  ACFRESULT CopyAttribute(const _acfUID& attributeID, const _acfUID& typeID, void* data, acfUInt32 size) noexcept override;

private:
  mutable std::mutex mState;
  std::vector<Effect> mEffects;
  std::string mManufacturer;
  std::vector<std::string> mPackageNames;
  uint32_t mPackageVersion = 0;
};

// Host attributes (client version, client level, ...), each a type identifier and bytes.
class FakeDefinition final : public IACFDefinition, public FakeObject {
public:
  FakeDefinition();
  QM_FAKE_UNKNOWN

  void SetAttribute(const _acfUID& attributeID, std::vector<uint8_t> bytes);
  void SetAttributeInt32(const _acfUID& attributeID, int32_t value);
  void RemoveAttribute(const _acfUID& attributeID);

  ACFRESULT ReservedSlot3() noexcept override { return AAX_ERROR_UNIMPLEMENTED; }
  ACFRESULT GetAttributeInfo(const _acfUID& attributeID, _acfUID* typeID, acfUInt32* size) noexcept override;
  ACFRESULT CopyAttribute(const _acfUID& attributeID, const _acfUID& typeID, void* data, acfUInt32 size) noexcept override;

private:
  mutable std::mutex mState;
  std::vector<std::pair<_acfUID, std::vector<uint8_t>>> mAttributes;
};

class FakeFeatureInfo final : public AAX_IACFFeatureInfo, public FakeObject {
public:
  FakeFeatureInfo(AAX_ESupportLevel level, FakePropertyMap* properties);
  QM_FAKE_UNKNOWN

  AAX_Result SupportLevel(AAX_ESupportLevel* level) noexcept override;
  // Hands out the property map without a reference: the host keeps it.
  AAX_Result AcquireProperties(IACFUnknown** out) noexcept override;

private:
  AAX_ESupportLevel mLevel;
  FakePropertyMap* mProperties;
};

// Answers feature queries from the features a test declares. The feature information is
// handed out without a reference (the host keeps it), matching the framework's wrappers,
// which take their own references and never release the returned pointer.
class FakeDescriptionHost final : public AAX_IACFDescriptionHost, public FakeObject {
public:
  // Makes (and keeps) a feature-information object for a declared feature.
  using FeatureMaker = std::function<FakeFeatureInfo*(AAX_ESupportLevel)>;
  explicit FakeDescriptionHost(FeatureMaker maker);
  QM_FAKE_UNKNOWN

  void SetFeature(const _acfUID& feature, AAX_ESupportLevel level);
  void RemoveFeature(const _acfUID& feature);

  AAX_Result AcquireFeatureProperties(const _acfUID& feature, IACFUnknown** out) noexcept override;

private:
  FeatureMaker mMaker;
  mutable std::mutex mState;
  std::vector<std::pair<_acfUID, AAX_ESupportLevel>> mFeatures;
};

}  // namespace qm::host
