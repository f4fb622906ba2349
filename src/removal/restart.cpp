#include "launcher.h"
#include "messages.h"
#include "platform.h"
#include "progress.h"
#include "removal.h"
#include "report.h"

// Security functions the 95 family's ADVAPI32 may not export: looked up, so
// that the program still loads there.
typedef BOOL(WINAPI* OpenProcessTokenFunction)(HANDLE process, DWORD access, HANDLE* token);
typedef BOOL(WINAPI* LookupPrivilegeValueFunction)(LPCSTR system, LPCSTR name, LUID* value);
typedef BOOL(WINAPI* AdjustTokenPrivilegesFunction)(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* state,
                                                    DWORD size, TOKEN_PRIVILEGES* previous, DWORD* previousSize);

// NT restarts only for a process that has enabled its right to shut the system down.
static void EnableShutdownPrivilege()
{
    OpenProcessTokenFunction openProcessToken =
        reinterpret_cast<OpenProcessTokenFunction>(SecurityFunction("OpenProcessToken"));
    LookupPrivilegeValueFunction lookupPrivilegeValueA =
        reinterpret_cast<LookupPrivilegeValueFunction>(SecurityFunction("LookupPrivilegeValueA"));
    AdjustTokenPrivilegesFunction adjustTokenPrivileges =
        reinterpret_cast<AdjustTokenPrivilegesFunction>(SecurityFunction("AdjustTokenPrivileges"));
    HANDLE token;
    if (openProcessToken == nullptr || lookupPrivilegeValueA == nullptr || adjustTokenPrivileges == nullptr ||
        !openProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (lookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        (void)adjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    (void)CloseHandle(token);
}

void OfferRestart()
{
    if (g_silent || g_trial || !RestartNeeded())
        return;
    if (AskFromProgressWindow(MessageText(MSG_RESTART_NOW), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    if (RunsOnNtFamily())
        EnableShutdownPrivilege();
    (void)ExitWindowsEx(EWX_REBOOT, 0); // refused: the files still go at the next restart
}
