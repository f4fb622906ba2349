// Started programs: CreateProcessA, ShellExecuteA and ShellExecuteExA are
// recorded and "start" when their program file exists; a test callback runs
// at the start. A started process lives until something waits for it: each
// wait first delivers the messages it is set to send, then sees it end.
#include "state.h"

#include <shellapi.h>

namespace winsim {

namespace {

std::vector<SimProcess> g_processes;
// What a process started by CreateProcessA holds while it runs: its program
// file and its current directory (by process index; none for ShellExecuteA).
struct Holds {
    NodePtr program;
    NodePtr directory;
};
std::map<size_t, Holds> g_holds;
// Process and thread handles -> process index: a thread stands for its process.
std::map<uintptr_t, size_t> g_waitable;
std::function<void(const SimProcess&)> g_onStart;
bool g_declineConsent = false;
DWORD g_shellExecuteError = 0;
int g_sentPerProcess = 0;
UINT g_sentMessage = WM_NULL;
DWORD g_nextId = 0x100;
DWORD g_exitCode = 0;

std::string FolderOf(const std::string& path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program a command line starts. A quoted name runs to the closing quote.
// Otherwise, as Windows does, "C:\Program Files\a b.exe x" tries "C:\Program",
// then "C:\Program Files\a", and so on up to each blank.
std::string ProgramOfCommandLine(const std::string& commandLine, DWORD* error)
{
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        std::string name = commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        return FindProgram(name, error);
    }
    DWORD firstError = 0;
    for (size_t end = 0; end <= commandLine.size(); ++end) {
        if (end < commandLine.size() && !IsBlank(commandLine[end]))
            continue;
        if (end == 0)
            continue;
        DWORD attemptError = 0;
        std::string program = FindProgram(commandLine.substr(0, end), &attemptError);
        if (!program.empty())
            return program;
        if (firstError == 0)
            firstError = attemptError;
    }
    *error = firstError ? firstError : ERROR_FILE_NOT_FOUND;
    return "";
}

// Why the loader cannot map a program file, 0 when it can: the access
// check comes first, then the sharing of handles already open on it.
DWORD ImageError(const std::string& program)
{
    Found found = LocateFile(program.c_str());
    if (!found.node || found.node->directory)
        return 0;
    if (Refused(found.node.get(), FILE_EXECUTE))
        return ERROR_ACCESS_DENIED;
    return ImageOpenAllowed(found.node.get()) ? 0 : ERROR_SHARING_VIOLATION;
}

bool IsProgramName(const std::string& path)
{
    std::string upper = Upper(path);
    auto endsWith = [&](const char* extension) {
        return upper.size() > 4 && upper.compare(upper.size() - 4, 4, extension) == 0;
    };
    return endsWith(".EXE") || endsWith(".COM");
}

// ShellExecuteA's answer for a failure, as Wine gives it: the error itself
// below 32, ERROR_BAD_FORMAT (11) above; a declined consent gives
// SE_ERR_ACCESSDENIED as on Windows.
uintptr_t ShellExecuteResult(DWORD error)
{
    if (error == ERROR_CANCELLED)
        return SE_ERR_ACCESSDENIED;
    return error < 32 ? error : 11;
}

void Started(size_t index)
{
    if (g_onStart)
        g_onStart(SimProcess(g_processes[index]));  // a copy: the callback may start more
}

DWORD NewProcessId()
{
    DWORD id = g_nextId;
    g_nextId += 4;  // as Windows numbers them
    return id;
}

SimProcess NewProcess(bool viaShellExecute)
{
    SimProcess process;
    process.id = NewProcessId();
    process.viaShellExecute = viaShellExecute;
    process.exitCode = g_exitCode;
    process.token = ProcessToken();
    process.sentMessagesPending = g_sentPerProcess;
    process.sentMessage = g_sentMessage;
    return process;
}

// What ShellExecuteA and ShellExecuteExA ask for.
struct ShellRequest {
    const char* verb;
    const char* file;
    const char* parameters;
    const char* directory;
    int show;
};

// The program ShellExecuteA would start, or "" with the error set.
std::string ShellProgram(const ShellRequest& request, DWORD* error)
{
    *error = ERROR_FILE_NOT_FOUND;
    if (!request.file || !*request.file)
        return "";
    std::string file = request.file;
    bool hasFolder = file.find_first_of("\\/") != std::string::npos || (file.size() >= 2 && file[1] == ':');
    Found found = Locate(file.c_str());
    if (!found.node && !hasFolder && request.directory)
        found = Locate((std::string(request.directory) + "\\" + file).c_str());
    if (found.node)
        return PathOf(found.node.get());
    if (hasFolder) {
        *error = found.error;
        return "";
    }
    return FindProgram(file, error);
}

// Starts what the request names: ShellExecuteA's answer (33, or the failure's
// with *error set) and, when started, the new record's index in *index.
uintptr_t ShellStart(const ShellRequest& request, DWORD* error, size_t* index)
{
    if (g_shellExecuteError != 0) {
        *error = g_shellExecuteError;
        return ShellExecuteResult(g_shellExecuteError);
    }
    std::string program = ShellProgram(request, error);
    // Wine answers SE_ERR_FNF (2) for a missing folder too; the last error
    // tells ERROR_PATH_NOT_FOUND apart.
    if (program.empty())
        return SE_ERR_FNF;
    // Vista and later ask for an administrator's consent before anything
    // starts (a process that is elevated already is not asked); a document
    // is opened by another program, which maps no image of it.
    if (request.verb && SameText(request.verb, "runas") && g_declineConsent && !IsElevated())
        *error = ERROR_CANCELLED;
    else
        *error = IsProgramName(program) ? ImageError(program) : 0;
    if (*error != 0)
        return ShellExecuteResult(*error);
    SimProcess process = NewProcess(true);
    // The consent gives an elevated administrator's token.
    if (request.verb && SameText(request.verb, "runas") && !IsElevated()) {
        process.token = SimToken();
        process.token.account = SIM_ADMINISTRATOR;
    }
    process.verb = request.verb ? request.verb : "";
    process.file = request.file;
    process.parameters = request.parameters ? request.parameters : "";
    process.directory = request.directory ? request.directory : "";
    process.showCommand = request.show;
    process.program = program;
    *index = g_processes.size();
    g_processes.push_back(process);
    return 33;
}

}  // namespace

std::string FindProgram(const std::string& name, DWORD* error)
{
    *error = ERROR_FILE_NOT_FOUND;
    if (name.empty())
        return "";
    std::string candidate = name;
    size_t cut = candidate.find_last_of("\\/");
    std::string last = cut == std::string::npos ? candidate : candidate.substr(cut + 1);
    if (last.find('.') == std::string::npos)
        candidate += ".exe";
    bool hasFolder = cut != std::string::npos || (candidate.size() >= 2 && candidate[1] == ':');
    auto existing = [](const std::string& path, DWORD* why) -> std::string {
        Found found = LocateFile(path.c_str());
        if (found.node && !found.node->directory)
            return PathOf(found.node.get());
        // Wine's search reports a name with wildcards as missing.
        *why = found.node ? ERROR_ACCESS_DENIED
                          : found.error == ERROR_INVALID_NAME ? ERROR_FILE_NOT_FOUND : found.error;
        return "";
    };
    if (hasFolder)
        return existing(candidate, error);
    std::string windows = WindowsDirectory();
    const std::string folders[] = {FolderOf(ModulePath()), CurrentDirectory(), windows + "\\System32",
                                   windows + "\\System", windows};
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        DWORD ignored = 0;
        std::string found = existing(folder + (folder.back() == '\\' ? "" : "\\") + candidate, &ignored);
        if (!found.empty())
            return found;
    }
    *error = ERROR_FILE_NOT_FOUND;
    return "";
}

