// Starting the program, finding its second run, exit codes and stray processes.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace processes {

// Starts a program the way Explorer or a shortcut does: its quoted path,
// optionally followed by the arguments, with the given current directory.
bool Start(const std::string& program, const std::string& arguments,
           const std::string& currentDirectory, PROCESS_INFORMATION* started);

// Waits at most timeoutMs; true with the exit code once the process has ended.
bool WaitForExit(HANDLE process, DWORD timeoutMs, DWORD* exitCode);

// Opens the process that owns a window, for waiting and for its exit code.
HANDLE OpenOwnerOf(HWND window);

std::string ImagePath(HANDLE process);
// The full command line the process was started with.
std::string CommandLine(HANDLE process);
// A command line without its program part (quoted or not) and the blanks after it.
std::string ArgumentsOf(const std::string& commandLine);

// The file name of the process's image, or "" when it cannot be read.
std::string ImageName(DWORD processId);

// The processes of that image file name other than this one.
std::vector<DWORD> ProcessesNamed(const std::string& fileName);

// Ends every process of that file name other than this one; returns how many.
int KillAllNamed(const std::string& fileName);

// What the process's token says of Administrators and privileges, e.g.
// "Administrators deny-only, no member of Administrators, 1 privilege".
std::string TokenRights(HANDLE process);

// The running process whose image is that file, opened to be ended; nullptr when none.
HANDLE OpenRunning(const std::string& imagePath);

// Runs a program and waits for it; false when it cannot start or takes too long.
bool RunAndWait(const std::string& commandLine, DWORD timeoutMs, DWORD* exitCode);

}  // namespace processes
