// The removal sequence and its handlers, one per kind of logged action.
#pragma once
#include "launcher.h"
#include <windows.h>

void RunRemoval();
// The exit code of the run that removed: 0 for an interactive one, else what
// became of the listed items.
int RemovalExitCode();

void DeleteListedFiles(char* list);
void RemoveIniEntries(char* list);

HKEY HiveFromPrefix(const char* line);
void RemoveRegistryValues(char* list);
void RemoveRegistryKeys(char* list);

void RemoveListedDirectories(char* list);
void RemoveDirectoryIfEmpty(const char* directory);

void RunListedPrograms(char* list);

// The installed program: the file of the program's name in the log's folder.
// False when the path does not fit.
bool FindInstalledProgram(char* path);

// Items the log lists that stay after their removal failed: files and
// shortcuts in use go at the next restart, if the user does not close the
// programs that use them first; the others, and INI entries, registry values
// and keys refused, are reported.
enum FileLeft : char {
    FILE_IN_USE = 'u',
    FILE_AT_RESTART = 'r',  // deleted at the next restart
    FILE_NOT_REMOVED = 'n',
    FILE_GONE = 'g',        // deleted when the user asked to try again
};
// The removal starts with none.
void ForgetFilesLeft();
// Called right after DeleteFileA failed on a listed file.
void KeepFileNotDeleted(const char* path);
// Called with the error of a listed INI entry's, registry value's or key's
// removal, the line cut at its "="; nothing is kept for success or absence.
// Tells the report either way.
void KeepItemNotRemoved(const char* item, DWORD error);
// The files kept from now on are those of the second file section.
void KeepFilesOfNextSection();
// The section of a file left: "CopyFiles" or "Shortcuts".
const char* SectionOfFileLeft(const char* entry);
// Items kept from now on go before those kept since, for a section walked
// from its last line to its first: the report keeps the log's order.
void KeepItemsWalkedBackwards();
// The files left in the log's order: NextFileLeft(nullptr) is the first,
// nullptr follows the last. entry[0] is a FileLeft, entry + 1 the path.
char* NextFileLeft(char* entry);
// Whether a file was left for the restart to delete.
bool RestartNeeded();
// What became of the listed items, as a silent run tells its caller.
ListedItemsOutcome OutcomeOfListedItems();
// An interactive run asks the user to close the programs that use files and
// deletes them again, as often as the user asks.
void AskToCloseProgramsUsingFiles();
// A line of the question: a program, or a file in use where no program is known.
void NameInQuestion(const char* name);
// Names the programs that use the files in use, where Windows can tell;
// false when it names none.
bool NameProgramsUsingFiles();
// Leaves the files still in use for the restart to delete, and after them the
// listed directories that hold them.
void ScheduleFilesInUse();
void ScheduleDirectoriesOfFilesInUse(char* directories);
// The status lines for the files that are not gone for good.
void ReportFilesLeft();
// When files wait for the restart, an interactive run offers to restart now.
void OfferRestart();
