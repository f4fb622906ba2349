// Named events, and the waits on them and on started processes.
#include "state.h"

#include <algorithm>

namespace winsim {

namespace {

struct Event {
    bool signalled = false;
};
using EventPtr = std::shared_ptr<Event>;

std::map<uintptr_t, EventPtr> g_handles;
std::map<std::string, EventPtr> g_names;  // by name as given: names compare with case
std::vector<std::string> g_deadlocks;

HANDLE NewHandle(const EventPtr& event)
{
    uintptr_t value = NewHandleValue();
    g_handles[value] = event;
    return reinterpret_cast<HANDLE>(value);
}

// One handle a wait is given: a started process or an event.
struct Waitable {
    bool isProcess = false;
    size_t process = 0;
    EventPtr event;
};

bool Signalled(const Waitable& waitable)
{
    return waitable.isProcess ? ProcessRecord(waitable.process).ended : waitable.event->signalled;
}

}  // namespace

bool CloseObjectHandle(HANDLE handle) { return g_handles.erase(reinterpret_cast<uintptr_t>(handle)) != 0; }

void RecordDeadlock(const std::string& description) { g_deadlocks.push_back(description); }

void ResetObjects()
{
    g_handles.clear();
    g_names.clear();
    g_deadlocks.clear();
}

}  // namespace winsim

using namespace winsim;

// Every event is manual-reset, as the program makes them: a wait leaves it set.
extern "C" HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                                     LPCSTR lpName)
{
    Call call("CreateEventA");
    call.Raw(lpEventAttributes ? "attributes" : "NULL").Num(bManualReset).Num(bInitialState).Str(lpName);
    bool named = lpName && *lpName;
    auto existing = named ? g_names.find(lpName) : g_names.end();
    if (existing != g_names.end()) {
        HANDLE handle = NewHandle(existing->second);
        call.Done(HandleText(handle), ERROR_ALREADY_EXISTS);
        return handle;
    }
    auto event = std::make_shared<Event>();
    event->signalled = bInitialState != FALSE;
    if (named)
        g_names[lpName] = event;
    HANDLE handle = NewHandle(event);
    call.Done(HandleText(handle));
    SetError(0);  // as Windows and Wine do on success
    return handle;
}

extern "C" BOOL WINAPI SetEvent(HANDLE hEvent)
{
    Call call("SetEvent");
    call.Ptr(hEvent);
    auto found = g_handles.find(reinterpret_cast<uintptr_t>(hEvent));
    if (found == g_handles.end())
        return call.Fail(ERROR_INVALID_HANDLE);
    found->second->signalled = true;
    return call.Succeed();
}

// Waiting for all of them is not simulated: the program waits for the first.
extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds)
{
    Call call("WaitForMultipleObjects");
    std::string list;
    for (DWORD i = 0; lpHandles && i < nCount; ++i)
        list += (i ? " " : "") + HandleText(lpHandles[i]);
    std::string shown = std::to_string(nCount) + ", {" + list + "}, " + std::to_string(bWaitAll) + ", " +
                        (dwMilliseconds == INFINITE ? std::string("INFINITE") : std::to_string(dwMilliseconds));
    call.Raw(shown);
    if (nCount == 0 || !lpHandles || bWaitAll) {
        call.Done("WAIT_FAILED", ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<Waitable> waitables;
    for (DWORD i = 0; i < nCount; ++i) {
        Waitable waitable;
        auto event = g_handles.find(reinterpret_cast<uintptr_t>(lpHandles[i]));
        if (event != g_handles.end()) {
            waitable.event = event->second;
        } else if (WaitableProcess(lpHandles[i], &waitable.process)) {
            waitable.isProcess = true;
        } else {
            call.Done("WAIT_FAILED", ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        waitables.push_back(waitable);
    }
    for (;;) {
        for (DWORD i = 0; i < nCount; ++i) {
            if (Signalled(waitables[i])) {
                call.Done("WAIT_OBJECT_0 + " + std::to_string(i));
                return WAIT_OBJECT_0 + i;
            }
        }
        // Nothing is signalled yet: the next started process among them
        // ends, unless the wait only looks.
        if (dwMilliseconds == 0)
            break;
        auto running = std::find_if(waitables.begin(), waitables.end(), [](const Waitable& waitable) {
            return waitable.isProcess && !ProcessRecord(waitable.process).ended;
        });
        if (running == waitables.end())
            break;
        SimProcess& process = ProcessRecord(running->process);
        // A process sends its messages to the open dialog: with none open, it
        // has nobody to wait for.
        if (process.sentMessagesPending > 0 && OpenDialogWindow() != nullptr) {
            // It waits for this thread to take its message, which this wait never does.
            process.deadlocked = true;
            call.Done("WAIT_FAILED (deadlock: the process sends messages the wait does not take)");
            RecordDeadlock("WaitForMultipleObjects(" + shown + "): process " + std::to_string(process.id) +
                           " sends messages the wait does not take");
            return WAIT_FAILED;
        }
        EndStartedProcess(running->process, true);
    }
    if (dwMilliseconds == INFINITE) {
        call.Done("WAIT_FAILED (deadlock: nothing it waits for can change)");
        RecordDeadlock("WaitForMultipleObjects(" + shown + "): nothing it waits for can change");
        return WAIT_FAILED;
    }
    AddSleptMilliseconds(dwMilliseconds);
    AdvanceClock(dwMilliseconds);
    call.Done("WAIT_TIMEOUT");
    return WAIT_TIMEOUT;
}

// ---- Test controls ----

std::vector<std::string> SimDeadlocks() { return g_deadlocks; }
