#include "launcher.h"
#include "text.h"

typedef DWORD(WINAPI* GetTempPathWFunction)(DWORD size, LPWSTR buffer);
typedef DWORD(WINAPI* GetShortPathNameWFunction)(LPCWSTR path, LPWSTR buffer, DWORD size);

static bool IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static bool EndWithBackslash(char* folder)
{
    unsigned length = TextLength(folder);
    return length != 0 && (folder[length - 1] == '\\' || AppendText(folder, MAX_PATH, "\\"));
}

// The folder as GetTempPathA spells it. A name with letters outside the ANSI
// code page comes back with "?" in their place and names nothing.
static bool TempPathAsSpelt(char* folder)
{
    DWORD length = GetTempPathA(MAX_PATH, folder);
    return length != 0 && length < MAX_PATH && EndWithBackslash(folder);
}

// The short (8.3) form of the true, wide temporary folder, when every one of
// its characters has an ANSI spelling of its own (a best-fit letter would name
// another folder). The 95 family has only stubs of the wide calls, which fail;
// Windows before 2000 may refuse the flag, which ends up the same.
static bool ShortTempPath(char* folder)
{
    GetTempPathWFunction getTempPathW = reinterpret_cast<GetTempPathWFunction>(KernelFunction("GetTempPathW"));
    GetShortPathNameWFunction getShortPathNameW =
        reinterpret_cast<GetShortPathNameWFunction>(KernelFunction("GetShortPathNameW"));
    if (getTempPathW == nullptr || getShortPathNameW == nullptr)
        return false;
    WCHAR longPath[MAX_PATH];
    WCHAR shortPath[MAX_PATH];
    DWORD length = getTempPathW(MAX_PATH, longPath);
    if (length == 0 || length >= MAX_PATH)
        return false;
    length = getShortPathNameW(longPath, shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    BOOL lossy = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, shortPath, -1, folder, MAX_PATH, nullptr, &lossy) > 0 && !lossy &&
           EndWithBackslash(folder);
}

static bool WindowsTempFolder(char* folder)
{
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    return length != 0 && length < MAX_PATH && EndWithBackslash(folder) && AppendText(folder, MAX_PATH, "Temp\\");
}

static bool TempCopyIn(const char* folder)
{
    return IsDirectory(folder) && CopyText(g_tempCopyPath, MAX_PATH, folder) &&
           AppendText(g_tempCopyPath, MAX_PATH, g_ownFileName);
}

bool FindTempCopyPath()
{
    char folder[MAX_PATH];
    return (TempPathAsSpelt(folder) && TempCopyIn(folder)) || (ShortTempPath(folder) && TempCopyIn(folder)) ||
           (WindowsTempFolder(folder) && TempCopyIn(folder));
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

bool RunsAsTempCopy(const char* modulePath)
{
    if (SameFile(g_tempCopyPath, modulePath))
        return true;
    // A copy started through the short form of a folder whose name the ANSI
    // code page cannot spell still gets its long name, with "?", as its own
    // path; no ANSI call turns that back into the short form.
    char spelt[MAX_PATH];
    return TempPathAsSpelt(spelt) && AppendText(spelt, MAX_PATH, g_ownFileName) &&
           SameTextIgnoringCase(spelt, modulePath);
}
