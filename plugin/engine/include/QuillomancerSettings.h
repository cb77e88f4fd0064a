#pragma once
// Engine settings kept in the host process's user defaults.

#include <string>

// Whether a generation adds a breath after the dialogue.
inline constexpr const char* kQuillomancer_BreathDefaultsKey = "com.quillomancer.addBreathAfterDialogue";

// The stored value read as a bool; `fallback` for an empty key or nothing stored. [any-thread]
bool QMReadBoolSetting(const std::string& key, bool fallback);
