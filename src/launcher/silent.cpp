#include "launcher.h"
#include "text.h"
#include <shellapi.h>

bool g_silent;

const int OUTCOME_EXIT_CODES[3] = {0, EXIT_RESTART_NEEDED, EXIT_NOT_REMOVED};

// The two runs meet through events named after the log, the one thing both
// know: a copy started with an administrator's rights gets no environment or
// handle of the first run. Either run creates them; the second gets the
// first's. The copy sets the one event of its outcome. They are inheritable
// for a copy started with an ordinary user's rights, which may open no object
// of its first run by name and gets them as its standard handles instead.
static HANDLE MeetingEvent(const char* logPath, ListedItemsOutcome outcome)
{
    // FNV-1a over the path in upper case, as the file system compares it.
    DWORD hash = 2166136261u;
    for (const char* c = logPath; *c != '\0'; ++c)
        hash = (hash ^ BYTE(*c >= 'a' && *c <= 'z' ? *c - ('a' - 'A') : *c)) * 16777619u;
    char name[20] = "vorsil-";
    FormatDecimal(name + 7, hash);
    // The name has room for a mark, and the terminator after it is there already.
    name[TextLength(name)] = "\0rn"[outcome];
    static const SECURITY_ATTRIBUTES INHERITABLE = {sizeof INHERITABLE, nullptr, TRUE};
    return CreateEventA(const_cast<SECURITY_ATTRIBUTES*>(&INHERITABLE), TRUE, FALSE, name);
}

// Events of those names that already belong to another run (or to a program
// that took the names first) are not relied on: then none is.
static bool CreateMeetingEvents(const char* logPath, HANDLE* events)
{
    for (int outcome = ALL_ITEMS_GONE; outcome <= ITEMS_NOT_REMOVED; ++outcome) {
        events[outcome] = MeetingEvent(logPath, ListedItemsOutcome(outcome));
        if (events[outcome] == nullptr || GetLastError() == ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

static bool ShellStartCopy(const char* verb, const char* parameters, HANDLE* process)
{
    SHELLEXECUTEINFOA start;
    FillBytes(&start, 0, sizeof start);
    start.cbSize = sizeof start;
    // Only a silent run waits for the copy, so only it asks for its process.
    start.fMask = SEE_MASK_FLAG_NO_UI | (g_silent ? SEE_MASK_NOCLOSEPROCESS : 0);
    start.lpVerb = verb;
    start.lpFile = g_tempCopyPath;
    start.lpParameters = parameters;
    start.nShow = SW_SHOWDEFAULT;
    if (!ShellExecuteExA(&start))
        return false;
    *process = start.hProcess;
    return true;
}

typedef BOOL(WINAPI* CreateProcessAsUserFunction)(HANDLE user, LPCSTR program, LPSTR commandLine,
                                                  SECURITY_ATTRIBUTES* processAttributes,
                                                  SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                                                  DWORD flags, void* environment, LPCSTR directory,
                                                  STARTUPINFOA* startup, PROCESS_INFORMATION* started);

// The standard handles of a copy started with an ordinary user's rights are
// the meeting events (none for an interactive run). Only the program that
// starts the copy sets them, and they can only make it say that it has an
// ordinary user's rights, which it says only when it has no more.
static bool StartedForAnOrdinaryUser(STARTUPINFOA* startup)
{
    GetStartupInfoA(startup);
    return (startup->dwFlags & STARTF_USESTDHANDLES) != 0;
}

// CreateProcessAsUserA with a restricted copy of the process's own token needs
// no privilege. ADVAPI32 of the 95 family lacks it; so does the need.
static bool StartCopyAsUser(HANDLE user, const char* parameters, HANDLE* waitFor)
{
    CreateProcessAsUserFunction createProcessAsUser =
        reinterpret_cast<CreateProcessAsUserFunction>(SecurityFunction("CreateProcessAsUserA"));
    // The temporary folder may have blanks in its name.
    char commandLine[MAX_PATH + 3 + PARAMETERS_SIZE];
    (void)wsprintfA(commandLine, "\"%s\" %s", g_tempCopyPath, parameters);
    STARTUPINFOA startup;
    FillBytes(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = waitFor[1 + ALL_ITEMS_GONE];
    startup.hStdOutput = waitFor[1 + ITEMS_AT_RESTART];
    startup.hStdError = waitFor[1 + ITEMS_NOT_REMOVED];
    PROCESS_INFORMATION started;
    if (createProcessAsUser == nullptr || !createProcessAsUser(user, g_tempCopyPath, commandLine, nullptr, nullptr,
                                                               TRUE, 0, nullptr, nullptr, &startup, &started))
        return false;
    waitFor[0] = started.hProcess; // both handles left open: this process ends soon
    return true;
}

bool StartCopy(const char* verb, HANDLE ordinaryUser, const char* parameters, const char* logPath, int* exitCode)
{
    HANDLE waitFor[4] = {nullptr};
    bool told = g_silent && CreateMeetingEvents(logPath, waitFor + 1);
    *exitCode = 0;
    if (ordinaryUser != nullptr ? !StartCopyAsUser(ordinaryUser, parameters, waitFor)
                                : !ShellStartCopy(verb, parameters, waitFor))
        return false;
    if (!g_silent || waitFor[0] == nullptr)
        return true;

    DWORD which = WaitForMultipleObjects(told ? 4 : 1, waitFor, FALSE, INFINITE) - WAIT_OBJECT_0;
    // Once the copy has signalled, only the program file and the folders are
    // left, and they wait for this run's end. A copy that ended without
    // saying what became of the listed items (one that was ended from outside
    // has exit code 0 under Wine) did not finish.
    DWORD code = EXIT_NO_SAFE_COPY;
    if (which - 1 <= ITEMS_NOT_REMOVED)
        code = OUTCOME_EXIT_CODES[which - 1];
    else if (which == 0 && GetExitCodeProcess(waitFor[0], &code) && code == 0)
        code = EXIT_NOT_REMOVED;
    *exitCode = int(code);
    return true;
}

bool RunsForAnOrdinaryUser()
{
    STARTUPINFOA startup;
    return StartedForAnOrdinaryUser(&startup) && CurrentRights() == RIGHTS_ORDINARY;
}

void TellCallerListedItemsDealtWith(ListedItemsOutcome outcome)
{
    if (!g_silent)
        return;
    STARTUPINFOA startup;
    HANDLE told = !StartedForAnOrdinaryUser(&startup) ? MeetingEvent(g_logPath, outcome)
                  : outcome == ALL_ITEMS_GONE          ? startup.hStdInput
                  : outcome == ITEMS_AT_RESTART        ? startup.hStdOutput
                                                       : startup.hStdError;
    if (told != nullptr)
        (void)SetEvent(told); // left open: this process ends soon
}
