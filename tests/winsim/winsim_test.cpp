// What only the simulation offers: the journal, scripted dialogs and message
// boxes, and started processes with their callbacks. The platform behaviour
// itself is held to Wine by tests/contract.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include "winsim.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

class Simulation : public ::testing::Test {
protected:
    void SetUp() override { SimReset(); }
};

TEST_F(Simulation, JournalRecordsCallsInOrderWithTheirErrors)
{
    SimWriteFile("C:\\App\\a.txt", "x", FILE_ATTRIBUTE_READONLY);
    SimClearJournal();

    DeleteFileA("C:\\App\\a.txt");
    Sleep(250);
    DeleteFileA("C:\\App\\missing.txt");

    std::vector<std::string> journal = SimJournal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0], "DeleteFileA(\"C:\\App\\a.txt\") = 0 [5]");
    EXPECT_EQ(journal[1], "Sleep(250)");
    EXPECT_EQ(SimCountCalls("DeleteFileA"), 2);
    EXPECT_EQ(SimFindCall("missing.txt"), 2);
    EXPECT_EQ(SimFindCall("a.txt", 1), -1);
    EXPECT_EQ(SimSleptMilliseconds(), 250u);
}

// A dialog procedure that fills the list as the program's progress window does.
INT_PTR CALLBACK FillingProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowTextA(window, "Uninstall");
        HWND list = GetDlgItem(window, 200);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("first"));
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("second"));
        SendMessageA(list, LB_SETCURSEL, 1, 0);
        UpdateWindow(list);
        SendMessageA(window, WM_SETICON, ICON_BIG,
                     reinterpret_cast<LPARAM>(LoadIconA(SimInstance(), MAKEINTRESOURCEA(300))));
        ShowWindow(window, SW_SHOW);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            EndDialog(window, 7);
        return TRUE;
    }
    return FALSE;
}

TEST_F(Simulation, DialogRecordsWhatTheProcedureDidAndEndsOnTheScriptedClick)
{
    INT_PTR result = DialogBoxParamA(SimInstance(), MAKEINTRESOURCEA(100), nullptr, FillingProc, 0);

    EXPECT_EQ(result, 7);
    SimDialog dialog = SimLastDialog();
    EXPECT_TRUE(dialog.ended);
    EXPECT_FALSE(dialog.open);
    EXPECT_EQ(dialog.caption, "Uninstall");
    EXPECT_EQ(dialog.listLines, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(dialog.listSelection, 1);
    EXPECT_EQ(dialog.listUpdateCount, 1);
    EXPECT_EQ(dialog.bigIcon, SimProgramIcon());
    EXPECT_EQ(dialog.showCommands, std::vector<int>{SW_SHOW});
    ASSERT_NE(dialog.Control(IDCANCEL), nullptr);
    EXPECT_EQ(dialog.Control(IDCANCEL)->text, "&Close");
    // The window is gone once the dialog has returned.
    EXPECT_EQ(SendMessageA(dialog.Control(200)->window, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

INT_PTR CALLBACK IgnoringProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST_F(Simulation, DialogThatNeverEndsReturnsMinusOneWhenTheScriptRunsOut)
{
    SimDialogScript({SimCloseBox(), SimButtonClick(IDOK)});

    EXPECT_EQ(DialogBoxParamA(SimInstance(), MAKEINTRESOURCEA(100), nullptr, IgnoringProc, 0), -1);
    EXPECT_TRUE(SimLastDialog().scriptRanOut);
    EXPECT_EQ(SimLastDialog().scriptedMessagesDelivered, 2);
}

TEST_F(Simulation, UnhandledCloseBoxActsAsTheCancelButton)
{
    static std::vector<UINT> seen;
    seen.clear();
    SimDialogScript({SimCloseBox()});
    DLGPROC proc = [](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        seen.push_back(message);
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
            EndDialog(window, 3);
        return message != WM_CLOSE;
    };

    EXPECT_EQ(DialogBoxParamA(SimInstance(), MAKEINTRESOURCEA(100), nullptr, proc, 0), 3);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_INITDIALOG, WM_CLOSE, WM_COMMAND}));
}

TEST_F(Simulation, MessageBoxesTakeQueuedAnswersThenTheDefault)
{
    SimQueueMessageBoxAnswer(IDOK);

    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Uninstall", MB_OKCANCEL | MB_ICONQUESTION), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Uninstall", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "Missing", "Uninstall", MB_ICONHAND), IDOK);
    ASSERT_EQ(SimMessageBoxes().size(), 3u);
    EXPECT_EQ(SimMessageBoxes()[2].text, "Missing");
    EXPECT_EQ(SimMessageBoxes()[2].type, UINT(MB_ICONHAND));
}

