// The entry of both runs: the relaunch from the temporary folder and the second
// run up to the progress window.
#pragma once
#include <windows.h>

// Arguments of at most this many characters are taken for switches, not a log path.
const unsigned SHORT_ARGUMENT_LENGTH = 6;
const char DEFAULT_FILE_NAME[] = "vorsil.exe";
const char DEFAULT_LOG_NAME[] = "install.log";
// Exit codes besides 0: the log cannot be opened; no copy could be started safely.
const int EXIT_LOG_NOT_FOUND = 1;
const int EXIT_NO_SAFE_COPY = 2;
// A silent run that left files for the restart to delete: done, restart pending
// (ERROR_SUCCESS_REBOOT_REQUIRED, as deployment tools know it).
const int EXIT_RESTART_NEEDED = 3010;

extern HINSTANCE g_instance;
// The program's file name (the part after the last backslash of its path).
extern char g_ownFileName[MAX_PATH];
// The installation log in use; set by the second run.
extern char g_logPath[MAX_PATH];
// The temporary folder followed by the program's file name.
extern char g_tempCopyPath[MAX_PATH];

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR argumentText, int showMode);

// The text after the program's own name in a full command line, blanks skipped.
char* FindArgumentText(char* commandLine);

// The log path in an argument: a quoted one without its opening quote and from
// its last quote on. False when it does not fit.
bool TakeLogPath(char* logPath, const char* argumentText);

// Whether an existing file or folder opens with that access and sharing; it is
// closed again at once, and opening it changes nothing.
bool FileOpens(const char* path, DWORD access, DWORD share, DWORD flags);

// Keeps the program's folder (and the current one) out of the search for
// libraries loaded by name.
void RestrictLibrarySearch();
// Casting through void (*)() keeps the compiler from comparing function types.
typedef void (*AnyFunction)();
// A function that older Windows may lack, or nullptr: of a loaded library, or of KERNEL32.
AnyFunction LibraryFunction(HMODULE library, const char* name);
AnyFunction KernelFunction(const char* name);
// A library of the system folder, loaded by its full path; nullptr when missing.
HMODULE LoadSystemLibrary(const char* name);

// Sets the temporary copy path in a temporary folder the ANSI calls can reach.
bool FindTempCopyPath();
// Whether the program at modulePath is the temporary copy.
bool RunsAsTempCopy(const char* modulePath);
// Copies the program to the temporary copy path and returns that copy opened
// so that nobody can change it, once it holds the program's bytes; otherwise
// INVALID_HANDLE_VALUE.
HANDLE LockVerifiedTempCopy(const char* modulePath);
// "runas" when the copy should ask for an administrator's rights, else "open".
const char* StartVerbFor(const char* logPath);

// A silent uninstall: no question, no window, no box; the first run waits.
extern bool g_silent;
// The text after a leading "/S" switch (either case) and its blanks, or
// nullptr when the argument text does not start with the switch alone.
const char* AfterSilentSwitch(const char* argumentText);
// Starts the temporary copy; false when it could not be started. A silent
// run then waits until the copy has removed everything the log lists, or has
// ended, and sets the exit code the caller gets; otherwise it is 0.
bool StartCopy(const char* verb, const char* parameters, const char* logPath, int* exitCode);
// In the copy of a silent run, once all the log lists is gone or waits for
// the restart: tells the waiting first run, which then ends with 0 or
// EXIT_RESTART_NEEDED and lets go of the program file.
void TellCallerListedItemsGone(bool restartNeeded);

// Registers a file for deletion at the next restart; false when that is refused.
bool ScheduleDeletionAtRestart(const char* path);
