// The progress window: its caption, button, icon and status list, and the ways
// the user closes it.
#include "support/world.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace
