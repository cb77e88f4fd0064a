// Host interface of one effect's description, versions 1 and 2.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFEffectDescriptor : public IACFUnknown {
public:
  virtual AAX_Result AddComponent(IACFUnknown* componentDescriptor) noexcept = 0;                            // 3
  virtual AAX_Result AddName(const char* name) noexcept = 0;                                                 // 4
  virtual AAX_Result AddCategory(uint32_t category) noexcept = 0;                                            // 5
  virtual AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID id) noexcept = 0;            // 6
  virtual AAX_Result AddProcPtr(void* procPtr, AAX_CProcPtrID procID) noexcept = 0;                          // 7
  virtual AAX_Result SetProperties(IACFUnknown* properties) noexcept = 0;                                    // 8
  virtual AAX_Result AddResourceInfo(AAX_EResourceType type, const char* info) noexcept = 0;                 // 9
  virtual AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* name, IACFUnknown* properties) noexcept = 0;  // 10
};

class AAX_IACFEffectDescriptor_V2 : public AAX_IACFEffectDescriptor {
public:
  virtual AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, AAX_EMIDINodeType type, const char* name, uint32_t channelMask) noexcept = 0;  // 11
};
