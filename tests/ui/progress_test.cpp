// The progress window: its caption, button, icon and status list, the ways
// the user closes it, and how it answers and counts while the removal works.
#include "support/world.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

const std::vector<std::string> BUILT_IN_LINES = {
    "Start...", "Removing files...", "Removing shortcuts...", "Removing ini-entries...",
    "Removing registry values...", "Removing registry keys...", "Removing directories...", "Uninstall is finished."};

// A log whose section lists `count` lines made from a pattern with a number.
std::vector<std::string> Section(const std::string& name, int count, const std::string& before,
                                 const std::string& after = "")
{
    std::vector<std::string> lines = {"[" + name + "]"};
    for (int i = 1; i <= count; ++i)
        lines.push_back(before + std::to_string(i) + after);
    return lines;
}

std::vector<std::string> FilesSection(int count)
{
    return Section("CopyFiles", count, std::string(INSTALL_DIR) + "\\file", ".txt=1");
}

// Every platform call takes 1 ms: a 1,000-line section takes over a second.
void InstallSlowly(const std::vector<std::string>& log)
{
    InstallApplication(Lines(log));
    SimSetMillisecondsPerCall(1);
}

// The texts the status list was given, in order, including those replaced since.
std::vector<std::string> AddedLines()
{
    static const std::regex added("^SendMessageA\\(ListBox#200, LB_ADDSTRING, 0, \"(.*)\"\\) = ");
    std::vector<std::string> lines;
    std::smatch match;
    for (const std::string& line : SimJournal())
        if (std::regex_search(line, match, added))
            lines.push_back(match[1]);
    return lines;
}

int JournalIndexOfLine(const std::string& text)
{
    return SimFindCall("LB_ADDSTRING, 0, \"" + text + "\")");
}

TEST(ProgressWindow, OpensShownWithItsIconAndRunsTheRemovalInside)
{
    InstallApplication("");
    Uninstall();
    SimDialog dialog = SimLastDialog();
    EXPECT_EQ(SimProgramIcon(), dialog.bigIcon);
    ASSERT_FALSE(dialog.showCommands.empty());
    EXPECT_EQ(SW_SHOW, dialog.showCommands[0]);
    EXPECT_GE(dialog.updateCount, 1);
    EXPECT_EQ("Start...", StatusLines().front());
    EXPECT_EQ("Uninstall is finished.", StatusLines().back());
}

TEST(ProgressWindow, TheNewestLineIsSelectedAndRepaintedAtOnce)
{
    InstallApplication("");
    Uninstall();
    SimDialog dialog = SimLastDialog();
    EXPECT_EQ(int(dialog.listLines.size()) - 1, dialog.listSelection);
    EXPECT_EQ(int(dialog.listLines.size()), dialog.listUpdateCount);
}

struct CloseCase {
    const char* name;
    std::vector<SimMessage> script;
};

TEST(ProgressWindow, CloseEscAndTheCloseBoxEachEndTheProgramWithZero)
{
    const CloseCase cases[] = {
        {"Close button", {SimButtonClick(IDCANCEL)}},
        {"Esc key", {{WM_COMMAND, IDCANCEL, 0, 0}}},
        {"close box", {SimCloseBox()}},
        {"other commands first", {{WM_COMMAND, IDOK, 0, 0}, {WM_COMMAND, 200, 0, 200}, SimCloseBox()}},
    };
    for (const CloseCase& row : cases) {
        InstallApplication("");
        SimDialogScript(row.script);
        EXPECT_EQ(0, Uninstall()) << row.name;
        SimDialog dialog = SimLastDialog();
        EXPECT_TRUE(dialog.ended) << row.name;
        EXPECT_EQ(0, dialog.result) << row.name;
        EXPECT_EQ(int(row.script.size()), dialog.scriptedMessagesDelivered) << row.name;
    }
}

