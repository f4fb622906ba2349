// The whole removal: its fixed order, the log and the program going last but
// for the directories, and nothing the log does not name touched.
#include "support/world.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::vector<std::string> BUILT_IN_LINES = {
    "Start...", "Removing files...", "Removing shortcuts...", "Removing ini-entries...",
    "Removing registry values...", "Removing registry keys...", "Removing directories...", "Uninstall is finished."};

TEST(Removal, ALogListingNothingStillRemovesTheLogAndTheProgram)
{
    InstallApplication("");
    SimWriteFile(std::string(INSTALL_DIR) + "\\app.exe", "MZ");

    EXPECT_EQ(0, Uninstall());

    EXPECT_EQ(BUILT_IN_LINES, StatusLines());
    EXPECT_FALSE(SimFileExists(LOG_PATH));
    EXPECT_FALSE(SimFileExists(PROGRAM_PATH));
    EXPECT_TRUE(SimFileExists(std::string(INSTALL_DIR) + "\\app.exe"));
    EXPECT_TRUE(SimFileExists(TEMP_COPY)) << "the running copy goes at the next restart";
    EXPECT_EQ(2000u, SimSleptMilliseconds());
}

TEST(Removal, TheProgramFileOfTheGivenNameGoesFromTheLogsFolder)
{
    const std::string renamed = std::string(INSTALL_DIR) + "\\Uninstall Acme.exe";
    InstallApplication("");
    SimWriteFile(renamed, "MZ");
    RunTempCopy(LOG_PATH, IDOK, "C:\\Windows\\Temp\\Uninstall Acme.exe");
    EXPECT_FALSE(SimFileExists(renamed));
    EXPECT_TRUE(SimFileExists(PROGRAM_PATH)) << "vorsil.exe is not this program's name";
}

TEST(Removal, ALogInAnotherFolderTakesTheProgramFileOfThatFolder)
{
    InstallApplication("");
    SimWriteFile("D:\\Logs\\install.log", Lines({"[CopyFiles]", "D:\\Logs\\old.txt"}));
    SimWriteFile("D:\\Logs\\old.txt", "x");
    SimWriteFile("D:\\Logs\\vorsil.exe", "MZ");

    RunTempCopy("\"D:\\Logs\\install.log\"");

    EXPECT_FALSE(SimFileExists("D:\\Logs\\install.log"));
    EXPECT_FALSE(SimFileExists("D:\\Logs\\old.txt"));
    EXPECT_FALSE(SimFileExists("D:\\Logs\\vorsil.exe"));
    EXPECT_TRUE(SimFileExists(PROGRAM_PATH));
    EXPECT_TRUE(SimFileExists(LOG_PATH));
}

TEST(Removal, AFullInstallationGoesAndEveryCanaryStays)
{
    const std::string app = std::string(INSTALL_DIR) + "\\app.exe";
    const std::string data = std::string(INSTALL_DIR) + "\\Data";
    const std::string ini = std::string(INSTALL_DIR) + "\\acme.ini";
    const std::string link = "C:\\Windows\\Start Menu\\Programs\\Acme Tool\\Acme Tool.lnk";
    InstallApplication(Lines({
        "[Strings]", "1=Acme Tool", "23=Finish",
        "[Uninstall.RunApp]", "1=" + app + ",/unregister," + std::string(INSTALL_DIR) + ",0,Unregistering...,1",
        "[CopyFiles]", app + "=1", data + "\\words.dat=1", ini + "=1",
        "[Shortcuts]", link + "=1",
        "[AddIni]", "win.ini,Extensions,acm=" + app + " ^.acm",
        "[AddReg]", "HKLM\\Software\\Acme\\Tool\\InstallDir=x", "HKCR\\.acm\\=AcmeFile",
        "[CreateKeys]", "HKLM\\Software\\Acme", "HKLM\\Software\\Acme\\Tool", "HKCR\\.acm",
        "[CreateDirs]", std::string(INSTALL_DIR), data, "C:\\Windows\\Start Menu\\Programs\\Acme Tool",
    }));
    SimWriteFile(app, "MZ");
    SimWriteFile(data + "\\words.dat", "words");
    SimWriteFile(ini, "[Settings]\r\nx=1\r\n");
    SimWriteFile(link, "link");
    SimWriteFile("C:\\Windows\\win.ini", Lines({"[Extensions]", "acm=" + app + " ^.acm", "txt=notepad.exe ^.txt"}));
    SimSetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "InstallDir", "x");
    SimSetRegistryString(HKEY_CLASSES_ROOT, ".acm", "", "AcmeFile");
    // Canaries: nothing in the log names them.
    SimWriteFile("C:\\Program Files\\Other\\app.exe", "MZ other");
    SimWriteFile("C:\\Windows\\Start Menu\\Programs\\Other.lnk", "link");
    SimSetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Other", "InstallDir", "C:\\Program Files\\Other");
    SimSetRegistryString(HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
    std::vector<std::string> canaryRegistry = SimDumpRegistry();
    canaryRegistry.erase(std::remove_if(canaryRegistry.begin(), canaryRegistry.end(),
                                        [](const std::string& line) {
                                            return line.find("Acme") != std::string::npos ||
                                                   line.find(".acm") != std::string::npos;
                                        }),
                         canaryRegistry.end());

    EXPECT_EQ(0, Uninstall());

    EXPECT_EQ((std::vector<std::string>{"Start...", "Unregistering...", "Removing files...", "Removing shortcuts...",
                                        "Removing ini-entries...", "Removing registry values...",
                                        "Removing registry keys...", "Removing directories...",
                                        "Uninstall is finished."}),
              StatusLines());
    EXPECT_EQ("Acme Tool", SimLastDialog().caption);
    EXPECT_FALSE(SimDirectoryExists(INSTALL_DIR));
    EXPECT_FALSE(SimDirectoryExists("C:\\Windows\\Start Menu\\Programs\\Acme Tool"));
    EXPECT_EQ(std::string::npos, SimReadFile("C:\\Windows\\win.ini").find("acm="));
    EXPECT_NE(std::string::npos, SimReadFile("C:\\Windows\\win.ini").find("txt=notepad.exe ^.txt"));
    EXPECT_FALSE(SimRegistryKeyExists(HKEY_LOCAL_MACHINE, "Software\\Acme"));
    EXPECT_FALSE(SimRegistryKeyExists(HKEY_CLASSES_ROOT, ".acm"));
    EXPECT_EQ("MZ other", SimReadFile("C:\\Program Files\\Other\\app.exe"));
    EXPECT_TRUE(SimFileExists("C:\\Windows\\Start Menu\\Programs\\Other.lnk"));
    std::vector<std::string> registryAfter = SimDumpRegistry();
    for (const std::string& line : canaryRegistry)
        EXPECT_NE(registryAfter.end(), std::find(registryAfter.begin(), registryAfter.end(), line)) << line;
}

} // namespace
