#include "cases.h"

#include <algorithm>
#include <cstdlib>

#include "check.h"
#include "code_pages.h"
#include "machine.h"
#include "processes.h"
#include "sample_app.h"
#include "session.h"

namespace {

const char kBuiltinCaption[] = "Uninstall";
const char kBuiltinQuestion[] = "Are you sure you want to completely remove Program and all of its components?";
const char kBuiltinMissingLog[] = "Installation log file install.log not found!";
const char kBuiltinClose[] = "Close";
const char kFinished[] = "Uninstall is finished.";

std::string TestFolder(const std::string& title) { return "C:\\Program Files\\" + title; }

// A file that another program left for deletion at the next restart.
std::string ForeignPendingFile() { return machine::WindowsFolder() + "\\temp\\other pending.tmp"; }

// Started without arguments from the installation folder: the first run ends
// with 0 after copying itself to the temporary folder and starting the copy
// with the full path of the log (unquoted) as its argument.
void CheckRelaunch(const Installation& installation, const UserSession& seen) {
    if (!check::That(seen.firstStarted, "the installed program starts")) return;
    check::That(seen.firstEnded, "the first run ends by itself");
    check::Equal("the first run's exit code", 0, seen.firstExitCode);
    std::string copy, original;
    bool copied = machine::ReadFile(seen.tempCopyPath, &copy);
    check::That(copied, "the program is copied to the temporary folder under its file name",
                seen.tempCopyPath + " is missing");
    if (copied && machine::ReadFile(installation.ProgramPath(), &original))
        check::That(copy == original, "the temporary copy is identical to the installed program");
    if (!check::That(seen.secondFound, "the copy's window appears")) return;
    check::That(machine::SamePath(seen.secondImage, seen.tempCopyPath),
                "the second run is the temporary copy", "it runs " + seen.secondImage);
    check::Equal("the copy's argument is the log's full path", installation.LogPath(),
                 processes::ArgumentsOf(seen.secondCommandLine));
}

void CheckQuestion(const UserSession& seen, const std::string& caption, const std::string& question) {
    if (!check::That(seen.messageBox.shown, "the confirmation question is shown")) return;
    check::Equal("the question's caption", caption, seen.messageBox.caption);
    check::Equal("the question's text", question, seen.messageBox.text);
    bool okCancel = seen.messageBox.buttons.size() == 2 && seen.messageBox.buttons[0] == IDOK &&
                    seen.messageBox.buttons[1] == IDCANCEL;
    check::That(okCancel, "the question has the buttons OK and Cancel");
    check::That(seen.answered, "the question is answered and closes");
}

void CheckProgressWindow(const UserSession& seen, const std::string& caption, const std::string& closeText) {
    if (!check::That(seen.progressShown, "the progress window opens after OK")) return;
    check::That(seen.progressFinished, "the progress window's opening finishes");
    check::Equal("the progress window's caption", caption, seen.progressCaption);
    check::Equal("the close button's text", closeText, seen.closeButtonText);
    check::That(seen.statusRead, "the status lines can be read from the list box");
    check::That(seen.progressClosed, "the progress window closes");
}

void CheckEnd(const UserSession& seen, DWORD exitCode) {
    check::That(seen.secondEnded, "the second run ends");
    check::Equal("the second run's exit code", exitCode, seen.secondExitCode);
    check::Equal("program processes left running", 0, seen.straysKilled);
}

// NT family: the copy is listed in PendingFileRenameOperations for deletion;
// entries of other programs stay.
void CheckScheduledInRegistry(const UserSession& seen, bool foreignEntryExpected) {
    machine::RenameList renames = machine::PendingFileRenames();
    int ours = 0;
    bool foreignKept = false;
    for (const auto& rename : renames) {
        check::Info("PendingFileRenameOperations: %s -> %s", check::Quote(rename.first).c_str(),
                    check::Quote(rename.second).c_str());
        if (machine::SamePath(rename.first, "\\??\\" + seen.tempCopyPath) && rename.second.empty()) ++ours;
        if (machine::SamePath(rename.first, "\\??\\" + ForeignPendingFile())) foreignKept = true;
    }
    check::Equal("the temporary copy is in PendingFileRenameOperations for deletion", 1, ours);
    if (foreignEntryExpected)
        check::That(foreignKept, "another program's pending deletion is kept");
}

void SeedForeignPendingDeletion() {
    bool ok = machine::WriteFile(ForeignPendingFile(), "left by another program\r\n") &&
              machine::SetPendingFileRenames({{"\\??\\" + ForeignPendingFile(), ""}});
    check::That(ok, "another program's deletion at restart is pending");
}

void CheckRestartDeletes(const std::vector<std::string>& files) {
    if (!check::That(machine::Restart(), "Wine's restart processing (wineboot -r) runs")) return;
    for (const std::string& file : files)
        check::That(!machine::FileExists(file), file + " is deleted at the restart");
}

std::vector<std::string> NonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// 95 family: wininit.ini gets one new line NUL=<short path of the copy> in
// [Rename]; nothing that was in the file changes.
void CheckScheduledInWininit(const UserSession& seen, const std::string& before) {
    std::string after;
    if (!check::That(machine::ReadFile(machine::WininitPath(), &after), "wininit.ini exists in the Windows folder"))
        return;
    check::Info("wininit.ini after the run:\n%s", after.c_str());
    std::string shortPath = machine::ShortPath(seen.tempCopyPath);
    check::That(!shortPath.empty(), "the temporary copy has a short path");
    std::string expectedLine = "NUL=" + shortPath;
    int ours = 0;
    for (const std::string& line : machine::WininitRenameLines(after))
        if (lstrcmpiA(line.c_str(), expectedLine.c_str()) == 0) ++ours;
    check::Equal("[Rename] has one line " + expectedLine, 1, ours);

    // Taking the new line out must give back the file as it was.
    std::vector<std::string> remaining = NonEmptyLines(after);
    for (auto it = remaining.begin(); it != remaining.end(); ++it) {
        if (lstrcmpiA(it->c_str(), expectedLine.c_str()) == 0) {
            remaining.erase(it);
            break;
        }
    }
    std::vector<std::string> expected = NonEmptyLines(before);
    if (before.empty()) expected = {"[Rename]"};
    check::EqualLines("wininit.ini's other lines are unchanged", expected, remaining);
    bool inRegistry = false;
    for (const auto& rename : machine::PendingFileRenames())
        if (machine::SamePath(rename.first, "\\??\\" + seen.tempCopyPath)) inRegistry = true;
    check::That(!inRegistry, "the 95-family path leaves PendingFileRenameOperations alone");
}

// ---------------------------------------------------------------------------
// The cases.

void RelaunchAndCancel(const CaseContext& context) {
    Installation app(TestFolder("Relaunch Test"));
    app.AddFile(app.Folder() + "\\app.exe", "program\r\n");
    app.AddFile(app.Folder() + "\\data\\readme.txt", "read me\r\n");
    app.LogString(1, "Relaunch Test Removal");
    app.LogString(4, "Remove Relaunch Test and all of its components?");
    app.LogLine("CopyFiles", app.Folder() + "\\app.exe=1");
    app.LogLine("CopyFiles", app.Folder() + "\\data\\readme.txt=1");
    app.LogLine("CreateDirs", app.Folder() + "\\data");
    app.ExpectEverythingKept();
    if (!app.Lay(context.program)) return;
    SeedForeignPendingDeletion();

    UserActions user;
    user.answer = Answer::Cancel;
    UserSession seen = RunAsUser(app, user);
    CheckRelaunch(app, seen);
    CheckQuestion(seen, "Relaunch Test Removal", "Remove Relaunch Test and all of its components?");
    check::That(!seen.progressShown, "no progress window opens after Cancel");
    CheckEnd(seen, 0);
    app.CheckExpectations("after Cancel");
    CheckScheduledInRegistry(seen, true);
    CheckRestartDeletes({seen.tempCopyPath, ForeignPendingFile()});
}

void MissingLog(const CaseContext& context) {
    Installation app(TestFolder("Missing Log Test"));
    app.AddFile(app.Folder() + "\\app.exe", "program\r\n");
    app.WithoutLog();
    app.ExpectEverythingKept();
    if (!app.Lay(context.program)) return;

    UserSession seen = RunAsUser(app, UserActions());
    CheckRelaunch(app, seen);
    if (check::That(seen.messageBox.shown, "the error box is shown")) {
        check::Equal("the error box's caption", kBuiltinCaption, seen.messageBox.caption);
        check::Equal("the error box's text", kBuiltinMissingLog, seen.messageBox.text);
        check::That(seen.messageBox.buttons == std::vector<int>{IDOK}, "the error box has only an OK button");
        check::That(seen.answered, "the error box closes with OK");
    }
    check::That(!seen.progressShown, "no progress window opens");
    CheckEnd(seen, 1);
    app.CheckExpectations("after the error box");
}

void ProgressWithBuiltinTexts(const CaseContext& context) {
    Installation app(TestFolder("Builtin Texts Test"));
    app.LogString(1, "");  // an empty value keeps the built-in caption
    app.LogLine("CopyFiles", "");
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});

    UserSession seen = RunAsUser(app, UserActions());
    CheckRelaunch(app, seen);
    CheckQuestion(seen, kBuiltinCaption, kBuiltinQuestion);
    CheckProgressWindow(seen, kBuiltinCaption, kBuiltinClose);
    CheckEnd(seen, 0);
    CheckScheduledInRegistry(seen, false);
}

