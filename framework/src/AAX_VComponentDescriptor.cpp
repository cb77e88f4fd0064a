#include "AAX_VComponentDescriptor.h"

#include "AAX_CHostServices.h"
#include "AAX_VPropertyMap.h"
#include "AAX_VersionedCall.h"
#include "IACFComponentFactory.h"

#include <cstddef>
#include <vector>

using qm::framework::QueryInto;

namespace {
IACFUnknown* HostMap(AAX_IPropertyMap* map) { return map ? map->GetIUnknown() : nullptr; }

constexpr AAX_EProperty kNativeProc = static_cast<AAX_EProperty>(13);
constexpr AAX_EProperty kNativeProcAlternative = static_cast<AAX_EProperty>(14);
constexpr AAX_EProperty kTIProc = static_cast<AAX_EProperty>(15);
constexpr AAX_EProperty kNativeAudioBufferLength = static_cast<AAX_EProperty>(54);
}  // namespace

AAX_VComponentDescriptor::AAX_VComponentDescriptor(IACFUnknown* host) : mHostUnknown(host) {
  if (!host) return;
  ACFPtr<IACFComponentFactory> factory;
  if (host->QueryInterface(IID_IACFComponentFactory, reinterpret_cast<void**>(&factory)) != 0 || !factory) return;
  factory->CreateComponent(AAXCompID_AAXComponentDescriptor, nullptr, IID_IAAXComponentDescriptorV1,
                           reinterpret_cast<void**>(&mIComponentDescriptor));
  if (!mIComponentDescriptor) return;
  QueryInto(mIComponentDescriptor, IID_IAAXComponentDescriptorV2, mIComponentDescriptorV2);
  QueryInto(mIComponentDescriptor, IID_IAAXComponentDescriptorV3, mIComponentDescriptorV3);
}

AAX_VComponentDescriptor::~AAX_VComponentDescriptor() {
  for (AAX_IPropertyMap* map : mPropertyMaps) delete map;
  mPropertyMaps.clear();
}

const std::set<AAX_EProperty>& AAX_VComponentDescriptor::PointerPropertiesUsedByAddProcessProc() {
  static const std::set<AAX_EProperty> kProperties = {
      AAX_eProperty_NativeProcessProc, AAX_eProperty_NativeInstanceInitProc, AAX_eProperty_NativeBackgroundProc,
      AAX_eProperty_TIDLLFileName,     AAX_eProperty_TIProcessProc,          AAX_eProperty_TIInstanceInitProcName,
      AAX_eProperty_TIBackgroundProcName};
  return kProperties;
}

AAX_Result AAX_VComponentDescriptor::Clear() { QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, Clear()); }
AAX_Result AAX_VComponentDescriptor::AddAudioIn(AAX_CFieldIndex field) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddAudioIn(field));
}
AAX_Result AAX_VComponentDescriptor::AddAudioOut(AAX_CFieldIndex field) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddAudioOut(field));
}
AAX_Result AAX_VComponentDescriptor::AddAudioBufferLength(AAX_CFieldIndex field) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddAudioBufferLength(field));
}
AAX_Result AAX_VComponentDescriptor::AddSampleRate(AAX_CFieldIndex field) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddSampleRate(field));
}
AAX_Result AAX_VComponentDescriptor::AddClock(AAX_CFieldIndex field) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddClock(field));
}
AAX_Result AAX_VComponentDescriptor::AddSideChainIn(AAX_CFieldIndex field) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddSideChainIn(field));
}
AAX_Result AAX_VComponentDescriptor::AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, AAX_EDataInPortType type) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddDataInPort(field, packetSize, type));
}
AAX_Result AAX_VComponentDescriptor::AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddAuxOutputStem(field, stemFormat, name));
}
AAX_Result AAX_VComponentDescriptor::AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddPrivateData(field, dataSize, options));
}
AAX_Result AAX_VComponentDescriptor::AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) {
  QM_CALL(mIComponentDescriptorV2, AAX_ERROR_UNIMPLEMENTED, AddTemporaryData(field, dataElementSize));
}
AAX_Result AAX_VComponentDescriptor::AddDmaInstance(AAX_CFieldIndex field, AAX_IDma::EMode mode) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddDmaInstance(field, mode));
}
AAX_Result AAX_VComponentDescriptor::AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddMeters(field, meterIDs, meterCount));
}
AAX_Result AAX_VComponentDescriptor::AddMIDINode(AAX_CFieldIndex field, AAX_EMIDINodeType type, const char* name,
                                                 uint32_t channelMask) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddMIDINode(field, type, name, channelMask));
}
AAX_Result AAX_VComponentDescriptor::AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT, AddReservedField(field, fieldType));
}

AAX_IPropertyMap* AAX_VComponentDescriptor::NewPropertyMap() const {
  AAX_IPropertyMap* map = AAX_VPropertyMap::Create(mHostUnknown);
  mPropertyMaps.insert(map);
  return map;
}

AAX_IPropertyMap* AAX_VComponentDescriptor::DuplicatePropertyMap(AAX_IPropertyMap* source) const {
  AAX_IPropertyMap* copy = NewPropertyMap();
  if (!copy || !source) return copy;
  for (int32_t id = 10; id <= 401; ++id) {
    const auto property = static_cast<AAX_EProperty>(id);
    AAX_CPropertyValue value = 0;
    const void* pointer = nullptr;
    if (source->GetProperty(property, &value)) {
      copy->AddProperty(property, value);
    } else if (source->GetPointerProperty(property, &pointer)) {
      copy->AddPointerProperty(property, pointer);
    }
  }
  return copy;
}

