// Built only in the tsan preset, and run there under cmake/tsan.supp: a race of our own on a
// thread GLib starts, in a function GLib calls. Its test passes only when the race is reported,
// so a suppression wide enough to cover a library that calls our code fails it.

#include <glib.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

int shared = 0;
// Relaxed on purpose: they fix the order of the two writes without ordering them for the
// sanitizer, and keep GLib's thread alive until the second write is done.
std::atomic<bool> firstWritten{false};
std::atomic<bool> secondWritten{false};

gpointer writeFirst(gpointer) {
  shared = 1;
  firstWritten.store(true, std::memory_order_relaxed);
  while (!secondWritten.load(std::memory_order_relaxed)) std::this_thread::yield();
  return nullptr;
}

}  // namespace

int main() {
  GThread* thread = g_thread_new("race-through-glib", writeFirst, nullptr);
  while (!firstWritten.load(std::memory_order_relaxed)) std::this_thread::yield();
  shared = 2;  // unordered with the write on GLib's thread
  secondWritten.store(true, std::memory_order_relaxed);
  g_thread_join(thread);
  std::printf("shared = %d\n", shared);
  return 0;
}
