// The first run copies the program to the temporary folder and starts the copy
// with the log path; the second run takes the log path from its argument.
#include "support/world.h"

#include <gtest/gtest.h>

namespace {

const std::string DEFAULT_LOG = LOG_PATH;

struct ArgumentCase {
    const char* name;
    const char* arguments;
    std::string passedOn;
};

TEST(FirstRun, PassesTheLogPathToTheCopyInTheTemporaryFolder)
{
    const ArgumentCase cases[] = {
        {"no argument", "", DEFAULT_LOG},
        {"one character", "x", DEFAULT_LOG},
        {"six characters", "/quiet", DEFAULT_LOG},
        {"seven characters", "/silent", "/silent"},
        {"a log path", "D:\\Logs\\install.log", "D:\\Logs\\install.log"},
        {"a quoted log path with blanks", "\"D:\\My Logs\\install.log\"", "\"D:\\My Logs\\install.log\""},
    };
    for (const ArgumentCase& row : cases) {
        InstallApplication("");
        EXPECT_EQ(0, RunInstalledProgram(row.arguments)) << row.name;

        std::vector<SimProcess> started = SimShellExecutes();
        ASSERT_EQ(1u, started.size()) << row.name;
        EXPECT_EQ("open", started[0].verb) << row.name;
        EXPECT_EQ(TEMP_COPY, started[0].file) << row.name;
        EXPECT_EQ(row.passedOn, started[0].parameters) << row.name;
        EXPECT_EQ("", started[0].directory) << row.name;
        EXPECT_EQ(SW_SHOWDEFAULT, started[0].showCommand) << row.name;
        EXPECT_EQ("MZ program", SimReadFile(TEMP_COPY)) << row.name;
        EXPECT_TRUE(SimMessageBoxes().empty()) << row.name;
        EXPECT_FALSE(SimLastDialog().exists) << row.name;
        EXPECT_EQ(0u, SimSleptMilliseconds()) << row.name << ": the first run never waits";
    }
}

TEST(FirstRun, OverwritesAnOldCopyInTheTemporaryFolder)
{
    InstallApplication("");
    SimWriteFile(TEMP_COPY, "an older version");
    RunInstalledProgram("");
    EXPECT_EQ("MZ program", SimReadFile(TEMP_COPY));
}

TEST(FirstRun, ARenamedProgramKeepsItsWholeNameInTheTemporaryFolder)
{
    const std::string name = "Uninstall Acme Tool and all of its parts.exe";
    const std::string program = std::string(INSTALL_DIR) + "\\" + name;
    InstallApplication("");
    SimWriteFile(program, "MZ renamed");
    RunInstalledProgram("", program);

    ASSERT_EQ(1u, SimShellExecutes().size());
    EXPECT_EQ(TEMP_DIR + name, SimShellExecutes()[0].file);
    EXPECT_EQ("MZ renamed", SimReadFile(TEMP_DIR + name));
}

TEST(FirstRun, AModulePathWithoutFolderIsPassedItself)
{
    InstallApplication("");
    SimWriteFile("C:\\vorsil.exe", "MZ program");
    RunInstalledProgram("", "vorsil.exe");
    ASSERT_EQ(1u, SimShellExecutes().size());
    EXPECT_EQ(TEMP_COPY, SimShellExecutes()[0].file);
    EXPECT_EQ("vorsil.exe", SimShellExecutes()[0].parameters);
}

TEST(FirstRun, ACopyWhosePathIsSpeltInShortFormIsStillTakenForTheCopy)
{
    // GetTempPathA may give the short form of a folder the copy was started
    // from by its long name; taken for the installed program, the copy would
    // start itself again and again.
    InstallApplication("");
    const std::string copy = "C:\\Temp Files\\vorsil.exe";
    SimMakeDirectory("C:\\Temp Files");
    const std::string shortTemp = SimShortPath("C:\\Temp Files");
    ASSERT_NE("C:\\Temp Files", shortTemp);
    SimSetTempPath(shortTemp);

    RunTempCopy(LOG_PATH, IDCANCEL, copy);

    EXPECT_TRUE(SimShellExecutes().empty());
    EXPECT_EQ(1u, SimMessageBoxes().size());
}

struct LogPathCase {
    const char* name;
    const char* arguments;
};

TEST(SecondRun, TakesTheLogPathWithoutItsQuotes)
{
    const LogPathCase cases[] = {
        {"plain", "C:\\Program Files\\Acme Tool\\install.log"},
        {"quoted", "\"C:\\Program Files\\Acme Tool\\install.log\""},
        {"quoted, text after the last quote", "\"C:\\Program Files\\Acme Tool\\install.log\" /extra"},
        {"opening quote only", "\"C:\\Program Files\\Acme Tool\\install.log"},
    };
    for (const LogPathCase& row : cases) {
        InstallApplication(Lines({"[Strings]", "4=Remove it?"}));
        EXPECT_EQ(0, RunTempCopy(row.arguments, IDCANCEL)) << row.name;
        ASSERT_EQ(1u, SimMessageBoxes().size()) << row.name;
        EXPECT_EQ("Remove it?", SimMessageBoxes()[0].text) << row.name << ": the log was found and read";
        EXPECT_EQ(1000u, SimSleptMilliseconds()) << row.name;
    }
}

TEST(SecondRun, ALogThatCannotBeOpenedShowsTheBuiltInErrorAndEndsWithOne)
{
    const LogPathCase cases[] = {
        {"missing log", "C:\\Program Files\\Acme Tool\\missing.log"},
        {"started from the temporary folder without argument", ""},
        {"a directory", "C:\\Program Files\\Acme Tool"},
        {"a quote in an unquoted argument belongs to the path", "C:\\Program Files\\Acme Tool\\install.log\" x"},
        {"a path longer than any buffer", "C:\\Program Files\\Acme Tool\\install.log                      "
                                          "                                                                 "
                                          "                                                                 "
                                          "                                                                 "
                                          "                                   x"},
    };
    for (const LogPathCase& row : cases) {
        InstallApplication(Lines({"[Strings]", "1=Acme", "3=Acme log missing"}));
        EXPECT_EQ(1, RunTempCopy(row.arguments, IDOK)) << row.name;
        std::vector<SimMessageBox> boxes = SimMessageBoxes();
        ASSERT_EQ(1u, boxes.size()) << row.name;
        EXPECT_EQ("Installation log file install.log not found!", boxes[0].text) << row.name;
        EXPECT_EQ("Uninstall", boxes[0].caption) << row.name;
        EXPECT_EQ(UINT(MB_ICONHAND), boxes[0].type) << row.name;
        EXPECT_FALSE(SimLastDialog().exists) << row.name;
        EXPECT_TRUE(SimFileExists(PROGRAM_PATH)) << row.name;
    }
}

TEST(SecondRun, CancelRemovesNothingButTheCopyIsStillScheduledForDeletion)
{
    InstallApplication(Lines({"[CopyFiles]", "C:\\Program Files\\Acme Tool\\app.exe=1"}));
    SimWriteFile("C:\\Program Files\\Acme Tool\\app.exe", "MZ app");
    SimWriteFile(TEMP_COPY, "MZ program");
    std::vector<std::string> before = SimListTree();

    EXPECT_EQ(0, Uninstall(IDCANCEL));

    EXPECT_FALSE(SimLastDialog().exists);
    std::vector<std::string> after = SimListTree();
    EXPECT_EQ(before, after);
    std::vector<std::string> pending = SimRegistryMultiString(
        HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations");
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ("\\??\\C:\\Windows\\Temp\\vorsil.exe", pending[0]);
    EXPECT_EQ("", pending[1]);
}

TEST(SecondRun, TheQuestionUsesTheMessageTable)
{
    InstallApplication("");
    Uninstall(IDCANCEL);
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Are you sure you want to completely remove Program and all of its components?", boxes[0].text);
    EXPECT_EQ("Uninstall", boxes[0].caption);
    EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONQUESTION), boxes[0].type);
}

TEST(SecondRun, OkOpensTheProgressWindowAndClosingItEndsWithZero)
{
    InstallApplication("");
    EXPECT_EQ(0, Uninstall(IDOK));
    SimDialog dialog = SimLastDialog();
    ASSERT_TRUE(dialog.exists);
    EXPECT_EQ(100, dialog.templateId);
    EXPECT_EQ(nullptr, dialog.owner);
    EXPECT_TRUE(dialog.ended);
    EXPECT_FALSE(dialog.scriptRanOut);
}

} // namespace
