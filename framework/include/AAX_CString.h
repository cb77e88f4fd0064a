// The byte string that crosses the host interface: 8-bit bytes with no encoding rules.
// Positions past the end never crash or write outside the text: they are clamped to the
// end (insertions append, erasures and sub-strings take nothing), and a null C string
// counts as the empty string everywhere.
#pragma once

#include "AAX_IString.h"

#include <cstdint>
#include <iosfwd>
#include <string>

class AAX_CString : public AAX_IString {
public:
  static constexpr uint32_t kInvalidIndex = 0xFFFFFFFFu;
  static constexpr uint32_t kMaxLength = 0xFFFFFFFEu;

  AAX_CString() = default;
  AAX_CString(const char* text);          // NOLINT: implicit like std::string
  AAX_CString(const std::string& text);   // NOLINT
  AAX_CString(const AAX_CString& other) = default;
  AAX_CString(AAX_CString&& other) noexcept = default;
  AAX_CString(const AAX_IString& other);  // NOLINT
  ~AAX_CString() override = default;

  // AAX_IString
  uint32_t Length() const override;
  uint32_t MaxLength() const override;
  const char* Get() const override;
  void Set(const char* text) override;
  AAX_CString& operator=(const AAX_IString& other) override;
  AAX_CString& operator=(const char* text) override;

  AAX_CString& operator=(const AAX_CString& other);
  AAX_CString& operator=(AAX_CString&& other) noexcept;
  AAX_CString& operator=(const std::string& text);

  const char* CString() const { return mString.c_str(); }
  std::string& StdString() { return mString; }
  const std::string& StdString() const { return mString; }

  void Clear() { mString.clear(); }
  bool Empty() const { return mString.empty(); }

  // The AAX_CString and std::string forms append up to the first NUL.
  AAX_CString& Append(const AAX_CString& other);
  AAX_CString& Append(const char* text);
  AAX_CString& operator+=(const AAX_CString& other);
  AAX_CString& operator+=(const std::string& text);
  AAX_CString& operator+=(const char* text);
  AAX_CString& AppendNumber(double value, int32_t precision);
  AAX_CString& AppendNumber(int32_t value);
  AAX_CString& AppendHex(int32_t value, int32_t width);

  AAX_CString& Insert(uint32_t pos, const AAX_CString& other);
  AAX_CString& Insert(uint32_t pos, const char* text);
  AAX_CString& InsertNumber(uint32_t pos, double value, int32_t precision);
  AAX_CString& InsertNumber(uint32_t pos, int32_t value);
  AAX_CString& InsertHex(uint32_t pos, int32_t value, int32_t width);
  AAX_CString& Replace(uint32_t pos, uint32_t n, const AAX_CString& other);
  AAX_CString& Replace(uint32_t pos, uint32_t n, const char* text);
  AAX_CString& Erase(uint32_t pos, uint32_t n);
  void SubString(uint32_t pos, uint32_t n, AAX_IString* out) const;

  uint32_t FindFirst(const AAX_CString& other) const;
  uint32_t FindFirst(const char* text) const;
  uint32_t FindFirst(char c) const;
  uint32_t FindLast(const AAX_CString& other) const;
  uint32_t FindLast(const char* text) const;
  uint32_t FindLast(char c) const;

  // Read a number from the start (leading white space skipped, trailing text ignored).
  // On failure, including a value that does not fit, write 0 and answer false.
  bool ToDouble(double* out) const;
  bool ToInteger(int32_t* out) const;

  bool operator==(const AAX_CString& other) const;  // C-string comparison (stops at NUL)
  bool operator!=(const AAX_CString& other) const { return !(*this == other); }
  bool operator==(const char* text) const;
  bool operator!=(const char* text) const { return !(*this == text); }
  bool operator==(const std::string& text) const;   // whole texts
  bool operator!=(const std::string& text) const { return !(*this == text); }
  bool operator<(const AAX_CString& other) const;
  bool operator>(const AAX_CString& other) const;

  // Out of range: the read-only form gives NUL; the modifiable form a scratch byte
  // that is not part of the text.
  char& operator[](uint32_t index);
  const char& operator[](uint32_t index) const;

private:
  std::string mString;
};

std::ostream& operator<<(std::ostream& os, const AAX_CString& text);
std::istream& operator>>(std::istream& is, AAX_CString& text);
