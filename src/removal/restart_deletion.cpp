#include "launcher.h"
#include "log_section.h"
#include "platform.h"
#include "removal.h"
#include "report.h"
#include "text.h"

// Names tried for a file in use before it is scheduled under its own name.
static const unsigned RENAME_ATTEMPTS = 100;
// "~vorsil100.tmp" and its terminator.
static const unsigned NEW_NAME_SIZE = 15;

// A new version is often installed before the restart. Deleted at the restart
// under its own name, a file in use would take the new version's file with
// it: renamed first, it leaves its name free, and the restart deletes only
// what it was. A running program's file can be renamed, not deleted. The new
// name stays in the file's folder, whose rights keep protecting it; in a folder
// others can write, a name could be pointed elsewhere before the restart.
static bool RenameBeside(const char* path, char* newName)
{
    const char* fileName = FileNamePart(path);
    unsigned folderLength = fileName != nullptr ? unsigned(fileName - path) : 0;
    // The folder leaves room for the longest name tried.
    if (fileName == nullptr || !CopyTextPart(newName, MAX_PATH - NEW_NAME_SIZE, path, folderLength))
        return false;
    for (unsigned attempt = 1; attempt <= RENAME_ATTEMPTS; ++attempt) {
        (void)wsprintfA(newName + folderLength, "~vorsil%u.tmp", attempt);
        if (MoveFileA(path, newName))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return false; // the holder does not share deletion
    }
    return false;
}

// What becomes of a file in use: renamed and deleted at the restart, deleted
// at the restart under its own name, or not removed (*error says why).
// wininit.ini of the 95 family knows only names as they are. A trial judges
// it so.
static Outcome ScheduleFileInUse(const char* path, char* newName, DWORD* error)
{
    newName[0] = '\0';
    if (!ShouldAct())
        return RunsOnNtFamily() ? OUTCOME_RENAMED : OUTCOME_SCHEDULED;
    bool renamed = RunsOnNtFamily() && RenameBeside(path, newName);
    if (renamed ? MoveFileExA(newName, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) : ScheduleDeletionAtRestart(path))
        return renamed ? OUTCOME_RENAMED : OUTCOME_SCHEDULED;
    *error = GetLastError();
    // Only administrators may schedule: the file gets its name back and stays.
    if (renamed)
        (void)MoveFileA(newName, path);
    return OUTCOME_NOT_REMOVED;
}

void ScheduleFilesInUse()
{
    for (char* entry = NextFileLeft(nullptr); entry != nullptr; entry = NextFileLeft(entry)) {
        if (entry[0] != FILE_IN_USE && entry[0] != FILE_GONE)
            continue;
        g_section = SectionOfFileLeft(entry);
        NoteWouldGo(entry + 1);
        char newName[MAX_PATH];
        DWORD error = ERROR_SUCCESS;
        Outcome outcome = entry[0] == FILE_GONE ? OUTCOME_REMOVED : ScheduleFileInUse(entry + 1, newName, &error);
        if (outcome == OUTCOME_NOT_REMOVED)
            (void)NoteResult(entry + 1, error);
        else
            NoteOutcome(outcome, entry + 1, outcome == OUTCOME_RENAMED ? newName : nullptr);
        if (entry[0] == FILE_IN_USE)
            entry[0] = outcome == OUTCOME_NOT_REMOVED ? FILE_NOT_REMOVED : FILE_AT_RESTART;
    }
}

static bool IsInside(const char* path, const char* directory)
{
    unsigned length = TextLength(directory);
    if (length != 0 && directory[length - 1] == '\\')
        --length;
    return length != 0 && SamePrefixIgnoringCase(path, directory, length) && path[length] == '\\';
}

static bool HoldsFileForRestart(const char* directory)
{
    for (char* entry = NextFileLeft(nullptr); entry != nullptr; entry = NextFileLeft(entry))
        if (entry[0] == FILE_AT_RESTART && IsInside(entry + 1, directory))
            return true;
    return false;
}

// One that holds a file left for the restart exists, and is a directory. The
// restart deletes it only if it is empty by then: the user's files keep it.
static void ScheduleDirectoryForRestart(char* directory)
{
    if (HoldsFileForRestart(directory))
        (void)MoveFileExA(directory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void ScheduleDirectoriesOfFilesInUse(char* directories)
{
    // After the files they hold, and from the last line to the first, as the
    // directories are removed; wininit.ini deletes no directories.
    if (ShouldAct() && RestartNeeded() && RunsOnNtFamily())
        ForEachEntryBackwards(directories, ScheduleDirectoryForRestart);
}
