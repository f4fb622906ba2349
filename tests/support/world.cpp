#include "support/world.h"

const char INSTALL_DIR[] = "C:\\Program Files\\Acme Tool";
const char PROGRAM_PATH[] = "C:\\Program Files\\Acme Tool\\vorsil.exe";
const char LOG_PATH[] = "C:\\Program Files\\Acme Tool\\install.log";
const char TEMP_DIR[] = "C:\\Windows\\Temp\\";
const char TEMP_COPY[] = "C:\\Windows\\Temp\\vorsil.exe";

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

void InstallApplication(const std::string& log)
{
    SimReset();
    SimSetTempPath(TEMP_DIR);
    SimWriteFile(PROGRAM_PATH, "MZ program");
    SimWriteFile(LOG_PATH, log);
}

static int RunAs(const std::string& modulePath, const std::string& arguments)
{
    SimSetModulePath(modulePath);
    std::vector<char> text(arguments.begin(), arguments.end());
    text.push_back('\0');
    return WinMain(SimInstance(), nullptr, text.data(), SW_SHOWDEFAULT);
}

int RunInstalledProgram(const std::string& arguments, const std::string& programPath)
{
    return RunAs(programPath, arguments);
}

int RunTempCopy(const std::string& arguments, int answer, const std::string& copyPath)
{
    SimWriteFile(copyPath, "MZ program");
    SimQueueMessageBoxAnswer(answer);
    return RunAs(copyPath, arguments);
}

int Uninstall(int answer)
{
    return RunTempCopy(LOG_PATH, answer);
}

int UninstallAnswering(const std::vector<int>& answers)
{
    SimWriteFile(TEMP_COPY, "MZ program");
    for (int answer : answers)
        SimQueueMessageBoxAnswer(answer);
    return RunAs(TEMP_COPY, LOG_PATH);
}

std::vector<std::string> StatusLines()
{
    return SimLastDialog().listLines;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}
