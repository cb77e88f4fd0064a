#include "QuillomancerSettings.h"

#include "qm/platform/defaults.h"

bool QMReadBoolSetting(const std::string& key, bool fallback) {
  if (key.empty()) return fallback;
  auto& defaults = qm::platform::UserDefaults::standard();
  if (!defaults.has(key)) return fallback;
  return defaults.boolForKey(key);
}
