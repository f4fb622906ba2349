#include "launcher.h"
#include "report.h"
#include "text.h"

char* FindArgumentText(char* commandLine)
{
    char* position = commandLine;
    if (*position == '"') {
        // A quoted program name runs to the closing quote, blanks included.
        ++position;
        while (*position != '\0' && *position != '"')
            ++position;
        if (*position == '"')
            ++position;
    } else {
        while (*position != '\0' && !IsBlank(*position))
            ++position;
    }
    while (IsBlank(*position))
        ++position;
    return position;
}

// "/LOG=path" or "/LOG="path"": the path runs to its closing quote, or else
// to the next blank. A path that does not fit is no report's.
static const char* TakeReportPath(const char* text)
{
    bool quoted = *text == '"';
    const char* end = text + quoted;
    while (*end != '\0' && (quoted ? *end != '"' : !IsBlank(*end)))
        ++end;
    (void)CopyTextPart(g_reportPath, MAX_PATH, text + quoted, unsigned(end - text - quoted));
    return end + (quoted && *end == '"');
}

const char* TakeSwitches(const char* text)
{
    g_silent = false;
    g_trial = false;
    g_reportPath[0] = '\0';
    for (;;) {
        // A slash alone is no switch, and nothing is read past its terminator.
        if (text[0] != '/' || text[1] == '\0')
            return text;
        const char* end = text + 2;
        char letter = char(text[1] & ~0x20);
        if (SamePrefixIgnoringCase(text + 1, "LOG=", 4))
            end = TakeReportPath(text + 5);
        else if (*end != '\0' && !IsBlank(*end))
            return text;
        else if (letter == 'S')
            g_silent = true;
        else if (letter == 'N')
            g_trial = true;
        else
            return text;
        while (IsBlank(*end))
            ++end;
        text = end;
    }
}
