// Non-recursive lock that remembers its owner: the owner asking again neither blocks nor
// locks twice (Lock answers false, Try_Lock true), and only the owner can unlock.
#pragma once

class AAX_CMutex {
public:
  AAX_CMutex();
  ~AAX_CMutex();
  AAX_CMutex(const AAX_CMutex&) = delete;
  AAX_CMutex& operator=(const AAX_CMutex&) = delete;

  // [any-thread] false without a usable lock or when the caller already owns it.
  bool Lock();
  // [any-thread] true, without locking again, when the caller already owns it.
  bool Try_Lock();
  // [any-thread] Only the owner unlocks; from any other thread nothing happens.
  void Unlock();

private:
  struct Record;
  Record* mRecord = nullptr;
};
