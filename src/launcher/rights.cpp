#include "launcher.h"
#include "platform.h"
#include "text.h"

static const DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether this user is refused the access.
static bool AccessRefused(const char* path, DWORD access, DWORD flags)
{
    return !FileOpens(path, access, SHARE_ALL, flags) && GetLastError() == ERROR_ACCESS_DENIED;
}

// A log that this user can neither change nor delete, nor take out of its
// folder, was written by somebody with more rights: acting on it with more
// rights cannot be turned against its owner. A read-only file refuses writing
// to everybody, so it tells nothing.
static bool LogIsProtected(const char* logPath)
{
    DWORD attributes = GetFileAttributesA(logPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    const char* fileName = FileNamePart(logPath);
    char folder[MAX_PATH];
    if (fileName == nullptr || !CopyTextPart(folder, MAX_PATH, logPath, unsigned(fileName - logPath)))
        return false;
    // The folder is named without its last backslash, but a drive's root keeps it.
    unsigned length = TextLength(folder);
    if (length > 1 && folder[length - 2] != ':')
        folder[length - 1] = '\0';
    return AccessRefused(logPath, GENERIC_WRITE, 0) && AccessRefused(logPath, DELETE, 0) &&
           AccessRefused(folder, FILE_DELETE_CHILD, FILE_FLAG_BACKUP_SEMANTICS);
}

// "runas" asks for an administrator's consent from Windows Vista on; on XP it
// opens the "Run as" dialog instead, and earlier Windows do not know it.
const char* StartVerbFor(const char* logPath)
{
    return RunsOnNt6OrLater() && LogIsProtected(logPath) ? "runas" : "open";
}
