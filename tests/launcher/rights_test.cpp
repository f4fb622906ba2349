// Who removes with which rights: a caller with more rights than an ordinary
// user (an elevated administrator, SYSTEM) uses them only on a log that no
// ordinary user could have changed; on any other the copy gets an ordinary
// user's rights, says so first, and reports what those cannot remove.
#include "launcher.h"
#include "support/world.h"

#include <gtest/gtest.h>

namespace {

const DWORD WRITING = FILE_WRITE_DATA | FILE_APPEND_DATA;
const char ORDINARY_RIGHTS[] =
    "The installation log can be changed without administrator rights, so it is used with an ordinary user's rights.";
const char SYSTEM_FILE[] = "C:\\Windows\\System32\\acme.dll";
const char ACME_KEY[] = "Software\\Acme";
const char VALUE_ITEM[] = "HKLM\\Software\\Acme\\Tool\\InstallDir";

enum LogKind { PROTECTED, WRITABLE_BY_USERS, FOLDER_LETS_USERS_DELETE, ADMINISTRATOR_ACCOUNT_ONLY };

// The application's folder under Program Files, a system file and an HKLM
// value of its own, and a log that others may change as far as kind says.
void InstallFor(LogKind kind)
{
    InstallApplication(Lines({"[CopyFiles]", std::string(SYSTEM_FILE) + "=1", "[AddReg]",
                              std::string(VALUE_ITEM) + "=C:\\Program Files\\Acme Tool"}));
    SimWriteFile(SYSTEM_FILE, "MZ library");
    SimProtect(SYSTEM_FILE);
    SimProtect("C:\\Windows\\System32", FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD);
    SimSetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "InstallDir", "C:\\Program Files\\Acme Tool");
    SimProtectRegistryKey(HKEY_LOCAL_MACHINE, ACME_KEY);
    if (kind != WRITABLE_BY_USERS)
        SimProtect(LOG_PATH, WRITING | DELETE);
    if (kind != FOLDER_LETS_USERS_DELETE && kind != WRITABLE_BY_USERS)
        SimProtect(INSTALL_DIR, FILE_DELETE_CHILD);
    if (kind == ADMINISTRATOR_ACCOUNT_ONLY)
        SimGrantToAdministratorAccount(LOG_PATH, WRITING | DELETE);
}

// "ShellExecuteExA runas: administrator" or "CreateProcessAsUserA: ..." with the copy's token.
std::string HowStarted(const SimProcess& copy)
{
    return (copy.asUser ? std::string("CreateProcessAsUserA") : "ShellExecuteExA " + copy.verb) + ": " +
           SimTokenText(copy.token);
}

// The copy's argument text, as its entry finds it in its command line.
std::string ArgumentsOf(const SimProcess& copy)
{
    if (!copy.asUser)
        return copy.parameters;
    std::vector<char> commandLine(copy.commandLine.begin(), copy.commandLine.end());
    commandLine.push_back('\0');
    return FindArgumentText(commandLine.data());
}

