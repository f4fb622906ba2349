// Test-facing controls of the simulated Win32 subset: set up the simulated
// machine (drive, folders, registry, platform family), script the user's
// answers, and read back what the program did.
//
// Everything lives in one process-wide state, reset by SimReset(). The
// simulation is single-threaded, like the program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// ---- The machine ----

// Forgets everything and builds the default machine: drive C: with C:\Windows,
// C:\Windows\System32 and C:\Windows\Temp; the temporary folder C:\Windows\Temp\;
// the current directory C:\; the module path C:\vorsil.exe (no file there);
// the registry keys HKCU\Software, HKLM\Software and
// HKLM\System\CurrentControlSet\Control\Session Manager; the NT family;
// empty journal, message queue and answer queues; the clock at 0 ms, calls
// taking no time. Call it before anything else.
// Heap blocks stay allocated (the program keeps some for its whole process);
// the heap peak starts again from the bytes still in use.
void SimReset();

// NT family (GetVersionExA reports platform 2, version 6.1.7601 as Wine does)
// or 95 family (platform 1, version 4.10 as Wine's "win98" setting).
void SimSetNtPlatform(bool nt);
bool SimIsNtPlatform();
// The version GetVersionExA reports within the family, e.g. 4.0 (NT 4.0),
// 5.1 (XP), 6.0 (Vista); the build number and service pack are those of the
// version's last release (none for a version the simulation does not know).
// Nothing else follows the version: remove exports with SimRemoveExport.
void SimSetWindowsVersion(DWORD major, DWORD minor);

// The program's instance handle, the one its entry point receives: its icon
// and dialog resources are found only through this handle.
HINSTANCE SimInstance();
void SimSetModulePath(const std::string& path);
// The text GetTempPathA returns; a trailing backslash is added when missing.
// GetTempPathW answers it widened.
void SimSetTempPath(const std::string& path);
// A temporary folder whose long name has characters outside the ANSI code
// page (1252), e.g. u"C:\\Temp\\Иван Петров" with the short form
// "C:\\Temp\\____~TTB". The folder exists (it is created) under its short
// name only. GetTempPathA answers the long name converted as
// WideCharToMultiByte does ('?' for what has no byte), which names nothing;
// GetTempPathW the wide long name; GetShortPathNameW of it, or of a path
// below it, the short form. GetModuleFileNameA of a program whose module path
// lies in the short form answers the long name in its ANSI spelling. Until
// SimSetTempPath or SimReset.
void SimSetUnicodeTempFolder(const std::u16string& widePath, const std::string& shortAnsiPath);
void SimSetWindowsDirectory(const std::string& path);
// Must name an existing directory.
void SimSetCurrentDirectory(const std::string& path);
std::string SimCurrentDirectory();

// ---- Files (paths as the program would write them; parents are created) ----

