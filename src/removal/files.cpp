#include "log_section.h"
#include "removal.h"
#include "text.h"

static void DeleteListedFile(char* path)
{
    // Read-only, missing and busy files stay; nothing is reported.
    (void)DeleteFileA(path);
}

void DeleteListedFiles(char* list)
{
    // The path runs to the first "="; what follows is the installer's own note.
    ForEachEntry(list, DeleteListedFile);
}
