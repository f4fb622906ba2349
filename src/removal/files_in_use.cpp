#include "launcher.h"
#include "messages.h"
#include "progress.h"
#include "removal.h"
#include "report.h"
#include "text.h"

// The items left, each its state and the item as the log lists it (up to its
// "="), ended by a terminator. An item that goes leaves nothing here, so a
// long section of free files costs what it always did. What does not fit is
// only counted: it stays where it is and is reported as a number.
static const unsigned FILES_LEFT_SIZE = 32 * 1024;
// The status list names this many files left at most, then gives the number of the others.
static const unsigned REPORTED_FILES = 100;
// The question names this many programs or files at most, then "…".
static const unsigned NAMED_PROGRAMS = 10;

static char g_filesLeft[FILES_LEFT_SIZE];
static unsigned g_filesLeftSize;
static unsigned g_filesNotKept;
// Where the items of a section walked backwards start; past the end otherwise.
static unsigned g_backwardsFrom;
// Where the files of the second file section ([Shortcuts]) start.
static unsigned g_nextSectionFrom;

// The question's text: the message, a blank line, then a line for each name.
static char g_question[MESSAGE_TEXT_SIZE + 1 + NAMED_PROGRAMS * MAX_PATH + 4];
static unsigned g_namedPrograms;

void ForgetFilesLeft()
{
    g_filesLeftSize = 0;
    g_filesNotKept = 0;
    g_backwardsFrom = FILES_LEFT_SIZE;
}

void KeepItemsWalkedBackwards()
{
    g_backwardsFrom = g_filesLeftSize;
}

static void KeepFile(char state, const char* path)
{
    unsigned length = TextLength(path);
    // A path too long for a file name is not one; it could not fit a line either.
    if (length >= MAX_PATH || g_filesLeftSize + length + 2 > FILES_LEFT_SIZE) {
        ++g_filesNotKept;
        return;
    }
    unsigned at = g_backwardsFrom < g_filesLeftSize ? g_backwardsFrom : g_filesLeftSize;
    // Those kept after it move up, from the last byte down.
    for (unsigned i = g_filesLeftSize; i-- > at;)
        g_filesLeft[i + length + 2] = g_filesLeft[i];
    g_filesLeft[at] = state;
    CopyBytes(g_filesLeft + at + 1, path, length + 1);
    g_filesLeftSize += length + 2;
}

void KeepItemNotRemoved(const char* item, DWORD error)
{
    if (NoteResult(item, error) == OUTCOME_NOT_REMOVED)
        KeepFile(FILE_NOT_REMOVED, item);
}

void KeepFilesOfNextSection()
{
    g_nextSectionFrom = g_filesLeftSize;
}

const char* SectionOfFileLeft(const char* entry)
{
    return unsigned(entry - g_filesLeft) < g_nextSectionFrom ? "CopyFiles" : "Shortcuts";
}

static bool IsInstalledProgram(const char* path)
{
    char program[MAX_PATH];
    return FindInstalledProgram(program) && SameTextIgnoringCase(program, path);
}

void KeepFileNotDeleted(const char* path)
{
    DWORD error = GetLastError();
    // A missing file costs no more than it did; a folder is no file of the list.
    bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    DWORD attributes = missing ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        (void)NoteResult(path, error);
        return;
    }
    // A running program's file refuses deletion, a file open without delete
    // sharing is a sharing violation; a read-only one refuses it too, and so
    // does one this user may not delete, but no program's end will change that.
    bool inUse = (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) &&
                 (attributes & FILE_ATTRIBUTE_READONLY) == 0 && !AccessRefused(path, DELETE, 0);
    // The first run of a silent uninstall holds the installed program until it
    // is told, and a trial may be that program: the file is deleted after, as always.
    if (inUse && (g_silent || g_trial) && IsInstalledProgram(path)) {
        NoteWouldGo(path);
        NoteOutcome(OUTCOME_REMOVED, path, nullptr);
        return;
    }
    // One in use is reported once it is known what becomes of it.
    if (!inUse)
        (void)NoteResult(path, error);
    KeepFile(inUse ? FILE_IN_USE : FILE_NOT_REMOVED, path);
}

char* NextFileLeft(char* entry)
{
    entry = entry == nullptr ? g_filesLeft : entry + TextLength(entry + 1) + 2;
    return entry < g_filesLeft + g_filesLeftSize ? entry : nullptr;
}