// While the progress window is open, a started program sends it two messages
// and then ends; a start-up callback sees the window and leaves a marker.
INT_PTR CALLBACK WaitingProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SendMessageA(GetDlgItem(window, 200), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Running..."));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWDEFAULT;
        PROCESS_INFORMATION info;
        char commandLine[] = "C:\\App\\setup.exe /uninstall";
        if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, "C:\\App", &startup, &info)) {
            while (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_SENDMESSAGE) ==
                   WAIT_OBJECT_0 + 1) {
                MSG msg;
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
            }
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        EndDialog(window, 0);
    return message == WM_USER;
}

TEST_F(Simulation, StartedProcessRunsItsCallbackAndSendsMessagesWhileWaitedOn)
{
    SimWriteFile("C:\\App\\setup.exe", "MZ");
    SimSentMessagesWhileRunning(2, WM_USER);
    std::vector<std::string> linesAtStart;
    SimOnProcessStart([&](const SimProcess& process) {
        linesAtStart = SimLastDialog().listLines;
        SimWriteFile("C:\\App\\started.txt", process.commandLine);
    });

    DialogBoxParamA(SimInstance(), MAKEINTRESOURCEA(100), nullptr, WaitingProc, 0);

    EXPECT_EQ(linesAtStart, std::vector<std::string>{"Running..."});
    EXPECT_EQ(SimReadFile("C:\\App\\started.txt"), "C:\\App\\setup.exe /uninstall");
    ASSERT_EQ(SimCreatedProcesses().size(), 1u);
    SimProcess process = SimCreatedProcesses()[0];
    EXPECT_EQ(process.program, "C:\\App\\setup.exe");
    EXPECT_EQ(process.currentDirectory, "C:\\App");
    EXPECT_EQ(process.showWindow, SW_SHOWDEFAULT);
    EXPECT_TRUE(process.waited);
    std::vector<MSG> dispatched = SimDispatchedMessages();
    ASSERT_EQ(dispatched.size(), 2u);
    EXPECT_EQ(dispatched[0].message, UINT(WM_USER));
    EXPECT_EQ(dispatched[0].hwnd, SimLastDialog().window);
}

TEST_F(Simulation, WaitWithoutSentMessagesInTheWakeMaskIsADeadlock)
{
    SimWriteFile("C:\\App\\setup.exe", "MZ");
    SimSentMessagesWhileRunning(1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    char commandLine[] = "C:\\App\\setup.exe";
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));

    EXPECT_EQ(MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_POSTMESSAGE), WAIT_FAILED);
    EXPECT_TRUE(SimCreatedProcesses()[0].deadlocked);
}

// A dialog whose opening waits for a started process, taking no messages.
HANDLE g_waitedProcess;
std::string g_waitResult;
std::string Waited(DWORD result);
INT_PTR CALLBACK WaitInDialog(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        g_waitResult = Waited(WaitForMultipleObjects(1, &g_waitedProcess, FALSE, INFINITE));
    else if (message == WM_COMMAND)
        EndDialog(window, 0);
    return TRUE;
}

// "1", or "0 err N".
std::string Ok(BOOL result) { return result ? "1" : "0 err " + std::to_string(GetLastError()); }

std::string Opened(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return "INVALID err " + std::to_string(GetLastError());
    CloseHandle(handle);
    return "handle";
}

HANDLE Open(const char* path, DWORD access, DWORD flags = 0)
{
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       flags, nullptr);
}

struct Case {
    const char* name;
    std::function<void()> setUp;
    std::function<std::string()> run;
    const char* expected;
};

// The cases run one by one on a fresh machine that has C:\App\tool.exe.
void RunCases(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SimReset();
        SimWriteFile("C:\\App\\tool.exe", "MZ");
        SimWriteFile("C:\\App\\other.exe", "MZ other");
        if (c.setUp)
            c.setUp();
        EXPECT_EQ(c.run(), c.expected) << c.name;
    }
}

const char TOOL[] = "C:\\App\\tool.exe";
const char OTHER[] = "C:\\App\\other.exe";

