#include "qm/ui/object.h"

#include <mutex>
#include <set>

namespace qm::ui {

namespace {

const std::string* intern(std::string_view name) {
  static std::mutex mutex;
  static auto* names = new std::set<std::string, std::less<>>;  // lives as long as the process
  std::lock_guard<std::mutex> lock(mutex);
  auto it = names->find(name);
  if (it == names->end()) it = names->emplace(name).first;
  return &*it;
}

const std::string& emptyName() {
  static const std::string empty;
  return empty;
}

// "setFooBar:" -> "fooBar"; "" when the selector is no setter.
std::string keyOfSetter(const std::string& name) {
  if (name.size() < 5 || name.compare(0, 3, "set") != 0 || name.back() != ':') return {};
  std::string key = name.substr(3, name.size() - 4);
  if (!key.empty() && key[0] >= 'A' && key[0] <= 'Z') key[0] = static_cast<char>(key[0] - 'A' + 'a');
  return key;
}

}  // namespace

Selector::Selector(const char* name) : name_(name && *name ? intern(name) : nullptr) {}
Selector::Selector(std::string_view name) : name_(name.empty() ? nullptr : intern(name)) {}
const std::string& Selector::name() const { return name_ ? *name_ : emptyName(); }

Object::~Object() = default;

bool Object::respondsToSelector(Selector selector) const {
  if (!selector) return false;
  if (actions_.count(selector)) return true;
  const std::string& name = selector.name();
  if (properties_.count(name)) return properties_.find(name)->second.get != nullptr;
  const std::string key = keyOfSetter(name);
  auto it = key.empty() ? properties_.end() : properties_.find(key);
  return it != properties_.end() && it->second.set != nullptr;
}

bool Object::performAction(Selector selector, Object* sender) {
  auto it = actions_.find(selector);
  if (it == actions_.end() || !it->second) return false;
  // Copy: the handler may replace the action table while it runs.
  ActionHandler handler = it->second;
  handler(sender);
  return true;
}

std::optional<std::any> Object::valueForKey(std::string_view key) const {
  auto it = properties_.find(key);
  if (it == properties_.end() || !it->second.get) return std::nullopt;
  return it->second.get();
}

bool Object::setValueForKey(std::string_view key, const std::any& value) {
  auto it = properties_.find(key);
  if (it == properties_.end() || !it->second.set) return false;
  it->second.set(value);
  return true;
}

void Object::setAssociatedObject(const std::string& key, std::shared_ptr<Object> value) {
  if (value)
    associations_[key] = std::move(value);
  else
    associations_.erase(key);
}

std::shared_ptr<Object> Object::associatedObject(const std::string& key) const {
  auto it = associations_.find(key);
  return it == associations_.end() ? nullptr : it->second;
}

void Object::registerAction(Selector selector, ActionHandler handler) {
  if (selector) actions_[selector] = std::move(handler);
}

void Object::registerProperty(const std::string& key, Getter getter, Setter setter) {
  properties_[key] = Property{std::move(getter), std::move(setter)};
}

}  // namespace qm::ui
