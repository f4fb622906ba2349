// Named events and mutexes, the simulated processes that own mutexes, and the
// waits on them and on started processes.
#include "state.h"

#include <algorithm>

namespace winsim {

namespace {

enum class Kind { Event, Mutex };

struct Object {
    Kind kind = Kind::Event;
    std::string name;  // "" when unnamed
    // An event.
    bool manualReset = false;
    bool signalled = false;
    // A mutex: the owning process (0 when free) and how often it took it.
    DWORD owner = 0;
    unsigned count = 0;
    bool abandoned = false;  // its owner ended without releasing it
    int handles = 0;
};
using ObjectPtr = std::shared_ptr<Object>;

struct ObjectHandle {
    ObjectPtr object;
    DWORD access = 0;
    DWORD process = 0;  // whose handle it is
};

std::map<uintptr_t, ObjectHandle> g_handles;
std::map<std::string, ObjectPtr> g_names;  // by name as given: names compare with case
DWORD g_program = 0;  // the program's process
DWORD g_current = 0;  // the process the calls belong to; 0: the program's
std::vector<std::string> g_deadlocks;

const DWORD MUTANT_QUERY_STATE = 0x0001;
const DWORD EVENT_QUERY_STATE = 0x0001;

const char* KindName(Kind kind) { return kind == Kind::Event ? "event" : "mutex"; }

HANDLE NewHandle(const ObjectPtr& object, DWORD access)
{
    uintptr_t value = NewHandleValue();
    g_handles[value] = ObjectHandle{object, access, CurrentProcessId()};
    ++object->handles;
    return reinterpret_cast<HANDLE>(value);
}

ObjectHandle* FindHandle(HANDLE handle)
{
    auto found = g_handles.find(reinterpret_cast<uintptr_t>(handle));
    return found == g_handles.end() ? nullptr : &found->second;
}

// The rights an open asks for, generic ones mapped as NT maps them for the
// kind. The 95 family has no access control: every right, as Wine gives there.
DWORD GrantedAccess(Kind kind, DWORD access)
{
    DWORD all = kind == Kind::Event ? EVENT_ALL_ACCESS : MUTEX_ALL_ACCESS;
    if (!SimIsNtPlatform())
        return all;
    DWORD granted = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (access & GENERIC_READ)
        granted |= READ_CONTROL | (kind == Kind::Event ? EVENT_QUERY_STATE : MUTANT_QUERY_STATE);
    if (access & GENERIC_WRITE)
        granted |= READ_CONTROL | (kind == Kind::Event ? EVENT_MODIFY_STATE : 0);
    if (access & GENERIC_EXECUTE)
        granted |= READ_CONTROL | SYNCHRONIZE;
    if (access & GENERIC_ALL)
        granted |= all;
    return granted;
}

// CreateEventA and CreateMutexA: a new handle to the named object when it
// exists (ERROR_ALREADY_EXISTS), else to a new one made by make.
HANDLE Create(Call& call, Kind kind, LPCSTR name, const std::function<void(Object&)>& make)
{
    DWORD all = kind == Kind::Event ? EVENT_ALL_ACCESS : MUTEX_ALL_ACCESS;
    bool named = name && *name;
    auto existing = named ? g_names.find(name) : g_names.end();
    if (existing != g_names.end()) {
        if (existing->second->kind != kind) {
            call.Done("NULL (a " + std::string(KindName(existing->second->kind)) + ")", ERROR_INVALID_HANDLE);
            return nullptr;
        }
        HANDLE handle = NewHandle(existing->second, all);
        call.Done(HandleText(handle), ERROR_ALREADY_EXISTS);
        return handle;
    }
    auto object = std::make_shared<Object>();
    object->kind = kind;
    object->name = named ? name : "";
    make(*object);
    if (named)
        g_names[name] = object;
    HANDLE handle = NewHandle(object, all);
    call.Done(HandleText(handle));
    SetError(0);  // as Windows and Wine do on success
    return handle;
}

HANDLE Open(Call& call, Kind kind, DWORD access, LPCSTR name)
{
    if (!name) {
        call.Done("NULL", ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto found = g_names.find(name);
    if (found == g_names.end()) {
        call.Done("NULL", ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (found->second->kind != kind) {
        call.Done("NULL (a " + std::string(KindName(found->second->kind)) + ")", ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HANDLE handle = NewHandle(found->second, GrantedAccess(kind, access));
    call.Done(HandleText(handle));
    return handle;
}

// SetEvent and ResetEvent.
BOOL ChangeEvent(const char* function, HANDLE handle, bool signalled)
{
    Call call(function);
    call.Ptr(handle);
    ObjectHandle* found = FindHandle(handle);
    if (!found || found->object->kind != Kind::Event)
        return call.Fail(ERROR_INVALID_HANDLE);
    if (!(found->access & EVENT_MODIFY_STATE))
        return call.Fail(ERROR_ACCESS_DENIED);
    found->object->signalled = signalled;
    return call.Succeed();
}

// ---- Waits ----

// One handle a wait is given: a started process or an event or mutex.
struct Waitable {
    bool isProcess = false;
    size_t process = 0;
    ObjectPtr object;
};

DWORD Classify(DWORD count, const HANDLE* handles, std::vector<Waitable>* waitables)
{
    for (DWORD i = 0; i < count; ++i) {
        Waitable waitable;
        if (ObjectHandle* found = FindHandle(handles[i])) {
            if (!(found->access & SYNCHRONIZE))
                return ERROR_ACCESS_DENIED;
            waitable.object = found->object;
        } else if (WaitableProcess(handles[i], &waitable.process)) {
            waitable.isProcess = true;
        } else {
            return ERROR_INVALID_HANDLE;
        }
        waitables->push_back(waitable);
    }
    return 0;
}

bool Signalled(const Waitable& waitable)
{
    if (waitable.isProcess)
        return ProcessRecord(waitable.process).ended;
    const Object& object = *waitable.object;
    if (object.kind == Kind::Event)
        return object.signalled;
    return object.owner == 0 || object.owner == CurrentProcessId();
}

// What a satisfied wait does to the object; true for an abandoned mutex.
bool Satisfy(const Waitable& waitable)
{
    if (waitable.isProcess)
        return false;
    Object& object = *waitable.object;
    if (object.kind == Kind::Event) {
        if (!object.manualReset)
            object.signalled = false;
        return false;
    }
    bool abandoned = object.abandoned;
    object.abandoned = false;
    object.owner = CurrentProcessId();
    ++object.count;
    return abandoned;
}

// The result when the wait is satisfied now, WAIT_TIMEOUT when it is not.
DWORD Satisfied(const std::vector<Waitable>& waitables, BOOL waitAll)
{
    if (!waitAll) {
        for (size_t i = 0; i < waitables.size(); ++i)
            if (Signalled(waitables[i]))
                return (Satisfy(waitables[i]) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + DWORD(i);
        return WAIT_TIMEOUT;
    }
    for (const Waitable& waitable : waitables)
        if (!Signalled(waitable))
            return WAIT_TIMEOUT;
    bool abandoned = false;
    for (const Waitable& waitable : waitables)
        abandoned = Satisfy(waitable) || abandoned;
    return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
}

std::string ResultText(DWORD result, bool single)
{
    if (result == WAIT_TIMEOUT)
        return "WAIT_TIMEOUT";
    bool abandoned = result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + MAXIMUM_WAIT_OBJECTS;
    DWORD index = abandoned ? result - WAIT_ABANDONED_0 : result - WAIT_OBJECT_0;
    std::string text = abandoned ? (single ? "WAIT_ABANDONED" : "WAIT_ABANDONED_0") : "WAIT_OBJECT_0";
    return single ? text : text + " + " + std::to_string(index);
}

DWORD Wait(const char* function, DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, bool single)
{
    Call call(function);
    std::string shown;
    if (single) {
        shown = HandleText(handles ? handles[0] : nullptr);
    } else {
        std::string list;
        for (DWORD i = 0; handles && i < count && i < 8; ++i)
            list += (i ? " " : "") + HandleText(handles[i]);
        shown = std::to_string(count) + ", {" + list + "}, " + std::to_string(waitAll);
    }
    shown += ", " + (milliseconds == INFINITE ? std::string("INFINITE") : std::to_string(milliseconds));
    call.Raw(shown);
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        call.Done("WAIT_FAILED", ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<Waitable> waitables;
    if (DWORD error = Classify(count, handles, &waitables)) {
        call.Done("WAIT_FAILED", error);
        return WAIT_FAILED;
    }
    for (;;) {
        DWORD result = Satisfied(waitables, waitAll);
        if (result != WAIT_TIMEOUT) {
            call.Done(ResultText(result, single));
            return result;
        }
        // Nothing is signalled yet: the next started process among them
        // ends, unless the wait only looks.
        if (milliseconds == 0)
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
            RecordDeadlock(std::string(function) + "(" + shown + "): process " + std::to_string(process.id) +
                           " sends messages the wait does not take");
            return WAIT_FAILED;
        }
        EndStartedProcess(running->process, true);
    }
    if (milliseconds == INFINITE) {
        call.Done("WAIT_FAILED (deadlock: nothing it waits for can change)");
        RecordDeadlock(std::string(function) + "(" + shown + "): nothing it waits for can change");
        return WAIT_FAILED;
    }
    AddSleptMilliseconds(milliseconds);
    AdvanceClock(milliseconds);
    call.Done("WAIT_TIMEOUT");
    return WAIT_TIMEOUT;
}

}  // namespace

DWORD CurrentProcessId() { return g_current ? g_current : g_program; }

void RunAsProcess(DWORD id, const std::function<void()>& body)
{
    DWORD saved = g_current;
    g_current = id;
    body();
    g_current = saved;
}

void EndProcessObjects(DWORD id)
{
    std::vector<uintptr_t> closing;
    for (auto& entry : g_handles) {
        Object& object = *entry.second.object;
        if (object.kind == Kind::Mutex && object.owner == id) {
            object.owner = 0;
            object.count = 0;
            object.abandoned = true;
        }
        if (entry.second.process == id)
            closing.push_back(entry.first);
    }
    for (uintptr_t value : closing)
        CloseObjectHandle(reinterpret_cast<HANDLE>(value));
}

bool CloseObjectHandle(HANDLE handle)
{
    auto found = g_handles.find(reinterpret_cast<uintptr_t>(handle));
    if (found == g_handles.end())
        return false;
    ObjectPtr object = found->second.object;
    g_handles.erase(found);
    // The name goes with the last handle, even while a process owns the mutex.
    if (--object->handles == 0 && !object->name.empty()) {
        auto named = g_names.find(object->name);
        if (named != g_names.end() && named->second == object)
            g_names.erase(named);
    }
    return true;
}

void RecordDeadlock(const std::string& description) { g_deadlocks.push_back(description); }

void ResetObjects()
{
    g_handles.clear();
    g_names.clear();
    g_deadlocks.clear();
    g_current = 0;
    g_program = NewProcessId();
}

}  // namespace winsim

using namespace winsim;

extern "C" HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                                     LPCSTR lpName)
{
    Call call("CreateEventA");
    call.Raw(lpEventAttributes ? "attributes" : "NULL").Num(bManualReset).Num(bInitialState).Str(lpName);
    return Create(call, Kind::Event, lpName, [&](Object& event) {
        event.manualReset = bManualReset != FALSE;
        event.signalled = bInitialState != FALSE;
    });
}

extern "C" HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    Call call("OpenEventA");
    call.Raw(Hex(dwDesiredAccess)).Num(bInheritHandle).Str(lpName);
    return Open(call, Kind::Event, dwDesiredAccess, lpName);
}

extern "C" BOOL WINAPI SetEvent(HANDLE hEvent) { return ChangeEvent("SetEvent", hEvent, true); }
extern "C" BOOL WINAPI ResetEvent(HANDLE hEvent) { return ChangeEvent("ResetEvent", hEvent, false); }

extern "C" HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName)
{
    Call call("CreateMutexA");
    call.Raw(lpMutexAttributes ? "attributes" : "NULL").Num(bInitialOwner).Str(lpName);
    return Create(call, Kind::Mutex, lpName, [&](Object& mutex) {
        if (bInitialOwner) {
            mutex.owner = CurrentProcessId();
            mutex.count = 1;
        }
    });
}

extern "C" HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    Call call("OpenMutexA");
    call.Raw(Hex(dwDesiredAccess)).Num(bInheritHandle).Str(lpName);
    return Open(call, Kind::Mutex, dwDesiredAccess, lpName);
}

// Needs no right beyond the handle: only the owner may release.
extern "C" BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    Call call("ReleaseMutex");
    call.Ptr(hMutex);
    ObjectHandle* found = FindHandle(hMutex);
    if (!found || found->object->kind != Kind::Mutex)
        return call.Fail(ERROR_INVALID_HANDLE);
    Object& mutex = *found->object;
    if (mutex.owner != CurrentProcessId())
        return call.Fail(ERROR_NOT_OWNER);
    if (--mutex.count == 0)
        mutex.owner = 0;
    return call.Succeed();
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    return Wait("WaitForSingleObject", 1, &hHandle, FALSE, dwMilliseconds, true);
}

extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds)
{
    return Wait("WaitForMultipleObjects", nCount, lpHandles, bWaitAll, dwMilliseconds, false);
}

// ---- Test controls ----

DWORD SimCurrentProcessId() { return CurrentProcessId(); }

DWORD SimRunInOtherProcess(const std::function<void()>& body)
{
    DWORD id = NewProcessId();
    RunAsProcess(id, body);
    return id;
}

void SimEndProcess(DWORD processId, DWORD exitCode)
{
    if (processId == 0 || EndStartedProcessWithId(processId, exitCode))
        return;
    EndProcessObjects(processId);
    if (processId == g_program)
        g_program = NewProcessId();
}

std::vector<std::string> SimDeadlocks() { return g_deadlocks; }
