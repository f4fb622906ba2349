#include "launcher.h"
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
