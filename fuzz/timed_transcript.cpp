// The service's JSON answers as the client reads them: a timed transcript with its words, alone
// or wrapped in a take's "transcript", and every word object of its list.

#include "QuillomancerServer.h"
#include "qm/platform/json.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto object = qm::platform::parseJsonObject(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!object) return 0;
  const auto transcript = QuillomancerServer::ParseTimedTranscriptFromJSON(&*object);
  for (const auto& word : transcript.words) {
    if (word.word.empty()) __builtin_trap();  // empty words are dropped
  }
  const auto inner = object->find("transcript");
  if (inner != object->end() && inner->is_object()) QuillomancerServer::ParseTimedTranscriptFromJSON(&*inner);
  const auto words = object->find("words");
  if (words != object->end() && words->is_array()) {
    for (const auto& element : *words) (void)QuillomancerServer::ParseTimedWordFromJSON(&element);
  }
  return 0;
}
