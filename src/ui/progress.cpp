#include "progress.h"
#include "launcher.h"
#include "messages.h"
#include "removal.h"
#include "resource.h"

HWND g_statusList;

void AddStatusLine(const char* text)
{
    // A silent run has no window: its status lines go nowhere.
    if (g_statusList == nullptr)
        return;
    (void)SendMessageA(g_statusList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : ""));
    LRESULT count = SendMessageA(g_statusList, LB_GETCOUNT, 0, 0);
    (void)SendMessageA(g_statusList, LB_SETCURSEL, WPARAM(count - 1), 0);
    // The dialog's own message loop does not run while the removal works.
    (void)UpdateWindow(g_statusList);
}

void AddStatusLine(int messageId)
{
    AddStatusLine(MessageText(messageId));
}

static void OpenProgressWindow(HWND window)
{
    (void)SetWindowTextA(window, MessageText(MSG_CAPTION));
    (void)SetWindowTextA(GetDlgItem(window, IDCANCEL), MessageText(MSG_CLOSE));
    g_statusList = GetDlgItem(window, IDC_STATUS_LIST);
    HICON icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    (void)SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    (void)ShowWindow(window, SW_SHOW);
    (void)UpdateWindow(window);
    RunRemoval();
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
        (void)EndDialog(window, 0);
        return TRUE;
    case WM_CLOSE:
        (void)EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}
