// Basic types shared by every interface between the host and the plug-in.
#pragma once

#include <cstdint>

typedef int32_t AAX_Result;      // result code, see AAX_Errors.h
typedef uint32_t AAX_CTypeID;    // four-character code
typedef const char* AAX_CParamID; // parameter identifier (NUL-terminated)
typedef const char* AAX_CEffectID;
typedef int32_t AAX_CProcPtrID;  // creation-function kind, below
typedef int32_t AAX_CPropertyValue;
typedef int32_t AAX_CFieldIndex;
typedef uint32_t AAX_CTimestamp;

// The kinds of creation function a description registers.
enum AAX_EProcPtrID : AAX_CProcPtrID {
  AAX_eProcPtrID_EffectParameters = 0,
  AAX_eProcPtrID_EffectGUI = 1,
  AAX_eProcPtrID_HostProcessor = 3,
};

// Value enumerations the host defines. Only the values this code names are listed;
// every other value passes through unchanged as a 32-bit number.
enum AAX_EParameterType : int32_t { AAX_eParameterType_Discrete = 0, AAX_eParameterType_Continuous = 1 };
enum AAX_EUpdateSource : int32_t { AAX_eUpdateSource_Unspecified = 0 };
enum AAX_EStemFormat : int32_t { AAX_eStemFormat_None = 0 };
enum AAX_EPlugInStrings : int32_t { AAX_ePlugInStrings_Analysis = 0, AAX_ePlugInStrings_Process = 9 };
enum AAX_EHighlightColor : int32_t { AAX_eHighlightColor_Red = 0 };
enum AAX_ESupportLevel : int32_t { AAX_eSupportLevel_Uninitialized = 0 };
enum AAX_ETextEncoding : int32_t { AAX_eTextEncoding_UTF8 = 0 };
enum AAX_EFrameRate : int32_t { AAX_eFrameRate_Undeclared = 0 };
enum AAX_EFeetFramesRate : int32_t { AAX_eFeetFramesRate_23976 = 0 };
enum AAX_EResourceType : int32_t { AAX_eResourceType_None = 0 };
enum AAX_EMIDINodeType : int32_t { AAX_eMIDINodeType_LocalInput = 0 };
enum AAX_EDataInPortType : int32_t { AAX_eDataInPortType_Unbuffered = 0 };
enum AAX_EProperty : int32_t {
  AAX_eProperty_NativeProcessProc = 36,
  AAX_eProperty_NativeInstanceInitProc = 37,
  AAX_eProperty_NativeBackgroundProc = 38,
  AAX_eProperty_TIDLLFileName = 39,
  AAX_eProperty_TIProcessProc = 40,
  AAX_eProperty_TIInstanceInitProcName = 41,
  AAX_eProperty_TIBackgroundProcName = 42,
};

// Trace priorities passed to the host unchanged.
enum AAX_ETracePriorityHost : int32_t {
  AAX_eTracePriorityHost_Critical = 0x10000000,
  AAX_eTracePriorityHost_High = 0x08000000,
  AAX_eTracePriorityHost_Normal = 0x04000000,
};

// A point of the host's view geometry: first the vertical, then the horizontal extent.
struct AAX_Point {
  float vert = 0.0f;
  float horz = 0.0f;
};

struct AAX_Rect {
  float top = 0.0f;
  float left = 0.0f;
  float width = 0.0f;
  float height = 0.0f;
};

struct AAX_CMidiPacket {
  uint32_t mTimestamp = 0;
  uint32_t mLength = 0;
  uint8_t mData[4] = {0, 0, 0, 0};
  bool mIsImmediate = false;
};

struct AAX_SHybridRenderInfo {
  float** mAudioInputs = nullptr;
  int32_t* mNumAudioInputs = nullptr;
  float** mAudioOutputs = nullptr;
  int32_t* mNumAudioOutputs = nullptr;
  int32_t* mNumSamples = nullptr;
  int64_t* mClock = nullptr;
};

struct AAX_SPlugInIdentifierTriad {
  AAX_CTypeID mManufacturerID = 0;
  AAX_CTypeID mProductID = 0;
  AAX_CTypeID mPlugInID = 0;
};

// The saved-state chunk record; defined with its parser.
struct AAX_SPlugInChunk;
