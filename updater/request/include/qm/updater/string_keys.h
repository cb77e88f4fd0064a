#pragma once
// The updater's JSON documents are flat objects of string values. Each codec lists its keys in
// tables of {key, member pointer}: required keys hold a std::string member, optional keys a
// std::optional<std::string> one (absent or null: not set).

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace qm::updater {

template <class T>
struct StringKey {
  const char* key;
  std::string T::*field;
};
template <class T>
struct OptionalStringKey {
  const char* key;
  std::optional<std::string> T::*field;
};

// Why a document's keys could not be read.
struct KeyProblem {
  std::string key;
  bool missing = false;  // false: present, but not a string
};

// Reads the keys of `required` and `optional` from the object `j` into `out`.
template <class T, class Required, class Optional>
std::optional<KeyProblem> readStringKeys(const nlohmann::json& j, T& out, const Required& required,
                                         const Optional& optional) {
  for (const auto& k : required) {
    const auto it = j.find(k.key);
    if (it == j.end()) return KeyProblem{k.key, true};
    if (!it->is_string()) return KeyProblem{k.key, false};
    out.*k.field = it->template get<std::string>();
  }
  for (const auto& k : optional) {
    const auto it = j.find(k.key);
    if (it == j.end() || it->is_null()) continue;
    if (!it->is_string()) return KeyProblem{k.key, false};
    out.*k.field = it->template get<std::string>();
  }
  return std::nullopt;
}

// Writes every required key and the optional keys that are set.
template <class T, class Required, class Optional>
nlohmann::json writeStringKeys(const T& in, const Required& required, const Optional& optional) {
  nlohmann::json j = nlohmann::json::object();  // std::map underneath: keys come out sorted
  for (const auto& k : required) j[k.key] = in.*k.field;
  for (const auto& k : optional)
    if (in.*k.field) j[k.key] = *(in.*k.field);
  return j;
}

}  // namespace qm::updater
