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

// Room for the ten programs the question names, and one to tell that there
// are more. More still than that (ERROR_MORE_DATA) are not named: the files are.
static const UINT LISTED_PROGRAMS = 11;
static RM_PROCESS_INFO g_programs[LISTED_PROGRAMS];

static bool NameListedPrograms(RmGetListFunction getList, DWORD session)
{
    UINT needed;
    UINT count = LISTED_PROGRAMS;
    DWORD reasons;
    if (getList(session, &needed, &count, g_programs, &reasons) != ERROR_SUCCESS || count == 0)
        return false;
    for (UINT i = 0; i < count; ++i) {
        char name[MAX_PATH];
        if (WideCharToMultiByte(CP_ACP, 0, g_programs[i].strAppName, -1, name, MAX_PATH, nullptr, nullptr) > 0)
            NameInQuestion(name);
    }
    return true;
}

bool NameProgramsUsingFiles()
{
    // Loaded by its full path, again for each question: it stays loaded, and the call is cheap.
    HMODULE library = LoadSystemLibrary("rstrtmgr");
    if (library == nullptr)
        return false;
    RmStartSessionFunction start =
        reinterpret_cast<RmStartSessionFunction>(LibraryFunction(library, "RmStartSession"));
    RmRegisterResourcesFunction registerResources =
        reinterpret_cast<RmRegisterResourcesFunction>(LibraryFunction(library, "RmRegisterResources"));
    RmGetListFunction getList = reinterpret_cast<RmGetListFunction>(LibraryFunction(library, "RmGetList"));
    RmEndSessionFunction end = reinterpret_cast<RmEndSessionFunction>(LibraryFunction(library, "RmEndSession"));
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
