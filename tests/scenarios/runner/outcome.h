// Laying out a scenario's world and comparing what happened with what it
// expects, through a small interface to the machine, so that the simulated
// platform and Wine are set up and judged by the same code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "scenario.h"

namespace scenario {

// The machine the program runs on, as the runners see it from outside the
// program. Paths are ANSI; registry roots are "HKCU", "HKLM", "HKCR", "HKU".
class Machine {
public:
    virtual ~Machine() = default;

    // Setting up (parents are created as needed).
    virtual bool MakeDirectory(const std::string& path) = 0;
    virtual bool WriteFile(const std::string& path, const std::string& bytes, bool readOnly, bool hidden) = 0;
    virtual bool PlaceProgram(const std::string& path) = 0;  // a copy of the uninstaller under test
    virtual bool PlaceProbe(const std::string& path) = 0;    // a copy of the probe program
    virtual bool CreateKey(const std::string& root, const std::string& subkey) = 0;
    virtual bool SetValue(const std::string& root, const std::string& subkey, const std::string& name,
                          uint32_t type, const std::string& bytes) = 0;
    virtual bool WriteIniEntry(const std::string& file, const std::string& section, const std::string& key,
                               const std::string& value) = 0;
    // Another program's deletions at restart: (source, target) pairs as stored,
    // "\??\C:\..." and "" for a deletion. An empty list removes the value.
    virtual bool SetPendingRenames(const std::vector<std::pair<std::string, std::string>>& renames) = 0;

    // Clearing what an earlier run left (true when it is gone).
    virtual bool Remove(const std::string& path) = 0;  // a file, or a folder with everything in it
    virtual bool DeleteKeyTree(const std::string& root, const std::string& subkey) = 0;
    virtual bool DeleteValue(const std::string& root, const std::string& subkey, const std::string& name) = 0;
    virtual bool DeleteIniEntry(const std::string& file, const std::string& section, const std::string& key) = 0;

    // Looking.
    virtual bool ReadFile(const std::string& path, std::string* bytes) = 0;  // false when missing or a folder
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual bool KeyExists(const std::string& root, const std::string& subkey) = 0;
    virtual bool GetValue(const std::string& root, const std::string& subkey, const std::string& name,
                          uint32_t* type, std::string* bytes) = 0;
    virtual std::vector<std::pair<std::string, std::string>> PendingRenames() = 0;
    virtual std::string ShortPath(const std::string& path) = 0;  // "" when it cannot be had
    virtual std::string WindowsFolder() = 0;
};

// What the runner saw of the program while it ran.
struct Observed {
    bool firstStarted = false;
    bool firstEnded = false;
    long firstExitCode = -1;
    bool relaunched = false;       // the temporary copy was started
    std::string relaunchArgument;  // its argument text
    bool boxShown = false;
    std::string boxCaption, boxText;
    std::vector<std::string> boxButtons;
    std::vector<Box> windowBoxes;
    bool windowShown = false;
    std::string windowCaption, closeText;
    std::vector<std::string> status;
    int statusSelection = -1;
    // The window's large icon is the program's: 1 yes, 0 no, -1 not known
    // (under Wine another process reads no window's icon: WM_GETICON answers 0).
    int windowHasIcon = -1;
    bool windowClosed = false;
    bool secondEnded = false;
    long secondExitCode = -1;
    std::vector<std::string> problems;  // what the runner itself could not do
};

// What is compared with its state afterwards.
struct Snapshot {
    std::vector<std::pair<std::string, std::string>> pendingRenames;
    bool wininitExisted = false;
    std::string wininitText;
};

// Clears what an earlier run of the same scenario may have left (its folders,
// its keys, every path and entry it names, the temporary copy, wininit.ini
// unless the world holds one), then lays out the world and the log. Every
// step that fails is added to problems.
void LayOut(const Scenario& scenario, Machine& machine, std::vector<std::string>* problems);

// Taken after LayOut, just before the program starts.
Snapshot TakeSnapshot(Machine& machine);

// Every difference between what the scenario expects and what happened, each
// a readable paragraph; empty when the scenario passed.
std::vector<std::string> Compare(const Scenario& scenario, const Observed& observed, const Snapshot& before,
                                 Machine& machine);

// The lines of a probe.txt entry: "current directory|show mode|arguments".
std::string ProbeLine(const std::string& currentDirectory, int showMode, const std::string& arguments);

}  // namespace scenario