// A program that has not ended keeps its file mapped (it cannot be deleted)
// and its current directory open without FILE_SHARE_DELETE, as on Windows and
// Wine; a process the program does not wait for runs on until SimReset.
bool IsRunningProgramFile(const Node* node)
{
    for (const auto& entry : g_holds)
        if (!g_processes[entry.first].ended && entry.second.program.get() == node)
            return true;
    return false;
}

bool IsRunningProcessDirectory(const Node* node)
{
    for (const auto& entry : g_holds)
        if (!g_processes[entry.first].ended && entry.second.directory.get() == node)
            return true;
    return false;
}

bool CloseProcessHandle(HANDLE handle)
{
    return g_waitable.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

bool WaitableProcess(HANDLE handle, size_t* index)
{
    auto found = g_waitable.find(reinterpret_cast<uintptr_t>(handle));
    if (found == g_waitable.end())
        return false;
    *index = found->second;
    return true;
}

SimProcess& ProcessRecord(size_t index) { return g_processes[index]; }

void EndStartedProcess(size_t index, bool waited)
{
    SimProcess& process = g_processes[index];
    if (process.ended)
        return;
    process.ended = true;
    process.waited = waited;
}

void ResetProcesses()
{
    g_processes.clear();
    g_holds.clear();
    g_waitable.clear();
    g_onStart = nullptr;
    g_declineConsent = false;
    g_shellExecuteError = 0;
    g_sentPerProcess = 0;
    g_sentMessage = WM_NULL;
    g_nextId = 0x100;
    g_exitCode = 0;
}

}  // namespace winsim

