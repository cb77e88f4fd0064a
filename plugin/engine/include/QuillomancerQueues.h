#pragma once
// The two queues the engine's jobs use: the global queue of default priority (one block per
// service request) and the main queue (every result is applied there).

#include <functional>

// [any-thread]
void QMDispatchGlobalAsync(std::function<void()> block);
// [any-thread]
void QMDispatchMainAsync(std::function<void()> block);
