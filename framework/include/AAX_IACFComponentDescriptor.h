// Host interface of a component (algorithm) description, versions 1 to 3.
#pragma once

#include "AAX.h"
#include "AAX_IDma.h"
#include "IACFUnknown.h"

class AAX_IACFComponentDescriptor : public IACFUnknown {
public:
  virtual AAX_Result Clear() noexcept = 0;                                                                    // 3
  virtual AAX_Result AddReservedField(AAX_CFieldIndex field, uint32_t fieldType) noexcept = 0;                // 4
  virtual AAX_Result AddAudioIn(AAX_CFieldIndex field) noexcept = 0;                                          // 5
  virtual AAX_Result AddAudioOut(AAX_CFieldIndex field) noexcept = 0;                                         // 6
  virtual AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) noexcept = 0;                                // 7
  virtual AAX_Result AddSampleRate(AAX_CFieldIndex field) noexcept = 0;                                       // 8
  virtual AAX_Result AddClock(AAX_CFieldIndex field) noexcept = 0;                                            // 9
  virtual AAX_Result AddSideChainIn(AAX_CFieldIndex field) noexcept = 0;                                      // 10
  virtual AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize, AAX_EDataInPortType type) noexcept = 0;  // 11
  virtual AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat, const char* name) noexcept = 0;       // 12
  virtual AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize, uint32_t options) noexcept = 0;           // 13
  virtual AAX_Result AddDmaInstance(AAX_CFieldIndex field, AAX_IDma::EMode mode) noexcept = 0;                         // 14
  virtual AAX_Result AddMIDINode(AAX_CFieldIndex field, AAX_EMIDINodeType type, const char* name, uint32_t channelMask) noexcept = 0;  // 15
  virtual AAX_Result AddProcessProc_Native(void* processProc, IACFUnknown* properties, void* instanceInitProc,
                                           void* backgroundProc, AAX_CTypeID* outProcID) noexcept = 0;                 // 16
  virtual AAX_Result AddProcessProc_TI(const char* dllFileName, const char* processProcName, IACFUnknown* properties,
                                       const char* instanceInitProcName, const char* backgroundProcName,
                                       AAX_CTypeID* outProcID) noexcept = 0;                                           // 17
  virtual AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs, uint32_t meterCount) noexcept = 0;  // 18
};

class AAX_IACFComponentDescriptor_V2 : public AAX_IACFComponentDescriptor {
public:
  virtual AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataElementSize) noexcept = 0;                   // 19
};

class AAX_IACFComponentDescriptor_V3 : public AAX_IACFComponentDescriptor_V2 {
public:
  virtual AAX_Result AddProcessProc(IACFUnknown* properties, AAX_CTypeID* outProcIDs, int32_t outProcIDsSize) noexcept = 0;  // 20
};
