#include "removal.h"
#include "launcher.h"
#include "log_section.h"
#include "messages.h"
#include "progress.h"
#include "report.h"
#include "text.h"

// A silent run's first run ends just after it has been told, and its program
// file cannot be deleted before; anything else that keeps the file is not
// waited for. The limit stands for a first run that was never told.
static const int IN_USE_RETRIES = 30;
static const DWORD IN_USE_RETRY_DELAY = 100;

static void DeleteProgramFile(const char* path)
{
    for (int attempt = 0; attempt < IN_USE_RETRIES; ++attempt) {
        if (DeleteFileA(path) || !g_silent)
            return;
        DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return;
        Sleep(IN_USE_RETRY_DELAY);
    }
}

// The program's file in the log's folder: the installed copy, under whatever
// name the user gave it. A log path without folder stands for itself.
bool FindInstalledProgram(char* path)
{
    if (FileNamePart(g_logPath) == nullptr)
        return CopyText(path, MAX_PATH, g_logPath);
    return ReplaceFileNamePart(path, MAX_PATH, g_logPath, g_ownFileName);
}

static void DeleteInstalledProgram()
{
    char path[MAX_PATH];
    if (!FindInstalledProgram(path))
        return;
    NoteWouldGo(path);
    if (ShouldAct())
        DeleteProgramFile(path);
}

// The first run's current directory is inherited, and it is often the
// installation folder, which cannot be removed while it is in use.
static void LeaveInstallationFolder()
{
    char tempFolder[MAX_PATH];
    const char* fileName = FileNamePart(g_tempCopyPath);
    if (fileName != nullptr && CopyTextPart(tempFolder, MAX_PATH, g_tempCopyPath, unsigned(fileName - g_tempCopyPath)))
        (void)SetCurrentDirectoryA(tempFolder);
}

int RemovalExitCode()
{
    return g_silent ? OUTCOME_EXIT_CODES[OutcomeOfListedItems()] : 0;
}

void RunRemoval()
{
    // The window has just been shown; let the user see it before it changes.
    if (!g_silent)
        WaitDispatching(1000);
    OpenReport();
    // Whatever those rights cannot remove is reported as not removed.
    if (RunsForAnOrdinaryUser())
        AddStatusLine(MSG_ORDINARY_RIGHTS);
    AddStatusLine("Start...");
    ForgetFilesLeft();
    RunListedPrograms(ReadLogSectionQuietly("Uninstall.PreRunApp"));
    RunListedPrograms(ReadLogSectionQuietly("Uninstall.RunApp"));
    DeleteListedFiles(ReadLogSection(MSG_REMOVING_FILES, "CopyFiles"));
    DeleteListedFiles(ReadLogSection(MSG_REMOVING_SHORTCUTS, "Shortcuts"));
    AskToCloseProgramsUsingFiles();
    ScheduleFilesInUse();
    RemoveIniEntries(ReadLogSection(MSG_REMOVING_INI, "AddIni"));
    RemoveRegistryValues(ReadLogSection(MSG_REMOVING_VALUES, "AddReg"));
    RemoveRegistryKeys(ReadLogSection(MSG_REMOVING_KEYS, "CreateKeys"));
    // Read while the log still exists; the directories go after the log and the program.
    char* directories = ReadLogSection(MSG_REMOVING_DIRECTORIES, "CreateDirs");
    if (ShouldAct()) {
        (void)DeleteFileA(g_logPath);
        TellCallerListedItemsDealtWith(OutcomeOfListedItems());
    }
    NoteWouldGo(g_logPath);
    DeleteInstalledProgram();
    LeaveInstallationFolder();
    RemoveListedDirectories(directories);
    ScheduleDirectoriesOfFilesInUse(directories);
    ReportFilesLeft();
    if (ShouldAct())
        AddStatusLine(MSG_FINISHED);
    OfferRestart();
    CloseReport(RemovalExitCode());
}
