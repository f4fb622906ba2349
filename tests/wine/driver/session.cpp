#include "session.h"

#include "check.h"
#include "desktop.h"
#include "machine.h"
#include "processes.h"

#include <algorithm>

namespace {

bool OwnedByProgram(HWND window, const std::string& programName) {
    return machine::SamePath(processes::ImageName(desktop::ProcessIdOf(window)), programName);
}

// The box's texts and buttons, once it has filled them in (it may still be
// doing so right after it appeared).
MessageBoxSeen ReadMessageBox(HWND box, const UserActions& actions, const char* what) {
    desktop::WaitUntilResponsive(box, actions.windowTimeoutMs);
    MessageBoxSeen shown;
    shown.shown = true;
    shown.caption = desktop::Text(box);
    shown.text = desktop::MessageBoxText(box);
    shown.buttons = desktop::ButtonIds(box);
    check::Info("%s %s: %s", what, check::Quote(shown.caption).c_str(), check::Quote(shown.text).c_str());
    return shown;
}

// Reads the box, then answers it as the user would.
void AnswerMessageBox(HWND box, const UserActions& actions, UserSession* seen) {
    seen->messageBox = ReadMessageBox(box, actions, "message box");
    bool hasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
    int button = actions.answer == Answer::Cancel && hasCancel ? IDCANCEL : IDOK;
    if (!GetDlgItem(box, button)) button = IDCANCEL;
    seen->answered = desktop::ClickButton(box, button) && desktop::WaitForWindowGone(box, 5000);
}

// A box of the progress window: read, then answered as the actions say.
void AnswerWindowBox(HWND box, const UserActions& actions, UserSession* seen) {
    size_t index = seen->windowBoxes.size();
    seen->windowBoxes.push_back(ReadMessageBox(box, actions, "box of the progress window"));
    if (actions.beforeAnswer) actions.beforeAnswer(index);
    int button = index < actions.windowBoxAnswers.size() ? actions.windowBoxAnswers[index] : IDCANCEL;
    if (button == IDYES || !GetDlgItem(box, button)) button = GetDlgItem(box, IDCANCEL) ? IDCANCEL : IDNO;
    desktop::ClickButton(box, button);
    desktop::WaitForWindowGone(box, 5000);
}

const DWORD kLookEveryMs = 50;

// One look at the progress window as a helper program would take it: WM_NULL,
// then the newest status line, each answer's wait noted.
bool LookAt(HWND progress, HWND list, DWORD timeoutMs, UserSession* seen) {
    DWORD start = GetTickCount();
    bool answered = desktop::WaitUntilResponsive(progress, timeoutMs);
    seen->longestSilenceMs = std::max(seen->longestSilenceMs, GetTickCount() - start);
    std::string newest;
    if (!answered || !desktop::ListBoxNewestLine(list, &newest, &seen->longestSilenceMs)) return false;
    if (seen->newestLines.empty() || seen->newestLines.back() != newest) seen->newestLines.push_back(newest);
    return true;
}

// Looks at the window about every 50 ms until done() says so or the time is up.
void Watch(HWND progress, HWND list, DWORD timeoutMs, UserSession* seen, const std::function<bool(bool)>& done) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD round = GetTickCount();
        bool looked = LookAt(progress, list, timeoutMs, seen);
        if (done(looked) || GetTickCount() - start >= timeoutMs) return;
        DWORD took = GetTickCount() - round;
        if (took < kLookEveryMs) Sleep(kLookEveryMs - took);
    }
}

bool Press(HWND progress, CloseBy closeBy) {
    switch (closeBy) {
    case CloseBy::Button: return desktop::ClickButton(progress, IDCANCEL);
    case CloseBy::CloseBox: return desktop::PressCloseBox(progress);
    case CloseBy::Escape: return desktop::PressEscape(progress);
    }
    return false;
}

// Closing at once, before the removal has begun: the window must stay until
// the removal is over, then go by itself.
void CloseAtOnce(HWND progress, HWND list, const UserActions& actions, UserSession* seen) {
    seen->closeAsked = Press(progress, actions.closeBy);
    // A posted key or close box has been handled once the window has answered twice.
    desktop::WaitUntilResponsive(progress, actions.windowTimeoutMs);
    desktop::WaitUntilResponsive(progress, actions.windowTimeoutMs);
    seen->shownAfterClose = IsWindow(progress) && IsWindowVisible(progress);
    Watch(progress, list, actions.removalTimeoutMs, seen,
          [&](bool) { return !IsWindow(progress) || !IsWindowVisible(progress); });
    seen->progressClosed = desktop::WaitForWindowGone(progress, 5000);
    seen->progressFinished = seen->progressClosed;
    check::Info("closed at once; the newest status lines seen meanwhile:");
    for (const std::string& line : seen->newestLines) check::Info("  | %s", line.c_str());
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
    if (box && desktop::IsMessageBox(box) && second && actions.atQuestion) actions.atQuestion(second);
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
    HWND list = progress ? GetDlgItem(progress, 200) : nullptr;
    if (progress && actions.closeAtOnce) {
        seen.progressShown = true;
        CloseAtOnce(progress, list, actions, &seen);
    } else if (progress) {
        seen.progressShown = true;
        // The window answers while the removal works, so only the last status
        // line tells that the removal is over. Its boxes are answered meanwhile;
        // one that comes after the last line (the restart question) is waited
        // for when expected, and given a moment when not.
        DWORD copyId = GetProcessId(second);
        auto windowBox = [&](DWORD timeoutMs) {
            return desktop::WaitForWindow(
                [&](HWND w) { return desktop::IsMessageBox(w) && desktop::ProcessIdOf(w) == copyId; }, timeoutMs);
        };
        Watch(progress, list, actions.removalTimeoutMs, &seen, [&](bool looked) {
            if (HWND box = windowBox(0)) AnswerWindowBox(box, actions, &seen);
            return looked && !seen.newestLines.empty() && seen.newestLines.back() == actions.finishedLine;
        });
        while (HWND box = windowBox(seen.windowBoxes.size() < actions.windowBoxAnswers.size() ? actions.windowTimeoutMs
                                                                                               : 500))
            AnswerWindowBox(box, actions, &seen);
        check::Info("longest wait for an answer while the removal ran: %lu ms",
                    static_cast<unsigned long>(seen.longestSilenceMs));
        seen.progressFinished = desktop::WaitUntilResponsive(progress, actions.removalTimeoutMs);
        seen.progressCaption = desktop::Text(progress);
        seen.closeButtonText = desktop::ControlText(progress, IDCANCEL);
        seen.statusRead = desktop::ListBoxLines(list, &seen.statusLines);
        seen.statusSelection = desktop::ListBoxSelection(list);
        seen.ordinaryRightsSaid = !seen.statusLines.empty() && seen.statusLines[0] == actions.ordinaryRightsLine;
        if (seen.ordinaryRightsSaid) {
            check::Info("the first status line, taken off: %s", check::Quote(actions.ordinaryRightsLine).c_str());
            seen.statusLines.erase(seen.statusLines.begin());
            --seen.statusSelection;
        }
        check::Info("progress window %s, button %s, %u status lines:", check::Quote(seen.progressCaption).c_str(),
                    check::Quote(seen.closeButtonText).c_str(), static_cast<unsigned>(seen.statusLines.size()));
        for (const std::string& line : seen.statusLines) check::Info("  | %s", line.c_str());
        if (actions.whileProgressOpen) actions.whileProgressOpen(progress);
        seen.progressClosed = Press(progress, actions.closeBy) && desktop::WaitForWindowGone(progress, 5000);
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
