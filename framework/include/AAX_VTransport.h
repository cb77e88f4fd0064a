// Versioned wrapper of the host transport. The selection start needs the host's second
// version, the selection end its fourth.
#pragma once

#include "AAX_ITransport.h"
#include "AAX_IACFTransport.h"
#include "AAX_IACFTransportControl.h"
#include "ACFPtr.h"

class AAX_VTransport : public AAX_ITransport {
public:
  explicit AAX_VTransport(IACFUnknown* host);
  ~AAX_VTransport() override;
  AAX_VTransport(const AAX_VTransport&) = delete;
  AAX_VTransport& operator=(const AAX_VTransport&) = delete;

  // [any-thread] as far as the host allows; none of these throws.
  AAX_Result GetCurrentTempo(double* bpm) const override;
  AAX_Result GetCurrentMeter(int32_t* numerator, int32_t* denominator) const override;
  AAX_Result IsTransportPlaying(bool* playing) const override;
  AAX_Result GetCurrentTickPosition(int64_t* ticks) const override;
  AAX_Result GetCurrentLoopPosition(bool* looping, int64_t* loopStart, int64_t* loopEnd) const override;
  AAX_Result GetCurrentNativeSampleLocation(int64_t* location) const override;
  AAX_Result GetCustomTickPosition(int64_t* ticks, int64_t sampleLocation) const override;
  AAX_Result GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t sampleLocation) const override;
  AAX_Result GetTicksPerQuarter(uint32_t* ticks) const override;
  AAX_Result GetCurrentTicksPerBeat(uint32_t* ticks) const override;
  AAX_Result GetTimelineSelectionStartPosition(int64_t* location) const override;
  AAX_Result GetTimeCodeInfo(AAX_EFrameRate* rate, int32_t* offset) const override;
  AAX_Result GetFeetFramesInfo(AAX_EFeetFramesRate* rate, int64_t* offset) const override;
  AAX_Result IsMetronomeEnabled(int32_t* enabled) const override;
  AAX_Result GetHDTimeCodeInfo(AAX_EFrameRate* rate, int64_t* offset) const override;
  AAX_Result RequestTransportStart() override;
  AAX_Result RequestTransportStop() override;
  AAX_Result GetTimelineSelectionEndPosition(int64_t* location) const override;
  AAX_Result GetKeySignature(int64_t sampleLocation, uint32_t* keySignature) const override;

private:
  ACFPtr<AAX_IACFTransport> mITransport;
  ACFPtr<AAX_IACFTransport_V2> mITransportV2;
  ACFPtr<AAX_IACFTransport_V3> mITransportV3;
  ACFPtr<AAX_IACFTransport_V4> mITransportV4;
  ACFPtr<AAX_IACFTransport_V5> mITransportV5;
  ACFPtr<AAX_IACFTransportControl> mITransportControl;
};
