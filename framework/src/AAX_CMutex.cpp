#include "AAX_CMutex.h"

#include <atomic>
#include <new>
#include <pthread.h>

// The owner is read by threads that do not hold the lock, so it is atomic.
struct AAX_CMutex::Record {
  std::atomic<pthread_t> owner{0};
  pthread_mutex_t mutex;
};

namespace {
bool IsOwner(const std::atomic<pthread_t>& owner) {
  const pthread_t current = owner.load();
  return current != 0 && pthread_equal(current, pthread_self()) != 0;
}
}  // namespace

AAX_CMutex::AAX_CMutex() {
  Record* record = new (std::nothrow) Record;
  if (!record) return;
  if (pthread_mutex_init(&record->mutex, nullptr) != 0) {
    delete record;
    return;
  }
  mRecord = record;
}

AAX_CMutex::~AAX_CMutex() {
  if (mRecord) {
    pthread_mutex_destroy(&mRecord->mutex);
    delete mRecord;
    mRecord = nullptr;
  }
}

bool AAX_CMutex::Lock() {
  if (!mRecord) return false;
  if (IsOwner(mRecord->owner)) return false;
  if (pthread_mutex_lock(&mRecord->mutex) != 0) return false;
  mRecord->owner.store(pthread_self());
  return true;
}

bool AAX_CMutex::Try_Lock() {
  if (!mRecord) return false;
  if (IsOwner(mRecord->owner)) return true;
  if (pthread_mutex_trylock(&mRecord->mutex) != 0) return false;
  mRecord->owner.store(pthread_self());
  return true;
}

void AAX_CMutex::Unlock() {
  if (!mRecord || !IsOwner(mRecord->owner)) return;
  mRecord->owner.store(0);
  pthread_mutex_unlock(&mRecord->mutex);
}