// What a standard user may not change; an administrator may.
TEST(Protection, RefusesWhatTheUserMayNotChange)
{
    auto protectFile = [] { SimProtect(TOOL); };
    auto protectFolder = [] { SimProtect("C:\\App"); };
    auto protectBoth = [] {
        SimProtect(TOOL);
        SimProtect("C:\\App");
    };
    RunCases({
        {"writing a protected file", protectFile, [] { return Opened(Open(TOOL, GENERIC_WRITE)); }, "INVALID err 5"},
        {"reading a protected file", protectFile, [] { return Opened(Open(TOOL, GENERIC_READ)); }, "handle"},
        {"GENERIC_ALL asks for every right", [] { SimProtect(TOOL, FILE_WRITE_EA); },
         [] { return Opened(Open(TOOL, GENERIC_ALL)); }, "INVALID err 5"},
        {"a specific right not refused", [] { SimProtect(TOOL, FILE_WRITE_EA); },
         [] { return Opened(Open(TOOL, FILE_WRITE_DATA)); }, "handle"},
        {"a protected folder opened for FILE_DELETE_CHILD", protectFolder,
         [] { return Opened(Open("C:\\App", FILE_DELETE_CHILD, FILE_FLAG_BACKUP_SEMANTICS)); }, "INVALID err 5"},
        {"a protected folder opened for listing", protectFolder,
         [] { return Opened(Open("C:\\App", FILE_LIST_DIRECTORY, FILE_FLAG_BACKUP_SEMANTICS)); }, "handle"},
        {"deleting a protected file from a folder that allows FILE_DELETE_CHILD", protectFile,
         [] { return Ok(DeleteFileA(TOOL)); }, "1"},
        {"deleting a file whose folder refuses FILE_DELETE_CHILD but which allows DELETE", protectFolder,
         [] { return Ok(DeleteFileA(TOOL)); }, "1"},
        {"deleting a protected file from a protected folder", protectBoth, [] { return Ok(DeleteFileA(TOOL)); },
         "0 err 5"},
        {"moving a protected file out of a protected folder", protectBoth,
         [] { return Ok(MoveFileExA(TOOL, "C:\\tool.exe", 0)); }, "0 err 5"},
        {"CopyFileA onto a protected file", protectFile,
         [] {
             std::string result = Ok(CopyFileA(OTHER, TOOL, FALSE));
             return result + " " + SimReadFile(TOOL);
         },
         "0 err 5 MZ"},
        {"CopyFileA into a protected folder", protectFolder,
         [] { return Ok(CopyFileA(OTHER, "C:\\App\\new.exe", FALSE)); }, "0 err 5"},
        {"creating a file in a protected folder",
         protectFolder, [] {
             return Opened(CreateFileA("C:\\App\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
         },
         "INVALID err 5"},
        {"CreateDirectoryA in a protected folder", protectFolder,
         [] { return Ok(CreateDirectoryA("C:\\App\\sub", nullptr)); }, "0 err 5"},
        {"WritePrivateProfileStringA to a protected file", [] {
             SimWriteFile("C:\\App\\app.ini", "[s]\r\nk=1\r\n");
             SimProtect("C:\\App\\app.ini");
         },
         [] { return Ok(WritePrivateProfileStringA("s", "k", "2", "C:\\App\\app.ini")); }, "0 err 5"},
        {"RemoveDirectoryA of a protected empty folder", [] {
             SimMakeDirectory("C:\\App\\empty");
             SimProtect("C:\\App\\empty");
             SimProtect("C:\\App");
         },
         [] { return Ok(RemoveDirectoryA("C:\\App\\empty")); }, "0 err 5"},
        {"starting a program refused FILE_EXECUTE", [] { SimProtect(TOOL, FILE_EXECUTE); },
         [] {
             STARTUPINFOA startup = {};
             startup.cb = sizeof startup;
             PROCESS_INFORMATION info;
             char commandLine[] = "C:\\App\\tool.exe";
             return Ok(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                      &info));
         },
         "0 err 5"},
        {"an administrator is refused nothing", [] {
             SimProtect(TOOL);
             SimSetElevated(true);
         },
         [] {
             std::string result = Ok(CopyFileA(OTHER, TOOL, FALSE));
             return result + " " + SimReadFile(TOOL);
         },
         "1 MZ other"},
        {"the 95 family has no access control", [] {
             SimProtect(TOOL);
             SimSetNtPlatform(false);
         },
         [] { return Ok(CopyFileA(OTHER, TOOL, FALSE)); }, "1"},
        {"the rights move with the file", [] {
             SimProtect(TOOL, FILE_WRITE_DATA);
             MoveFileExA(TOOL, "C:\\moved.exe", 0);
         },
         [] { return Opened(Open("C:\\moved.exe", GENERIC_WRITE)); }, "INVALID err 5"},
    });
}

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryAFunction)(LPCSTR);
typedef DWORD(WINAPI* GetTempPathWFunction)(DWORD, LPWSTR);
typedef DWORD(WINAPI* GetShortPathNameWFunction)(LPCWSTR, LPWSTR, DWORD);

