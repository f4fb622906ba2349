// The simulated clock that GetTickCount reads, and the messages other
// programs post or send to the open dialog when the clock reaches a time.
#include "state.h"

#include <algorithm>

namespace winsim {

namespace {

// 500 ms before the tick count wraps: only differences of ticks work.
const DWORD TICKS_AT_RESET = 0xFFFFFFFFu - 499;

struct Planned {
    DWORD at;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

DWORD g_now = 0;  // milliseconds since SimReset
DWORD g_perCall = 0;
std::vector<Planned> g_planned;  // posted messages, by time

// The program that sends every period: due at g_nextSend unless it waits for an answer.
DWORD g_sendPeriod = 0;
UINT g_periodicMessage = WM_NULL;
DWORD g_nextSend = 0;
bool g_awaitingAnswer = false;

bool PeriodicSendPlanned() { return g_sendPeriod != 0 && !g_awaitingAnswer; }

void Arrive()
{
    while (!g_planned.empty() && g_planned.front().at <= g_now) {
        Planned planned = g_planned.front();
        g_planned.erase(g_planned.begin());
        HWND dialog = OpenDialogWindow();
        Record("(" + MessageName(planned.message) + (dialog ? " posted to the dialog" : " dropped: no dialog") +
               " at " + std::to_string(planned.at) + " ms)");
        if (dialog)
            QueueMessage(dialog, planned.message, planned.wParam, planned.lParam, false);
    }
    if (PeriodicSendPlanned() && g_nextSend <= g_now && OpenDialogWindow() != nullptr) {
        g_awaitingAnswer = true;
        Record("(" + MessageName(g_periodicMessage) + " sent to the dialog at " + std::to_string(g_now) + " ms)");
        QueueMessage(OpenDialogWindow(), g_periodicMessage, 0, 0, true, true);
    }
}

}  // namespace

DWORD Now() { return g_now; }

void AdvanceClock(DWORD milliseconds)
{
    g_now += milliseconds;
    Arrive();
}

void AdvanceClockForCall() { AdvanceClock(g_perCall); }

DWORD UntilNextArrival()
{
    DWORD next = INFINITE;
    if (!g_planned.empty())
        next = g_planned.front().at;
    if (PeriodicSendPlanned() && OpenDialogWindow() != nullptr)
        next = std::min(next, std::max(g_nextSend, g_now));
    return next == INFINITE ? INFINITE : (next > g_now ? next - g_now : 0);
}

void PeriodicSendAnswered()
{
    g_awaitingAnswer = false;
    g_nextSend = g_now + g_sendPeriod;
}

void ResetClock()
{
    g_now = 0;
    g_perCall = 0;
    g_planned.clear();
    g_sendPeriod = 0;
    g_awaitingAnswer = false;
}

}  // namespace winsim

using namespace winsim;

extern "C" DWORD WINAPI GetTickCount(void) { return TICKS_AT_RESET + g_now; }

// ---- Test controls ----

void SimSetMillisecondsPerCall(DWORD milliseconds) { g_perCall = milliseconds; }

void SimPostMessageAt(DWORD at, UINT message, WPARAM wParam, LPARAM lParam)
{
    Planned planned = {at, message, wParam, lParam};
    auto later = std::upper_bound(g_planned.begin(), g_planned.end(), at,
                                  [](DWORD time, const Planned& other) { return time < other.at; });
    g_planned.insert(later, planned);
}

void SimSendEvery(DWORD period, UINT message)
{
    g_sendPeriod = period;
    g_periodicMessage = message;
    g_nextSend = g_now;
    g_awaitingAnswer = false;
}