bool HasLine(const std::string& line)
{
    std::vector<std::string> lines = StatusLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// "gone", or "stays, reported" when it is still there and a status line says so.
std::string Fate(bool exists, const std::string& item)
{
    if (!exists)
        return "gone";
    return HasLine("Not removed: " + item) ? "stays, reported" : "stays, not reported";
}

struct RightsCase {
    SimAccount caller;
    LogKind log;
    std::string started;
    bool saysOrdinaryRights;
    const char* itemsBecome;  // the HKLM value and the system file
};

TEST(Rights, TheCopyHasMoreRightsThanAnOrdinaryUserOnlyForALogNoOrdinaryUserCouldChange)
{
    const std::string RESTRICTED_ADMINISTRATOR =
        "CreateProcessAsUserA: administrator, Administrators deny-only, no privileges";
    const std::string RESTRICTED_SYSTEM =
        "CreateProcessAsUserA: SYSTEM, Administrators deny-only, SYSTEM deny-only, no privileges";
    const RightsCase cases[] = {
        {SIM_STANDARD_USER, PROTECTED, "ShellExecuteExA runas: administrator", false, "gone"},
        {SIM_STANDARD_USER, WRITABLE_BY_USERS, "ShellExecuteExA open: standard user", false, "stays, reported"},
        {SIM_STANDARD_USER, FOLDER_LETS_USERS_DELETE, "ShellExecuteExA open: standard user", false, "stays, reported"},
        {SIM_STANDARD_USER, ADMINISTRATOR_ACCOUNT_ONLY, "ShellExecuteExA runas: administrator", false, "gone"},
        {SIM_ADMINISTRATOR, PROTECTED, "ShellExecuteExA open: administrator", false, "gone"},
        {SIM_ADMINISTRATOR, WRITABLE_BY_USERS, RESTRICTED_ADMINISTRATOR, true, "stays, reported"},
        {SIM_ADMINISTRATOR, FOLDER_LETS_USERS_DELETE, RESTRICTED_ADMINISTRATOR, true, "stays, reported"},
        // The same person without elevation could have changed it.
        {SIM_ADMINISTRATOR, ADMINISTRATOR_ACCOUNT_ONLY, RESTRICTED_ADMINISTRATOR, true, "stays, reported"},
        {SIM_LOCAL_SYSTEM, PROTECTED, "ShellExecuteExA open: SYSTEM", false, "gone"},
        {SIM_LOCAL_SYSTEM, WRITABLE_BY_USERS, RESTRICTED_SYSTEM, true, "stays, reported"},
        {SIM_LOCAL_SYSTEM, FOLDER_LETS_USERS_DELETE, RESTRICTED_SYSTEM, true, "stays, reported"},
        {SIM_LOCAL_SYSTEM, ADMINISTRATOR_ACCOUNT_ONLY, "ShellExecuteExA open: SYSTEM", false, "gone"},
    };
    for (const RightsCase& row : cases) {
        std::string name = SimTokenText(SimToken{row.caller}) + " caller, log kind " + std::to_string(row.log);
        InstallFor(row.log);
        SimRunAs(row.caller);

        EXPECT_EQ(0, RunInstalledProgram("")) << name;
        std::vector<SimProcess> started = SimProcesses();
        ASSERT_EQ(1u, started.size()) << name;
        EXPECT_EQ(row.started, HowStarted(started[0])) << name;
        EXPECT_EQ(LOG_PATH, ArgumentsOf(started[0])) << name;
        int impersonated = SimFindCall("ImpersonateLoggedOnUser(");
        EXPECT_EQ(row.caller != SIM_STANDARD_USER, impersonated != -1) << name << ": judged as an ordinary user";
        if (impersonated != -1)
            EXPECT_LT(SimFindCall("RevertToSelf(", impersonated), SimFindCall("CopyFileA("))
                << name << ": itself again before it copies itself";

        SimBecome(started[0]);
        EXPECT_EQ(0, RunTempCopy(ArgumentsOf(started[0]))) << name;
        std::vector<std::string> lines = StatusLines();
        ASSERT_GE(lines.size(), 2u) << name;
        EXPECT_EQ(row.saysOrdinaryRights ? ORDINARY_RIGHTS : "Start...", lines[0]) << name;
        EXPECT_EQ(row.saysOrdinaryRights, lines[1] == "Start...") << name;
        EXPECT_EQ(row.itemsBecome,
                  Fate(SimRegistryValueExists(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "InstallDir"), VALUE_ITEM))
            << name << ": the HKLM value";
        EXPECT_EQ(row.itemsBecome, Fate(SimFileExists(SYSTEM_FILE), SYSTEM_FILE)) << name << ": the system file";
        EXPECT_EQ(1u, SimMessageBoxes().size()) << name << ": a protected file is not taken for one in use";
    }
}

struct OlderWindowsCase {
    const char* name;
    const char* missing;  // the export Windows lacks
    LogKind log;
    std::string started;  // "" for none
    int exitCode;
};

TEST(Rights, WhereWindowsLacksAFunctionTheCopyGetsNoMoreRightsThanBefore)
{
    const OlderWindowsCase cases[] = {
        // NT 4.0 knows neither: the administrator's rights, as before.
        {"no CheckTokenMembership", "CheckTokenMembership", WRITABLE_BY_USERS, "ShellExecuteExA open: administrator", 0},
        {"no CreateRestrictedToken", "CreateRestrictedToken", WRITABLE_BY_USERS, "ShellExecuteExA open: administrator",
         0},
        // A log that cannot be judged as an ordinary user would counts as unprotected.
        {"no ImpersonateLoggedOnUser", "ImpersonateLoggedOnUser", PROTECTED,
         "CreateProcessAsUserA: administrator, Administrators deny-only, no privileges", 0},
        // Never the administrator's rights instead: the box that no copy could be had.
        {"no CreateProcessAsUserA", "CreateProcessAsUserA", WRITABLE_BY_USERS, "", 2},
    };
    for (const OlderWindowsCase& row : cases) {
        InstallFor(row.log);
        SimRunAs(SIM_ADMINISTRATOR);
        SimRemoveExport(row.missing);
        EXPECT_EQ(row.exitCode, RunInstalledProgram("")) << row.name;
        std::vector<SimProcess> started = SimProcesses();
        EXPECT_EQ(row.started, started.empty() ? "" : HowStarted(started[0])) << row.name;
        EXPECT_EQ(row.exitCode == 2 ? 1u : 0u, SimMessageBoxes().size()) << row.name;
    }
}

TEST(Rights, TheStartedCopyGetsNoWordOfOrdinaryRightsFromAStartWithMore)
{
    // Only the standard handles of its start say how it was started; a copy
    // that has more rights all the same does not claim to have less.
    InstallFor(WRITABLE_BY_USERS);
    SimRunAs(SIM_ADMINISTRATOR);
    RunInstalledProgram("");
    SimProcess copy = SimProcesses().at(0);
    copy.token = SimToken{SIM_ADMINISTRATOR};
    SimBecome(copy);
    RunTempCopy(LOG_PATH);
    ASSERT_FALSE(StatusLines().empty());
    EXPECT_EQ("Start...", StatusLines()[0]);
    EXPECT_FALSE(SimRegistryValueExists(HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "InstallDir"));
}

} // namespace
