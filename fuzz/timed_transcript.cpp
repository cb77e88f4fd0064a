// The service's JSON answers as the client reads them: the transcribe answer, a timed transcript
// and its words, through the typed accessors.

#include "QuillomancerServerPrivate.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const auto object = ParseJSONResponse(body);
  if (!object) return 0;
  const nlohmann::json* json = &*object;
  const auto transcript = QuillomancerServer::ParseTimedTranscriptFromJSON(json);
  for (const auto& word : transcript.words) {
    if (word.word.empty()) __builtin_trap();  // empty words are dropped
  }
  if (const nlohmann::json* inner = JSONDict(json, "transcript")) QuillomancerServer::ParseTimedTranscriptFromJSON(inner);
  bool present = false;
  (void)JSONIntWithPresence(json, "credit_balance", &present);
  (void)JSONDouble(json, "start", &present);
  (void)JSONBool(json, "ok", &present);
  (void)JSONString(json, "message");
  return 0;
}
