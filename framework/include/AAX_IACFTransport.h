// Host interface of the transport (tempo, positions, timeline selection), versions 1 to 5.
#pragma once

#include "AAX.h"
#include "IACFUnknown.h"

class AAX_IACFTransport : public IACFUnknown {
public:
  virtual AAX_Result GetCurrentTempo(double* bpm) noexcept = 0;                                       // 3
  virtual AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) noexcept = 0;          // 4
  virtual AAX_Result IsTransportPlaying(bool* playing) noexcept = 0;                                  // 5
  virtual AAX_Result GetCurrentTickPosition(int64_t* ticks) noexcept = 0;                             // 6
  virtual AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* loopStart, int64_t* loopEnd) noexcept = 0;  // 7
  virtual AAX_Result GetCurrentNativeSampleLocation(int64_t* location) noexcept = 0;                  // 8
  virtual AAX_Result GetCustomTickPosition(int64_t* ticks, int64_t sampleLocation) noexcept = 0;      // 9
  virtual AAX_Result GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t sampleLocation) noexcept = 0;  // 10
  virtual AAX_Result GetTicksPerQuarter(uint32_t* ticks) noexcept = 0;                                // 11
  virtual AAX_Result GetCurrentTicksPerBeat(uint32_t* ticks) noexcept = 0;                            // 12
};

class AAX_IACFTransport_V2 : public AAX_IACFTransport {
public:
  virtual AAX_Result GetTimelineSelectionStartPosition(int64_t* location) noexcept = 0;              // 13
  virtual AAX_Result GetTimeCodeInfo(AAX_EFrameRate* rate, int32_t* offset) noexcept = 0;             // 14
  virtual AAX_Result GetFeetFramesInfo(AAX_EFeetFramesRate* rate, int64_t* offset) noexcept = 0;      // 15
  virtual AAX_Result IsMetronomeEnabled(int32_t* enabled) noexcept = 0;                               // 16
};

class AAX_IACFTransport_V3 : public AAX_IACFTransport_V2 {
public:
  virtual AAX_Result GetHDTimeCodeInfo(AAX_EFrameRate* rate, int64_t* offset) noexcept = 0;           // 17
};

class AAX_IACFTransport_V4 : public AAX_IACFTransport_V3 {
public:
  virtual AAX_Result GetTimelineSelectionEndPosition(int64_t* location) noexcept = 0;                 // 18
};

class AAX_IACFTransport_V5 : public AAX_IACFTransport_V4 {
public:
  virtual AAX_Result GetKeySignature(int64_t sampleLocation, uint32_t* keySignature) noexcept = 0;    // 19
};
