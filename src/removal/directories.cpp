#include "log_section.h"
#include "progress.h"
#include "removal.h"
#include "text.h"

static const int IN_USE_RETRIES = 10;
static const DWORD IN_USE_RETRY_DELAY = 100;

static bool IsDotEntry(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// True only when the listing succeeds and shows nothing but "." and "..":
// a directory that cannot be listed is not known to be empty.
static bool IsListedEmpty(const char* pattern)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do {
        if (!IsDotEntry(entry.cFileName)) {
            empty = false;
            break;
        }
    } while (FindNextFileA(search, &entry));
    (void)FindClose(search);
    return empty;
}

// RemoveDirectoryA removes only an empty directory: a file that appeared since
// the directory was looked at is never deleted. A program just waited for may
// hold the directory as its current one a moment after it has ended (Wine lets
// go of it late): it gets a second.
static void RemoveEmptyDirectory(const char* directory)
{
    for (int attempt = 0; attempt < IN_USE_RETRIES; ++attempt) {
        if (RemoveDirectoryA(directory) || GetLastError() != ERROR_SHARING_VIOLATION)
            return;
        WaitDispatching(IN_USE_RETRY_DELAY);
    }
}

void RemoveDirectoryIfEmpty(const char* directory)
{
    unsigned length = TextLength(directory);
    if (length == 0)
        return;
    DWORD attributes = GetFileAttributesA(directory);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return;
    // A plain directory needs no listing: RemoveDirectoryA refuses one that is
    // not empty. A junction or a directory link it removes whatever its target
    // holds, so one of those goes only when a listing shows it empty.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        RemoveEmptyDirectory(directory);
        return;
    }
    char pattern[MAX_PATH];
    const char* wildcard = directory[length - 1] == '\\' ? "*.*" : "\\*.*";
    // A link too long to list stays.
    if (!CopyText(pattern, MAX_PATH, directory) || !AppendText(pattern, MAX_PATH, wildcard))
        return;
    if (IsListedEmpty(pattern))
        RemoveEmptyDirectory(directory);
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
