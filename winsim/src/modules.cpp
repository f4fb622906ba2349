// Modules: KERNEL32 and the program's own instance, libraries loaded from
// files, the system folder, and the newer KERNEL32 functions a program finds
// with GetProcAddress (some missing on older Windows, see SimRemoveExport).
#include "state.h"

#include <restartmanager.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace winsim {

namespace {

const uintptr_t KERNEL32_MODULE = 0x7B800000;
const uintptr_t ADVAPI32_MODULE = 0x7BC00000;
const uintptr_t FIRST_LIBRARY = 0x10000000;

std::set<std::string> g_removedExports;
std::map<std::string, uintptr_t> g_libraries;  // upper-case path -> handle
std::vector<std::string> g_restartManagerNames;
DWORD g_defaultDllDirectories = 0;
bool g_dllDirectoryEmpty = false;

HMODULE Kernel32() { return reinterpret_cast<HMODULE>(KERNEL32_MODULE); }
HMODULE Advapi32() { return reinterpret_cast<HMODULE>(ADVAPI32_MODULE); }

// "kernel32" and "kernel32.dll" in any case.
bool IsSystemName(const char* name, const std::string& module)
{
    std::string upper = Upper(name);
    return upper == module || upper == module + ".DLL";
}
bool IsKernel32Name(const char* name) { return IsSystemName(name, "KERNEL32"); }

bool IsLibraryHandle(HMODULE module)
{
    for (const auto& entry : g_libraries)
        if (entry.second == reinterpret_cast<uintptr_t>(module))
            return true;
    return false;
}

bool IsRestartManager(HMODULE module)
{
    for (const auto& entry : g_libraries)
        if (entry.second == reinterpret_cast<uintptr_t>(module))
            return entry.first.size() >= 13 && entry.first.compare(entry.first.size() - 13, 13, "\\RSTRTMGR.DLL") == 0;
    return false;
}

BOOL WINAPI SimulatedOpenProcessToken(HANDLE process, DWORD access, HANDLE* token)
{
    Call call("OpenProcessToken");
    call.Ptr(process).Raw(Hex(access));
    *token = NewTokenHandle(ProcessToken());
    call.Raw("-> " + HandleText(*token));
    return call.Succeed();
}

BOOL WINAPI SimulatedLookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* value)
{
    Call call("LookupPrivilegeValueA");
    call.Str(system).Str(name);
    *value = LUID{19, 0};
    return call.Succeed();
}

BOOL WINAPI SimulatedAdjustTokenPrivileges(HANDLE, BOOL disableAll, TOKEN_PRIVILEGES* state, DWORD, TOKEN_PRIVILEGES*,
                                           DWORD*)
{
    Call call("AdjustTokenPrivileges");
    call.Num(disableAll).Unsigned(state->PrivilegeCount).Unsigned(state->Privileges[0].Luid.LowPart)
        .Raw(Hex(state->Privileges[0].Attributes));
    return call.Succeed();
}

DWORD WINAPI SimulatedRmStartSession(DWORD* session, DWORD, WCHAR* key)
{
    Call call("RmStartSession");
    *session = 1;
    key[0] = 0;
    call.Done("0");
    return ERROR_SUCCESS;
}

DWORD WINAPI SimulatedRmRegisterResources(DWORD, UINT count, LPCWSTR* files, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*)
{
    Call call("RmRegisterResources");
    for (UINT i = 0; i < count; ++i)
        call.Wide(files[i]);
    call.Done("0");
    return ERROR_SUCCESS;
}

DWORD WINAPI SimulatedRmGetList(DWORD, UINT* needed, UINT* count, RM_PROCESS_INFO* programs, DWORD* reasons)
{
    Call call("RmGetList");
    call.Unsigned(*count);
    *needed = UINT(g_restartManagerNames.size());
    *reasons = 0;
    if (*count < *needed) {
        *count = 0;
        call.Done(std::to_string(ERROR_MORE_DATA));
        return ERROR_MORE_DATA;
    }
    *count = *needed;
    for (UINT i = 0; i < *needed; ++i) {
        std::u16string name = FromAnsi(g_restartManagerNames[i]);
        std::memset(&programs[i], 0, sizeof programs[i]);
        std::copy(name.begin(), name.end(), programs[i].strAppName);
    }
    call.Done("0");
    return ERROR_SUCCESS;
}

