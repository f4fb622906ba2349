// The entry of both runs: the relaunch from the temporary folder and the second
// run up to the progress window.
#pragma once
#include <windows.h>

// Arguments of at most this many characters are taken for switches, not a log path.
const unsigned SHORT_ARGUMENT_LENGTH = 6;
const char DEFAULT_FILE_NAME[] = "vorsil.exe";
const char DEFAULT_LOG_NAME[] = "install.log";

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

// Registers the temporary copy for deletion at the next restart.
void ScheduleSelfDeletion(const char* path);