TEST(ProgressWindow, OtherCommandsLeaveItOpen)
{
    InstallApplication("");
    SimDialogScript({{WM_COMMAND, IDOK, 0, 0}});
    Uninstall();
    EXPECT_FALSE(SimLastDialog().ended);
    EXPECT_TRUE(SimLastDialog().scriptRanOut);
}

// The second run waits a second before its window opens, and the window a
// second before the removal starts: with every call taking 1 ms the pause
// runs from about 1,000 ms to 2,000 ms, the files from there on.
const DWORD DURING_THE_PAUSE = 1500;
const DWORD AMONG_THE_FILES = 2500;
// A dispatch at least every 50 ms, and an item takes about 1 ms.
const DWORD LONGEST_SIMULATED_SILENCE = 100;

TEST(ProgressWindow, AnswersSentMessagesDuringThePauseAndBetweenTheItemsOfALongSection)
{
    InstallSlowly(FilesSection(1000));
    SimSendEvery(50);

    Uninstall();

    std::vector<SimAnswer> answers = SimAnswers();
    int inThePause = 0, amongTheFiles = 0;
    for (const SimAnswer& answer : answers) {
        if (answer.newestLine.empty())
            ++inThePause;
        if (answer.newestLine.compare(0, 17, "Removing files...") == 0)
            ++amongTheFiles;
        EXPECT_LE(answer.answeredAt - answer.sentAt, LONGEST_SIMULATED_SILENCE)
            << "sent at " << answer.sentAt << " ms, newest line " << answer.newestLine;
    }
    EXPECT_GE(inThePause, 5);
    EXPECT_GE(amongTheFiles, 5);
    EXPECT_EQ(BUILT_IN_LINES, StatusLines());
}

struct EarlyClose {
    const char* name;
    DWORD at;
    UINT message;
    WPARAM wParam;
    const char* handledAfter;  // the newest status line when it is handled ("" none yet)
    const char* handledBefore;
};

TEST(ProgressWindow, CloseEscAndTheCloseBoxDuringTheRemovalEndItOnlyAfterTheLastLine)
{
    const EarlyClose cases[] = {
        {"Close button in the pause", DURING_THE_PAUSE, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), "", "Start..."},
        {"Esc key in the pause", DURING_THE_PAUSE, WM_KEYDOWN, VK_ESCAPE, "", "Start..."},
        {"close box in the pause", DURING_THE_PAUSE, WM_SYSCOMMAND, SC_CLOSE, "", "Start..."},
        {"Close button among the files", AMONG_THE_FILES, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
         "Removing files...", "Removing shortcuts..."},
        {"Esc key among the files", AMONG_THE_FILES, WM_KEYDOWN, VK_ESCAPE, "Removing files...",
         "Removing shortcuts..."},
        {"close box among the files", AMONG_THE_FILES, WM_SYSCOMMAND, SC_CLOSE, "Removing files...",
         "Removing shortcuts..."},
    };
    for (const EarlyClose& row : cases) {
        InstallSlowly(FilesSection(1000));
        SimWriteFile(std::string(INSTALL_DIR) + "\\file1000.txt", "x");
        SimDialogScript({});
        SimPostMessageAt(row.at, row.message, row.wParam);

        EXPECT_EQ(0, Uninstall()) << row.name;

        SimDialog dialog = SimLastDialog();
        EXPECT_TRUE(dialog.ended && !dialog.scriptRanOut) << row.name << ": it ends by itself";
        EXPECT_EQ(0, dialog.result) << row.name;
        EXPECT_EQ(BUILT_IN_LINES, StatusLines()) << row.name;
        EXPECT_FALSE(SimFileExists(std::string(INSTALL_DIR) + "\\file1000.txt")) << row.name;
        int handled = SimFindCall("IsDialogMessageA(dialog, dialog, ");
        ASSERT_NE(-1, handled) << row.name;
        if (row.handledAfter[0] != '\0')
            EXPECT_LT(JournalIndexOfLine(row.handledAfter), handled) << row.name;
        EXPECT_LT(handled, JournalIndexOfLine(row.handledBefore)) << row.name;
        EXPECT_LT(JournalIndexOfLine("Uninstall is finished."), SimFindCall("EndDialog(")) << row.name;
    }
}

