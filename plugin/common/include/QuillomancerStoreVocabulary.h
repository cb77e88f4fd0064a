#pragma once
// What the custom-data store holds, as every side of the plug-in names it: the block identifiers,
// the status record's layout, the plug-in states and activities, the editor modes, the timeline
// selection block, and the most bytes a reader takes of each kind of block. The store itself lives
// in the parameters object; QuillomancerStoreClient reads and writes it through the host-facing
// effect-parameters interface.

#include <cstddef>
#include <cstdint>
#include <cstring>

// Four-character code, most significant byte first ('QMtx' and so on).
constexpr uint32_t QMBlockID(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

// ---- Blocks -------------------------------------------------------------------------------------

inline constexpr uint32_t kQMBlock_Text = QMBlockID("QMtx");                  // text to generate
inline constexpr uint32_t kQMBlock_ReferenceText = QMBlockID("QMrf");         // reference text
inline constexpr uint32_t kQMBlock_AccessToken = QMBlockID("QMli");           // account access token
inline constexpr uint32_t kQMBlock_Status = QMBlockID("QMst");                // status record
inline constexpr uint32_t kQMBlock_LineChange = QMBlockID("QMlc");            // byte
inline constexpr uint32_t kQMBlock_Variation = QMBlockID("QMat");             // byte
inline constexpr uint32_t kQMBlock_Mode = QMBlockID("QMmd");                  // QuillomancerMode
inline constexpr uint32_t kQMBlock_Takes = QMBlockID("QMtk");                 // 1, 3 or 5
inline constexpr uint32_t kQMBlock_ErrorText = QMBlockID("QMer");             // error text
inline constexpr uint32_t kQMBlock_CompatibilityLock = QMBlockID("QMul");     // byte
inline constexpr uint32_t kQMBlock_RenderID = QMBlockID("QMrd");              // render id
inline constexpr uint32_t kQMBlock_TimelineSelection = QMBlockID("QMts");     // read only
inline constexpr uint32_t kQMBlock_TranscribeRequest = QMBlockID("QMtq");     // byte (LOAD pending)
inline constexpr uint32_t kQMBlock_TranscriptPayload = QMBlockID("QMtr");     // JSON or plain text
inline constexpr uint32_t kQMBlock_TranscriptionLanguage = QMBlockID("QMtl");
inline constexpr uint32_t kQMBlock_GenerationLanguage = QMBlockID("QMgl");
inline constexpr uint32_t kQMBlock_RepairPlan = QMBlockID("QMrp");            // JSON
inline constexpr uint32_t kQMBlock_RepairPreview = QMBlockID("QMrv");         // byte
inline constexpr uint32_t kQMBlock_NewAudioLoaded = QMBlockID("QMlr");        // byte

// ---- Read limits: the most bytes a reader takes of a block --------------------------------------

// The processor's reads.
inline constexpr uint32_t kQMReadLimit_Text = 1023;              // QMtx, QMrf
inline constexpr uint32_t kQMReadLimit_RepairPlan = 16383;       // QMrp
inline constexpr uint32_t kQMReadLimit_AccessToken = 255;        // QMli
inline constexpr uint32_t kQMReadLimit_Language = 31;            // QMtl, QMgl
// The window's reads of what the processor leaves for it to show.
inline constexpr uint32_t kQMReadLimit_ErrorText = 255;          // QMer
inline constexpr uint32_t kQMReadLimit_RenderID = 127;           // QMrd
// The window reads at most this many bytes of the transcript payload (QMtr); the transcribe job
// writes a compact payload when the service's answer is longer.
inline constexpr std::size_t kQMTranscriptPayloadMaxBytes = 16383;

// Code points the store keeps of QMtx and QMrf.
inline constexpr std::size_t kQuillomancer_MaxTextLength = 200;

// ---- Editor mode (QMmd) -------------------------------------------------------------------------

enum QuillomancerMode : uint8_t {
  kQuillomancerMode_Before = 0,
  kQuillomancerMode_After = 1,
  kQuillomancerMode_VoiceChange = 2,
};

// ---- Status record (QMst) -----------------------------------------------------------------------

// The plug-in state, field 0 of the status record.
enum QuillomancerState : int32_t {
  kQuillomancerState_Ready = 0,
  kQuillomancerState_Analyzing = 1,
  kQuillomancerState_Processing = 2,
  kQuillomancerState_HasTakes = 3,
  kQuillomancerState_Error = 4,
  kQuillomancerState_SelectionTooShort = 6,
  kQuillomancerState_SelectionTooLong = 7,
  kQuillomancerState_NoCredits = 8,
  kQuillomancerState_UpdateRequired = 9,
  kQuillomancerState_InputTextRequired = 10,
  kQuillomancerState_BeforeTextRequired = 11,
  kQuillomancerState_VoiceCaptured = 12,
};

// The state's name as the window logs it ("Ready", "HasTakes", ...); "Unknown" otherwise.
const char* QuillomancerStateName(int32_t state);

// The processor's running job, field 5 of the status record.
enum QuillomancerActivityKind : int32_t {
  kQuillomancerActivity_None = 0,
  kQuillomancerActivity_Generate = 1,
  kQuillomancerActivity_Transcribe = 2,
};

// Seven signed 32-bit integers in the machine's byte order (the record never leaves the process).
// A write stores every field but takesRequested; a read answers the QMtk byte there.
struct QuillomancerStatusRecord {
  int32_t state = kQuillomancerState_Ready;
  int32_t takeIndex = 0;
  int32_t takesRequested = 0;
  int32_t takesReady = 0;
  int32_t creditBalance = 0;
  int32_t asyncActivity = kQuillomancerActivity_None;
  int32_t countdown = 0;  // Voice Change countdown estimate, seconds
};
inline constexpr uint32_t kQMStatusRecordSize = 28;
static_assert(sizeof(QuillomancerStatusRecord) == kQMStatusRecordSize, "seven int32, no padding");

// ---- Timeline selection (QMts) ------------------------------------------------------------------

// 24 bytes: int64 start (bytes 0-7), int64 end (8-15) in samples, a valid byte (16), seven zeros.
struct QMTimelineSelection {
  int64_t start = 0;
  int64_t end = 0;
  bool valid = false;
};
inline constexpr uint32_t kQMTimelineSelectionSize = 24;

inline void QMEncodeTimelineSelection(const QMTimelineSelection& selection, uint8_t out[kQMTimelineSelectionSize]) {
  std::memset(out, 0, kQMTimelineSelectionSize);
  if (!selection.valid) return;
  std::memcpy(out, &selection.start, 8);
  std::memcpy(out + 8, &selection.end, 8);
  out[16] = 1;
}

inline QMTimelineSelection QMDecodeTimelineSelection(const uint8_t block[kQMTimelineSelectionSize]) {
  QMTimelineSelection selection;
  if (block[16] == 0) return selection;
  std::memcpy(&selection.start, block, 8);
  std::memcpy(&selection.end, block + 8, 8);
  selection.valid = true;
  return selection;
}