DWORD WINAPI SimulatedRmEndSession(DWORD)
{
    Call call("RmEndSession");
    call.Done("0");
    return ERROR_SUCCESS;
}

BOOL WINAPI SimulatedSetDefaultDllDirectories(DWORD directoryFlags)
{
    Call call("SetDefaultDllDirectories");
    call.Raw(Hex(directoryFlags));
    const DWORD allowed = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                          LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    if (directoryFlags == 0 || (directoryFlags & ~allowed))
        return call.Fail(ERROR_INVALID_PARAMETER);
    g_defaultDllDirectories = directoryFlags;
    return call.Succeed();
}

BOOL WINAPI SimulatedSetDllDirectoryA(LPCSTR lpPathName)
{
    Call call("SetDllDirectoryA");
    call.Str(lpPathName);
    g_dllDirectoryEmpty = lpPathName != nullptr && *lpPathName == '\0';
    return call.Succeed();
}

// Through the generic function pointer type, which GCC lets stand for any.
template <typename Function>
FARPROC AsFarProc(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Export {
    const char* name;
    FARPROC function;
    bool ntOnly;  // missing from the 95 family's KERNEL32 and ADVAPI32
    uintptr_t module = KERNEL32_MODULE;  // 0: the Restart Manager
};

const Export* FindExport(HMODULE module, const char* name)
{
    static const Export exports[] = {
        {"SetDefaultDllDirectories", AsFarProc(SimulatedSetDefaultDllDirectories), true},
        {"SetDllDirectoryA", AsFarProc(SimulatedSetDllDirectoryA), true},
        // The 95 family has these two as stubs that fail.
        {"GetTempPathW", AsFarProc(SimulatedGetTempPathW), false},
        {"GetShortPathNameW", AsFarProc(SimulatedGetShortPathNameW), false},
        {"OpenProcessToken", AsFarProc(SimulatedOpenProcessToken), true, ADVAPI32_MODULE},
        {"LookupPrivilegeValueA", AsFarProc(SimulatedLookupPrivilegeValueA), true, ADVAPI32_MODULE},
        {"AdjustTokenPrivileges", AsFarProc(SimulatedAdjustTokenPrivileges), true, ADVAPI32_MODULE},
        {"CheckTokenMembership", AsFarProc(SimulatedCheckTokenMembership), true, ADVAPI32_MODULE},
        {"CreateRestrictedToken", AsFarProc(SimulatedCreateRestrictedToken), true, ADVAPI32_MODULE},
        {"ImpersonateLoggedOnUser", AsFarProc(SimulatedImpersonateLoggedOnUser), true, ADVAPI32_MODULE},
        {"RevertToSelf", AsFarProc(SimulatedRevertToSelf), true, ADVAPI32_MODULE},
        {"CreateProcessAsUserA", AsFarProc(SimulatedCreateProcessAsUserA), true, ADVAPI32_MODULE},
        {"RmStartSession", AsFarProc(SimulatedRmStartSession), false, 0},
        {"RmRegisterResources", AsFarProc(SimulatedRmRegisterResources), false, 0},
        {"RmGetList", AsFarProc(SimulatedRmGetList), false, 0},
        {"RmEndSession", AsFarProc(SimulatedRmEndSession), false, 0},
    };
    uintptr_t from = IsRestartManager(module) ? 0 : reinterpret_cast<uintptr_t>(module);
    for (const Export& entry : exports)
        if (std::string(entry.name) == name && entry.module == from)
            return g_removedExports.count(name) || (entry.ntOnly && !SimIsNtPlatform()) ? nullptr : &entry;
    return nullptr;
}

}  // namespace

std::string SystemDirectory()
{
    std::string windows = WindowsDirectory();
    return windows + (!windows.empty() && windows.back() == '\\' ? "" : "\\") + "System32";
}

void ResetModules()
{
    g_removedExports.clear();
    g_libraries.clear();
    g_restartManagerNames.clear();
    g_defaultDllDirectories = 0;
    g_dllDirectoryEmpty = false;
}

}  // namespace winsim

