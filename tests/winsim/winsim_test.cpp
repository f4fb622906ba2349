// What only the simulation offers: the journal, scripted dialogs and message
// boxes, and started processes with their callbacks. The platform behaviour
// itself is held to Wine by tests/contract.
#include <windows.h>

#include <gtest/gtest.h>

#include "winsim.h"

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

}  // namespace
