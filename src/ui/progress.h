// The modal progress window and its list of status lines.
#pragma once
#include <windows.h>

// The list box of the open progress window; every part reports through it.
extern HWND g_statusList;

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Appends a line and shows it: the current text of a message id, or a text as it is.
void AddStatusLine(int messageId);
void AddStatusLine(const char* text);