using namespace winsim;

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    Call call("GetModuleHandleA");
    call.Str(lpModuleName);
    HMODULE module = nullptr;
    if (lpModuleName == nullptr)
        module = SimInstance();
    else if (IsKernel32Name(lpModuleName))
        module = Kernel32();
    else if (IsSystemName(lpModuleName, "ADVAPI32"))
        module = Advapi32();
    if (!module) {
        call.Done("NULL", ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    call.Done(HandleText(module));
    return module;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    Call call("GetProcAddress");
    call.Ptr(hModule);
    bool byOrdinal = IS_INTRESOURCE(lpProcName);
    if (byOrdinal)
        call.Raw("#" + std::to_string(reinterpret_cast<uintptr_t>(lpProcName)));
    else
        call.Str(lpProcName);
    // NULL stands for the program, which exports nothing.
    bool known = hModule == nullptr || hModule == SimInstance() || hModule == Kernel32() || hModule == Advapi32() ||
                 IsLibraryHandle(hModule);
    if (!known) {
        call.Done("NULL", ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const Export* entry = byOrdinal ? nullptr : FindExport(hModule, lpProcName);
    if (!entry) {
        call.Done("NULL", ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    call.Done(std::string("&") + entry->name);
    return entry->function;
}

// A name without folder is looked for in the system folder only; ".dll" is
// added to a name without extension. A file that does not start with "MZ" is
// no module (ERROR_BAD_EXE_FORMAT). A library is mapped as a program is, so
// the same access and sharing rules apply.
extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    Call call("LoadLibraryA");
    call.Str(lpLibFileName);
    if (!lpLibFileName || !*lpLibFileName) {
        call.Done("NULL", ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (IsKernel32Name(lpLibFileName)) {
        call.Done(HandleText(Kernel32()));
        return Kernel32();
    }
    std::string name = lpLibFileName;
    size_t cut = name.find_last_of("\\/");
    bool hasFolder = cut != std::string::npos || (name.size() >= 2 && name[1] == ':');
    if (name.find('.', cut == std::string::npos ? 0 : cut) == std::string::npos)
        name += ".dll";
    Found found = LocateFile(hasFolder ? name.c_str() : (SystemDirectory() + "\\" + name).c_str());
    if (!found.node || found.node->directory) {
        // The 95 family reports a missing library otherwise (so does Wine's win98 setting).
        call.Done("NULL", SimIsNtPlatform() ? ERROR_MOD_NOT_FOUND : ERROR_DLL_NOT_FOUND);
        return nullptr;
    }
    DWORD error = found.node->data.compare(0, 2, "MZ") != 0 ? DWORD(ERROR_BAD_EXE_FORMAT)
                  : Refused(found.node.get(), FILE_EXECUTE)   ? DWORD(ERROR_ACCESS_DENIED)
                  : !ImageOpenAllowed(found.node.get())       ? DWORD(ERROR_SHARING_VIOLATION)
                                                              : 0;
    if (error != 0) {
        call.Done("NULL", error);
        return nullptr;
    }
    std::string key = Upper(PathOf(found.node.get()));
    auto loaded = g_libraries.find(key);
    uintptr_t value = loaded != g_libraries.end() ? loaded->second : FIRST_LIBRARY + 0x10000 * g_libraries.size();
    g_libraries[key] = value;
    HMODULE module = reinterpret_cast<HMODULE>(value);
    call.Done(HandleText(module));
    return module;
}

// Libraries stay loaded (and their handles valid) until SimReset.
extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    Call call("FreeLibrary");
    call.Ptr(hLibModule);
    if (hLibModule != Kernel32() && !IsLibraryHandle(hLibModule))
        return call.Fail(ERROR_MOD_NOT_FOUND);
    return call.Succeed();
}

extern "C" UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    Call call("GetSystemDirectoryA");
    call.Raw("buffer").Unsigned(uSize);
    std::string path = SystemDirectory();
    UINT length = UINT(path.size());
    if (lpBuffer == nullptr || uSize <= length) {
        call.Done(std::to_string(length + 1));
        return length + 1;
    }
    std::memcpy(lpBuffer, path.c_str(), length + 1);
    call.Done(std::to_string(length));
    return length;
}

// ---- Test controls ----

void SimRemoveExport(const std::string& name) { g_removedExports.insert(name); }
DWORD SimDefaultDllDirectories() { return g_defaultDllDirectories; }
bool SimDllDirectorySetEmpty() { return g_dllDirectoryEmpty; }
void SimSetRestartManagerNames(const std::vector<std::string>& names) { g_restartManagerNames = names; }
