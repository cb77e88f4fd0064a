#include "QuillomancerCustomDataStore.h"

#include <algorithm>
#include <cstring>

size_t QMUTF8PrefixBytesForCodepointLimit(const char* bytes, size_t length, size_t maxCodePoints) {
  if (bytes == nullptr || length == 0 || maxCodePoints == 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t pos = 0;
  size_t taken = 0;
  while (pos < length && taken < maxCodePoints) {
    const unsigned char lead = p[pos];
    size_t seq = 0;
    if (lead < 0x80) seq = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) seq = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) seq = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) seq = 4;
    else break;
    if (seq > length - pos) break;
    bool ok = true;
    for (size_t k = 1; k < seq; ++k) {
      if ((p[pos + k] & 0xC0) != 0x80) { ok = false; break; }
    }
    if (!ok) break;
    if (seq == 3) {
      if (lead == 0xE0 && p[pos + 1] < 0xA0) break;
      if (lead == 0xED && p[pos + 1] >= 0xA0) break;
    } else if (seq == 4) {
      if (lead == 0xF0 && p[pos + 1] < 0x90) break;
      if (lead == 0xF4 && p[pos + 1] > 0x8F) break;
    }
    pos += seq;
    ++taken;
  }
  return pos;
}

namespace {

enum class Kind { String, LimitedText, Byte, Status, Timeline };

struct BlockRule {
  uint32_t id;
  Kind kind;
};

uint32_t ReadString(const std::string& s, uint32_t size, void* out) {
  const uint32_t n = uint32_t(std::min<uint64_t>(s.size(), size));
  if (out != nullptr && n > 0) std::memcpy(out, s.data(), n);
  return n;
}

uint32_t ReadByte(uint8_t value, uint32_t size, void* out) {
  if (out != nullptr && size >= 1) *static_cast<uint8_t*>(out) = value;
  return 1;
}

void Report(uint32_t* outSize, uint32_t n) {
  if (outSize != nullptr) *outSize = n;
}

}  // namespace

int32_t QuillomancerCustomDataStore::Get(uint32_t blockId, uint32_t size, void* out,
                                         uint32_t* outSize, const TimelineReader& timeline) const {
  if (blockId == kQMBlock_TimelineSelection) {
    // Computed on every read, outside the lock: the reader asks the host's transport.
    TimelineSelection selection;
    if (timeline) selection = timeline();
    if (!(selection.valid && selection.end > selection.start)) selection = TimelineSelection{};
    if (out != nullptr && size >= kQMTimelineSelectionSize) {
      QMEncodeTimelineSelection(selection, static_cast<uint8_t*>(out));
    }
    Report(outSize, kQMTimelineSelectionSize);
    return kResultOK;
  }

  std::lock_guard<std::mutex> guard(mLock);
  uint32_t n = 0;
  switch (blockId) {
    case kQMBlock_Text: n = ReadString(mText, size, out); break;
    case kQMBlock_ReferenceText: n = ReadString(mReferenceText, size, out); break;
    case kQMBlock_AccessToken: n = ReadString(mAccessToken, size, out); break;
    case kQMBlock_ErrorText: n = ReadString(mErrorText, size, out); break;
    case kQMBlock_RenderID: n = ReadString(mRenderID, size, out); break;
    case kQMBlock_TranscriptPayload: n = ReadString(mTranscriptPayload, size, out); break;
    case kQMBlock_TranscriptionLanguage: n = ReadString(mTranscriptionLanguage, size, out); break;
    case kQMBlock_GenerationLanguage: n = ReadString(mGenerationLanguage, size, out); break;
    case kQMBlock_RepairPlan: n = ReadString(mRepairPlan, size, out); break;
    case kQMBlock_LineChange: n = ReadByte(mLineChange, size, out); break;
    case kQMBlock_Variation: n = ReadByte(mVariation, size, out); break;
    case kQMBlock_Mode: n = ReadByte(mMode, size, out); break;
    case kQMBlock_Takes: n = ReadByte(mTakesRequested, size, out); break;
    case kQMBlock_CompatibilityLock: n = ReadByte(mCompatibilityLock, size, out); break;
    case kQMBlock_TranscribeRequest: n = ReadByte(mTranscribeRequest, size, out); break;
    case kQMBlock_RepairPreview: n = ReadByte(mRepairPreview, size, out); break;
    case kQMBlock_NewAudioLoaded: n = ReadByte(mNewAudioLoaded, size, out); break;
    case kQMBlock_Status: {
      if (out != nullptr && size >= kQMStatusRecordSize) {
        const QuillomancerStatusRecord record{mState, mTakeIndex, int32_t(mTakesRequested), mTakesReady,
                                              mCreditBalance, mAsyncActivity, mCountdown};
        std::memcpy(out, &record, sizeof record);
      }
      n = kQMStatusRecordSize;
      break;
    }
    default:
      return kResultInvalidArgument;
  }
  Report(outSize, n);
  return kResultOK;
}

