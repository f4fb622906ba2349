// The benchmark's hands inside Wine: starts the uninstaller as a user would and
// answers it, meanwhile sending its window WM_NULL every 50 ms and reading the
// newest status line as a helper program would (the longest wait for an answer
// and the counts seen are printed), times the baseline, and sets up and checks
// the sample's registry.
// A console program built with mingw-w64; it prints "name=value" lines.
//
//   driver uninstall <program> <folder> <finished text>
//   driver run <program> <folder> [argument]
//   driver regload <list>       (lines "K<TAB>HKCU\key" and "V<TAB>HKCU\key<TAB>name<TAB>data")
//   driver regcheck <HKCU\key>  (prints whether the key is still there, and what it holds)
//   driver regdelete <HKCU\key> (deletes the key with all it holds)
//   driver hold                 (keeps Wine's desktop up between runs; ends when killed)
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

static const int kStatusListId = 200;
static const DWORD kTimeoutMs = 20 * 60 * 1000;

static LARGE_INTEGER g_frequency;

static double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart) / double(g_frequency.QuadPart);
}

static HKEY RootOf(const char* path, const char** rest)
{
    static const struct {
        const char* name;
        HKEY root;
    } roots[] = {{"HKCU\\", HKEY_CURRENT_USER}, {"HKLM\\", HKEY_LOCAL_MACHINE}, {"HKCR\\", HKEY_CLASSES_ROOT}};
    for (const auto& candidate : roots)
        if (_strnicmp(path, candidate.name, 5) == 0) {
            *rest = path + 5;
            return candidate.root;
        }
    return nullptr;
}

// A program started with shareOutput writes to the driver's own output.
static bool Start(const char* program, const char* folder, const char* argument, bool shareOutput,
                  PROCESS_INFORMATION* process)
{
    char commandLine[1024];
    if (argument != nullptr)
        snprintf(commandLine, sizeof commandLine, "\"%s\" %s", program, argument);
    else
        snprintf(commandLine, sizeof commandLine, "\"%s\"", program);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (shareOutput) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    return CreateProcessA(program, commandLine, nullptr, nullptr, shareOutput, 0, nullptr, folder, &startup,
                          process) != 0;
}

// Windows that were there before the run started are someone else's.
static HWND g_before[64];
static int g_beforeCount;

static bool WasThereBefore(HWND window)
{
    for (int i = 0; i < g_beforeCount; ++i)
        if (g_before[i] == window)
            return true;
    return false;
}

static void NoteWindowsBefore()
{
    g_beforeCount = 0;
    for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", nullptr); window != nullptr && g_beforeCount < 64;
         window = FindWindowExA(nullptr, window, "#32770", nullptr))
        g_before[g_beforeCount++] = window;
}

// The uninstaller's top-level dialog windows are captioned "Uninstall": the
// question box has no status list, the progress window has one.
static HWND FindUninstallWindow(bool progress)
{
    for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", "Uninstall"); window != nullptr;
         window = FindWindowExA(nullptr, window, "#32770", "Uninstall"))
        if (!WasThereBefore(window) && IsWindowVisible(window) && (GetDlgItem(window, kStatusListId) != nullptr) == progress)
            return window;
    return nullptr;
}

static HWND WaitForUninstallWindow(bool progress, double startMs)
{
    for (;;) {
        HWND window = FindUninstallWindow(progress);
        if (window != nullptr)
            return window;
        if (NowMs() - startMs > kTimeoutMs)
            return nullptr;
        // Not much oftener: every look is a call to Wine's server, which the
        // program needs too.
        Sleep(5);
    }
}

// The longest time the progress window took to answer one message, and the
// newest status line just before it.
static double g_longestSilenceMs;
static char g_silenceAfter[512];
static char g_newest[512];

// Sends as a helper program would, and notes how long the answer took.
static bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    double start = NowMs();
    bool answered = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kTimeoutMs, result) != 0;
    double took = NowMs() - start;
    if (took > g_longestSilenceMs) {
        g_longestSilenceMs = took;
        strcpy(g_silenceAfter, g_newest);
    }
    return answered;
}

// The line is read as UTF-16: Wine 8 hands LB_GETTEXT sent across processes
// back unconverted to an ANSI caller. The room to spare in the buffer is for a
// line replaced between the two messages.
static bool LastStatusLine(HWND list, char* text, int size, int* count)
{
    DWORD_PTR value = 0;
    if (!Ask(list, LB_GETCOUNT, 0, 0, &value))
        return false;
    *count = int(value);
    text[0] = '\0';
    if (*count <= 0)
        return true;
    WCHAR wide[512];
    if (!Ask(list, LB_GETTEXTLEN, WPARAM(*count - 1), 0, &value) || int(value) >= 256)
        return false;
    if (!Ask(list, LB_GETTEXT, WPARAM(*count - 1), LPARAM(wide), &value) || int(value) >= 512)
        return false;
    wide[value] = 0;
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, text, size, nullptr, nullptr) != 0;
}

