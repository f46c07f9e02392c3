#include "cli/StopSignals.h"

#include <csignal>

namespace tav {

namespace {

volatile std::sig_atomic_t g_received = 0;
struct sigaction g_previousInt, g_previousTerm;

// Async-signal-safe: a flag, or the default action for a second signal.
extern "C" void onStopSignal(int sig) {
    if (g_received != 0) {
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        ::sigaction(sig, &dfl, nullptr);
        ::raise(sig);
        return;
    }
    g_received = sig;
}

} // namespace

StopSignals::StopSignals() {
    g_received = 0;
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a question waiting on the terminal is interrupted and
    // reads as "no".
    sa.sa_flags = 0;
    ::sigaction(SIGINT, &sa, &g_previousInt);
    ::sigaction(SIGTERM, &sa, &g_previousTerm);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
}

int StopSignals::received() {
    return g_received;
}

} // namespace tav
