// A component (algorithm) description (wrapper: AAX_VComponentDescriptor).
#pragma once

#include "AAX.h"
#include "AAX_IDma.h"

class AAX_IPropertyMap;

class AAX_IComponentDescriptor {
public:
  virtual ~AAX_IComponentDescriptor() = default;
  virtual AAX_Result Clear() = 0;
  virtual AAX_Result AddAudioIn(AAX_CFieldIndex field) = 0;
  virtual AAX_Result AddAudioOut(AAX_CFieldIndex field) = 0;
  virtual AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) = 0;
  virtual AAX_Result AddSampleRate(AAX_CFieldIndex field) = 0;
  virtual AAX_Result AddClock(AAX_CFieldIndex field) = 0;
  virtual AAX_Result AddSideChainIn(AAX_CFieldIndex field) = 0;
  virtual AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, AAX_EDataInPortType type) = 0;
  virtual AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) = 0;
  virtual AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) = 0;
  virtual AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) = 0;
  virtual AAX_Result AddDmaInstance(AAX_CFieldIndex field, AAX_IDma::EMode mode) = 0;
  virtual AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) = 0;
  virtual AAX_Result AddMIDINode(AAX_CFieldIndex field, AAX_EMIDINodeType type, const char* name, uint32_t channelMask) = 0;
  virtual AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) = 0;
  // Maps owned by this descriptor.
  virtual AAX_IPropertyMap* NewPropertyMap() const = 0;
  virtual AAX_IPropertyMap* DuplicatePropertyMap(AAX_IPropertyMap* source) const = 0;
  virtual AAX_Result AddProcessProc_Native(void* processProc, AAX_IPropertyMap* properties, void* instanceInitProc,
                                           void* backgroundProc, AAX_CTypeID* outProcID) = 0;
  virtual AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcName, AAX_IPropertyMap* properties,
                                       const char* instanceInitProcName, const char* backgroundProcName,
                                       AAX_CTypeID* outProcID) = 0;
  virtual AAX_Result AddProcessProc(AAX_IPropertyMap* properties, AAX_CTypeID* outProcIDs, int32_t outProcIDsSize) = 0;
};
