#include "report.h"
#include "launcher.h"
#include "messages.h"
#include "progress.h"
#include "text.h"

// The build gives the version it writes into the version resource; the
// tests' build gives none.
#ifndef VORSIL_VERSION_TEXT
#define VORSIL_VERSION_TEXT "1.0.0.0"
#endif

bool g_trial;
char g_reportPath[MAX_PATH];
const char* g_section;

static HANDLE g_report; // nullptr when there is none
// A trial's items that would go, and those that would stay.
static unsigned g_wouldGo;
static unsigned g_wouldStay;
// The paths of a trial's items that would go, each ended by a terminator: a
// folder or key that holds only such items would go too. What does not fit
// keeps its container, as an item the user added would.
static const unsigned WOULD_GO_SIZE = 256 * 1024;
static char g_wouldGoPaths[WOULD_GO_SIZE];
static unsigned g_wouldGoSize;

// A line of the report: an item's and its detail's share are bounded, so it
// always fits wsprintfA's limit of 1024 characters.
static char g_line[1024];

static const char OUTCOME_WORDS[] = "removed\0renamed\0scheduled\0ran\0missing\0not-removed\0kept\0not-started";
static const char RIGHTS_WORDS[] = "ordinary\0elevated\0SYSTEM";

static void WriteLine()
{
    DWORD written;
    (void)WriteFile(g_report, g_line, TextLength(g_line), &written, nullptr); // a full disk loses lines, not the removal
}

// An administrator's copy writes only where an ordinary user could: a path
// (or a junction on it) that a user chose is no way into a protected folder.
// SYSTEM's copy writes with its own rights, for the deployment tool that runs it.
static HANDLE CreateReportFile()
{
    bool elevated = CurrentRights() == RIGHTS_ELEVATED;
    if (elevated && !ImpersonateUser(OrdinaryUserToken()))
        return INVALID_HANDLE_VALUE;
    HANDLE report = CreateFileA(g_reportPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (elevated)
        StopImpersonating();
    return report;
}

void OpenReport()
{
    g_wouldGo = 0;
    g_wouldStay = 0;
    g_wouldGoSize = 0;
    g_report = nullptr;
    if (g_reportPath[0] == '\0')
        return;
    HANDLE report = CreateReportFile();
    if (report == INVALID_HANDLE_VALUE) {
        (void)wsprintfA(g_line, "%.255s %s", MessageText(MSG_REPORT_NOT_WRITTEN), g_reportPath);
        AddStatusLine(g_line);
        return;
    }
    g_report = report;
    SYSTEMTIME now;
    GetLocalTime(&now);
    (void)wsprintfA(g_line,
                    "vorsil " VORSIL_VERSION_TEXT " report\r\nlog\t%s\r\ntime\t%04u-%02u-%02u %02u:%02u:%02u\r\n"
                    "run\t%s%s\r\nrights\t%s\r\n",
                    g_logPath, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                    g_silent ? "silent" : "interactive", g_trial ? " trial" : "",
                    NthText(RIGHTS_WORDS, CurrentRights()));
    WriteLine();
}

void CloseReport(int exitCode)
{
    if (g_trial) {
        char counts[MESSAGE_TEXT_SIZE + 24];
        (void)wsprintfA(counts, "%.255s %u, %u", MessageText(MSG_TRIAL_COUNTS), g_wouldGo, g_wouldStay);
        AddStatusLine(counts);
        AddStatusLine(MSG_NOTHING_CHANGED);
    }
    if (g_report == nullptr)
        return;
    (void)wsprintfA(g_line, "exit code\t%d\r\n", exitCode);
    WriteLine();
    (void)CloseHandle(g_report);
    g_report = nullptr;
}

void NoteOutcome(Outcome outcome, const char* item, const char* detail)
{
    // Without a report or a trial, this is all a listed item costs.
    if (g_report == nullptr && !g_trial)
        return;
    if (outcome > OUTCOME_MISSING)
        ++g_wouldStay;
    else if (outcome != OUTCOME_MISSING)
        ++g_wouldGo;
    if (g_report == nullptr)
        return;
    (void)wsprintfA(g_line, "%s%s\t[%.40s]\t%.511s\t%.400s\r\n", g_trial ? "would-" : "",
                    NthText(OUTCOME_WORDS, outcome), g_section, item, detail ? detail : "");
    WriteLine();
}

void NoteFailure(Outcome outcome, const char* item, DWORD error)
{
    // "error 5: Access is denied." on one line.
    char detail[300];
    int length = wsprintfA(detail, "error %lu: ", error);
    (void)FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                         nullptr, error, 0, detail + length, sizeof detail - length, nullptr);
    NoteOutcome(outcome, item, detail);
}

Outcome NoteResult(const char* item, DWORD error)
{
    Outcome outcome = OUTCOME_NOT_REMOVED;
    if (error == ERROR_SUCCESS)
        outcome = OUTCOME_REMOVED;
    // An item that is not there, or that its text cannot name (a key path
    // that begins with a backslash), has nothing to remove.
    else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
             error == ERROR_BAD_PATHNAME)
        outcome = OUTCOME_MISSING;
    if (outcome == OUTCOME_NOT_REMOVED)
        NoteFailure(outcome, item, error);
    else
        NoteOutcome(outcome, item, nullptr);
    return outcome;
}

void NoteStatusLine(const char* text)
{
    if (g_report == nullptr)
        return;
    (void)wsprintfA(g_line, "status\t%.1000s\r\n", text);
    WriteLine();
}

void NoteWouldGo(const char* item)
{
    if (!g_trial)
        return;
    unsigned length = TextLength(item);
    if (g_wouldGoSize + length + 1 > WOULD_GO_SIZE)
        return;
    CopyBytes(g_wouldGoPaths + g_wouldGoSize, item, length + 1);
    g_wouldGoSize += length + 1;
}

unsigned WouldGoInside(const char* container)
{
    unsigned length = TextLength(container);
    unsigned count = 0;
    for (char* path = g_wouldGoPaths; path < g_wouldGoPaths + g_wouldGoSize; path += TextLength(path) + 1)
        if (SamePrefixIgnoringCase(path, container, length) && path[length] == '\\' && !FindChar(path + length + 1, '\\'))
            ++count;
    return count;
}
