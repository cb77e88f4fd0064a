#include "AAX_VTransport.h"

#include "AAX_VersionedCall.h"

using qm::framework::QueryInto;

AAX_VTransport::AAX_VTransport(IACFUnknown* host) {
  if (!host) return;
  QueryInto(host, IID_IAAXTransportV1, mITransport);
  QueryInto(host, IID_IAAXTransportV2, mITransportV2);
  QueryInto(host, IID_IAAXTransportV3, mITransportV3);
  QueryInto(host, IID_IAAXTransportV4, mITransportV4);
  QueryInto(host, IID_IAAXTransportV5, mITransportV5);
  QueryInto(host, IID_IAAXTransportControlV1, mITransportControl);
}

AAX_VTransport::~AAX_VTransport() = default;

AAX_Result AAX_VTransport::GetCurrentTempo(double* bpm) const {
  QM_REQUIRE_OUT(mITransport, bpm);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetCurrentTempo(bpm));
}

AAX_Result AAX_VTransport::GetCurrentMeter(int32_t* numerator, int32_t* denominator) const {
  QM_REQUIRE_OUT(mITransport, numerator && denominator);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetCurrentMeter(numerator, denominator));
}

AAX_Result AAX_VTransport::IsTransportPlaying(bool* playing) const {
  QM_REQUIRE_OUT(mITransport, playing);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, IsTransportPlaying(playing));
}

AAX_Result AAX_VTransport::GetCurrentTickPosition(int64_t* ticks) const {
  QM_REQUIRE_OUT(mITransport, ticks);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetCurrentTickPosition(ticks));
}

AAX_Result AAX_VTransport::GetCurrentLoopPosition(bool* looping, int64_t* loopStart, int64_t* loopEnd) const {
  QM_REQUIRE_OUT(mITransport, looping && loopStart && loopEnd);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetCurrentLoopPosition(looping, loopStart, loopEnd));
}

AAX_Result AAX_VTransport::GetCurrentNativeSampleLocation(int64_t* location) const {
  QM_REQUIRE_OUT(mITransport, location);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetCurrentNativeSampleLocation(location));
}

AAX_Result AAX_VTransport::GetCustomTickPosition(int64_t* ticks, int64_t sampleLocation) const {
  QM_REQUIRE_OUT(mITransport, ticks);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetCustomTickPosition(ticks, sampleLocation));
}

AAX_Result AAX_VTransport::GetBarBeatPosition(int32_t* bars, int32_t* beats, int64_t* displayTicks, int64_t sampleLocation) const {
  QM_REQUIRE_OUT(mITransport, bars && beats && displayTicks);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetBarBeatPosition(bars, beats, displayTicks, sampleLocation));
}

AAX_Result AAX_VTransport::GetTicksPerQuarter(uint32_t* ticks) const {
  QM_REQUIRE_OUT(mITransport, ticks);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetTicksPerQuarter(ticks));
}

AAX_Result AAX_VTransport::GetCurrentTicksPerBeat(uint32_t* ticks) const {
  QM_REQUIRE_OUT(mITransport, ticks);
  QM_CALL(mITransport, AAX_ERROR_NULL_OBJECT, GetCurrentTicksPerBeat(ticks));
}

AAX_Result AAX_VTransport::GetTimelineSelectionStartPosition(int64_t* location) const {
  QM_REQUIRE_OUT(mITransportV2, location);
  QM_CALL(mITransportV2, AAX_ERROR_UNIMPLEMENTED, GetTimelineSelectionStartPosition(location));
}

AAX_Result AAX_VTransport::GetTimeCodeInfo(AAX_EFrameRate* rate, int32_t* offset) const {
  QM_REQUIRE_OUT(mITransportV2, rate && offset);
  QM_CALL(mITransportV2, AAX_ERROR_UNIMPLEMENTED, GetTimeCodeInfo(rate, offset));
}

AAX_Result AAX_VTransport::GetFeetFramesInfo(AAX_EFeetFramesRate* rate, int64_t* offset) const {
  QM_REQUIRE_OUT(mITransportV2, rate && offset);
  QM_CALL(mITransportV2, AAX_ERROR_UNIMPLEMENTED, GetFeetFramesInfo(rate, offset));
}

AAX_Result AAX_VTransport::IsMetronomeEnabled(int32_t* enabled) const {
  QM_REQUIRE_OUT(mITransportV2, enabled);
  QM_CALL(mITransportV2, AAX_ERROR_UNIMPLEMENTED, IsMetronomeEnabled(enabled));
}

AAX_Result AAX_VTransport::GetHDTimeCodeInfo(AAX_EFrameRate* rate, int64_t* offset) const {
  QM_REQUIRE_OUT(mITransportV3, rate && offset);
  QM_CALL(mITransportV3, AAX_ERROR_UNIMPLEMENTED, GetHDTimeCodeInfo(rate, offset));
}

AAX_Result AAX_VTransport::RequestTransportStart() {
  QM_CALL(mITransportControl, AAX_ERROR_UNIMPLEMENTED, RequestTransportStart());
}

AAX_Result AAX_VTransport::RequestTransportStop() {
  QM_CALL(mITransportControl, AAX_ERROR_UNIMPLEMENTED, RequestTransportStop());
}

AAX_Result AAX_VTransport::GetTimelineSelectionEndPosition(int64_t* location) const {
  QM_REQUIRE_OUT(mITransportV4, location);
  QM_CALL(mITransportV4, AAX_ERROR_UNIMPLEMENTED, GetTimelineSelectionEndPosition(location));
}

AAX_Result AAX_VTransport::GetKeySignature(int64_t sampleLocation, uint32_t* keySignature) const {
  QM_REQUIRE_OUT(mITransportV5, keySignature);
  QM_CALL(mITransportV5, AAX_ERROR_UNIMPLEMENTED, GetKeySignature(sampleLocation, keySignature));
}
