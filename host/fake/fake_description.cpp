#include "qm/host/fake_description.h"

#include "AAX_UIDs.h"
#include "fake_entry.h"

#include <cstring>

namespace qm::host {

namespace {
std::string Text(const char* text) { return text ? text : ""; }
}  // namespace

// ---- property map ----

FakePropertyMap::FakePropertyMap() : FakeObject("property map") {
  auto* map = static_cast<AAX_IACFPropertyMap_V3*>(this);
  OfferVersions(map, {IID_IAAXPropertyMapV1, IID_IAAXPropertyMapV2, IID_IAAXPropertyMapV3});
}

std::map<int32_t, int32_t> FakePropertyMap::Values() const {
  std::lock_guard<std::mutex> guard(mState);
  return mValues;
}
std::map<int32_t, const void*> FakePropertyMap::Pointers() const {
  std::lock_guard<std::mutex> guard(mState);
  return mPointers;
}
std::optional<int32_t> FakePropertyMap::Value(int32_t id) const {
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mValues.find(id);
  if (found == mValues.end()) return std::nullopt;
  return found->second;
}

int32_t FakePropertyMap::GetProperty(AAX_EProperty id, AAX_CPropertyValue* value) noexcept {
  Record("GetProperty");
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mValues.find(id);
  if (found == mValues.end()) return 0;
  if (value) *value = found->second;
  return 1;
}
AAX_Result FakePropertyMap::AddProperty(AAX_EProperty id, AAX_CPropertyValue value) noexcept {
  QM_FAKE_ENTER("AddProperty");
  std::lock_guard<std::mutex> guard(mState);
  mValues[id] = value;
  return 0;
}
AAX_Result FakePropertyMap::RemoveProperty(AAX_EProperty id) noexcept {
  QM_FAKE_ENTER("RemoveProperty");
  std::lock_guard<std::mutex> guard(mState);
  mValues.erase(id);
  mPointers.erase(id);
  return 0;
}
AAX_Result FakePropertyMap::AddPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad* ids,
                                                   uint32_t count) noexcept {
  QM_FAKE_ENTER("AddPropertyWithIDArray");
  if (count > 0 && !ids) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  mIdArrays[id] = std::vector<AAX_SPlugInIdentifierTriad>(ids, ids + count);
  return 0;
}
int32_t FakePropertyMap::GetPropertyWithIDArray(AAX_EProperty id, const AAX_SPlugInIdentifierTriad** ids,
                                                uint32_t* count) noexcept {
  Record("GetPropertyWithIDArray");
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mIdArrays.find(id);
  if (found == mIdArrays.end()) return 0;
  if (ids) *ids = found->second.data();
  if (count) *count = static_cast<uint32_t>(found->second.size());
  return 1;
}
int32_t FakePropertyMap::GetPointerProperty(AAX_EProperty id, const void** value) noexcept {
  Record("GetPointerProperty");
  std::lock_guard<std::mutex> guard(mState);
  const auto found = mPointers.find(id);
  if (found == mPointers.end()) return 0;
  if (value) *value = found->second;
  return 1;
}
AAX_Result FakePropertyMap::AddPointerProperty(AAX_EProperty id, const void* value) noexcept {
  QM_FAKE_ENTER("AddPointerProperty");
  std::lock_guard<std::mutex> guard(mState);
  mPointers[id] = value;
  return 0;
}

// ---- component descriptor ----

FakeComponentDescriptor::FakeComponentDescriptor() : FakeObject("component descriptor") {
  auto* descriptor = static_cast<AAX_IACFComponentDescriptor_V3*>(this);
  OfferVersions(descriptor, {IID_IAAXComponentDescriptorV1, IID_IAAXComponentDescriptorV2, IID_IAAXComponentDescriptorV3});
}

#define QM_FAKE_RECORD_ONLY(signature, name) \
  AAX_Result FakeComponentDescriptor::signature noexcept { \
    QM_FAKE_ENTER(name);                     \
    return 0;                                \
  }
