// The native scenario runner: one GoogleTest test per tests/scenarios/*.txt.
// Each builds the scenario's world in the simulated platform, runs the
// program's WinMain as the platform would start it (the installed program
// first, then the temporary copy it starts), answers the windows, and judges
// the outcome with the code the Wine runner uses too.
#include <windows.h>
#include <winsim.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "launcher.h"
#include "messages.h"
#include "outcome.h"
#include "root_keys.h"
#include "scenario.h"

namespace {

using scenario::Scenario;

// Where the simulated machine keeps what Wine keeps there.
const char WINDOWS_FOLDER[] = "C:\\windows";
const char TEMP_FOLDER[] = "C:\\users\\user\\Temp";
const char SESSION_MANAGER[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char PENDING_RENAMES[] = "PendingFileRenameOperations";

bool SamePath(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

// The scenario's machine in the simulation. The simulation starts empty for
// every scenario, so there is nothing of an earlier run to clear.
class SimulatedMachine : public scenario::Machine {
public:
    bool MakeDirectory(const std::string& path) override
    {
        SimMakeDirectory(path);
        return SimDirectoryExists(path);
    }
    bool WriteFile(const std::string& path, const std::string& bytes, bool readOnly, bool hidden) override
    {
        SimWriteFile(path, bytes,
                     FILE_ATTRIBUTE_ARCHIVE | (readOnly ? FILE_ATTRIBUTE_READONLY : 0) |
                         (hidden ? FILE_ATTRIBUTE_HIDDEN : 0));
        return SimFileExists(path);
    }
    bool PlaceProgram(const std::string& path) override { return WriteFile(path, "MZ vorsil", false, false); }
    bool PlaceProbe(const std::string& path) override { return WriteFile(path, "MZ probe", false, false); }
    bool CreateKey(const std::string& root, const std::string& subkey) override
    {
        SimCreateRegistryKey(RootOf(root), subkey);
        return SimRegistryKeyExists(RootOf(root), subkey);
    }
    bool SetValue(const std::string& root, const std::string& subkey, const std::string& name, uint32_t type,
                  const std::string& bytes) override
    {
        SimSetRegistryValue(RootOf(root), subkey, name, type, bytes);
        return SimRegistryValueExists(RootOf(root), subkey, name);
    }
    bool WriteIniEntry(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& value) override
    {
        return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != FALSE;
    }
    bool SetPendingRenames(const std::vector<std::pair<std::string, std::string>>& renames) override
    {
        if (renames.empty())
            return true;
        std::string bytes;
        for (const auto& rename : renames)
            bytes += rename.first + std::string(1, '\0') + rename.second + std::string(1, '\0');
        SimSetRegistryValue(HKEY_LOCAL_MACHINE, SESSION_MANAGER, PENDING_RENAMES, REG_MULTI_SZ,
                            bytes + std::string(1, '\0'));
        return true;
    }
    bool Remove(const std::string& path) override
    {
        SimRemove(path);
        return !SimFileExists(path) && !SimDirectoryExists(path);
    }
    bool DeleteKeyTree(const std::string&, const std::string&) override { return true; }
    bool DeleteValue(const std::string&, const std::string&, const std::string&) override { return true; }
    bool DeleteIniEntry(const std::string&, const std::string&, const std::string&) override { return true; }

    bool ReadFile(const std::string& path, std::string* bytes) override
    {
        if (!SimFileExists(path))
            return false;
        *bytes = SimReadFile(path);
        return true;
    }
    bool FileExists(const std::string& path) override { return SimFileExists(path); }
    bool DirectoryExists(const std::string& path) override { return SimDirectoryExists(path); }
    bool KeyExists(const std::string& root, const std::string& subkey) override
    {
        return SimRegistryKeyExists(RootOf(root), subkey);
    }
    bool GetValue(const std::string& root, const std::string& subkey, const std::string& name, uint32_t* type,
                  std::string* bytes) override
    {
        if (!SimRegistryValueExists(RootOf(root), subkey, name))
            return false;
        *type = SimRegistryValueType(RootOf(root), subkey, name);
        *bytes = SimRegistryValue(RootOf(root), subkey, name);
        return true;
    }
    std::vector<std::pair<std::string, std::string>> PendingRenames() override
    {
        // "source\0target\0" pairs, ended by an empty source.
        std::string bytes = SimRegistryValue(HKEY_LOCAL_MACHINE, SESSION_MANAGER, PENDING_RENAMES);
        std::vector<std::pair<std::string, std::string>> renames;
        size_t i = 0;
        while (i < bytes.size() && bytes[i] != '\0') {
            size_t sourceEnd = bytes.find('\0', i);
            if (sourceEnd == std::string::npos)
                sourceEnd = bytes.size();
            size_t targetEnd = sourceEnd + 1 < bytes.size() ? bytes.find('\0', sourceEnd + 1) : bytes.size();
            if (targetEnd == std::string::npos)
                targetEnd = bytes.size();
            std::string target = sourceEnd + 1 < bytes.size() ? bytes.substr(sourceEnd + 1, targetEnd - sourceEnd - 1)
                                                                : std::string();
            renames.push_back({bytes.substr(i, sourceEnd - i), target});
            i = targetEnd + 1;
        }
        return renames;
    }
    std::string ShortPath(const std::string& path) override { return SimShortPath(path); }
    std::string WindowsFolder() override { return WINDOWS_FOLDER; }
};

// What the probe program does (see helpers/probe.cpp), done for it when the
// program under test starts it: one line in probe.txt beside it; with "/late"
// the line is written when the probe ends, which is at once for a probe the
// program waits for, and after the program's run for one it does not wait for.
class Probes {
public:
    explicit Probes(const Scenario& scenario)
    {
        for (const scenario::Item* item : scenario.ItemsOf(scenario::Kind::Probe))
            paths_.push_back(item->path);
    }

    void Started(const SimProcess& process)
    {
        WriteEndedLateLines();
        if (process.viaShellExecute)
            return;
        auto probe = std::find_if(paths_.begin(), paths_.end(),
                                  [&](const std::string& path) { return SamePath(path, process.program); });
        if (probe == paths_.end())
            return;
        std::string directory = process.currentDirectory.empty() ? SimCurrentDirectory() : process.currentDirectory;
        int show = (process.startupFlags & STARTF_USESHOWWINDOW) ? process.showWindow : -1;
        std::string arguments = scenario::ArgumentsOf(process.commandLine);
        Line line = {process.process, FolderOf(*probe) + "\\probe.txt",
                     scenario::ProbeLine(directory, show, arguments)};
        std::istringstream words(arguments);
        std::string word;
        bool late = false;
        while (words >> word)
            late = late || word == "/late";
        if (late)
            late_.push_back(line);
        else
            Append(line);
    }

    // After the program's run: the late probes end now.
    void Finish()
    {
        WriteEndedLateLines();
        for (const Line& line : late_)
            Append(line);
        late_.clear();
    }

private:
    struct Line {
        HANDLE process;
        std::string file;
        std::string text;
    };

    static void Append(const Line& line) { SimWriteFile(line.file, SimReadFile(line.file) + line.text); }

    // Probes a wait has seen end wrote their line before anything after it.
    void WriteEndedLateLines()
    {
        std::vector<SimProcess> processes = SimProcesses();
        for (auto it = late_.begin(); it != late_.end();) {
            bool ended = std::any_of(processes.begin(), processes.end(), [&](const SimProcess& process) {
                return process.process == it->process && process.waited;
            });
            if (ended) {
                Append(*it);
                it = late_.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::vector<std::string> paths_;
    std::vector<Line> late_;
};

std::vector<std::string> ButtonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {"OK", "Cancel"};
    case MB_RETRYCANCEL: return {"Retry", "Cancel"};
    case MB_YESNO: return {"Yes", "No"};
    }
    return {"OK"};
}

int StartProgram(const std::string& modulePath, const std::string& commandLine)
{
    SimSetModulePath(modulePath);
    // The program's own entry finds its argument text in the command line.
    std::vector<char> text(commandLine.begin(), commandLine.end());
    text.push_back('\0');
    return WinMain(SimInstance(), nullptr, FindArgumentText(text.data()), SW_SHOWDEFAULT);
}

scenario::Observed RunProgram(const Scenario& s, Probes& probes)
{
    scenario::Observed seen;
    for (const scenario::Item* item : s.HeldFiles()) {
        if (SimHoldFileOpen(item->path, FILE_SHARE_READ, GENERIC_READ) == nullptr)
            seen.problems.push_back("could not hold " + item->path + " open");
    }
    SimQueueMessageBoxAnswer(s.answer == scenario::Answer::Ok ? IDOK : IDCANCEL);
    for (const scenario::Box& box : s.windowBoxes)
        SimQueueMessageBoxAnswer(box.buttons.back() == "No" ? IDNO : IDCANCEL);
    SimDialogScript({s.closeBy == scenario::CloseBy::CloseBox ? SimCloseBox() : SimButtonClick(IDCANCEL)});
    SimOnProcessStart([&probes](const SimProcess& process) { probes.Started(process); });

    // The first run, started as Explorer or a shortcut starts a program.
    SimSetCurrentDirectory(s.from);
    if (!SimFileExists(s.program) || !SimDirectoryExists(s.from)) {
        seen.problems.push_back("cannot start " + s.program + " in " + s.from);
        return seen;
    }
    seen.firstStarted = true;
    seen.firstExitCode = StartProgram(s.program, "\"" + s.program + "\"" + (s.arguments.empty() ? "" : " " + s.arguments));
    seen.firstEnded = true;

    // The second run: the temporary copy, as ShellExecuteA started it (the
    // current directory inherited).
    std::vector<SimProcess> started = SimShellExecutes();
    if (started.size() > 1)
        seen.problems.push_back("the first run started " + std::to_string(started.size()) + " programs");
    if (!started.empty()) {
        const SimProcess& copy = started.front();
        std::string commandLine = "\"" + copy.file + "\"" + (copy.parameters.empty() ? "" : " " + copy.parameters);
        seen.relaunched = true;
        seen.relaunchArgument = scenario::ArgumentsOf(commandLine);
        seen.secondExitCode = StartProgram(copy.file, commandLine);
        seen.secondEnded = true;
    }
    probes.Finish();
    SimOnProcessStart(nullptr);

    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    for (const SimMessageBox& box : boxes) {
        if (box.owner != nullptr) {
            seen.windowBoxes.push_back({box.caption, box.text, ButtonsOf(box.type)});
        } else if (seen.boxShown) {
            seen.problems.push_back("a second message box without owner: " + box.text);
        } else {
            seen.boxShown = true;
            seen.boxCaption = box.caption;
            seen.boxText = box.text;
            seen.boxButtons = ButtonsOf(box.type);
        }
    }
    SimDialog dialog = SimLastDialog();
    if (dialog.exists) {
        seen.windowShown = true;
        seen.windowCaption = dialog.caption;
        if (const SimControl* button = dialog.Control(IDCANCEL))
            seen.closeText = button->text;
        seen.status = dialog.listLines;
        seen.statusSelection = dialog.listSelection;
        seen.windowHasIcon = dialog.bigIcon != nullptr && dialog.bigIcon == SimProgramIcon() ? 1 : 0;
        seen.windowClosed = dialog.ended && !dialog.scriptRanOut;
    }
    return seen;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class ScenarioTest : public testing::Test {
public:
    explicit ScenarioTest(std::string file) : file_(std::move(file)) {}

    void TestBody() override
    {
        std::string name = scenario::NameOfFile(file_);
        Scenario s;
        std::string error;
        ASSERT_TRUE(scenario::Parse(ReadWhole(file_), name, scenario::PlaceholdersFor(name, WINDOWS_FOLDER, TEMP_FOLDER),
                                    scenario::Runner::Simulation, &s, &error))
            << file_ << ": " << error;

        // A fresh machine and, as for a new process, the built-in texts.
        SimReset();
        LoadMessageOverrides("C:\\no such folder\\install.log");
        SimSetWindowsDirectory(WINDOWS_FOLDER);
        SimMakeDirectory(std::string(WINDOWS_FOLDER) + "\\system32");
        SimSetTempPath(std::string(TEMP_FOLDER) + "\\");
        SimMakeDirectory(TEMP_FOLDER);
        SimSetNtPlatform(s.family == scenario::Family::Nt);

        if (!s.tempFolder.empty())
            SimSetTempPath(s.tempFolder + "\\");
        SimulatedMachine machine;
        std::vector<std::string> problems;
        scenario::LayOut(s, machine, &problems);
        ASSERT_TRUE(problems.empty()) << file_ << ": " << problems.front();
        scenario::Snapshot before = scenario::TakeSnapshot(machine);
        Probes probes(s);
        scenario::Observed seen = RunProgram(s, probes);
        std::vector<std::string> differences = scenario::Compare(s, seen, before, machine);
        std::string report;
        for (const std::string& difference : differences)
            report += "  - " + difference + "\n";
        EXPECT_TRUE(differences.empty()) << "scenario " << name << " (" << s.description << ")\n"
                                         << scenario::ForDisplay(report);
    }

private:
    std::string file_;
};

std::vector<std::string> ScenarioFiles()
{
    std::vector<std::string> files;
    if (DIR* folder = opendir(SCENARIO_DIR)) {
        while (dirent* entry = readdir(folder)) {
            std::string name = entry->d_name;
            if (scenario::IsScenarioFile(name))
                files.push_back(std::string(SCENARIO_DIR) + "/" + name);
        }
        closedir(folder);
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (const std::string& file : ScenarioFiles()) {
        std::string name = scenario::NameOfFile(file);
        std::replace(name.begin(), name.end(), '-', '_');
        testing::RegisterTest("Scenario", name.c_str(), nullptr, nullptr, file.c_str(), 1,
                              [file]() -> testing::Test* { return new ScenarioTest(file); });
    }
    return RUN_ALL_TESTS();
}