// "Removing files... 12345/50000"
static bool IsCountLine(const char* line)
{
    const char* slash = strrchr(line, '/');
    const char* blank = strrchr(line, ' ');
    if (slash == nullptr || blank == nullptr || blank > slash || slash[1] == '\0' || slash == blank + 1)
        return false;
    for (const char* c = blank + 1; *c != '\0'; ++c)
        if (c != slash && (*c < '0' || *c > '9'))
            return false;
    return true;
}

static int Uninstall(const char* program, const char* folder, const char* finishedText)
{
    NoteWindowsBefore();
    double start = NowMs();
    PROCESS_INFORMATION firstRun;
    if (!Start(program, folder, nullptr, false, &firstRun)) {
        fprintf(stderr, "cannot start %s (error %lu)\n", program, GetLastError());
        return 2;
    }
    HWND question = WaitForUninstallWindow(false, start);
    if (question == nullptr) {
        fprintf(stderr, "no question box\n");
        return 2;
    }
    double asked = NowMs();
    FILETIME askedAt;
    GetSystemTimeAsFileTime(&askedAt);
    DWORD processId = 0;
    GetWindowThreadProcessId(question, &processId);
    HANDLE secondRun = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    // From the start of the second run, which reads the log, to its question:
    // free of the first run's and the program start's jitter.
    FILETIME created, ended, kernel, user;
    double secondRunToQuestion = -1;
    if (secondRun != nullptr && GetProcessTimes(secondRun, &created, &ended, &kernel, &user)) {
        ULARGE_INTEGER from, to;
        from.LowPart = created.dwLowDateTime;
        from.HighPart = created.dwHighDateTime;
        to.LowPart = askedAt.dwLowDateTime;
        to.HighPart = askedAt.dwHighDateTime;
        secondRunToQuestion = double(to.QuadPart - from.QuadPart) / 10000.0;
    }
    PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(question, IDOK)));

    HWND progress = WaitForUninstallWindow(true, start);
    if (progress == nullptr) {
        fprintf(stderr, "no progress window\n");
        return 2;
    }
    double opened = NowMs();
    HWND list = GetDlgItem(progress, kStatusListId);
    char line[512];
    int count = 0;
    int countLines = 0;
    char countExample[512] = "";
    double lastPing = -1000;
    // As a helper that checks the window: WM_NULL every 50 ms; in between the
    // newest line, read again as soon as the window answers, tells the end.
    for (;;) {
        if (NowMs() - lastPing >= 50) {
            lastPing = NowMs();
            if (!Ask(progress, WM_NULL, 0, 0, nullptr)) {
                fprintf(stderr, "the progress window does not answer\n");
                return 2;
            }
        }
        if (!LastStatusLine(list, line, sizeof line, &count)) {
            fprintf(stderr, "the status list does not answer\n");
            return 2;
        }
        if (strcmp(line, g_newest) != 0) {
            if (IsCountLine(line) && ++countLines == 1)
                strcpy(countExample, line);
            strcpy(g_newest, line);
        }
        if (strcmp(line, finishedText) == 0)
            break;
        if (NowMs() - start > kTimeoutMs) {
            fprintf(stderr, "not finished: last status line \"%s\"\n", line);
            return 2;
        }
        Sleep(1);
    }
    double finished = NowMs();

    PROCESS_MEMORY_COUNTERS memory;
    ZeroMemory(&memory, sizeof memory);
    memory.cb = sizeof memory;
    bool haveMemory = secondRun != nullptr && GetProcessMemoryInfo(secondRun, &memory, sizeof memory);

    PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), LPARAM(GetDlgItem(progress, IDCANCEL)));
    DWORD exitCode = 999;
    if (secondRun != nullptr) {
        if (WaitForSingleObject(secondRun, 30000) != WAIT_OBJECT_0) {
            fprintf(stderr, "the progress window does not close\n");
            TerminateProcess(secondRun, 3);
        }
        GetExitCodeProcess(secondRun, &exitCode);
    }
    WaitForSingleObject(firstRun.hProcess, 30000);

    printf("total_ms=%.1f\n", finished - start);
    printf("question_ms=%.1f\n", asked - start);
    printf("second_run_to_question_ms=%.1f\n", secondRunToQuestion);
    printf("after_answer_ms=%.1f\n", finished - asked);
    printf("window_to_finish_ms=%.1f\n", finished - opened);
    printf("status_lines=%d\n", count);
    printf("longest_silence_ms=%.1f\n", g_longestSilenceMs);
    printf("longest_silence_after=%s\n", g_silenceAfter);
    printf("count_lines_seen=%d\n", countLines);
    printf("count_example=%s\n", countExample);
    printf("exit_code=%lu\n", exitCode);
    if (haveMemory) {
        printf("peak_working_set=%lu\n", (unsigned long)memory.PeakWorkingSetSize);
        printf("peak_pagefile=%lu\n", (unsigned long)memory.PeakPagefileUsage);
    }
    return exitCode == 0 ? 0 : 1;
}