QM_FAKE_RECORD_ONLY(Clear(), "Clear")
QM_FAKE_RECORD_ONLY(AddReservedField(AAX_CFieldIndex, uint32_t), "AddReservedField")
QM_FAKE_RECORD_ONLY(AddAudioIn(AAX_CFieldIndex), "AddAudioIn")
QM_FAKE_RECORD_ONLY(AddAudioOut(AAX_CFieldIndex), "AddAudioOut")
QM_FAKE_RECORD_ONLY(AddAudioBufferLength(AAX_CFieldIndex), "AddAudioBufferLength")
QM_FAKE_RECORD_ONLY(AddSampleRate(AAX_CFieldIndex), "AddSampleRate")
QM_FAKE_RECORD_ONLY(AddClock(AAX_CFieldIndex), "AddClock")
QM_FAKE_RECORD_ONLY(AddSideChainIn(AAX_CFieldIndex), "AddSideChainIn")
QM_FAKE_RECORD_ONLY(AddDataInPort(AAX_CFieldIndex, uint32_t, AAX_EDataInPortType), "AddDataInPort")
QM_FAKE_RECORD_ONLY(AddAuxOutputStem(AAX_CFieldIndex, int32_t, const char*), "AddAuxOutputStem")
QM_FAKE_RECORD_ONLY(AddPrivateData(AAX_CFieldIndex, int32_t, uint32_t), "AddPrivateData")
QM_FAKE_RECORD_ONLY(AddDmaInstance(AAX_CFieldIndex, AAX_IDma::EMode), "AddDmaInstance")
QM_FAKE_RECORD_ONLY(AddMIDINode(AAX_CFieldIndex, AAX_EMIDINodeType, const char*, uint32_t), "AddMIDINode")
QM_FAKE_RECORD_ONLY(AddMeters(AAX_CFieldIndex, const AAX_CTypeID*, uint32_t), "AddMeters")
QM_FAKE_RECORD_ONLY(AddTemporaryData(AAX_CFieldIndex, uint32_t), "AddTemporaryData")

AAX_Result FakeComponentDescriptor::AddProcessProc_Native(void*, IACFUnknown*, void*, void*, AAX_CTypeID* outProcID) noexcept {
  QM_FAKE_ENTER("AddProcessProc_Native");
  std::lock_guard<std::mutex> guard(mState);
  if (outProcID) *outProcID = mNextProcID;
  ++mNextProcID;
  return 0;
}
AAX_Result FakeComponentDescriptor::AddProcessProc_TI(const char*, const char*, IACFUnknown*, const char*, const char*,
                                                      AAX_CTypeID* outProcID) noexcept {
  QM_FAKE_ENTER("AddProcessProc_TI");
  std::lock_guard<std::mutex> guard(mState);
  if (outProcID) *outProcID = mNextProcID;
  ++mNextProcID;
  return 0;
}
AAX_Result FakeComponentDescriptor::AddProcessProc(IACFUnknown*, AAX_CTypeID* outProcIDs, int32_t outProcIDsSize) noexcept {
  QM_FAKE_ENTER("AddProcessProc");
  std::lock_guard<std::mutex> guard(mState);
  if (outProcIDs && outProcIDsSize >= 2) {
    outProcIDs[0] = mNextProcID++;
    outProcIDs[1] = 0;
  } else if (outProcIDs) {
    return AAX_ERROR_ARGUMENT_BUFFER_OVERFLOW;
  }
  return 0;
}

// ---- effect descriptor ----

FakeEffectDescriptor::FakeEffectDescriptor() : FakeObject("effect descriptor") {
  auto* descriptor = static_cast<AAX_IACFEffectDescriptor_V2*>(this);
  OfferVersions(descriptor, {IID_IAAXEffectDescriptorV1, IID_IAAXEffectDescriptorV2});
}

std::vector<std::string> FakeEffectDescriptor::Names() const {
  std::lock_guard<std::mutex> guard(mState);
  return mNames;
}
std::vector<uint32_t> FakeEffectDescriptor::Categories() const {
  std::lock_guard<std::mutex> guard(mState);
  return mCategories;
}
std::vector<FakeEffectDescriptor::ProcPtr> FakeEffectDescriptor::ProcPtrs() const {
  std::lock_guard<std::mutex> guard(mState);
  return mProcPtrs;
}
FakePropertyMap* FakeEffectDescriptor::Properties() const {
  std::lock_guard<std::mutex> guard(mState);
  return mProperties;
}