template <typename Function>
Function Kernel32Function(const char* name)
{
    FARPROC found = GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

std::string Found(const char* name)
{
    SetLastError(0);
    return GetProcAddress(GetModuleHandleA("kernel32"), name) ? "found" : "NULL err " + std::to_string(GetLastError());
}

TEST(Modules, ExportsFollowTheWindowsVersionModelled)
{
    RunCases({
        {"NT has the DLL search functions", nullptr,
         [] { return Found("SetDefaultDllDirectories") + " " + Found("SetDllDirectoryA"); }, "found found"},
        {"Windows 7 without KB2533623", [] { SimRemoveExport("SetDefaultDllDirectories"); },
         [] { return Found("SetDefaultDllDirectories") + " " + Found("SetDllDirectoryA"); }, "NULL err 127 found"},
        {"the 95 family has neither", [] { SimSetNtPlatform(false); },
         [] { return Found("SetDefaultDllDirectories") + " " + Found("SetDllDirectoryA"); },
         "NULL err 127 NULL err 127"},
        {"the 95 family's GetTempPathW is a stub", [] { SimSetNtPlatform(false); },
         [] {
             WCHAR buffer[MAX_PATH];
             SetLastError(0);
             DWORD result = Kernel32Function<GetTempPathWFunction>("GetTempPathW")(MAX_PATH, buffer);
             return std::to_string(result) + " err " + std::to_string(GetLastError());
         },
         "0 err 120"},
        {"the 95 family's GetShortPathNameW is a stub", [] { SimSetNtPlatform(false); },
         [] {
             WCHAR path[] = {'C', ':', '\\', 0};
             WCHAR buffer[MAX_PATH];
             SetLastError(0);
             DWORD result = Kernel32Function<GetShortPathNameWFunction>("GetShortPathNameW")(path, buffer, MAX_PATH);
             return std::to_string(result) + " err " + std::to_string(GetLastError());
         },
         "0 err 120"},
        {"a simulated export is journaled under its own name", nullptr,
         [] {
             auto setDefault = Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
             auto setDirectory = Kernel32Function<SetDllDirectoryAFunction>("SetDllDirectoryA");
             SimClearJournal();
             setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
             setDirectory("");
             std::vector<std::string> journal = SimJournal();
             return journal.at(0) + " / " + journal.at(1) + " / " + std::to_string(SimDefaultDllDirectories()) + " " +
                    std::to_string(SimDllDirectorySetEmpty());
         },
         "SetDefaultDllDirectories(0x800) = 1 / SetDllDirectoryA(\"\") = 1 / 2048 1"},
        {"nothing called", nullptr,
         [] { return std::to_string(SimDefaultDllDirectories()) + " " + std::to_string(SimDllDirectorySetEmpty()); },
         "0 0"},
    });
}

std::string Loaded(const char* name)
{
    SetLastError(0);
    HMODULE module = LoadLibraryA(name);
    return module ? "loaded" : "NULL err " + std::to_string(GetLastError());
}

TEST(Modules, LoadLibraryFindsFilesByFullPathOrInTheSystemFolder)
{
    RunCases({
        {"a full path", [] { SimWriteFile("C:\\App\\lib.dll", "MZ"); }, [] { return Loaded("C:\\App\\lib.dll"); },
         "loaded"},
        {"a bare name from System32, .dll added", [] { SimWriteFile("C:\\Windows\\System32\\lib.dll", "MZ"); },
         [] { return Loaded("LIB"); }, "loaded"},
        {"a bare name is not looked for in the program's folder or the current directory",
         [] {
             SimWriteFile("C:\\App\\lib.dll", "MZ");
             SimSetModulePath("C:\\App\\tool.exe");
             SimSetCurrentDirectory("C:\\App");
         },
         [] { return Loaded("lib.dll"); }, "NULL err 126"},
        {"the same file gives the same handle, another file another",
         [] {
             SimWriteFile("C:\\App\\lib.dll", "MZ");
             SimWriteFile("C:\\App\\two.dll", "MZ");
         },
         [] {
             HMODULE first = LoadLibraryA("C:\\App\\lib.dll");
             HMODULE again = LoadLibraryA("c:\\app\\LIB.DLL");
             HMODULE other = LoadLibraryA("C:\\App\\two.dll");
             return std::string(first == again ? "same" : "differs") + " " + (other != first ? "distinct" : "same");
         },
         "same distinct"},
        {"a file that is no module", [] { SimWriteFile("C:\\App\\lib.dll", "text"); },
         [] { return Loaded("C:\\App\\lib.dll"); }, "NULL err 193"},
        {"a library held open for writing", [] {
             SimWriteFile("C:\\App\\lib.dll", "MZ");
             SimHoldFileOpen("C:\\App\\lib.dll", FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE);
         },
         [] { return Loaded("C:\\App\\lib.dll"); }, "NULL err 32"},
        {"a missing library on the 95 family", [] { SimSetNtPlatform(false); },
         [] { return Loaded("C:\\App\\lib.dll"); }, "NULL err 1157"},
        {"GetSystemDirectoryA", [] { SimSetWindowsDirectory("D:\\WinNT"); },
         [] {
             char buffer[MAX_PATH];
             UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
             return std::to_string(length) + " " + buffer + " / " + std::to_string(GetSystemDirectoryA(buffer, 3));
         },
         "17 D:\\WinNT\\System32 / 18"},
    });
}

std::string ShellExecute(const char* verb)
{
    SetLastError(0);
    INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, verb, TOOL, nullptr, nullptr, SW_SHOW));
    return std::to_string(result) + " err " + std::to_string(GetLastError()) + ", started " +
           std::to_string(SimShellExecutes().size());
}

