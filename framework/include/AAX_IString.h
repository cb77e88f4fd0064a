// The abstract string the host hands the plug-in to fill (names, value texts, host name).
#pragma once

#include <cstdint>

class AAX_IString {
public:
  virtual ~AAX_IString() = default;
  virtual uint32_t Length() const = 0;       // byte count
  virtual uint32_t MaxLength() const = 0;
  virtual const char* Get() const = 0;       // NUL-terminated text
  virtual void Set(const char* text) = 0;
  virtual AAX_IString& operator=(const AAX_IString& other) = 0;
  virtual AAX_IString& operator=(const char* text) = 0;

protected:
  // Declared so that implementations keep their implicit copies (the virtual copy
  // assignment above would otherwise make copying a deprecated, warned-about operation).
  AAX_IString() = default;
  AAX_IString(const AAX_IString&) = default;
};
