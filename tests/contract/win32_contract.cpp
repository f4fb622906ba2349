// The contract of the Win32 subset the uninstaller uses: one table of rows,
// each a small use of the platform and the result it must give. The same
// program runs against the simulation (native build, VORSIL_SIMULATION) and
// against a real Win32 implementation (Wine, or Windows), so the simulation
// is held to what the real platform does.
//
// Cross build for Wine or Windows (the C runtime is allowed here), one line:
//   i686-w64-mingw32-g++ -std=c++17 -O1 -Wall -Wextra -static -o win32_contract.exe
//       tests/contract/win32_contract.cpp -ladvapi32 -lshell32 -luser32
// Run: tests/contract/run-under-wine.sh win32_contract.exe
//
// Each row names the platforms it expects a result on. Where Wine and
// Windows differ, the row says so and why; the simulation follows Wine there,
// unless the row says it follows Windows (a Wine shortcoming). Where Windows'
// answer is not confirmed, the row says that too. On the simulation both
// families run, one after the other; on a real platform the family is what
// GetVersionExA reports.
//
// The program starts itself with the argument "child" to have a process to
// wait for; that run returns at once.
#include <windows.h>
#include <shellapi.h>

#ifdef VORSIL_SIMULATION
#include "winsim.h"
#endif

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// ---- Platforms ----
enum : unsigned {
    WIN_NT = 1,
    WIN_95 = 2,
    WINE_NT = 4,
    WINE_95 = 8,
    SIM_NT = 16,
    SIM_95 = 32,
    NT = WIN_NT | WINE_NT | SIM_NT,
    FAMILY_95 = WIN_95 | WINE_95 | SIM_95,
    WINDOWS = WIN_NT | WIN_95,
    WINE = WINE_NT | WINE_95,
    SIM = SIM_NT | SIM_95,
    ANY = NT | FAMILY_95,
};

unsigned g_platform = 0;

const char* PlatformName(unsigned platform)
{
    switch (platform) {
    case WIN_NT: return "Windows, NT family";
    case WIN_95: return "Windows, 95 family";
    case WINE_NT: return "Wine, NT family";
    case WINE_95: return "Wine, 95 family (win98 setting)";
    case SIM_NT: return "simulation, NT family";
    case SIM_95: return "simulation, 95 family";
    }
    return "unknown";
}

[[maybe_unused]] bool IsNtFamily()
{
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// ---- Observations ----
std::string Num(long long value) { return std::to_string(value); }

// "1", or "0 err N" with the last error.
std::string Ok(BOOL result)
{
    if (result)
        return "1";
    return "0 err " + Num(GetLastError());
}

std::string HandleResult(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return "INVALID err " + Num(GetLastError());
    return "handle";
}

std::string Attributes(DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "INVALID err " + Num(GetLastError());
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(attributes));
    return text;
}

// Bytes as shown in the table: NUL as "|", CR and LF as \r and \n.
std::string Shown(const char* bytes, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char c = bytes[i];
        if (c == '\0')
            text += '|';
        else if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else
            text += c;
    }
    return text;
}

std::string Shown(const std::string& bytes) { return Shown(bytes.data(), bytes.size()); }

std::string Join(const std::vector<std::string>& parts, const char* separator = " / ")
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i ? separator : "") + parts[i];
    return text;
}

// ---- Scratch folder and registry key ----
std::string g_scratch;  // ends with a backslash
const char SCRATCH_KEY[] = "Software\\VorsilContract";

std::string P(const std::string& name) { return g_scratch + name; }

void MakeFile(const std::string& path, const std::string& text, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadText(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<cannot open>";
    std::string text;
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ThereOrGone(const std::string& path) { return Exists(path) ? "there" : "gone"; }

void ClearReadOnly(const std::string& path)
{
#ifdef VORSIL_SIMULATION
    SimSetFileAttributes(path, FILE_ATTRIBUTE_ARCHIVE);
#else
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ClearReadOnly(path);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

void DeleteKeyTree(HKEY parent, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyA(parent, path.c_str(), &key) != ERROR_SUCCESS)
        return;
    char name[MAX_PATH];
    while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS)
        DeleteKeyTree(key, name);
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
}

HKEY ScratchKey()
{
    HKEY key = nullptr;
    RegCreateKeyA(HKEY_CURRENT_USER, SCRATCH_KEY, &key);
    return key;
}

void MakeKey(const std::string& path)
{
    HKEY key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, (std::string(SCRATCH_KEY) + "\\" + path).c_str(), &key) == ERROR_SUCCESS)
        RegCloseKey(key);
}

bool KeyExists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, (std::string(SCRATCH_KEY) + "\\" + path).c_str(), &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string ModulePath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

// ---- Events and the processes that signal them ----

// "handle err N" or "NULL err N": CreateEventA sets the last error on success too.
std::string Named(HANDLE handle)
{
    return std::string(handle ? "handle" : "NULL") + " err " + Num(GetLastError());
}

// "1 CODE", or "0 err N".
std::string ExitCode(HANDLE process)
{
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code))
        return Ok(FALSE);
    return "1 " + Num(code);
}

std::string Waited(DWORD result)
{
    if (result == WAIT_FAILED)
        return "WAIT_FAILED err " + Num(GetLastError());
    return Num(result);
}

DWORD WaitFor(HANDLE handle, DWORD milliseconds) { return WaitForMultipleObjects(1, &handle, FALSE, milliseconds); }

// The child "signal EVENT GO CODE": sets the event named EVENT, which it finds
// as the program's copy does, waits (10 s at most) until GO is set, and ends
// with CODE. The simulation models it: the started process sets the event at
// its start and ends with CODE when waited on.
int SignalAndWait(const char* event, const char* go, const char* code)
{
    HANDLE signal = CreateEventA(nullptr, TRUE, FALSE, event);
    if (!signal || GetLastError() != ERROR_ALREADY_EXISTS)
        return 100;
    SetEvent(signal);
    CloseHandle(signal);
    HANDLE goOn = CreateEventA(nullptr, TRUE, FALSE, go);
    if (goOn) {
        WaitFor(goOn, 10000);
        CloseHandle(goOn);
    }
    return std::atoi(code);
}

void ModelSignallingChild(DWORD code)
{
#ifdef VORSIL_SIMULATION
    SimSetExitCodeOfStartedPrograms(code);
    SimOnProcessStart([](const SimProcess& process) {
        const std::string& words = process.parameters;
        size_t at = words.find("signal ");
        if (at == std::string::npos)
            return;
        std::string name = words.substr(at + 7, words.find(' ', at + 7) - (at + 7));
        SetEvent(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    });
#else
    (void)code;
#endif
}

void ForgetSignallingChild()
{
#ifdef VORSIL_SIMULATION
    SimOnProcessStart(nullptr);
    SimSetExitCodeOfStartedPrograms(0);
#endif
}

// ---- Profile helpers ----
std::string Section(const char* section, DWORD size, const std::string& file)
{
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    DWORD result = GetPrivateProfileSectionA(section, buffer, size, file.c_str());
    // The result, then the buffer up to its size and the byte after it.
    return Num(result) + " " + Shown(buffer, std::min<size_t>(size + 1, sizeof buffer));
}

std::string String(const char* section, const char* key, const char* fallback, DWORD size, const std::string& file)
{
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    DWORD result = GetPrivateProfileStringA(section, key, fallback, buffer, size, file.c_str());
    return Num(result) + " " + Shown(buffer, std::min<size_t>(size + 1, sizeof buffer));
}

// A profile value up to its terminator, for rows that check the content only.
std::string Value(const char* section, const char* key, const std::string& file)
{
    char buffer[256];
    GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof buffer, file.c_str());
    return buffer;
}

// The section list up to its end, for rows that check the content only.
std::string SectionText(const char* section, const std::string& file)
{
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    DWORD result = GetPrivateProfileSectionA(section, buffer, sizeof buffer, file.c_str());
    return Shown(buffer, result + 1);
}

// ---- Modules and wide text ----
typedef DWORD(WINAPI* GetTempPathWFunction)(DWORD, LPWSTR);
typedef DWORD(WINAPI* GetShortPathNameWFunction)(LPCWSTR, LPWSTR, DWORD);
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryAFunction)(LPCSTR);

// A KERNEL32 function found as the program finds the newer ones; nullptr when missing.
template <typename Function>
Function Kernel32Function(const char* name)
{
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

std::vector<WCHAR> Wide(const std::u16string& text)
{
    std::vector<WCHAR> wide(text.begin(), text.end());
    wide.push_back(0);
    return wide;
}

std::u16string WideOfAscii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::u16string WideString(const WCHAR* text)
{
    std::u16string result;
    for (; *text; ++text)
        result += char16_t(*text);
    return result;
}

// The ANSI form, with " (default used)" when a character had no byte.
std::string Narrow(const WCHAR* text)
{
    char buffer[MAX_PATH * 2];
    BOOL used = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, &used) == 0)
        return "<not converted, err " + Num(GetLastError()) + ">";
    return std::string(buffer) + (used ? " (default used)" : "");
}

std::string HexByte(char c)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(c));
    return text;
}

// ---- The table ----
struct Expect {
    unsigned platforms;
    const char* result;
    const char* note;  // why this platform differs, or what is unconfirmed; nullptr for none
};

struct Row {
    const char* name;
    std::function<std::string()> run;
    std::vector<Expect> expect;
};

const char INI[] = "t.ini";