int32_t QuillomancerCustomDataStore::Set(uint32_t blockId, uint32_t size, const void* data) {
  if (blockId == kQMBlock_TimelineSelection) return kResultInvalidArgument;
  const bool hasData = data != nullptr && size >= 1;
  const auto* bytes = static_cast<const char*>(data);
  const uint8_t first = hasData ? *static_cast<const uint8_t*>(data) : 0;
  auto assign = [&](std::string& target) {
    if (hasData) target.assign(bytes, size);
    else target.clear();
  };
  auto assignLimited = [&](std::string& target) {
    if (hasData) {
      target.assign(bytes, QMUTF8PrefixBytesForCodepointLimit(bytes, size, kQuillomancer_MaxTextLength));
    } else {
      target.clear();
    }
  };

  std::lock_guard<std::mutex> guard(mLock);
  switch (blockId) {
    case kQMBlock_Text: assignLimited(mText); break;
    case kQMBlock_ReferenceText: assignLimited(mReferenceText); break;
    case kQMBlock_AccessToken: assign(mAccessToken); break;
    case kQMBlock_ErrorText: assign(mErrorText); break;
    case kQMBlock_RenderID: assign(mRenderID); break;
    case kQMBlock_TranscriptPayload: assign(mTranscriptPayload); break;
    case kQMBlock_TranscriptionLanguage: assign(mTranscriptionLanguage); break;
    case kQMBlock_GenerationLanguage: assign(mGenerationLanguage); break;
    case kQMBlock_RepairPlan: assign(mRepairPlan); break;
    case kQMBlock_Status:
      if (data != nullptr && size >= kQMStatusRecordSize) {
        QuillomancerStatusRecord record;
        std::memcpy(&record, data, sizeof record);
        mState = record.state;
        mTakeIndex = record.takeIndex;
        mTakesReady = record.takesReady;
        mCreditBalance = record.creditBalance;
        mAsyncActivity = record.asyncActivity;
        mCountdown = record.countdown;
      }
      break;
    case kQMBlock_LineChange:
      if (hasData) mLineChange = first;
      break;
    case kQMBlock_Variation: mVariation = first != 0 ? 1 : 0; break;
    case kQMBlock_Mode:
      if (!hasData) mMode = 0;
      else if (first <= 2) mMode = first;
      break;
    case kQMBlock_Takes:
      if (hasData && (first == 1 || first == 3 || first == 5)) mTakesRequested = first;
      break;
    case kQMBlock_CompatibilityLock: mCompatibilityLock = first; break;
    case kQMBlock_TranscribeRequest: mTranscribeRequest = first != 0 ? 1 : 0; break;
    case kQMBlock_RepairPreview: mRepairPreview = first != 0 ? 1 : 0; break;
    case kQMBlock_NewAudioLoaded: mNewAudioLoaded = first != 0 ? 1 : 0; break;
    default:
      return kResultInvalidArgument;
  }
  return kResultOK;
}

void QuillomancerCustomDataStore::SetTakesRequestedDefault(uint8_t takes) {
  std::lock_guard<std::mutex> guard(mLock);
  mTakesRequested = takes;
}

std::string QuillomancerCustomDataStore::GetText() const {
  std::lock_guard<std::mutex> guard(mLock);
  return mText;
}

void QuillomancerCustomDataStore::SetTextUnchecked(const std::string& text) {
  std::lock_guard<std::mutex> guard(mLock);
  mText = text;
}
