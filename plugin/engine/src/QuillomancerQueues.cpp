#include "QuillomancerQueues.h"

#include "qm/platform/dispatch.h"

void QMDispatchGlobalAsync(std::function<void()> block) { qm::platform::dispatchGlobal(std::move(block)); }

void QMDispatchMainAsync(std::function<void()> block) { qm::platform::dispatchMain(std::move(block)); }
