// The journal of platform calls, the last error, handle numbers and small text helpers.
#include "state.h"

#include <cctype>
#include <cstdio>
#include <functional>

namespace winsim {

namespace {
std::vector<std::string> g_journal;
DWORD g_lastError = 0;
uintptr_t g_nextHandle = 0x100;
// SimAfterCall: actions by function name, and whether one is running.
std::multimap<std::string, std::function<void()>> g_afterCalls;
bool g_inAction = false;

std::string FunctionName(const std::string& line)
{
    size_t end = 0;
    while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_'))
        ++end;
    return line.substr(0, end);
}

// Another program's actions are not the program's calls: they are not
// journaled, start no further actions and leave the last error alone.
void RunActionsAfter(const std::string& line)
{
    auto range = g_afterCalls.equal_range(FunctionName(line));
    if (range.first == range.second)
        return;
    std::vector<std::function<void()>> actions;
    for (auto it = range.first; it != range.second; ++it)
        actions.push_back(std::move(it->second));
    g_afterCalls.erase(range.first, range.second);
    DWORD savedError = g_lastError;
    g_inAction = true;
    for (const auto& action : actions)
        action();
    g_inAction = false;
    g_lastError = savedError;
}
}  // namespace

// Names (of files, keys, values, INI sections and keys) compare without
// regard to case for every letter, as Windows and Wine compare them through
// Unicode upper case: besides ASCII, the letters of code page 1252, the ANSI
// code page of the machine the simulation stands for (and of the Wine prefix
// the tests run in).
std::string Upper(const std::string& text)
{
    std::string result = text;
    for (char& c : result) {
        unsigned char byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7))
            byte = static_cast<unsigned char>(byte - 0x20);  // a-z, à-þ but ÷
        else if (byte == 0x9A || byte == 0x9C || byte == 0x9E)
            byte = static_cast<unsigned char>(byte - 0x10);  // š œ ž
        else if (byte == 0xFF)
            byte = 0x9F;  // ÿ
        c = static_cast<char>(byte);
    }
    return result;
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && Upper(a) == Upper(b);
}

std::string Quoted(const char* text)
{
    if (text == nullptr)
        return "NULL";
    return "\"" + std::string(text) + "\"";
}

std::string Hex(uintptr_t value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
    return buffer;
}

std::string HandleText(const void* handle)
{
    if (handle == nullptr)
        return "NULL";
    return Hex(reinterpret_cast<uintptr_t>(handle));
}

void SetError(DWORD error) { g_lastError = error; }
DWORD Error() { return g_lastError; }

void Record(const std::string& line)
{
    if (g_inAction)
        return;
    g_journal.push_back(line);
    RunActionsAfter(line);
}

uintptr_t NewHandleValue()
{
    g_nextHandle += 4;
    return g_nextHandle;
}

Call::Call(const char* name) : line_(std::string(name) + "(") {}

void Call::Separator()
{
    if (!first_)
        line_ += ", ";
    first_ = false;
}

Call& Call::Str(const char* text)
{
    Separator();
    line_ += Quoted(text);
    return *this;
}

Call& Call::Num(long long value)
{
    Separator();
    line_ += std::to_string(value);
    return *this;
}

Call& Call::Unsigned(unsigned long long value)
{
    Separator();
    line_ += std::to_string(value);
    return *this;
}

Call& Call::Wide(const WCHAR* text)
{
    Separator();
    line_ += text ? "L\"" + Utf8(WideText(text)) + "\"" : std::string("NULL");
    return *this;
}

Call& Call::Ptr(const void* pointer)
{
    Separator();
    line_ += HandleText(pointer);
    return *this;
}

Call& Call::Raw(const std::string& text)
{
    Separator();
    line_ += text;
    return *this;
}

void Call::Done(const std::string& result, DWORD error)
{
    std::string line = line_ + ") = " + result;
    if (error != 0) {
        SetError(error);
        line += " [" + std::to_string(error) + "]";
    }
    Record(line);
    AdvanceClockForCall();
}

void Call::DoneBeforeCallbacks(const std::string& result) { Done(result); }

BOOL Call::Succeed(BOOL result)
{
    Done(std::to_string(result));
    return result;
}

BOOL Call::Fail(DWORD error)
{
    Done("0", error);
    return FALSE;
}

void ResetJournal()
{
    g_afterCalls.clear();
    g_inAction = false;
    g_journal.clear();
    g_lastError = 0;
    g_nextHandle = 0x100;
}

}  // namespace winsim

using namespace winsim;

extern "C" DWORD WINAPI GetLastError(void) { return g_lastError; }
extern "C" void WINAPI SetLastError(DWORD dwErrCode) { g_lastError = dwErrCode; }

std::vector<std::string> SimJournal() { return g_journal; }

std::string SimJournalText()
{
    std::string text;
    for (const std::string& line : g_journal)
        text += line + "\n";
    return text;
}

void SimClearJournal() { g_journal.clear(); }

void SimAfterCall(const std::string& functionName, std::function<void()> action)
{
    g_afterCalls.emplace(functionName, std::move(action));
}

int SimCountCalls(const std::string& name)
{
    int count = 0;
    std::string prefix = name + "(";
    for (const std::string& line : g_journal)
        if (line.compare(0, prefix.size(), prefix) == 0)
            ++count;
    return count;
}

int SimFindCall(const std::string& text, int from)
{
    for (size_t i = from < 0 ? 0 : size_t(from); i < g_journal.size(); ++i)
        if (g_journal[i].find(text) != std::string::npos)
            return int(i);
    return -1;
}
