// A batch of independent calls spread over a few worker threads.
#include "parallelcalls.h"

int RemoteCallsInFlight = 8;

namespace {
struct Batch
{
    IndexedCall call;
    void* context;
    size_t count;
    volatile LONG64 next;     // the next index to take
    volatile LONG unfinished; // workers still running, plus the caller
    HANDLE done;              // set by the last worker to finish
};

// Takes indexes until none is left.
void DrainBatch(Batch& batch)
{
    for (;;) {
        LONG64 index = InterlockedIncrement64(&batch.next) - 1;
        if (index < 0 || static_cast<ULONG64>(index) >= batch.count)
            return;
        batch.call(batch.context, static_cast<size_t>(index));
    }
}

void CALLBACK BatchWorker(PTP_CALLBACK_INSTANCE, void* parameter)
{
    Batch& batch = *static_cast<Batch*>(parameter);
    DrainBatch(batch);
    if (InterlockedDecrement(&batch.unfinished) == 0)
        SetEvent(batch.done);
}

void RunInOrder(size_t count, IndexedCall call, void* context)
{
    for (size_t i = 0; i < count; ++i)
        call(context, i);
}
} // namespace

void RunIndexedCalls(size_t count, int inFlight, IndexedCall call, void* context)
{
    if (inFlight <= 1 || count <= 1) {
        RunInOrder(count, call, context);
        return;
    }
    Batch batch = {call, context, count, 0, 1, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (batch.done == nullptr) {
        RunInOrder(count, call, context);
        return;
    }
    size_t workers = count < static_cast<size_t>(inFlight) ? count : static_cast<size_t>(inFlight);
    size_t started = 0;
    for (; started < workers; ++started) {
        InterlockedIncrement(&batch.unfinished);
        if (!TrySubmitThreadpoolCallback(BatchWorker, &batch, nullptr)) {
            InterlockedDecrement(&batch.unfinished);
            break;
        }
    }
    // Without any worker the calls are made here; the workers that did start
    // take every index between them.
    if (started == 0)
        DrainBatch(batch);
    if (InterlockedDecrement(&batch.unfinished) != 0)
        WaitForSingleObject(batch.done, INFINITE);
    CloseHandle(batch.done);
}
