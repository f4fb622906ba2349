// Files the log lists that cannot be deleted now: the user is asked to close
// the programs that use them, what stays in use goes at the next restart
// (renamed first, so that a new version keeps its name), and the status list
// says what remains.
#include "support/world.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string APP = std::string(INSTALL_DIR) + "\\app.exe";
const std::string RENAMED = std::string(INSTALL_DIR) + "\\~vorsil1.tmp";
const std::string RENAMED_2 = std::string(INSTALL_DIR) + "\\~vorsil2.tmp";
const char SESSION_MANAGER[] = "System\\CurrentControlSet\\Control\\Session Manager";
const std::string IN_USE_TEXT = "These programs are using files that must be removed. Close them, then click Retry. "
                                "Click Cancel to leave those files; they are removed when Windows restarts.\n";
const std::string AT_RESTART = "Removed when Windows restarts: ";

// Deletions at restart after the temporary copy's own, "\??\" taken off.
std::vector<std::string> ScheduledAfterTheCopy()
{
    std::vector<std::string> pending =
        SimRegistryMultiString(HKEY_LOCAL_MACHINE, SESSION_MANAGER, "PendingFileRenameOperations");
    std::vector<std::string> paths;
    for (size_t i = 2; i + 1 < pending.size(); i += 2)
        paths.push_back(pending[i].substr(4));
    return paths;
}

void StartRunning(const std::string& program)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::string commandLine = "\"" + program + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
}

std::vector<SimMessageBox> WindowBoxes()
{
    std::vector<SimMessageBox> boxes;
    for (const SimMessageBox& box : SimMessageBoxes())
        if (box.owner != nullptr && box.owner == SimLastDialog().window)
            boxes.push_back(box);
    return boxes;
}

struct FileCase {
    const char* name;
    std::function<void()> prepare;  // app.exe is there, the installation laid out
    bool askedToClose;
    bool staysAtItsPath;
    std::string statusLine;                 // before "Uninstall is finished.", "" for none
    std::vector<std::string> scheduled;     // after the copy: the file, then its folder
};

TEST(FilesInUse, EachFileEndsGoneForTheRestartOrReported)
{
    const FileCase cases[] = {
        {"free", [] {}, false, false, "", {}},
        {"missing", [] { SimRemove(APP); }, false, false, "", {}},
        {"read-only", [] { SimSetFileAttributes(APP, FILE_ATTRIBUTE_READONLY); }, false, true,
         "Not removed: " + APP, {}},
        {"this user may not delete it", [] { SimProtect(APP); SimProtect(INSTALL_DIR, FILE_DELETE_CHILD); }, false,
         true, "Not removed: " + APP, {}},
        {"held open, sharing reading only", [] { SimHoldFileOpen(APP, FILE_SHARE_READ); }, true, true,
         AT_RESTART + APP, {APP, INSTALL_DIR}},
        {"a running program's image", [] { StartRunning(APP); }, true, false, AT_RESTART + APP,
         {RENAMED, INSTALL_DIR}},
        {"running, its first new name taken", [] { StartRunning(APP); SimWriteFile(RENAMED, "someone's"); }, true,
         false, AT_RESTART + APP, {RENAMED_2, INSTALL_DIR}},
        {"running, with scheduling refused", [] { StartRunning(APP); SimRefuseDeletionAtRestart(true); }, true, true,
         "Not removed: " + APP, {}},
    };
    for (const FileCase& row : cases) {
        InstallApplication(Lines({"[CopyFiles]", APP + "=1", "[CreateDirs]", INSTALL_DIR}));
        SimWriteFile(APP, "MZ app");
        row.prepare();

        EXPECT_EQ(0, UninstallAnswering({IDOK, IDCANCEL, IDNO})) << row.name;

        std::vector<std::string> lines = StatusLines();
        std::vector<std::string> expected = {"Uninstall is finished."};
        if (!row.statusLine.empty())
            expected.insert(expected.begin(), row.statusLine);
        ASSERT_GE(lines.size(), expected.size()) << row.name;
        EXPECT_EQ(expected, std::vector<std::string>(lines.end() - long(expected.size()), lines.end())) << row.name;
        EXPECT_EQ(row.staysAtItsPath, SimFileExists(APP)) << row.name;
        if (!row.scheduled.empty())
            EXPECT_TRUE(SimFileExists(row.scheduled[0])) << row.name << ": the file waits under that name";
        EXPECT_EQ(row.scheduled, ScheduledAfterTheCopy()) << row.name;
        std::vector<SimMessageBox> boxes = WindowBoxes();
        size_t expectedBoxes = (row.askedToClose ? 1 : 0) + (row.scheduled.empty() ? 0 : 1);
        ASSERT_EQ(expectedBoxes, boxes.size()) << row.name;
        if (row.askedToClose) {
            EXPECT_EQ(IN_USE_TEXT + "\n" + APP, boxes[0].text) << row.name;
            EXPECT_EQ(UINT(MB_RETRYCANCEL | MB_ICONWARNING), boxes[0].type) << row.name;
            EXPECT_EQ("Uninstall", boxes[0].caption) << row.name;
        }
        EXPECT_EQ(0, SimCountCalls("ExitWindowsEx")) << row.name;
    }
}

