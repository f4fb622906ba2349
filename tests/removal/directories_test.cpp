// [CreateDirs]: listed directories go from the last line to the first, and only
// when they are empty.
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

TEST(Directories, MissingPathsAndTrailingBackslashes)
{
    InstallApplication(DirsLog({"C:\\Program Files\\Never Created", "C:\\Program Files\\Not A Directory",
                                std::string(INSTALL_DIR) + "\\"}));
    SimWriteFile("C:\\Program Files\\Not A Directory", "a file");

    Uninstall();

    EXPECT_EQ(-1, SimFindCall("RemoveDirectoryA(\"C:\\Program Files\\Never Created\""));
    EXPECT_EQ("a file", SimReadFile("C:\\Program Files\\Not A Directory"));
    EXPECT_FALSE(SimDirectoryExists(INSTALL_DIR)) << "a trailing backslash is the same directory";
    EXPECT_EQ(0, SimCountCalls("SHFileOperationA"));
}

// RemoveDirectoryA takes a junction or directory link away whatever its target
// holds, so those are listed first; a plain directory it refuses when full.
TEST(Directories, AJunctionGoesOnlyWhenItListsEmpty)
{
    const std::string full = std::string(INSTALL_DIR) + "\\Documents";
    const std::string empty = std::string(INSTALL_DIR) + "\\Empty Link";
    const std::string tooLong = "C:\\" + std::string(254, 'j');
    InstallApplication(DirsLog({INSTALL_DIR, full, empty, tooLong}));
    for (const std::string& link : {full, empty, tooLong}) {
        SimMakeDirectory(link);
        SimSetFileAttributes(link, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    }
    SimWriteFile(full + "\\letter.txt", "the user's");

    Uninstall();

    EXPECT_EQ("the user's", SimReadFile(full + "\\letter.txt"));
    EXPECT_FALSE(SimDirectoryExists(empty));
    EXPECT_TRUE(SimDirectoryExists(tooLong)) << "a link whose listing pattern does not fit stays";
    EXPECT_TRUE(SimDirectoryExists(INSTALL_DIR));
}

} // namespace