static bool AnyFileLeft(char state)
{
    for (char* entry = NextFileLeft(nullptr); entry != nullptr; entry = NextFileLeft(entry))
        if (entry[0] == state)
            return true;
    return false;
}

bool RestartNeeded()
{
    return AnyFileLeft(FILE_AT_RESTART);
}

ListedItemsOutcome OutcomeOfListedItems()
{
    if (g_filesNotKept != 0 || AnyFileLeft(FILE_NOT_REMOVED))
        return ITEMS_NOT_REMOVED;
    return RestartNeeded() ? ITEMS_AT_RESTART : ALL_ITEMS_GONE;
}

static void DeleteFilesInUseAgain()
{
    for (char* entry = NextFileLeft(nullptr); entry != nullptr; entry = NextFileLeft(entry))
        if (entry[0] == FILE_IN_USE && (DeleteFileA(entry + 1) || GetFileAttributesA(entry + 1) == INVALID_FILE_ATTRIBUTES))
            entry[0] = FILE_GONE;
}

// The question has room for ten names shorter than MAX_PATH, then "…" in the
// user's code page (two bytes at most).
void NameInQuestion(const char* name)
{
    static const WCHAR ELLIPSIS = 0x2026;
    char* end = g_question + TextLength(g_question);
    if (g_namedPrograms < NAMED_PROGRAMS) {
        (void)wsprintfA(end, "\n%.259s", name);
    } else if (g_namedPrograms == NAMED_PROGRAMS) {
        *end++ = '\n';
        int length = WideCharToMultiByte(CP_ACP, 0, &ELLIPSIS, 1, end, 2, nullptr, nullptr);
        end[length > 0 ? length : 0] = '\0';
    }
    ++g_namedPrograms;
}

// The message, then a line for each program that uses a file in use, or for
// each such file where Windows names no program.
static char* ProgramsUsingFiles(int messageId, const char* afterMessage)
{
    (void)CopyText(g_question, sizeof g_question, MessageText(messageId));
    (void)AppendText(g_question, sizeof g_question, afterMessage);
    g_namedPrograms = 0;
    if (NameProgramsUsingFiles())
        return g_question;
    for (char* entry = NextFileLeft(nullptr); entry != nullptr; entry = NextFileLeft(entry))
        if (entry[0] == FILE_IN_USE)
            NameInQuestion(entry + 1);
    return g_question;
}

void AskToCloseProgramsUsingFiles()
{
    // A trial asks nothing: it names the programs on one status line, a tab
    // before each.
    if (g_trial && AnyFileLeft(FILE_IN_USE)) {
        char* line = ProgramsUsingFiles(MSG_IN_USE, "");
        for (char* c = line; (c = FindChar(c, '\n')) != nullptr;)
            *c = '\t';
        AddStatusLine(line);
    }
    // Nobody watches a silent run: what is in use waits for the restart.
    if (g_silent || g_trial)
        return;
    while (AnyFileLeft(FILE_IN_USE) &&
           AskFromProgressWindow(ProgramsUsingFiles(MSG_FILES_IN_USE, "\n"), MB_RETRYCANCEL | MB_ICONWARNING) ==
               IDRETRY)
        DeleteFilesInUseAgain();
}

void ReportFilesLeft()
{
    // A message text is shorter than MESSAGE_TEXT_SIZE, a path kept here than MAX_PATH.
    char line[MESSAGE_TEXT_SIZE + MAX_PATH];
    unsigned reported = 0;
    unsigned others = g_filesNotKept;
    for (char* entry = NextFileLeft(nullptr); entry != nullptr; entry = NextFileLeft(entry)) {
        if (entry[0] != FILE_AT_RESTART && entry[0] != FILE_NOT_REMOVED)
            continue;
        if (reported == REPORTED_FILES) {
            ++others;
            continue;
        }
        ++reported;
        (void)wsprintfA(line, "%.255s %.259s",
                        MessageText(entry[0] == FILE_AT_RESTART ? MSG_REMOVED_AT_RESTART : MSG_NOT_REMOVED), entry + 1);
        AddStatusLine(line);
    }
    if (others == 0)
        return;
    (void)wsprintfA(line, "%.255s %u more", MessageText(MSG_NOT_REMOVED), others);
    AddStatusLine(line);
}
