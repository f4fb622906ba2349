// The modal progress window and its list of status lines.
#pragma once
#include <windows.h>

// The list box of the open progress window; every part reports through it.
extern HWND g_statusList;

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Appends a line and shows it: the current text of a message id, or a text as it is.
void AddStatusLine(int messageId);
void AddStatusLine(const char* text);

// A message box owned by the window, with the caption of every box: it stays
// in front of the window, whose messages its own loop keeps handling.
int AskFromProgressWindow(const char* text, UINT type);

// The removal runs inside the window's opening, so the window's own message
// loop waits until it ends; these keep the window answering meanwhile.

// Takes every message waiting in the thread's queue and hands it on, keys
// through the dialog's handling (Esc and Enter mean Close).
void DispatchWaitingMessages();
// Waits this long while dispatching what arrives.
void WaitDispatching(DWORD milliseconds);

// A walk over a section's lines calls StartCounting with the number of its
// lines, NoteItemDone after each line and StopCounting at the end. Every now
// and then NoteItemDone dispatches what waits; for a long section the newest
// status line also shows how many lines are done, until StopCounting puts its
// plain text back. A walk that only needs the window answering (its lines are
// status lines of their own) calls NoteItemDone alone.
void StartCounting(unsigned lineCount);
void NoteItemDone();
void StopCounting();
