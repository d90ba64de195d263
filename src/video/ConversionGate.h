// Lets the conversions of the deliverer's ring take turns: in push order, and
// at most `width` at a time.
//
// Why turns: when OpenCV spreads a single conversion over all cores, four
// conversions at once would share the cores evenly and all finish late, so
// the ring, which frees its slots only in push order, fills up and drops
// frames. One after another, each on every core, the oldest frame is done
// first and its slot comes free soonest. Conversions that each keep to one
// thread go one a core, oldest first. How wide the gate is for a run is
// chosen by ConversionSharing.
//
// The producer issues a ticket to each job it triggers, in push order. Every
// ticket issued must be used exactly once, by Take then Give, or by Pass, or
// a later ticket waits for it for ever; Abandon ends all waiting where a
// ticket may never come (tasks deleted with a job not yet started).
//
// Threads: the deliverer restarts and abandons the gate while no worker holds
// a turn; the producer issues tickets; the tasks' workers take, give and
// pass. Everything is locked.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace optivane {

class ConversionGate {
public:
    // Conversions at once on a machine with the given cores while OpenCV
    // runs the given number of threads: the cores left to each, at least one;
    // unlimited (the ring's size) when OpenCV works on one thread.
    static int WidthFor(int cores, int openCvThreads, int ringSize);

    // The next ticket, for a job about to be triggered.
    int64_t Issue();

    // Tickets count from 0 again, width conversions at once. Only while no
    // worker holds or waits for a turn.
    void Restart(int width);
    // Turns are no longer kept: every waiter and every later ticket goes at
    // once. Until the next Restart.
    void Abandon();

    // Waits until every earlier ticket has started or passed and fewer than
    // width conversions run, then counts this one as running.
    void Take(int64_t ticket);
    // Ends a turn that Take began.
    void Give();
    // For a ticket whose job converts nothing: waits only until the earlier
    // tickets have started or passed, so that later ones are not held up.
    void Pass(int64_t ticket);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int64_t m_issued = 0;
    int64_t m_nextTicket = 0;
    int m_running = 0;
    int m_width = 1;
    bool m_abandoned = false;
};

}  // namespace optivane
