// The first run starts nothing that another program could have put or changed
// in its way, and asks for an administrator's rights only for a log that
// ordinary programs cannot change; libraries come from the system folder only.
#include "launcher.h"
#include "support/world.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const char NO_SAFE_COPY[] = "The uninstaller could not prepare its temporary copy. Close other programs and try again.";
const char FOREIGN[] = "MZ somebody else's program";
const DWORD WRITING = FILE_WRITE_DATA | FILE_APPEND_DATA;

void ExpectNoSafeCopyBox(const char* row)
{
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    ASSERT_EQ(1u, boxes.size()) << row;
    EXPECT_EQ(NO_SAFE_COPY, boxes[0].text) << row;
    EXPECT_EQ("Uninstall", boxes[0].caption) << row << ": the log's texts are not read yet";
    EXPECT_EQ(UINT(MB_ICONHAND), boxes[0].type) << row;
}

struct VerbCase {
    const char* name;
    DWORD logRefused;
    DWORD folderRefused;
    bool readOnly;
    bool nt;
    DWORD major, minor;
    const char* verb;
};

TEST(FirstRun, AsksForAnAdministratorOnlyWhenTheLogIsBeyondOrdinaryPrograms)
{
    const DWORD ALL = WRITING | DELETE;
    const VerbCase cases[] = {
        {"protected log (Vista)", ALL, FILE_DELETE_CHILD, false, true, 6, 0, "runas"},
        {"protected log (10)", ALL, FILE_DELETE_CHILD, false, true, 10, 0, "runas"},
        {"writable log", 0, 0, false, true, 6, 1, "open"},
        {"read-only log says nothing of its owner", ALL, FILE_DELETE_CHILD, true, true, 6, 1, "open"},
        {"only writing refused", WRITING, 0, false, true, 6, 1, "open"},
        {"only deleting refused", DELETE, 0, false, true, 6, 1, "open"},
        {"only taking it out of its folder refused", 0, FILE_DELETE_CHILD, false, true, 6, 1, "open"},
        {"protected but deletable", WRITING, FILE_DELETE_CHILD, false, true, 6, 1, "open"},
        {"protected log on XP", ALL, FILE_DELETE_CHILD, false, true, 5, 1, "open"},
        {"protected log on NT 4.0", ALL, FILE_DELETE_CHILD, false, true, 4, 0, "open"},
        {"protected log on the 95 family", ALL, FILE_DELETE_CHILD, false, false, 4, 10, "open"},
    };
    for (const VerbCase& row : cases) {
        InstallApplication("");
        SimSetNtPlatform(row.nt);
        SimSetWindowsVersion(row.major, row.minor);
        if (row.readOnly)
            SimSetFileAttributes(LOG_PATH, FILE_ATTRIBUTE_READONLY);
        SimProtect(LOG_PATH, row.logRefused);
        SimProtect(INSTALL_DIR, row.folderRefused);
        std::string logBefore = SimReadFile(LOG_PATH);

        EXPECT_EQ(0, RunInstalledProgram("")) << row.name;

        std::vector<SimProcess> started = SimShellExecutes();
        ASSERT_EQ(1u, started.size()) << row.name;
        EXPECT_EQ(row.verb, started[0].verb) << row.name;
        EXPECT_EQ(LOG_PATH, started[0].parameters) << row.name;
        EXPECT_EQ(logBefore, SimReadFile(LOG_PATH)) << row.name << ": looking changes nothing";
    }
}

TEST(FirstRun, JudgesTheLogTheCopyWillOpen)
{
    // The log of a quoted argument, in another folder than the program.
    const std::string log = "C:\\Logs\\Acme Tool\\install.log";
    InstallApplication("");
    SimWriteFile(log, "");
    SimProtect(log, WRITING | DELETE);
    SimProtect("C:\\Logs\\Acme Tool", FILE_DELETE_CHILD);
    RunInstalledProgram("\"" + log + "\" /extra");
    ASSERT_EQ(1u, SimShellExecutes().size());
    EXPECT_EQ("runas", SimShellExecutes()[0].verb);

    // The program's own folder is protected, but the log given is not.
    InstallApplication("");
    SimWriteFile(log, "");
    SimProtect(LOG_PATH, WRITING | DELETE);
    SimProtect(INSTALL_DIR, FILE_DELETE_CHILD);
    RunInstalledProgram(log);
    ASSERT_EQ(1u, SimShellExecutes().size());
    EXPECT_EQ("open", SimShellExecutes()[0].verb);
}

struct UnsafeCopyCase {
    const char* name;
    std::function<void()> prepare;
};