TEST(ShellExecute, ConsentAndFailures)
{
    RunCases({
        {"runas, consent given", nullptr, [] { return ShellExecute("runas"); }, "33 err 0, started 1"},
        {"runas, consent declined", [] { SimDeclineConsent(true); }, [] { return ShellExecute("RunAs"); },
         "5 err 1223, started 0"},
        {"open while consent would be declined", [] { SimDeclineConsent(true); },
         [] { return ShellExecute("open"); }, "33 err 0, started 1"},
        {"runas from an elevated process is not asked", [] {
             SimDeclineConsent(true);
             SimSetElevated(true);
         },
         [] { return ShellExecute("runas"); }, "33 err 0, started 1"},
        {"failing with ERROR_ACCESS_DENIED", [] { SimFailShellExecute(ERROR_ACCESS_DENIED); },
         [] { return ShellExecute("open"); }, "5 err 5, started 0"},
        {"failing with ERROR_CANCELLED", [] { SimFailShellExecute(ERROR_CANCELLED); },
         [] { return ShellExecute("runas"); }, "5 err 1223, started 0"},
        {"failing with ERROR_NO_ASSOCIATION", [] { SimFailShellExecute(1155); },
         [] { return ShellExecute("open"); }, "11 err 1155, started 0"},
        {"a program held open for writing",
         [] { SimHoldFileOpen(TOOL, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE); },
         [] { return ShellExecute("open"); }, "11 err 32, started 0"},
        {"a program held for reading with FILE_SHARE_READ", [] { SimHoldFileOpen(TOOL, FILE_SHARE_READ); },
         [] { return ShellExecute("open"); }, "33 err 0, started 1"},
        {"a document held open for writing (by a program refused nothing)", [] {
             SimWriteFile("C:\\App\\readme.txt", "text");
             SimProtect("C:\\App\\readme.txt");
             SimHoldFileOpen("C:\\App\\readme.txt", FILE_SHARE_READ, GENERIC_WRITE);
         },
         [] {
             INT_PTR result = reinterpret_cast<INT_PTR>(
                 ShellExecuteA(nullptr, "open", "C:\\App\\readme.txt", nullptr, nullptr, SW_SHOW));
             return std::to_string(result) + ", started " + std::to_string(SimShellExecutes().size());
         },
         "33, started 1"},
    });
}

SHELLEXECUTEINFOA ToolRequest(const char* verb, DWORD mask)
{
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.lpVerb = verb;
    info.lpFile = TOOL;
    info.lpParameters = "/S";
    info.nShow = SW_HIDE;
    return info;
}

// "1 hInstApp 33 handle, started 1" or "0 err N hInstApp M NULL, started 0".
std::string ShellExecuteEx(const char* verb, DWORD mask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI)
{
    SHELLEXECUTEINFOA info = ToolRequest(verb, mask);
    SetLastError(0);
    std::string result = Ok(ShellExecuteExA(&info));
    return result + " hInstApp " + std::to_string(reinterpret_cast<INT_PTR>(info.hInstApp)) +
           (info.hProcess ? " handle" : " NULL") + ", started " + std::to_string(SimShellExecutes().size());
}

TEST(ShellExecuteEx, FollowsShellExecuteAsControlsAndAnswers)
{
    RunCases({
        {"started", nullptr, [] { return ShellExecuteEx("runas"); }, "1 hInstApp 33 handle, started 1"},
        {"without SEE_MASK_NOCLOSEPROCESS", nullptr, [] { return ShellExecuteEx("open", SEE_MASK_FLAG_NO_UI); },
         "1 hInstApp 33 NULL, started 1"},
        {"consent declined", [] { SimDeclineConsent(true); }, [] { return ShellExecuteEx("runas"); },
         "0 err 1223 hInstApp 5 NULL, started 0"},
        {"failing with ERROR_NO_ASSOCIATION", [] { SimFailShellExecute(1155); },
         [] { return ShellExecuteEx("open"); }, "0 err 1155 hInstApp 11 NULL, started 0"},
        {"a program held open for writing",
         [] { SimHoldFileOpen(TOOL, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE); },
         [] { return ShellExecuteEx("open"); }, "0 err 32 hInstApp 11 NULL, started 0"},
        {"a missing program", [] { SimRemove(TOOL); }, [] { return ShellExecuteEx("open"); },
         "0 err 2 hInstApp 2 NULL, started 0"},
    });
}

