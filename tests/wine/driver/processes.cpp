#include "processes.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

#include "code_pages.h"
#include "machine.h"

namespace processes {
namespace {

std::string FileNamePart(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadRemote(HANDLE process, const void* address, void* buffer, SIZE_T size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, address, buffer, size, &read) && read == size;
}

typedef NTSTATUS(NTAPI* QueryInformationProcess)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

}  // namespace

bool Start(const std::string& program, const std::string& arguments,
           const std::string& currentDirectory, PROCESS_INFORMATION* started) {
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    ZeroMemory(started, sizeof *started);
    return CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                          started) != 0;
}

bool WaitForExit(HANDLE process, DWORD timeoutMs, DWORD* exitCode) {
    if (!process || WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return false;
    DWORD code = STILL_ACTIVE;
    if (!GetExitCodeProcess(process, &code)) return false;
    if (exitCode) *exitCode = code;
    return true;
}

HANDLE OpenOwnerOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!processId) return nullptr;
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE,
                       FALSE, processId);
}

std::string ImagePath(HANDLE process) {
    char path[MAX_PATH * 2];
    DWORD size = sizeof path;
    if (!QueryFullProcessImageNameA(process, 0, path, &size)) return std::string();
    return std::string(path, size);
}

std::string CommandLine(HANDLE process) {
    // The command line lives in the process parameters that its PEB points to.
    static QueryInformationProcess query = reinterpret_cast<QueryInformationProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return std::string();
    PROCESS_BASIC_INFORMATION basic = {};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return std::string();
    PEB peb;
    if (!ReadRemote(process, basic.PebBaseAddress, &peb, sizeof peb)) return std::string();
    RTL_USER_PROCESS_PARAMETERS parameters;
    if (!ReadRemote(process, peb.ProcessParameters, &parameters, sizeof parameters)) return std::string();
    std::wstring wide(parameters.CommandLine.Length / sizeof(WCHAR), L'\0');
    if (!wide.empty() && !ReadRemote(process, parameters.CommandLine.Buffer, &wide[0],
                                     parameters.CommandLine.Length))
        return std::string();
    return code_pages::Narrow(wide);
}

std::string ArgumentsOf(const std::string& commandLine) {
    size_t i = 0;
    if (i < commandLine.size() && commandLine[i] == '"') {
        size_t close = commandLine.find('"', 1);
        i = close == std::string::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != ' ' && commandLine[i] != '\t') ++i;
    }
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    return commandLine.substr(i);
}

std::string ImageName(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return std::string();
    std::string name = FileNamePart(ImagePath(process));
    CloseHandle(process);
    return name;
}

std::vector<DWORD> ProcessesNamed(const std::string& fileName) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID != GetCurrentProcessId() &&
            lstrcmpiA(FileNamePart(entry.szExeFile).c_str(), fileName.c_str()) == 0)
            found.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return found;
}

int KillAllNamed(const std::string& fileName) {
    int killed = 0;
    for (DWORD id : ProcessesNamed(fileName)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) continue;
        if (TerminateProcess(process, 255)) {
            WaitForSingleObject(process, 5000);
            ++killed;
        }
        CloseHandle(process);
    }
    return killed;
}

std::string TokenRights(HANDLE process) {
    HANDLE token = nullptr, impersonation = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token))
        return "its token cannot be read (error " + std::to_string(GetLastError()) + ")";
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof administrators;
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize);
    std::string groupText = "no Administrators";
    std::vector<BYTE> groups(16384);
    DWORD size = 0;
    if (GetTokenInformation(token, TokenGroups, groups.data(), DWORD(groups.size()), &size)) {
        const TOKEN_GROUPS* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
        for (DWORD i = 0; i < list->GroupCount; ++i) {
            if (!EqualSid(list->Groups[i].Sid, administrators)) continue;
            DWORD attributes = list->Groups[i].Attributes;
            groupText = (attributes & SE_GROUP_USE_FOR_DENY_ONLY) ? "Administrators deny-only"
                        : (attributes & SE_GROUP_ENABLED)        ? "Administrators enabled"
                                                                 : "Administrators disabled";
        }
    }
    BOOL member = FALSE;
    if (DuplicateToken(token, SecurityIdentification, &impersonation))
        CheckTokenMembership(impersonation, administrators, &member);
    std::vector<BYTE> privileges(16384);
    DWORD count = 0;
    if (GetTokenInformation(token, TokenPrivileges, privileges.data(), DWORD(privileges.size()), &size))
        count = reinterpret_cast<const TOKEN_PRIVILEGES*>(privileges.data())->PrivilegeCount;
    if (impersonation) CloseHandle(impersonation);
    CloseHandle(token);
    return groupText + (member ? ", member" : ", no member") + " of Administrators, " + std::to_string(count) +
           (count == 1 ? " privilege" : " privileges");
}

HANDLE OpenRunning(const std::string& imagePath) {
    for (DWORD id : ProcessesNamed(FileNamePart(imagePath))) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE,
                                     FALSE, id);
        if (process && machine::SamePath(ImagePath(process), imagePath)) return process;
        if (process) CloseHandle(process);
    }
    return nullptr;
}

bool RunAndWait(const std::string& commandLine, DWORD timeoutMs, DWORD* exitCode) {
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return false;
    CloseHandle(started.hThread);
    bool ended = WaitForExit(started.hProcess, timeoutMs, exitCode);
    if (!ended) TerminateProcess(started.hProcess, 255);
    CloseHandle(started.hProcess);
    return ended;
}

}  // namespace processes
