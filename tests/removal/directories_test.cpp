// [CreateDirs]: listed directories go from the last line to the first, and only
// when they are provably empty.
#include "support/world.h"

#include <gtest/gtest.h>

namespace {

const char DATA[] = "C:\\Program Files\\Acme Tool\\Data";
const char CACHE[] = "C:\\Program Files\\Acme Tool\\Data\\Cache";

std::string DirsLog(const std::vector<std::string>& dirs)
{
    std::vector<std::string> lines = {"[CreateDirs]"};
    lines.insert(lines.end(), dirs.begin(), dirs.end());
    return Lines(lines);
}

TEST(Directories, EmptiedDirectoriesGoChildrenFirst)
{
    InstallApplication(DirsLog({std::string(INSTALL_DIR) + "=1", std::string(DATA) + "=1", CACHE}));
    SimMakeDirectory(CACHE);

    Uninstall();

    EXPECT_FALSE(SimDirectoryExists(CACHE));
    EXPECT_FALSE(SimDirectoryExists(DATA));
    EXPECT_FALSE(SimDirectoryExists(INSTALL_DIR)) << "the log and the program went before it";
    EXPECT_TRUE(SimDirectoryExists("C:\\Program Files"));
}

TEST(Directories, AFileTheUserLeftKeepsItsDirectoryAndItsParents)
{
    InstallApplication(DirsLog({INSTALL_DIR, DATA}));
    SimWriteFile(std::string(DATA) + "\\my notes.txt", "mine");

    Uninstall();

    EXPECT_EQ("mine", SimReadFile(std::string(DATA) + "\\my notes.txt"));
    EXPECT_TRUE(SimDirectoryExists(INSTALL_DIR));
    EXPECT_EQ(-1, SimFindCall("RemoveDirectoryA(\"C:\\Program Files\\Acme Tool\\Data\")"));
}

TEST(Directories, AnUnlistedEmptySubdirectoryKeepsItsParent)
{
    InstallApplication(DirsLog({INSTALL_DIR, DATA}));
    SimMakeDirectory(CACHE);
    Uninstall();
    EXPECT_TRUE(SimDirectoryExists(CACHE));
    EXPECT_TRUE(SimDirectoryExists(DATA));
}

TEST(Directories, TheValueAfterTheEqualsSignIsNeverADirectory)
{
    InstallApplication(DirsLog({std::string(INSTALL_DIR) + "=Data", std::string(DATA) + "=1"}));
    SimMakeDirectory(DATA);
    SimMakeDirectory("C:\\1");
    SimMakeDirectory("C:\\Data");
    SimMakeDirectory("C:\\Windows\\Temp\\1");
    SimSetCurrentDirectory("C:\\");

    Uninstall();

    EXPECT_FALSE(SimDirectoryExists(INSTALL_DIR));
    EXPECT_TRUE(SimDirectoryExists("C:\\1"));
    EXPECT_TRUE(SimDirectoryExists("C:\\Data"));
    EXPECT_TRUE(SimDirectoryExists("C:\\Windows\\Temp\\1"));
}

TEST(Directories, TheInstallationFolderGoesEvenWhenTheProgramWasStartedInIt)
{
    // Explorer and shortcuts start the program with its folder as current
    // directory, and the copy inherits it.
    InstallApplication(DirsLog({INSTALL_DIR}));
    SimSetCurrentDirectory(INSTALL_DIR);

    Uninstall();

    EXPECT_FALSE(SimDirectoryExists(INSTALL_DIR));
    EXPECT_EQ("C:\\Windows\\Temp", SimCurrentDirectory().substr(0, 15));
}

TEST(Directories, OnlyWhatCanBeListedAndRemovedWithoutItsContentsIsTouched)
{
    const std::string tooLong = "C:\\" + std::string(254, 'd');
    InstallApplication(DirsLog({"C:\\Program Files\\Never Created", tooLong, std::string(INSTALL_DIR) + "\\"}));

    Uninstall();

    EXPECT_EQ(-1, SimFindCall("RemoveDirectoryA(\"C:\\Program Files\\Never Created\""));
    EXPECT_EQ(-1, SimFindCall("FindFirstFileA(\"C:\\" + std::string(254, 'd')));
    EXPECT_FALSE(SimDirectoryExists(INSTALL_DIR)) << "a trailing backslash is the same directory";
    EXPECT_EQ(0, SimCountCalls("SHFileOperationA"));
}

} // namespace
