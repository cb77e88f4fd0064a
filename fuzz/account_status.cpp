// The account-status answer as the client reads it: whatever the body, the result keeps within
// the limits the settings card relies on.

#include "QuillomancerServer.h"
#include "qm/platform/text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const auto r = QuillomancerServer::ParseVerifyResponse(200, body);
  if (r.offline) __builtin_trap();
  if (!r.valid && (!r.messages.empty() || !r.ackedEventIds.empty() || !r.email.empty())) __builtin_trap();
  if (r.messages.size() > kQMVerifyMaxMessages || r.ackedEventIds.size() > kQMVerifyMaxAckedEventIds) __builtin_trap();
  for (const auto& m : r.messages) {
    if (m.id.empty() || m.id.size() > kQMVerifyMaxMessageIdBytes || m.title.size() > kQMVerifyMaxMessageTitleBytes ||
        m.body.size() > kQMVerifyMaxMessageBodyBytes)
      __builtin_trap();
    // A cut text still ends on a whole character.
    if (!qm::platform::isValidUtf8(m.title) || !qm::platform::isValidUtf8(m.body)) __builtin_trap();
  }
  if (!r.valid && r.droppedMessages != 0) __builtin_trap();
  for (const auto& id : r.ackedEventIds)
    if (id.empty()) __builtin_trap();
  for (const std::string* version : {&r.latestVersion, &r.update.targetVersion, &r.minimumVersion, &r.update.manifestVersion})
    if (version->size() > kQMVerifyMaxVersionBytes) __builtin_trap();
  for (const std::string* url : {&r.update.pkgURL, &r.update.releaseNotesURL, &r.update.artifactURL})
    if (url->size() > kQMVerifyMaxURLBytes) __builtin_trap();
  // Any other status reads as an answer that is not valid.
  if (QuillomancerServer::ParseVerifyResponse(401, body).valid) __builtin_trap();
  return 0;
}