void SimMakeDirectory(const std::string& path);
void SimWriteFile(const std::string& path, const std::string& contents,
                  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
// The contents, or "" for a missing file.
std::string SimReadFile(const std::string& path);
bool SimFileExists(const std::string& path);
bool SimDirectoryExists(const std::string& path);
// INVALID_FILE_ATTRIBUTES when missing.
DWORD SimFileAttributes(const std::string& path);
void SimSetFileAttributes(const std::string& path, DWORD attributes);
// A directory marked FILE_ATTRIBUTE_REPARSE_POINT stands for a junction or a
// directory link: what it holds is its target's contents, listed through it,
// and RemoveDirectoryA removes it whatever it holds (the simulation drops the
// contents with it, so a test sees the loss).
// Removes a file or a whole directory tree, ignoring handles and attributes.
void SimRemove(const std::string& path);
// Every path on every drive (or below root), sorted, each with its stored
// name case; directories end with a backslash.
std::vector<std::string> SimListTree(const std::string& root = "");
// The 8.3 form GetShortPathNameA gives for an existing path, "" when missing.
std::string SimShortPath(const std::string& path);
// Holds a file open as another program would, with that access and sharing
// (SimProtect does not apply to it). Returns nullptr when the file cannot be
// opened so.
HANDLE SimHoldFileOpen(const std::string& path, DWORD shareMode = 0,
                       DWORD access = GENERIC_READ);
void SimReleaseFile(HANDLE held);

// ---- Access control (NT family; the 95 family has none) ----

// The rights a standard user is refused on an existing file or directory,
// e.g. FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE on a file, FILE_ADD_FILE |
// FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD on a folder. CreateFileA (also of
// a directory with FILE_FLAG_BACKUP_SEMANTICS) refuses with
// ERROR_ACCESS_DENIED a request that needs one (generic rights mapped as NT
// maps them); so does creating a file or directory in a folder refusing
// FILE_ADD_FILE or FILE_ADD_SUBDIRECTORY, and so do the copies, profile
// writes and moves built on them. DeleteFileA, RemoveDirectoryA and
// MoveFileExA's source need DELETE on it or FILE_DELETE_CHILD on its folder.
// Starting or loading a file needs FILE_EXECUTE. The rights stay with the
// file when it is moved.
void SimProtect(const std::string& path, DWORD deniedAccess);
// Everything but reading and executing (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
void SimProtect(const std::string& path);
// Rights the administrator's own account (not the Administrators group) has
// on a file or folder beyond a standard user's, as an owner's: they count for
// a token of that account even with Administrators deny-only.
void SimGrantToAdministratorAccount(const std::string& path, DWORD access);
// Nobody without Administrators or LocalSystem enabled may change the key,
// its values or anything below it (RegSetValueExA, RegDeleteValueA and
// RegDeleteKeyA answer ERROR_ACCESS_DENIED; creating keys is not checked).
void SimProtectRegistryKey(HKEY root, const std::string& key);

// Who a process runs as. An elevated administrator and LocalSystem have
// Administrators enabled and are refused nothing. A group that is deny-only
// (CreateRestrictedToken) only ever denies: the simulation has no entry that
// denies, so such a group grants nothing and refuses nothing of its own.
enum SimAccount { SIM_STANDARD_USER, SIM_ADMINISTRATOR, SIM_LOCAL_SYSTEM };
struct SimToken {
    SimAccount account = SIM_STANDARD_USER;
    bool administratorsDenyOnly = false;
    bool systemDenyOnly = false;  // LocalSystem's own SID (only its token holds it)
    bool privilegesRemoved = false;
    bool restrictingSids = false;  // recorded only: their second access check is not simulated
};
// "standard user", "administrator", "SYSTEM", then ", Administrators deny-only",
// ", SYSTEM deny-only", ", no privileges", ", restricting SIDs" as they apply.
std::string SimTokenText(const SimToken& token);
// The simulated process's token (a standard user's after SimReset).
void SimRunAs(SimAccount account);
// The simulated process runs as an administrator: it is refused nothing
// (SimRunAs(SIM_ADMINISTRATOR)); false: a standard user.
void SimSetElevated(bool elevated);
struct SimProcess;
// The simulated process becomes that started process: its token, and the
// start-up information GetStartupInfoA gives (the flags and standard handles
// CreateProcessA or CreateProcessAsUserA was given; none for ShellExecuteA).
void SimBecome(const SimProcess& process);
// MoveFileExA refuses MOVEFILE_DELAY_UNTIL_REBOOT (ERROR_ACCESS_DENIED), as
// Windows does for a process without an administrator's rights (Wine does not).
void SimRefuseDeletionAtRestart(bool refuse);

// ---- Modules ----

// GetModuleHandleA knows the program (NULL) and KERNEL32 ("kernel32" or
// "kernel32.dll" in any case, not a full path). GetProcAddress on KERNEL32
// finds SetDefaultDllDirectories, SetDllDirectoryA, GetTempPathW and
// GetShortPathNameW (each journaled under its own name); the 95 family has
// neither of the first two, and the last two fail there with
// ERROR_CALL_NOT_IMPLEMENTED. A removed export is missing (ERROR_PROC_NOT_FOUND)
// until SimReset, as on Windows before 8 without update KB2533623
// (SetDefaultDllDirectories) or before XP SP1 (SetDllDirectoryA).
void SimRemoveExport(const std::string& name);
// GetModuleHandleA also knows ADVAPI32, whose OpenProcessToken,
// LookupPrivilegeValueA and AdjustTokenPrivileges (the NT family only) succeed
// and are journaled, as are CheckTokenMembership (Administrators and
// LocalSystem; any other SID is no member), CreateRestrictedToken,
// ImpersonateLoggedOnUser, RevertToSelf and CreateProcessAsUserA (the NT
// family only; SimRemoveExport takes them away as Windows before 2000 lacks
// the first two). While the thread impersonates, files, folders and keys are
// checked against its token; processes start with the process's. A library loaded from a file named rstrtmgr.dll (lay one
// out in the system folder) has the Restart Manager's RmStartSession,
// RmRegisterResources, RmGetList and RmEndSession; RmGetList names these
// programs, whatever files were registered (none by default, as under Wine).
void SimSetRestartManagerNames(const std::vector<std::string>& names);
// The last flags SetDefaultDllDirectories accepted, 0 when never called.
DWORD SimDefaultDllDirectories();
// Whether the last SetDllDirectoryA call passed "" (the current directory
// taken out of the search).
bool SimDllDirectorySetEmpty();
// LoadLibraryA loads an existing file that starts with "MZ" (ERROR_BAD_EXE_FORMAT
// otherwise): a path with a folder as given, a bare name from the system
// folder (the Windows directory's System32) only; ".dll" is added to a name
// without extension. The same file gives the same handle again. A missing
// one is ERROR_MOD_NOT_FOUND (ERROR_DLL_NOT_FOUND on the 95 family). Loading
// needs FILE_EXECUTE and is refused beside a handle open for writing or
// without FILE_SHARE_READ, as starting a program is. FreeLibrary unloads
// nothing: handles stay valid until SimReset.

// ---- Registry (key paths below a root such as HKEY_CURRENT_USER) ----

void SimCreateRegistryKey(HKEY root, const std::string& key);
// Raw bytes of any type; the key is created when missing. Name "" is the default value.
void SimSetRegistryValue(HKEY root, const std::string& key, const std::string& name,
                         DWORD type, const std::string& bytes);
// REG_SZ with its terminating NUL.
void SimSetRegistryString(HKEY root, const std::string& key, const std::string& name,
                          const std::string& text);
void SimSetRegistryDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
bool SimRegistryKeyExists(HKEY root, const std::string& key);
bool SimRegistryValueExists(HKEY root, const std::string& key, const std::string& name);
// Raw bytes, "" when missing.
std::string SimRegistryValue(HKEY root, const std::string& key, const std::string& name);
DWORD SimRegistryValueType(HKEY root, const std::string& key, const std::string& name);
// The bytes up to the first NUL.
std::string SimRegistryString(HKEY root, const std::string& key, const std::string& name);
// A REG_MULTI_SZ split into its strings (empty strings inside the list are kept).
std::vector<std::string> SimRegistryMultiString(HKEY root, const std::string& key,
                                                const std::string& name);
// Every key and value, one line each, sorted: "HKCU\Software\Acme" and
// "HKCU\Software\Acme\[Name] = REG_SZ \"text\"" ("[]" for the default value).
std::vector<std::string> SimDumpRegistry();

// ---- Message boxes ----

struct SimMessageBox {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
    int answer = 0;
};
// Answers are used in order; with none left a box gets IDOK when its
// button set is MB_OK, else IDCANCEL.
void SimQueueMessageBoxAnswer(int answer);
std::vector<SimMessageBox> SimMessageBoxes();

// ---- Dialogs ----

// A message the dialog receives as if from the user. When fromControl is not
// 0, lParam is replaced by that control's window when it is delivered.
struct SimMessage {
    UINT message = WM_NULL;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    int fromControl = 0;
};
// The click of a push button: WM_COMMAND (id, BN_CLICKED) from that button.
SimMessage SimButtonClick(int id);
// The close box of the window's frame.
SimMessage SimCloseBox();

// Messages delivered after WM_INITDIALOG returns, each to the dialog procedure
// until EndDialog is called. Applies to every dialog opened afterwards.
// Default: one click of the IDCANCEL button. When the script runs out before
// EndDialog, DialogBoxParamA returns -1 and the dialog records it.
void SimDialogScript(const std::vector<SimMessage>& script);

struct SimControl {
    int id = 0;
    std::string className;  // "Static", "Button", "ListBox"
    std::string text;
    HWND window = nullptr;
    int updateCount = 0;  // UpdateWindow calls
};
struct SimDialog {
    bool exists = false;  // false before any dialog was opened
    bool open = false;    // still running
    int templateId = 0;
    HWND owner = nullptr;
    HWND window = nullptr;
    std::string caption;  // the window text
    std::vector<SimControl> controls;  // in template order
    HICON bigIcon = nullptr;  // set by WM_SETICON ICON_BIG
    HICON smallIcon = nullptr;
    bool visible = false;
    std::vector<int> showCommands;  // ShowWindow calls on the dialog, in order
    int updateCount = 0;            // UpdateWindow calls on the dialog
    std::vector<std::string> listLines;  // the list box (id 200), in order
    int listSelection = LB_ERR;          // LB_ERR when none
    int listUpdateCount = 0;             // UpdateWindow calls on the list box
    bool ended = false;                  // EndDialog was called
    INT_PTR result = 0;                  // EndDialog's result
    bool scriptRanOut = false;           // closed by the simulation, not the program
    int scriptedMessagesDelivered = 0;
    const SimControl* Control(int id) const;
};
// The open dialog, or the last one after it ended. Callable from callbacks.
SimDialog SimLastDialog();
// The icon LoadIconA gives for the program's icon resource 300.
HICON SimProgramIcon();

// ---- The thread's message queue ----

// Queues a posted message as if another program had posted it. hwnd nullptr
// means the open dialog (or a thread message when none is open).
void SimPostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Every message the queue handed to a window, in order: sent ones as
// PeekMessageA or the dialog's own loop hands them over (they never come out
// of the queue), posted ones through DispatchMessageA or IsDialogMessageA.
std::vector<MSG> SimDispatchedMessages();

// ---- Processes ----

struct SimProcess {
    DWORD id = 0;  // its process id
    bool viaShellExecute = false;  // ShellExecuteA or ShellExecuteExA
    // ShellExecuteA and ShellExecuteExA
    bool viaShellExecuteEx = false;
    DWORD shellExecuteMask = 0;  // SHELLEXECUTEINFOA.fMask; 0 for ShellExecuteA
    std::string verb;        // "" for NULL
    std::string file;
    std::string parameters;  // "" for NULL
    std::string directory;   // "" for NULL
    int showCommand = 0;
    // CreateProcessA and CreateProcessAsUserA
    bool asUser = false;           // CreateProcessAsUserA
    std::string applicationName;   // "" for NULL
    std::string commandLine;
    std::string currentDirectory;  // "" when inherited
    DWORD startupFlags = 0;        // STARTUPINFOA.dwFlags
    WORD showWindow = 0;           // STARTUPINFOA.wShowWindow
    DWORD creationFlags = 0;
    BOOL inheritHandles = FALSE;
    HANDLE stdHandles[3] = {nullptr, nullptr, nullptr};  // with STARTF_USESTDHANDLES
    // Both
    std::string program;       // the resolved program file
    // What it runs with: the starting process's token (its process's, not the
    // thread's), an administrator's after "runas", or CreateProcessAsUserA's.
    SimToken token;
    // nullptr for ShellExecuteA, and for ShellExecuteExA without SEE_MASK_NOCLOSEPROCESS
    HANDLE process = nullptr;
    bool waited = false;       // a wait saw it end
    bool ended = false;
    DWORD exitCode = 0;        // GetExitCodeProcess once it has ended
    bool deadlocked = false;   // waited on without QS_SENDMESSAGE while it sent messages
    int sentMessagesPending = 0;
    UINT sentMessage = WM_NULL;
};
// Run at the start of every process (CreateProcessA and a successful
// ShellExecuteA or ShellExecuteExA), after it has been recorded. May call the
// platform functions, change files, post messages, or read SimLastDialog(),
// e.g. a copy of the program that signals: CreateEventA of the shared name + SetEvent.
void SimOnProcessStart(std::function<void(const SimProcess&)> callback);
// Every process started from now on sends this many messages to the open
// dialog while it is waited on: each wakes MsgWaitForMultipleObjects once with
// the message put in the queue (as WAIT_OBJECT_0 + 1), then the process ends.
// A wait without QS_SENDMESSAGE in its wake mask (or WaitForMultipleObjects,
// which takes no messages) would never return then: it answers WAIT_FAILED,
// the process is marked deadlocked and SimDeadlocks() records it. A message
// in the queue that the wake mask takes ends such a wait first (WAIT_OBJECT_0 + 1).
//
// CreateProcessA starts a program only when its file exists: a quoted name, or
// (unquoted) the shortest blank-separated start of the command line that names
// a file, as Windows tries them; ".exe" is added to a name without extension,
// and a name without folder is looked for in the program's folder, the current
// directory, Windows\System32, Windows\System and Windows. A missing working
// directory fails with ERROR_DIRECTORY. ShellExecuteA answers 33 for an
// existing file and 2 otherwise; ShellExecuteExA is the same call (the same
// lookup, controls and record), answering TRUE with hInstApp 33, or FALSE with
// the last error and ShellExecuteA's answer in hInstApp, as Wine does. As
// under Wine, cbSize is not checked and hProcess is set (NULL on failure) only
// with SEE_MASK_NOCLOSEPROCESS.
// A program file (CreateProcessA's, or ShellExecuteA's ending in .exe or
// .com) is not started (ERROR_SHARING_VIOLATION; ShellExecuteA answers 11)
// while a handle is open on it for writing or without FILE_SHARE_READ, as the
// loader shares reading only. A program ShellExecuteA started does not hold
// its file afterwards (on Windows and Wine its image stays mapped while it
// runs: a test can hold the file in SimOnProcessStart to model that).
void SimSentMessagesWhileRunning(int count, UINT message = WM_NULL);
// With decline set, ShellExecuteA and ShellExecuteExA with the verb "runas"
// start nothing, answer SE_ERR_ACCESSDENIED (5) and set ERROR_CANCELLED, as
// Vista and later do when the user declines the administrator's consent (an
// elevated process is not asked).
void SimDeclineConsent(bool decline);
// Every ShellExecuteA and ShellExecuteExA from now on starts nothing and
// fails with this last error (0: off), answering as Wine does: the error
// itself below 32, otherwise 11 (ERROR_BAD_FORMAT); ERROR_CANCELLED answers 5
// as on Windows.
void SimFailShellExecute(DWORD lastError);
std::vector<SimProcess> SimProcesses();  // both kinds, in order
std::vector<SimProcess> SimShellExecutes();
std::vector<SimProcess> SimCreatedProcesses();
// The exit code of every process started from now on (default 0), which
// GetExitCodeProcess gives once the process has ended (STILL_ACTIVE before).
void SimSetExitCodeOfStartedPrograms(DWORD exitCode);

// ---- Named events and waits ----
//
// Events are manual-reset (a wait leaves them set); names compare with case,
// as on Windows. CreateEventA of an existing name opens it with
// ERROR_ALREADY_EXISTS. A name lasts until SimReset, closed or not (the
// program never closes its events).
//
// WaitForMultipleObjects (bWaitAll FALSE; TRUE is not simulated) takes the
// first signalled handle in order: a set event or an ended process. When none
// is, the first started process among them that has not ended ends (a wait of
// 0 ms only looks), unless it still has messages to send to the open dialog
// (SimSentMessagesWhileRunning): the wait takes no messages, so that is a
// deadlock. When nothing can change, a finite wait times out (WAIT_TIMEOUT,
// its time counted in SimSleptMilliseconds) and an INFINITE one would never
// return: it answers WAIT_FAILED, the journal says "deadlock" and
// SimDeadlocks() records it. MsgWaitForMultipleObjects waits for processes
// only, and for the first of them too.

// The waits that would never have returned, each its journal line.
std::vector<std::string> SimDeadlocks();

// ---- Other records ----

// The time spent in Sleep, in waits that timed out and in message waits for no handle.
DWORD SimSleptMilliseconds();
size_t SimHeapPeak();

// One readable line per platform call, in order, e.g.
//   DeleteFileA("C:\App\a.txt") = 0 [5]
// with the last error in brackets when the call failed. GetLastError and
// SetLastError are not recorded.
std::vector<std::string> SimJournal();
std::string SimJournalText();
void SimClearJournal();
// Lines that start with name + "(".
int SimCountCalls(const std::string& name);
// Another program acting between two calls: the action runs once, right
// after the next call of that function has done its work and been journaled,
// before the call returns to the program. What the action calls is not
// journaled and starts no actions; the program's last error is kept.
void SimAfterCall(const std::string& functionName, std::function<void()> action);
// Index of the first line at or after from that contains text, -1 when none.
int SimFindCall(const std::string& text, int from = 0);

// ---- The clock, and other programs that talk to the window meanwhile ----

// GetTickCount reads a simulated clock. It starts 500 ms before the tick
// count wraps round (as on a machine up for 49.7 days), so only differences
// of ticks make sense, and it moves on only by Sleep, by message waits that
// run out, and by this much for every other recorded platform call (the
// default 0: calls take no time).
void SimSetMillisecondsPerCall(DWORD milliseconds);

// Another program posts the open dialog a message once the clock reaches
// `at` (milliseconds since SimReset), as a key or a click arrives; dropped
// when no dialog is open then. A wait for no handle ends for it when its
// wake mask takes posted messages (QS_KEY for WM_KEYDOWN and the other keys).
void SimPostMessageAt(DWORD at, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Another program sends the open dialog this message, waits for the answer,
// waits `period` ms and sends again, as long as a dialog is open (as a
// helper that calls SendMessageTimeout in a loop). A sent message waits in
// the queue until PeekMessageA or the dialog's own loop hands it to the
// dialog, and wakes a wait whose mask has QS_SENDMESSAGE. Period 0 stops it.
void SimSendEvery(DWORD period, UINT message = WM_NULL);

struct SimAnswer {
    UINT message = WM_NULL;
    DWORD sentAt = 0;        // ms since SimReset when it was put in the queue
    DWORD answeredAt = 0;    // when it was handed to the dialog
    std::string newestLine;  // the status list's last line then, "" when empty
};
// Every sent message handed to the dialog, in order (those of started
// processes too).
std::vector<SimAnswer> SimAnswers();
