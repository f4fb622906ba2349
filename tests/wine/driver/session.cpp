#include "session.h"

#include "check.h"
#include "desktop.h"
#include "machine.h"
#include "processes.h"

namespace {

bool OwnedByProgram(HWND window, const std::string& programName) {
    return machine::SamePath(processes::ImageName(desktop::ProcessIdOf(window)), programName);
}

// Reads the box's texts and buttons, then answers it as the user would.
void AnswerMessageBox(HWND box, const UserActions& actions, UserSession* seen) {
    seen->messageBox.shown = true;
    // The box may still be filling in its texts right after it appeared.
    desktop::WaitUntilResponsive(box, actions.windowTimeoutMs);
    seen->messageBox.caption = desktop::Text(box);
    seen->messageBox.text = desktop::MessageBoxText(box);
    seen->messageBox.buttons = desktop::ButtonIds(box);
    check::Info("message box %s: %s", check::Quote(seen->messageBox.caption).c_str(),
                check::Quote(seen->messageBox.text).c_str());
    bool hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
    int button = actions.answer == Answer::Cancel && hasCancel ? IDCANCEL : IDOK;
    if (!GetDlgItem(box, button)) button = IDCANCEL;
    seen->answered = desktop::ClickButton(box, button) && desktop::WaitForWindowGone(box, 5000);
}

}  // namespace

std::string TempCopyPath(const std::string& programName) { return machine::TempFolder() + programName; }

UserSession RunAsUser(const Installation& installation, const UserActions& actions) {
    UserSession seen;
    const std::string programName = installation.ProgramName();
    seen.tempCopyPath = TempCopyPath(programName);
    processes::KillAllNamed(programName);
    // A copy from an earlier run would hide a missing copy.
    DeleteFileA(seen.tempCopyPath.c_str());

    PROCESS_INFORMATION first;
    std::string folder = actions.currentDirectory.empty() ? installation.Folder() : actions.currentDirectory;
    seen.firstStarted = processes::Start(installation.ProgramPath(), actions.arguments, folder, &first);
    if (!seen.firstStarted) {
        check::Info("cannot start %s (error %lu)", installation.ProgramPath().c_str(), GetLastError());
        return seen;
    }
    CloseHandle(first.hThread);

    // The first run ends at once after starting its copy; one that cannot
    // start a copy safely says so in a box of its own and ends when it closes.
    HWND firstBox = desktop::WaitForWindow(
        [&](HWND window) { return desktop::IsMessageBox(window) && desktop::ProcessIdOf(window) == first.dwProcessId; },
        actions.windowTimeoutMs, first.hProcess);
    if (firstBox) AnswerMessageBox(firstBox, actions, &seen);
    seen.firstEnded = processes::WaitForExit(first.hProcess, actions.windowTimeoutMs, &seen.firstExitCode);

    // The second run shows a message box first: the question, or the error box.
    // After the first run's own box no copy may appear: a short look is enough.
    HWND box = desktop::WaitForWindow(
        [&](HWND window) { return desktop::IsDialog(window) && OwnedByProgram(window, programName); },
        firstBox ? 1000 : actions.windowTimeoutMs);
    HANDLE second = nullptr;
    if (box) {
        seen.secondFound = true;
        second = processes::OpenOwnerOf(box);
        if (second) {
            seen.secondImage = processes::ImagePath(second);
            seen.secondCommandLine = processes::CommandLine(second);
        }
        check::Info("second run: %s", seen.secondCommandLine.c_str());
    }
    if (box && desktop::IsMessageBox(box)) AnswerMessageBox(box, actions, &seen);

    HWND progress = nullptr;
    if (seen.answered && actions.answer == Answer::Ok && second) {
        progress = desktop::WaitForWindow(
            [&](HWND window) {
                return desktop::IsProgressWindow(window) &&
                       desktop::ProcessIdOf(window) == GetProcessId(second);
            },
            actions.windowTimeoutMs, second);
    } else if (box && desktop::IsProgressWindow(box)) {
        progress = box;  // no question was asked
    }
    if (progress) {
        seen.progressShown = true;
        HWND list = GetDlgItem(progress, 200);
        // The window answers sent messages while the removal waits for a run
        // program, so only the last status line tells that the removal is over.
        DWORD waited = 0;
        for (;;) {
            seen.statusRead = desktop::ListBoxLines(list, &seen.statusLines);
            bool finished = !seen.statusLines.empty() && seen.statusLines.back() == actions.finishedLine;
            if (finished || waited >= actions.removalTimeoutMs) break;
            Sleep(100);
            waited += 100;
        }
        seen.progressFinished = desktop::WaitUntilResponsive(progress, actions.removalTimeoutMs);
        seen.progressCaption = desktop::Text(progress);
        seen.closeButtonText = desktop::ControlText(progress, IDCANCEL);
        seen.statusRead = desktop::ListBoxLines(list, &seen.statusLines);
        seen.statusSelection = desktop::ListBoxSelection(list);
        check::Info("progress window %s, button %s, %u status lines:", check::Quote(seen.progressCaption).c_str(),
                    check::Quote(seen.closeButtonText).c_str(), static_cast<unsigned>(seen.statusLines.size()));
        for (const std::string& line : seen.statusLines) check::Info("  | %s", line.c_str());
        if (actions.whileProgressOpen) actions.whileProgressOpen(progress);
        bool pressed = false;
        switch (actions.closeBy) {
        case CloseBy::Button: pressed = desktop::ClickButton(progress, IDCANCEL); break;
        case CloseBy::CloseBox: pressed = desktop::PressCloseBox(progress); break;
        case CloseBy::Escape: pressed = desktop::PressEscape(progress); break;
        }
        seen.progressClosed = pressed && desktop::WaitForWindowGone(progress, 5000);
    }

    if (second) {
        seen.secondEnded = processes::WaitForExit(second, actions.windowTimeoutMs, &seen.secondExitCode);
        CloseHandle(second);
    }
    if (!seen.firstEnded) TerminateProcess(first.hProcess, 255);
    CloseHandle(first.hProcess);
    seen.straysKilled = processes::KillAllNamed(programName);
    return seen;
}

SilentRun RunSilently(const Installation& installation, const std::string& arguments, const std::string& folder,
                      const std::function<void()>& atEnd) {
    SilentRun run;
    const std::string programName = installation.ProgramName();
    processes::KillAllNamed(programName);
    PROCESS_INFORMATION started;
    run.started = processes::Start(installation.ProgramPath(), arguments, folder, &started);
    if (!run.started) return run;
    CloseHandle(started.hThread);
    // Both runs are watched for a window until the started one ends.
    const DWORD limitMs = 60000;
    DWORD start = GetTickCount();
    while (!run.ended && GetTickCount() - start < limitMs) {
        HWND window = desktop::WaitForWindow([&](HWND w) { return OwnedByProgram(w, programName); }, 50,
                                             started.hProcess);
        if (window && run.windowSeen.empty()) run.windowSeen = "\"" + desktop::Text(window) + "\"";
        run.ended = WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0;
    }
    if (run.ended) {
        run.endedAt = GetTickCount();
        GetExitCodeProcess(started.hProcess, &run.exitCode);
        atEnd();
    } else {
        TerminateProcess(started.hProcess, 255);
    }
    CloseHandle(started.hProcess);
    // The copy finishes the program file and the folders after the caller's end.
    for (int waited = 0; waited < 5000 && !processes::ProcessesNamed(programName).empty(); waited += 50) Sleep(50);
    run.straysKilled = processes::KillAllNamed(programName);
    return run;
}
