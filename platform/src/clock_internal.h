#pragma once
// Between the clock (time.cpp) and the delayed blocks (dispatch.cpp): which clock is in force.

namespace qm::platform::internal {

// True while a ManualClock exists.
bool manualClockActive();
// The manual clock's time, or the real steady time in seconds.
double clockNow();
// Sets the manual clock's time (used while it advances).
void setManualTime(double seconds);

// Queues every delayed block due at or before `until` (manual clock only), in due order, moving
// the manual time to each block's due time; drains the main queue after each one when the caller
// may. Ends with the manual time at `until`.
void releaseDelayedBlocksUntil(double until);
// The real clock takes over again: blocks still waiting are rescheduled on real time with the
// delay they had left.
void manualClockEnded(double manualNow);

}  // namespace qm::platform::internal
