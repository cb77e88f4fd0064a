// Base types of the component object model: result and count types and the 16-byte identifier.
#pragma once

#include <cstdint>

typedef int32_t ACFRESULT;
typedef uint32_t acfUInt32;
typedef int32_t acfSInt32;
typedef uint16_t acfUInt16;
typedef uint8_t acfUInt8;

// 16-byte identifier of an interface, a component or an attribute.
struct _acfUID {
  acfUInt32 Data1;
  acfUInt16 Data2;
  acfUInt16 Data3;
  acfUInt8 Data4[8];
};
typedef _acfUID acfUID;
typedef _acfUID acfIID;
typedef _acfUID acfCLSID;

bool operator==(const _acfUID& a, const _acfUID& b) noexcept;
inline bool operator!=(const _acfUID& a, const _acfUID& b) noexcept { return !(a == b); }
