#include "log_section.h"
#include "progress.h"
#include "removal.h"
#include "report.h"
#include "text.h"

static const int IN_USE_RETRIES = 10;
static const DWORD IN_USE_RETRY_DELAY = 100;

static bool IsDotEntry(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The entries but "." and ".." of a listing, or ~0u when it fails: a
// directory that cannot be listed is not known to be empty.
static unsigned CountEntries(const char* pattern)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return ~0u;
    unsigned count = 0;
    do {
        if (!IsDotEntry(entry.cFileName))
            ++count;
    } while (FindNextFileA(search, &entry));
    (void)FindClose(search);
    return count;
}

// RemoveDirectoryA removes only an empty directory: a file that appeared since
// the directory was looked at is never deleted. A program just waited for may
// hold the directory as its current one a moment after it has ended (Wine lets
// go of it late): it gets a second.
static DWORD RemoveEmptyDirectory(const char* directory)
{
    for (int attempt = 1;; ++attempt) {
        if (RemoveDirectoryA(directory))
            return ERROR_SUCCESS;
        DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION || attempt == IN_USE_RETRIES)
            return error;
        WaitDispatching(IN_USE_RETRY_DELAY);
    }
}

void RemoveDirectoryIfEmpty(const char* directory)
{
    unsigned length = TextLength(directory);
    if (length == 0)
        return;
    DWORD attributes = GetFileAttributesA(directory);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        (void)NoteResult(directory, ERROR_PATH_NOT_FOUND);
        return;
    }
    char pattern[MAX_PATH];
    const char* wildcard = directory[length - 1] == '\\' ? "*.*" : "\\*.*";
    // One too long to list is not known to be empty.
    bool listed = CopyText(pattern, MAX_PATH, directory) && AppendText(pattern, MAX_PATH, wildcard);
    DWORD error = ERROR_DIR_NOT_EMPTY;
    if (!ShouldAct()) {
        // A trial deleted nothing: what the directory holds that would go
        // before it does not keep it.
        if (listed && CountEntries(pattern) <= WouldGoInside(directory)) {
            NoteWouldGo(directory);
            error = ERROR_SUCCESS;
        }
    } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 || (listed && CountEntries(pattern) == 0)) {
        // A plain directory needs no listing: RemoveDirectoryA refuses one
        // that is not empty. A junction or a directory link it removes
        // whatever its target holds, so one of those goes only when a listing
        // shows it empty.
        error = RemoveEmptyDirectory(directory);
    }
    if (error == ERROR_DIR_NOT_EMPTY)
        NoteOutcome(OUTCOME_KEPT, directory, nullptr);
    else
        (void)NoteResult(directory, error);
}

static void RemoveListedDirectory(char* directory)
{
    RemoveDirectoryIfEmpty(directory);
}

void RemoveListedDirectories(char* list)
{
    // From the last line to the first, so a directory created inside another is
    // examined before its parent. In "A=B" only A is a directory.
    ForEachEntryBackwards(list, RemoveListedDirectory);
}
