// Fuzz target: the launcher over arbitrary argument text and module and
// temporary folder paths, in both runs.
//
// Input: one flag byte, then up to five texts separated by NUL bytes:
//   1. the argument text (or, with FLAG_COMMAND_LINE, the whole command line,
//      whose argument text FindArgumentText finds, as the entry point does);
//   2. the module path (with FLAG_SECOND_RUN: the file name of the copy in the
//      temporary folder); empty: the installed program;
//   3. the temporary folder; empty: C:\Windows\Temp\;
//   4. the text of the installation log (the one in the installation folder,
//      and with FLAG_LOG_AT_ARGUMENT also one at the path the argument names);
//   5. when present, the text of C:\Windows\wininit.ini, where the 95 family
//      lists the copy for deletion at the next start: what it held before
//      must all still be there afterwards.
// The machine is the one of fuzz_world.h, with the same oracle afterwards.
#include "fuzz_world.h"

#include "launcher.h"
#include "report.h"
#include "messages.h"
#include "support/world.h"

#include <cstring>
#include <vector>

namespace {

enum Flags {
    FLAG_SECOND_RUN = 1,
    FLAG_95_FAMILY = 2,
    FLAG_CANCEL = 4,
    FLAG_COMMAND_LINE = 8,
    FLAG_LOG_AT_ARGUMENT = 16,
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The argument text of a command line: after the program's name (quoted: up
// to its closing quote), blanks skipped.
size_t ArgumentOffset(const std::string& commandLine)
{
    size_t position = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        position = close == std::string::npos ? commandLine.size() : close + 1;
    } else {
        while (position < commandLine.size() && !IsBlank(commandLine[position]))
            ++position;
    }
    while (position < commandLine.size() && IsBlank(commandLine[position]))
        ++position;
    return position;
}

// The log path the second run takes from its argument: the argument, or for
// a quoted one the text after the opening quote up to the last quote.
std::string LogPathOf(const std::string& argument)
{
    if (argument.empty() || argument[0] != '"')
        return argument;
    std::string path = argument.substr(1);
    size_t quote = path.rfind('"');
    return quote == std::string::npos ? path : path.substr(0, quote);
}

// The folder part, cut at the last separator as the platform reads "\\" and "/".
std::string FolderOf(const std::string& path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// Places a file only where a user could have one: in an existing folder, at
// a free name (never below a file).
void PlaceFile(const std::string& path, const std::string& contents)
{
    if (path.size() < MAX_PATH && !FolderOf(path).empty() && SimDirectoryExists(FolderOf(path)) &&
        !SimFileExists(path) && !SimDirectoryExists(path))
        SimWriteFile(path, contents);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    SetFuzzInput(data, size);
    unsigned flags = data[0];
    std::vector<std::string> fields;
    const char* text = reinterpret_cast<const char*>(data + 1);
    size_t left = size - 1;
    while (fields.size() < 5) {
        size_t length = strnlen(text, left);
        fields.emplace_back(text, length);
        if (length == left)
            break;
        text += length + 1;
        left -= length + 1;
    }
    bool hasWininit = fields.size() == 5;
    fields.resize(5);
    const std::string& argumentField = fields[0];

    BuildFuzzWorld(fields[3], (flags & FLAG_95_FAMILY) == 0);
    if (!fields[2].empty())
        SimSetTempPath(fields[2]);
    std::string tempPath = fields[2].empty() ? std::string(TEMP_DIR) : fields[2];
    if (tempPath.back() != '\\')
        tempPath += '\\';
    bool secondRun = (flags & FLAG_SECOND_RUN) != 0;
    std::string modulePath = secondRun ? tempPath + fields[1] : fields[1].empty() ? std::string(PROGRAM_PATH) : fields[1];
    SimSetModulePath(modulePath);
    PlaceFile(modulePath, "MZ program");
    const char WININIT[] = "C:\\Windows\\wininit.ini";
    if (hasWininit)
        SimWriteFile(WININIT, fields[4]);

    // The text handed to WinMain, in a buffer of exactly its size.
    std::vector<char> commandLine(argumentField.begin(), argumentField.end());
    commandLine.push_back('\0');
    char* buffer = new char[commandLine.size()];
    std::memcpy(buffer, commandLine.data(), commandLine.size());
    char* argument = buffer;
    if (flags & FLAG_COMMAND_LINE) {
        argument = FindArgumentText(buffer);
        if (argument != buffer + ArgumentOffset(argumentField))
            FuzzFailure("FindArgumentText did not find the text after the program's name");
    }
    std::string argumentText = argument;

    // A silent run takes its log argument after the switches, and shows no box.
    // The model below knows no trial and no report: those runs are only checked
    // for what they leave.
    std::string logArgument = TakeSwitches(argumentText.c_str());
    bool silent = g_silent;
    bool modelled = !g_trial && g_reportPath[0] == '\0';
    std::string logPath = LogPathOf(logArgument);
    if (flags & FLAG_LOG_AT_ARGUMENT)
        PlaceFile(logPath, fields[3]);
    bool logReadable = logPath.size() < MAX_PATH && !logPath.empty() && logPath.back() != '\\' &&
                       logPath.back() != '/' && SimFileExists(logPath);
    SimQueueMessageBoxAnswer((flags & FLAG_CANCEL) ? IDCANCEL : IDOK);

    int exitCode = WinMain(SimInstance(), nullptr, argument, SW_SHOWDEFAULT);
    delete[] buffer;
    if (!modelled) {
        CheckWorld();
        return 0;
    }

    std::vector<SimProcess> started = SimShellExecutes();
    std::vector<SimMessageBox> boxes = SimMessageBoxes();
    if (!started.empty()) {
        // The first run: the copy is started with the argument or the default log path.
        // A silent one waits for it; this copy ends with 0 without a word: it did not finish.
        if (exitCode != (silent ? EXIT_NOT_REMOVED : 0) || started.size() != 1 || !boxes.empty())
            FuzzFailure("the first run did more than start the copy once (exit code " + std::to_string(exitCode) +
                        ", " + std::to_string(started.size()) + " started, " + std::to_string(boxes.size()) + " boxes)");
        std::string expected = logArgument;
        if (logArgument.size() <= SHORT_ARGUMENT_LENGTH) {
            size_t cut = modulePath.rfind('\\');
            if (cut == std::string::npos)
                expected = modulePath;
            else if (cut + 1 + std::strlen(DEFAULT_LOG_NAME) < MAX_PATH)
                expected = modulePath.substr(0, cut + 1) + DEFAULT_LOG_NAME;
            else
                expected = "";
        }
        // A silent run passes its switch on, then the log argument.
        if (silent)
            expected = "/S " + expected;
        if (expected.size() >= PARAMETERS_SIZE)
            expected = silent ? "/S" : "";
        if (started[0].parameters != expected)
            FuzzFailure("the copy was started with \"" + started[0].parameters + "\" instead of \"" + expected + "\"");
    } else if (silent) {
        if (!boxes.empty() || SimLastDialog().exists)
            FuzzFailure("a silent run showed a window");
        if (exitCode != EXIT_NO_SAFE_COPY && exitCode != (logReadable ? 0 : 1))
            FuzzFailure("the silent second run took the log \"" + logPath + "\" for " +
                        (logReadable ? "missing" : "present"));
    } else if (exitCode == EXIT_NO_SAFE_COPY) {
        // No copy could be prepared: one box says so, and nothing was started.
        if (boxes.size() != 1 || boxes[0].text != MessageText(MSG_NO_SAFE_COPY))
            FuzzFailure("the first run gave up on its copy without saying so");
    } else if (!boxes.empty()) {
        // The second run: the error box and exit code 1 exactly when the log cannot be opened.
        bool errorBox = boxes[0].type == MB_ICONHAND;
        if (errorBox != !logReadable || exitCode != (logReadable ? 0 : 1))
            FuzzFailure("the second run took the log \"" + logPath + "\" for " +
                        (logReadable ? "missing" : "present"));
    }
    if (hasWininit && !InputNames("wininit.ini")) {
        // Lines are only added: the old text is a subsequence of the new one.
        const std::string& before = fields[4];
        std::string after = SimReadFile(WININIT);
        size_t matched = 0;
        for (size_t i = 0; i < after.size() && matched < before.size(); ++i)
            if (after[i] == before[matched])
                ++matched;
        if (matched != before.size())
            FuzzFailure("wininit.ini lost some of what it held before");
    }
    CheckWorld();
    return 0;
}
