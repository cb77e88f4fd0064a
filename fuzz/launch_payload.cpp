// Update request documents (and the status documents read beside them) from untrusted bytes:
// decoding and validation must never crash, and whatever decodes must encode and decode again
// to the same record.
#include "qm/updater/errors.h"
#include "qm/updater/launch_payload.h"
#include "qm/updater/status_store.h"
#include "qm/updater/url.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool sameRecord(const qm::updater::LaunchPayload& a, const qm::updater::LaunchPayload& b) {
  return qm::updater::encodeLaunchPayload(a) == qm::updater::encodeLaunchPayload(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qm::updater;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const auto payload = decodeLaunchPayload(text)) {
    const auto again = decodeLaunchPayload(encodeLaunchPayload(*payload));
    if (!again || !sameRecord(*payload, *again)) std::abort();
    static const LaunchPayloadValidator validator(UpdaterConfig::production());
    try {
      validator.validate(*payload, SystemTime(std::chrono::seconds(1796792400)));
      // Accepted requests must name safe files and allowed https hosts.
      if (!isSafeVersionText(payload->targetVersion) || !isUuidV4(payload->requestID)) std::abort();
      const auto url = parseUrl(payload->updatePkgURL);
      if (!url || !url->host || asciiLower(url->scheme) != "https") std::abort();
    } catch (const UpdaterError&) {
    }
  }
  if (const auto status = decodeUpdateStatus(text)) {
    if (!decodeUpdateStatus(encodeUpdateStatus(*status))) std::abort();
  }
  (void)parseUrl(text);
  // Any stamp that parses, however far off, yields an age without overflow.
  if (const auto stamp = parseInternetDateTime(text))
    (void)secondsBetween(*stamp, SystemTime(std::chrono::seconds(1796792400)));
  return 0;
}
