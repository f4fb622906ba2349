#include "progress.h"
#include "launcher.h"
#include "messages.h"
#include "removal.h"
#include "report.h"
#include "resource.h"
#include "text.h"

// While the removal works, waiting messages are taken at least this often:
// Windows greys out a window that answers nothing for 5 s and offers to end it.
static const DWORD DISPATCH_INTERVAL = 50;
// A long section's count changes this often, fast enough to see it move.
static const DWORD COUNT_INTERVAL = 100;
// Sections of at least this many lines are counted.
static const unsigned COUNTED_LINE_COUNT = 1000;
// A count line is no longer than a message text can be: at most 233
// characters of the text, a blank and two numbers of up to ten digits with a
// slash.
static const unsigned COUNT_LINE_SIZE = MESSAGE_TEXT_SIZE;

HWND g_statusList;
static HWND g_progressWindow;
static bool g_removing;
static bool g_closeRequested;

// The text the newest status line was added with; a count is shown after it.
static const char* g_newestLine;
static LRESULT g_newestIndex;
static unsigned g_itemsDone;
static unsigned g_itemsCounted; // 0 while the walk is not counted
static bool g_countShown;
static DWORD g_lastDispatch;
static DWORD g_lastCount;

static void AppendLine(const char* text)
{
    // The list is not sorted: the new line is the last one.
    g_newestIndex = SendMessageA(g_statusList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    (void)SendMessageA(g_statusList, LB_SETCURSEL, WPARAM(g_newestIndex), 0);
    // Painted at once: between dispatches nothing else paints it.
    (void)UpdateWindow(g_statusList);
}

void AddStatusLine(const char* text)
{
    text = text ? text : "";
    NoteStatusLine(text);
    // A silent run has no window: its status lines go only to the report.
    if (g_statusList == nullptr)
        return;
    g_newestLine = text;
    AppendLine(text);
}

int AskFromProgressWindow(const char* text, UINT type)
{
    return MessageBoxA(g_progressWindow, text, MessageText(MSG_CAPTION), type);
}

void AddStatusLine(int messageId)
{
    AddStatusLine(MessageText(messageId));
}

// A list box cannot change the text of a line: the newest goes and the new
// text takes its place.
static void ReplaceNewestLine(const char* text)
{
    (void)SendMessageA(g_statusList, LB_DELETESTRING, WPARAM(g_newestIndex), 0);
    AppendLine(text);
}

// "Removing files... 12345/50000"
static void ShowCount()
{
    char line[COUNT_LINE_SIZE];
    (void)wsprintfA(line, "%.233s %u/%u", g_newestLine, g_itemsDone, g_itemsCounted);
    ReplaceNewestLine(line);
    g_countShown = true;
}

void DispatchWaitingMessages()
{
    MSG message;
    // PeekMessageA also hands the messages sent by other threads to their windows.
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageA(g_progressWindow, &message))
            continue;
        (void)TranslateMessage(&message);
        (void)DispatchMessageA(&message);
    }
}

void WaitDispatching(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < milliseconds; waited = GetTickCount() - start) {
        (void)MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - waited, QS_ALLINPUT);
        DispatchWaitingMessages();
    }
}

void StartCounting(unsigned lineCount)
{
    g_itemsDone = 0;
    // A silent run has no line to count on.
    g_itemsCounted = lineCount >= COUNTED_LINE_COUNT && g_statusList != nullptr ? lineCount : 0;
    g_countShown = false;
    g_lastCount = GetTickCount();
}

// Called after every item: one look at the clock is all it costs until the
// next dispatch is due.
void NoteItemDone()
{
    ++g_itemsDone;
    DWORD now = GetTickCount();
    if (now - g_lastDispatch < DISPATCH_INTERVAL)
        return;
    g_lastDispatch = now;
    if (g_itemsCounted != 0 && now - g_lastCount >= COUNT_INTERVAL) {
        g_lastCount = now;
        ShowCount();
    }
    DispatchWaitingMessages();
}

void StopCounting()
{
    // The finished list shows the plain texts.
    if (g_countShown)
        ReplaceNewestLine(g_newestLine);
    g_itemsCounted = 0;
    g_countShown = false;
}

static void OpenProgressWindow(HWND window)
{
    HWND list = GetDlgItem(window, IDC_STATUS_LIST);
    // The removal runs once: another WM_INITDIALOG (any program can send one)
    // comes while it runs or finds the lines it left.
    if (g_removing || SendMessageA(list, LB_GETCOUNT, 0, 0) > 0)
        return;
    g_progressWindow = window;
    (void)SetWindowTextA(window, MessageText(MSG_CAPTION));
    (void)SetWindowTextA(GetDlgItem(window, IDCANCEL), MessageText(MSG_CLOSE));
    g_statusList = list;
    HICON icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    (void)SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    (void)ShowWindow(window, SW_SHOW);
    (void)UpdateWindow(window);
    g_closeRequested = false;
    g_removing = true;
    RunRemoval();
    g_removing = false;
    // Asked for meanwhile: now that "Uninstall is finished." shows.
    if (g_closeRequested)
        (void)EndDialog(window, 0);
}

// Close, Esc and the close box. Ending the window in the middle of the
// removal would leave it half done, so a request then waits for its end.
static void CloseProgressWindow(HWND window)
{
    if (g_removing)
        g_closeRequested = true;
    else
        (void)EndDialog(window, 0);
}

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OpenProgressWindow(window);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        [[fallthrough]];
    case WM_CLOSE:
        CloseProgressWindow(window);
        return TRUE;
    }
    return FALSE;
}
