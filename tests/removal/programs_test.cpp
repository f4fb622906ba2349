// [Uninstall.PreRunApp] and [Uninstall.RunApp]: programs started in list order,
// each announced by its caption, waited for unless told not to.
#include "support/world.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char SETUP[] = "C:\\Program Files\\Acme Tool\\setup.exe";
const char CLEANUP[] = "C:\\Program Files\\Acme Tool\\cleanup.exe";

void InstallWithPrograms(const std::vector<std::string>& log)
{
    InstallApplication(Lines(log));
    SimWriteFile(SETUP, "MZ");
    SimWriteFile(CLEANUP, "MZ");
    SimWriteFile("C:\\Windows\\notepad.exe", "MZ");
}

std::vector<std::string> FirstLines(size_t count)
{
    std::vector<std::string> lines = StatusLines();
    lines.resize(std::min(count, lines.size()));
    return lines;
}

struct ProgramCase {
    const char* name;
    std::string line;
    std::string status;
    std::string commandLine;
    std::string directory;
    WORD show;
    bool waited;
};

TEST(Programs, EachLineStartsItsCommandLineWithItsDirectoryShowModeAndWait)
{
    const ProgramCase cases[] = {
        {"all fields", "1=C:\\Program Files\\Acme Tool\\setup.exe,/uninstall,C:\\Program Files\\Acme Tool,1,"
                       "Removing components...,1",
         "Removing components...", "\"C:\\Program Files\\Acme Tool\\setup.exe\" /uninstall",
         "C:\\Program Files\\Acme Tool", SW_SHOWDEFAULT, true},
        {"program only", "1=C:\\Program Files\\Acme Tool\\cleanup.exe", "C:\\Program Files\\Acme Tool\\cleanup.exe",
         "\"C:\\Program Files\\Acme Tool\\cleanup.exe\"", "", SW_HIDE, true},
        {"a command with its own arguments stays as written", "1=C:\\Program Files\\Acme Tool\\setup.exe /silent",
         "C:\\Program Files\\Acme Tool\\setup.exe /silent", "C:\\Program Files\\Acme Tool\\setup.exe /silent", "",
         SW_HIDE, true},
        {"a quoted program stays as written", "1=\"C:\\Program Files\\Acme Tool\\setup.exe\",/x",
         "\"C:\\Program Files\\Acme Tool\\setup.exe\"", "\"C:\\Program Files\\Acme Tool\\setup.exe\" /x", "",
         SW_HIDE, true},
        {"no wait, maximised", "1=notepad.exe,readme.txt,,2,Read me,0", "Read me", "notepad.exe readme.txt", "",
         SW_SHOWMAXIMIZED, false},
        {"minimised, empty wait waits", "x=notepad.exe,,,3x,,", "notepad.exe", "notepad.exe", "",
         SW_SHOWMINNOACTIVE, true},
        {"unknown show mode hides", "x=notepad.exe,,,9", "notepad.exe", "notepad.exe", "", SW_HIDE, true},
        {"text after a sixth comma", "x=notepad.exe,a,,1,Notes,0,ignored,too", "Notes", "notepad.exe a", "",
         SW_SHOWDEFAULT, false},
    };
    for (const ProgramCase& row : cases) {
        InstallWithPrograms({"[Uninstall.RunApp]", row.line});
        Uninstall();
        std::vector<SimProcess> started = SimCreatedProcesses();
        ASSERT_EQ(1u, started.size()) << row.name;
        EXPECT_EQ(row.commandLine, started[0].commandLine) << row.name;
        EXPECT_EQ("", started[0].applicationName) << row.name;
        EXPECT_EQ(row.directory, started[0].currentDirectory) << row.name;
        EXPECT_EQ(DWORD(STARTF_USESHOWWINDOW), started[0].startupFlags) << row.name;
        EXPECT_EQ(row.show, started[0].showWindow) << row.name;
        EXPECT_EQ(row.waited, started[0].waited) << row.name;
        EXPECT_EQ(0u, started[0].creationFlags) << row.name;
        EXPECT_EQ(FALSE, started[0].inheritHandles) << row.name;
        std::vector<std::string> lines = StatusLines();
        ASSERT_GE(lines.size(), 2u) << row.name;
        EXPECT_EQ(row.status, lines[1]) << row.name;
    }
}

