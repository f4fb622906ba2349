#include "launcher.h"
#include "platform.h"
#include "text.h"

static const char WININIT_NAME[] = "wininit.ini";
static const char RENAME_HEADER[] = "[Rename]\r\n";
// wininit.ini is a short list of start-up operations; a larger file is not one we dare rewrite.
static const DWORD WININIT_SIZE_LIMIT = 1024 * 1024;

static const char* NextLineStart(const char* text, const char* end)
{
    while (text < end && *text != '\n')
        ++text;
    return text < end ? text + 1 : end;
}

// Whether the line at text is the header of the [Rename] section (case as the profile functions take it).
static bool IsRenameHeader(const char* text, const char* end)
{
    while (text < end && IsBlank(*text))
        ++text;
    const char* name = "[rename]";
    for (; *name != '\0'; ++name, ++text) {
        if (text == end)
            return false;
        char c = *text;
        if (c >= 'A' && c <= 'Z')
            c = char(c + ('a' - 'A'));
        if (c != *name)
            return false;
    }
    return true;
}

// Where the new line goes: just after the [Rename] header, or nullptr when the file has none.
static const char* FindRenameInsertion(const char* text, const char* end)
{
    for (const char* line = text; line < end; line = NextLineStart(line, end))
        if (IsRenameHeader(line, end))
            return NextLineStart(line, end);
    return nullptr;
}

static void WriteText(HANDLE file, const char* text, DWORD length)
{
    DWORD written;
    (void)WriteFile(file, text, length, &written, nullptr);
}

// Writes the file anew from its start: the old text with "NUL=path" added to
// [Rename], the section made at the end when missing. Nothing is lost: the
// new text is longer than the old one.
static bool WriteWithRenameLine(HANDLE file, const char* text, DWORD size, const char* path)
{
    const char* end = text + size;
    const char* insertion = FindRenameInsertion(text, end);
    bool newSection = insertion == nullptr;
    if (newSection)
        insertion = end;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    WriteText(file, text, DWORD(insertion - text));
    // The header or the file's last line may lack its line break.
    if (insertion > text && insertion[-1] != '\n')
        WriteText(file, "\r\n", 2);
    if (newSection)
        WriteText(file, RENAME_HEADER, sizeof RENAME_HEADER - 1);
    WriteText(file, "NUL=", 4);
    WriteText(file, path, TextLength(path));
    WriteText(file, "\r\n", 2);
    WriteText(file, insertion, DWORD(end - insertion));
    return true;
}

static bool FindWininitPath(char* path)
{
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    if (path[length - 1] != '\\' && !AppendText(path, MAX_PATH, "\\"))
        return false;
    return AppendText(path, MAX_PATH, WININIT_NAME);
}

// The 95 family deletes files at start-up from the [Rename] section of wininit.ini.
// The file may already list other programs' NUL= lines, so the line is added as
// text; the profile functions would replace the first NUL= line instead.
static bool AddWininitDeletion(const char* path)
{
    // The start-up processing runs before long file names are available.
    char shortPath[MAX_PATH];
    DWORD shortLength = GetShortPathNameA(path, shortPath, MAX_PATH);
    if ((shortLength == 0 || shortLength >= MAX_PATH) && !CopyText(shortPath, MAX_PATH, path))
        return false;

    char wininitPath[MAX_PATH];
    if (!FindWininitPath(wininitPath))
        return false;
    // Writes cached by the profile functions must reach the file before it is read as text.
    (void)WritePrivateProfileStringA(nullptr, nullptr, nullptr, WININIT_NAME);

    HANDLE file = CreateFileA(wininitPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    HANDLE heap = GetProcessHeap();
    char* text = nullptr;
    if (size != INVALID_FILE_SIZE && size <= WININIT_SIZE_LIMIT)
        text = static_cast<char*>(HeapAlloc(heap, 0, size + 1));
    DWORD read = 0;
    bool added = text != nullptr && ReadFile(file, text, size, &read, nullptr) && read == size &&
                 WriteWithRenameLine(file, text, size, shortPath);
    if (text != nullptr)
        (void)HeapFree(heap, 0, text);
    (void)CloseHandle(file);
    return added;
}

bool ScheduleDeletionAtRestart(const char* path)
{
    if (RunsOnNtFamily())
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    return AddWininitDeletion(path);
}