TEST(FirstRun, StartsNothingWhenNoSafeCopyCanBeHad)
{
    const UnsafeCopyCase cases[] = {
        {"a foreign file held open in its place",
         [] {
             SimWriteFile(TEMP_COPY, FOREIGN);
             SimHoldFileOpen(TEMP_COPY, FILE_SHARE_READ);
         }},
        {"rewritten between the copy and the check",
         [] { SimAfterCall("CopyFileA", [] { SimWriteFile(TEMP_COPY, FOREIGN); }); }},
        {"a foreign file of the same size put in its place after the copy",
         [] { SimAfterCall("CopyFileA", [] { SimWriteFile(TEMP_COPY, "MZ prograX"); }); }},
        {"the start fails", [] { SimFailShellExecute(ERROR_ACCESS_DENIED); }},
        {"no temporary folder at all",
         [] {
             SimSetTempPath("C:\\No Such Temp\\");
             SimRemove("C:\\Windows\\Temp");
         }},
    };
    for (const UnsafeCopyCase& row : cases) {
        InstallApplication(Lines({"[Strings]", "1=Acme", "12=Acme has its own text"}));
        row.prepare();

        EXPECT_EQ(2, RunInstalledProgram("")) << row.name;

        for (const SimProcess& process : SimShellExecutes())
            EXPECT_TRUE(process.program.empty()) << row.name << ": started " << process.file;
        ExpectNoSafeCopyBox(row.name);
        EXPECT_FALSE(SimLastDialog().exists) << row.name;
        EXPECT_TRUE(SimFileExists(LOG_PATH)) << row.name;
    }
}

TEST(FirstRun, ADeclinedConsentEndsWithTwoAndNoBox)
{
    InstallApplication("");
    SimProtect(LOG_PATH, WRITING | DELETE);
    SimProtect(INSTALL_DIR, FILE_DELETE_CHILD);
    SimDeclineConsent(true);
    EXPECT_EQ(2, RunInstalledProgram(""));
    EXPECT_TRUE(SimMessageBoxes().empty());
    int start = SimFindCall("ShellExecuteExA(");
    ASSERT_NE(-1, start);
    EXPECT_NE(std::string::npos, SimJournal()[start].find("\"runas\"")) << SimJournal()[start];
}