AAX_Result FakeEffectDescriptor::AddComponent(IACFUnknown* componentDescriptor) noexcept {
  QM_FAKE_ENTER("AddComponent");
  return componentDescriptor ? 0 : AAX_ERROR_NULL_COMPONENT;
}
AAX_Result FakeEffectDescriptor::AddName(const char* name) noexcept {
  QM_FAKE_ENTER("AddName");
  if (!name) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  mNames.emplace_back(name);
  return 0;
}
AAX_Result FakeEffectDescriptor::AddCategory(uint32_t category) noexcept {
  QM_FAKE_ENTER("AddCategory");
  std::lock_guard<std::mutex> guard(mState);
  mCategories.push_back(category);
  return 0;
}
AAX_Result FakeEffectDescriptor::AddCategoryBypassParameter(uint32_t, AAX_CParamID) noexcept {
  QM_FAKE_ENTER("AddCategoryBypassParameter");
  return 0;
}
AAX_Result FakeEffectDescriptor::AddProcPtr(void* procPtr, AAX_CProcPtrID procID) noexcept {
  QM_FAKE_ENTER("AddProcPtr");
  if (!procPtr) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  mProcPtrs.push_back(ProcPtr{procPtr, procID});
  return 0;
}
AAX_Result FakeEffectDescriptor::SetProperties(IACFUnknown* properties) noexcept {
  QM_FAKE_ENTER("SetProperties");
  if (!properties) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  mProperties = dynamic_cast<FakePropertyMap*>(properties);
  return 0;
}
AAX_Result FakeEffectDescriptor::AddResourceInfo(AAX_EResourceType, const char*) noexcept {
  QM_FAKE_ENTER("AddResourceInfo");
  return 0;
}
AAX_Result FakeEffectDescriptor::AddMeterDescription(AAX_CTypeID, const char*, IACFUnknown*) noexcept {
  QM_FAKE_ENTER("AddMeterDescription");
  return 0;
}
AAX_Result FakeEffectDescriptor::AddControlMIDINode(AAX_CTypeID, AAX_EMIDINodeType, const char*, uint32_t) noexcept {
  QM_FAKE_ENTER("AddControlMIDINode");
  return 0;
}

// ---- collection ----

FakeCollection::FakeCollection() : FakeObject("collection") {
  Offer(IID_IAAXCollectionV1, static_cast<AAX_IACFCollection*>(this), 1);
  Offer(IID_IACFPluginDefinition, static_cast<IACFPluginDefinition*>(this), 1);
  Offer(IID_IACFUnknown, static_cast<AAX_IACFCollection*>(this), 1);
}

std::vector<FakeCollection::Effect> FakeCollection::Effects() const {
  std::lock_guard<std::mutex> guard(mState);
  return mEffects;
}
std::string FakeCollection::ManufacturerName() const {
  std::lock_guard<std::mutex> guard(mState);
  return mManufacturer;
}
std::vector<std::string> FakeCollection::PackageNames() const {
  std::lock_guard<std::mutex> guard(mState);
  return mPackageNames;
}
uint32_t FakeCollection::PackageVersion() const {
  std::lock_guard<std::mutex> guard(mState);
  return mPackageVersion;
}

AAX_Result FakeCollection::AddEffect(const char* effectID, IACFUnknown* descriptor) noexcept {
  QM_FAKE_ENTER("AddEffect");
  if (!effectID || !*effectID) return AAX_ERROR_EMPTY_EFFECT_NAME;
  if (!descriptor) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  for (const Effect& effect : mEffects) {
    if (effect.id == effectID) return AAX_ERROR_DUPLICATE_EFFECT_ID;
  }
  mEffects.push_back(Effect{effectID, dynamic_cast<FakeEffectDescriptor*>(descriptor)});
  return 0;
}
AAX_Result FakeCollection::SetManufacturerName(const char* name) noexcept {
  QM_FAKE_ENTER("SetManufacturerName");
  std::lock_guard<std::mutex> guard(mState);
  mManufacturer = Text(name);
  return 0;
}
AAX_Result FakeCollection::AddPackageName(const char* name) noexcept {
  QM_FAKE_ENTER("AddPackageName");
  std::lock_guard<std::mutex> guard(mState);
  mPackageNames.push_back(Text(name));
  return 0;
}
AAX_Result FakeCollection::SetPackageVersion(uint32_t version) noexcept {
  QM_FAKE_ENTER("SetPackageVersion");
  std::lock_guard<std::mutex> guard(mState);
  mPackageVersion = version;
  return 0;
}
AAX_Result FakeCollection::SetProperties(IACFUnknown*) noexcept {
  QM_FAKE_ENTER("SetProperties");
  return 0;
}
ACFRESULT FakeCollection::GetAttributeInfo(const _acfUID&, _acfUID*, acfUInt32*) noexcept {
  QM_FAKE_ENTER("GetAttributeInfo");
  return AAX_ERROR_UNKNOWN_ID;
}
ACFRESULT FakeCollection::CopyAttribute(const _acfUID&, const _acfUID&, void*, acfUInt32) noexcept {
  QM_FAKE_ENTER("CopyAttribute");
  return AAX_ERROR_UNKNOWN_ID;
}

// ---- definition ----

FakeDefinition::FakeDefinition() : FakeObject("definition") {
  Offer(IID_IACFDefinition, static_cast<IACFDefinition*>(this), 1);
}

