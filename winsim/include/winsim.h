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

// The program's instance handle, the one its entry point receives: its icon
// and dialog resources are found only through this handle.
HINSTANCE SimInstance();
void SimSetModulePath(const std::string& path);
// The text GetTempPathA returns; a trailing backslash is added when missing.
void SimSetTempPath(const std::string& path);
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
// Holds a file open as another program would, with that access and sharing.
// Returns nullptr when the file cannot be opened so.
HANDLE SimHoldFileOpen(const std::string& path, DWORD shareMode = 0,
                       DWORD access = GENERIC_READ);
void SimReleaseFile(HANDLE held);

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
    LPARAM initParam = 0;
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
// The open dialog's window, nullptr when none.
HWND SimDialogWindow();
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
    bool viaShellExecute = false;
    // ShellExecuteA
    std::string verb;        // "" for NULL
    std::string file;
    std::string parameters;  // "" for NULL
    std::string directory;   // "" for NULL
    int showCommand = 0;
    // CreateProcessA
    std::string applicationName;   // "" for NULL
    std::string commandLine;
    std::string currentDirectory;  // "" when inherited
    DWORD startupSize = 0;         // STARTUPINFOA.cb
    DWORD startupFlags = 0;        // STARTUPINFOA.dwFlags
    WORD showWindow = 0;           // STARTUPINFOA.wShowWindow
    DWORD creationFlags = 0;
    BOOL inheritHandles = FALSE;
    // Both
    std::string program;       // the resolved program file
    HANDLE process = nullptr;  // nullptr for ShellExecuteA
    bool waited = false;       // a wait saw it end
    bool ended = false;
    bool deadlocked = false;   // waited on without QS_SENDMESSAGE while it sent messages
    int sentMessagesPending = 0;
    UINT sentMessage = WM_NULL;
};
// Run at the start of every process (CreateProcessA and a successful
// ShellExecuteA), after it has been recorded. May call the platform functions,
// change files, post messages, or read SimLastDialog().
void SimOnProcessStart(std::function<void(const SimProcess&)> callback);
// Every process started from now on sends this many messages to the open
// dialog while it is waited on: each wakes MsgWaitForMultipleObjects once with
// the message put in the queue (as WAIT_OBJECT_0 + 1), then the process ends.
// A wait without QS_SENDMESSAGE in its wake mask would never return then: it
// answers WAIT_FAILED and the process is marked deadlocked. A message in the
// queue that the wake mask takes ends such a wait first (WAIT_OBJECT_0 + 1).
//
// CreateProcessA starts a program only when its file exists: a quoted name, or
// (unquoted) the shortest blank-separated start of the command line that names
// a file, as Windows tries them; ".exe" is added to a name without extension,
// and a name without folder is looked for in the program's folder, the current
// directory, Windows\System32, Windows\System and Windows. A missing working
// directory fails with ERROR_DIRECTORY. ShellExecuteA answers 33 for an
// existing file and 2 otherwise.
void SimSentMessagesWhileRunning(int count, UINT message = WM_NULL);
std::vector<SimProcess> SimProcesses();  // both kinds, in order
std::vector<SimProcess> SimShellExecutes();
std::vector<SimProcess> SimCreatedProcesses();

// ---- Other records ----

// Time spent in Sleep and in message waits for no handle.
DWORD SimSleptMilliseconds();
size_t SimHeapInUse();
size_t SimHeapPeak();
// HeapAlloc and HeapReAlloc fail (NULL) once the bytes in use would pass this.
void SimSetHeapLimit(size_t bytes);

// One readable line per platform call, in order, e.g.
//   DeleteFileA("C:\App\a.txt") = 0 [5]
// with the last error in brackets when the call failed. GetLastError and
// SetLastError are not recorded.
std::vector<std::string> SimJournal();
std::string SimJournalText();
void SimClearJournal();
// Lines that start with name + "(".
int SimCountCalls(const std::string& name);
// Index of the first line at or after from that contains text, -1 when none.
int SimFindCall(const std::string& text, int from = 0);

// ---- The clock, and other programs that talk to the window meanwhile ----

// GetTickCount reads a simulated clock. It starts 500 ms before the tick
// count wraps round (as on a machine up for 49.7 days), so only differences
// of ticks make sense, and it moves on only by Sleep, by message waits that
// run out, and by this much for every other recorded platform call (the
// default 0: calls take no time).
void SimSetMillisecondsPerCall(DWORD milliseconds);
// Milliseconds on the clock since SimReset.
DWORD SimNow();

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
    DWORD sentAt = 0;        // SimNow() when it was put in the queue
    DWORD answeredAt = 0;    // when it was handed to the dialog
    std::string newestLine;  // the status list's last line then, "" when empty
};
// Every sent message handed to the dialog, in order (those of started
// processes too).
std::vector<SimAnswer> SimAnswers();