TEST(FirstRun, NobodyCanChangeTheCopyUntilItHasStarted)
{
    InstallApplication("");
    bool writable = true, deletable = true;
    SimOnProcessStart([&](const SimProcess&) {
        HANDLE file = CreateFileA(TEMP_COPY, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        writable = file != INVALID_HANDLE_VALUE;
        if (writable)
            CloseHandle(file);
        deletable = DeleteFileA(TEMP_COPY) != FALSE;
    });
    EXPECT_EQ(0, RunInstalledProgram(""));
    SimOnProcessStart(nullptr);
    EXPECT_FALSE(writable) << "written while it starts";
    EXPECT_FALSE(deletable) << "deleted while it starts";
    EXPECT_EQ("MZ program", SimReadFile(TEMP_COPY));
    EXPECT_TRUE(DeleteFileA(TEMP_COPY)) << "the copy is let go once it has started";
}

// Every platform call that may load a library by name, or show a window.
int FirstLoadingCall()
{
    int first = -1;
    for (const char* call : {"LoadLibraryA(\"comctl32", "MessageBoxA(", "DialogBoxParamA(", "ShellExecuteExA(",
                             "CreateProcessA(", "CopyFileA("}) {
        int at = SimFindCall(call);
        if (at != -1 && (first == -1 || at < first))
            first = at;
    }
    return first;
}

TEST(BothRuns, KeepTheirFolderOutOfTheLibrarySearchBeforeAnythingElse)
{
    for (bool secondRun : {false, true}) {
        const char* row = secondRun ? "second run" : "first run";
        InstallApplication("");
        secondRun ? Uninstall(IDCANCEL) : RunInstalledProgram("");
        int restricted = SimFindCall("SetDefaultDllDirectories(0x800)");
        int currentFolderDropped = SimFindCall("SetDllDirectoryA(\"\")");
        ASSERT_NE(-1, restricted) << row;
        ASSERT_NE(-1, currentFolderDropped) << row;
        EXPECT_LT(restricted, SimFindCall("GetModuleFileNameA(")) << row;
        EXPECT_LT(currentFolderDropped, FirstLoadingCall()) << row;
        EXPECT_EQ(1, SimCountCalls("LoadLibraryA")) << row << ": only common controls, loaded by name";
        int commonControls = SimFindCall("LoadLibraryA(\"comctl32.dll\")");
        EXPECT_NE(-1, commonControls) << row;
        EXPECT_LT(commonControls, SimFindCall(secondRun ? "MessageBoxA(" : "ShellExecuteExA(")) << row;
    }
}

TEST(BothRuns, LoadOnDemandLibrariesFromTheSystemFolderWhereTheSearchCannotBeRestricted)
{
    const char* required[] = {"uxtheme", "dwmapi", "version", "cryptbase", "userenv",
                              "propsys", "apphelp", "oleacc",  "clbcatq",   "setupapi"};
    struct Platform {
        const char* name;
        bool nt;
        bool hasSetDllDirectory;
    } platforms[] = {{"Windows 7 without the update", true, true}, {"Windows XP before SP1", true, false},
                     {"the 95 family", false, false}};
    for (const Platform& platform : platforms) {
        InstallApplication("");
        SimSetNtPlatform(platform.nt);
        SimRemoveExport("SetDefaultDllDirectories");
        if (!platform.hasSetDllDirectory)
            SimRemoveExport("SetDllDirectoryA");
        for (const char* name : required)
            SimWriteFile(std::string("C:\\Windows\\System32\\") + name + ".dll", "MZ library");

        RunInstalledProgram("");

        EXPECT_EQ(platform.hasSetDllDirectory ? 1 : 0, SimCountCalls("SetDllDirectoryA")) << platform.name;
        int firstWindowOrStart = FirstLoadingCall();
        for (const char* name : required) {
            int loaded = SimFindCall(std::string("LoadLibraryA(\"C:\\Windows\\System32\\") + name + "\")");
            EXPECT_NE(-1, loaded) << platform.name << ": " << name;
            EXPECT_LT(loaded, firstWindowOrStart) << platform.name << ": " << name;
        }
    }
}

// The copy's folder as Windows spells it for a user whose temporary folder has
// letters the ANSI code page lacks.
const char SPELT_WITH_QUESTION_MARKS[] = "C:\\Temp\\???? ??????\\vorsil.exe";
const char SHORT_FORM[] = "C:\\Temp\\____~TTB";
const char SHORT_COPY[] = "C:\\Temp\\____~TTB\\vorsil.exe";

void UseUnicodeTempFolder()
{
    SimMakeDirectory(SHORT_FORM);
    SimSetUnicodeTempFolder(u"C:\\Temp\\\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432", SHORT_FORM);
}

TEST(TemporaryFolder, ANameOutsideTheCodePageIsReachedThroughItsShortForm)
{
    InstallApplication("");
    UseUnicodeTempFolder();
    EXPECT_EQ(0, RunInstalledProgram(""));
    ASSERT_EQ(1u, SimShellExecutes().size());
    EXPECT_EQ(SHORT_COPY, SimShellExecutes()[0].file);
    EXPECT_EQ("MZ program", SimReadFile(SHORT_COPY));

    // Started through the short form, the copy still gets its long name spelt
    // with "?" as its own path.
    InstallApplication("");
    UseUnicodeTempFolder();
    SimWriteFile(SHORT_COPY, "MZ program");
    SimSetModulePath(SPELT_WITH_QUESTION_MARKS);
    SimQueueMessageBoxAnswer(IDCANCEL);
    std::string arguments = LOG_PATH;
    EXPECT_EQ(0, WinMain(SimInstance(), nullptr, &arguments[0], SW_SHOWDEFAULT));
    EXPECT_TRUE(SimShellExecutes().empty()) << "it took itself for the installed program";
    ASSERT_EQ(1u, SimMessageBoxes().size());
    EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONQUESTION), SimMessageBoxes()[0].type);
    std::vector<std::string> pending = SimRegistryMultiString(
        HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations");
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ(std::string("\\??\\") + SHORT_COPY, pending[0]) << "the path it was started by";
}

TEST(TemporaryFolder, WithoutAReachableSpellingTheWindowsTempFolderServes)
{
    struct Case {
        const char* name;
        std::function<void()> prepare;
    } cases[] = {
        {"the 95 family's wide calls are stubs",
         [] {
             SimSetNtPlatform(false);
             SimSetTempPath("C:\\Temp\\???? ??????\\");
         }},
        {"a temporary folder too long for the program's name", [] { SimSetTempPath("C:\\" + std::string(250, 't') + "\\"); }},
        {"a temporary folder that does not exist", [] { SimSetTempPath("C:\\Gone\\"); }},
    };
    for (const Case& row : cases) {
        InstallApplication("");
        row.prepare();
        EXPECT_EQ(0, RunInstalledProgram("")) << row.name;
        ASSERT_EQ(1u, SimShellExecutes().size()) << row.name;
        EXPECT_EQ("C:\\Windows\\Temp\\vorsil.exe", SimShellExecutes()[0].file) << row.name;
    }
}

} // namespace