void ProgressWithStringOverrides(const CaseContext& context) {
    Installation app(TestFolder("Overrides Test"));
    app.LogString(1, "Sample App entfernen");
    app.LogString(4, "Sample App und alle Komponenten entfernen?");
    app.LogString(23, "Schlie\xDF" "en");
    app.LogString(24, "ignored");
    app.LogLine("Strings", "x=ignored");
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});

    UserActions user;
    user.closeBy = CloseBy::CloseBox;
    UserSession seen = RunAsUser(app, user);
    CheckRelaunch(app, seen);
    CheckQuestion(seen, "Sample App entfernen", "Sample App und alle Komponenten entfernen?");
    CheckProgressWindow(seen, "Sample App entfernen", "Schlie\xDF" "en");
    CheckEnd(seen, 0);
    CheckScheduledInRegistry(seen, false);
}

// The 95-family path, with Wine reporting Windows 98 to the program.
void RunOnWindows98(const CaseContext& context, const std::string& title, const std::string& programName,
                    const std::string& wininitBefore, const std::vector<std::string>& alsoDeletedAtRestart) {
    Installation app(TestFolder(title), programName);
    app.LogString(1, title);
    app.ExpectEverythingKept();
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});
    DeleteFileA((machine::WindowsFolder() + "\\wininit.bak").c_str());
    bool prepared = wininitBefore.empty() ? machine::RemoveTree(machine::WininitPath())
                                          : machine::WriteFile(machine::WininitPath(), wininitBefore);
    check::That(prepared, wininitBefore.empty() ? "there is no wininit.ini" : "wininit.ini holds its earlier lines");
    if (!check::That(machine::SetReportedVersion(programName, "win98"), "Wine reports Windows 98 to " + programName))
        return;

    UserActions user;
    user.answer = Answer::Cancel;
    UserSession seen = RunAsUser(app, user);
    machine::SetReportedVersion(programName, "");
    CheckRelaunch(app, seen);
    CheckQuestion(seen, title, kBuiltinQuestion);
    CheckEnd(seen, 0);
    app.CheckExpectations("after Cancel");
    CheckScheduledInWininit(seen, wininitBefore);
    std::vector<std::string> deleted = alsoDeletedAtRestart;
    deleted.push_back(seen.tempCopyPath);
    CheckRestartDeletes(deleted);
}

void Windows98NewWininit(const CaseContext& context) {
    RunOnWindows98(context, "Windows 98 Test", "vorsil.exe", "", {});
}