TEST(ProgressWindow, AnotherInitDialogNeverRunsTheRemovalAgain)
{
    InstallSlowly(FilesSection(1000));
    SimPostMessageAt(DURING_THE_PAUSE, WM_INITDIALOG);
    SimPostMessageAt(AMONG_THE_FILES, WM_INITDIALOG);
    SimDialogScript({{WM_INITDIALOG, 0, 0, 0}, SimButtonClick(IDCANCEL)});

    Uninstall();

    EXPECT_EQ(2, SimCountCalls("IsDialogMessageA")) << "both came during the removal";
    EXPECT_EQ(BUILT_IN_LINES, StatusLines());
    EXPECT_TRUE(SimLastDialog().ended);
}

struct CountCase {
    const char* name;
    std::vector<std::string> log;
    std::string countedLine;  // the section's status line, "" when none is counted
    unsigned total;
    std::vector<std::string> finalLines;
};

std::vector<std::string> WithPrograms(int count)
{
    std::vector<std::string> lines = {"Start..."};
    for (int i = 1; i <= count; ++i)
        lines.push_back("Step " + std::to_string(i));
    lines.insert(lines.end(), BUILT_IN_LINES.begin() + 1, BUILT_IN_LINES.end());
    return lines;
}

std::vector<std::string> WithStrings(const std::vector<std::string>& strings, std::vector<std::string> log)
{
    log.insert(log.begin(), strings.begin(), strings.end());
    return log;
}

TEST(ProgressWindow, ASectionOf1000LinesOrMoreShowsItsCountAndEndsWithItsPlainText)
{
    const std::string longText(250, 'x');
    std::vector<std::string> withLongText = BUILT_IN_LINES;
    withLongText[1] = longText;
    const CountCase cases[] = {
        {"1,000 files", FilesSection(1000), "Removing files...", 1000, BUILT_IN_LINES},
        {"999 files", FilesSection(999), "", 0, BUILT_IN_LINES},
        {"1,000 registry values", Section("AddReg", 1000, "HKCU\\Software\\Acme\\Value", "=x"),
         "Removing registry values...", 1000, BUILT_IN_LINES},
        {"1,200 directories, from the last", Section("CreateDirs", 1200, std::string(INSTALL_DIR) + "\\d"),
         "Removing directories...", 1200, BUILT_IN_LINES},
        {"1,000 programs", Section("Uninstall.RunApp", 1000, "1=missing.exe,,,,Step "), "", 0, WithPrograms(1000)},
        {"a text of 250 characters, cut to fit a status line with the count",
         WithStrings({"[Strings]", "6=" + longText}, FilesSection(1000)), std::string(233, 'x'), 1000, withLongText},
    };
    static const std::regex counted("^(.*) ([0-9]+)/([0-9]+)$");
    for (const CountCase& row : cases) {
        InstallSlowly(row.log);

        Uninstall();

        EXPECT_EQ(row.finalLines, StatusLines()) << row.name;
        std::vector<unsigned> done;
        for (const std::string& line : AddedLines()) {
            std::smatch match;
            if (!std::regex_match(line, match, counted))
                continue;
            EXPECT_EQ(row.countedLine, match[1].str()) << row.name << ": " << line;
            EXPECT_EQ(row.total, unsigned(std::stoul(match[3]))) << row.name << ": " << line;
            done.push_back(unsigned(std::stoul(match[2])));
        }
        if (row.countedLine.empty()) {
            EXPECT_TRUE(done.empty()) << row.name;
            continue;
        }
        // About every 100 ms of a section taking over a second, not at every dispatch.
        EXPECT_GE(done.size(), 5u) << row.name;
        EXPECT_LE(done.size(), 15u) << row.name;
        for (size_t i = 1; i < done.size(); ++i)
            EXPECT_LT(done[i - 1], done[i]) << row.name;
        EXPECT_LE(done.back(), row.total) << row.name;
    }
}

} // namespace
