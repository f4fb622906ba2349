// The copy in the temporary folder is registered for deletion at the next
// restart, before the user is asked: by MoveFileExA on the NT family, by a new
// line in wininit.ini on the 95 family.
#include "support/world.h"

#include <gtest/gtest.h>

namespace {

const char WININIT[] = "C:\\Windows\\wininit.ini";

TEST(SelfDeletion, OnNtTheCopyIsPendingForDeletionBeforeTheQuestion)
{
    InstallApplication("");
    Uninstall(IDCANCEL);

    int scheduled = SimFindCall("MoveFileExA(\"C:\\Windows\\Temp\\vorsil.exe\"");
    int asked = SimFindCall("MessageBoxA(");
    ASSERT_NE(-1, scheduled) << SimJournalText();
    EXPECT_LT(scheduled, asked);
    EXPECT_FALSE(SimFileExists(WININIT));
}

struct WininitCase {
    const char* name;
    std::string before;
    std::string after; // %s stands for the new line
};

std::string WithLine(std::string text, const std::string& line)
{
    size_t at = text.find("%s");
    return text.replace(at, 2, line);
}

TEST(SelfDeletion, OnThe95FamilyANewLineIsAddedToWininitKeepingEverythingElse)
{
    const WininitCase cases[] = {
        {"no wininit.ini", "", "[Rename]\r\n%s"},
        {"another program's deletion pending",
         "[Rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OTHER.TMP\r\n",
         "[Rename]\r\n%sNUL=C:\\WINDOWS\\TEMP\\OTHER.TMP\r\n"},
        {"other sections only", "[Settings]\r\nKeep=1\r\n", "[Settings]\r\nKeep=1\r\n[Rename]\r\n%s"},
        {"no line break at the end", "[Settings]\r\nKeep=1", "[Settings]\r\nKeep=1\r\n[Rename]\r\n%s"},
        {"header written in another case, last line", "[other]\r\n  [rename]", "[other]\r\n  [rename]\r\n%s"},
        {"[Rename] between sections",
         "[A]\r\nx=1\r\n[Rename]\r\nC:\\NEW.DLL=C:\\OLD.DLL\r\n[B]\r\ny=2\r\n",
         "[A]\r\nx=1\r\n[Rename]\r\n%sC:\\NEW.DLL=C:\\OLD.DLL\r\n[B]\r\ny=2\r\n"},
        {"a section whose name only starts alike", "[Renamed]\r\n", "[Renamed]\r\n[Rename]\r\n%s"},
    };
    for (const WininitCase& row : cases) {
        InstallApplication("");
        SimSetNtPlatform(false);
        if (!row.before.empty())
            SimWriteFile(WININIT, row.before);
        Uninstall(IDCANCEL);

        std::string shortCopy = SimShortPath(TEMP_COPY);
        ASSERT_FALSE(shortCopy.empty()) << row.name;
        EXPECT_EQ(WithLine(row.after, "NUL=" + shortCopy + "\r\n"), SimReadFile(WININIT)) << row.name;
        EXPECT_EQ(0, SimCountCalls("MoveFileExA")) << row.name;
        EXPECT_LT(SimFindCall("WriteFile("), SimFindCall("MessageBoxA(")) << row.name;
    }
}

TEST(SelfDeletion, OnThe95FamilyTheShortFormOfALongNameIsWritten)
{
    InstallApplication("");
    SimSetNtPlatform(false);
    const std::string copy = "C:\\Windows\\Temp\\Uninstall Acme Tool.exe";
    RunTempCopy(LOG_PATH, IDCANCEL, copy);
    std::string shortCopy = SimShortPath(copy);
    ASSERT_NE(copy, shortCopy);
    EXPECT_EQ("[Rename]\r\nNUL=" + shortCopy + "\r\n", SimReadFile(WININIT));
}

} // namespace