TEST(FilesInUse, OnThe95FamilyWininitDeletesTheFileUnderItsNameAndNoFolder)
{
    InstallApplication(Lines({"[CopyFiles]", APP + "=1", "[CreateDirs]", INSTALL_DIR}));
    SimSetNtPlatform(false);
    SimWriteFile(APP, "MZ app");
    SimHoldFileOpen(APP, FILE_SHARE_READ);
    std::string shortPath = SimShortPath(APP);

    UninstallAnswering({IDOK, IDCANCEL, IDNO});

    EXPECT_EQ(AT_RESTART + APP, StatusLines().end()[-2]);
    EXPECT_EQ("[Rename]\r\nNUL=" + shortPath + "\r\nNUL=" + SimShortPath(TEMP_COPY) + "\r\n",
              SimReadFile("C:\\Windows\\wininit.ini"));
    EXPECT_EQ(2u, WindowBoxes().size()) << "the restart question follows";
    EXPECT_TRUE(ScheduledAfterTheCopy().empty());
}

TEST(FilesInUse, RetryAfterTheProgramEndedDeletesTheFileAndAsksNoMore)
{
    InstallApplication(Lines({"[CopyFiles]", APP + "=1"}));
    SimWriteFile(APP, "MZ app");
    HANDLE held = SimHoldFileOpen(APP, FILE_SHARE_READ);
    // The user closes the program while the box names it: after the question, the second box.
    int boxes = 0;
    std::function<void()> closeAtTheSecondBox = [&] {
        if (++boxes == 2)
            SimReleaseFile(held);
        else
            SimAfterCall("MessageBoxA", closeAtTheSecondBox);
    };
    SimAfterCall("MessageBoxA", closeAtTheSecondBox);

    UninstallAnswering({IDOK, IDRETRY});

    EXPECT_FALSE(SimFileExists(APP));
    EXPECT_EQ(1u, WindowBoxes().size()) << "asked once, no restart question";
    EXPECT_TRUE(ScheduledAfterTheCopy().empty());
    std::vector<std::string> lines = StatusLines();
    EXPECT_EQ((std::vector<std::string>{"Removing directories...", "Uninstall is finished."}),
              std::vector<std::string>(lines.end() - 2, lines.end()));
}

TEST(FilesInUse, RetryWhileTheProgramStillRunsAsksAgain)
{
    InstallApplication(Lines({"[CopyFiles]", APP + "=1"}));
    SimWriteFile(APP, "MZ app");
    SimHoldFileOpen(APP, FILE_SHARE_READ);

    UninstallAnswering({IDOK, IDRETRY, IDCANCEL, IDNO});

    std::vector<SimMessageBox> boxes = WindowBoxes();
    ASSERT_EQ(3u, boxes.size());
    EXPECT_EQ(boxes[0].text, boxes[1].text);
    EXPECT_EQ((std::vector<std::string>{APP}), ScheduledAfterTheCopy());
}

struct NamesCase {
    const char* name;
    bool restartManager;
    std::vector<std::string> programs;  // what it names
    int filesInUse;
    std::vector<std::string> lines;  // after the message and its blank line
};

