// A server message body as the settings card styles it: whatever the text, the result holds it
// with only the bracketed links left out of their markup, and every link attached is one the
// browser may open.

#include "QMSettingsCardSupport.h"
#include "qm/platform/browser.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const qm::ui::AttributedString styled = QMAttributedMessageFromMarkdown(body, std::nullopt, std::nullopt);
  if (styled.length() > body.size()) __builtin_trap();  // markup only ever shortens the text
  std::size_t covered = 0;
  for (const auto& run : styled.runs()) {
    covered += run.length;
    if (!run.attributes.link) continue;
    if (!qm::platform::isOpenableWebLink(*run.attributes.link)) __builtin_trap();
  }
  if (covered != styled.length()) __builtin_trap();
  return 0;
}
