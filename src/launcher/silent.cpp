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

// The two runs meet through events named after the log, the one thing both
// know: a copy started with an administrator's rights gets no environment or
// handle of the first run. Either run creates them; the second gets the
// first's. The copy sets the second event instead of the first when files
// wait for the restart.
static HANDLE MeetingEvent(const char* logPath, bool restartNeeded)
{
    // FNV-1a over the path in upper case, as the file system compares it.
    DWORD hash = 2166136261u;
    for (const char* c = logPath; *c != '\0'; ++c)
        hash = (hash ^ BYTE(*c >= 'a' && *c <= 'z' ? *c - ('a' - 'A') : *c)) * 16777619u;
    char name[20] = "vorsil-";
    FormatDecimal(name + 7, hash);
    // The name has room for it, and the terminator after it is there already.
    if (restartNeeded)
        name[TextLength(name)] = 'r';
    return CreateEventA(nullptr, TRUE, FALSE, name);
}

// Events of those names that already belong to another run (or to a program
// that took the names first) are not relied on: then neither is.
static bool CreateMeetingEvents(const char* logPath, HANDLE* events)
{
    for (int restartNeeded = 0; restartNeeded < 2; ++restartNeeded) {
        events[restartNeeded] = MeetingEvent(logPath, restartNeeded != 0);
        if (events[restartNeeded] == nullptr || GetLastError() == ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

bool StartCopy(const char* verb, const char* parameters, const char* logPath, int* exitCode)
{
    HANDLE waitFor[3] = {nullptr};
    bool told = g_silent && CreateMeetingEvents(logPath, waitFor + 1);

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

    waitFor[0] = start.hProcess;
    DWORD which = WaitForMultipleObjects(told ? 3 : 1, waitFor, FALSE, INFINITE);
    // Once the copy has signalled, only the program file and the folders are
    // left, and they wait for this run's end.
    DWORD code = 0;
    if (which == WAIT_OBJECT_0 + 2)
        code = EXIT_RESTART_NEEDED;
    else if (which != WAIT_OBJECT_0 + 1 && (which != WAIT_OBJECT_0 || !GetExitCodeProcess(start.hProcess, &code)))
        code = EXIT_NO_SAFE_COPY;
    *exitCode = int(code);
    return true;
}

void TellCallerListedItemsGone(bool restartNeeded)
{
    if (!g_silent)
        return;
    HANDLE listedGone = MeetingEvent(g_logPath, restartNeeded);
    if (listedGone != nullptr)
        (void)SetEvent(listedGone); // left open: this process ends soon
}
