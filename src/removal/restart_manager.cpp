#include "launcher.h"
#include "removal.h"
#include "text.h"
#include <restartmanager.h>

// The Restart Manager of Windows Vista and later knows which programs use a
// file; earlier Windows lack it, and the files themselves are named instead.
typedef DWORD(WINAPI* RmStartSessionFunction)(DWORD* session, DWORD flags, WCHAR* key);
typedef DWORD(WINAPI* RmRegisterResourcesFunction)(DWORD session, UINT fileCount, LPCWSTR* files, UINT processCount,
                                                   RM_UNIQUE_PROCESS* processes, UINT serviceCount, LPCWSTR* services);
typedef DWORD(WINAPI* RmGetListFunction)(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* programs,
                                         DWORD* reasons);
typedef DWORD(WINAPI* RmEndSessionFunction)(DWORD session);

// Casting through void (*)() keeps the compiler from comparing the types.
typedef void (*AnyFunction)();

static AnyFunction RestartManagerFunction(HMODULE library, const char* name)
{
    return reinterpret_cast<AnyFunction>(GetProcAddress(library, name));
}

// The paths are wide: one at a time, converted.
static void RegisterFilesInUse(RmRegisterResourcesFunction registerResources, DWORD session)
{
    for (char* entry = NextFileLeft(nullptr); entry != nullptr; entry = NextFileLeft(entry)) {
        WCHAR path[MAX_PATH];
        LPCWSTR files[1] = {path};
        if (entry[0] == FILE_IN_USE && MultiByteToWideChar(CP_ACP, 0, entry + 1, -1, path, MAX_PATH) > 0)
            (void)registerResources(session, 1, files, 0, nullptr, 0, nullptr);
    }
}

// Asked first how many programs there are, then for all of them.
static bool NameListedPrograms(RmGetListFunction getList, DWORD session)
{
    UINT needed = 0;
    UINT count = 0;
    DWORD reasons;
    if (getList(session, &needed, &count, nullptr, &reasons) != ERROR_MORE_DATA || needed == 0)
        return false;
    HANDLE heap = GetProcessHeap();
    RM_PROCESS_INFO* programs = static_cast<RM_PROCESS_INFO*>(HeapAlloc(heap, 0, needed * sizeof *programs));
    if (programs == nullptr)
        return false;
    count = needed;
    bool named = getList(session, &needed, &count, programs, &reasons) == ERROR_SUCCESS && count != 0;
    for (UINT i = 0; named && i < count; ++i) {
        char name[MAX_PATH];
        if (WideCharToMultiByte(CP_ACP, 0, programs[i].strAppName, -1, name, MAX_PATH, nullptr, nullptr) > 0)
            NameInQuestion(name);
    }
    (void)HeapFree(heap, 0, programs);
    return named;
}

bool NameProgramsUsingFiles()
{
    // Loaded again for each question: it stays loaded, and the call is cheap.
    HMODULE library = LoadSystemLibrary("rstrtmgr.dll");
    if (library == nullptr)
        return false;
    RmStartSessionFunction start =
        reinterpret_cast<RmStartSessionFunction>(RestartManagerFunction(library, "RmStartSession"));
    RmRegisterResourcesFunction registerResources =
        reinterpret_cast<RmRegisterResourcesFunction>(RestartManagerFunction(library, "RmRegisterResources"));
    RmGetListFunction getList = reinterpret_cast<RmGetListFunction>(RestartManagerFunction(library, "RmGetList"));
    RmEndSessionFunction end = reinterpret_cast<RmEndSessionFunction>(RestartManagerFunction(library, "RmEndSession"));
    DWORD session;
    WCHAR key[CCH_RM_SESSION_KEY + 1];
    if (start == nullptr || registerResources == nullptr || getList == nullptr || end == nullptr ||
        start(&session, 0, key) != ERROR_SUCCESS)
        return false;
    RegisterFilesInUse(registerResources, session);
    bool named = NameListedPrograms(getList, session);
    (void)end(session);
    return named;
}
