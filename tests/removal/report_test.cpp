// The report (/LOG=) says what became of each listed item, and the trial (/N)
// judges every item as the real run would find it and changes nothing.
#include "support/world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

const std::string DIR = INSTALL_DIR;
const std::string REPORT = "C:\\report.txt";
const std::string RUNNING = "C:\\Busy\\running.exe";
const std::string HELD = "C:\\Busy\\held.dat";

// A machine with an item for every outcome.
void InstallEveryOutcome()
{
    InstallApplication(Lines({
        "[Uninstall.RunApp]", "1=C:\\Tools\\cleanup.exe,,,,Cleaning up", "2=C:\\Tools\\gone.exe",
        "[CopyFiles]", DIR + "\\app.exe=1", DIR + "\\missing.txt=1", DIR + "\\readonly.txt=1",
        DIR + "\\Data\\data.txt=1", RUNNING, HELD,
        "[AddIni]", "win.ini,Acme,Path=x", "win.ini,Acme,Gone=x",
        "[AddReg]", "HKCU\\Software\\Acme\\Path=x", "HKCU\\Software\\Acme\\Gone=x",
        "[CreateKeys]", "HKCU\\Software\\Acme", "HKCU\\Software\\Acme\\Tool", "HKCU\\Software\\Solo",
        "HKCU\\Software\\Solo\\Child",
        "[CreateDirs]", DIR, DIR + "\\Data", DIR + "\\User"}));
    SimWriteFile("C:\\Tools\\cleanup.exe", "MZ");
    SimWriteFile(DIR + "\\app.exe", "MZ");
    SimWriteFile(DIR + "\\readonly.txt", "r", FILE_ATTRIBUTE_READONLY);
    SimWriteFile(DIR + "\\Data\\data.txt", "d");
    SimWriteFile(DIR + "\\User\\mine.txt", "the user's");
    SimWriteFile(RUNNING, "MZ");
    SimWriteFile(HELD, "h");
    SimWriteFile("C:\\Windows\\win.ini", "[Acme]\r\nPath=x\r\n");
    SimSetRegistryString(HKEY_CURRENT_USER, "Software\\Acme", "Path", "x");
    SimCreateRegistryKey(HKEY_CURRENT_USER, "Software\\Acme\\Tool");
    SimCreateRegistryKey(HKEY_CURRENT_USER, "Software\\Acme\\User");
    SimCreateRegistryKey(HKEY_CURRENT_USER, "Software\\Solo\\Child");
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    std::string commandLine = RUNNING;
    CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SimHoldFileOpen(HELD, FILE_SHARE_READ);
}

