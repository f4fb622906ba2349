// A program for the run sections of scenario logs. It appends one line to
// probe.txt in its own folder:
//     <current directory>|<show mode it was given, or ->|<its arguments>
// With the word /late among its arguments it first waits 3 s, so that a run
// that does not wait for it sees the line come after everything else.
#include <windows.h>

namespace {

const DWORD LATE_MS = 3000;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The command line after the program (quoted or not) and the blanks after it.
const char* Arguments(const char* commandLine)
{
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p && !IsBlank(*p))
            ++p;
    }
    while (IsBlank(*p))
        ++p;
    return p;
}

bool HasWord(const char* text, const char* word)
{
    for (const char* p = text; *p; ++p) {
        if (p != text && !IsBlank(p[-1]))
            continue;
        int i = 0;
        while (word[i] && p[i] == word[i])
            ++i;
        if (!word[i] && (p[i] == '\0' || IsBlank(p[i])))
            return true;
    }
    return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const char* arguments = Arguments(GetCommandLineA());
    if (HasWord(arguments, "/late"))
        Sleep(LATE_MS);

    char line[4096];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, line);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char show[16] = "-";
    if (startup.dwFlags & STARTF_USESHOWWINDOW)
        wsprintfA(show, "%u", startup.wShowWindow);
    lstrcatA(line, "|");
    lstrcatA(line, show);
    lstrcatA(line, "|");
    if (lstrlenA(line) + lstrlenA(arguments) + 3 > int(sizeof line))
        return 1;
    lstrcatA(line, arguments);
    lstrcatA(line, "\r\n");

    char path[MAX_PATH + 16];
    length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    char* slash = path + length;
    while (slash > path && slash[-1] != '\\')
        --slash;
    lstrcpyA(slash, "probe.txt");

    // Several probes may write at once; the one that finds the file busy tries again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL ok = WriteFile(file, line, DWORD(lstrlenA(line)), &written, nullptr);
            CloseHandle(file);
            return ok ? 0 : 1;
        }
        Sleep(50);
    }
    return 1;
}
