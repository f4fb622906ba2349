// A small check framework for the end-to-end driver: every check is named in its
// message, the run ends with "N passed, N failed", and the exit code is 0 only
// when every check passed.
#pragma once
#include <string>
#include <vector>

namespace check {

// Prefixes every following message with the case's name.
void BeginCase(const std::string& name);

// Records one check; prints "ok" or "FAIL" with the check's name and, on a
// failure, the detail. Returns the outcome so callers can skip dependent checks.
bool That(bool ok, const std::string& name, const std::string& detail = std::string());
bool Equal(const std::string& name, const std::string& expected, const std::string& actual);
bool Equal(const std::string& name, long long expected, long long actual);
bool EqualLines(const std::string& name, const std::vector<std::string>& expected,
                const std::vector<std::string>& actual);

// Informational output (what was seen), not a check. Like every message here,
// ANSI texts are converted for the UTF-8 terminal.
void Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Info output on or off (the demo narrates in its own words).
void ShowInfo(bool show);

// Plain output (the demo's narration); ANSI texts are shown as UTF-8.
void Out(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints the summary line and returns the process exit code.
int Finish();

// A text shown in a message: quoted, with control characters made visible.
std::string Quote(const std::string& text);

}  // namespace check
