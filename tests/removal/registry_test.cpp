// [AddReg] values and [CreateKeys] keys go; values, keys and roots the log does
// not name stay, and so does a key that still has subkeys.
#include "support/world.h"

#include <gtest/gtest.h>

#include "removal.h"

namespace {

const char TOOL[] = "Software\\Acme\\Tool";

TEST(Registry, RootsAreFourLettersInAnyCase)
{
    struct {
        const char* line;
        HKEY root;
    } cases[] = {
        {"HKCR\\x", HKEY_CLASSES_ROOT},  {"HKCU\\x", HKEY_CURRENT_USER}, {"hklm\\x", HKEY_LOCAL_MACHINE},
        {"HkCc\\x", HKEY_CURRENT_CONFIG}, {"HKDD\\x", HKEY_DYN_DATA},    {"HKU\\x", nullptr},
        {"HKEY_LOCAL_MACHINE\\x", nullptr}, {"HKL", nullptr},           {"", nullptr},
    };
    for (const auto& row : cases)
        EXPECT_EQ(row.root, HiveFromPrefix(row.line)) << row.line;
}

TEST(Registry, ListedValuesGoAndTheirNeighboursStay)
{
    InstallApplication(Lines({"[AddReg]",
                              "HKLM\\Software\\Acme\\Tool\\InstallDir=C:\\Tool",
                              "HKCU\\Software\\Acme\\Tool\\=x",
                              "hkcu\\Software\\Acme\\Tool\\Counter=dword:1",
                              "HKCU\\RootValue=x",
                              "HKCU\\Software\\Acme\\Gone\\Value=x",
                              "HKU\\.DEFAULT\\Software\\Acme\\Value=x",
                              "HKCU\\Software\\Acme\\Tool\\NoEquals"}));
    SimSetRegistryString(HKEY_LOCAL_MACHINE, TOOL, "InstallDir", "C:\\Tool");
    SimSetRegistryString(HKEY_LOCAL_MACHINE, TOOL, "Other", "kept");
    SimSetRegistryString(HKEY_CURRENT_USER, TOOL, "", "default");
    SimSetRegistryDword(HKEY_CURRENT_USER, TOOL, "Counter", 1);
    SimSetRegistryString(HKEY_CURRENT_USER, TOOL, "NoEquals", "kept");
    SimSetRegistryString(HKEY_CURRENT_USER, "", "RootValue", "x");
    SimSetRegistryString(HKEY_USERS, ".DEFAULT\\Software\\Acme", "Value", "kept");

    Uninstall();

    EXPECT_FALSE(SimRegistryValueExists(HKEY_LOCAL_MACHINE, TOOL, "InstallDir"));
    EXPECT_FALSE(SimRegistryValueExists(HKEY_CURRENT_USER, TOOL, ""));
    EXPECT_FALSE(SimRegistryValueExists(HKEY_CURRENT_USER, TOOL, "Counter"));
    EXPECT_FALSE(SimRegistryValueExists(HKEY_CURRENT_USER, "", "RootValue"));
    EXPECT_TRUE(SimRegistryValueExists(HKEY_LOCAL_MACHINE, TOOL, "Other"));
    EXPECT_TRUE(SimRegistryValueExists(HKEY_CURRENT_USER, TOOL, "NoEquals"));
    EXPECT_TRUE(SimRegistryValueExists(HKEY_USERS, ".DEFAULT\\Software\\Acme", "Value"));
    EXPECT_TRUE(SimRegistryKeyExists(HKEY_CURRENT_USER, TOOL)) << "values go, keys stay";
}

TEST(Registry, LinesTooShortForTheirRootChangeNothing)
{
    // Each line would otherwise reach past its end into the next line.
    InstallApplication(Lines({"[AddReg]", "HKLM", "HKCU\\", "HKCU\\=x", "HKU\\x", "HKCR\\=",
                              "[CreateKeys]", "HKLM", "HKCU\\", "HKU\\x", "HKCU\\=1", "HKCU", "HKCR\\\\"}));
    SimSetRegistryString(HKEY_CURRENT_USER, "", "", "root default");
    SimSetRegistryString(HKEY_CLASSES_ROOT, "", "", "root default");
    SimCreateRegistryKey(HKEY_CURRENT_USER, "x");
    std::vector<std::string> before = SimDumpRegistry();

    Uninstall();

    std::vector<std::string> after = SimDumpRegistry();
    // Only the deletion of the copy at restart may have been added.
    std::vector<std::string> changed;
    for (const std::string& line : after)
        if (std::find(before.begin(), before.end(), line) == before.end() &&
            line.find("PendingFileRenameOperations") == std::string::npos)
            changed.push_back("added: " + line);
    for (const std::string& line : before)
        if (std::find(after.begin(), after.end(), line) == after.end())
            changed.push_back("removed: " + line);
    EXPECT_TRUE(changed.empty()) << ::testing::PrintToString(changed);
}

struct FamilyCase {
    const char* name;
    bool nt;
};

TEST(Registry, KeysGoChildrenFirstButNeverOneWithSubkeysTheLogDidNotList)
{
    for (FamilyCase family : {FamilyCase{"NT family", true}, FamilyCase{"95 family", false}}) {
        InstallApplication(Lines({"[CreateKeys]", "HKCU\\Software\\Acme", "HKCU\\Software\\Acme\\Tool",
                                  "HKCU\\Software\\Acme\\Tool\\Settings=1", "HKLM\\Software\\Acme",
                                  "HKLM\\Software\\Acme\\Shared", "HKCU\\Software\\Gone"}));
        SimSetNtPlatform(family.nt);
        SimSetRegistryString(HKEY_CURRENT_USER, "Software\\Acme\\Tool\\Settings", "Size", "10");
        SimSetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Acme\\Shared", "", "ours");
        // Another product keeps its key below ours.
        SimSetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Acme\\Other Product", "Path", "C:\\Other");
        SimCreateRegistryKey(HKEY_CURRENT_USER, "Software\\Unrelated");

        Uninstall();

        EXPECT_FALSE(SimRegistryKeyExists(HKEY_CURRENT_USER, "Software\\Acme")) << family.name;
        EXPECT_FALSE(SimRegistryKeyExists(HKEY_LOCAL_MACHINE, "Software\\Acme\\Shared")) << family.name;
        EXPECT_TRUE(SimRegistryKeyExists(HKEY_LOCAL_MACHINE, "Software\\Acme")) << family.name;
        EXPECT_EQ("C:\\Other", SimRegistryString(HKEY_LOCAL_MACHINE, "Software\\Acme\\Other Product", "Path"))
            << family.name;
        EXPECT_TRUE(SimRegistryKeyExists(HKEY_CURRENT_USER, "Software\\Unrelated")) << family.name;
        EXPECT_TRUE(SimRegistryKeyExists(HKEY_CURRENT_USER, "Software")) << family.name;
    }
}

TEST(NotRemoved, RefusedEntriesValuesAndKeysAreReportedInTheLogsOrder)
{
    // Absent ones, and a key that still has subkeys, are not.
    InstallApplication(Lines({"[AddIni]", "win.ini,Extensions,acme=C:\\Acme\\acme.exe ^.acme",
                              "missing.ini,Settings,Size=1", "[AddReg]",
                              "HKLM\\Software\\Acme\\Tool\\InstallDir=C:\\Tool",
                              "HKLM\\Software\\Acme\\Gone\\Value=x", "HKCU\\Software\\Acme\\Counter=1",
                              "[CreateKeys]", "HKLM\\Software\\Acme\\Tool", "HKLM\\Software\\Acme\\Tool\\One=1",
                              "HKLM\\Software\\Acme\\Tool\\Two", "HKLM\\Software\\Acme\\Gone",
                              "HKCU\\Software\\Acme"}));
    SimWriteFile("C:\\Windows\\win.ini", "[Extensions]\r\nacme=C:\\Acme\\acme.exe ^.acme\r\n");
    SimProtect("C:\\Windows\\win.ini");
    SimSetRegistryString(HKEY_LOCAL_MACHINE, TOOL, "InstallDir", "C:\\Tool");
    SimCreateRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool\\One");
    SimCreateRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool\\Two");
    SimProtectRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Acme");
    SimSetRegistryString(HKEY_CURRENT_USER, "Software\\Acme", "Counter", "1");

    Uninstall();

    std::vector<std::string> lines = StatusLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>({"Not removed: win.ini,Extensions,acme",
                                        "Not removed: HKLM\\Software\\Acme\\Tool\\InstallDir",
                                        "Not removed: HKLM\\Software\\Acme\\Tool\\One",
                                        "Not removed: HKLM\\Software\\Acme\\Tool\\Two", "Uninstall is finished."}),
              std::vector<std::string>(lines.end() - 5, lines.end()));
    EXPECT_FALSE(SimRegistryKeyExists(HKEY_CURRENT_USER, "Software\\Acme"));
}

} // namespace
