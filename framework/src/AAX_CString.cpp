#include "AAX_CString.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>

namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

// Fixed-point text with `precision` digits after the point (negative counts as 0).
std::string FixedText(double value, int32_t precision) {
  if (precision < 0) precision = 0;
  if (precision > 64) precision = 64;  // keeps a runaway precision from allocating without bound
  const int needed = std::snprintf(nullptr, 0, "%.*f", static_cast<int>(precision), value);
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed) + 1, '\0');
  std::snprintf(out.data(), out.size(), "%.*f", static_cast<int>(precision), value);
  out.resize(static_cast<size_t>(needed));
  return out;
}

// "0x" and the 32-bit two's-complement form in lowercase hex, zero-padded to `width` digits.
std::string HexText(int32_t value, int32_t width) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%" PRIx32, static_cast<uint32_t>(value));
  std::string body(digits);
  if (width > 64) width = 64;  // wider than any 32-bit value needs: padding only
  if (width > 0 && body.size() < static_cast<size_t>(width)) body.insert(0, static_cast<size_t>(width) - body.size(), '0');
  return "0x" + body;
}

uint32_t Position(size_t found) {
  return found == std::string::npos ? AAX_CString::kInvalidIndex : static_cast<uint32_t>(found);
}

// Where a number's digits start: past leading white space and an optional sign, which is
// reported in `negative`.
const char* DigitsStart(const char* p, bool* negative) {
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  *negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}

thread_local char gScratchByte = '\0';

}  // namespace

AAX_CString::AAX_CString(const char* text) : mString(OrEmpty(text)) {}

AAX_CString::AAX_CString(const std::string& text) : mString(text) {}

AAX_CString::AAX_CString(const AAX_IString& other) : mString(OrEmpty(other.Get())) {}

uint32_t AAX_CString::Length() const { return static_cast<uint32_t>(mString.size()); }

uint32_t AAX_CString::MaxLength() const { return kMaxLength; }

const char* AAX_CString::Get() const { return mString.c_str(); }

void AAX_CString::Set(const char* text) { mString = OrEmpty(text); }

AAX_CString& AAX_CString::operator=(const AAX_IString& other) {
  if (&other != this) mString = OrEmpty(other.Get());
  return *this;
}

AAX_CString& AAX_CString::operator=(const char* text) {
  mString = OrEmpty(text);
  return *this;
}

AAX_CString& AAX_CString::operator=(const AAX_CString& other) {
  if (&other != this) mString = other.mString;
  return *this;
}

AAX_CString& AAX_CString::operator=(AAX_CString&& other) noexcept {
  if (&other != this) mString = std::move(other.mString);
  return *this;
}

AAX_CString& AAX_CString::operator=(const std::string& text) {
  mString = text;
  return *this;
}

AAX_CString& AAX_CString::Append(const AAX_CString& other) {
  mString.append(other.CString());
  return *this;
}

AAX_CString& AAX_CString::Append(const char* text) {
  mString.append(OrEmpty(text));
  return *this;
}

AAX_CString& AAX_CString::operator+=(const AAX_CString& other) { return Append(other); }

AAX_CString& AAX_CString::operator+=(const std::string& text) {
  mString.append(text.c_str());
  return *this;
}

AAX_CString& AAX_CString::operator+=(const char* text) { return Append(text); }

AAX_CString& AAX_CString::AppendNumber(double value, int32_t precision) {
  mString += FixedText(value, precision);
  return *this;
}

AAX_CString& AAX_CString::AppendNumber(int32_t value) {
  mString += std::to_string(value);
  return *this;
}

AAX_CString& AAX_CString::AppendHex(int32_t value, int32_t width) {
  mString += HexText(value, width);
  return *this;
}

AAX_CString& AAX_CString::Insert(uint32_t pos, const AAX_CString& other) { return Insert(pos, other.CString()); }

AAX_CString& AAX_CString::Insert(uint32_t pos, const char* text) {
  const size_t at = pos > mString.size() ? mString.size() : pos;
  mString.insert(at, OrEmpty(text));
  return *this;
}

AAX_CString& AAX_CString::InsertNumber(uint32_t pos, double value, int32_t precision) {
  return Insert(pos, FixedText(value, precision).c_str());
}

