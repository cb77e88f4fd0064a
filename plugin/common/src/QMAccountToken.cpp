#include "QMAccountToken.h"

#include "QuillomancerStoreVocabulary.h"
#include "qm/platform/files.h"
#include "qm/platform/json.h"
#include "qm/platform/paths.h"

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

std::string QMReadAccountTokenFile(const std::string& path, std::string* ignoredBecause) {
  auto ignored = [&](const std::string& why) {
    if (ignoredBecause) *ignoredBecause = path + " " + why;
    return std::string();
  };
  if (ignoredBecause) ignoredBecause->clear();
  // Read without blocking and without following a link: the window reads it on the host's main
  // thread, and a FIFO put there must not stop the host.
  qm::platform::FileOpenOptions options;
  options.maxBytes = kQMAccountFileMaxBytes;
  std::string bytes;
  struct stat info {};
  int error = 0;
  const qm::platform::FileRefusal refusal = qm::platform::readRegularFile(path, bytes, options, &info, &error);
  if (refusal == qm::platform::FileRefusal::missing) return {};
  if (refusal != qm::platform::FileRefusal::none) return ignored(qm::platform::describeFileRefusal(refusal, options.maxBytes, error));
  // A credential others could have read, or put there, is not used.
  if (info.st_uid != ::geteuid()) return ignored("is not owned by this user");
  if (info.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) return ignored("can be read or written by others");
  const auto object = qm::platform::parseJsonObject(bytes);
  const auto it = object ? object->find(kTokenKey) : nlohmann::json::const_iterator();
  if (!object || it == object->end() || !it->is_string() || !QMIsUsableAccessToken(it->get_ref<const std::string&>()))
    return ignored("holds no usable token");
  return it->get<std::string>();
}

std::string QMReadAccountToken(std::string* ignoredBecause) {
  return QMReadAccountTokenFile(QMAccountTokenFilePath(), ignoredBecause);
}

std::string QMLentAccessToken() {
  const char* lent = std::getenv(kQMLentAccessTokenEnvironment);
  return lent != nullptr && QMIsUsableAccessToken(lent) ? std::string(lent) : std::string();
}

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
