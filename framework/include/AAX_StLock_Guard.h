// Scoped lock on an AAX_CMutex: unlocks at the end of the scope only if its own Lock()
// locked, so a thread may nest guarded calls.
#pragma once

#include "AAX_CMutex.h"

class AAX_StLock_Guard {
public:
  explicit AAX_StLock_Guard(AAX_CMutex& mutex);
  ~AAX_StLock_Guard();
  AAX_StLock_Guard(const AAX_StLock_Guard&) = delete;
  AAX_StLock_Guard& operator=(const AAX_StLock_Guard&) = delete;

private:
  AAX_CMutex& mMutex;
  bool mLocked;
};