void Windows98ExistingRenameLine(const CaseContext& context) {
    std::string other = machine::WindowsFolder() + "\\temp\\oldpend.tmp";
    bool ok = machine::WriteFile(other, "left by another program\r\n");
    check::That(ok, "another program's file waits for deletion at restart");
    std::string before = "[Other]\r\nkeep=this line\r\n\r\n[Rename]\r\nNUL=" + machine::ShortPath(other) + "\r\n";
    // A long program file name, so the short path differs from the long one.
    RunOnWindows98(context, "Windows 98 Long Name Test", "Uninstall Sample App.exe", before, {other});
}

// A log listing nothing: the whole removal sequence runs, its status lines in
// order, and the log and the program file are deleted.
void EmptyLogUninstall(const CaseContext& context) {
    Installation app(TestFolder("Empty Log Test"));
    app.LogLine("CopyFiles", "");
    app.AddFile(app.Folder() + "\\not listed.txt", "stays\r\n");
    app.ExpectGone(Item::FileAt(app.LogPath()));
    app.ExpectGone(Item::FileAt(app.ProgramPath()));
    app.ExpectKept(Item::FileAt(app.Folder() + "\\not listed.txt"));
    app.ExpectKept(Item::DirectoryAt(app.Folder()));
    if (!app.Lay(context.program)) return;

    UserActions user;
    user.closeBy = CloseBy::Escape;
    UserSession seen = RunAsUser(app, user);
    CheckRelaunch(app, seen);
    CheckQuestion(seen, kBuiltinCaption, kBuiltinQuestion);
    CheckProgressWindow(seen, kBuiltinCaption, kBuiltinClose);
    check::EqualLines("the status lines",
                      {"Start...", "Removing files...", "Removing shortcuts...", "Removing ini-entries...",
                       "Removing registry values...", "Removing registry keys...", "Removing directories...",
                       kFinished},
                      seen.statusLines);
    check::Equal("the newest status line is selected", static_cast<long long>(seen.statusLines.size()) - 1,
                 seen.statusSelection);
    CheckEnd(seen, 0);
    app.CheckExpectations("after the uninstall");
}

// The status lines of the sample application's uninstall, its programs' captions among them.
std::vector<std::string> SampleAppStatusLines() {
    return {"Start...", "Cleaning up Sample App...", "Saying goodbye", "Removing files...",
            "Removing shortcuts...", "Removing ini-entries...", "Removing registry values...",
            "Removing registry keys...", "Removing directories...", kFinished};
}

// The demo's sample installation, uninstalled as a user would: started from
// its folder without arguments, confirmed, the status lines read from the live
// list box once the removal is finished, closed with the Close button. Every
// thing the log lists is gone, everything else stays, the run programs ran.
void SampleAppUninstall(const CaseContext& context) {
    const std::string folder = TestFolder("Sample App Test");
    Installation app = SampleApp(folder, context.helpers);
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});

    UserSession seen = RunAsUser(app, UserActions());
    CheckRelaunch(app, seen);
    CheckQuestion(seen, "Uninstall Sample App",
                  "Are you sure you want to completely remove Sample App and all of its components?");
    CheckProgressWindow(seen, "Uninstall Sample App", kBuiltinClose);
    check::EqualLines("the status lines",
                      SampleAppStatusLines(),
                      seen.statusLines);
    CheckEnd(seen, 0);
    app.CheckExpectations("after the uninstall");
    CheckScheduledInRegistry(seen, false);

    // The program not waited for may still be on its way.
    for (const SampleMarker& marker : SampleMarkers(folder, context.helpers)) {
        std::string written;
        for (int waited = 0; waited < 10000 && !machine::ReadFile(marker.path, &written); waited += 100) Sleep(100);
        check::Equal("the mark left by the run program in " + marker.path, marker.expected, written);
    }
}

// A user whose temporary folder has letters the ANSI code page lacks (a profile
// "Иван Петров" on a Western system): GetTempPathA spells them "?" and names
// nothing. The copy goes to the folder's short form, knows itself there though
// Wine gives it its long name spelt with "?", and the whole uninstall runs; the
// copy is scheduled for deletion under the path it was started by. Wine takes
// TMP and TEMP from the registry, so they are handed to the program directly.
void UnicodeTempFolder(const CaseContext& context) {
    const std::wstring folder = L"C:\\users\\Public\\\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432";
    CreateDirectoryW(folder.c_str(), nullptr);
    wchar_t shortWide[MAX_PATH];
    DWORD length = GetShortPathNameW(folder.c_str(), shortWide, MAX_PATH);
    if (!check::That(length != 0 && length < MAX_PATH, "the temporary folder has a short form")) return;
    const std::string shortCopy = code_pages::Narrow(std::wstring(shortWide, length)) + "\\vorsil.exe";
    check::Info("the short form of the temporary copy: %s", shortCopy.c_str());
    DeleteFileA(shortCopy.c_str());

    Installation app(TestFolder("Unicode Temp Test"));
    app.AddFile(app.Folder() + "\\app.exe", "program\r\n");
    app.LogLine("CopyFiles", app.Folder() + "\\app.exe=1");
    app.LogLine("CreateDirs", app.Folder());
    app.ExpectGone(Item::FileAt(app.Folder() + "\\app.exe"));
    app.ExpectGone(Item::FileAt(app.LogPath()));
    app.ExpectGone(Item::FileAt(app.ProgramPath()));
    app.ExpectGone(Item::DirectoryAt(app.Folder()));
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});

    wchar_t savedTmp[MAX_PATH] = L"", savedTemp[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder.c_str());
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
    UserSession seen = RunAsUser(app, UserActions());
    SetEnvironmentVariableW(L"TMP", savedTmp[0] ? savedTmp : nullptr);
    SetEnvironmentVariableW(L"TEMP", savedTemp[0] ? savedTemp : nullptr);

    check::Equal("the first run's exit code", 0, seen.firstExitCode);
    std::string copy, original;
    if (check::That(machine::ReadFile(shortCopy, &copy), "the copy is in the short form of the temporary folder"))
        check::That(machine::ReadFile(context.program, &original) && copy == original,
                    "the temporary copy is identical to the program");
    CheckQuestion(seen, kBuiltinCaption, kBuiltinQuestion);
    CheckProgressWindow(seen, kBuiltinCaption, kBuiltinClose);
    CheckEnd(seen, 0);
    app.CheckExpectations("after the uninstall");
    seen.tempCopyPath = shortCopy;
    CheckScheduledInRegistry(seen, false);
    RemoveDirectoryW(folder.c_str());
}

