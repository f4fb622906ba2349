// Shared internals of the simulation: the journal, handles, path parsing and
// the in-memory file system that the profile and process parts also use.
#pragma once

#include <windows.h>

#include "winsim.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winsim {

// ---- Text ----
std::string Upper(const std::string& text);
bool SameText(const std::string& a, const std::string& b);
// A string argument as the journal shows it: "text" or NULL.
std::string Quoted(const char* text);
std::string Hex(uintptr_t value);
std::string HandleText(const void* handle);

// ---- Last error ----
void SetError(DWORD error);
DWORD Error();

// ---- Journal ----
// Builds one journal line: Call c("DeleteFileA"); c.Str(path); c.Done("0", error).
class Call {
public:
    explicit Call(const char* name);
    Call& Str(const char* text);
    Call& Num(long long value);
    Call& Unsigned(unsigned long long value);
    Call& Wide(const WCHAR* text);  // L"text" in UTF-8, or NULL
    Call& Ptr(const void* pointer);
    Call& Raw(const std::string& text);
    // Records the line with its result; a non-zero error is set as the last
    // error and shown in brackets.
    void Done(const std::string& result, DWORD error = 0);
    // For calls that run callbacks: the line is recorded before they run.
    void DoneBeforeCallbacks(const std::string& result);
    BOOL Succeed(BOOL result = TRUE);
    BOOL Fail(DWORD error);

private:
    void Separator();
    std::string line_;
    bool first_ = true;
};
// Journals the line, then runs the SimAfterCall actions waiting for its function.
void Record(const std::string& line);

// ---- Wide text (UTF-16) and the ANSI code page (1252) ----
std::u16string WideText(const WCHAR* text);       // up to the terminator
std::string Utf8(const std::u16string& text);
// ANSI to UTF-16 through code page 1252.
std::u16string FromAnsi(const std::string& text);
// UTF-16 to code page 1252 as WideCharToMultiByte(CP_ACP) converts it:
// with best fit or without, defaultChar for what has no byte (then
// *usedDefault is set).
std::string ToAnsi(const std::u16string& text, bool bestFit, char defaultChar = '?',
                   bool* usedDefault = nullptr);

// ---- Handles shared by files, searches and processes ----
uintptr_t NewHandleValue();

// ---- Paths ----
// A path made absolute against the current directory, "/" read as "\",
// "." and ".." applied, trailing dots and blanks of names dropped.
struct ParsedPath {
    bool valid = false;
    char drive = 0;                  // upper case
    char typedDrive = 0;             // as typed (or as in the current directory)
    std::vector<std::string> names;  // components as typed
    bool trailingSeparator = false;
    std::string Full() const;        // "C:\a\b" (root "C:\"), drive letter as typed
};
ParsedPath ParsePath(const char* path);

// ---- File system ----
struct Node;
using NodePtr = std::shared_ptr<Node>;
struct Node {
    std::string name;
    std::string shortName;  // "" when the name is already a valid 8.3 name
    bool directory = false;
    DWORD attributes = 0;
    std::string data;
    std::map<std::string, NodePtr> children;  // by upper-case name, so in listing order
    std::map<std::string, Node*> shortNames;  // upper-case short name -> child
    Node* parent = nullptr;
    int openHandles = 0;
    bool deletePending = false;
    DWORD deniedAccess = 0;  // the rights a standard user is refused (SimProtect)
    DWORD administratorAccountAccess = 0;  // of those, what the administrator's own account has
};

struct Found {
    NodePtr node;    // nullptr when missing
    NodePtr parent;  // the directory that holds (or would hold) it; nullptr when that is missing
    DWORD error = 0; // ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when node is missing
};
Found Locate(const ParsedPath& path);
Found Locate(const char* path);
// For the file functions: a trailing separator after a file name (or after a
// missing name) makes the path not found, as Wine reports it.
Found LocateFile(const char* path);
NodePtr DriveRoot(char drive, bool create);
const std::map<char, NodePtr>& Drives();
void ClearDrives();
NodePtr ChildOf(const NodePtr& directory, const std::string& name);
NodePtr AddChild(const NodePtr& directory, const std::string& name, bool isDirectory,
                 DWORD attributes);
// Puts a node (new or unlinked) into a directory under that name.
void Insert(const NodePtr& directory, const NodePtr& node, const std::string& name);
void Unlink(const NodePtr& node);
std::string PathOf(const Node* node);
bool IsValidShortName(const std::string& name);
bool HasInvalidNameChars(const std::string& name);
// The characters that make any name in a path invalid for a lookup (the
// wildcards of the NT name space), as Wine answers ERROR_INVALID_NAME.
bool HasWildcards(const std::string& name);

// Access control (NT family): the rights of a request (generic ones mapped)
// that this process (its thread, while it impersonates) is refused on the
// node; 0 when Administrators or LocalSystem is enabled in its token.
DWORD Refused(const Node* node, DWORD access);
// The process's token has Administrators or LocalSystem enabled.
bool IsElevated();
// Whether the loader may open the node as a program image beside the
// handles already open on it (it reads and shares reading only).
bool ImageOpenAllowed(const Node* node);