std::vector<Row> Rows()
{
    std::vector<Row> rows;
    auto row = [&](const char* name, std::vector<Expect> expect, std::function<std::string()> run) {
        rows.push_back(Row{name, std::move(run), std::move(expect)});
    };

    // ---- Profile functions ----
    row("GetPrivateProfileSectionA returns lines without = as they are",
        {{ANY, "35 name1=val1|name2=|name3|name4=val4||##", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n");
            return Section("s", 37, P(INI));
        });
    row("GetPrivateProfileSectionA trims blanks at both ends of a line and around =",
        {{ANY, "8 a=1|b=2||##", "Windows unconfirmed"}}, [] {
            MakeFile(P(INI), "[s]\r\n  a = 1  \r\n\tb\t=\t2\r\n");
            return Section("s", 10, P(INI));
        });
    row("GetPrivateProfileSectionA skips empty lines and ; comments",
        {{ANY, "8 a=1|b=2||##", "Windows unconfirmed for comments"}}, [] {
            MakeFile(P(INI), "[s]\r\n\r\n;c=1\r\na=1\r\n\r\n; x\r\nb=2\r\n");
            return Section("s", 10, P(INI));
        });
    row("GetPrivateProfileSectionA finds the section without regard to case",
        {{ANY, "4 a=1||##", nullptr}}, [] {
            MakeFile(P(INI), "[MiXed]\r\na=1\r\n");
            return Section("mixed", 6, P(INI));
        });
    row("GetPrivateProfileSectionA on a missing section and a missing file",
        {{ANY, "0 ||# / 0 ||#", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\na=1\r\n");
            return Join({Section("other", 2, P(INI)), Section("s", 2, P("missing.ini"))});
        });
    row("GetPrivateProfileSectionA cuts the list to the buffer, double-NUL terminated, nSize - 2",
        {{ANY, "7 k1=v1|n||# / 2 k1||#", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\nk1=v1\r\nnoequals\r\n");
            return Join({Section("s", 9, P(INI)), Section("s", 4, P(INI))});
        });
    row("GetPrivateProfileSectionA on a list that fits the buffer exactly",
        {{ANY, "5 k1=v1||#", "Wine reports the exact fit as cut (nSize - 2); Windows unconfirmed"}}, [] {
            MakeFile(P(INI), "[s]\r\nk1=v1\r\n");
            return Section("s", 7, P(INI));
        });
    row("GetPrivateProfileStringA strips matching quotes only",
        {{ANY, "6 quoted|## / 3 'x\"|#", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\nk2=\"quoted\"\r\nk3='x\"\r\n");
            return Join({String("s", "k2", "", 8, P(INI)), String("s", "k3", "", 4, P(INI))});
        });
    row("GetPrivateProfileStringA cuts a value to the buffer and returns nSize - 1",
        {{ANY, "3 v12|#", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\nk=v1234\r\n");
            return String("s", "k", "", 4, P(INI));
        });
    row("GetPrivateProfileStringA on a quoted value as long as the buffer",
        {{ANY, "5 quote|##", "Wine keeps one character less than fits; Windows unconfirmed"}}, [] {
            MakeFile(P(INI), "[s]\r\nk=\"quoted\"\r\n");
            return String("s", "k", "", 7, P(INI));
        });
    row("GetPrivateProfileStringA gives the default for a missing key, section, file, a line without =",
        {{ANY, "3 def / 3 def / 3 def / 3 def", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\nnoequals\r\n");
            std::vector<std::string> parts;
            for (auto query : {std::make_pair("s", "missing"), std::make_pair("other", "k")})
                parts.push_back(String(query.first, query.second, "def", 4, P(INI)).substr(0, 5));
            parts.push_back(String("s", "k", "def", 4, P("missing.ini")).substr(0, 5));
            parts.push_back(String("s", "noequals", "def", 4, P(INI)).substr(0, 5));
            return Join(parts);
        });
    row("GetPrivateProfileStringA cuts the default to the buffer and drops its trailing blanks",
        {{ANY, "3 def|# / 3 def|###", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\n");
            return Join({String("s", "k", "default", 4, P(INI)), String("s", "k", "def  ", 6, P(INI))});
        });
    row("GetPrivateProfileStringA finds section and key without regard to case",
        {{ANY, "1 v|#", nullptr}}, [] {
            MakeFile(P(INI), "[Sec]\r\nKey=v\r\n");
            return String("sEC", "kEY", "", 2, P(INI));
        });
    row("WritePrivateProfileStringA with a NULL value deletes the key (names without regard to case)",
        {{ANY, "1 / b=2|| / a=3||", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\na=1\r\nb=2\r\n[t]\r\na=3\r\n");
            std::string result = Ok(WritePrivateProfileStringA("S", "A", nullptr, P(INI).c_str()));
            return result + " / " + SectionText("s", P(INI)) + " / " + SectionText("t", P(INI));
        });
    row("WritePrivateProfileStringA deleting a key writes the file back",
        {{WINE | SIM, "[s]\\r\\na=1\\r\\n[t]\\r\\nc=3\\r\\n",
          "Wine writes the whole file from its parsed form: blanks and empty lines go"},
         {WINDOWS, "[s]\\r\\n a = 1 \\r\\n\\r\\n[t]\\r\\nc=3\\r\\n", "Windows removes the line only (unconfirmed)"}},
        [] {
            MakeFile(P(INI), "[s]\r\n a = 1 \r\n\r\nb=2\r\n[t]\r\nc=3\r\n");
            WritePrivateProfileStringA("s", "b", nullptr, P(INI).c_str());
            return Shown(ReadText(P(INI)));
        });
    row("WritePrivateProfileStringA deleting a missing key leaves the file as it was",
        {{ANY, "1 / [s]\\r\\n a = 1 \\r\\n\\r\\n", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\n a = 1 \r\n\r\n");
            std::string result = Ok(WritePrivateProfileStringA("s", "zz", nullptr, P(INI).c_str()));
            return result + " / " + Shown(ReadText(P(INI)));
        });
    row("WritePrivateProfileStringA with a NULL key deletes the section",
        {{ANY, "1 / [t]\\r\\nb=2\\r\\n", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\na=1\r\n[t]\r\nb=2\r\n");
            std::string result = Ok(WritePrivateProfileStringA("S", nullptr, nullptr, P(INI).c_str()));
            return result + " / " + Shown(ReadText(P(INI)));
        });
    row("WritePrivateProfileStringA adds a key at the end of its section and replaces a value in place",
        {{ANY, "[s]\\r\\na=9\\r\\nnew=v\\r\\n[t]\\r\\nb=2\\r\\n", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\na=1\r\n[t]\r\nb=2\r\n");
            WritePrivateProfileStringA("s", "new", "v", P(INI).c_str());
            WritePrivateProfileStringA("s", "a", "9", P(INI).c_str());
            return Shown(ReadText(P(INI)));
        });
    row("WritePrivateProfileStringA creates a missing file and adds a missing section at the end",
        {{ANY, "1 / [New]\\r\\nk=v\\r\\n[Two]\\r\\nb=2\\r\\n", "Windows unconfirmed for the added section"}}, [] {
            DeleteFileA(P("new.ini").c_str());
            std::string result = Ok(WritePrivateProfileStringA("New", "k", "v", P("new.ini").c_str()));
            WritePrivateProfileStringA("Two", "b", "2", P("new.ini").c_str());
            return result + " / " + Shown(ReadText(P("new.ini")));
        });
    row("WritePrivateProfileStringA with all NULL flushes and returns FALSE",
        {{ANY, "0", nullptr}}, [] {
            return Num(WritePrivateProfileStringA(nullptr, nullptr, nullptr, P(INI).c_str()));
        });
    row("WritePrivateProfileStringA into a missing folder", {{ANY, "0 err 3", nullptr}}, [] {
        return Ok(WritePrivateProfileStringA("s", "k", "v", P("nofolder\\x.ini").c_str()));
    });
    row("A profile file name without a folder is in the Windows directory",
        {{ANY, "1 / there / v", "on Windows it needs the right to write there"}}, [] {
            char windows[MAX_PATH];
            GetWindowsDirectoryA(windows, sizeof windows);
            std::string path = std::string(windows) + "\\vorsil-contract.ini";
            std::string result = Ok(WritePrivateProfileStringA("s", "k", "v", "vorsil-contract.ini"));
            std::string found = ThereOrGone(path);
            std::string value = Value("s", "k", "vorsil-contract.ini");
            DeleteFileA(path.c_str());
            return result + " / " + found + " / " + value;
        });
    row("The profile functions read a file changed directly (after a flush)",
        {{ANY, "1 / 2", nullptr}}, [] {
            MakeFile(P(INI), "[s]\r\nx=1\r\n");
            std::string first = Value("s", "x", P(INI));
            MakeFile(P(INI), "[s]\r\nx=2\r\n");
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, P(INI).c_str());
            return first + " / " + Value("s", "x", P(INI));
        });

    row("A profile file with a byte order mark is read as UTF-16 or UTF-8 and written back so",
        {{ANY, "\xE9 / FF FE 5B 00 / \xE9 / EF BB BF 5B", "Windows unconfirmed for UTF-8"}}, [] {
            // "[s]\r\nk=v\r\nx=\xE9\r\n" in UTF-16LE and in UTF-8, each with its mark.
            std::string ansi = "[s]\r\nk=v\r\nx=\xE9\r\n";
            std::string utf16 = "\xFF\xFE";
            for (char c : ansi)
                utf16 += std::string(1, c) + std::string(1, '\0');
            std::string utf8 = "\xEF\xBB\xBF[s]\r\nk=v\r\nx=\xC3\xA9\r\n";
            auto Head = [](const std::string& bytes) {
                std::string text;
                for (size_t i = 0; i < 4 && i < bytes.size(); ++i) {
                    char hex[4];
                    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[i]));
                    text += (i ? " " : "") + std::string(hex);
                }
                return text;
            };
            std::vector<std::string> parts;
            for (const std::string& bytes : {utf16, utf8}) {
                WritePrivateProfileStringA(nullptr, nullptr, nullptr, P(INI).c_str());
                MakeFile(P(INI), bytes);
                parts.push_back(Value("s", "x", P(INI)));
                WritePrivateProfileStringA("s", "k", nullptr, P(INI).c_str());
                WritePrivateProfileStringA(nullptr, nullptr, nullptr, P(INI).c_str());
                parts.push_back(Head(ReadText(P(INI))));
            }
            return Join(parts);
        });

    // ---- Files and directories ----    // ---- Files and directories ----
    row("DeleteFileA on a read-only file", {{ANY, "0 err 5 / there", nullptr}}, [] {
        MakeFile(P("ro.txt"), "x", FILE_ATTRIBUTE_READONLY);
        std::string result = Ok(DeleteFileA(P("ro.txt").c_str()));
        std::string there = ThereOrGone(P("ro.txt"));
        ClearReadOnly(P("ro.txt"));
        DeleteFileA(P("ro.txt").c_str());
        return result + " / " + there;
    });
    row("DeleteFileA on a missing file, in a missing folder, on a directory",
        {{ANY, "0 err 2 / 0 err 3 / 0 err 5", nullptr}}, [] {
            CreateDirectoryA(P("dir").c_str(), nullptr);
            return Join({Ok(DeleteFileA(P("missing.txt").c_str())), Ok(DeleteFileA(P("nofolder\\x.txt").c_str())),
                         Ok(DeleteFileA(P("dir").c_str()))});
        });
    row("ANSI file paths of more than 260 characters are refused before the file system is asked",
        {{ANY, "INVALID err 206 / 0 err 206 / INVALID err 206 / 0 err 206 / 0 err 206 / INVALID err 206 / 0 err 3",
          "Windows unconfirmed at exactly 260 characters (MAX_PATH counts the terminator)"}},
        [] {
            std::string tooLong = P(std::string(261 - P("").size(), 'x'));
            std::string longest = P("missing\\") + std::string(260 - P("missing\\").size(), 'y');
            return Join({Attributes(GetFileAttributesA(tooLong.c_str())), Ok(DeleteFileA(tooLong.c_str())),
                         HandleResult(CreateFileA(tooLong.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                                  nullptr)),
                         Ok(RemoveDirectoryA(tooLong.c_str())), Ok(CreateDirectoryA(tooLong.c_str(), nullptr)),
                         [&] {
                             WIN32_FIND_DATAA data;
                             return HandleResult(FindFirstFileA(tooLong.c_str(), &data));
                         }(),
                         Ok(DeleteFileA(longest.c_str()))});
        });
    row("DeleteFileA on a file open without FILE_SHARE_DELETE",
        {{ANY, "0 err 32 / 1 / gone", nullptr}}, [] {
            MakeFile(P("open.txt"), "x");
            HANDLE file = CreateFileA(P("open.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
            std::string held = Ok(DeleteFileA(P("open.txt").c_str()));
            CloseHandle(file);
            std::string after = Ok(DeleteFileA(P("open.txt").c_str()));
            return Join({held, after, ThereOrGone(P("open.txt"))});
        });
    row("MoveFileA of a file open without FILE_SHARE_DELETE, then free onto a name that exists, then free",
        {{ANY, "0 err 32 / 0 err 183 / 1 / there", "Windows 95 not confirmed"}}, [] {
            MakeFile(P("held.txt"), "x");
            MakeFile(P("taken.txt"), "y");
            HANDLE file = CreateFileA(P("held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      0, nullptr);
            std::string held = Ok(MoveFileA(P("held.txt").c_str(), P("moved.txt").c_str()));
            CloseHandle(file);
            std::string taken = Ok(MoveFileA(P("held.txt").c_str(), P("taken.txt").c_str()));
            std::string moved = Ok(MoveFileA(P("held.txt").c_str(), P("moved.txt").c_str()));
            std::string result = Join({held, taken, moved, ThereOrGone(P("moved.txt"))});
            DeleteFileA(P("moved.txt").c_str());
            DeleteFileA(P("taken.txt").c_str());
            return result;
        });
    row("DeleteFileA on a file open with FILE_SHARE_DELETE: the file goes when the handle closes",
        {{ANY, "1 / there / gone", "Windows 10 from 1809 on removes the name at once"}}, [] {
            MakeFile(P("shared.txt"), "x");
            HANDLE file = CreateFileA(P("shared.txt").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
            std::string result = Ok(DeleteFileA(P("shared.txt").c_str()));
            std::string during = ThereOrGone(P("shared.txt"));
            CloseHandle(file);
            return Join({result, during, ThereOrGone(P("shared.txt"))});
        });
    row("RemoveDirectoryA on an empty directory named with a trailing backslash",
        {{ANY, "1 / gone", nullptr}}, [] {
            CreateDirectoryA(P("empty").c_str(), nullptr);
            return Join({Ok(RemoveDirectoryA(P("empty\\").c_str())), ThereOrGone(P("empty"))});
        });
    row("RemoveDirectoryA on a directory that holds something", {{ANY, "0 err 145 / there", nullptr}}, [] {
        CreateDirectoryA(P("full").c_str(), nullptr);
        MakeFile(P("full\\f.txt"), "x");
        return Join({Ok(RemoveDirectoryA(P("full").c_str())), ThereOrGone(P("full"))});
    });
    row("RemoveDirectoryA on the current directory and on the one holding it",
        {{ANY, "0 err 32 / 0 err 145", "the process holds its current directory open without FILE_SHARE_DELETE"}},
        [] {
            CreateDirectoryA(P("outer").c_str(), nullptr);
            CreateDirectoryA(P("outer\\inner").c_str(), nullptr);
            char previous[MAX_PATH];
            GetCurrentDirectoryA(sizeof previous, previous);
            SetCurrentDirectoryA(P("outer\\inner").c_str());
            std::string inner = Ok(RemoveDirectoryA(P("outer\\inner").c_str()));
            std::string outer = Ok(RemoveDirectoryA(P("outer").c_str()));
            SetCurrentDirectoryA(previous);
            return inner + " / " + outer;
        });
    row("RemoveDirectoryA on a missing directory and on a file", {{ANY, "0 err 2 / 0 err 267", nullptr}}, [] {
        MakeFile(P("file.txt"), "x");
        return Join({Ok(RemoveDirectoryA(P("missing").c_str())), Ok(RemoveDirectoryA(P("file.txt").c_str()))});
    });
    row("FindFirstFileA on an empty directory gives . and .., then ERROR_NO_MORE_FILES",
        {{ANY, "., .., 0 err 18", nullptr}}, [] {
            CreateDirectoryA(P("listed").c_str(), nullptr);
            WIN32_FIND_DATAA data;
            HANDLE find = FindFirstFileA(P("listed\\*.*").c_str(), &data);
            if (find == INVALID_HANDLE_VALUE)
                return HandleResult(find);
            std::string names = data.cFileName;
            while (FindNextFileA(find, &data))
                names += std::string(", ") + data.cFileName;
            names += ", " + Ok(FALSE);
            FindClose(find);
            return names;
        });
    row("FindFirstFileA in a missing folder, a missing folder below it, without a match",
        {{ANY, "INVALID err 3 / INVALID err 3 / INVALID err 2", nullptr}}, [] {
            CreateDirectoryA(P("listed").c_str(), nullptr);
            WIN32_FIND_DATAA data;
            std::vector<std::string> parts;
            for (const char* pattern : {"missing\\*.*", "missing\\deeper\\*.*", "listed\\nomatch.*"}) {
                HANDLE find = FindFirstFileA(P(pattern).c_str(), &data);
                parts.push_back(HandleResult(find));
                if (find != INVALID_HANDLE_VALUE)
                    FindClose(find);
            }
            return Join(parts);
        });
    row("FindFirstFileA lists . and .. first, then every entry", {{ANY, "., .., A.txt b.txt sub", nullptr}}, [] {
        CreateDirectoryA(P("some").c_str(), nullptr);
        MakeFile(P("some\\b.txt"), "x");
        MakeFile(P("some\\A.txt"), "x");
        CreateDirectoryA(P("some\\sub").c_str(), nullptr);
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(P("some\\*.*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return HandleResult(find);
        std::vector<std::string> names{data.cFileName};
        while (FindNextFileA(find, &data))
            names.push_back(data.cFileName);
        FindClose(find);
        // The order after the dot entries depends on the file system.
        std::sort(names.begin() + std::min<size_t>(2, names.size()), names.end());
        std::string text = Join(std::vector<std::string>(names.begin(), names.begin() + 2), ", ") + ", ";
        return text + Join(std::vector<std::string>(names.begin() + 2, names.end()), " ");
    });
    row("FindFirstFileA on a drive's root gives no . entry", {{ANY, "no dots", nullptr}}, [] {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((g_scratch.substr(0, 3) + "*.*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return HandleResult(find);
        std::string first = data.cFileName;
        FindClose(find);
        return std::string(first == "." || first == ".." ? "dots" : "no dots");
    });
    row("Paths compare without regard to case and keep the case given at creation",
        {{ANY, "0x20 / MixedCase.TXT", nullptr}}, [] {
            MakeFile(P("MixedCase.TXT"), "x", FILE_ATTRIBUTE_ARCHIVE);
            std::string attributes = Attributes(GetFileAttributesA(P("mixedcase.txt").c_str()));
            WIN32_FIND_DATAA data;
            HANDLE find = FindFirstFileA(P("MIXEDCASE.TXT").c_str(), &data);
            std::string name = find == INVALID_HANDLE_VALUE ? HandleResult(find) : data.cFileName;
            if (find != INVALID_HANDLE_VALUE)
                FindClose(find);
            return attributes + " / " + name;
        });
    row("File and key names compare without regard to case for the letters of code page 1252 too; "
        "profile section and key names for A to Z only",
        {{ANY, "0x20 / 1 / 0 / no",
          "in a Wine prefix whose ANSI code page is 1252; Windows unconfirmed for the profile names"}},
        [] {
            // r\xE9sum\xE9 and R\xC9SUM\xC9, Gr\xF6\xDFe and GR\xD6\xDFE, \xDCber and \xFCBER.
            MakeFile(P("r\xE9" "sum\xE9.txt"), "x", FILE_ATTRIBUTE_ARCHIVE);
            std::string attributes = Attributes(GetFileAttributesA(P("R\xC9" "SUM\xC9.TXT").c_str()));
            std::string deleted = Num(DeleteFileA(P("R\xC9" "SUM\xC9.txt").c_str()));
            MakeKey("Gr\xF6\xDF" "e");
            HKEY key;
            LONG opened = RegOpenKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\GR\xD6\xDF" "E", &key);
            if (opened == ERROR_SUCCESS)
                RegCloseKey(key);
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, P(INI).c_str());
            MakeFile(P(INI), "[\xDC" "ber]\r\nk=v\r\n");
            std::string found = Value("\xFC" "BER", "k", P(INI)) == "v" ? "yes" : "no";
            return Join({attributes, deleted, Num(opened), found});
        });
    row("\"/\" is a separator, and relative paths go from the current directory",
        {{ANY, "0x20 / 0x20 / 0x20", nullptr}}, [] {
            MakeFile(P("MixedCase.TXT"), "x", FILE_ATTRIBUTE_ARCHIVE);
            std::string slashed = P("MixedCase.TXT");
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            char previous[MAX_PATH];
            GetCurrentDirectoryA(sizeof previous, previous);
            SetCurrentDirectoryA(g_scratch.c_str());
            std::string folderName = g_scratch.substr(0, g_scratch.size() - 1);
            folderName = folderName.substr(folderName.find_last_of('\\') + 1);
            std::string result = Join({Attributes(GetFileAttributesA(slashed.c_str())),
                                       Attributes(GetFileAttributesA("MixedCase.TXT")),
                                       Attributes(GetFileAttributesA(("..\\" + folderName + "\\mixedcase.txt").c_str()))});
            SetCurrentDirectoryA(previous);
            return result;
        });
    row("GetShortPathNameA on a missing file", {{ANY, "0 err 2", nullptr}}, [] {
        char buffer[MAX_PATH];
        return Ok(BOOL(GetShortPathNameA(P("missing file.text").c_str(), buffer, sizeof buffer)));
    });
    row("GetShortPathNameA in a missing folder",
        {{ANY, "0 err 2", "Wine's answer; Windows unconfirmed (may be ERROR_PATH_NOT_FOUND)"}}, [] {
            char buffer[MAX_PATH];
            return Ok(BOOL(GetShortPathNameA(P("missing folder\\x.txt").c_str(), buffer, sizeof buffer)));
        });
    row("GetShortPathNameA gives 8.3 names that name the same file; short names stay as typed",
        {{ANY, "8.3 / same file / short.txt", nullptr}}, [] {
            CreateDirectoryA(P("Long Directory Name").c_str(), nullptr);
            MakeFile(P("Long Directory Name\\some long file.text"), "x", FILE_ATTRIBUTE_ARCHIVE);
            MakeFile(P("short.txt"), "x");
            char buffer[MAX_PATH];
            DWORD length = GetShortPathNameA(P("Long Directory Name\\some long file.text").c_str(), buffer,
                                             sizeof buffer);
            if (length == 0 || length != std::strlen(buffer))
                return "failed: " + Num(length);
            std::string shortPath = buffer;
            bool eightDotThree = true;
            size_t start = 3;  // after "C:\"
            while (start < shortPath.size()) {
                size_t end = shortPath.find('\\', start);
                if (end == std::string::npos)
                    end = shortPath.size();
                std::string name = shortPath.substr(start, end - start);
                size_t dot = name.find('.');
                size_t baseLength = dot == std::string::npos ? name.size() : dot;
                if (name.find(' ') != std::string::npos || baseLength > 8 ||
                    (dot != std::string::npos && name.size() - dot - 1 > 3))
                    eightDotThree = false;
                start = end + 1;
            }
            std::string same = Attributes(GetFileAttributesA(shortPath.c_str())) == "0x20" ? "same file" : "other";
            GetShortPathNameA(P("short.txt").c_str(), buffer, sizeof buffer);
            std::string kept = buffer;
            kept = kept.substr(kept.find_last_of('\\') + 1);
            return std::string(eightDotThree ? "8.3" : "not 8.3: " + shortPath) + " / " + same + " / " + kept;
        });
    row("GetShortPathNameA with a buffer too small returns the size needed and writes nothing",
        {{ANY, "needed / #####", nullptr}}, [] {
            MakeFile(P("short.txt"), "x");
            char full[MAX_PATH];
            DWORD length = GetShortPathNameA(P("short.txt").c_str(), full, sizeof full);
            char small[5];
            std::memset(small, '#', sizeof small);
            DWORD result = GetShortPathNameA(P("short.txt").c_str(), small, sizeof small);
            return std::string(result == length + 1 ? "needed" : "got " + Num(result)) + " / " +
                   Shown(small, sizeof small);
        });
    row("CopyFileA: fail-if-exists, overwrite, missing source, read-only attribute kept",
        {{ANY, "0 err 80 / 1 new / 0 err 2 / 0x21", nullptr}}, [] {
            MakeFile(P("from.txt"), "new");
            MakeFile(P("to.txt"), "old");
            std::string exists = Ok(CopyFileA(P("from.txt").c_str(), P("to.txt").c_str(), TRUE));
            std::string over = Ok(CopyFileA(P("from.txt").c_str(), P("to.txt").c_str(), FALSE));
            over += " " + ReadText(P("to.txt"));
            std::string missing = Ok(CopyFileA(P("nothing.txt").c_str(), P("to2.txt").c_str(), FALSE));
            MakeFile(P("rofrom.txt"), "x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
            CopyFileA(P("rofrom.txt").c_str(), P("rocopy.txt").c_str(), FALSE);
            std::string attributes = Attributes(GetFileAttributesA(P("rocopy.txt").c_str()));
            ClearReadOnly(P("rofrom.txt"));
            ClearReadOnly(P("rocopy.txt"));
            return Join({exists, over, missing, attributes});
        });
    row("CopyFileA from a file held open without sharing", {{ANY, "0 err 32", nullptr}}, [] {
        MakeFile(P("locked.txt"), "x");
        HANDLE file = CreateFileA(P("locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        std::string result = Ok(CopyFileA(P("locked.txt").c_str(), P("locked2.txt").c_str(), FALSE));
        CloseHandle(file);
        return result;
    });
    row("CreateFileA on a directory without FILE_FLAG_BACKUP_SEMANTICS", {{ANY, "INVALID err 5", nullptr}}, [] {
        CreateDirectoryA(P("dir").c_str(), nullptr);
        HANDLE file = CreateFileA(P("dir").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        return HandleResult(file);
    });
    row("CreateFileA honours the sharing of handles already open",
        {{ANY, "INVALID err 32 / handle / INVALID err 32 / handle", nullptr}}, [] {
            MakeFile(P("share.txt"), "x");
            auto open = [](DWORD access, DWORD share) {
                return CreateFileA(P("share.txt").c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
            };
            HANDLE exclusive = open(GENERIC_READ, 0);
            HANDLE second = open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
            std::string first = HandleResult(second);
            CloseHandle(exclusive);
            HANDLE reader = open(GENERIC_READ, FILE_SHARE_READ);
            std::string readerResult = HandleResult(reader);
            HANDLE writer = open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
            std::string writerResult = HandleResult(writer);
            HANDLE another = open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
            std::string anotherResult = HandleResult(another);
            for (HANDLE handle : {second, writer, another})
                if (handle != INVALID_HANDLE_VALUE)
                    CloseHandle(handle);
            CloseHandle(reader);
            return Join({first, readerResult, writerResult, anotherResult});
        });
    row("CreateFileA dispositions and their last errors",
        {{ANY, "INVALID err 80 / INVALID err 2 / INVALID err 3 / 183 / 0", nullptr}}, [] {
            MakeFile(P("there.txt"), "x");
            auto open = [](const std::string& path, DWORD disposition) {
                return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
            };
            std::vector<std::string> parts;
            parts.push_back(HandleResult(open(P("there.txt"), CREATE_NEW)));
            parts.push_back(HandleResult(open(P("nothere.txt"), OPEN_EXISTING)));
            parts.push_back(HandleResult(open(P("nofolder\\x.txt"), OPEN_EXISTING)));
            SetLastError(12345);
            HANDLE existing = open(P("there.txt"), OPEN_ALWAYS);
            parts.push_back(Num(GetLastError()));
            CloseHandle(existing);
            DeleteFileA(P("fresh.txt").c_str());
            SetLastError(12345);
            HANDLE fresh = open(P("fresh.txt"), CREATE_ALWAYS);
            parts.push_back(Num(GetLastError()));
            CloseHandle(fresh);
            return Join(parts);
        });
    row("WriteFile, SetFilePointer, SetEndOfFile, GetFileSize, ReadFile",
        {{ANY, "1 / 2 / 1 / 2 / 2 / he", nullptr}}, [] {
            HANDLE file = CreateFileA(P("rw.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD count = 0;
            std::vector<std::string> parts;
            parts.push_back(Ok(WriteFile(file, "hello", 5, &count, nullptr)));
            parts.push_back(Num(SetFilePointer(file, 2, nullptr, FILE_BEGIN)));
            parts.push_back(Ok(SetEndOfFile(file)));
            parts.push_back(Num(GetFileSize(file, nullptr)));
            parts.push_back(Num(SetFilePointer(file, 0, nullptr, FILE_END)));
            SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            char buffer[8] = "";
            ReadFile(file, buffer, sizeof buffer, &count, nullptr);
            parts.push_back(std::string(buffer, count));
            CloseHandle(file);
            return Join(parts);
        });
    row("CreateDirectoryA on an existing directory and below a missing one",
        {{ANY, "0 err 183 / 0 err 3", nullptr}}, [] {
            CreateDirectoryA(P("dir").c_str(), nullptr);
            return Join({Ok(CreateDirectoryA(P("dir").c_str(), nullptr)),
                         Ok(CreateDirectoryA(P("nofolder\\x").c_str(), nullptr))});
        });
    row("GetFileAttributesA on a missing file, in a missing folder, on a directory",
        {{ANY, "INVALID err 2 / INVALID err 3 / 0x10", nullptr}}, [] {
            CreateDirectoryA(P("dir").c_str(), nullptr);
            return Join({Attributes(GetFileAttributesA(P("missing.txt").c_str())),
                         Attributes(GetFileAttributesA(P("nofolder\\x.txt").c_str())),
                         Attributes(GetFileAttributesA(P("dir\\").c_str()))});
        });
    row("SetCurrentDirectoryA and GetCurrentDirectoryA",
        {{ANY, "no trailing backslash / needed / ### / 0 err 2 / 0 err 267", nullptr}}, [] {
            CreateDirectoryA(P("dir").c_str(), nullptr);
            MakeFile(P("file.txt"), "x");
            char previous[MAX_PATH];
            GetCurrentDirectoryA(sizeof previous, previous);
            SetCurrentDirectoryA(P("dir\\").c_str());
            char current[MAX_PATH];
            DWORD length = GetCurrentDirectoryA(sizeof current, current);
            std::string trailing = current[length - 1] == '\\' ? "trailing backslash" : "no trailing backslash";
            char small[3];
            std::memset(small, '#', sizeof small);
            DWORD needed = GetCurrentDirectoryA(sizeof small, small);
            std::string missing = Ok(SetCurrentDirectoryA(P("missing").c_str()));
            std::string file = Ok(SetCurrentDirectoryA(P("file.txt").c_str()));
            SetCurrentDirectoryA(previous);
            return Join({trailing, needed == length + 1 ? "needed" : "got " + Num(needed), Shown(small, 3), missing,
                         file});
        });
    row("GetTempPathA ends with a backslash; too small a buffer gets the size needed and nothing written",
        {{ANY, "backslash / needed / #####", nullptr}}, [] {
            char path[MAX_PATH];
            DWORD length = GetTempPathA(sizeof path, path);
            char small[5];
            std::memset(small, '#', sizeof small);
            DWORD needed = GetTempPathA(sizeof small, small);
            return Join({path[length - 1] == '\\' ? "backslash" : "none",
                         needed == length + 1 ? "needed" : "got " + Num(needed), Shown(small, sizeof small)});
        });
    row("GetWindowsDirectoryA with too small a buffer gets the size needed and nothing written",
        {{ANY, "needed / #####", nullptr}}, [] {
            char path[MAX_PATH];
            UINT length = GetWindowsDirectoryA(path, sizeof path);
            char small[5];
            std::memset(small, '#', sizeof small);
            UINT needed = GetWindowsDirectoryA(small, sizeof small);
            return Join({needed == length + 1 ? "needed" : "got " + Num(needed), Shown(small, sizeof small)});
        });
    row("GetModuleFileNameA with too small a buffer",
        {{WINE | SIM, "5 err 122 not terminated", "Wine (like Windows XP) leaves the cut name unterminated"},
         {WINDOWS, "5 err 122 terminated", "Windows Vista and later end the cut name with a NUL"}},
        [] {
            std::string full = ModulePath();
            char small[6];
            std::memset(small, '#', sizeof small);
            SetLastError(0);
            DWORD result = GetModuleFileNameA(nullptr, small, 5);
            std::string text = Num(result) + " err " + Num(GetLastError());
            if (small[5] != '#')
                return text + " wrote past the buffer";
            if (std::memcmp(small, full.data(), 4) != 0)
                return text + " other text";
            return text + (small[4] == '\0' ? " terminated" : " not terminated");
        });
    row("GetVersionExA takes OSVERSIONINFOA of 148 bytes only",
        {{NT, "148 / 1 platform 2 / 0 err 122", nullptr}, {FAMILY_95, "148 / 1 platform 1 / 0 err 122", nullptr}},
        [] {
            OSVERSIONINFOA version;
            std::memset(&version, 0, sizeof version);
            version.dwOSVersionInfoSize = sizeof version;
            std::string result = Ok(GetVersionExA(&version));
            result += " platform " + Num(version.dwPlatformId);
            version.dwOSVersionInfoSize = 100;
            return Join({Num(sizeof(OSVERSIONINFOA)), result, Ok(GetVersionExA(&version))});
        });
    row("MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT and no new name",
        {{NT, "1 / appended", "on Windows it needs administrator rights"},
         {WINE_95, "1 / appended", "Wine's win98 setting keeps the NT MoveFileExA"},
         {WIN_95 | SIM_95, "0 err 120", nullptr}},
        [] {
            const char* sessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
            const char* valueName = "PendingFileRenameOperations";
            HKEY key;
            if (RegCreateKeyA(HKEY_LOCAL_MACHINE, sessionManager, &key) != ERROR_SUCCESS)
                return std::string("no key");
            std::vector<BYTE> saved(65536);
            DWORD savedSize = DWORD(saved.size()), savedType = 0;
            bool hadValue = RegQueryValueExA(key, valueName, nullptr, &savedType, saved.data(), &savedSize) ==
                            ERROR_SUCCESS;
            MakeFile(P("reboot.txt"), "x");
            std::string result = Ok(MoveFileExA(P("reboot.txt").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
            if (result == "1") {
                std::vector<char> data(65536);
                DWORD size = DWORD(data.size());
                RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
                std::string tail = "\\??\\" + P("reboot.txt") + std::string(3, '\0');
                std::string value(data.data(), size);
                bool appended = value.size() >= tail.size() &&
                                value.compare(value.size() - tail.size(), tail.size(), tail) == 0;
                result += appended ? " / appended" : " / value " + Shown(value);
            }
            if (hadValue)
                RegSetValueExA(key, valueName, 0, savedType, saved.data(), savedSize);
            else
                RegDeleteValueA(key, valueName);
            RegCloseKey(key);
            return result;
        });

    row("Names with wildcards (* ? < > | \") name nothing, also as a folder: ERROR_INVALID_NAME; "
        "CreateProcessA answers ERROR_FILE_NOT_FOUND, ShellExecuteA 2",
        {{NT | WINE_95,
          "123 123 123 123 123 123 / 123 123 / 123 / 123 123 / 123 / 123 123 / 123 / 123 / 123 / 123 / 2 / 2 err 123",
          nullptr},
         {WIN_95 | SIM_95,
          "123 123 123 123 123 123 / 123 123 / 123 / 123 123 / 123 / 123 123 / 123 / 120 / 123 / 123 / 2 / 2 err 123",
          "the 95 family has no MoveFileExA"}},
        [] {
            MakeFile(P("f.txt"), "x");
            auto error = [](bool failed) { return failed ? Num(GetLastError()) : std::string("succeeded"); };
            std::vector<std::string> parts;
            std::string attributes;
            for (const char* name : {"a?b", "a*b\\c", "missing\\a?b", "a<b", "a|b", "a\"b"})
                attributes += (attributes.empty() ? "" : " ") +
                              error(GetFileAttributesA(P(name).c_str()) == INVALID_FILE_ATTRIBUTES);
            parts.push_back(attributes);
            HANDLE opened = CreateFileA(P("a?b").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            std::string open = error(opened == INVALID_HANDLE_VALUE);
            HANDLE created = CreateFileA(P("a?b\\c").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            parts.push_back(open + " " + error(created == INVALID_HANDLE_VALUE));
            parts.push_back(error(!DeleteFileA(P("a?b").c_str())));
            parts.push_back(error(!CopyFileA(P("f.txt").c_str(), P("a?b\\c").c_str(), FALSE)) + " " +
                            error(!CopyFileA(P("a?b").c_str(), P("g.txt").c_str(), FALSE)));
            char buffer[MAX_PATH];
            parts.push_back(error(GetShortPathNameA(P("a?b\\").c_str(), buffer, sizeof buffer) == 0));
            parts.push_back(error(!RemoveDirectoryA(P("a?b").c_str())) + " " +
                            error(!CreateDirectoryA(P("a?b\\c").c_str(), nullptr)));
            WIN32_FIND_DATAA data;
            HANDLE find = FindFirstFileA(P("a?b\\*").c_str(), &data);
            parts.push_back(error(find == INVALID_HANDLE_VALUE));
            parts.push_back(error(!MoveFileExA(P("f.txt").c_str(), P("a?b").c_str(), 0)));
            parts.push_back(error(!SetCurrentDirectoryA(P("a?b").c_str())));
            parts.push_back(error(!WritePrivateProfileStringA("s", "k", "v", P("a?b\\x.ini").c_str())));
            STARTUPINFOA startup;
            std::memset(&startup, 0, sizeof startup);
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info;
            std::string command = "\"" + P("a?b\\x.exe") + "\"";
            std::vector<char> line(command.begin(), command.end());
            line.push_back('\0');
            parts.push_back(error(!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                                  &startup, &info)));
            SetLastError(0);
            INT_PTR shell = reinterpret_cast<INT_PTR>(
                ShellExecuteA(nullptr, "open", P("a?b\\x.exe").c_str(), nullptr, nullptr, SW_HIDE));
            parts.push_back(Num(shell) + " err " + Num(GetLastError()));
            return Join(parts);
        });
    row("A file held open for reading with FILE_SHARE_READ only: another such reader reads it; CopyFileA onto "
        "it, DeleteFileA and an open for writing fail with ERROR_SHARING_VIOLATION",
        {{ANY, "read abc / 0 err 32 / 0 err 32 / INVALID err 32 / abc", nullptr}}, [] {
            MakeFile(P("copy.exe"), "abc");
            MakeFile(P("other.exe"), "xyz");
            auto open = [](DWORD access, DWORD share) {
                return CreateFileA(P("copy.exe").c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
            };
            HANDLE held = open(GENERIC_READ, FILE_SHARE_READ);
            HANDLE reader = open(GENERIC_READ, FILE_SHARE_READ);
            char buffer[8];
            DWORD count = 0;
            bool readable = reader != INVALID_HANDLE_VALUE && ReadFile(reader, buffer, sizeof buffer, &count, nullptr);
            std::string read = readable ? "read " + std::string(buffer, count) : "not read";
            std::string copy = Ok(CopyFileA(P("other.exe").c_str(), P("copy.exe").c_str(), FALSE));
            std::string deleted = Ok(DeleteFileA(P("copy.exe").c_str()));
            HANDLE writer = open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
            std::string write = HandleResult(writer);
            for (HANDLE handle : {held, reader, writer})
                if (handle != INVALID_HANDLE_VALUE)
                    CloseHandle(handle);
            return Join({read, copy, deleted, write, ReadText(P("copy.exe"))});
        });
    row("CreateFileA on a folder with FILE_FLAG_BACKUP_SEMANTICS for FILE_DELETE_CHILD, GENERIC_WRITE, DELETE",
        {{ANY, "handle / handle / handle", "a folder of this user's; Wine run as root is refused nothing"}}, [] {
            CreateDirectoryA(P("folder").c_str(), nullptr);
            std::vector<std::string> parts;
            for (DWORD access : {DWORD(FILE_DELETE_CHILD), DWORD(GENERIC_WRITE), DWORD(DELETE)}) {
                HANDLE folder = CreateFileA(P("folder").c_str(), access,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
                parts.push_back(HandleResult(folder));
                if (folder != INVALID_HANDLE_VALUE)
                    CloseHandle(folder);
            }
            return Join(parts);
        });
    row("A temporary folder outside the code page: GetTempPathA spells it with ?, naming nothing; GetTempPathW "
        "and GetShortPathNameW give its short form, which exists and is ANSI",
        {{NT, "???? ??????\\ / INVALID err 123 / 0 err 123 / wide / short, exists / 1 / short\\v.exe / 0 err 2",
          nullptr},
         {WINE_95, "???? ??????\\ / INVALID err 123 / 0 err 123 / wide / short, exists / 1 / short\\v.exe / 0 err 2",
          "Wine's win98 setting keeps the NT wide functions"},
         {WIN_95 | SIM_95, "GetTempPathW 0 err 120", "the 95 family's wide functions are stubs"}},
        [] {
            auto getTempPathW = Kernel32Function<GetTempPathWFunction>("GetTempPathW");
            auto getShortPathNameW = Kernel32Function<GetShortPathNameWFunction>("GetShortPathNameW");
            if (!getTempPathW || !getShortPathNameW)
                return std::string("missing");
            // "Ivan Petrov" in Cyrillic letters.
            std::u16string folder =
                WideOfAscii(g_scratch) + u"\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432";
#ifdef VORSIL_SIMULATION
            char savedTemp[MAX_PATH];
            GetTempPathA(sizeof savedTemp, savedTemp);
            SimSetUnicodeTempFolder(folder, P("____~TTB"));
            auto restore = [&] { SimSetTempPath(savedTemp); };
#else
            CreateDirectoryW(Wide(folder).data(), nullptr);
            WCHAR savedTmp[MAX_PATH], savedTemp[MAX_PATH];
            DWORD hadTmp = GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
            DWORD hadTemp = GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
            SetEnvironmentVariableW(L"TMP", Wide(folder).data());
            SetEnvironmentVariableW(L"TEMP", Wide(folder).data());
            auto restore = [&] {
                SetEnvironmentVariableW(L"TMP", hadTmp ? savedTmp : nullptr);
                SetEnvironmentVariableW(L"TEMP", hadTemp ? savedTemp : nullptr);
                RemoveDirectoryW(Wide(folder).data());
            };
#endif
            WCHAR wide[MAX_PATH];
            if (getTempPathW(MAX_PATH, wide) == 0) {
                std::string failed = "GetTempPathW 0 err " + Num(GetLastError());
                restore();
                return failed;
            }
            std::vector<std::string> parts;
            char ansi[MAX_PATH];
            GetTempPathA(sizeof ansi, ansi);
            std::string ansiPath = ansi;
            std::string ending = "???? ??????\\";
            bool spelt = ansiPath.size() > ending.size() &&
                         ansiPath.compare(ansiPath.size() - ending.size(), ending.size(), ending) == 0;
            parts.push_back(spelt ? ending : ansiPath);
            parts.push_back(Attributes(GetFileAttributesA(ansi)));
            char buffer[MAX_PATH];
            parts.push_back(Ok(BOOL(GetShortPathNameA(ansi, buffer, sizeof buffer))));
            parts.push_back(WideString(wide) == folder + u"\\" ? "wide" : "other: " + Narrow(wide));
            WCHAR shortWide[MAX_PATH];
            std::string shortPath = getShortPathNameW(wide, shortWide, MAX_PATH) ? Narrow(shortWide) : "none";
            bool usable = shortPath.find('?') == std::string::npos && shortPath != "none";
            parts.push_back(usable && Exists(shortPath) ? "short, exists" : "short: " + shortPath);
            MakeFile(P("v.exe"), "MZ");
            parts.push_back(Ok(CopyFileA(P("v.exe").c_str(), (shortPath + "v.exe").c_str(), FALSE)));
            std::vector<WCHAR> below = Wide(folder + u"\\v.exe");
            std::string belowShort = getShortPathNameW(below.data(), shortWide, MAX_PATH) ? Narrow(shortWide) : "none";
            parts.push_back(belowShort == shortPath + "v.exe" ? "short\\v.exe" : belowShort);
            std::vector<WCHAR> missing = Wide(folder + u"\\missing.exe");
            parts.push_back(Ok(BOOL(getShortPathNameW(missing.data(), shortWide, MAX_PATH))));
            DeleteFileA((shortPath + "v.exe").c_str());
            RemoveDirectoryA(shortPath.c_str());
            restore();
            return Join(parts);
        });

    // ---- Modules and wide text ----
    row("GetModuleHandleA finds KERNEL32 by either spelling, not another module; NULL is the program",
        {{ANY, "same / NULL err 126 / program", nullptr}}, [] {
            HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
            std::string same = kernel32 && GetModuleHandleA("KERNEL32") == kernel32 ? "same" : "different";
            SetLastError(0);
            HMODULE other = GetModuleHandleA("vorsil-no-such-module.dll");
            std::string missing = other ? "found" : "NULL err " + Num(GetLastError());
            return Join({same, missing, GetModuleHandleA(nullptr) ? "program" : "NULL"});
        });
    row("GetProcAddress on KERNEL32 finds the DLL search and wide temporary folder functions; another name, a name "
        "in other case, the program's exports: ERROR_PROC_NOT_FOUND; an unknown module: ERROR_MOD_NOT_FOUND",
        {{NT, "1 1 1 1 / 127 / 127 / 127 / 126", nullptr},
         {WINE_95, "1 1 1 1 / 127 / 127 / 127 / 126", "Wine's win98 setting keeps the NT exports"},
         {WIN_95 | SIM_95, "0 0 1 1 / 127 / 127 / 127 / 126",
          "the 95 family has neither SetDefaultDllDirectories nor SetDllDirectoryA"}},
        [] {
            HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
            std::string found;
            for (const char* name :
                 {"SetDefaultDllDirectories", "SetDllDirectoryA", "GetTempPathW", "GetShortPathNameW"})
                found += std::string(found.empty() ? "" : " ") + (GetProcAddress(kernel32, name) ? "1" : "0");
            auto missing = [](HMODULE module, const char* name) {
                SetLastError(0);
                return GetProcAddress(module, name) ? std::string("found") : Num(GetLastError());
            };
            return Join({found, missing(kernel32, "VorsilNoSuchFunction"), missing(kernel32, "setdlldirectorya"),
                         missing(nullptr, "GetTempPathW"),
                         missing(reinterpret_cast<HMODULE>(uintptr_t(0x12340000)), "GetTempPathW")});
        });
    row("SetDefaultDllDirectories takes LOAD_LIBRARY_SEARCH_SYSTEM32, refuses 0 and other flags; "
        "SetDllDirectoryA(\"\") succeeds",
        {{NT, "0 err 87 / 0 err 87 / 1 / 1", nullptr},
         {WINE_95, "0 err 87 / 0 err 87 / 1 / 1", "Wine's win98 setting keeps the NT exports"},
         {WIN_95 | SIM_95, "missing", "the 95 family has neither"}},
        [] {
            auto setDefault = Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
            auto setDirectory = Kernel32Function<SetDllDirectoryAFunction>("SetDllDirectoryA");
            if (!setDefault || !setDirectory)
                return std::string("missing");
            std::string result = Join({Ok(setDefault(0)), Ok(setDefault(1)),
                                       Ok(setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)), Ok(setDirectory(""))});
            setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
            setDirectory(nullptr);
            return result;
        });
    row("GetTempPathW is GetTempPathA's folder widened; GetShortPathNameW gives GetShortPathNameA's answer",
        {{NT, "same / same", nullptr},
         {WINE_95, "same / same", "Wine's win98 setting keeps the NT wide functions"},
         {WIN_95 | SIM_95, "0 err 120 / 0 err 120", "the 95 family's wide functions are stubs"}},
        [] {
            auto getTempPathW = Kernel32Function<GetTempPathWFunction>("GetTempPathW");
            auto getShortPathNameW = Kernel32Function<GetShortPathNameWFunction>("GetShortPathNameW");
            if (!getTempPathW || !getShortPathNameW)
                return std::string("missing");
            CreateDirectoryA(P("Long Directory Name").c_str(), nullptr);
            char ansi[MAX_PATH];
            GetTempPathA(sizeof ansi, ansi);
            WCHAR wide[MAX_PATH];
            std::string temp = getTempPathW(MAX_PATH, wide) ? (Narrow(wide) == ansi ? "same" : "other: " + Narrow(wide))
                                                            : "0 err " + Num(GetLastError());
            char shortAnsi[MAX_PATH];
            GetShortPathNameA(P("Long Directory Name").c_str(), shortAnsi, sizeof shortAnsi);
            std::vector<WCHAR> longWide = Wide(WideOfAscii(P("Long Directory Name")));
            WCHAR shortWide[MAX_PATH];
            std::string shortPath = getShortPathNameW(longWide.data(), shortWide, MAX_PATH)
                                        ? (Narrow(shortWide) == shortAnsi ? "same" : "other: " + Narrow(shortWide))
                                        : "0 err " + Num(GetLastError());
            return Join({temp, shortPath});
        });
    row("WideCharToMultiByte to code page 1252: exact bytes, best fit, the default character and the used flag",
        {{ANY, "41 E9 80 92 / 3F used / 41 / 3F used / 5C / 2A used",
          "Windows unconfirmed on NT 4.0 and the 95 family (best fit and WC_NO_BEST_FIT_CHARS)"}},
        [] {
            auto convert = [](std::u16string text, DWORD flags, const char* defaultChar) {
                std::vector<WCHAR> wide = Wide(text);
                char bytes[16];
                BOOL used = FALSE;
                int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), int(text.size()), bytes, sizeof bytes,
                                                 defaultChar, &used);
                if (length == 0)
                    return "0 err " + Num(GetLastError());
                std::string text16;
                for (int i = 0; i < length; ++i)
                    text16 += (i ? " " : "") + HexByte(bytes[i]);
                return text16 + (used ? " used" : "");
            };
            // e acute, the euro sign, a right quotation mark; Zhe; A with macron; a fullwidth backslash.
            return Join({convert(u"A\u00e9\u20ac\u2019", 0, nullptr), convert(u"\u0416", 0, nullptr),
                         convert(u"\u0100", 0, nullptr), convert(u"\u0100", WC_NO_BEST_FIT_CHARS, nullptr),
                         convert(u"\uff3c", 0, nullptr), convert(u"\u0416", 0, "*")});
        });
    row("WideCharToMultiByte sizes: -1 counts the terminator, no buffer asks the size, too small a buffer is "
        "ERROR_INSUFFICIENT_BUFFER, no characters ERROR_INVALID_PARAMETER, an unknown flag ERROR_INVALID_FLAGS",
        {{ANY, "4 AB?| / 4 / 0 err 122 / 2 AB## / 0 err 87 / 0 err 1004", nullptr}}, [] {
            std::vector<WCHAR> wide = Wide(u"AB\u0416");
            auto call = [&](int count, char* buffer, int size, DWORD flags) {
                std::memset(buffer, '#', 4);
                SetLastError(0);
                int result = WideCharToMultiByte(CP_ACP, flags, wide.data(), count, size ? buffer : nullptr, size,
                                                 nullptr, nullptr);
                return result == 0 ? "0 err " + Num(GetLastError()) : Num(result);
            };
            char buffer[8];
            std::string whole = call(-1, buffer, sizeof buffer, 0);
            whole += " " + Shown(buffer, 4);
            std::string sized = call(-1, buffer, 0, 0);
            std::string small = call(-1, buffer, 2, 0);
            std::string counted = call(2, buffer, sizeof buffer, 0);
            counted += " " + Shown(buffer, 4);
            return Join({whole, sized, small, counted, call(0, buffer, sizeof buffer, 0),
                         call(-1, buffer, sizeof buffer, 0x8000)});
        });
    row("LoadLibraryA: a missing file (with a folder, or a bare name) is not found, a file that is no "
        "module ERROR_BAD_EXE_FORMAT; a module loads once for two loads; KERNEL32 is the loaded one; FreeLibrary",
        {{NT, "126 / 126 / 193 / same handle / 1 1 / same / 0 err 126", nullptr},
         {FAMILY_95, "1157 / 1157 / 193 / same handle / 1 1 / same / 0 err 126",
          "the 95 family reports a missing library as ERROR_DLL_NOT_FOUND"}},
        [] {
            MakeFile(P("text.dll"), "hello");
            CopyFileA(ModulePath().c_str(), P("module.dll").c_str(), FALSE);
            auto failure = [](const std::string& name) {
                SetLastError(0);
                HMODULE module = LoadLibraryA(name.c_str());
                if (module)
                    FreeLibrary(module);
                return module ? std::string("loaded") : Num(GetLastError());
            };
            std::vector<std::string> parts{failure(P("missing.dll")), failure("vorsil-no-such-library.dll"),
                                           failure(P("text.dll"))};
            HMODULE first = LoadLibraryA(P("module.dll").c_str());
            HMODULE second = LoadLibraryA(P("module.dll").c_str());
            parts.push_back(!first             ? "not loaded, err " + Num(GetLastError())
                            : first == second ? std::string("same handle")
                                              : std::string("two"));
            parts.push_back(Num(FreeLibrary(second)) + " " + Num(FreeLibrary(first)));
            parts.push_back(LoadLibraryA("KERNEL32") == GetModuleHandleA("kernel32.dll") ? "same" : "other");
            FreeLibrary(GetModuleHandleA("kernel32.dll"));
            parts.push_back(Ok(FreeLibrary(reinterpret_cast<HMODULE>(uintptr_t(0x12340000)))));
            return Join(parts);
        });
    row("GetSystemDirectoryA is System32 in the Windows directory; too small a buffer gets the size needed",
        {{WINE | SIM | WIN_NT, "system32 in the Windows directory / needed / needed", nullptr},
         {WIN_95, "system in the Windows directory / needed / needed", "unconfirmed; the simulation follows Wine"}},
        [] {
            char windows[MAX_PATH], system[MAX_PATH];
            GetWindowsDirectoryA(windows, sizeof windows);
            UINT length = GetSystemDirectoryA(system, sizeof system);
            std::string lower = system, expected = std::string(windows) + "\\system";
            std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return char(std::tolower(c)); });
            std::transform(expected.begin(), expected.end(), expected.begin(),
                           [](char c) { return char(std::tolower(c)); });
            std::string where = lower == expected + "32" ? "system32 in the Windows directory"
                                : lower == expected       ? "system in the Windows directory"
                                                          : std::string(system);
            char small[3];
            UINT needed = GetSystemDirectoryA(small, sizeof small);
            UINT asked = GetSystemDirectoryA(nullptr, 0);
            return Join({where, needed == length + 1 ? "needed" : "got " + Num(needed),
                         asked == length + 1 ? "needed" : "got " + Num(asked)});
        });

    // ---- Registry ----
    row("RegOpenKeyA with an empty or NULL subkey gives back the same handle",
        {{ANY, "0 same / 0 same", nullptr}}, [] {
            HKEY key = nullptr;
            LONG empty = RegOpenKeyA(HKEY_CURRENT_USER, "", &key);
            std::string first = Num(empty) + (key == HKEY_CURRENT_USER ? " same" : " other");
            key = nullptr;
            LONG none = RegOpenKeyA(HKEY_CURRENT_USER, nullptr, &key);
            return first + " / " + Num(none) + (key == HKEY_CURRENT_USER ? " same" : " other");
        });
    row("RegOpenKeyA takes a leading backslash below HKEY_CLASSES_ROOT on the NT family; RegDeleteKeyA does not",
        {{NT, "0 / 161 / 161 / there", "the NT family's RegOpenKeyA drops it below HKEY_CLASSES_ROOT"},
         {FAMILY_95, "161 / 161 / 161 / there", nullptr}},
        [] {
            HKEY key = nullptr;
            if (RegCreateKeyA(HKEY_CLASSES_ROOT, "VorsilContract\\Leading", &key) == ERROR_SUCCESS)
                RegCloseKey(key);
            MakeKey("Leading");
            LONG classes = RegOpenKeyA(HKEY_CLASSES_ROOT, "\\VorsilContract\\Leading", &key);
            if (classes == ERROR_SUCCESS)
                RegCloseKey(key);
            LONG user = RegOpenKeyA(HKEY_CURRENT_USER, "\\Software\\VorsilContract\\Leading", &key);
            if (user == ERROR_SUCCESS)
                RegCloseKey(key);
            LONG deleted = RegDeleteKeyA(HKEY_CLASSES_ROOT, "\\VorsilContract\\Leading");
            bool there = RegOpenKeyA(HKEY_CLASSES_ROOT, "VorsilContract\\Leading", &key) == ERROR_SUCCESS;
            if (there)
                RegCloseKey(key);
            DeleteKeyTree(HKEY_CLASSES_ROOT, "VorsilContract");
            return Join({Num(classes), Num(user), Num(deleted), there ? "there" : "gone"});
        });
    row("RegOpenKeyA on a missing key", {{ANY, "2", nullptr}}, [] {
        HKEY key;
        return Num(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\Missing", &key));
    });
    row("RegQueryValueExA with too small a buffer", {{ANY, "234 size 6 ###", nullptr}}, [] {
        HKEY key = ScratchKey();
        RegSetValueExA(key, "Val", 0, REG_SZ, reinterpret_cast<const BYTE*>("hello"), 6);
        BYTE buffer[3];
        std::memset(buffer, '#', sizeof buffer);
        DWORD size = sizeof buffer;
        LONG result = RegQueryValueExA(key, "Val", nullptr, nullptr, buffer, &size);
        RegCloseKey(key);
        return Num(result) + " size " + Num(size) + " " + Shown(reinterpret_cast<char*>(buffer), sizeof buffer);
    });
    row("RegDeleteValueA finds the name without regard to case, then it is gone",
        {{ANY, "0 / 2", nullptr}}, [] {
            HKEY key = ScratchKey();
            RegSetValueExA(key, "Val", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
            std::string result = Join({Num(RegDeleteValueA(key, "VAL")), Num(RegDeleteValueA(key, "Val"))});
            RegCloseKey(key);
            return result;
        });
    row("RegDeleteValueA on the default value (empty name)", {{ANY, "0 / 2 / 2", nullptr}}, [] {
        HKEY key = ScratchKey();
        RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
        std::string deleted = Num(RegDeleteValueA(key, ""));
        DWORD size = 0;
        std::string query = Num(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size));
        std::string again = Num(RegDeleteValueA(key, nullptr));
        RegCloseKey(key);
        return Join({deleted, query, again});
    });
    row("RegDeleteKeyA on a key without subkeys", {{ANY, "0 / gone", nullptr}}, [] {
        MakeKey("Leaf");
        HKEY key = ScratchKey();
        std::string result = Num(RegDeleteKeyA(key, "Leaf"));
        RegCloseKey(key);
        return result + (KeyExists("Leaf") ? " / there" : " / gone");
    });
    row("RegDeleteKeyA on a key with a subkey",
        {{NT, "5 / there", "the NT family refuses"}, {FAMILY_95, "0 / gone", "the 95 family deletes the tree"}}, [] {
            MakeKey("Parent\\Child\\Grandchild");
            std::string result = Num(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\Parent"));
            return result + (KeyExists("Parent") ? " / there" : " / gone");
        });
    row("RegDeleteKeyA on a key with several subkeys",
        {{NT, "5 / a bb ccc", nullptr},
         {WINE_95, "5 / bb ccc",
          "Wine's 95-family deletion stops after the first subkey (the name length is not reset between "
          "enumerations); the simulation follows Windows"},
         {WIN_95 | SIM_95, "0 / gone", nullptr}},
        [] {
            MakeKey("Several\\a");
            MakeKey("Several\\bb");
            MakeKey("Several\\ccc");
            std::string result = Num(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\Several"));
            HKEY key;
            if (RegOpenKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\Several", &key) != ERROR_SUCCESS)
                return result + " / gone";
            std::vector<std::string> left;
            char name[MAX_PATH];
            for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
                left.push_back(name);
            RegCloseKey(key);
            return result + " / " + Join(left, " ");
        });
    row("RegDeleteKeyA on a missing key", {{ANY, "2", nullptr}}, [] {
        return Num(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\Missing"));
    });
    row("Registry key paths compare without regard to case", {{ANY, "0", nullptr}}, [] {
        MakeKey("MiXed\\Sub");
        HKEY key;
        LONG result = RegOpenKeyA(HKEY_CURRENT_USER, "software\\vorsilcontract\\mixed\\SUB", &key);
        if (result == ERROR_SUCCESS)
            RegCloseKey(key);
        return Num(result);
    });
    row("RegEnumKeyA lists the subkeys in order, then ERROR_NO_MORE_ITEMS; too small a buffer is ERROR_MORE_DATA",
        {{ANY, "aaa bbb Zed 259 / 234", nullptr}}, [] {
            MakeKey("Enum\\bbb");
            MakeKey("Enum\\Zed");
            MakeKey("Enum\\aaa");
            HKEY key;
            RegOpenKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\Enum", &key);
            std::string text;
            char name[MAX_PATH];
            LONG result;
            for (DWORD i = 0; (result = RegEnumKeyA(key, i, name, sizeof name)) == ERROR_SUCCESS; ++i)
                text += std::string(name) + " ";
            text += Num(result);
            LONG small = RegEnumKeyA(key, 0, name, 3);
            RegCloseKey(key);
            return text + " / " + Num(small);
        });
    row("RegQueryInfoKeyA counts subkeys and values", {{ANY, "0 / 2 subkeys / 3 values", nullptr}}, [] {
        MakeKey("Info\\one");
        MakeKey("Info\\two");
        HKEY key;
        RegOpenKeyA(HKEY_CURRENT_USER, "Software\\VorsilContract\\Info", &key);
        for (const char* name : {"", "a", "b"})
            RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
        DWORD subkeys = 0, values = 0;
        LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                       nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return Join({Num(result), Num(subkeys) + " subkeys", Num(values) + " values"});
    });

    // ---- Processes ----
    row("CreateProcessA with a missing program", {{ANY, "0 err 2 / 0 err 2", nullptr}}, [] {
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info;
        std::string quoted = "\"" + P("nothing.exe") + "\" /x";
        std::vector<char> line(quoted.begin(), quoted.end());
        line.push_back('\0');
        std::string first = Ok(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                              &startup, &info));
        char bare[] = "vorsil-no-such-program /x";
        return first + " / " +
               Ok(CreateProcessA(nullptr, bare, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    });
    row("CreateProcessA with a missing current directory", {{ANY, "0 err 267", nullptr}}, [] {
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info;
        std::string command = "\"" + ModulePath() + "\" child";
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        BOOL result = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     P("missing").c_str(), &startup, &info);
        if (result) {
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        return Ok(result);
    });
    row("CreateProcessA finds an unquoted program path with a blank, and adds .exe in the current directory",
        {{ANY, "1 / 1", nullptr}}, [] {
            CreateDirectoryA(P("with blank").c_str(), nullptr);
            CopyFileA(ModulePath().c_str(), P("with blank\\tool.exe").c_str(), FALSE);
            char previous[MAX_PATH];
            GetCurrentDirectoryA(sizeof previous, previous);
            SetCurrentDirectoryA(P("with blank").c_str());
            std::vector<std::string> parts;
            for (std::string command : {P("with blank\\tool.exe") + " child", std::string("tool child")}) {
                STARTUPINFOA startup;
                std::memset(&startup, 0, sizeof startup);
                startup.cb = sizeof startup;
                PROCESS_INFORMATION info;
                std::vector<char> line(command.begin(), command.end());
                line.push_back('\0');
                BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                              &startup, &info);
                parts.push_back(Ok(started));
                if (started) {
                    MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_SENDMESSAGE);
                    CloseHandle(info.hProcess);
                    CloseHandle(info.hThread);
                }
            }
            SetCurrentDirectoryA(previous);
            return Join(parts);
        });
    row("A running program holds its program file and its current directory until it has ended",
        {{ANY, "1 / 0 err 5 / 0 err 32 / 0 / gone / gone", nullptr}}, [] {
            CreateDirectoryA(P("running").c_str(), nullptr);
            CreateDirectoryA(P("running\\work").c_str(), nullptr);
            std::string tool = P("running\\tool.exe");
            CopyFileA(ModulePath().c_str(), tool.c_str(), FALSE);
            STARTUPINFOA startup;
            std::memset(&startup, 0, sizeof startup);
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info;
            std::string command = "\"" + tool + "\" linger";
            std::vector<char> line(command.begin(), command.end());
            line.push_back('\0');
            BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                          P("running\\work").c_str(), &startup, &info);
            if (!started)
                return Ok(started);
            // The new process takes its current directory while it starts up.
            Sleep(500);
            std::string file = Ok(DeleteFileA(tool.c_str()));
            std::string folder = Ok(RemoveDirectoryA(P("running\\work").c_str()));
            DWORD wait = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, 0);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
            // An ended program's hold may outlast the wait a moment under Wine.
            for (int attempt = 0; attempt < 50 && Exists(P("running\\work")); ++attempt) {
                if (!RemoveDirectoryA(P("running\\work").c_str()))
                    Sleep(100);
            }
            DeleteFileA(tool.c_str());
            return Join({"1", file, folder, Num(wait), ThereOrGone(P("running\\work")), ThereOrGone(tool)});
        });
    row("CreateProcessA, MsgWaitForMultipleObjects until the end, CloseHandle, a wait on the closed handle",
        {{ANY, "1 / 0 / 1 1 / 4294967295 err 6", nullptr}}, [] {
            STARTUPINFOA startup;
            std::memset(&startup, 0, sizeof startup);
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESHOWWINDOW;
            startup.wShowWindow = SW_HIDE;
            PROCESS_INFORMATION info;
            std::string command = "\"" + ModulePath() + "\" child";
            std::vector<char> line(command.begin(), command.end());
            line.push_back('\0');
            BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                          &startup, &info);
            if (!started)
                return Ok(started);
            DWORD wait;
            int wakes = 0;
            while ((wait = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_SENDMESSAGE)) ==
                       WAIT_OBJECT_0 + 1 &&
                   wakes++ < 100) {
                MSG message;
                while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&message);
                    DispatchMessageA(&message);
                }
            }
            std::string closed = Join({Num(CloseHandle(info.hProcess)), Num(CloseHandle(info.hThread))}, " ");
            DWORD again = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_SENDMESSAGE);
            return Join({"1", Num(wait), closed, Num(again) + " err " + Num(GetLastError())});
        });
    row("MsgWaitForMultipleObjects for no handle on an empty queue waits out its time; GetTickCount moves on by it",
        {{ANY, "258 / at least 40 ms", nullptr}}, [] {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            DWORD start = GetTickCount();
            DWORD wait = MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            // Windows' tick count moves in steps of up to 16 ms.
            DWORD waited = GetTickCount() - start;
            return Join({Num(wait), waited >= 40 ? std::string("at least 40 ms") : Num(waited) + " ms"});
        });
    row("ShellExecuteA: a missing file gives 2, also in a missing folder (last error 3); a program starts (> 32)",
        {{ANY, "2 err 2 / 2 err 3 / above 32", "Windows unconfirmed for the missing folder (may answer 3)"}}, [] {
            auto run = [](const std::string& file, const char* parameters) {
                SetLastError(0);
                INT_PTR result = reinterpret_cast<INT_PTR>(
                    ShellExecuteA(nullptr, "open", file.c_str(), parameters, nullptr, SW_HIDE));
                return result > 32 ? std::string("above 32") : Num(result) + " err " + Num(GetLastError());
            };
            return Join({run(P("nothing.exe"), nullptr), run(P("nofolder\\nothing.exe"), nullptr),
                         run(ModulePath(), "child")});
        });

    row("A program file held open for writing or without sharing is not started (CreateProcessA "
        "ERROR_SHARING_VIOLATION, ShellExecuteA 11); held for reading with FILE_SHARE_READ it starts",
        {{ANY, "0 err 32 / 11 err 32 / 0 err 32 / 11 err 32 / 1 / above 32", nullptr}}, [] {
            std::string tool = P("held.exe");
            CopyFileA(ModulePath().c_str(), tool.c_str(), FALSE);
            auto create = [&] {
                STARTUPINFOA startup;
                std::memset(&startup, 0, sizeof startup);
                startup.cb = sizeof startup;
                PROCESS_INFORMATION info;
                std::string command = "\"" + tool + "\" child";
                std::vector<char> line(command.begin(), command.end());
                line.push_back('\0');
                BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                              &startup, &info);
                std::string result = Ok(started);
                if (started) {
                    MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, 0);
                    CloseHandle(info.hProcess);
                    CloseHandle(info.hThread);
                }
                return result;
            };
            auto shell = [&] {
                SetLastError(0);
                INT_PTR result =
                    reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", tool.c_str(), "child", nullptr, SW_HIDE));
                return result > 32 ? std::string("above 32") : Num(result) + " err " + Num(GetLastError());
            };
            std::vector<std::string> parts;
            const DWORD holds[][2] = {{GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
                                      {GENERIC_READ, 0},
                                      {GENERIC_READ, FILE_SHARE_READ}};
            for (const auto& hold : holds) {
                HANDLE held = CreateFileA(tool.c_str(), hold[0], hold[1], nullptr, OPEN_EXISTING, 0, nullptr);
                parts.push_back(create());
                parts.push_back(shell());
                if (held != INVALID_HANDLE_VALUE)
                    CloseHandle(held);
            }
            // The program started last holds its file until it has ended.
            for (int attempt = 0; attempt < 50 && !DeleteFileA(tool.c_str()); ++attempt)
                Sleep(100);
            return Join(parts);
        });
    row("ShellExecuteA with the verb runas starts the program",
        {{WINE | SIM, "above 32", "Wine has no consent prompt"},
         {WINDOWS, "above 32", "Vista and later ask for an administrator's consent first; XP opens its Run As "
                               "dialog; the 95 family unconfirmed"}},
        [] {
            INT_PTR result = reinterpret_cast<INT_PTR>(
                ShellExecuteA(nullptr, "runas", ModulePath().c_str(), "child", nullptr, SW_HIDE));
            return result > 32 ? std::string("above 32") : Num(result) + " err " + Num(GetLastError());
        });

    // ---- Events ----
    row("CreateEventA: a new name clears the last error, a taken one gives another handle to it with "
        "ERROR_ALREADY_EXISTS",
        {{ANY, "handle err 0 / handle err 183 / distinct", "Windows' 95 family unconfirmed"}}, [] {
            SetLastError(1234);
            HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "VorsilContract.Created");
            std::string first = Named(event);
            HANDLE again = CreateEventA(nullptr, TRUE, FALSE, "VorsilContract.Created");
            std::string second = Named(again);
            std::string distinct = again != event ? "distinct" : "same";
            for (HANDLE handle : {event, again})
                if (handle)
                    CloseHandle(handle);
            return Join({first, second, distinct});
        });

    // ---- ShellExecuteExA and the processes it starts ----
    row("ShellExecuteExA with SEE_MASK_NOCLOSEPROCESS: a process handle; the started program signals an event while "
        "it runs (STILL_ACTIVE), then ends with its exit code; the closed handle is no process",
        {{ANY, "1 above 32 handle / 1 / 1 259 / 0 / 1 7 / 1 / 0 err 6", nullptr}}, [] {
            HANDLE signal = CreateEventA(nullptr, TRUE, FALSE, "VorsilContract.Signal");
            HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "VorsilContract.Go");
            ModelSignallingChild(7);
            std::string module = ModulePath();
            SHELLEXECUTEINFOA info;
            std::memset(&info, 0, sizeof info);
            info.cbSize = sizeof info;
            info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
            info.lpVerb = "open";
            info.lpFile = module.c_str();
            info.lpParameters = "signal VorsilContract.Signal VorsilContract.Go 7";
            info.nShow = SW_HIDE;
            BOOL started = ShellExecuteExA(&info);
            std::vector<std::string> parts;
            bool above32 = reinterpret_cast<INT_PTR>(info.hInstApp) > 32;
            parts.push_back(Ok(started) + (above32 ? " above 32" : " 32 or less") +
                            (info.hProcess ? " handle" : " NULL"));
            if (started && info.hProcess) {
                HANDLE both[2] = {info.hProcess, signal};
                parts.push_back(Waited(WaitForMultipleObjects(2, both, FALSE, 10000)));
                parts.push_back(ExitCode(info.hProcess));
                SetEvent(go);
                parts.push_back(Waited(WaitFor(info.hProcess, 10000)));
                parts.push_back(ExitCode(info.hProcess));
                parts.push_back(Ok(CloseHandle(info.hProcess)));
                parts.push_back(ExitCode(info.hProcess));
            }
            ForgetSignallingChild();
            CloseHandle(signal);
            CloseHandle(go);
            return Join(parts);
        });
    row("ShellExecuteExA: hProcess is set only with SEE_MASK_NOCLOSEPROCESS (NULL when nothing started); a missing "
        "file or folder fails with hInstApp 2; cbSize is not checked",
        {{WINE | SIM, "1 above 32 untouched / 0 err 2 2 untouched / 0 err 2 2 NULL / 0 err 3 2 NULL / "
                      "1 above 32 handle / 1 above 32 handle", nullptr},
         {WINDOWS, "1 above 32 NULL / 0 err 2 2 NULL / 0 err 2 2 NULL / 0 err 3 2 NULL / 1 above 32 handle / "
                   "1 above 32 handle",
          "documented: hProcess NULL without SEE_MASK_NOCLOSEPROCESS; unconfirmed: the missing folder (may answer "
          "3) and the cbSize check"}},
        [] {
            std::string module = ModulePath();
            std::string missing = P("nothing.exe");
            std::string noFolder = P("nofolder\\nothing.exe");
            auto run = [](const std::string& file, DWORD mask, DWORD size) {
                SHELLEXECUTEINFOA info;
                std::memset(&info, 0, sizeof info);
                info.cbSize = size;
                info.fMask = mask | SEE_MASK_FLAG_NO_UI;
                info.lpFile = file.c_str();
                info.lpParameters = "child";
                info.nShow = SW_HIDE;
                info.hProcess = reinterpret_cast<HANDLE>(1);
                SetLastError(0);
                BOOL result = ShellExecuteExA(&info);
                INT_PTR instance = reinterpret_cast<INT_PTR>(info.hInstApp);
                std::string text = Ok(result) + " " + (instance > 32 ? std::string("above 32") : Num(instance)) +
                                   (info.hProcess == reinterpret_cast<HANDLE>(1) ? " untouched"
                                    : info.hProcess                              ? " handle"
                                                                                 : " NULL");
                if (info.hProcess && info.hProcess != reinterpret_cast<HANDLE>(1))
                    CloseHandle(info.hProcess);
                return text;
            };
            const DWORD size = sizeof(SHELLEXECUTEINFOA);
            return Join({run(module, 0, size), run(missing, 0, size), run(missing, SEE_MASK_NOCLOSEPROCESS, size),
                         run(noFolder, SEE_MASK_NOCLOSEPROCESS, size), run(module, SEE_MASK_NOCLOSEPROCESS, size - 4),
                         run(module, SEE_MASK_NOCLOSEPROCESS, 0)});
        });
    // ---- Heap ----
    row("HeapAlloc with HEAP_ZERO_MEMORY, HeapReAlloc keeps the contents, HeapFree",
        {{ANY, "zeroed / kept / 1", nullptr}}, [] {
            HANDLE heap = GetProcessHeap();
            char* block = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 16));
            if (!block)
                return std::string("no block");
            bool zeroed = std::all_of(block, block + 16, [](char c) { return c == 0; });
            std::memcpy(block, "abc", 4);
            char* larger = static_cast<char*>(HeapReAlloc(heap, 0, block, 4096));
            if (!larger)
                return std::string("no larger block");
            std::string kept = std::strcmp(larger, "abc") == 0 ? "kept" : "lost";
            return Join({zeroed ? "zeroed" : "not zeroed", kept, Num(HeapFree(heap, 0, larger))});
        });
    return rows;
}

// ---- Running the table ----
struct Totals {
    int passed = 0;
    int failed = 0;
};

void RunRows(Totals& totals)
{
    std::printf("== %s ==\n", PlatformName(g_platform));
    RemoveTree(g_scratch.substr(0, g_scratch.size() - 1));
    DeleteKeyTree(HKEY_CURRENT_USER, SCRATCH_KEY);
    for (const Row& row : Rows()) {
        CreateDirectoryA(g_scratch.c_str(), nullptr);
        const Expect* expect = nullptr;
        for (const Expect& candidate : row.expect)
            if (candidate.platforms & g_platform) {
                expect = &candidate;
                break;
            }
        std::string got = row.run();
        if (!expect) {
            std::printf("FAIL %s: no expectation for this platform (got \"%s\")\n", row.name, got.c_str());
            ++totals.failed;
        } else if (got != expect->result) {
            std::printf("FAIL %s:\n     got      \"%s\"\n     expected \"%s\"\n", row.name, got.c_str(),
                        expect->result);
            ++totals.failed;
        } else {
            std::printf("ok   %s%s%s%s\n", row.name, expect->note ? " (" : "", expect->note ? expect->note : "",
                        expect->note ? ")" : "");
            ++totals.passed;
        }
        RemoveTree(g_scratch.substr(0, g_scratch.size() - 1));
        DeleteKeyTree(HKEY_CURRENT_USER, SCRATCH_KEY);
    }
}

std::string ScratchFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + "vorsil-contract\\";
}

#ifdef VORSIL_SIMULATION
// The simulated machine the rows run on: drive C:, the Windows directory,
// a temporary folder with a long name, and this program's file.
void PrepareSimulation(bool nt)
{
    SimReset();
    SimSetNtPlatform(nt);
    SimMakeDirectory("C:\\Users\\Tester\\AppData\\Local\\Temp");
    SimSetTempPath("C:\\Users\\Tester\\AppData\\Local\\Temp\\");
    SimWriteFile("C:\\Tools\\win32_contract.exe", "MZ");
    SimSetModulePath("C:\\Tools\\win32_contract.exe");
    SimSetCurrentDirectory("C:\\Tools");
    g_platform = nt ? SIM_NT : SIM_95;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "child") == 0)
        return 0;
    if (argc > 4 && std::strcmp(argv[1], "signal") == 0)
        return SignalAndWait(argv[2], argv[3], argv[4]);
    // A child that is still running while the rows look at it.
    if (argc > 1 && std::strcmp(argv[1], "linger") == 0) {
        Sleep(2000);
        return 0;
    }
    Totals totals;
#ifdef VORSIL_SIMULATION
    (void)argv;
    for (bool nt : {true, false}) {
        PrepareSimulation(nt);
        g_scratch = ScratchFolder();
        RunRows(totals);
    }
#else
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    bool nt = IsNtFamily();
    g_platform = wine ? (nt ? WINE_NT : WINE_95) : (nt ? WIN_NT : WIN_95);
    g_scratch = ScratchFolder();
    RunRows(totals);
#endif
    std::printf("%d passed, %d failed\n", totals.passed, totals.failed);
    return totals.failed == 0 ? 0 : 1;
}
