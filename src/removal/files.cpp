#include "log_section.h"
#include "platform.h"
#include "removal.h"
#include "report.h"
#include "text.h"

// What a trial does instead of DeleteFileA: opening the file for deletion with
// every sharing changes nothing, and fails where DeleteFileA would (missing,
// read-only, in use). The 95 family knows no sharing of deletion.
static bool WouldDelete(const char* path)
{
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (RunsOnNtFamily() ? FILE_SHARE_DELETE : 0);
    return FileOpens(path, GENERIC_WRITE | DELETE, share, 0);
}

static void DeleteListedFile(char* path)
{
    if (ShouldAct() ? !DeleteFileA(path) : !WouldDelete(path)) {
        KeepFileNotDeleted(path);
        return;
    }
    NoteWouldGo(path);
    NoteOutcome(OUTCOME_REMOVED, path, nullptr);
}

void DeleteListedFiles(char* list)
{
    // The path runs to the first "="; what follows is the installer's own note.
    KeepFilesOfNextSection();
    ForEachEntry(list, DeleteListedFile);
}
