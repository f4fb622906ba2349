// The [Strings] section of the log replaces the texts the user sees.
#include "support/world.h"

#include <gtest/gtest.h>

namespace {

const char QUESTION[] = "Are you sure you want to completely remove Program and all of its components?";

struct StringsCase {
    const char* name;
    std::vector<std::string> strings;
    std::string caption;
    std::string question;
    std::string closeButton;
};

TEST(MessageTable, StringsReplaceTheCaptionTheQuestionAndTheButton)
{
    const StringsCase cases[] = {
        {"no [Strings]", {}, "Uninstall", QUESTION, "Close"},
        {"keys 1, 4 and 23", {"[Strings]", "1=Acme Removal", "4=Remove Acme Tool?", "23=Done"},
         "Acme Removal", "Remove Acme Tool?", "Done"},
        {"empty values keep the built-in texts", {"[Strings]", "1=", "4=", "23="}, "Uninstall", QUESTION, "Close"},
        {"keys beyond 23 and not numbers", {"[Strings]", "24=x", "0=y", "one=z", "01=w"},
         "Uninstall", QUESTION, "Close"},
        {"key 3 shows nowhere once the log is open", {"[Strings]", "3=Log gone"}, "Uninstall", QUESTION, "Close"},
        {"section name in another case", {"[strings]", "1=Acme"}, "Acme", QUESTION, "Close"},
    };
    for (const StringsCase& row : cases) {
        InstallApplication(Lines(row.strings));
        EXPECT_EQ(0, Uninstall(IDOK)) << row.name;
        std::vector<SimMessageBox> boxes = SimMessageBoxes();
        ASSERT_EQ(1u, boxes.size()) << row.name;
        EXPECT_EQ(row.caption, boxes[0].caption) << row.name;
        EXPECT_EQ(row.question, boxes[0].text) << row.name;
        SimDialog dialog = SimLastDialog();
        EXPECT_EQ(row.caption, dialog.caption) << row.name;
        ASSERT_NE(nullptr, dialog.Control(IDCANCEL)) << row.name;
        EXPECT_EQ(row.closeButton, dialog.Control(IDCANCEL)->text) << row.name;
    }
}

TEST(MessageTable, StringsReplaceTheStatusLines)
{
    InstallApplication(Lines({"[Strings]", "5=Fertig.", "6=Dateien...", "7=Werte...", "8=Schluessel...",
                              "9=INI...", "10=Verknuepfungen...", "11=Ordner..."}));
    Uninstall();
    EXPECT_EQ((std::vector<std::string>{"Start...", "Dateien...", "Verknuepfungen...", "INI...", "Werte...",
                                        "Schluessel...", "Ordner...", "Fertig."}),
              StatusLines());
}

TEST(MessageTable, AnOverLongTextIsCutToItsSlot)
{
    InstallApplication(Lines({"[Strings]", "4=" + std::string(300, 'q')}));
    Uninstall(IDCANCEL);
    ASSERT_EQ(1u, SimMessageBoxes().size());
    EXPECT_EQ(std::string(254, 'q'), SimMessageBoxes()[0].text);
}

} // namespace
