#include "json_body.h"

#include <utility>
#include <vector>

namespace qm::service {

namespace {

using nlohmann::json;

// A value being built: its root, the containers still open in it (outermost first), where the
// next member of the innermost object goes, and what it has taken so far.
struct Tree {
  json root;
  std::vector<json*> open;
  json* member = nullptr;
  size_t values = 0;
  size_t bytes = 0;

  json* place(json&& value) {
    ++values;
    if (open.empty()) {
      root = std::move(value);
      return &root;
    }
    json& parent = *open.back();
    if (parent.is_array()) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    *member = std::move(value);
    return member;
  }
  void key(json::string_t& name) { member = &(*open.back())[std::move(name)]; }
  void start(json::value_t type) { open.push_back(place(json(type))); }
  void end() { open.pop_back(); }
};

// The parser's events, built into the value read or, inside the streamed array, into the element
// being read. A level is where a value sits: 0 for the outermost, 1 for its members, 2 for the
// elements of the streamed array.
class Reader {
 public:
  explicit Reader(const JsonStream* stream) : stream_(stream) {}

  bool null() { return scalar(nullptr, 4); }
  bool boolean(bool value) { return scalar(value, 5); }
  bool number_integer(json::number_integer_t value) { return scalar(value, 1); }
  bool number_unsigned(json::number_unsigned_t value) { return scalar(value, 1); }
  bool number_float(json::number_float_t value, const json::string_t&) { return scalar(value, 1); }
  // The parser's own buffer, which it clears before the next token: taken rather than copied.
  bool string(json::string_t& value) {
    const size_t bytes = value.size() + 2;
    return scalar(std::move(value), bytes);
  }
  bool binary(json::binary_t&) { return false; }  // JSON text has none
  bool start_object(std::size_t) { return start(json::value_t::object); }
  bool start_array(std::size_t) { return start(json::value_t::array); }
  bool end_object() { return end(); }
  bool end_array() { return end(); }
  bool key(json::string_t& name) {
    if (InElement(depth_)) {
      if (Admit(name.size() + 3, false)) element_.key(name);
      return true;
    }
    if (depth_ == 1) streamed_ = stream_ != nullptr && name == stream_->member;
    main_.key(name);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

  bool TooLarge() const { return tooLarge_; }
  json Take() { return std::move(main_.root); }

 private:
  bool InElement(int level) const { return streaming_ && level >= 2; }

  template <typename Value>
  bool scalar(Value&& value, size_t bytes) {
    const int level = depth_;
    if (InElement(level)) {
      if (level == 2) BeginElement();
      if (Admit(bytes, true)) element_.place(json(std::forward<Value>(value)));
      if (level == 2) EndElement();
      return true;
    }
    if (!AdmitMain()) return false;
    main_.place(json(std::forward<Value>(value)));
    return true;
  }

  bool start(json::value_t type) {
    const int level = depth_;
    if (level + 1 > kMostJsonDepth) return false;
    ++depth_;
    if (InElement(level)) {
      if (level == 2) BeginElement();
      if (Admit(2, true)) element_.start(type);
      return true;
    }
    if (!AdmitMain()) return false;
    main_.start(type);
    if (level == 1 && streamed_ && type == json::value_t::array) streaming_ = true;
    return true;
  }

  bool end() {
    const int level = --depth_;
    if (InElement(level)) {
      if (!dropping_) element_.end();
      if (level == 2) EndElement();
      return true;
    }
    main_.end();
    if (level == 1) streaming_ = false;
    return true;
  }

  bool AdmitMain() {
    if (main_.values < kMostJsonValues) return true;
    tooLarge_ = true;
    return false;
  }

  // Whether the element being read may take `bytes` more (and a value): once it may not, what
  // it built is let go and the rest of it is passed over.
  bool Admit(size_t bytes, bool value) {
    if (dropping_) return false;
    element_.bytes += bytes;
    if ((!value || element_.values < kMostJsonValues) && element_.bytes <= stream_->mostElementBytes) return true;
    element_ = Tree();
    dropping_ = true;
    return false;
  }

  void BeginElement() {
    element_ = Tree();
    dropping_ = false;
  }

  void EndElement() {
    if (!dropping_) stream_->take(std::move(element_.root));
    element_ = Tree();
    dropping_ = false;
  }

  const JsonStream* stream_;
  Tree main_;
  Tree element_;
  int depth_ = 0;          // containers open
  bool streamed_ = false;  // the last key of the outermost object names the streamed member
  bool streaming_ = false;  // its array is open
  bool dropping_ = false;   // the element being read is passed over
  bool tooLarge_ = false;
};

}  // namespace

JsonBody readJsonBody(std::string_view body, const JsonStream* stream) noexcept {
  try {
    Reader reader(stream);
    if (json::sax_parse(body, &reader)) return {reader.Take(), false};
    return {std::nullopt, reader.TooLarge()};
  } catch (...) {
    return {};
  }
}

}  // namespace qm::service