TEST(ShellExecuteEx, RecordsTheRequestAndTheProcessHandle)
{
    SimReset();
    SimWriteFile(TOOL, "MZ");
    SHELLEXECUTEINFOA info = ToolRequest("runas", SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI);
    SimClearJournal();

    ASSERT_TRUE(ShellExecuteExA(&info));

    ASSERT_EQ(SimShellExecutes().size(), 1u);
    SimProcess process = SimShellExecutes()[0];
    EXPECT_TRUE(process.viaShellExecuteEx);
    EXPECT_EQ(process.shellExecuteMask, DWORD(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI));
    EXPECT_EQ(process.verb, "runas");
    EXPECT_EQ(process.file, TOOL);
    EXPECT_EQ(process.parameters, "/S");
    EXPECT_EQ(process.showCommand, SW_HIDE);
    EXPECT_EQ(process.process, info.hProcess);
    char handle[32];
    std::snprintf(handle, sizeof handle, "0x%llx", static_cast<unsigned long long>(uintptr_t(info.hProcess)));
    EXPECT_EQ(SimJournal().at(0), "ShellExecuteExA({cb " + std::to_string(sizeof info) +
                                      ", mask 0x440, NULL, \"runas\", \"C:\\App\\tool.exe\", \"/S\", NULL, 0}) = 1 "
                                      "(hInstApp 33, process " + handle + ")");
}

std::string Waited(DWORD result)
{
    switch (result) {
    case WAIT_TIMEOUT: return "WAIT_TIMEOUT";
    case WAIT_FAILED: return "WAIT_FAILED";
    }
    return "object " + std::to_string(result);
}

std::string ExitCode(HANDLE process)
{
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code))
        return "err " + std::to_string(GetLastError());
    return code == STILL_ACTIVE ? "running" : "code " + std::to_string(code);
}

HANDLE StartTool()
{
    SHELLEXECUTEINFOA info = ToolRequest("open", SEE_MASK_NOCLOSEPROCESS);
    return ShellExecuteExA(&info) ? info.hProcess : nullptr;
}

const char EVENT[] = "Vorsil.Event";

std::string Deadlocks() { return std::to_string(SimDeadlocks().size()) + " deadlocks"; }

DWORD WaitFor(HANDLE handle, DWORD milliseconds) { return WaitForMultipleObjects(1, &handle, FALSE, milliseconds); }

TEST(Waits, StartedProcessesEndWhenWaitedOnWithTheirExitCode)
{
    RunCases({
        {"running until waited on, then its exit code", [] { SimSetExitCodeOfStartedPrograms(3); },
         [] {
             HANDLE process = StartTool();
             std::string result = ExitCode(process) + ", ";
             result += Waited(WaitFor(process, INFINITE)) + ", ";
             return result + ExitCode(process) + ", waited " + std::to_string(SimShellExecutes()[0].waited);
         },
         "running, object 0, code 3, waited 1"},
        {"a wait of 0 ms only looks", nullptr,
         [] {
             HANDLE process = StartTool();
             std::string result = Waited(WaitFor(process, 0)) + ", ";
             return result + ExitCode(process);
         },
         "WAIT_TIMEOUT, running"},
        {"an unset event: the process ends", nullptr,
         [] {
             HANDLE event = CreateEventA(nullptr, TRUE, FALSE, EVENT);
             HANDLE handles[2] = {event, StartTool()};
             std::string result = Waited(WaitForMultipleObjects(2, handles, FALSE, INFINITE)) + ", ";
             return result + ExitCode(handles[1]);
         },
         "object 1, code 0"},
        {"the copy signals in its start-up callback", [] {
             SimOnProcessStart([](const SimProcess&) { SetEvent(CreateEventA(nullptr, TRUE, FALSE, EVENT)); });
         },
         [] {
             HANDLE event = CreateEventA(nullptr, TRUE, FALSE, EVENT);
             HANDLE handles[2] = {StartTool(), event};
             std::string result = Waited(WaitForMultipleObjects(2, handles, FALSE, INFINITE)) + ", ";
             return result + ExitCode(handles[0]);
         },
         "object 1, running"},
        {"an unset event alone: a finite wait times out and counts as time spent, an INFINITE one is a deadlock",
         nullptr,
         [] {
             HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
             std::string result = Waited(WaitFor(event, 5000));
             result += " slept " + std::to_string(SimSleptMilliseconds()) + ", ";
             result += Waited(WaitFor(event, INFINITE));
             result += ", " + Deadlocks() + ", journal ";
             return result + std::to_string(SimFindCall("WAIT_FAILED (deadlock: nothing it waits for can change)") >= 0);
         },
         "WAIT_TIMEOUT slept 5000, WAIT_FAILED, 1 deadlocks, journal 1"},
        {"a process that sends messages to the open window never ends under a wait that takes none",
         [] { SimSentMessagesWhileRunning(1, WM_USER); },
         [] {
             g_waitedProcess = StartTool();
             SimDialogScript({SimButtonClick(IDCANCEL)});
             DialogBoxParamA(SimInstance(), MAKEINTRESOURCEA(100), nullptr, WaitInDialog, 0);
             return g_waitResult + ", deadlocked " + std::to_string(SimShellExecutes()[0].deadlocked) + ", " +
                    Deadlocks();
         },
         "WAIT_FAILED, deadlocked 1, 1 deadlocks"},
        {"a process that sends messages has nobody to send them to without a window",
         [] { SimSentMessagesWhileRunning(1, WM_USER); },
         [] {
             HANDLE process = StartTool();
             std::string result = Waited(WaitFor(process, INFINITE));
             return result + ", deadlocked " + std::to_string(SimShellExecutes()[0].deadlocked) + ", " + Deadlocks();
         },
         "object 0, deadlocked 0, 0 deadlocks"},
    });
}

