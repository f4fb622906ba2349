// Started programs: CreateProcessA and ShellExecuteA are recorded and
// "start" when their program file exists; a test callback runs at the start.
// A started process lives until something waits for it: each wait first
// delivers the messages it is set to send, then sees it end.
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
std::map<uintptr_t, size_t> g_waitable;  // process and thread handles -> process index
std::function<void(const SimProcess&)> g_onStart;
int g_sentPerProcess = 0;
UINT g_sentMessage = WM_NULL;
DWORD g_nextId = 0x100;

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

void Started(size_t index)
{
    if (g_onStart) {
        SimProcess copy = g_processes[index];
        g_onStart(copy);
    }
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
        *why = found.node ? ERROR_ACCESS_DENIED : found.error;
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

void ResetProcesses()
{
    g_processes.clear();
    g_holds.clear();
    g_waitable.clear();
    g_onStart = nullptr;
    g_sentPerProcess = 0;
    g_sentMessage = WM_NULL;
    g_nextId = 0x100;
}

}  // namespace winsim

using namespace winsim;

extern "C" BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL bInheritHandles, DWORD dwCreationFlags,
                                      LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                                      LPPROCESS_INFORMATION lpProcessInformation)
{
    Call call("CreateProcessA");
    call.Str(lpApplicationName).Str(lpCommandLine).Raw("NULL").Raw("NULL").Num(bInheritHandles)
        .Raw(Hex(dwCreationFlags)).Raw(lpEnvironment ? "environment" : "NULL").Str(lpCurrentDirectory);
    if (lpStartupInfo)
        call.Raw("{cb " + std::to_string(lpStartupInfo->cb) + ", flags " + Hex(lpStartupInfo->dwFlags) +
                 ", show " + std::to_string(lpStartupInfo->wShowWindow) + "}");
    else
        call.Raw("NULL");
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

    SimProcess process;
    process.viaShellExecute = false;
    process.applicationName = lpApplicationName ? lpApplicationName : "";
    process.commandLine = lpCommandLine ? lpCommandLine : "";
    process.currentDirectory = lpCurrentDirectory ? lpCurrentDirectory : "";
    process.startupSize = lpStartupInfo->cb;
    process.startupFlags = lpStartupInfo->dwFlags;
    process.showWindow = lpStartupInfo->wShowWindow;
    process.creationFlags = dwCreationFlags;
    process.inheritHandles = bInheritHandles;
    process.program = program;
    process.process = reinterpret_cast<HANDLE>(NewHandleValue());
    process.sentMessagesPending = g_sentPerProcess;
    process.sentMessage = g_sentMessage;
    HANDLE thread = reinterpret_cast<HANDLE>(NewHandleValue());
    size_t index = g_processes.size();
    g_processes.push_back(process);
    g_holds[index] = Holds{LocateFile(program.c_str()).node,
                           Locate(lpCurrentDirectory ? lpCurrentDirectory : CurrentDirectory().c_str()).node};
    g_waitable[reinterpret_cast<uintptr_t>(process.process)] = index;
    g_waitable[reinterpret_cast<uintptr_t>(thread)] = index;

    lpProcessInformation->hProcess = process.process;
    lpProcessInformation->hThread = thread;
    lpProcessInformation->dwProcessId = g_nextId++;
    lpProcessInformation->dwThreadId = g_nextId++;
    call.Raw("-> process " + HandleText(process.process));
    call.DoneBeforeCallbacks("1");
    Started(index);
    return TRUE;
}

extern "C" HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                                          LPCSTR lpDirectory, INT nShowCmd)
{
    Call call("ShellExecuteA");
    call.Ptr(hwnd).Str(lpOperation).Str(lpFile).Str(lpParameters).Str(lpDirectory).Num(nShowCmd);
    DWORD error = ERROR_FILE_NOT_FOUND;
    std::string program;
    if (lpFile && *lpFile) {
        std::string file = lpFile;
        bool hasFolder = file.find_first_of("\\/") != std::string::npos || (file.size() >= 2 && file[1] == ':');
        Found found = Locate(file.c_str());
        if (!found.node && !hasFolder && lpDirectory)
            found = Locate((std::string(lpDirectory) + "\\" + file).c_str());
        if (found.node) {
            program = PathOf(found.node.get());
        } else if (hasFolder) {
            error = found.error;
        } else {
            program = FindProgram(file, &error);
        }
    }
    if (program.empty()) {
        // Wine answers SE_ERR_FNF (2) for a missing folder too; the last
        // error tells ERROR_PATH_NOT_FOUND apart.
        call.Done("2", error);
        return reinterpret_cast<HINSTANCE>(uintptr_t(2));
    }
    SimProcess process;
    process.viaShellExecute = true;
    process.verb = lpOperation ? lpOperation : "";
    process.file = lpFile;
    process.parameters = lpParameters ? lpParameters : "";
    process.directory = lpDirectory ? lpDirectory : "";
    process.showCommand = nShowCmd;
    process.program = program;
    size_t index = g_processes.size();
    g_processes.push_back(process);
    call.DoneBeforeCallbacks("33");
    Started(index);
    return reinterpret_cast<HINSTANCE>(uintptr_t(33));
}

// A wait for no handle: what waits in the queue, or arrives by the clock
// before the time runs out, ends it; else the time runs out.
static DWORD WaitForMessagesOnly(Call& call, DWORD milliseconds, DWORD wakeMask)
{
    DWORD waited = 0;
    for (;;) {
        if (QueueWakes(wakeMask)) {
            AddSleptTime(waited);
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
            AddSleptTime(milliseconds);
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
    if (nCount > 63 || !pHandles) {
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
            return WAIT_FAILED;
        }
        --process.sentMessagesPending;
        QueueMessage(OpenDialogWindow(), process.sentMessage, 0, 0, true);
        call.Done("WAIT_OBJECT_0 + " + std::to_string(nCount));
        return WAIT_OBJECT_0 + nCount;
    }
    // Otherwise the (first) process ends; with fWaitAll every one does.
    DWORD result = WAIT_OBJECT_0;
    for (DWORD i = 0; i < nCount; ++i) {
        SimProcess& process = g_processes[indexes[i]];
        if (!process.ended) {
            process.ended = true;
            process.waited = true;
        }
        if (!fWaitAll) {
            result = WAIT_OBJECT_0 + i;
            break;
        }
    }
    call.Done("WAIT_OBJECT_0 + " + std::to_string(result));
    return result;
}

// ---- Test controls ----

void SimOnProcessStart(std::function<void(const SimProcess&)> callback) { g_onStart = std::move(callback); }

void SimSentMessagesWhileRunning(int count, UINT message)
{
    g_sentPerProcess = count < 0 ? 0 : count;
    g_sentMessage = message;
}

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
