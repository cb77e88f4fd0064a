#pragma once
// The engine's log lines: formatted here, appended to the plug-in log. Tests may observe them.

#include <functional>
#include <string>

// [any-thread]
void QMEngineLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void QMEngineLogLine(const std::string& line);

// Test hook: every line is also handed to the observer (empty function removes it).
void QMEngineLogSetObserver(std::function<void(const std::string&)> observer);
