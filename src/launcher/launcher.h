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
// A silent run that left something the log lists, or whose copy never said
// what became of it (ERROR_INSTALL_FAILURE, a failure to deployment tools).
const int EXIT_NOT_REMOVED = 1603;

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
// The same of ADVAPI32, which the program imports, so it is loaded.
AnyFunction SecurityFunction(const char* name);
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
// What the running process may do: an ordinary user's rights, an elevated
// administrator's (Administrators enabled), or LocalSystem's. Windows before
// 2000 and the 95 family cannot tell: there it is RIGHTS_ORDINARY.
enum Rights { RIGHTS_ORDINARY, RIGHTS_ELEVATED, RIGHTS_SYSTEM };
Rights CurrentRights();
// The process's own token with Administrators only to deny and no privilege:
// what an ordinary user may do. nullptr where Windows cannot make one.
HANDLE OrdinaryUserToken();
// Makes the thread act with that token until StopImpersonating; false when
// Windows cannot (no token, or no such function).
bool ImpersonateUser(HANDLE user);
void StopImpersonating();
// Whether an existing file or folder refuses this access to the caller.
bool AccessRefused(const char* path, DWORD access, DWORD flags);
// How the copy is started for the log: "runas" when it should ask for an
// administrator's rights, else "open". A process with more rights than an
// ordinary user gets in *ordinaryUser the token to start the copy with when
// an ordinary user could have changed the log, else nullptr.
const char* StartVerbFor(const char* logPath, HANDLE* ordinaryUser);
// Whether this copy was started with an ordinary user's rights by a first run
// that had more, and has no more now.
bool RunsForAnOrdinaryUser();

// A silent uninstall: no question, no window, no box; the first run waits.
extern bool g_silent;
// Takes the switches before the log argument, in any order and either case:
// "/S" (silent), "/N" (a trial run, report.h) and "/LOG=path" (the report),
// each followed by blanks or the end. Returns the text after them and their
// blanks: the log argument.
const char* TakeSwitches(const char* argumentText);
// The copy's parameters: the switches, then the log argument.
const unsigned PARAMETERS_SIZE = 3 + 6 + MAX_PATH + 2 + MAX_PATH;
// Starts the temporary copy, with the token of an ordinary user when one is
// given; false when it could not be started. A silent run then waits until
// the copy has dealt with everything the log lists, or has ended, and sets
// the exit code the caller gets; otherwise it is 0.
bool StartCopy(const char* verb, HANDLE ordinaryUser, const char* parameters, const char* logPath, int* exitCode);
// What a silent copy tells its first run once it has dealt with everything the
// log lists; the first run ends with the matching exit code.
enum ListedItemsOutcome { ALL_ITEMS_GONE, ITEMS_AT_RESTART, ITEMS_NOT_REMOVED };
extern const int OUTCOME_EXIT_CODES[3];
// In the copy of a silent run: tells the waiting first run, which then ends
// and lets go of the program file.
void TellCallerListedItemsDealtWith(ListedItemsOutcome outcome);

// Registers a file for deletion at the next restart; false when that is refused.
bool ScheduleDeletionAtRestart(const char* path);
