// A scenario: one use of the uninstaller, written as an installer author would
// describe it (the world before, install.log, how the user starts and answers
// the program, what must be true afterwards). FORMAT.md describes the text form.
//
// This part only reads the text. It is plain C++17 without any platform header,
// shared by the native runner (against the simulated platform) and the Wine
// runner (a Windows program run inside Wine).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace scenario {

enum class Family { Nt, Win98 };
enum class Answer { Ok, Cancel };
enum class CloseBy { Button, CloseBox, Escape };

// What happens to a thing of the world: it must be gone afterwards, still be
// there unchanged, or it is only set up (its state afterwards is stated in
// the "after:" block, or not checked).
enum class Fate { Gone, Kept, Set };

enum class Kind {
    File,     // a file with its contents
    Dir,      // a folder
    Key,      // a registry key, "HKCU\path"
    Value,    // a registry value, "HKCU\path\name" ("HKCU\path\" is the default value)
    Ini,      // an INI entry, "file,section,key" as [AddIni] writes it
    Program,  // a copy of the uninstaller under test
    Log,      // the installation log; its text is the "log:" block
    Probe,    // a copy of the probe program (it writes probe.txt next to itself)
    Pending,  // another program's deletion at restart (PendingFileRenameOperations)
};

const char* KindName(Kind kind);

// Registry value types, with Windows' numbers.
const uint32_t TYPE_NONE = 0, TYPE_SZ = 1, TYPE_EXPAND_SZ = 2, TYPE_BINARY = 3, TYPE_DWORD = 4,
               TYPE_MULTI_SZ = 7;
std::string TypeName(uint32_t type);

// How a text file is stored: ANSI (code page 1252) bytes, or UTF-8 or
// UTF-16 (little endian), each with its byte order mark.
enum class Encoding { Ansi, Utf8, Utf16 };
// ANSI text in that encoding.
std::string Encoded(const std::string& ansi, Encoding encoding);

struct Item {
    int line = 0;  // in the scenario file
    Fate fate = Fate::Set;
    bool present = true;  // "after:" items: false for "no file ..." and the like
    Kind kind = Kind::File;
    bool readOnly = false, hidden = false, held = false;
    Encoding encoding = Encoding::Ansi;  // of a file's contents
    bool unterminated = false;           // its last line has no line break

    std::string path;  // file, folder, program, log, probe, pending path; INI file
    // Registry items.
    std::string root;       // "HKCU", "HKLM", "HKCR", "HKU"
    std::string subkey;     // below the root
    std::string valueName;  // "" is the default value
    uint32_t valueType = TYPE_SZ;
    std::string valueBytes;  // as stored (strings with their terminating NUL)
    // INI entries.
    std::string section, key;
    // Contents of a file, or the value of an INI entry.
    bool hasText = false;
    std::string text;

    // "file C:\a.txt", "value HKCU\Software\x\Name", ...
    std::string Describe() const;
    // A file's bytes as stored (text in its encoding, the last line break
    // dropped when unterminated).
    std::string Contents() const { return Encoded(Text(), encoding); }
    std::string Text() const;
};

// A message box the progress window shows while the files are removed; the
// runners answer Cancel, or No where there is none (never a restart).
struct Box {
    std::string caption, text;
    std::vector<std::string> buttons;  // "Retry", "Cancel", "Yes", "No", "OK"
};

// A deletion at the next restart the program must have scheduled.
struct Scheduled {
    enum Via { Registry, Wininit };
    int line = 0;
    std::string path;
    Via via = Registry;
};

struct Scenario {
    std::string name;         // the file name without ".txt"
    std::string description;  // the comment lines at the top
    std::map<std::string, std::string> placeholders;

    // How it runs.
    Family family = Family::Nt;
    std::string program;  // the program file started (a Program item of the world)
    std::string from;     // the current directory it is started with
    std::string tempFolder;  // the user's temporary folder ("": the platform's); %TEMP% from here on
    std::string arguments;
    Answer answer = Answer::Ok;
    CloseBy closeBy = CloseBy::Button;

    // The world before, and install.log.
    std::vector<Item> world;
    std::string logText;  // CRLF line ends, ANSI (code page 1252)
    Encoding logEncoding = Encoding::Ansi;
    // The log file's bytes in its encoding.
    std::string LogBytes() const { return Encoded(logText, logEncoding); }

    // What is expected.
    bool checkRelaunch = false;
    bool relaunches = true;        // false: "relaunch: none", the first run starts no copy
    std::string relaunchArgument;  // the argument the temporary copy gets
    bool expectBox = false;
    std::string boxCaption, boxText;
    std::vector<std::string> boxButtons;  // "OK", "Cancel"
    std::vector<Box> windowBoxes;         // the "box:" lines after the first
    bool expectWindow = false;
    std::string windowCaption, closeText;
    bool checkStatus = false;
    std::vector<std::string> status;
    int exitCode = 0;  // of the second run (the first ends with 0), or of the first when it starts no copy
    std::vector<Scheduled> restart;
    std::vector<Item> after;

    // The Program, Log and Probe items, for the runners.
    std::vector<const Item*> ItemsOf(Kind kind) const;
    // The items of the world held open by another program during the run.
    std::vector<const Item*> HeldFiles() const;
};

// Placeholders for one scenario: %APP%, %OTHER%, %KEY%, %NAME% from its name,
// %WINDIR% and %TEMP% (no trailing backslash) as the platform gives them.
std::map<std::string, std::string> PlaceholdersFor(const std::string& name, const std::string& windowsFolder,
                                                   const std::string& tempFolder);

// Which runner reads the scenario. Where Wine is known to behave unlike
// Windows, a scenario gives both expectations ("|windows|" and "|wine|" lines);
// the simulation follows Windows there.
enum class Runner { Simulation, Wine };

// Reads a scenario; on an error, false with the line and the reason in *error.
bool Parse(const std::string& text, const std::string& name, const std::map<std::string, std::string>& placeholders,
           Runner runner, Scenario* scenario, std::string* error);

// The text without the blanks (spaces, tabs) at either end.
std::string Trim(const std::string& text);

// Equal but for the case of the letters A-Z.
bool SameIgnoringCase(const std::string& a, const std::string& b);

// Whether a file of the scenario folder is a scenario: "*.txt" but CMakeLists.txt.
bool IsScenarioFile(const std::string& fileName);

// The scenario's name from its file path: the file name without ".txt".
std::string NameOfFile(const std::string& path);

// "{short PATH}" in an expected text: the platform's short (8.3) form of PATH.
std::string ExpandShortPaths(const std::string& text,
                             const std::function<std::string(const std::string&)>& shortPath);

// The arguments in a command line: after the program (quoted or not) and the
// blanks that follow it, as a started program finds them.
std::string ArgumentsOf(const std::string& commandLine);

// Text shown in a message: quoted, control characters and bytes above 127 made visible.
std::string Quote(const std::string& text);

// ANSI (code page 1252) text as UTF-8, for a report on a terminal.
std::string ForDisplay(const std::string& ansi);

}  // namespace scenario
