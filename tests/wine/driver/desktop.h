// Finding the program's windows and working them as a user would, from another
// process: window texts, the message box text, list box lines, button clicks.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace desktop {

// Polls every 50 ms until match() accepts a visible top-level window of another
// process, or the time is up (returns nullptr). A process handle given in
// stopWhenEnded ends the wait early once that process has ended.
HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs,
                   HANDLE stopWhenEnded = nullptr);
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

bool IsDialog(HWND window);  // the standard dialog class "#32770"
// A dialog with the progress window's list box (control 200).
bool IsProgressWindow(HWND window);
// A dialog with an OK, Cancel, Retry, Yes or No button and no list box: a message box.
bool IsMessageBox(HWND window);

// The text of a window or control, read without sending messages to its process.
std::string Text(HWND window);
std::string ControlText(HWND dialog, int controlId);
std::string ClassName(HWND window);
// The message text of a message box (its static control with id 0xFFFF).
std::string MessageBoxText(HWND box);
// Ids of the push buttons of a dialog, in window order.
std::vector<int> ButtonIds(HWND dialog);

// True once the window's thread handles sent messages again (for the progress
// window: its opening, and so the removal, has finished).
bool WaitUntilResponsive(HWND window, DWORD timeoutMs);

// The lines of a list box in another process (LB_GETCOUNT, LB_GETTEXT).
bool ListBoxLines(HWND listBox, std::vector<std::string>* lines);
// The index of the selected line, or -1.
int ListBoxSelection(HWND listBox);
// The last line of a list box ("" when it is empty), in three messages;
// *longestAnswerMs grows to the longest any of them took to be answered.
bool ListBoxNewestLine(HWND listBox, std::string* line, DWORD* longestAnswerMs);

// Clicks a dialog's button (BM_CLICK).
bool ClickButton(HWND dialog, int controlId);
// The window's close box (WM_SYSCOMMAND SC_CLOSE).
bool PressCloseBox(HWND window);
// The Esc key, delivered to the dialog's focused control.
bool PressEscape(HWND dialog);

DWORD ProcessIdOf(HWND window);

}  // namespace desktop
