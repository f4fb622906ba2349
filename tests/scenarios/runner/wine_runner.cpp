// The Wine scenario runner: a Windows program that runs inside Wine, builds
// each scenario's world with the real Win32 calls, starts vorsil.exe as a
// user would (through the end-to-end driver's session), answers its windows,
// reads the live list box, closes it, and judges the outcome with the code
// the native runner uses too.
//
//   scenarios.exe --program PATH --probe PATH [--platform nt|win98] SCENARIO.txt|FOLDER...
//
// Paths may be Unix paths (seen through drive Z:). Exit code 0 only when
// every scenario run passed.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "code_pages.h"
#include "installation.h"
#include "machine.h"
#include "outcome.h"
#include "processes.h"
#include "root_keys.h"
#include "scenario.h"
#include "session.h"

namespace {

using code_pages::Wide;
using scenario::Scenario;

// No scenario may hang the run.
const DWORD SCENARIO_LIMIT_MS = 120000;
volatile LONG g_deadline = 0;  // GetTickCount() by which the current scenario must end
std::string g_programName = "vorsil.exe";

// Full paths through "\\?\", so that paths past MAX_PATH can be laid out and looked at.
std::wstring Long(const std::string& path) { return L"\\\\?\\" + Wide(path); }

// The folder of a full path ("C:\\" for a file in the drive's root).
std::string ParentOf(const std::string& path)
{
    size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash < 3 ? 3 : slash);
}

std::string FileNameOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Long(path).c_str()); }

class WineMachine : public scenario::Machine {
public:
    WineMachine(const std::string& program, const std::string& probe) : program_(program), probe_(probe) {}

