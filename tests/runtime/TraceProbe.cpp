// Traces from four threads, as components do, and ends: the trace test runs it
// with OPTIVANE_TRACE set to each kind of target, since the setting is read
// once per process.
#include <thread>
#include <vector>

#include "runtime/CDebugLog.h"

int main() {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                if (i % 2 == 0) optivane::CDebugLog().Trace("CProbe", "thread %d entry %d\n", t, i);
                else optivane::CDebugLog().TraceW(L"thread %d entry %d", t, i);  // no line end of its own
        });
    for (auto& thread : threads) thread.join();
}
