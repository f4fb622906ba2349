#include "log_section.h"
#include "removal.h"
#include "text.h"

void DeleteListedFiles(char* list)
{
    for (char* line = list; *line != '\0'; line = NextLine(line)) {
        // The path runs to the first "="; what follows is the installer's own note.
        char* equals = FindChar(line, '=');
        if (equals != nullptr)
            *equals = '\0';
        // Read-only, missing and busy files stay; nothing is reported.
        (void)DeleteFileA(line);
        if (equals != nullptr)
            *equals = '=';
    }
}
