#pragma once
// Random (version 4) UUIDs from the kernel's random source.

#include <string>

namespace qm::platform {

// A new random UUID in its 36-character text form, e.g. "0B6C1A52-5F0E-4C8E-9A4B-2F1D3C4B5A69"
// (upper-case hexadecimal digits when `upperCase`). Never throws for want of entropy: a failed
// read of the kernel's source falls back to std::random_device.
// [any-thread]
std::string randomUuidString(bool upperCase = true);

// True for the 36-character form with hexadecimal digits of either case and dashes at 8, 13,
// 18 and 23 (any version).
// [any-thread]
bool isUuidText(const std::string& text) noexcept;

}  // namespace qm::platform
