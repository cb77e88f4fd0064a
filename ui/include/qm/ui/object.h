#pragma once
// The object model of the toolkit stand-in: interned selectors, objects that answer whether they
// respond to a selector and perform it with a sender (target/action), values by key, and
// associated objects kept on an object under a name.
// Objects are held by std::shared_ptr; targets are held weakly (std::weak_ptr), so a freed target
// simply gets nothing.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qm::ui {

// An interned name of a message ("toggleSettings:"). Two selectors of the same name are the same
// selector; the default selector is none.
class Selector {
 public:
  Selector() = default;
  Selector(const char* name);  // NOLINT: selectors are written as plain texts
  Selector(std::string_view name);
  bool isNone() const { return name_ == nullptr; }
  explicit operator bool() const { return name_ != nullptr; }
  // "" for none.
  const std::string& name() const;
  friend bool operator==(Selector a, Selector b) { return a.name_ == b.name_; }
  friend bool operator<(Selector a, Selector b) { return a.name_ < b.name_; }

 private:
  const std::string* name_ = nullptr;
};

class Object : public std::enable_shared_from_this<Object> {
 public:
  using ActionHandler = std::function<void(Object* sender)>;
  using Getter = std::function<std::any()>;
  using Setter = std::function<void(const std::any&)>;

  Object() = default;
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // True for a registered action and for the accessors of a registered property ("key" and
  // "setKey:").
  virtual bool respondsToSelector(Selector selector) const;
  // Runs a registered action; false when this object does not answer it.
  virtual bool performAction(Selector selector, Object* sender);

  // Values by key, for properties that a class registers. An unknown key gives none / false;
  // a value of the wrong type is ignored by the setter of the property.
  std::optional<std::any> valueForKey(std::string_view key) const;
  bool setValueForKey(std::string_view key, const std::any& value);
  template <class T>
  std::optional<T> valueForKeyAs(std::string_view key) const {
    auto v = valueForKey(key);
    if (!v) return std::nullopt;
    if (const T* p = std::any_cast<T>(&*v)) return *p;
    return std::nullopt;
  }

  // Associated objects: kept alive by this object until replaced or cleared (null).
  void setAssociatedObject(const std::string& key, std::shared_ptr<Object> value);
  std::shared_ptr<Object> associatedObject(const std::string& key) const;
  template <class T>
  std::shared_ptr<T> associatedObjectAs(const std::string& key) const {
    return std::dynamic_pointer_cast<T>(associatedObject(key));
  }

  // A shared pointer to this object, or null when it is not held by one.
  std::shared_ptr<Object> sharedObject() { return weak_from_this().lock(); }

 protected:
  void registerAction(Selector selector, ActionHandler handler);
  void registerProperty(const std::string& key, Getter getter, Setter setter);

 private:
  struct Property {
    Getter get;
    Setter set;
  };
  std::map<Selector, ActionHandler> actions_;
  std::map<std::string, Property, std::less<>> properties_;
  std::map<std::string, std::shared_ptr<Object>> associations_;
};

}  // namespace qm::ui
