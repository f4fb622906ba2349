#include "check.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "code_pages.h"

namespace check {
namespace {

int g_passed = 0;
int g_failed = 0;
bool g_showInfo = true;
std::string g_case;

// Texts are in the ANSI code page; the log is read on a UTF-8 terminal.
std::string Utf8(const std::string& ansi) { return code_pages::Narrow(code_pages::Wide(ansi), CP_UTF8); }

void Print(const std::string& ansi) { std::fputs(Utf8(ansi).c_str(), stdout); }

std::string Prefix() { return g_case.empty() ? std::string() : g_case + ": "; }

std::string Join(const std::vector<std::string>& lines) {
    std::string text = "[";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += ", ";
        text += Quote(lines[i]);
    }
    return text + "]";
}

}  // namespace

void BeginCase(const std::string& name) {
    g_case = name;
    std::printf("== %s\n", name.c_str());
}

bool That(bool ok, const std::string& name, const std::string& detail) {
    if (ok) {
        ++g_passed;
        Print("ok   " + Prefix() + name + "\n");
    } else {
        ++g_failed;
        Print("FAIL " + Prefix() + name + (detail.empty() ? "" : ": ") + detail + "\n");
    }
    std::fflush(stdout);
    return ok;
}

bool Equal(const std::string& name, const std::string& expected, const std::string& actual) {
    return That(expected == actual, name, "expected " + Quote(expected) + ", got " + Quote(actual));
}

bool Equal(const std::string& name, long long expected, long long actual) {
    return That(expected == actual, name,
                "expected " + std::to_string(expected) + ", got " + std::to_string(actual));
}

bool EqualLines(const std::string& name, const std::vector<std::string>& expected,
                const std::vector<std::string>& actual) {
    return That(expected == actual, name, "expected " + Join(expected) + ", got " + Join(actual));
}

void ShowInfo(bool show) { g_showInfo = show; }

void Info(const char* format, ...) {
    if (!g_showInfo) return;
    char text[8192];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Print("     " + Prefix() + text + "\n");
    std::fflush(stdout);
}

void Out(const char* format, ...) {
    char text[16384];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Print(text);
    std::fflush(stdout);
}

int Finish() {
    if (g_passed + g_failed == 0) That(false, "at least one check ran");
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    std::fflush(stdout);
    return g_failed == 0 ? 0 : 1;
}

std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '\n') quoted += "\\n";
        else if (c == '\r') quoted += "\\r";
        else if (c == '\t') quoted += "\\t";
        else if (c == '"') quoted += "\\\"";
        else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            quoted += hex;
        } else quoted += static_cast<char>(c);
    }
    return quoted + "\"";
}

}  // namespace check
