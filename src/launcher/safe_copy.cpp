#include "launcher.h"
#include "text.h"

static const DWORD COMPARE_CHUNK = 1024;

static bool SameContents(HANDLE a, HANDLE b)
{
    DWORD size = GetFileSize(a, nullptr);
    if (size == INVALID_FILE_SIZE || size != GetFileSize(b, nullptr))
        return false;
    char chunkA[COMPARE_CHUNK];
    char chunkB[COMPARE_CHUNK];
    for (DWORD done = 0; done < size;) {
        DWORD wanted = size - done < COMPARE_CHUNK ? size - done : COMPARE_CHUNK;
        DWORD readA = 0;
        DWORD readB = 0;
        if (!ReadFile(a, chunkA, wanted, &readA, nullptr) || !ReadFile(b, chunkB, wanted, &readB, nullptr) ||
            readA != wanted || readB != wanted)
            return false;
        for (DWORD i = 0; i < wanted; ++i)
            if (chunkA[i] != chunkB[i])
                return false;
        done += wanted;
    }
    return true;
}

// Another program may have put its own file at the copy's path and kept it
// from being overwritten, or may change it between the copy and the start. The
// copy is opened so that nobody may write, rename or delete it while it stays
// open (the loader only reads it), and then compared with the program's file.
HANDLE LockVerifiedTempCopy(const char* modulePath)
{
    if (!CopyFileA(modulePath, g_tempCopyPath, FALSE))
        return INVALID_HANDLE_VALUE;
    HANDLE copy =
        CreateFileA(g_tempCopyPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (copy == INVALID_HANDLE_VALUE)
        return copy;
    HANDLE original = CreateFileA(modulePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    bool same = original != INVALID_HANDLE_VALUE && SameContents(copy, original);
    if (original != INVALID_HANDLE_VALUE)
        (void)CloseHandle(original);
    if (same)
        return copy;
    (void)CloseHandle(copy);
    return INVALID_HANDLE_VALUE;
}