std::string Version()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return std::to_string(info.dwPlatformId) + " " + std::to_string(info.dwMajorVersion) + "." +
           std::to_string(info.dwMinorVersion) + "." + std::to_string(info.dwBuildNumber & 0xFFFF) + " \"" +
           info.szCSDVersion + "\"";
}

TEST(Version, ReportsTheVersionSet)
{
    RunCases({
        {"default NT", nullptr, Version, "2 6.1.7601 \"Service Pack 1\""},
        {"NT 4.0", [] { SimSetWindowsVersion(4, 0); }, Version, "2 4.0.1381 \"Service Pack 6\""},
        {"XP", [] { SimSetWindowsVersion(5, 1); }, Version, "2 5.1.2600 \"Service Pack 3\""},
        {"Vista", [] { SimSetWindowsVersion(6, 0); }, Version, "2 6.0.6002 \"Service Pack 2\""},
        {"default 95 family", [] { SimSetNtPlatform(false); }, Version, "1 4.10.2222 \" A \""},
        {"Windows 95", [] {
             SimSetNtPlatform(false);
             SimSetWindowsVersion(4, 0);
         },
         Version, "1 4.0.950 \"\""},
    });
}

TEST(AfterCall, AnotherProgramActsRightAfterTheNextCallOnly)
{
    SimReset();
    SimWriteFile("C:\\App\\tool.exe", "MZ original");
    int runs = 0;
    std::string seenByAction;
    SimAfterCall("CopyFileA", [&] {
        ++runs;
        seenByAction = SimReadFile("C:\\Temp\\tool.exe");
        // Platform calls of the other program: not the program's.
        DeleteFileA("C:\\Temp\\missing.txt");
        SimWriteFile("C:\\Temp\\tool.exe", "MZ planted");
    });
    SimMakeDirectory("C:\\Temp");
    SimClearJournal();
    SetLastError(1234);

    EXPECT_TRUE(CopyFileA("C:\\App\\tool.exe", "C:\\Temp\\tool.exe", FALSE));
    EXPECT_EQ(GetLastError(), 0u);  // CopyFileA's own, not the action's
    EXPECT_EQ(seenByAction, "MZ original");
    EXPECT_EQ(SimReadFile("C:\\Temp\\tool.exe"), "MZ planted");
    EXPECT_TRUE(CopyFileA("C:\\App\\tool.exe", "C:\\Temp\\tool.exe", FALSE));
    EXPECT_EQ(SimReadFile("C:\\Temp\\tool.exe"), "MZ original");
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(SimCountCalls("CopyFileA"), 2);
    EXPECT_EQ(SimCountCalls("DeleteFileA"), 0);
}