AAX_Result AAX_VComponentDescriptor::AddProcessProc_Native(void* processProc, AAX_IPropertyMap* properties,
                                                           void* instanceInitProc, void* backgroundProc,
                                                           AAX_CTypeID* outProcID) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT,
          AddProcessProc_Native(processProc, HostMap(properties), instanceInitProc, backgroundProc, outProcID));
}

AAX_Result AAX_VComponentDescriptor::AddProcessProc_TI(const char* dllFileName, const char* processProcName,
                                                       AAX_IPropertyMap* properties, const char* instanceInitProcName,
                                                       const char* backgroundProcName, AAX_CTypeID* outProcID) {
  QM_CALL(mIComponentDescriptor, AAX_ERROR_NULL_OBJECT,
          AddProcessProc_TI(dllFileName, processProcName, HostMap(properties), instanceInitProcName, backgroundProcName,
                            outProcID));
}

AAX_Result AAX_VComponentDescriptor::AddProcessProc(AAX_IPropertyMap* properties, AAX_CTypeID* outProcIDs,
                                                    int32_t outProcIDsSize) {
  if (mIComponentDescriptorV3) {
    return mIComponentDescriptorV3->AddProcessProc(HostMap(properties), outProcIDs, outProcIDsSize);
  }
  if (mIComponentDescriptor && properties) return AddProcessProcsOneByOne(properties, outProcIDs, outProcIDsSize);
  return AAX_ERROR_NULL_OBJECT;
}

// For hosts without the third version: the native procedures, then the TI procedures.
AAX_Result AAX_VComponentDescriptor::AddProcessProcsOneByOne(AAX_IPropertyMap* properties, AAX_CTypeID* outProcIDs,
                                                             int32_t outProcIDsSize) {
  std::vector<AAX_CTypeID> registered;
  AAX_Result result = 0;
  AAX_CPropertyValue unused = 0;
  const bool native = properties->GetProperty(kNativeProc, &unused) || properties->GetProperty(kNativeProcAlternative, &unused);
  const bool ti = properties->GetProperty(kTIProc, &unused);

  if (native) {
    const void* processProc = nullptr;
    const void* initProc = nullptr;
    const void* backgroundProc = nullptr;
    if (!properties->GetPointerProperty(AAX_eProperty_NativeProcessProc, &processProc)) {
      AAX_CHostServices::Trace(AAX_eTracePriorityHost_High,
                               "AAX_VComponentDescriptor: ManuallyAddProcessProcs() - no value found for AAX_eProperty_NativeProcessProc");
    }
    properties->GetPointerProperty(AAX_eProperty_NativeInstanceInitProc, &initProc);
    properties->GetPointerProperty(AAX_eProperty_NativeBackgroundProc, &backgroundProc);
    AAX_IPropertyMap* used = properties;
    AAX_CPropertyValue bufferLength = 0;
    if (properties->GetProperty(kNativeAudioBufferLength, &bufferLength)) {
      // The host takes the buffer length from the component, not from this map.
      AAX_IPropertyMap* copy = DuplicatePropertyMap(properties);
      if (copy) {
        const bool gotPropertySuccess = copy->GetProperty(kNativeAudioBufferLength, &bufferLength);
        if (!gotPropertySuccess) AAX_CHostServices::HandleAssertFailure(__FILE__, 100, "0 != gotPropertySuccess", 1);
        const AAX_Result removeNativeAudioBufferLengthResult = copy->RemoveProperty(kNativeAudioBufferLength);
        if (removeNativeAudioBufferLengthResult != AAX_SUCCESS) {
          AAX_CHostServices::HandleAssertFailure(__FILE__, 104, "AAX_SUCCESS == removeNativeAudioBufferLengthResult", 1);
        }
        used = copy;
      }
    }
    AAX_CTypeID id = 0;
    result = AddProcessProc_Native(const_cast<void*>(processProc), used, const_cast<void*>(initProc),
                                   const_cast<void*>(backgroundProc), &id);
    if (result == 0) registered.push_back(id);
  }

  if (result == 0 && ti) {
    const void* dllFileName = nullptr;
    const void* processProcName = nullptr;
    const void* initProcName = nullptr;
    const void* backgroundProcName = nullptr;
    if (!properties->GetPointerProperty(AAX_eProperty_TIDLLFileName, &dllFileName)) {
      AAX_CHostServices::Trace(AAX_eTracePriorityHost_High,
                               "AAX_VComponentDescriptor: ManuallyAddProcessProcs() - no value found for AAX_eProperty_TIDLLFileName");
    }
    if (!properties->GetPointerProperty(AAX_eProperty_TIProcessProc, &processProcName)) {
      AAX_CHostServices::Trace(AAX_eTracePriorityHost_High,
                               "AAX_VComponentDescriptor: ManuallyAddProcessProcs() - no value found for AAX_eProperty_TIProcessProc");
    }
    properties->GetPointerProperty(AAX_eProperty_TIInstanceInitProcName, &initProcName);
    properties->GetPointerProperty(AAX_eProperty_TIBackgroundProcName, &backgroundProcName);
    AAX_CTypeID id = 0;
    result = AddProcessProc_TI(static_cast<const char*>(dllFileName), static_cast<const char*>(processProcName), properties,
                               static_cast<const char*>(initProcName), static_cast<const char*>(backgroundProcName), &id);
    if (result == 0) registered.push_back(id);
  }

  if (result != 0) return result;
  if (!outProcIDs) return result;
  // Room for every identifier and the terminating 0; a negative size means no room.
  if (static_cast<int64_t>(registered.size()) >= static_cast<int64_t>(outProcIDsSize)) return AAX_ERROR_ARGUMENT_BUFFER_OVERFLOW;
  for (std::size_t i = 0; i < registered.size(); ++i) outProcIDs[i] = registered[i];
  outProcIDs[registered.size()] = 0;
  return 0;
}