// The program file and the folders of a silent run wait for the end of the
// process its caller started, and the promise is that they follow within a
// second. Timed from the moment that end is seen, before the case waits for
// the copy's own end or ends an application of its own: Wine's time to end
// those processes is no part of the promise.
struct GoneAfterEnd {
    std::vector<Item> items;
    DWORD ms = 0;
    bool AnyLeft() const {
        for (const Item& item : items)
            if (item.Exists()) return true;
        return false;
    }
    void Wait() {
        DWORD start = GetTickCount();
        while (AnyLeft() && GetTickCount() - start < 3000) Sleep(10);
        ms = GetTickCount() - start;
    }
};

// What a silent run must have done by the time the process its caller started
// ends: every listed item gone but the program file and the folders, which go
// a moment later.
void CheckSilentRun(const Installation& app, const SilentRun& run, const std::vector<Item>& goneAtEnd,
                    const GoneAfterEnd& goneAfter) {
    if (!check::That(run.started, "the program starts")) return;
    check::That(run.ended, "the process the caller started ends by itself");
    check::Equal("the windows the silent run showed", std::string(), run.windowSeen);
    for (const Item& item : goneAtEnd)
        check::That(!item.Exists(), item.Describe() + " is gone when the caller's process ends");
    for (const Item& item : goneAfter.items)
        check::That(!item.Exists(), item.Describe() + " is gone after the caller's process has ended");
    if (!goneAfter.items.empty()) {
        check::Info("they were gone %lu ms after the caller's process ended", goneAfter.ms);
        check::That(goneAfter.ms <= 1000, "the program file and the folders go within a second");
    }
    for (const Item& item : app.ExpectedKept()) check::That(item.Exists(), item.Describe() + " is kept");
    check::Equal("program processes left running", 0, run.straysKilled);
}

// Silent, as a deployment tool runs it: "/S", started from the installation
// folder's parent, with program runs. No window at all; the caller's process
// ends with 0 once everything listed is gone; the copy is scheduled as usual.
void SilentUninstall(const CaseContext& context) {
    const std::string folder = TestFolder("Silent Test");
    Installation app = SampleApp(folder, context.helpers);
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});
    std::vector<Item> goneAtEnd;
    GoneAfterEnd goneAfter;
    for (const Item& item : app.ExpectedGone()) {
        bool waitsForCaller = item.path == app.ProgramPath() || item.kind == Item::Directory;
        (waitsForCaller ? goneAfter.items : goneAtEnd).push_back(item);
    }
    std::vector<bool> goneInTime;
    SilentRun run = RunSilently(app, "/S", machine::ParentOf(folder), [&] {
        for (const Item& item : goneAtEnd) goneInTime.push_back(!item.Exists());
        goneAfter.Wait();
    });
    check::Equal("the exit code", 0, run.exitCode);
    for (size_t i = 0; i < goneInTime.size(); ++i)
        check::That(goneInTime[i], goneAtEnd[i].Describe() + " was gone the moment the caller's process ended");
    CheckSilentRun(app, run, goneAtEnd, goneAfter);
    UserSession seen;
    seen.tempCopyPath = TempCopyPath(app.ProgramName());
    CheckScheduledInRegistry(seen, false);
    for (const SampleMarker& marker : SampleMarkers(folder, context.helpers)) {
        std::string written;
        for (int waited = 0; waited < 10000 && !machine::ReadFile(marker.path, &written); waited += 100) Sleep(100);
        check::Equal("the mark left by the run program in " + marker.path, marker.expected, written);
    }
}

// The items of a log as the report names them: "[Section]\titem\t", the item
// the text before "=" (a program line's program field).
std::vector<std::string> LoggedItems(const std::string& logText) {
    std::vector<std::string> items;
    std::string section;
    for (const std::string& line : NonEmptyLines(logText)) {
        if (line[0] == '[') {
            section = line;
        } else if (line[0] != ';' && section != "[Strings]") {
            bool program = section.find("RunApp") != std::string::npos;
            std::string item = program ? line.substr(line.find('=') + 1) : line.substr(0, line.find('='));
            items.push_back(section + "\t" + item.substr(0, program ? item.find(',') : item.size()) + "\t");
        }
    }
    return items;
}

// Every item of the log has a line "outcome\t[Section]\titem\tdetail", the
// outcome one of the words (prefixed for a trial); the last line is the exit code.
void CheckReport(const std::string& path, const std::string& logText, const std::string& prefix,
                 const std::string& exitCode) {
    static const std::string kWords = " removed renamed scheduled ran missing not-removed kept not-started ";
    std::string report;
    if (!check::That(machine::ReadFile(path, &report), "the report is written to " + path)) return;
    check::Info("the report:\n%s", report.c_str());
    std::vector<std::string> lines = NonEmptyLines(report);
    for (const std::string& item : LoggedItems(logText)) {
        std::string word;
        for (const std::string& line : lines)
            if (line.find("\t" + item) != std::string::npos) word = line.substr(0, line.find('\t'));
        bool known = word.compare(0, prefix.size(), prefix) == 0 &&
                     kWords.find(" " + word.substr(prefix.size()) + " ") != std::string::npos;
        check::That(known, "the report's line for " + item + " names its outcome", "\"" + word + "\"");
    }
    check::Equal("the report's last line", "exit code\t" + exitCode, lines.empty() ? "" : lines.back());
}

