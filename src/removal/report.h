// What became of each listed item, for the report a caller asks for with
// /LOG=, and the trial run (/N) that judges every item and changes nothing.
// Every handler asks ShouldAct before it changes anything and tells
// NoteResult or NoteOutcome what became of each item.
#pragma once
#include <windows.h>

// In the order of the words of the report: those that go, missing, those that stay.
enum Outcome {
    OUTCOME_REMOVED,
    OUTCOME_RENAMED,
    OUTCOME_SCHEDULED,
    OUTCOME_RAN,
    OUTCOME_MISSING,
    OUTCOME_NOT_REMOVED,
    OUTCOME_KEPT,
    OUTCOME_NOT_STARTED,
};

// A trial run: nothing is changed, every item is judged as the real run would find it.
extern bool g_trial;
// The report's full path, or an empty text when none was asked for.
extern char g_reportPath[MAX_PATH];
// The log section whose lines are handled now.
extern const char* g_section;

inline bool ShouldAct()
{
    return !g_trial;
}

// Opens the report and writes its header; an interactive run says in its
// status list when it cannot. Called as the removal starts.
void OpenReport();
// The exit code, the status lines' counterpart of a trial, and the end of the report.
void CloseReport(int exitCode);

// A line of the report for the item: detail may be nullptr.
void NoteOutcome(Outcome outcome, const char* item, const char* detail);
// A failure, with the error's code and the system's text for it.
void NoteFailure(Outcome outcome, const char* item, DWORD error);
// The same from the error of an item's removal: none is removed, a missing
// file, path or name is missing, another is not removed (with the error).
// Returns the outcome.
Outcome NoteResult(const char* item, DWORD error);
// A status line as the report keeps it.
void NoteStatusLine(const char* text);

// For the trial: an item that would go, and how many of those are right
// inside a folder or key (text up to a backslash, then no other).
void NoteWouldGo(const char* item);
unsigned WouldGoInside(const char* container);
