#include "launcher.h"
#include "text.h"
#include <shellapi.h>

bool g_silent;

const char* AfterSilentSwitch(const char* argumentText)
{
    if (argumentText[0] != '/' || (argumentText[1] != 'S' && argumentText[1] != 's'))
        return nullptr;
    if (argumentText[2] != '\0' && !IsBlank(argumentText[2]))
        return nullptr;
    const char* rest = argumentText + 2;
    while (IsBlank(*rest))
        ++rest;
    return rest;
}

// The two runs meet through an event named after the log, the one thing both
// know: a copy started with an administrator's rights gets no environment or
// handle of the first run. Either run creates it; the second gets the first's.
static HANDLE MeetingEvent(const char* logPath)
{
    // FNV-1a over the path in upper case, as the file system compares it.
    DWORD hash = 2166136261u;
    for (const char* c = logPath; *c != '\0'; ++c)
        hash = (hash ^ BYTE(*c >= 'a' && *c <= 'z' ? *c - ('a' - 'A') : *c)) * 16777619u;
    char name[20] = "vorsil-";
    FormatDecimal(name + 7, hash);
    return CreateEventA(nullptr, TRUE, FALSE, name);
}

bool StartCopy(const char* verb, const char* parameters, const char* logPath, int* exitCode)
{
    // An event of that name already belongs to another run (or to a program
    // that took the name first): it is not relied on.
    HANDLE listedGone = g_silent ? MeetingEvent(logPath) : nullptr;
    if (listedGone != nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
        listedGone = nullptr;

    SHELLEXECUTEINFOA start;
    FillBytes(&start, 0, sizeof start);
    start.cbSize = sizeof start;
    // Only a silent run waits for the copy, so only it asks for its process.
    start.fMask = SEE_MASK_FLAG_NO_UI | (g_silent ? SEE_MASK_NOCLOSEPROCESS : 0);
    start.lpVerb = verb;
    start.lpFile = g_tempCopyPath;
    start.lpParameters = parameters;
    start.nShow = SW_SHOWDEFAULT;
    *exitCode = 0;
    if (!ShellExecuteExA(&start))
        return false;
    if (!g_silent || start.hProcess == nullptr)
        return true;

    HANDLE waitFor[2] = {start.hProcess, listedGone};
    DWORD which = WaitForMultipleObjects(listedGone ? 2 : 1, waitFor, FALSE, INFINITE);
    // Once the copy has signalled, only the program file and the folders are
    // left, and they wait for this run's end.
    DWORD code = 0;
    if (which != WAIT_OBJECT_0 + 1 && (which != WAIT_OBJECT_0 || !GetExitCodeProcess(start.hProcess, &code)))
        code = EXIT_NO_SAFE_COPY;
    *exitCode = int(code);
    return true;
}

void TellCallerListedItemsGone()
{
    if (!g_silent)
        return;
    HANDLE listedGone = MeetingEvent(g_logPath);
    if (listedGone != nullptr)
        (void)SetEvent(listedGone); // left open: this process ends soon
}