TEST(Programs, PreRunProgramsComeFirstAndAllRunBeforeAnythingIsDeleted)
{
    InstallWithPrograms({"[Uninstall.RunApp]", "1=C:\\Program Files\\Acme Tool\\cleanup.exe,,,,Cleaning up...",
                         "[Uninstall.PreRunApp]", "1=C:\\Program Files\\Acme Tool\\setup.exe,/u,,,Unregistering...",
                         "2=notepad.exe,,,,Notes,0",
                         "[CopyFiles]", std::string(SETUP) + "=1", std::string(CLEANUP) + "=1"});
    std::vector<bool> programsThere;
    SimOnProcessStart([&](const SimProcess& process) {
        programsThere.push_back(SimFileExists(process.program));
    });

    Uninstall();

    EXPECT_EQ((std::vector<std::string>{"Start...", "Unregistering...", "Notes", "Cleaning up...",
                                        "Removing files..."}),
              FirstLines(5));
    EXPECT_EQ((std::vector<bool>{true, true, true}), programsThere);
    EXPECT_FALSE(SimFileExists(SETUP));
}

TEST(Programs, LinesThatCannotStartShowTheirCaptionAndTheNextLineFollows)
{
    InstallWithPrograms({"[Uninstall.RunApp]",
                         "C:\\Program Files\\Acme Tool\\tool.exe",
                         "1=C:\\Program Files\\Acme Tool\\missing.exe,,,,Missing...",
                         "2=notepad.exe," + std::string(510, 'a') + ",,,Too long...",
                         "3=" + std::string(511, 'p') + ",,,,Longest program",
                         "4=notepad.exe,fits,,,Fits"});
    Uninstall();

    EXPECT_EQ((std::vector<std::string>{"Start...", "Missing...", "Too long...", "Longest program", "Fits",
                                        "Removing files..."}),
              FirstLines(6));
    std::vector<SimProcess> started = SimCreatedProcesses();
    ASSERT_EQ(1u, started.size()) << "a cut command line could start another program";
    EXPECT_EQ("notepad.exe fits", started[0].commandLine);
    EXPECT_NE(-1, SimFindCall("CreateProcessA(NULL, \"C:\\Program Files\\Acme Tool\\missing.exe\""));
}

TEST(Programs, TheWaitDispatchesWhatOtherWindowsSendMeanwhile)
{
    InstallWithPrograms({"[Uninstall.RunApp]", "1=C:\\Program Files\\Acme Tool\\setup.exe,,,,Working..."});
    SimSentMessagesWhileRunning(3, WM_USER + 7);

    Uninstall();

    ASSERT_EQ(1u, SimCreatedProcesses().size());
    EXPECT_TRUE(SimCreatedProcesses()[0].waited);
    EXPECT_FALSE(SimCreatedProcesses()[0].deadlocked);
    std::vector<MSG> dispatched = SimDispatchedMessages();
    ASSERT_EQ(3u, dispatched.size());
    for (const MSG& message : dispatched)
        EXPECT_EQ(UINT(WM_USER + 7), message.message);
    EXPECT_EQ("Uninstall is finished.", StatusLines().back());
}

TEST(Programs, ACloseRequestDuringTheWaitTakesEffectAfterTheRemoval)
{
    InstallWithPrograms({"[Uninstall.RunApp]", "1=C:\\Program Files\\Acme Tool\\setup.exe",
                         "[CopyFiles]", std::string(CLEANUP) + "=1"});
    SimOnProcessStart([](const SimProcess&) { SimPostMessage(nullptr, WM_CLOSE, 0, 0); });
    SimSentMessagesWhileRunning(1);
    SimDialogScript({});

    EXPECT_EQ(0, Uninstall());

    EXPECT_FALSE(SimFileExists(CLEANUP));
    EXPECT_EQ("Uninstall is finished.", StatusLines().back());
    EXPECT_TRUE(SimLastDialog().ended);
}

} // namespace