// The lines of the report that begin with one of these words.
std::vector<std::string> ReportLines(const std::string& words)
{
    std::istringstream text(SimReadFile(REPORT));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        EXPECT_EQ('\r', line.empty() ? 0 : line.back()) << "CRLF ends every line";
        line.pop_back();
        if (words.find(" " + line.substr(0, line.find('\t')) + " ") != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

const std::string ITEM_WORDS = " removed renamed scheduled ran missing not-removed kept not-started "
                               "would-removed would-renamed would-ran would-missing would-not-removed would-kept "
                               "would-not-started ";

struct ItemRow {
    const char* section;
    std::string item;
    std::string real;   // outcome and detail
    std::string trial;  // the same without "would-"
};

TEST(Report, EveryItemHasALineOfItsOutcomeInTheOrderHandled)
{
    const std::string denied = "error 5: Access is denied. ";
    const std::string notFound = "error 2: The system cannot find the file specified. ";
    const ItemRow rows[] = {
        {"Uninstall.RunApp", "C:\\Tools\\cleanup.exe", "ran\texit code 0", "ran\t"},
        {"Uninstall.RunApp", "C:\\Tools\\gone.exe", "not-started\t" + notFound, "not-started\t" + notFound},
        {"CopyFiles", DIR + "\\app.exe", "removed\t", "removed\t"},
        {"CopyFiles", DIR + "\\missing.txt", "missing\t", "missing\t"},
        {"CopyFiles", DIR + "\\readonly.txt", "not-removed\t" + denied, "not-removed\t" + denied},
        {"CopyFiles", DIR + "\\Data\\data.txt", "removed\t", "removed\t"},
        // In use: reported once it is known what becomes of it.
        {"CopyFiles", RUNNING, "renamed\tC:\\Busy\\~vorsil1.tmp", "renamed\t"},
        {"CopyFiles", HELD, "scheduled\t", "renamed\t"},
        // The profile functions cannot tell a missing entry from one they removed.
        {"AddIni", "win.ini,Acme,Path", "removed\t", "removed\t"},
        {"AddIni", "win.ini,Acme,Gone", "removed\t", "missing\t"},
        {"AddReg", "HKCU\\Software\\Acme\\Path", "removed\t", "removed\t"},
        {"AddReg", "HKCU\\Software\\Acme\\Gone", "missing\t", "missing\t"},
        // From the last line to the first: a child before its parent.
        {"CreateKeys", "HKCU\\Software\\Solo\\Child", "removed\t", "removed\t"},
        {"CreateKeys", "HKCU\\Software\\Solo", "removed\t", "removed\t"},
        {"CreateKeys", "HKCU\\Software\\Acme\\Tool", "removed\t", "removed\t"},
        {"CreateKeys", "HKCU\\Software\\Acme", "kept\t", "kept\t"},
        {"CreateDirs", DIR + "\\User", "kept\t", "kept\t"},
        {"CreateDirs", DIR + "\\Data", "removed\t", "removed\t"},
        {"CreateDirs", DIR, "kept\t", "kept\t"},
    };
    for (bool trial : {false, true}) {
        InstallEveryOutcome();
        int exitCode = trial ? RunInstalledProgram("/N /s /log=" + REPORT)
                             : RunTempCopy("/LOG=\"" + REPORT + "\" /S " + LOG_PATH);
        EXPECT_EQ(1603, exitCode) << "a trial ends as the real run would, trial: " << trial;
        std::vector<std::string> lines = ReportLines(ITEM_WORDS);
        ASSERT_EQ(std::size(rows), lines.size()) << "trial: " << trial;
        for (size_t i = 0; i < lines.size(); ++i) {
            const ItemRow& row = rows[i];
            std::string outcome = trial ? "would-" + row.trial : row.real;
            std::string expected = outcome.substr(0, outcome.find('\t')) + "\t[" + row.section + "]\t" + row.item +
                                   outcome.substr(outcome.find('\t'));
            EXPECT_EQ(expected, lines[i]) << row.item << ", trial: " << trial;
        }
        std::vector<std::string> header = ReportLines(" log run rights exit code ");
        const char* run = trial ? "run\tsilent trial" : "run\tsilent";
        EXPECT_EQ((std::vector<std::string>{"log\t" + std::string(LOG_PATH), run, "rights\tordinary",
                                            "exit code\t1603"}),
                  header) << "trial: " << trial;
    }
}

// The window's last lines and the report's status lines of an interactive trial.
TEST(Trial, ChangesNothingAndCountsWhatWouldGoAndStay)
{
    InstallEveryOutcome();
    SimWriteFile("C:\\Windows\\System32\\rstrtmgr.dll", "MZ restart manager");
    SimSetRestartManagerNames({"Busy Program", "Other Program"});
    std::vector<std::string> tree = SimListTree();
    std::vector<std::string> contents;
    for (const std::string& path : tree)
        contents.push_back(SimReadFile(path));
    std::vector<std::string> registry = SimDumpRegistry();

    EXPECT_EQ(0, RunInstalledProgram("/N /LOG=" + REPORT));

    EXPECT_TRUE(SimMessageBoxes().empty()) << "a trial asks nothing";
    EXPECT_TRUE(SimShellExecutes().empty()) << "a trial makes no copy";
    EXPECT_EQ(1u, SimCreatedProcesses().size()) << "a trial starts no program of the log";
    SimRemove(REPORT);
    EXPECT_EQ(tree, SimListTree());
    for (size_t i = 0; i < tree.size(); ++i)
        EXPECT_EQ(contents[i], SimReadFile(tree[i])) << tree[i];
    EXPECT_EQ(registry, SimDumpRegistry());
    std::vector<std::string> lines = StatusLines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "In use:\tBusy Program\tOther Program"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("Listed items that would be removed, and that would stay: 11, 5", lines[lines.size() - 2]);
    EXPECT_EQ("Nothing was changed.", lines.back());
}

TEST(Trial, SilentWithoutAReportDoesNothingAndEndsWithInvalidParameter)
{
    InstallApplication(Lines({"[CopyFiles]", DIR + "\\app.exe"}));
    SimWriteFile(DIR + "\\app.exe", "MZ");
    EXPECT_EQ(87, RunInstalledProgram("/S /N"));
    EXPECT_TRUE(SimFileExists(DIR + "\\app.exe"));
    EXPECT_EQ(-1, SimFindCall("GetPrivateProfileSectionA"));
}

// A report that cannot be written stops nothing. An administrator's copy
// writes only where an ordinary user could; SYSTEM's with its own rights.
TEST(Report, OnlyWhereTheCopysUserMayWriteAndTheUninstallGoesOnWithout)
{
    const std::string SYSTEM_FOLDER = "C:\\Windows\\System32\\report.txt";
    const struct {
        const char* name;
        SimAccount caller;
        std::string path;
        bool written;
    } cases[] = {
        {"a folder that does not exist", SIM_STANDARD_USER, "C:\\No Such Folder\\report.txt", false},
        {"an administrator, a folder users may write", SIM_ADMINISTRATOR, REPORT, true},
        {"an administrator, a protected folder", SIM_ADMINISTRATOR, SYSTEM_FOLDER, false},
        {"SYSTEM, a protected folder", SIM_LOCAL_SYSTEM, SYSTEM_FOLDER, true},
    };
    for (const auto& row : cases) {
        InstallApplication(Lines({"[CopyFiles]", DIR + "\\app.exe"}));
        SimWriteFile(DIR + "\\app.exe", "MZ");
        SimProtect("C:\\Windows\\System32", FILE_ADD_FILE);
        SimRunAs(row.caller);
        EXPECT_EQ(0, RunTempCopy("/LOG=\"" + row.path + "\" " + LOG_PATH)) << row.name;
        EXPECT_FALSE(SimFileExists(DIR + "\\app.exe")) << row.name;
        EXPECT_EQ(row.written, SimFileExists(row.path)) << row.name;
        std::vector<std::string> lines = StatusLines();
        ASSERT_FALSE(lines.empty()) << row.name;
        EXPECT_EQ(!row.written, lines[0] == "Report not written: " + row.path) << row.name;
    }
}

} // namespace