TEST(AfterCall, TheCallReturnsWhatItFoundBeforeTheAction)
{
    SimReset();
    SimWriteFile("C:\\Temp\\tool.exe", "MZ", FILE_ATTRIBUTE_ARCHIVE);
    SimAfterCall("GetFileAttributesA", [] { SimRemove("C:\\Temp\\tool.exe"); });
    SimAfterCall("CreateFileA", [] { SimWriteFile("C:\\Temp\\after.txt", "x"); });

    EXPECT_EQ(GetFileAttributesA("C:\\Temp\\tool.exe"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(SimFileExists("C:\\Temp\\tool.exe"));
    HANDLE file = CreateFileA("C:\\Temp\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SimFileExists("C:\\Temp\\after.txt"));
    CloseHandle(file);
    // SimReset forgets actions that have not run.
    SimAfterCall("DeleteFileA", [] { FAIL() << "ran after SimReset"; });
    SimReset();
    DeleteFileA("C:\\x");
}

// A profile "Иван Петров" on a Western system: the temporary folder exists
// under its short name only.
const char16_t IVAN[] = u"C:\\Temp\\\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432";
const char SHORT_FOLDER[] = "C:\\Temp\\____~TTB";

std::vector<WCHAR> Wide(const std::u16string& text)
{
    std::vector<WCHAR> wide(text.begin(), text.end());
    wide.push_back(0);
    return wide;
}

std::string Narrow(const WCHAR* text)
{
    std::string result;
    for (; *text; ++text)
        result += *text < 0x80 ? char(*text) : '#';
    return result;
}

std::string TempPathA()
{
    char buffer[MAX_PATH];
    GetTempPathA(sizeof buffer, buffer);
    return buffer;
}

std::string TempPathW()
{
    WCHAR buffer[MAX_PATH];
    DWORD length = Kernel32Function<GetTempPathWFunction>("GetTempPathW")(MAX_PATH, buffer);
    return std::to_string(length) + " " + Narrow(buffer);
}

std::string ShortPathW(const std::u16string& path, DWORD size = MAX_PATH)
{
    WCHAR buffer[MAX_PATH] = {'#', 0};
    std::vector<WCHAR> wide = Wide(path);
    SetLastError(0);
    DWORD length = Kernel32Function<GetShortPathNameWFunction>("GetShortPathNameW")(wide.data(), buffer, size);
    if (length == 0)
        return "0 err " + std::to_string(GetLastError());
    return std::to_string(length) + " " + Narrow(buffer);
}

TEST(UnicodeTempFolder, TheAnsiSpellingNamesNothingAndTheShortFormIsUsable)
{
    auto unicodeTemp = [] {
        SimSetUnicodeTempFolder(IVAN, SHORT_FOLDER);
        SimWriteFile(std::string(SHORT_FOLDER) + "\\vorsil.exe", "MZ");
    };
    RunCases({
        {"GetTempPathA spells it with ?", unicodeTemp, TempPathA, "C:\\Temp\\???? ??????\\"},
        {"which names nothing", unicodeTemp,
         [] { return Ok(GetFileAttributesA(TempPathA().c_str()) != INVALID_FILE_ATTRIBUTES); }, "0 err 123"},
        {"nor has a short form", unicodeTemp,
         [] {
             char buffer[MAX_PATH];
             return Ok(BOOL(GetShortPathNameA(TempPathA().c_str(), buffer, sizeof buffer)));
         },
         "0 err 123"},
        {"GetTempPathW gives the wide long name", unicodeTemp, TempPathW, "20 C:\\Temp\\#### ######\\"},
        {"GetShortPathNameW of it", unicodeTemp, [] { return ShortPathW(std::u16string(IVAN) + u"\\"); },
         "17 C:\\Temp\\____~TTB\\"},
        {"GetShortPathNameW below it, in other case", unicodeTemp,
         [] {
             return ShortPathW(u"c:\\temp\\\u0438\u0432\u0430\u043d \u043f\u0435\u0442\u0440\u043e\u0432\\VORSIL.EXE");
         },
         "27 C:\\Temp\\____~TTB\\VORSIL.EXE"},
        {"GetShortPathNameW of a missing file below it", unicodeTemp,
         [] { return ShortPathW(std::u16string(IVAN) + u"\\missing.exe"); }, "0 err 2"},
        {"GetShortPathNameW with too small a buffer", unicodeTemp,
         [] { return ShortPathW(IVAN, 5); }, "17 #"},
        {"GetShortPathNameW of an ANSI path as GetShortPathNameA",
         [] { SimMakeDirectory("C:\\Program Files\\Acme"); },
         [] {
             char buffer[MAX_PATH];
             GetShortPathNameA("C:\\Program Files\\Acme", buffer, sizeof buffer);
             return ShortPathW(u"C:\\Program Files\\Acme") + " = " + buffer;
         },
         "16 C:\\PROGRA~1\\Acme = C:\\PROGRA~1\\Acme"},
        {"the short form takes copies and opens", unicodeTemp,
         [] {
             std::string copy = std::string(SHORT_FOLDER) + "\\copy.exe";
             std::string copied = Ok(CopyFileA(TOOL, copy.c_str(), FALSE));
             return copied + " " + Opened(CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                      OPEN_EXISTING, 0, nullptr));
         },
         "1 handle"},
        {"a program started through the short form gets its long name spelt with ?",
         [] {
             SimSetUnicodeTempFolder(IVAN, SHORT_FOLDER);
             SimSetModulePath("C:\\TEMP\\____~ttb\\vorsil.exe");
         },
         [] {
             char buffer[MAX_PATH];
             GetModuleFileNameA(nullptr, buffer, sizeof buffer);
             return std::string(buffer);
         },
         "C:\\Temp\\???? ??????\\vorsil.exe"},
        {"letters with a best fit are spelt with it",
         [] { SimSetUnicodeTempFolder(u"C:\\Temp\\\u0100dam", "C:\\Temp\\DAM~1"); }, TempPathA, "C:\\Temp\\Adam\\"},
        {"SimSetTempPath forgets the folder", [=] {
             unicodeTemp();
             SimSetTempPath("C:\\Users\\Jos\xE9\\Temp");
         },
         TempPathW, "19 C:\\Users\\Jos#\\Temp\\"},
    });
}

TEST(UnicodeTempFolder, WideCallsAreJournaledInUtf8)
{
    SimReset();
    SimSetUnicodeTempFolder(IVAN, SHORT_FOLDER);
    SimClearJournal();

    ShortPathW(IVAN);

    EXPECT_EQ(SimJournal().back(), "GetShortPathNameW(L\"C:\\Temp\\\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD "
                                   "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2\", buffer, 260) = 16 "
                                   "L\"C:\\Temp\\____~TTB\"");
}

}  // namespace
