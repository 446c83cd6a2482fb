#pragma once
#include <windows.h>

#include <cstddef>

// How many per-account calls a remote computer gets at once (8): each one
// waits out a network round trip, so several in flight hide most of the
// waiting. 1 makes them one after the other, as on the local computer.
extern int RemoteCallsInFlight;

// One call of a batch: makes the call for `index` and stores its result at that
// index in `context`. It may run on any thread.
typedef void (*IndexedCall)(void* context, size_t index);

// Makes call(context, index) for every index below `count`, at most `inFlight`
// at once, and returns when all have returned. Indexes are taken in ascending
// order. With `inFlight` 1 (or a single call) every call is made in order on
// the calling thread; otherwise on worker threads of the process's thread pool
// (or on the calling thread, in order, when no worker can be started).
void RunIndexedCalls(size_t count, int inFlight, IndexedCall call, void* context);
