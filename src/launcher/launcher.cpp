#include "launcher.h"
#include "messages.h"
#include "progress.h"
#include "removal.h"
#include "report.h"
#include "resource.h"
#include "text.h"
#include <shellapi.h>

HINSTANCE g_instance;
char g_ownFileName[MAX_PATH];
char g_logPath[MAX_PATH];
char g_tempCopyPath[MAX_PATH];

static char g_modulePath[MAX_PATH];

// Fills the module path, the own file name and the temporary copy path.
// False when one of them does not fit its buffer: then there is no safe way on.
static bool FindOwnPaths(HINSTANCE instance)
{
    DWORD length = GetModuleFileNameA(instance, g_modulePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const char* fileName = FileNamePart(g_modulePath);
    if (!CopyText(g_ownFileName, MAX_PATH, fileName ? fileName : DEFAULT_FILE_NAME))
        return false;
    return FindTempCopyPath();
}

// The built-in texts: the log's own are read later, by the copy.
static int ReportNoSafeCopy()
{
    if (!g_silent)
        (void)MessageBoxA(nullptr, MessageText(MSG_NO_SAFE_COPY), MessageText(MSG_CAPTION), MB_ICONHAND);
    return EXIT_NO_SAFE_COPY;
}

// The argument the copy gets: a short one (a switch, or nothing) stands for
// the log beside the program.
static const char* ArgumentForCopy(const char* argumentText, char* defaultLogPath)
{
    if (TextLength(argumentText) > SHORT_ARGUMENT_LENGTH)
        return argumentText;
    if (FileNamePart(g_modulePath) == nullptr)
        return g_modulePath;
    if (ReplaceFileNamePart(defaultLogPath, MAX_PATH, g_modulePath, DEFAULT_LOG_NAME))
        return defaultLogPath;
    return ""; // no such log can exist; the copy reports it missing
}

// The copy's parameters: the switches, then the log argument. A log path
// that does not fit cannot be opened: the copy says so.
static const char* ParametersForCopy(const char* argument, char* parameters)
{
    parameters[0] = '\0';
    if ((g_silent && !AppendText(parameters, PARAMETERS_SIZE, "/S ")) ||
        (g_reportPath[0] != '\0' && (!AppendText(parameters, PARAMETERS_SIZE, "/LOG=\"") ||
                                     !AppendText(parameters, PARAMETERS_SIZE, g_reportPath) ||
                                     !AppendText(parameters, PARAMETERS_SIZE, "\" "))) ||
        !AppendText(parameters, PARAMETERS_SIZE, argument))
        (void)CopyText(parameters, PARAMETERS_SIZE, g_silent ? "/S" : "");
    return parameters;
}

// First run: copy the program to the temporary folder and start the copy with
// the log path, with an administrator's rights only for a log that ordinary
// programs cannot have changed, and with an ordinary user's for one they can.
// A silent run waits for the copy.
static int RelaunchFromTempFolder(const char* logArgument)
{
    char defaultLogPath[MAX_PATH];
    const char* argument = ArgumentForCopy(logArgument, defaultLogPath);
    char logPath[MAX_PATH];
    HANDLE ordinaryUser = nullptr;
    // A log path that does not fit cannot be opened by the copy either.
    const char* verb = TakeLogPath(logPath, argument) ? StartVerbFor(logPath, &ordinaryUser) : "open";
    char parameters[PARAMETERS_SIZE];

    HANDLE copy = LockVerifiedTempCopy(g_modulePath);
    if (copy == INVALID_HANDLE_VALUE)
        return ReportNoSafeCopy();
    int exitCode;
    bool started = StartCopy(verb, ordinaryUser, ParametersForCopy(argument, parameters), logPath, &exitCode);
    DWORD error = GetLastError();
    // The started copy's image is mapped by now and can no longer be changed.
    (void)CloseHandle(copy);
    if (started)
        return exitCode;
    // A user who declined the administrator's consent has said enough.
    if (error == ERROR_CANCELLED)
        return EXIT_NO_SAFE_COPY;
    return ReportNoSafeCopy();
}

bool TakeLogPath(char* logPath, const char* argumentText)
{
    if (*argumentText != '"')
        return CopyText(logPath, MAX_PATH, argumentText);
    const char* start = argumentText + 1;
    const char* lastQuote = FindLastChar(start, '"');
    unsigned length = lastQuote ? unsigned(lastQuote - start) : TextLength(start);
    return CopyTextPart(logPath, MAX_PATH, start, length);
}

bool FileOpens(const char* path, DWORD access, DWORD share, DWORD flags)
{
    HANDLE file = CreateFileA(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    (void)CloseHandle(file);
    return true;
}

// Second run: the copy in the temporary folder asks and removes; a silent one
// removes without a word.
static int RunFromTempFolder(const char* logArgument)
{
    // Lets the first run end and release the installed program file; a silent
    // first run waits for this run instead, which hands over before that file.
    // A trial is the first run.
    if (!g_silent && !g_trial)
        Sleep(1000);

    if (!TakeLogPath(g_logPath, logArgument) ||
        !FileOpens(g_logPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_ATTRIBUTE_ARCHIVE)) {
        if (!g_silent)
            (void)MessageBoxA(nullptr, MessageText(MSG_LOG_NOT_FOUND), MessageText(MSG_CAPTION), MB_ICONHAND);
        return EXIT_LOG_NOT_FOUND;
    }
    LoadMessageOverrides(g_logPath);
    // Scheduled before the question, so a copy whose user declines goes too.
    if (ShouldAct())
        (void)ScheduleDeletionAtRestart(g_tempCopyPath);
    if (g_silent) {
        RunRemoval();
        return RemovalExitCode();
    }

    // A trial changes nothing: there is nothing to confirm.
    if (ShouldAct() && MessageBoxA(nullptr, MessageText(MSG_CONFIRM), MessageText(MSG_CAPTION),
                                   MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return 0;
    (void)DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int)
{
    // Before anything that may load a library by name: the second run's folder
    // is the temporary folder, where any program can put a file.
    RestrictLibrarySearch();
    // Windows XP creates no dialog of a program that asks for common controls 6
    // in its manifest unless the library is loaded before its first window.
    (void)LoadLibraryA("comctl32.dll");
    g_instance = instance;
    // Both runs read the log argument after the switches.
    const char* logArgument = TakeSwitches(argumentText);
    // Nobody would learn what a silent trial found.
    if (g_silent && g_trial && g_reportPath[0] == '\0')
        return ERROR_INVALID_PARAMETER;
    // The copy runs in another folder: it gets the report's full path.
    char reportPath[MAX_PATH];
    DWORD length = GetFullPathNameA(g_reportPath, MAX_PATH, reportPath, nullptr);
    if (length != 0 && length < MAX_PATH)
        (void)CopyText(g_reportPath, MAX_PATH, reportPath);
    if (!FindOwnPaths(instance))
        return ReportNoSafeCopy();
    // A trial deletes nothing, its own file neither: it needs no copy.
    char defaultLogPath[MAX_PATH];
    if (g_trial)
        logArgument = ArgumentForCopy(logArgument, defaultLogPath);
    else if (!RunsAsTempCopy(g_modulePath))
        return RelaunchFromTempFolder(logArgument);
    return RunFromTempFolder(logArgument);
}
