#include "launcher.h"
#include "messages.h"
#include "progress.h"
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
    length = GetTempPathA(MAX_PATH, g_tempCopyPath);
    if (length == 0 || length >= MAX_PATH)
        return false;
    return AppendText(g_tempCopyPath, MAX_PATH, g_ownFileName);
}

static bool SameFile(const char* a, const char* b)
{
    if (SameTextIgnoringCase(a, b))
        return true;
    // One may be spelt in short (8.3) form; taking the copy for the original
    // would relaunch it again and again.
    char shortA[MAX_PATH];
    char shortB[MAX_PATH];
    DWORD lengthA = GetShortPathNameA(a, shortA, MAX_PATH);
    DWORD lengthB = GetShortPathNameA(b, shortB, MAX_PATH);
    return lengthA != 0 && lengthA < MAX_PATH && lengthB != 0 && lengthB < MAX_PATH &&
           SameTextIgnoringCase(shortA, shortB);
}

// First run: copy the program to the temporary folder and start the copy with the log path.
static int RelaunchFromTempFolder(const char* argumentText)
{
    (void)CopyFileA(g_modulePath, g_tempCopyPath, FALSE);

    char defaultLogPath[MAX_PATH];
    const char* argument = argumentText;
    if (TextLength(argumentText) <= SHORT_ARGUMENT_LENGTH) {
        if (FileNamePart(g_modulePath) == nullptr)
            argument = g_modulePath;
        else if (ReplaceFileNamePart(defaultLogPath, MAX_PATH, g_modulePath, DEFAULT_LOG_NAME))
            argument = defaultLogPath;
        else
            argument = ""; // no such log can exist; the copy reports it missing
    }
    (void)ShellExecuteA(nullptr, "open", g_tempCopyPath, argument, nullptr, SW_SHOWDEFAULT);
    return 0;
}

// The log path is the argument; a quoted one without its opening quote and
// from its last quote on.
static bool TakeLogPath(const char* argumentText)
{
    if (*argumentText != '"')
        return CopyText(g_logPath, MAX_PATH, argumentText);
    const char* start = argumentText + 1;
    const char* lastQuote = FindLastChar(start, '"');
    unsigned length = lastQuote ? unsigned(lastQuote - start) : TextLength(start);
    return CopyTextPart(g_logPath, MAX_PATH, start, length);
}

static bool LogCanBeOpened(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    (void)CloseHandle(file);
    return true;
}

// Second run: the copy in the temporary folder asks and removes.
static int RunFromTempFolder(const char* argumentText)
{
    // Lets the first run end and release the installed program file.
    Sleep(1000);

    if (!TakeLogPath(argumentText) || !LogCanBeOpened(g_logPath)) {
        (void)MessageBoxA(nullptr, MessageText(MSG_LOG_NOT_FOUND), MessageText(MSG_CAPTION), MB_ICONHAND);
        return 1;
    }
    LoadMessageOverrides(g_logPath);
    // Scheduled before the question, so a copy whose user declines goes too.
    ScheduleSelfDeletion(g_tempCopyPath);

    if (MessageBoxA(nullptr, MessageText(MSG_CONFIRM), MessageText(MSG_CAPTION),
                    MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return 0;
    (void)DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDialogProc, 0);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int)
{
    g_instance = instance;
    if (!FindOwnPaths(instance))
        return 0;
    if (!SameFile(g_tempCopyPath, g_modulePath))
        return RelaunchFromTempFolder(argumentText);
    return RunFromTempFolder(argumentText);
}
