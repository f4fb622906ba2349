// "/S": a silent uninstall that callers can wait for. No question, no window,
// no box; the first run ends when everything the log lists is gone.
#include "launcher.h"
#include "support/world.h"
#include "text.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string DEFAULT_LOG = LOG_PATH;

struct SwitchCase {
    const char* arguments;
    std::string passedOn;
};

TEST(SilentSwitch, OnlySlashSAloneOrBeforeALogArgumentIsTheSwitch)
{
    const SwitchCase cases[] = {
        {"/S", "/S " + DEFAULT_LOG},
        {"/s", "/S " + DEFAULT_LOG},
        {"/S C:\\x\\install.log", "/S C:\\x\\install.log"},
        {"/S \"C:\\with blanks\\install.log\"", "/S \"C:\\with blanks\\install.log\""},
        {"/S \t ab", "/S " + DEFAULT_LOG},
        {"/Sx", DEFAULT_LOG},
        {"-S", DEFAULT_LOG},
        {"/Silent", "/Silent"},
        // The report's path, made absolute for the copy, which runs in another folder.
        {"/LOG=r.txt /S", "/S /LOG=\"C:\\r.txt\" " + DEFAULT_LOG},
        {"/s /log=\"C:\\with blanks\\r.txt\" C:\\x\\install.log", "/S /LOG=\"C:\\with blanks\\r.txt\" C:\\x\\install.log"},
        {"/LOG=C:\\r.txt", "/LOG=\"C:\\r.txt\" " + DEFAULT_LOG},
    };
    for (const SwitchCase& row : cases) {
        InstallApplication("");
        SimSetExitCodeOfStartedPrograms(7);
        bool silent = row.passedOn.compare(0, 3, "/S ") == 0;
        EXPECT_EQ(silent ? 7 : 0, RunInstalledProgram(row.arguments)) << row.arguments;
        std::vector<SimProcess> started = SimShellExecutes();
        ASSERT_EQ(1u, started.size()) << row.arguments;
        EXPECT_EQ(row.passedOn, started[0].parameters) << row.arguments;
        EXPECT_EQ(silent, started[0].ended) << row.arguments << ": only a silent first run waits for its copy";
        EXPECT_TRUE(SimMessageBoxes().empty()) << row.arguments;
    }
}

TEST(SilentFirstRun, EndsWithTheCopysExitCodeWhenTheCopyEndsWithoutSignalling)
{
    // A copy ended from outside has exit code 0 under Wine: it did not finish.
    const DWORD cases[][2] = {{0, 1603}, {1, 1}, {2, 2}, {5, 5}};
    for (const auto& row : cases) {
        InstallApplication("");
        SimSetExitCodeOfStartedPrograms(row[0]);
        EXPECT_EQ(int(row[1]), RunInstalledProgram("/S")) << "the copy's exit code " << row[0];
        EXPECT_TRUE(SimDeadlocks().empty()) << row[0];
    }
}

TEST(SilentFirstRun, EndsOnceTheCopyHasDealtWithWhatTheLogLists)
{
    // Files left for the restart: done, restart pending; anything not removed: failed.
    const std::pair<ListedItemsOutcome, int> cases[] = {
        {ALL_ITEMS_GONE, 0}, {ITEMS_AT_RESTART, 3010}, {ITEMS_NOT_REMOVED, 1603}};
    for (const auto& row : cases) {
        InstallApplication("");
        // The copy, as it gets there: its program file and folders still to go.
        ListedItemsOutcome outcome = row.first;
        SimOnProcessStart([outcome](const SimProcess&) {
            g_silent = true;
            CopyText(g_logPath, MAX_PATH, LOG_PATH);
            TellCallerListedItemsDealtWith(outcome);
        });
        SimSetExitCodeOfStartedPrograms(7);
        EXPECT_EQ(row.second, RunInstalledProgram("/S")) << row.second;
        SimOnProcessStart(nullptr);
        ASSERT_EQ(1u, SimShellExecutes().size());
        EXPECT_FALSE(SimShellExecutes()[0].ended) << "the copy goes on after the first run";
        EXPECT_TRUE(SimDeadlocks().empty());
    }
}

TEST(SilentFirstRun, HandsACopyWithAnOrdinaryUsersRightsTheEventsAsItsStandardHandles)
{
    // Such a copy may open no object of an administrator's first run by name.
    const std::pair<ListedItemsOutcome, int> cases[] = {
        {ALL_ITEMS_GONE, 0}, {ITEMS_AT_RESTART, 3010}, {ITEMS_NOT_REMOVED, 1603}};
    for (const auto& row : cases) {
        InstallApplication("");
        SimRunAs(SIM_ADMINISTRATOR);
        ListedItemsOutcome outcome = row.first;
        SimOnProcessStart([outcome](const SimProcess& copy) {
            SimBecome(copy);
            g_silent = true;
            CopyText(g_logPath, MAX_PATH, "another log's events are not the ones");
            TellCallerListedItemsDealtWith(outcome);
        });
        SimSetExitCodeOfStartedPrograms(7);
        EXPECT_EQ(row.second, RunInstalledProgram("/S")) << row.second;
        SimOnProcessStart(nullptr);
        std::vector<SimProcess> started = SimProcesses();
        ASSERT_EQ(1u, started.size());
        EXPECT_TRUE(started[0].asUser);
        EXPECT_EQ(DWORD(STARTF_USESTDHANDLES), started[0].startupFlags);
        EXPECT_TRUE(started[0].inheritHandles);
        EXPECT_EQ("\"" + std::string(TEMP_COPY) + "\" /S " + LOG_PATH, started[0].commandLine);
        EXPECT_FALSE(started[0].ended) << "the copy goes on after the first run";
    }
}

