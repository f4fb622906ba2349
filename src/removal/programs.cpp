#include "log_section.h"
#include "progress.h"
#include "removal.h"
#include "report.h"
#include "text.h"

static const unsigned COMMAND_LINE_SIZE = 512;

// The fields of "program,arguments,directory,show,caption,wait"; a field after
// the first missing comma is nullptr.
enum { PROGRAM, ARGUMENTS, DIRECTORY, SHOW, CAPTION, WAIT, FIELD_COUNT };

static bool IsGiven(const char* field)
{
    return field != nullptr && field[0] != '\0';
}

static WORD ShowModeOf(const char* show)
{
    switch (show ? show[0] : '\0') {
    case '1':
        return SW_SHOWDEFAULT;
    case '2':
        return SW_SHOWMAXIMIZED;
    case '3':
        return SW_SHOWMINNOACTIVE;
    }
    return SW_HIDE;
}

// Waits for the program while the progress window and the windows that send
// it messages keep working: the user's input wakes the wait too.
static void WaitForProgram(HANDLE process)
{
    while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        DispatchWaitingMessages();
}

// Given an unquoted path with blanks, CreateProcessA tries the shorter starts
// first ("C:\Program.exe" for "C:\Program Files\App\tool.exe"), so a file put
// there would run instead. A field that names an existing file whole is quoted;
// any other (a command with its own arguments, a name found through the search
// path) stays as the installer wrote it.
static bool NeedsQuotes(const char* program)
{
    bool blank = false;
    for (const char* c = program; *c != '\0'; ++c)
        blank = blank || IsBlank(*c);
    if (!blank || program[0] == '"')
        return false;
    DWORD attributes = GetFileAttributesA(program);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

static void RunProgram(char* const* fields)
{
    AddStatusLine(IsGiven(fields[CAPTION]) ? fields[CAPTION] : fields[PROGRAM]);

    // A command line cut to fit could start another program: it is not started at all.
    char commandLine[COMMAND_LINE_SIZE];
    bool quoted = NeedsQuotes(fields[PROGRAM]);
    if (!CopyText(commandLine, COMMAND_LINE_SIZE, quoted ? "\"" : "") ||
        !AppendText(commandLine, COMMAND_LINE_SIZE, fields[PROGRAM]) ||
        (quoted && !AppendText(commandLine, COMMAND_LINE_SIZE, "\"")))
        return;
    if (IsGiven(fields[ARGUMENTS]) &&
        (!AppendText(commandLine, COMMAND_LINE_SIZE, " ") || !AppendText(commandLine, COMMAND_LINE_SIZE, fields[ARGUMENTS])))
        return;

    STARTUPINFOA startup;
    FillBytes(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = ShowModeOf(fields[SHOW]);
    // A trial starts nothing: a program given with its folder would run if
    // it is there; one found through the search path is not looked for.
    if (!ShouldAct()) {
        if (FindChar(fields[PROGRAM], '\\') && GetFileAttributesA(fields[PROGRAM]) == INVALID_FILE_ATTRIBUTES)
            NoteFailure(OUTCOME_NOT_STARTED, fields[PROGRAM], ERROR_FILE_NOT_FOUND);
        else
            NoteOutcome(OUTCOME_RAN, fields[PROGRAM], nullptr);
        return;
    }
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        IsGiven(fields[DIRECTORY]) ? fields[DIRECTORY] : nullptr, &startup, &process)) {
        // The caption is listed already; only the report says more.
        NoteFailure(OUTCOME_NOT_STARTED, fields[PROGRAM], GetLastError());
        return;
    }

    char detail[24] = "not waited for";
    bool wait = !(fields[WAIT] != nullptr && fields[WAIT][0] == '0');
    DWORD exitCode;
    if (wait) {
        WaitForProgram(process.hProcess);
        if (GetExitCodeProcess(process.hProcess, &exitCode))
            (void)wsprintfA(detail, "exit code %lu", exitCode);
    }
    NoteOutcome(OUTCOME_RAN, fields[PROGRAM], detail);
    (void)CloseHandle(process.hThread);
    (void)CloseHandle(process.hProcess);
}

// Splits text at its first six commas, runs the program, and puts the commas back.
static void RunProgramText(char* text)
{
    char* fields[FIELD_COUNT + 1] = {text};
    char* commas[FIELD_COUNT];
    int count = 0;
    for (; count < FIELD_COUNT; ++count) {
        commas[count] = FindChar(fields[count], ',');
        if (commas[count] == nullptr)
            break;
        *commas[count] = '\0';
        fields[count + 1] = commas[count] + 1;
    }
    // Text after a sixth comma is not a field.
    fields[FIELD_COUNT] = nullptr;
    RunProgram(fields);
    for (int i = 0; i < count; ++i)
        *commas[i] = ',';
}

void RunListedPrograms(char* list)
{
    for (char* line = list; *line != '\0'; line = NextLine(line)) {
        char* equals = FindChar(line, '=');
        if (equals != nullptr)
            RunProgramText(equals + 1);
        // Each program has its caption for a status line: no count.
        NoteItemDone();
    }
}
