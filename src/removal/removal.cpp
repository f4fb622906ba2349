#include "removal.h"
#include "launcher.h"
#include "log_section.h"
#include "messages.h"
#include "progress.h"
#include "text.h"

// The program's file in the log's folder: the installed copy, under whatever name the user gave it.
static void DeleteInstalledProgram()
{
    char path[MAX_PATH];
    if (FileNamePart(g_logPath) == nullptr)
        (void)DeleteFileA(g_logPath);
    else if (ReplaceFileNamePart(path, MAX_PATH, g_logPath, g_ownFileName))
        (void)DeleteFileA(path);
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

void RunRemoval()
{
    // The window has just been shown; let the user see it before it changes.
    WaitDispatching(1000);
    AddStatusLine("Start...");
    RunListedPrograms(ReadLogSectionQuietly("Uninstall.PreRunApp"));
    RunListedPrograms(ReadLogSectionQuietly("Uninstall.RunApp"));
    DeleteListedFiles(ReadLogSection(MSG_REMOVING_FILES, "CopyFiles"));
    DeleteListedFiles(ReadLogSection(MSG_REMOVING_SHORTCUTS, "Shortcuts"));
    RemoveIniEntries(ReadLogSection(MSG_REMOVING_INI, "AddIni"));
    RemoveRegistryValues(ReadLogSection(MSG_REMOVING_VALUES, "AddReg"));
    RemoveRegistryKeys(ReadLogSection(MSG_REMOVING_KEYS, "CreateKeys"));
    // Read while the log still exists; the directories go after the log and the program.
    char* directories = ReadLogSection(MSG_REMOVING_DIRECTORIES, "CreateDirs");
    (void)DeleteFileA(g_logPath);
    DeleteInstalledProgram();
    LeaveInstallationFolder();
    RemoveListedDirectories(directories);
    AddStatusLine(MSG_FINISHED);
}
