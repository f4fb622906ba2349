#include "log_section.h"
#include "removal.h"
#include "text.h"

static void DeleteListedFile(char* path)
{
    if (!DeleteFileA(path))
        KeepFileNotDeleted(path);
}

void DeleteListedFiles(char* list)
{
    // The path runs to the first "="; what follows is the installer's own note.
    ForEachEntry(list, DeleteListedFile);
}