TEST(SilentCopy, ThatLeftAListedItemEndsWith1603AndSaysSo)
{
    InstallApplication(Lines({"[AddReg]", "HKLM\\Software\\Acme\\Tool\\InstallDir=C:\\Tool"}));
    SimSetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "InstallDir", "C:\\Tool");
    SimProtectRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Acme");
    SimRunAs(SIM_ADMINISTRATOR);
    RunInstalledProgram("/S");
    SimProcess copy = SimProcesses().at(0);
    SimBecome(copy);

    EXPECT_EQ(1603, RunTempCopy("/S " + std::string(LOG_PATH)));
    // Its standard handles: all gone, restart needed, not removed.
    for (int outcome = 0; outcome < 3; ++outcome)
        EXPECT_EQ(outcome == 2, WaitForMultipleObjects(1, &copy.stdHandles[outcome], FALSE, 0) == WAIT_OBJECT_0)
            << outcome;
    EXPECT_TRUE(SimRegistryValueExists(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "InstallDir"));
}

TEST(SilentFirstRun, WithoutASafeCopyEndsWithTwoAndNoBox)
{
    InstallApplication("");
    SimWriteFile(TEMP_COPY, "MZ somebody else's program");
    SimHoldFileOpen(TEMP_COPY, FILE_SHARE_READ);
    EXPECT_EQ(2, RunInstalledProgram("/S"));
    EXPECT_TRUE(SimMessageBoxes().empty());
    EXPECT_TRUE(SimShellExecutes().empty());
}

struct SilentCopyCase {
    const char* name;
    std::string log;
    const char* arguments;
    int exitCode;
    bool logRemains;
};

TEST(SilentCopy, RemovesWithoutAWordAndWithoutPauses)
{
    const char APP[] = "C:\\Program Files\\Acme Tool\\app.exe";
    const SilentCopyCase cases[] = {
        {"a log listing a file", Lines({"[CopyFiles]", std::string(APP) + "=1"}), "/S C:\\Program Files\\Acme Tool\\install.log", 0, false},
        {"a log listing nothing", "", "/S \"C:\\Program Files\\Acme Tool\\install.log\"", 0, false},
        {"a missing log", "", "/S C:\\Program Files\\Acme Tool\\missing.log", 1, true},
        {"no log argument", "", "/S", 1, true},
    };
    for (const SilentCopyCase& row : cases) {
        InstallApplication(row.log);
        SimWriteFile(APP, "MZ app");
        int exitCode = RunTempCopy(row.arguments, IDCANCEL);

        EXPECT_EQ(row.exitCode, exitCode) << row.name;
        EXPECT_TRUE(SimMessageBoxes().empty()) << row.name;
        EXPECT_FALSE(SimLastDialog().exists) << row.name;
        EXPECT_EQ(0u, SimSleptMilliseconds()) << row.name << ": the pauses are for a user watching";
        EXPECT_EQ(row.logRemains, SimFileExists(LOG_PATH)) << row.name;
        EXPECT_EQ(row.logRemains, SimFileExists(PROGRAM_PATH)) << row.name;
        if (row.exitCode == 0) {
            EXPECT_EQ(row.log.empty(), SimFileExists(APP)) << row.name;
            // The waiting first run is told before the program file, which it holds.
            int told = SimFindCall("SetEvent(");
            ASSERT_NE(-1, told) << row.name;
            EXPECT_LT(told, SimFindCall("DeleteFileA(\"C:\\Program Files\\Acme Tool\\vorsil.exe\")")) << row.name;
            EXPECT_GT(told, SimFindCall("DeleteFileA(\"C:\\Program Files\\Acme Tool\\install.log\")")) << row.name;
            std::vector<std::string> pending = SimRegistryMultiString(
                HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                "PendingFileRenameOperations");
            ASSERT_EQ(2u, pending.size()) << row.name;
            EXPECT_EQ(std::string("\\??\\") + TEMP_COPY, pending[0]) << row.name;
        }
    }
}

TEST(SilentCopy, WaitsForTheFirstRunToLetGoOfTheProgramFile)
{
    InstallApplication("");
    // The first run still holds its file; it ends a little after being told.
    HANDLE held = SimHoldFileOpen(PROGRAM_PATH, FILE_SHARE_READ);
    int deletions = 0;
    std::function<void()> countDeletion = [&] {
        if (++deletions == 3)
            SimReleaseFile(held);
        else
            SimAfterCall("DeleteFileA", countDeletion);
    };
    SimAfterCall("DeleteFileA", countDeletion);
    EXPECT_EQ(0, RunTempCopy("/S " + std::string(LOG_PATH), IDCANCEL));
    EXPECT_FALSE(SimFileExists(PROGRAM_PATH));
    EXPECT_GT(SimSleptMilliseconds(), 0u);
    EXPECT_LE(SimSleptMilliseconds(), 1000u);
}

} // namespace