// Sharing: whether a new open with this access and share mode is allowed
// beside the handles already open on the node.
bool SharingAllows(const Node* node, DWORD access, DWORD share);
// Opens without a handle (for the profile functions and copies): the file's
// node after the same checks as CreateFileA, or nullptr with the error set.
NodePtr OpenForAccess(const char* path, DWORD access, DWORD share, DWORD* error);
// Writes a whole file as CreateFileA(CREATE_ALWAYS) + WriteFile would.
bool WriteWholeFile(const char* path, const std::string& contents, DWORD attributes,
                    DWORD* error);

std::string WindowsDirectory();
std::string TempPath();
std::string SystemDirectory();
std::string CurrentDirectory();
std::string ModulePath();

// Program lookup of CreateProcessA: a name without folder is searched in the
// program's folder, the current directory, System32, System and the Windows
// directory; ".exe" is added when the name has no extension.
std::string FindProgram(const std::string& name, DWORD* error);

// ---- Tokens (tokens.cpp) ----
const SimToken& ProcessToken();
// The thread's while it impersonates, else the process's.
const SimToken& EffectiveToken();
bool HasAdministratorRights(const SimToken& token);
HANDLE NewTokenHandle(const SimToken& token);
bool TokenOfHandle(HANDLE handle, SimToken* token);
bool CloseTokenHandle(HANDLE handle);
// ADVAPI32's functions GetProcAddress hands out.
BOOL WINAPI SimulatedCheckTokenMembership(HANDLE token, PSID sid, BOOL* isMember);
BOOL WINAPI SimulatedCreateRestrictedToken(HANDLE existing, DWORD flags, DWORD disableCount,
                                           SID_AND_ATTRIBUTES* disable, DWORD deleteCount,
                                           LUID_AND_ATTRIBUTES* privileges, DWORD restrictCount,
                                           SID_AND_ATTRIBUTES* restrict, HANDLE* restricted);
BOOL WINAPI SimulatedImpersonateLoggedOnUser(HANDLE token);
BOOL WINAPI SimulatedRevertToSelf();
BOOL WINAPI SimulatedCreateProcessAsUserA(HANDLE token, LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                          LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                          LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                          DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                          LPSTARTUPINFOA lpStartupInfo,
                                          LPPROCESS_INFORMATION lpProcessInformation);

// ---- Parts reset by SimReset ----
void ResetFiles();
void ResetRegistry();
void ResetProcesses();
void ResetObjects();
void ResetWindows();
void ResetSystem();
void ResetJournal();
void ResetModules();
void ResetTokens();
// Forgets SimSetUnicodeTempFolder (SimReset and SimSetTempPath).
void ClearUnicodeTempFolder();

// The simulated KERNEL32 functions GetProcAddress hands out.
DWORD WINAPI SimulatedGetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
DWORD WINAPI SimulatedGetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer);
// The temporary folder outside the code page (SimSetUnicodeTempFolder): the
// long form spelt in ANSI ('?' for what has no byte) and the short form that
// exists in the tree; "" when none is set.
std::string UnicodeTempAnsiSpelling();
std::string UnicodeTempShortPath();

// Between parts.
bool CloseProcessHandle(HANDLE handle);
bool CloseObjectHandle(HANDLE handle);  // events

// Started processes for the waits: the process a process or thread handle
// stands for (its index in SimProcesses()), and what a wait may change in it.
bool WaitableProcess(HANDLE handle, size_t* index);
SimProcess& ProcessRecord(size_t index);
// The process ends (with the exit code it was given); waited: a wait saw it end.
void EndStartedProcess(size_t index, bool waited);
// A wait that would never return (SimDeadlocks).
void RecordDeadlock(const std::string& description);
// Sleep and waits that time out.
void AddSleptMilliseconds(DWORD milliseconds);
// Held by a process started with CreateProcessA that has not ended.
bool IsRunningProgramFile(const Node* node);
bool IsRunningProcessDirectory(const Node* node);
bool CloseFileHandle(HANDLE handle);
HWND OpenDialogWindow();
// Puts a message in the thread's queue; sent ones stand for messages another
// program sends while this one waits.
void QueueMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool sent,
                  bool fromPeriodicSender = false);
std::string MessageName(UINT message);
// Creates a registry value as MoveFileExA needs it (HKLM key, REG_MULTI_SZ append).
bool AppendPendingRename(const std::string& source, const std::string* target, bool replace,
                         DWORD* error);

// ---- The clock and the queue (clock.cpp, windows.cpp) ----
// Milliseconds since SimReset.
DWORD Now();
// Moves the clock on and queues the messages that arrive meanwhile.
void AdvanceClock(DWORD milliseconds);
// The time one recorded platform call takes.
void AdvanceClockForCall();
// Milliseconds until the next planned message arrives (0: due now), INFINITE when none is.
DWORD UntilNextArrival();
// The periodic sender got its answer and waits for its next turn.
void PeriodicSendAnswered();
void ResetClock();
// Whether the queue holds a message that a wait with this wake mask returns for.
bool QueueWakes(DWORD wakeMask);

}  // namespace winsim
