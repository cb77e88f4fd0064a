#include "QMAccountToken.h"

#include "QuillomancerStoreVocabulary.h"
#include "qm/platform/files.h"
#include "qm/platform/json.h"
#include "qm/platform/paths.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>

namespace {

constexpr const char* kTokenKey = "access_token";

std::string parentFolder(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string QMAccountTokenFilePath() {
  return qm::platform::joinPath(qm::platform::applicationSupportDirectory(), "Quillomancer/account.json");
}

bool QMIsUsableAccessToken(std::string_view token) {
  if (token.empty() || token.size() > kQMReadLimit_AccessToken) return false;
  for (unsigned char c : token)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

std::string QMReadAccountTokenFile(const std::string& path) {
  std::string bytes;
  if (!qm::platform::readFile(path, bytes, kQMAccountFileMaxBytes)) return {};
  const auto object = qm::platform::parseJsonObject(bytes);
  if (!object) return {};
  const auto it = object->find(kTokenKey);
  if (it == object->end() || !it->is_string()) return {};
  const std::string& token = it->get_ref<const std::string&>();
  return QMIsUsableAccessToken(token) ? token : std::string();
}

std::string QMReadAccountToken() { return QMReadAccountTokenFile(QMAccountTokenFilePath()); }

int QMWriteAccountTokenFile(const std::string& path, std::string_view token) {
  if (!QMIsUsableAccessToken(token)) return EINVAL;
  std::string text;
  try {
    text = nlohmann::json{{kTokenKey, std::string(token)}}.dump();
  } catch (const nlohmann::json::exception&) {
    return EINVAL;  // not UTF-8
  }
  if (const std::string folder = parentFolder(path); !folder.empty()) {
    if (const int err = qm::platform::makeDirectories(folder, 0700)) return err;
  }
  return qm::platform::writeFileAtomic(path, text + "\n", 0600);
}

int QMWriteAccountToken(std::string_view token) { return QMWriteAccountTokenFile(QMAccountTokenFilePath(), token); }

int QMClearAccountTokenFile(const std::string& path) {
  if (std::remove(path.c_str()) == 0 || errno == ENOENT) return 0;
  return errno;
}

int QMClearAccountToken() { return QMClearAccountTokenFile(QMAccountTokenFilePath()); }
