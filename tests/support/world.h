// A simulated machine with an installed application, and the two runs of the
// program on it, for tests that read as scenarios.
#pragma once
#include <windows.h>
#include <winsim.h>

#include <string>
#include <vector>

extern const char INSTALL_DIR[];   // C:\Program Files\Acme Tool
extern const char PROGRAM_PATH[];  // the installed program in it
extern const char LOG_PATH[];      // its install.log
extern const char TEMP_DIR[];      // the temporary folder, with its backslash
extern const char TEMP_COPY[];     // the program's copy there

// A fresh machine: the installation folder holding the program and a log with
// this text (CRLF line ends added), the NT family unless told otherwise.
void InstallApplication(const std::string& log);

// The first run, started as the installed program with this argument text.
int RunInstalledProgram(const std::string& arguments, const std::string& programPath = PROGRAM_PATH);
// The second run, started as the copy in the temporary folder; the user's
// answer to the question, then Close in the progress window.
int RunTempCopy(const std::string& arguments, int answer = IDOK, const std::string& copyPath = TEMP_COPY);
// The whole uninstall as the first run's ShellExecuteA would start it.
int Uninstall(int answer = IDOK);
// The same, the boxes answered in order: the question, then the progress window's.
int UninstallAnswering(const std::vector<int>& answers);

std::vector<std::string> StatusLines();

// Lines joined with CRLF, as an installer writes its log.
std::string Lines(const std::vector<std::string>& lines);