static int Run(const char* program, const char* folder, const char* argument)
{
    double start = NowMs();
    PROCESS_INFORMATION process;
    if (!Start(program, folder, argument, true, &process)) {
        fprintf(stderr, "cannot start %s (error %lu)\n", program, GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    double ended = NowMs();
    DWORD exitCode = 999;
    GetExitCodeProcess(process.hProcess, &exitCode);
    printf("total_ms=%.1f\n", ended - start);
    printf("exit_code=%lu\n", exitCode);
    return exitCode == 0 ? 0 : 1;
}

static char* ReadWholeFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    DWORD size = GetFileSize(file, nullptr);
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1));
    DWORD read = 0;
    if (text == nullptr || !ReadFile(file, text, size, &read, nullptr) || read != size) {
        CloseHandle(file);
        return nullptr;
    }
    CloseHandle(file);
    text[size] = '\0';
    return text;
}

// Splits a line at tabs in place; returns the number of fields.
static int SplitFields(char* line, char** fields, int most)
{
    int count = 0;
    fields[count++] = line;
    for (char* c = line; *c != '\0' && count < most; ++c)
        if (*c == '\t') {
            *c = '\0';
            fields[count++] = c + 1;
        }
    return count;
}

static int LoadRegistry(const char* listPath)
{
    char* text = ReadWholeFile(listPath);
    if (text == nullptr) {
        fprintf(stderr, "cannot read %s\n", listPath);
        return 2;
    }
    int keys = 0, values = 0, failures = 0;
    for (char* line = strtok(text, "\r\n"); line != nullptr; line = strtok(nullptr, "\r\n")) {
        char* fields[4];
        int count = SplitFields(line, fields, 4);
        const char* subkey = nullptr;
        HKEY root = count >= 2 ? RootOf(fields[1], &subkey) : nullptr;
        if (root == nullptr) {
            ++failures;
            continue;
        }
        HKEY key;
        if (RegCreateKeyA(root, subkey, &key) != ERROR_SUCCESS) {
            ++failures;
            continue;
        }
        if (fields[0][0] == 'K')
            ++keys;
        else if (fields[0][0] == 'V' && count == 4 &&
                 RegSetValueExA(key, fields[2], 0, REG_SZ, reinterpret_cast<const BYTE*>(fields[3]),
                                DWORD(strlen(fields[3]) + 1)) == ERROR_SUCCESS)
            ++values;
        else
            ++failures;
        RegCloseKey(key);
    }
    printf("keys=%d\nvalues=%d\nfailures=%d\n", keys, values, failures);
    return failures == 0 ? 0 : 1;
}

// Counts the values and subkeys below a key, the key's own included.
static void CountBelow(HKEY key, unsigned long* values, unsigned long* subkeys)
{
    DWORD ownValues = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ownValues, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS)
        *values += ownValues;
    char name[256];
    for (DWORD index = 0; RegEnumKeyA(key, index, name, sizeof name) == ERROR_SUCCESS; ++index) {
        HKEY child;
        ++*subkeys;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            CountBelow(child, values, subkeys);
            RegCloseKey(child);
        }
    }
}

static int CheckRegistry(const char* path)
{
    const char* subkey = nullptr;
    HKEY root = RootOf(path, &subkey);
    HKEY key;
    if (root == nullptr || RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        printf("key=absent\nvalues=0\nsubkeys=0\n");
        return 0;
    }
    unsigned long values = 0, subkeys = 0;
    CountBelow(key, &values, &subkeys);
    RegCloseKey(key);
    printf("key=present\nvalues=%lu\nsubkeys=%lu\n", values, subkeys);
    return 0;
}

int main(int argc, char** argv)
{
    QueryPerformanceFrequency(&g_frequency);
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 5 && strcmp(argv[1], "uninstall") == 0)
        return Uninstall(argv[2], argv[3], argv[4]);
    if ((argc == 4 || argc == 5) && strcmp(argv[1], "run") == 0)
        return Run(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    if (argc == 3 && strcmp(argv[1], "regload") == 0)
        return LoadRegistry(argv[2]);
    if (argc == 3 && strcmp(argv[1], "regcheck") == 0)
        return CheckRegistry(argv[2]);
    if (argc == 3 && strcmp(argv[1], "regdelete") == 0) {
        const char* subkey = nullptr;
        HKEY root = RootOf(argv[2], &subkey);
        return root != nullptr && RegDeleteTreeA(root, subkey) == ERROR_SUCCESS ? 0 : 1;
    }
    if (argc == 2 && strcmp(argv[1], "hold") == 0) {
        // Wine ends its desktop process soon after the last program on it, and
        // starting it again can take seconds: a run would pay for that.
        GetDesktopWindow();
        for (;;)
            Sleep(INFINITE);
    }
    fprintf(stderr, "usage: driver uninstall|run|regload|regcheck|regdelete|hold ...\n");
    return 2;
}