// An installer author's trial of the sample (/S /N /LOG=), then the real
// silent uninstall with a report on the same installation: the trial changes
// nothing, runs nothing and makes no copy; both reports name every item.
void ReportAndTrial(const CaseContext& context) {
    const std::string folder = TestFolder("Report Test");
    Installation app = SampleApp(folder, context.helpers);
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});
    const std::string trialReport = "C:\\users\\Public\\Documents\\trial report.txt";
    const std::string report = "C:\\users\\Public\\Documents\\report.txt";
    DeleteFileA(TempCopyPath(app.ProgramName()).c_str());

    SilentRun trial = RunSilently(app, "/S /N /LOG=\"" + trialReport + "\"", machine::ParentOf(folder), [] {});
    check::Equal("the trial's exit code", 0, trial.exitCode);
    check::Equal("the windows the trial showed", std::string(), trial.windowSeen);
    for (const Item& item : app.Items()) check::That(item.Exists(), item.Describe() + " is still there after the trial");
    check::That(!machine::FileExists(TempCopyPath(app.ProgramName())), "the trial makes no temporary copy");
    for (const SampleMarker& marker : SampleMarkers(folder, context.helpers))
        check::That(!machine::FileExists(marker.path), "the trial runs no program: no " + marker.path);
    CheckReport(trialReport, app.LogText(), "would-", "0");

    SilentRun run = RunSilently(app, "/LOG=\"" + report + "\" /S", machine::ParentOf(folder), [] {});
    check::Equal("the exit code", 0, run.exitCode);
    CheckReport(report, app.LogText(), "", "0");
    app.CheckExpectations("after the uninstall");
    DeleteFileA(trialReport.c_str());
    DeleteFileA(report.c_str());
}

// Silent without a log: nothing is removed, no window, exit code 1.
void SilentMissingLog(const CaseContext& context) {
    Installation app(TestFolder("Silent Missing Log Test"));
    app.AddFile(app.Folder() + "\\app.exe", "program\r\n");
    app.WithoutLog();
    app.ExpectEverythingKept();
    if (!app.Lay(context.program)) return;
    SilentRun run = RunSilently(app, "/s", app.Folder(), [] {});
    check::Equal("the exit code", 1, run.exitCode);
    CheckSilentRun(app, run, {}, GoneAfterEnd());
}

// "/S" with a quoted log path in another folder: that log's items go, the log
// too, and the program of that name in the log's folder (there is none).
void SilentLogInOtherFolder(const CaseContext& context) {
    Installation app(TestFolder("Silent Other Log Test"));
    const std::string logFolder = "C:\\Vorsil Logs\\Silent Other Log";
    const std::string log = logFolder + "\\install.log";
    app.AddFile(app.Folder() + "\\app.exe", "program\r\n");
    app.AddCleanup(Item::DirectoryAt(logFolder));
    app.WithoutLog();
    app.ExpectGone(Item::FileAt(app.Folder() + "\\app.exe"));
    app.ExpectKept(Item::FileAt(app.ProgramPath()));
    if (!app.Lay(context.program)) return;
    Installation logged(logFolder);
    logged.LogLine("CopyFiles", app.Folder() + "\\app.exe=1");
    check::That(machine::WriteFile(log, logged.LogText()), "the log is written in another folder");
    SilentRun run = RunSilently(app, "/S \"" + log + "\"", "C:\\", [] {});
    check::Equal("the exit code", 0, run.exitCode);
    CheckSilentRun(app, run, {Item::FileAt(app.Folder() + "\\app.exe"), Item::FileAt(log)}, GoneAfterEnd());
}


const std::vector<std::string> kBuiltinLines = {
    "Start...", "Removing files...", "Removing shortcuts...", "Removing ini-entries...",
    "Removing registry values...", "Removing registry keys...", "Removing directories...", kFinished};

// The files of a long [CopyFiles] section, a thousand to a folder, and the folders.
void AddManyFiles(Installation& app, int count) {
    // Listed as an installer creates them, parents first.
    app.LogLine("CreateDirs", app.Folder());
    for (int i = 0; i < count; ++i) {
        std::string path = app.Folder() + "\\files " + std::to_string(i / 1000) + "\\file " + std::to_string(i) + ".dat";
        app.AddFile(path, "x");
        app.LogLine("CopyFiles", path + "=1");
        if (i % 1000 == 0) app.LogLine("CreateDirs", app.Folder() + "\\files " + std::to_string(i / 1000));
    }
    app.ExpectGone(Item::DirectoryAt(app.Folder()));
}