using namespace winsim;

// CreateProcessA and CreateProcessAsUserA, the call's first arguments journaled.
static BOOL StartProcess(Call& call, const SimToken* asUser, LPCSTR lpApplicationName, LPSTR lpCommandLine,
                         BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                         LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation)
{
    call.Str(lpApplicationName).Str(lpCommandLine).Raw("NULL").Raw("NULL").Num(bInheritHandles)
        .Raw(Hex(dwCreationFlags)).Raw(lpEnvironment ? "environment" : "NULL").Str(lpCurrentDirectory);
    if (lpStartupInfo) {
        std::string handles;
        if (lpStartupInfo->dwFlags & STARTF_USESTDHANDLES)
            handles = ", handles " + HandleText(lpStartupInfo->hStdInput) + " " + HandleText(lpStartupInfo->hStdOutput) +
                      " " + HandleText(lpStartupInfo->hStdError);
        call.Raw("{cb " + std::to_string(lpStartupInfo->cb) + ", flags " + Hex(lpStartupInfo->dwFlags) +
                 ", show " + std::to_string(lpStartupInfo->wShowWindow) + handles + "}");
    } else {
        call.Raw("NULL");
    }
    call.Raw("info");
    if (!lpStartupInfo || !lpProcessInformation || (!lpApplicationName && !lpCommandLine))
        return call.Fail(ERROR_INVALID_PARAMETER);

    DWORD error = 0;
    std::string program;
    if (lpApplicationName) {
        // The application name is used as given: no search, no ".exe" added.
        Found found = LocateFile(lpApplicationName);
        if (found.node && !found.node->directory)
            program = PathOf(found.node.get());
        else
            error = found.node ? ERROR_ACCESS_DENIED : found.error;
    } else {
        program = ProgramOfCommandLine(lpCommandLine, &error);
    }
    if (program.empty())
        return call.Fail(error);
    if (lpCurrentDirectory) {
        Found folder = Locate(lpCurrentDirectory);
        if (!folder.node || !folder.node->directory)
            return call.Fail(ERROR_DIRECTORY);  // as Wine reports a missing folder
    }
    if (DWORD imageError = ImageError(program))
        return call.Fail(imageError);

    SimProcess process = NewProcess(false);
    process.asUser = asUser != nullptr;
    if (asUser)
        process.token = *asUser;
    process.applicationName = lpApplicationName ? lpApplicationName : "";
    process.commandLine = lpCommandLine ? lpCommandLine : "";
    process.currentDirectory = lpCurrentDirectory ? lpCurrentDirectory : "";
    process.startupFlags = lpStartupInfo->dwFlags;
    process.showWindow = lpStartupInfo->wShowWindow;
    // Inherited handles keep their values in the new process.
    if ((lpStartupInfo->dwFlags & STARTF_USESTDHANDLES) && bInheritHandles) {
        process.stdHandles[0] = lpStartupInfo->hStdInput;
        process.stdHandles[1] = lpStartupInfo->hStdOutput;
        process.stdHandles[2] = lpStartupInfo->hStdError;
    }
    process.creationFlags = dwCreationFlags;
    process.inheritHandles = bInheritHandles;
    process.program = program;
    process.process = reinterpret_cast<HANDLE>(NewHandleValue());
    HANDLE thread = reinterpret_cast<HANDLE>(NewHandleValue());
    size_t index = g_processes.size();
    g_processes.push_back(process);
    g_holds[index] = Holds{LocateFile(program.c_str()).node,
                           Locate(lpCurrentDirectory ? lpCurrentDirectory : CurrentDirectory().c_str()).node};
    g_waitable[reinterpret_cast<uintptr_t>(process.process)] = index;
    g_waitable[reinterpret_cast<uintptr_t>(thread)] = index;

    lpProcessInformation->hProcess = process.process;
    lpProcessInformation->hThread = thread;
    lpProcessInformation->dwProcessId = process.id;
    lpProcessInformation->dwThreadId = NewProcessId();
    call.Raw("-> process " + HandleText(process.process));
    call.DoneBeforeCallbacks("1");
    Started(index);
    return TRUE;
}