TEST(FilesInUse, TheQuestionNamesTheProgramsOrElseTheFilesTenAtMost)
{
    auto file = [](int i) { return std::string(INSTALL_DIR) + "\\file " + std::to_string(i) + ".dll"; };
    std::vector<std::string> eleven = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K"};
    std::vector<std::string> twelve = eleven;
    twelve.push_back("L");
    const NamesCase cases[] = {
        {"the Restart Manager's names", true, {"Sample App", "Editor"}, 3, {"Sample App", "Editor"}},
        {"no name from the Restart Manager (as under Wine)", true, {}, 2, {file(1), file(2)}},
        {"no Restart Manager (before Vista)", false, {"never asked"}, 1, {file(1)}},
        {"twelve files", false, {}, 12, {file(1), file(2), file(3), file(4), file(5), file(6), file(7), file(8),
                                         file(9), file(10), "\x85"}},
        {"eleven programs", true, eleven, 1, {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "\x85"}},
        {"more programs than the question asks for: the files", true, twelve, 1, {file(1)}},
    };
    for (const NamesCase& row : cases) {
        std::vector<std::string> log = {"[CopyFiles]"};
        for (int i = 1; i <= row.filesInUse; ++i)
            log.push_back(file(i));
        InstallApplication(Lines(log));
        for (int i = 1; i <= row.filesInUse; ++i) {
            SimWriteFile(file(i), "MZ");
            SimHoldFileOpen(file(i), FILE_SHARE_READ);
        }
        if (row.restartManager)
            SimWriteFile("C:\\Windows\\System32\\rstrtmgr.dll", "MZ restart manager");
        SimSetRestartManagerNames(row.programs);

        UninstallAnswering({IDOK, IDCANCEL, IDNO});

        std::string expected = IN_USE_TEXT;
        for (const std::string& line : row.lines)
            expected += "\n" + line;
        ASSERT_FALSE(WindowBoxes().empty()) << row.name;
        EXPECT_EQ(expected, WindowBoxes()[0].text) << row.name;
        if (row.restartManager)
            EXPECT_EQ(row.filesInUse, SimCountCalls("RmRegisterResources")) << row.name;
    }
}

TEST(FilesInUse, TheStatusListNamesAHundredAndCountsTheOthers)
{
    std::vector<std::string> log = {"[CopyFiles]"};
    for (int i = 0; i < 105; ++i)
        log.push_back(std::string(INSTALL_DIR) + "\\locked " + std::to_string(i) + ".dat");
    InstallApplication(Lines(log));
    for (size_t i = 1; i < log.size(); ++i)
        SimWriteFile(log[i], "x", FILE_ATTRIBUTE_READONLY);

    Uninstall();

    std::vector<std::string> lines = StatusLines();
    ASSERT_EQ(8u + 101u, lines.size());
    EXPECT_EQ("Not removed: " + log[1], lines[7]);
    EXPECT_EQ("Not removed: " + log[100], lines[106]);
    EXPECT_EQ("Not removed: 5 more", lines[107]);
    EXPECT_TRUE(WindowBoxes().empty()) << "no program's end would let a read-only file go";
}

TEST(FilesInUse, YesRestartsWindowsAfterEnablingTheRightToOnNt)
{
    for (bool nt : {true, false}) {
        InstallApplication(Lines({"[CopyFiles]", APP + "=1"}));
        SimSetNtPlatform(nt);
        SimWriteFile(APP, "MZ app");
        SimHoldFileOpen(APP, FILE_SHARE_READ);

        UninstallAnswering({IDOK, IDCANCEL, IDYES});

        ASSERT_EQ(2u, WindowBoxes().size()) << nt;
        EXPECT_EQ("Windows must be restarted to finish removing the program. Restart now?", WindowBoxes()[1].text);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), WindowBoxes()[1].type);
        int restart = SimFindCall("ExitWindowsEx(0x2, 0)");
        ASSERT_NE(-1, restart) << nt;
        int privilege = SimFindCall("AdjustTokenPrivileges(0, 1, 19, 0x2)");
        EXPECT_EQ(nt, privilege != -1 && privilege < restart && SimFindCall("\"SeShutdownPrivilege\"") < privilege)
            << nt;
    }
}

TEST(FilesInUse, ASilentRunAsksNothingAndEndsWith3010)
{
    InstallApplication(Lines({"[CopyFiles]", APP + "=1", PROGRAM_PATH, "[CreateDirs]", INSTALL_DIR}));
    SimWriteFile(APP, "MZ app");
    SimHoldFileOpen(APP, FILE_SHARE_READ);
    // The first run holds its own file until it is told: that one is not for the restart.
    HANDLE first = SimHoldFileOpen(PROGRAM_PATH, FILE_SHARE_READ);
    SimAfterCall("SetEvent", [first] { SimReleaseFile(first); });

    EXPECT_EQ(3010, RunTempCopy("/S " + std::string(LOG_PATH), IDCANCEL));

    EXPECT_TRUE(SimMessageBoxes().empty());
    EXPECT_EQ((std::vector<std::string>{APP, INSTALL_DIR}), ScheduledAfterTheCopy());
    EXPECT_FALSE(SimFileExists(PROGRAM_PATH));
    // The waiting first run is told on the event that means "restart pending".
    int told = SimFindCall("SetEvent(");
    ASSERT_NE(-1, told);
    EXPECT_NE(std::string::npos, SimJournal()[size_t(told) - 1].find("r\")"));
}

} // namespace