void FakeDefinition::SetAttribute(const _acfUID& attributeID, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> guard(mState);
  for (auto& attribute : mAttributes) {
    if (attribute.first == attributeID) {
      attribute.second = std::move(bytes);
      return;
    }
  }
  mAttributes.emplace_back(attributeID, std::move(bytes));
}
void FakeDefinition::SetAttributeInt32(const _acfUID& attributeID, int32_t value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  SetAttribute(attributeID, std::move(bytes));
}
void FakeDefinition::RemoveAttribute(const _acfUID& attributeID) {
  std::lock_guard<std::mutex> guard(mState);
  for (auto it = mAttributes.begin(); it != mAttributes.end(); ++it) {
    if (it->first == attributeID) {
      mAttributes.erase(it);
      return;
    }
  }
}

// Every attribute is typed with its own identifier.
ACFRESULT FakeDefinition::GetAttributeInfo(const _acfUID& attributeID, _acfUID* typeID, acfUInt32* size) noexcept {
  QM_FAKE_ENTER("GetAttributeInfo");
  if (!typeID || !size) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  for (const auto& attribute : mAttributes) {
    if (attribute.first == attributeID) {
      *typeID = attributeID;
      *size = static_cast<acfUInt32>(attribute.second.size());
      return 0;
    }
  }
  return AAX_ERROR_UNKNOWN_ID;
}
ACFRESULT FakeDefinition::CopyAttribute(const _acfUID& attributeID, const _acfUID& typeID, void* data, acfUInt32 size) noexcept {
  QM_FAKE_ENTER("CopyAttribute");
  if (!data) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> guard(mState);
  for (const auto& attribute : mAttributes) {
    if (attribute.first != attributeID) continue;
    if (typeID != attributeID || size != attribute.second.size()) return AAX_ERROR_INVALID_ARGUMENT;
    if (size > 0) std::memcpy(data, attribute.second.data(), size);
    return 0;
  }
  return AAX_ERROR_UNKNOWN_ID;
}

// ---- feature information ----

FakeFeatureInfo::FakeFeatureInfo(AAX_ESupportLevel level, FakePropertyMap* properties)
    : FakeObject("feature info"), mLevel(level), mProperties(properties) {
  Offer(IID_IAAXFeatureInfoV1, static_cast<AAX_IACFFeatureInfo*>(this), 1);
}

AAX_Result FakeFeatureInfo::SupportLevel(AAX_ESupportLevel* level) noexcept {
  QM_FAKE_ENTER("SupportLevel");
  if (!level) return AAX_ERROR_NULL_ARGUMENT;
  *level = mLevel;
  return 0;
}
AAX_Result FakeFeatureInfo::AcquireProperties(IACFUnknown** out) noexcept {
  QM_FAKE_ENTER("AcquireProperties");
  if (!out) return AAX_ERROR_NULL_ARGUMENT;
  *out = mProperties ? static_cast<AAX_IACFPropertyMap_V3*>(mProperties) : nullptr;
  return mProperties ? 0 : AAX_ERROR_NULL_OBJECT;
}

FakeDescriptionHost::FakeDescriptionHost(FeatureMaker maker) : FakeObject("description host"), mMaker(std::move(maker)) {
  Offer(IID_IAAXDescriptionHostV1, static_cast<AAX_IACFDescriptionHost*>(this), 1);
}

void FakeDescriptionHost::SetFeature(const _acfUID& feature, AAX_ESupportLevel level) {
  std::lock_guard<std::mutex> guard(mState);
  for (auto& entry : mFeatures) {
    if (entry.first == feature) {
      entry.second = level;
      return;
    }
  }
  mFeatures.emplace_back(feature, level);
}
void FakeDescriptionHost::RemoveFeature(const _acfUID& feature) {
  std::lock_guard<std::mutex> guard(mState);
  for (auto it = mFeatures.begin(); it != mFeatures.end(); ++it) {
    if (it->first == feature) {
      mFeatures.erase(it);
      return;
    }
  }
}

AAX_Result FakeDescriptionHost::AcquireFeatureProperties(const _acfUID& feature, IACFUnknown** out) noexcept {
  QM_FAKE_ENTER("AcquireFeatureProperties");
  if (!out) return AAX_ERROR_NULL_ARGUMENT;
  *out = nullptr;
  AAX_ESupportLevel level = AAX_eSupportLevel_Uninitialized;
  bool known = false;
  {
    std::lock_guard<std::mutex> guard(mState);
    for (const auto& entry : mFeatures) {
      if (entry.first == feature) {
        level = entry.second;
        known = true;
      }
    }
  }
  if (!known || !mMaker) return AAX_ERROR_UNKNOWN_ID;
  FakeFeatureInfo* info = mMaker(level);
  if (!info) return AAX_ERROR_NULL_OBJECT;
  *out = static_cast<AAX_IACFFeatureInfo*>(info);
  return 0;
}

}  // namespace qm::host