AAX_CString& AAX_CString::InsertNumber(uint32_t pos, int32_t value) { return Insert(pos, std::to_string(value).c_str()); }

AAX_CString& AAX_CString::InsertHex(uint32_t pos, int32_t value, int32_t width) {
  return Insert(pos, HexText(value, width).c_str());
}

AAX_CString& AAX_CString::Replace(uint32_t pos, uint32_t n, const AAX_CString& other) {
  return Replace(pos, n, other.CString());
}

AAX_CString& AAX_CString::Replace(uint32_t pos, uint32_t n, const char* text) {
  const size_t at = pos > mString.size() ? mString.size() : pos;
  mString.replace(at, n, OrEmpty(text));
  return *this;
}

AAX_CString& AAX_CString::Erase(uint32_t pos, uint32_t n) {
  if (pos < mString.size()) mString.erase(pos, n);
  return *this;
}

void AAX_CString::SubString(uint32_t pos, uint32_t n, AAX_IString* out) const {
  if (!out) return;
  if (pos >= mString.size()) {
    out->Set("");
    return;
  }
  out->Set(mString.substr(pos, n).c_str());
}

uint32_t AAX_CString::FindFirst(const AAX_CString& other) const { return Position(mString.find(other.mString)); }
uint32_t AAX_CString::FindFirst(const char* text) const { return Position(mString.find(OrEmpty(text))); }
uint32_t AAX_CString::FindFirst(char c) const { return Position(mString.find(c)); }
uint32_t AAX_CString::FindLast(const AAX_CString& other) const { return Position(mString.rfind(other.mString)); }
uint32_t AAX_CString::FindLast(const char* text) const { return Position(mString.rfind(OrEmpty(text))); }
uint32_t AAX_CString::FindLast(char c) const { return Position(mString.rfind(c)); }

bool AAX_CString::ToDouble(double* out) const {
  bool negative = false;
  const char* start = DigitsStart(mString.c_str(), &negative);
  const char* end = mString.c_str() + std::strlen(mString.c_str());
  double value = 0.0;
  const auto parsed = std::from_chars(start, end, value, std::chars_format::general);
  if (parsed.ec != std::errc() || parsed.ptr == start) {
    if (out) *out = 0.0;
    return false;
  }
  if (out) *out = negative ? -value : value;
  return true;
}

bool AAX_CString::ToInteger(int32_t* out) const {
  bool negative = false;
  const char* start = DigitsStart(mString.c_str(), &negative);
  const char* end = mString.c_str() + std::strlen(mString.c_str());
  int64_t magnitude = 0;
  const auto parsed = std::from_chars(start, end, magnitude, 10);
  const int64_t value = negative ? -magnitude : magnitude;
  if (parsed.ec != std::errc() || parsed.ptr == start || value < INT32_MIN || value > INT32_MAX) {
    if (out) *out = 0;
    return false;
  }
  if (out) *out = static_cast<int32_t>(value);
  return true;
}

bool AAX_CString::operator==(const AAX_CString& other) const {
  return std::strcmp(mString.c_str(), other.mString.c_str()) == 0;
}

bool AAX_CString::operator==(const char* text) const { return std::strcmp(mString.c_str(), OrEmpty(text)) == 0; }

bool AAX_CString::operator==(const std::string& text) const { return mString == text; }

bool AAX_CString::operator<(const AAX_CString& other) const {
  return std::strcmp(mString.c_str(), other.mString.c_str()) < 0;
}

bool AAX_CString::operator>(const AAX_CString& other) const {
  return std::strcmp(mString.c_str(), other.mString.c_str()) > 0;
}

char& AAX_CString::operator[](uint32_t index) {
  if (index < mString.size()) return mString[index];
  gScratchByte = '\0';
  return gScratchByte;
}

const char& AAX_CString::operator[](uint32_t index) const {
  static const char kNul = '\0';
  if (index < mString.size()) return mString[index];
  return kNul;
}

std::ostream& operator<<(std::ostream& os, const AAX_CString& text) { return os << text.StdString(); }

std::istream& operator>>(std::istream& is, AAX_CString& text) { return is >> text.StdString(); }
