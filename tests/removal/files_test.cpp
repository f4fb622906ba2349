// [CopyFiles] and [Shortcuts]: the listed files go, unlisted ones stay (files
// that cannot go: files_in_use_test.cpp). [AddIni]: the listed keys go from their INI files.
#include "support/world.h"

#include <gtest/gtest.h>

namespace {

const char APP[] = "C:\\Program Files\\Acme Tool\\app.exe";
const char README[] = "C:\\Program Files\\Acme Tool\\readme.txt";
const char USER_FILE[] = "C:\\Program Files\\Acme Tool\\my notes.txt";
const char LINK[] = "C:\\Windows\\Start Menu\\Programs\\Acme Tool.lnk";

TEST(Files, ListedFilesAndShortcutsGoAndUnlistedOnesStay)
{
    InstallApplication(Lines({"[CopyFiles]", std::string(APP) + "=1", README, std::string(APP) + "=1",
                              "C:\\Program Files\\Acme Tool\\never installed.dll=1",
                              "[Shortcuts]", std::string(LINK) + "=C:\\Program Files\\Acme Tool\\app.exe"}));
    SimWriteFile(APP, "MZ");
    SimWriteFile(README, "read me");
    SimWriteFile(LINK, "link");
    SimWriteFile(USER_FILE, "mine");
    SimWriteFile("C:\\Windows\\Start Menu\\Programs\\Other.lnk", "link");

    Uninstall();

    EXPECT_FALSE(SimFileExists(APP));
    EXPECT_FALSE(SimFileExists(README));
    EXPECT_FALSE(SimFileExists(LINK));
    EXPECT_TRUE(SimFileExists(USER_FILE));
    EXPECT_TRUE(SimFileExists("C:\\Windows\\Start Menu\\Programs\\Other.lnk"));
    EXPECT_EQ((std::vector<std::string>{"Start...", "Removing files...", "Removing shortcuts...",
                                        "Removing ini-entries...", "Removing registry values...",
                                        "Removing registry keys...", "Removing directories...",
                                        "Uninstall is finished."}),
              StatusLines());
}

TEST(Files, A40KilobyteSectionIsRemovedToItsLastLine)
{
    std::vector<std::string> log = {"[CopyFiles]"};
    std::vector<std::string> files;
    size_t bytes = 0;
    for (int i = 0; bytes < 40 * 1024; ++i) {
        std::string path = "C:\\Program Files\\Acme Tool\\Data\\component-" + std::to_string(i) + ".dat";
        files.push_back(path);
        log.push_back(path + "=1");
        bytes += path.size() + 4;
    }
    std::string text = Lines(log);
    ASSERT_GT(text.size(), 40u * 1024);
    InstallApplication(text);
    for (const std::string& path : files)
        SimWriteFile(path, "x");
    SimWriteFile("C:\\Program Files\\Acme Tool\\Data\\user.dat", "mine");

    Uninstall();

    for (const std::string& path : files)
        EXPECT_FALSE(SimFileExists(path)) << path;
    EXPECT_TRUE(SimFileExists("C:\\Program Files\\Acme Tool\\Data\\user.dat"));
}

const char APP_INI[] = "C:\\Program Files\\Acme Tool\\acme.ini";
const char WIN_INI[] = "C:\\Windows\\win.ini";

TEST(IniEntries, ListedKeysGoFromTheirSectionsAndEverythingElseStays)
{
    InstallApplication(Lines({"[AddIni]",
                              "win.ini,Extensions,foo=C:\\App\\foo.exe ^.foo",
                              std::string(APP_INI) + ",Settings,Language=en",
                              std::string(APP_INI) + ",Settings",
                              std::string(APP_INI) + ",Paths,a,b=1",
                              std::string(APP_INI) + ",,Language=en",
                              ",Settings,Language",
                              std::string(APP_INI) + ",Settings,=x"}));
    SimWriteFile(WIN_INI, Lines({"[Extensions]", "foo=C:\\App\\foo.exe ^.foo", "txt=notepad.exe ^.txt",
                                 "[Other]", "foo=keep"}));
    SimWriteFile(APP_INI, Lines({"[Settings]", "Language=en", "User=kept", "=empty key", "[Paths]", "a,b=1", "a=2",
                                 "[]", "Language=no section"}));

    Uninstall();

    EXPECT_EQ(std::string::npos, SimReadFile(WIN_INI).find("foo=C:"));
    EXPECT_NE(std::string::npos, SimReadFile(WIN_INI).find("txt=notepad.exe ^.txt"));
    EXPECT_NE(std::string::npos, SimReadFile(WIN_INI).find("foo=keep"));
    std::string app = SimReadFile(APP_INI);
    EXPECT_EQ(std::string::npos, app.find("Language=en"));
    EXPECT_NE(std::string::npos, app.find("User=kept"));
    EXPECT_NE(std::string::npos, app.find("=empty key"));
    EXPECT_EQ(std::string::npos, app.find("a,b=1"));
    EXPECT_NE(std::string::npos, app.find("a=2"));
    EXPECT_NE(std::string::npos, app.find("Language=no section"));
}

} // namespace