// The new process runs with the process's token, not the thread's.
extern "C" BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL bInheritHandles, DWORD dwCreationFlags,
                                      LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                                      LPPROCESS_INFORMATION lpProcessInformation)
{
    Call call("CreateProcessA");
    return StartProcess(call, nullptr, lpApplicationName, lpCommandLine, bInheritHandles, dwCreationFlags,
                        lpEnvironment, lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

namespace winsim {

// ADVAPI32's, found through GetProcAddress: the same start with the token given.
BOOL WINAPI SimulatedCreateProcessAsUserA(HANDLE token, LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                          LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL bInheritHandles,
                                          DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                          LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation)
{
    Call call("CreateProcessAsUserA");
    call.Ptr(token);
    SimToken user;
    if (!TokenOfHandle(token, &user)) {
        call.Raw("...");
        return call.Fail(ERROR_INVALID_HANDLE);
    }
    return StartProcess(call, &user, lpApplicationName, lpCommandLine, bInheritHandles, dwCreationFlags,
                        lpEnvironment, lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

}  // namespace winsim

extern "C" HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                                          LPCSTR lpDirectory, INT nShowCmd)
{
    Call call("ShellExecuteA");
    call.Ptr(hwnd).Str(lpOperation).Str(lpFile).Str(lpParameters).Str(lpDirectory).Num(nShowCmd);
    DWORD error = 0;
    size_t index = 0;
    uintptr_t result = ShellStart(ShellRequest{lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd}, &error,
                                  &index);
    if (result <= 32) {
        call.Done(std::to_string(result), error);
        return reinterpret_cast<HINSTANCE>(result);
    }
    call.DoneBeforeCallbacks(std::to_string(result));
    Started(index);
    return reinterpret_cast<HINSTANCE>(result);
}

extern "C" BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo)
{
    Call call("ShellExecuteExA");
    if (!pExecInfo) {
        call.Raw("NULL");
        return call.Fail(ERROR_INVALID_PARAMETER);
    }
    SHELLEXECUTEINFOA& info = *pExecInfo;
    call.Raw("{cb " + std::to_string(info.cbSize) + ", mask " + Hex(info.fMask)).Ptr(info.hwnd).Str(info.lpVerb)
        .Str(info.lpFile).Str(info.lpParameters).Str(info.lpDirectory).Raw(std::to_string(info.nShow) + "}");
    // Wine reads the whole structure whatever cbSize says, and touches
    // hProcess only when asked for it.
    if (info.fMask & SEE_MASK_NOCLOSEPROCESS)
        info.hProcess = nullptr;
    DWORD error = 0;
    size_t index = 0;
    uintptr_t result = ShellStart(
        ShellRequest{info.lpVerb, info.lpFile, info.lpParameters, info.lpDirectory, info.nShow}, &error, &index);
    info.hInstApp = reinterpret_cast<HINSTANCE>(result);
    if (result <= 32) {
        call.Done("0 (hInstApp " + std::to_string(result) + ")", error);
        return FALSE;
    }
    SimProcess& process = g_processes[index];
    process.viaShellExecuteEx = true;
    process.shellExecuteMask = info.fMask;
    if (info.fMask & SEE_MASK_NOCLOSEPROCESS) {
        process.process = reinterpret_cast<HANDLE>(NewHandleValue());
        g_waitable[reinterpret_cast<uintptr_t>(process.process)] = index;
        info.hProcess = process.process;
    }
    call.DoneBeforeCallbacks("1 (hInstApp " + std::to_string(result) + ", process " + HandleText(info.hProcess) +
                             ")");
    Started(index);
    return TRUE;
}

// A wait for no handle: what waits in the queue, or arrives by the clock
// before the time runs out, ends it; else the time runs out.
static DWORD WaitForMessagesOnly(Call& call, DWORD milliseconds, DWORD wakeMask)
{
    DWORD waited = 0;
    for (;;) {
        if (QueueWakes(wakeMask)) {
            AddSleptMilliseconds(waited);
            call.Done("WAIT_OBJECT_0 after " + std::to_string(waited) + " ms");
            return WAIT_OBJECT_0;
        }
        DWORD next = UntilNextArrival();
        DWORD left = milliseconds == INFINITE ? INFINITE : milliseconds - waited;
        if (next == INFINITE && left == INFINITE) {
            call.Done("WAIT_FAILED (nothing will ever arrive)");
            return WAIT_FAILED;
        }
        if (next == INFINITE || next >= left) {
            AdvanceClock(left);
            AddSleptMilliseconds(milliseconds);
            call.Done("WAIT_TIMEOUT");
            return WAIT_TIMEOUT;
        }
        AdvanceClock(next);
        waited += next;
    }
}

extern "C" DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                                  DWORD dwMilliseconds, DWORD dwWakeMask)
{
    Call call("MsgWaitForMultipleObjects");
    std::string handles;
    for (DWORD i = 0; pHandles && i < nCount && i < 8; ++i)
        handles += (i ? " " : "") + HandleText(pHandles[i]);
    call.Unsigned(nCount).Raw("{" + handles + "}").Num(fWaitAll)
        .Raw(dwMilliseconds == INFINITE ? "INFINITE" : std::to_string(dwMilliseconds)).Raw(Hex(dwWakeMask));
    if (nCount == 0)
        return WaitForMessagesOnly(call, dwMilliseconds, dwWakeMask);
    if (nCount > 63 || !pHandles || fWaitAll) {  // waiting for all is not simulated
        call.Done("WAIT_FAILED", ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<size_t> indexes;
    for (DWORD i = 0; i < nCount; ++i) {
        auto found = g_waitable.find(reinterpret_cast<uintptr_t>(pHandles[i]));
        if (found == g_waitable.end()) {
            call.Done("WAIT_FAILED", ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        indexes.push_back(found->second);
    }
    // What waits in the queue ends the wait first.
    if (QueueWakes(dwWakeMask)) {
        call.Done("WAIT_OBJECT_0 + " + std::to_string(nCount));
        return WAIT_OBJECT_0 + nCount;
    }
    // A process that still has messages to send wakes the wait with them.
    for (size_t index : indexes) {
        SimProcess& process = g_processes[index];
        if (process.ended || process.sentMessagesPending == 0)
            continue;
        if (!(dwWakeMask & QS_SENDMESSAGE)) {
            // The sender would wait for an answer forever: a deadlock.
            process.deadlocked = true;
            call.Done("WAIT_FAILED (deadlock: the process sends messages the wait does not take)");
            RecordDeadlock("MsgWaitForMultipleObjects: process " + std::to_string(process.id) +
                           " sends messages the wait does not take");
            return WAIT_FAILED;
        }
        --process.sentMessagesPending;
        QueueMessage(OpenDialogWindow(), process.sentMessage, 0, 0, true);
        call.Done("WAIT_OBJECT_0 + " + std::to_string(nCount));
        return WAIT_OBJECT_0 + nCount;
    }
    // Otherwise the first process ends.
    EndStartedProcess(indexes[0], true);
    call.Done("WAIT_OBJECT_0 + 0");
    return WAIT_OBJECT_0;
}

// The pseudo handle that stands for the calling process.
extern "C" HANDLE WINAPI GetCurrentProcess(void)
{
    Call call("GetCurrentProcess");
    call.Done("-1");
    return reinterpret_cast<HANDLE>(intptr_t(-1));
}

extern "C" BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    Call call("GetExitCodeProcess");
    call.Ptr(hProcess).Raw("code");
    size_t index = 0;
    if (!WaitableProcess(hProcess, &index))
        return call.Fail(ERROR_INVALID_HANDLE);
    if (!lpExitCode)
        return call.Fail(ERROR_INVALID_PARAMETER);
    const SimProcess& process = g_processes[index];
    *lpExitCode = process.ended ? process.exitCode : STILL_ACTIVE;
    call.Raw("-> " + (process.ended ? std::to_string(process.exitCode) : std::string("STILL_ACTIVE")));
    return call.Succeed();
}

// ---- Test controls ----

void SimOnProcessStart(std::function<void(const SimProcess&)> callback) { g_onStart = std::move(callback); }

void SimSentMessagesWhileRunning(int count, UINT message)
{
    g_sentPerProcess = count < 0 ? 0 : count;
    g_sentMessage = message;
}

void SimDeclineConsent(bool decline) { g_declineConsent = decline; }
void SimFailShellExecute(DWORD lastError) { g_shellExecuteError = lastError; }
void SimSetExitCodeOfStartedPrograms(DWORD exitCode) { g_exitCode = exitCode; }

std::vector<SimProcess> SimProcesses() { return g_processes; }

std::vector<SimProcess> SimShellExecutes()
{
    std::vector<SimProcess> result;
    for (const SimProcess& process : g_processes)
        if (process.viaShellExecute)
            result.push_back(process);
    return result;
}

std::vector<SimProcess> SimCreatedProcesses()
{
    std::vector<SimProcess> result;
    for (const SimProcess& process : g_processes)
        if (!process.viaShellExecute)
            result.push_back(process);
    return result;
}