    bool MakeDirectory(const std::string& path) override
    {
        for (size_t slash = path.find('\\', 3);; slash = path.find('\\', slash + 1)) {
            std::string part = slash == std::string::npos ? path : path.substr(0, slash);
            CreateDirectoryW(Long(part).c_str(), nullptr);
            if (slash == std::string::npos)
                break;
        }
        return DirectoryExists(path);
    }
    bool WriteFile(const std::string& path, const std::string& bytes, bool readOnly, bool hidden) override
    {
        if (!MakeDirectory(ParentOf(path)))
            return false;
        SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        bool ok = ::WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
        CloseHandle(file);
        DWORD attributes = (readOnly ? FILE_ATTRIBUTE_READONLY : 0) | (hidden ? FILE_ATTRIBUTE_HIDDEN : 0);
        if (attributes)
            ok = ok && SetFileAttributesW(Long(path).c_str(), attributes);
        return ok;
    }
    bool PlaceProgram(const std::string& path) override { return Copy(program_, path); }
    bool PlaceProbe(const std::string& path) override { return Copy(probe_, path); }
    bool CreateKey(const std::string& root, const std::string& subkey) override
    {
        return machine::CreateKey(RootOf(root), subkey);
    }
    bool SetValue(const std::string& root, const std::string& subkey, const std::string& name, uint32_t type,
                  const std::string& bytes) override
    {
        HKEY key;
        if (RegCreateKeyExA(RootOf(root), subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return false;
        LONG result = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     DWORD(bytes.size()));
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }
    bool WriteIniEntry(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) override
    {
        return machine::WriteIniEntry(file, section, key, value);
    }
    bool SetPendingRenames(const std::vector<std::pair<std::string, std::string>>& renames) override
    {
        return machine::SetPendingFileRenames(renames);
    }
    bool Remove(const std::string& path) override
    {
        DWORD attributes = Attributes(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return true;
        SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW((Long(path) + L"\\*").c_str(), &found);
            std::vector<std::wstring> names;
            if (search != INVALID_HANDLE_VALUE) {
                do {
                    std::wstring name = found.cFileName;
                    if (name != L"." && name != L"..")
                        names.push_back(name);
                } while (FindNextFileW(search, &found));
                FindClose(search);
            }
            for (const std::wstring& name : names) {
                Remove(path + "\\" + code_pages::Narrow(name));
            }
            RemoveDirectoryW(Long(path).c_str());
        } else {
            DeleteFileW(Long(path).c_str());
        }
        return Attributes(path) == INVALID_FILE_ATTRIBUTES;
    }
    bool DeleteKeyTree(const std::string& root, const std::string& subkey) override
    {
        return machine::DeleteKeyTree(RootOf(root), subkey);
    }
    bool DeleteValue(const std::string& root, const std::string& subkey, const std::string& name) override
    {
        HKEY key;
        if (RegOpenKeyExA(RootOf(root), subkey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return true;
        LONG result = RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
    }
    bool DeleteIniEntry(const std::string& file, const std::string& section, const std::string& key) override
    {
        if (!FileExists(file))
            return true;
        WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
        return !machine::IniEntryExists(file, section, key);
    }

    bool ReadFile(const std::string& path, std::string* bytes) override
    {
        if (!FileExists(path))
            return false;
        HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        bytes->clear();
        char buffer[65536];
        DWORD read = 0;
        while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
            bytes->append(buffer, read);
        CloseHandle(file);
        return true;
    }
    bool FileExists(const std::string& path) override
    {
        DWORD attributes = Attributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    bool DirectoryExists(const std::string& path) override
    {
        DWORD attributes = Attributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    bool KeyExists(const std::string& root, const std::string& subkey) override
    {
        return machine::KeyExists(RootOf(root), subkey);
    }
    bool GetValue(const std::string& root, const std::string& subkey, const std::string& name, uint32_t* type,
                  std::string* bytes) override
    {
        HKEY key;
        if (RegOpenKeyExA(RootOf(root), subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        DWORD kind = 0, size = 0;
        LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &kind, nullptr, &size);
        if (result == ERROR_SUCCESS) {
            bytes->assign(size, '\0');
            result = RegQueryValueExA(key, name.c_str(), nullptr, &kind,
                                      size ? reinterpret_cast<BYTE*>(&(*bytes)[0]) : nullptr, &size);
            bytes->resize(size);
            *type = kind;
        }
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }
    std::vector<std::pair<std::string, std::string>> PendingRenames() override { return machine::PendingFileRenames(); }
    std::string ShortPath(const std::string& path) override { return machine::ShortPath(path); }
    std::string WindowsFolder() override { return machine::WindowsFolder(); }

private:
    bool Copy(const std::string& from, const std::string& to)
    {
        return MakeDirectory(ParentOf(to)) && CopyFileW(Wide(from).c_str(), Long(to).c_str(), FALSE);
    }

    std::string program_, probe_;
};

// The value of a key of the log's [Strings] section, "" when it has none.
std::string StringsValue(const std::string& logText, const std::string& key)
{
    bool inStrings = false;
    size_t start = 0;
    while (start < logText.size()) {
        size_t end = logText.find("\r\n", start);
        std::string line = logText.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? logText.size() : end + 2;
        if (!line.empty() && line[0] == '[')
            inStrings = lstrcmpiA(line.c_str(), "[Strings]") == 0;
        else if (inStrings && line.compare(0, key.size() + 1, key + "=") == 0)
            return line.substr(key.size() + 1);
    }
    return "";
}

std::string EnvironmentVariable(const char* name)
{
    char value[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length && length < sizeof value ? std::string(value, length) : std::string();
}


// The Windows version Wine reports to programs started from now on, for the
// whole prefix ("win98": the 95 family); "" goes back to the prefix's default.
bool SetPrefixVersion(const std::string& version)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result = version.empty() ? RegDeleteValueA(key, "Version")
                                  : RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                                                   DWORD(version.size() + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS || (version.empty() && result == ERROR_FILE_NOT_FOUND);
}

// Without a window manager on the test display, Wine waits up to a second
// for one each time a managed window is hidden (a message box answered, the
// progress window closed). Unmanaged windows work the same for the program and
// the runner, so the runs set them for the programs they start.
const char X11_DRIVER_KEY[] = "Software\\Wine\\X11 Driver";
std::string g_managedBefore;  // "" when the prefix had no such setting

void UseUnmanagedWindows()
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, X11_DRIVER_KEY, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    char value[16] = "";
    DWORD size = sizeof value - 1, type = 0;
    if (RegQueryValueExA(key, "Managed", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        g_managedBefore = std::string(value, size ? size - 1 : 0);
    RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(key);
}

void RestoreWindowManagement()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, X11_DRIVER_KEY, 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    if (g_managedBefore.empty())
        RegDeleteValueA(key, "Managed");
    else
        RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(g_managedBefore.c_str()),
                       DWORD(g_managedBefore.size() + 1));
    RegCloseKey(key);
}

// As the scenarios name them.
std::vector<std::string> ButtonNames(const std::vector<int>& ids)
{
    std::vector<std::string> names;
    for (int id : ids)
        names.push_back(id == IDOK ? "OK" : id == IDCANCEL ? "Cancel" : id == IDRETRY ? "Retry" : id == IDYES ? "Yes"
                        : id == IDNO ? "No" : "button " + std::to_string(id));
    return names;
}

scenario::Observed Run(const Scenario& s)
{
    scenario::Observed seen;
    std::string programName = FileNameOf(s.program);
    g_programName = programName;
    // A per-program setting (the end-to-end cases use one) would hide the prefix's.
    machine::SetReportedVersion(programName, "");
    if (!SetPrefixVersion(s.family == scenario::Family::Win98 ? "win98" : ""))
        seen.problems.push_back("could not set the Windows version Wine reports");

    std::vector<HANDLE> held;
    for (const scenario::Item* item : s.HeldFiles()) {
        HANDLE file = CreateFileW(Long(item->path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE)
            seen.problems.push_back("could not hold " + item->path + " open");
        else
            held.push_back(file);
    }

    // The user's temporary folder, as the program started from here finds it.
    std::string savedTmp = EnvironmentVariable("TMP"), savedTemp = EnvironmentVariable("TEMP");
    if (!s.tempFolder.empty()) {
        SetEnvironmentVariableA("TMP", s.tempFolder.c_str());
        SetEnvironmentVariableA("TEMP", s.tempFolder.c_str());
    }

    Installation installation(ParentOf(s.program), programName);
    UserActions actions;
    actions.arguments = s.arguments;
    actions.currentDirectory = s.from;
    actions.answer = s.answer == scenario::Answer::Ok ? Answer::Ok : Answer::Cancel;
    actions.closeBy = s.closeBy == scenario::CloseBy::Button     ? CloseBy::Button
                      : s.closeBy == scenario::CloseBy::CloseBox ? CloseBy::CloseBox
                                                                 : CloseBy::Escape;
    actions.removalTimeoutMs = 20000;
    for (const scenario::Box& box : s.windowBoxes)
        actions.windowBoxAnswers.push_back(box.buttons.back() == "No" ? IDNO : IDCANCEL);
    if (s.checkStatus && !s.status.empty())
        actions.finishedLine = s.status.back();
    // The first status line of every copy under Wine (FORMAT.md), as [Strings] may replace it.
    std::string override17 = StringsValue(s.logText, "17");
    if (!override17.empty())
        actions.ordinaryRightsLine = override17;
    UserSession session = RunAsUser(installation, actions);

    SetEnvironmentVariableA("TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
    SetEnvironmentVariableA("TEMP", savedTemp.empty() ? nullptr : savedTemp.c_str());
    for (HANDLE file : held)
        CloseHandle(file);
    // Probes the program did not wait for finish their work.
    DWORD waited = 0;
    while (!processes::ProcessesNamed("probe.exe").empty() && waited < 15000) {
        Sleep(100);
        waited += 100;
    }
    int probesLeft = processes::KillAllNamed("probe.exe");
    if (probesLeft)
        seen.problems.push_back(std::to_string(probesLeft) + " probe programs still ran after 15 s and were ended");
    if (!SetPrefixVersion(""))
        seen.problems.push_back("could not restore the Windows version Wine reports");

    seen.firstStarted = session.firstStarted;
    seen.firstEnded = session.firstEnded;
    seen.firstExitCode = long(session.firstExitCode);
    seen.relaunched = session.secondFound;
    seen.relaunchArgument = processes::ArgumentsOf(session.secondCommandLine);
    seen.boxShown = session.messageBox.shown;
    seen.boxCaption = session.messageBox.caption;
    seen.boxText = session.messageBox.text;
    seen.boxButtons = ButtonNames(session.messageBox.buttons);
    for (const MessageBoxSeen& box : session.windowBoxes)
        seen.windowBoxes.push_back({box.caption, box.text, ButtonNames(box.buttons)});
    seen.windowShown = session.progressShown;
    seen.windowCaption = session.progressCaption;
    seen.closeText = session.closeButtonText;
    seen.status = session.statusLines;
    seen.statusSelection = session.statusSelection;
    seen.windowClosed = session.progressClosed;
    seen.secondEnded = session.secondEnded;
    seen.secondExitCode = long(session.secondExitCode);
    if (session.progressShown && !session.progressFinished)
        seen.problems.push_back("the progress window did not answer within 20 s");
    if (session.straysKilled)
        seen.problems.push_back(std::to_string(session.straysKilled) + " processes of " + programName +
                                " still ran at the end and were ended");
    return seen;
}

std::string ReadText(const std::string& path)
{
    std::string text;
    machine::ReadFile(path, &text);
    return text;
}

std::vector<std::string> ScenarioFiles(const std::string& pathOrFolder)
{
    DWORD attributes = GetFileAttributesA(pathOrFolder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {pathOrFolder};
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((pathOrFolder + "\\*.txt").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (scenario::IsScenarioFile(found.cFileName))
                files.push_back(pathOrFolder + "\\" + found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(files.begin(), files.end());
    return files;
}

DWORD WINAPI Watchdog(LPVOID)
{
    for (;;) {
        Sleep(1000);
        LONG deadline = g_deadline;
        if (deadline != 0 && LONG(GetTickCount() - DWORD(deadline)) > 0) {
            std::printf("FAIL: the scenario did not finish within %lu s; ending the run\n",
                        static_cast<unsigned long>(SCENARIO_LIMIT_MS / 1000));
            processes::KillAllNamed(g_programName);
            processes::KillAllNamed("probe.exe");
            SetPrefixVersion("");
            RestoreWindowManagement();
            std::fflush(stdout);
            ExitProcess(1);
        }
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: scenarios --program PATH --probe PATH [--platform nt|win98] SCENARIO.txt|FOLDER...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::string program, probe, platform;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--program" && i + 1 < argc)
            program = machine::FromUnixPath(argv[++i]);
        else if (argument == "--probe" && i + 1 < argc)
            probe = machine::FromUnixPath(argv[++i]);
        else if (argument == "--platform" && i + 1 < argc)
            platform = argv[++i];
        else if (!argument.empty() && argument[0] == '-')
            return Usage();
        else
            inputs.push_back(machine::FromUnixPath(argument));
    }
    if (program.empty() || probe.empty() || inputs.empty())
        return Usage();
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    UseUnmanagedWindows();

    int passed = 0;
    std::vector<std::string> failed;
    for (const std::string& input : inputs) {
        for (const std::string& file : ScenarioFiles(input)) {
            std::string name = scenario::NameOfFile(file);
            Scenario s;
            std::string error;
            if (!scenario::Parse(ReadText(file), name,
                                 scenario::PlaceholdersFor(name, machine::WindowsFolder(), machine::TempFolder()),
                                 scenario::Runner::Wine, &s, &error)) {
                std::printf("FAIL %s: %s\n", name.c_str(), error.c_str());
                failed.push_back(name);
                continue;
            }
            bool win98 = s.family == scenario::Family::Win98;
            if (!platform.empty() && platform != (win98 ? "win98" : "nt"))
                continue;
            std::printf("== %s (%s): %s\n", name.c_str(), win98 ? "win98" : "nt",
                        scenario::ForDisplay(s.description).c_str());
            g_deadline = LONG(GetTickCount() + SCENARIO_LIMIT_MS);
            DWORD start = GetTickCount();
            WineMachine machine(program, probe);
            scenario::Observed seen;
            scenario::LayOut(s, machine, &seen.problems);
            scenario::Snapshot before = scenario::TakeSnapshot(machine);
            if (seen.problems.empty()) {
                seen = Run(s);
            }
            std::vector<std::string> differences = scenario::Compare(s, seen, before, machine);
            g_deadline = 0;
            double seconds = (GetTickCount() - start) / 1000.0;
            if (differences.empty()) {
                std::printf("PASS %s (%.1f s)\n", name.c_str(), seconds);
                ++passed;
            } else {
                std::printf("FAIL %s (%.1f s)\n", name.c_str(), seconds);
                for (const std::string& difference : differences)
                    std::printf("  - %s\n", scenario::ForDisplay(difference).c_str());
                failed.push_back(name);
            }
        }
    }
    RestoreWindowManagement();
    std::printf("%d passed, %d failed", passed, int(failed.size()));
    for (size_t i = 0; i < failed.size(); ++i)
        std::printf("%s%s", i ? ", " : ": ", failed[i].c_str());
    std::printf("\n");
    return failed.empty() && passed > 0 ? 0 : 1;
}
