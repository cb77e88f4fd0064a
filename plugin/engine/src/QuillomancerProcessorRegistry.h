#pragma once
// The process-wide active processor (the one constructed last) and the lock that guards it.
// Completions, the static entries and the destructor all go through this lock, so that no
// completion reaches a destroyed processor.

#include <cstdint>
#include <mutex>

class Quillomancer_HostProcessor;
class QuillomancerStoreClient;

std::mutex& QMActiveProcessorLock();
// Read and written only with QMActiveProcessorLock() held.
Quillomancer_HostProcessor*& QMActiveProcessorSlot();

// Length, start and end of the host's timeline selection from the QMts block; false when the
// block is not valid or end is not after start.
bool QMReadTimelineSelectionSamples(const QuillomancerStoreClient& store, int64_t* length, int64_t* start,
                                    int64_t* end);