// "Removing files... 12345/20000": the number done, 0 when the line is not such a count.
int CountIn(const std::string& line, const std::string& text, int total) {
    std::string prefix = text + " ", suffix = "/" + std::to_string(total);
    if (line.size() <= prefix.size() + suffix.size() || line.compare(0, prefix.size(), prefix) != 0 ||
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    std::string done = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
    if (done.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::atoi(done.c_str());
}

std::vector<int> CountsSeen(const UserSession& seen, const std::string& text, int total) {
    std::vector<int> counts;
    for (const std::string& line : seen.newestLines)
        if (int done = CountIn(line, text, total)) counts.push_back(done);
    return counts;
}

// A [CopyFiles] section of 20,000 files: a helper that sends the window WM_NULL
// and reads its newest status line about every 50 ms gets its answers all
// along, and sees the files counted; the finished list has the plain texts.
void LongSectionAnswers(const CaseContext& context) {
    const int kFiles = 20000;
    Installation app(TestFolder("Long Section Test"));
    AddManyFiles(app, kFiles);
    if (!app.Lay(context.program)) return;

    UserSession seen = RunAsUser(app, UserActions());
    CheckProgressWindow(seen, kBuiltinCaption, kBuiltinClose);
    check::EqualLines("the finished status lines", kBuiltinLines, seen.statusLines);
    std::vector<int> counts = CountsSeen(seen, "Removing files...", kFiles);
    std::string shown;
    for (const std::string& line : seen.newestLines) shown += "\n  " + line;
    check::That(!counts.empty(), "the newest status line counted the files while they were removed", shown);
    check::That(std::is_sorted(counts.begin(), counts.end()), "the count only goes up", shown);
    check::Info("%u newest lines seen; the longest wait for an answer while the removal ran: %lu ms",
                static_cast<unsigned>(seen.newestLines.size()), static_cast<unsigned long>(seen.longestSilenceMs));
    int left = 0;
    for (int i = 0; i < kFiles; i += 997)
        left += machine::FileExists(app.Folder() + "\\files " + std::to_string(i / 1000) + "\\file " +
                                    std::to_string(i) + ".dat");
    check::Equal("listed files left (every 997th looked at)", 0, left);
    CheckEnd(seen, 0);
    app.CheckExpectations("after the uninstall");
}

// Close, the close box and Esc at once, while the window waits before the
// removal: the window stays and shows the removal going on to its end, then
// goes by itself; everything listed is gone and the program ends with 0.
void EarlyClose(const CaseContext& context) {
    const struct {
        const char* name;
        CloseBy closeBy;
    } kWays[] = {{"Close", CloseBy::Button}, {"the close box", CloseBy::CloseBox}, {"Esc", CloseBy::Escape}};
    const int kFiles = 3000;
    for (const auto& way : kWays) {
        Installation app(TestFolder(std::string("Early Close Test ") + way.name));
        AddManyFiles(app, kFiles);
        if (!app.Lay(context.program)) return;

        UserActions user;
        user.closeAtOnce = true;
        user.closeBy = way.closeBy;
        UserSession seen = RunAsUser(app, user);
        std::string when = std::string("with ") + way.name + " at once";
        check::That(seen.progressShown && seen.closeAsked, when + ": the close is asked for in the open window");
        check::That(seen.shownAfterClose, when + ": the window still shows once the close has been handled");
        std::string shown;
        for (const std::string& line : seen.newestLines) shown += "\n  " + line;
        check::That(!CountsSeen(seen, "Removing files...", kFiles).empty(),
                    when + ": the window shows the files counted afterwards", shown);
        check::That(seen.progressClosed, when + ": the window goes by itself once the removal is over");
        CheckEnd(seen, 0);
        int left = 0;
        for (int i = 0; i < kFiles; i += 97)
            left += machine::FileExists(app.Folder() + "\\files " + std::to_string(i / 1000) + "\\file " +
                                        std::to_string(i) + ".dat");
        check::Equal(when + ": listed files left (every 97th looked at)", 0, left);
        check::That(!machine::DirectoryExists(app.Folder()), when + ": the installation folder is gone");
    }
}

// A second silent run for the same log, started while the first is at work:
// it does no harm and ends by itself; the first removes everything.
void SilentTwice(const CaseContext& context) {
    Installation app(TestFolder("Silent Twice Test"));
    AddManyFiles(app, 3000);
    app.ExpectGone(Item::FileAt(app.LogPath()));
    app.ExpectGone(Item::FileAt(app.ProgramPath()));
    if (!app.Lay(context.program)) return;
    processes::KillAllNamed(app.ProgramName());
    PROCESS_INFORMATION first, second;
    bool started = processes::Start(app.ProgramPath(), "/S", machine::ParentOf(app.Folder()), &first);
    Sleep(300);
    started = processes::Start(app.ProgramPath(), "/S", machine::ParentOf(app.Folder()), &second) && started;
    if (!check::That(started, "both runs start")) return;
    DWORD firstCode = STILL_ACTIVE, secondCode = STILL_ACTIVE;
    check::That(processes::WaitForExit(second.hProcess, 60000, &secondCode), "the second run ends by itself");
    check::That(processes::WaitForExit(first.hProcess, 60000, &firstCode), "the first run ends by itself");
    check::Equal("the first run's exit code", 0, firstCode);
    check::Info("the second run's exit code: %lu", static_cast<unsigned long>(secondCode));
    check::That(secondCode <= 2, "the second run ends with one of the program's exit codes");
    for (HANDLE handle : {first.hProcess, first.hThread, second.hProcess, second.hThread}) CloseHandle(handle);
    for (int waited = 0; waited < 5000 && !processes::ProcessesNamed(app.ProgramName()).empty(); waited += 50)
        Sleep(50);
    app.CheckExpectations("after both runs");
    check::Equal("program processes left running", 0, processes::KillAllNamed(app.ProgramName()));
}

// The application is still running when its user uninstalls it: app.exe (the
// marker program, told to stay) started from the installation folder, which is
// its current directory too. Wine's Restart Manager names no program, so the
// question names the file.
struct AppInUse {
    Installation app;
    std::string appExe, readme, renamed;
    PROCESS_INFORMATION running = {};

    AppInUse(const CaseContext& context, const std::string& title)
        : app(TestFolder(title)), appExe(app.Folder() + "\\app.exe"), readme(app.Folder() + "\\readme.txt"),
          renamed(app.Folder() + "\\~vorsil1.tmp") {
        std::string marker;
        check::That(machine::ReadFile(context.helpers + "\\marker.exe", &marker), "the marker program is there");
        app.AddFile(appExe, marker);
        app.AddFile(readme, "read me\r\n");
        app.AddCleanup(Item::FileAt(renamed));
        app.LogLine("CopyFiles", appExe + "=1");
        app.LogLine("CopyFiles", readme + "=1");
        app.LogLine("CreateDirs", app.Folder());
        for (const std::string& path : {readme, app.LogPath(), app.ProgramPath()}) app.ExpectGone(Item::FileAt(path));
    }
    bool Start(const CaseContext& context) {
        if (!app.Lay(context.program)) return false;
        machine::SetPendingFileRenames({});
        return check::That(processes::Start(appExe, "NUL /stay", app.Folder(), &running),
                           "the application runs from its folder");
    }
    void End() {
        if (!running.hProcess) return;
        TerminateProcess(running.hProcess, 0);
        WaitForSingleObject(running.hProcess, 5000);
        CloseHandle(running.hThread);
        CloseHandle(running.hProcess);
        running = {};
    }
    // The deletions at restart after the temporary copy's.
    std::vector<std::string> ScheduledAfterTheCopy(const std::string& copy) const {
        std::vector<std::string> scheduled;
        for (const auto& rename : machine::PendingFileRenames())
            if (!machine::SamePath(rename.first, "\\??\\" + copy))
                scheduled.push_back(rename.first + (rename.second.empty() ? "" : " -> " + rename.second));
        return scheduled;
    }
};

const char kInUseQuestion[] =
    "These programs are using files that must be removed. Close them, then click Retry. Click Cancel to leave "
    "those files; they are removed when Windows restarts.\n\n";

// Retry after the application has ended: everything goes, nothing waits for a restart.
void FilesInUseRetry(const CaseContext& context) {
    AppInUse inUse(context, "In Use Retry Test");
    inUse.app.ExpectGone(Item::FileAt(inUse.appExe));
    inUse.app.ExpectGone(Item::DirectoryAt(inUse.app.Folder()));
    if (!inUse.Start(context)) return;
    UserActions user;
    user.windowBoxAnswers = {IDRETRY};
    user.beforeAnswer = [&](size_t) { inUse.End(); };
    UserSession seen = RunAsUser(inUse.app, user);
    inUse.End();
    CheckProgressWindow(seen, kBuiltinCaption, kBuiltinClose);
    check::Equal("boxes of the progress window (no restart question)", 1, static_cast<long long>(seen.windowBoxes.size()));
    if (!seen.windowBoxes.empty())
        check::Equal("the question names the file in use", kInUseQuestion + inUse.appExe, seen.windowBoxes[0].text);
    check::EqualLines("the status lines", kBuiltinLines, seen.statusLines);
    CheckEnd(seen, 0);
    inUse.app.CheckExpectations("after Retry");
    CheckScheduledInRegistry(seen, false);
}

// Cancel: the application's file is renamed in its folder and the new name
// deleted at the restart, then the folder; a new version installed before the
// restart keeps its file.
void FilesInUseCancel(const CaseContext& context) {
    AppInUse inUse(context, "In Use Cancel Test");
    inUse.app.ExpectKept(Item::FileAt(inUse.renamed));
    inUse.app.ExpectKept(Item::DirectoryAt(inUse.app.Folder()));
    if (!inUse.Start(context)) return;
    UserActions user;
    user.windowBoxAnswers = {IDCANCEL, IDNO};
    UserSession seen = RunAsUser(inUse.app, user);
    inUse.End();
    CheckProgressWindow(seen, kBuiltinCaption, kBuiltinClose);
    std::vector<std::string> lines = kBuiltinLines;
    lines.insert(lines.end() - 1, "Removed when Windows restarts: " + inUse.appExe);
    check::EqualLines("the status lines", lines, seen.statusLines);
    if (check::Equal("boxes of the progress window", 2, static_cast<long long>(seen.windowBoxes.size()))) {
        check::Equal("the question names the file in use", kInUseQuestion + inUse.appExe, seen.windowBoxes[0].text);
        check::That(seen.windowBoxes[0].buttons == std::vector<int>{IDRETRY, IDCANCEL}, "the question has Retry and Cancel");
        check::Equal("the restart question", "Windows must be restarted to finish removing the program. Restart now?",
                     seen.windowBoxes[1].text);
        check::That(seen.windowBoxes[1].buttons == std::vector<int>{IDYES, IDNO}, "the restart question has Yes and No");
    }
    CheckEnd(seen, 0);
    inUse.app.CheckExpectations("after Cancel");
    check::That(!machine::FileExists(inUse.appExe), "the application's file is no longer under its name");
    check::EqualLines("deletions at restart after the copy's",
                      {"\\??\\" + inUse.renamed, "\\??\\" + inUse.app.Folder()},
                      inUse.ScheduledAfterTheCopy(seen.tempCopyPath));
    check::That(machine::WriteFile(inUse.appExe, "new version\r\n"), "a new version is installed before the restart");
    CheckRestartDeletes({inUse.renamed});
    std::string kept;
    check::That(machine::ReadFile(inUse.appExe, &kept) && kept == "new version\r\n", "the new version survives the restart");
}

// Silent: no window, exit code 3010, the file and the folder scheduled.
void FilesInUseSilent(const CaseContext& context) {
    AppInUse inUse(context, "In Use Silent Test");
    inUse.app.ExpectKept(Item::FileAt(inUse.renamed));
    if (!inUse.Start(context)) return;
    GoneAfterEnd goneAfter{{Item::FileAt(inUse.app.ProgramPath())}};
    SilentRun run = RunSilently(inUse.app, "/S", machine::ParentOf(inUse.app.Folder()), [&] { goneAfter.Wait(); });
    inUse.End();
    check::Equal("the exit code", 3010, run.exitCode);
    CheckSilentRun(inUse.app, run, {Item::FileAt(inUse.readme), Item::FileAt(inUse.app.LogPath())}, goneAfter);
    UserSession seen;
    seen.tempCopyPath = TempCopyPath(inUse.app.ProgramName());
    check::EqualLines("deletions at restart after the copy's",
                      {"\\??\\" + inUse.renamed, "\\??\\" + inUse.app.Folder()},
                      inUse.ScheduledAfterTheCopy(seen.tempCopyPath));
}

// Wine runs every program as an elevated administrator and protects nothing:
// the sample application installed outside Program Files, where an ordinary
// user could have changed its log, is removed by a copy that has only an
// ordinary user's rights (a restricted copy of the caller's token, read while
// the copy waits at its question) and says so first. Wine does not enforce
// the restriction, so everything listed still goes.
void OrdinaryRights(const CaseContext& context) {
    const std::string folder = "C:\\Vorsil Rights Test\\Sample App";
    Installation app = SampleApp(folder, context.helpers);
    if (!app.Lay(context.program)) return;
    machine::SetPendingFileRenames({});

    UserActions user;
    std::string copyRights;
    user.atQuestion = [&](HANDLE copy) { copyRights = processes::TokenRights(copy); };
    check::Info("the driver's own token: %s", processes::TokenRights(GetCurrentProcess()).c_str());
    UserSession seen = RunAsUser(app, user);
    CheckRelaunch(app, seen);
    // Wine leaves the privileges (Windows keeps only SeChangeNotifyPrivilege).
    check::Info("the copy's token: %s", copyRights.c_str());
    check::Equal("the copy's token", "Administrators deny-only, no member of Administrators",
                 copyRights.substr(0, copyRights.rfind(", ")));
    CheckQuestion(seen, "Uninstall Sample App",
                  "Are you sure you want to completely remove Sample App and all of its components?");
    CheckProgressWindow(seen, "Uninstall Sample App", kBuiltinClose);
    check::That(seen.ordinaryRightsSaid,
                "the first status line: the log can be changed without administrator rights, so it is used with "
                "an ordinary user's rights");
    check::EqualLines("the other status lines",
                      SampleAppStatusLines(),
                      seen.statusLines);
    CheckEnd(seen, 0);
    app.CheckExpectations("after the uninstall");
    machine::RemoveTree(machine::ParentOf(folder));
}

// A silent run whose copy is ended from outside while it waits for the program
// of [Uninstall.RunApp]: the caller gets 1603, not the 0 of the ended copy.
void SilentCopyEnded(const CaseContext& context) {
    Installation app(TestFolder("Silent Ended Test"));
    const std::string mark = app.Folder() + "\\waiting.txt";
    app.AddFile(app.Folder() + "\\app.exe", "program\r\n");
    app.AddCleanup(Item::FileAt(mark));
    app.LogLine("Uninstall.RunApp", "1=" + context.helpers + "\\marker.exe,\"" + mark + "\" /stay,,0,Waiting,1");
    app.LogLine("CopyFiles", app.Folder() + "\\app.exe=1");
    app.ExpectEverythingKept();
    if (!app.Lay(context.program)) return;

    processes::KillAllNamed(app.ProgramName());
    PROCESS_INFORMATION first;
    if (!check::That(processes::Start(app.ProgramPath(), "/S", app.Folder(), &first), "the program starts")) return;
    CloseHandle(first.hThread);
    bool waiting = false;
    for (int waited = 0; waited < 15000 && !(waiting = machine::FileExists(mark)); waited += 100) Sleep(100);
    check::That(waiting, "the copy runs the program of [Uninstall.RunApp] and waits for it");
    HANDLE copy = processes::OpenRunning(TempCopyPath(app.ProgramName()));
    check::That(copy && TerminateProcess(copy, 0), "a helper ends the copy, with exit code 0");
    if (copy) CloseHandle(copy);
    DWORD exitCode = STILL_ACTIVE;
    if (!processes::WaitForExit(first.hProcess, 15000, &exitCode)) TerminateProcess(first.hProcess, 255);
    CloseHandle(first.hProcess);
    check::Equal("the exit code the caller gets", 1603, exitCode);
    processes::KillAllNamed("marker.exe");
    check::Equal("program processes left running", 0, processes::KillAllNamed(app.ProgramName()));
    app.CheckExpectations("after the copy was ended");
}

#define E2E_CASE(name, function, summary) {name, function, summary}

const std::vector<Case> kCases = {
    E2E_CASE("relaunch-and-cancel", RelaunchAndCancel,
             "relaunch from %TEMP%, [Strings] question, Cancel removes nothing, deletion at restart (NT)"),
    E2E_CASE("missing-log", MissingLog, "no install.log: built-in error box, exit code 1"),
    E2E_CASE("progress-builtin-texts", ProgressWithBuiltinTexts,
             "OK opens the progress window with the built-in texts; Close ends with 0"),
    E2E_CASE("progress-string-overrides", ProgressWithStringOverrides,
             "[Strings] keys 1, 4, 23 replace caption, question, button; the close box ends with 0"),
    E2E_CASE("win98-new-wininit", Windows98NewWininit,
             "95 family: wininit.ini created with [Rename] NUL=<short path of the copy>"),
    E2E_CASE("win98-existing-rename-line", Windows98ExistingRenameLine,
             "95 family: a NUL= line added next to another program's, nothing else changed"),
    E2E_CASE("empty-log-uninstall", EmptyLogUninstall,
             "a log listing nothing: every status line in order, log and program deleted, Esc closes"),
    E2E_CASE("sample-app-uninstall", SampleAppUninstall,
             "the demo's sample installation: everything listed gone, everything else kept"),
    E2E_CASE("unicode-temp-folder", UnicodeTempFolder,
             "a temporary folder named in letters outside the code page: the copy runs from its short form"),
    E2E_CASE("silent-uninstall", SilentUninstall,
             "/S from the folder's parent: no window, exit 0 once all is gone, program file and folder a moment after"),
    E2E_CASE("silent-missing-log", SilentMissingLog, "/s without a log: nothing removed, no window, exit code 1"),
    E2E_CASE("silent-twice", SilentTwice, "a second /S run while the first works: no harm, both end by themselves"),
    E2E_CASE("silent-log-in-other-folder", SilentLogInOtherFolder,
             "/S with a quoted log path in another folder: that log's items and the log go, exit 0"),
    E2E_CASE("long-section-answers", LongSectionAnswers,
             "20,000 files: the window answers a helper all along and counts them; the final lines are plain"),
    E2E_CASE("files-in-use-retry", FilesInUseRetry,
             "the application runs from its folder; closed while the question is up, Retry removes everything"),
    E2E_CASE("files-in-use-cancel", FilesInUseCancel,
             "Cancel: its file renamed beside and deleted at the restart, then the folder; a new version survives"),
    E2E_CASE("files-in-use-silent", FilesInUseSilent, "/S while the application runs: exit 3010, file and folder scheduled"),
    E2E_CASE("ordinary-rights", OrdinaryRights,
             "the sample app outside Program Files: the copy's token is restricted, it says so first, all goes"),
    E2E_CASE("report-and-trial", ReportAndTrial, "/S /N /LOG= changes nothing, then /S /LOG=: both reports name every item"),
    E2E_CASE("silent-copy-ended", SilentCopyEnded, "/S whose copy is ended from outside half-way: exit code 1603"),
    E2E_CASE("early-close", EarlyClose,
             "Close, the close box, Esc at once: the window stays until the removal is over, then goes"),
};

}  // namespace

const std::vector<Case>& AllCases() { return kCases; }

const Case* FindCase(const std::string& name) {
    for (const Case& c : kCases)
        if (name == c.name) return &c;
    return nullptr;
}
