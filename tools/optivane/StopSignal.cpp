#include "StopSignal.h"

#include <csignal>

namespace optivane::tool {

namespace {

volatile std::sig_atomic_t g_raised = 0;
void (*g_previousInterrupt)(int) = SIG_DFL;
void (*g_previousTerminate)(int) = SIG_DFL;

// Ignored signals stay ignored.
void UncatchBoth() {
    if (g_previousInterrupt != SIG_IGN) std::signal(SIGINT, SIG_DFL);
    if (g_previousTerminate != SIG_IGN) std::signal(SIGTERM, SIG_DFL);
}

extern "C" void OnStopSignal(int) {
    g_raised = 1;
    // The next one, of either kind, is not caught: a stuck stop can still be
    // interrupted.
    UncatchBoth();
}

}  // namespace

StopSignal::StopSignal() {
    g_raised = 0;
    g_previousInterrupt = std::signal(SIGINT, OnStopSignal);
    g_previousTerminate = std::signal(SIGTERM, OnStopSignal);
    // A signal that whoever started us ignores stays ignored.
    if (g_previousInterrupt == SIG_IGN) std::signal(SIGINT, SIG_IGN);
    if (g_previousTerminate == SIG_IGN) std::signal(SIGTERM, SIG_IGN);
}

StopSignal::~StopSignal() {
    std::signal(SIGINT, g_previousInterrupt == SIG_ERR ? SIG_DFL : g_previousInterrupt);
    std::signal(SIGTERM, g_previousTerminate == SIG_ERR ? SIG_DFL : g_previousTerminate);
}

bool StopSignal::Raised() { return g_raised != 0; }

void StopSignal::LetNextSignalQuit() { UncatchBoth(); }

}  // namespace optivane::tool
