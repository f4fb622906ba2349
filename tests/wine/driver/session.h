// One use of the uninstaller as a user goes through it: start the installed
// program, answer its question, watch the progress window, close it. Records
// what was seen; the cases decide what to expect.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "installation.h"

enum class Answer { Ok, Cancel };
enum class CloseBy { Button, CloseBox, Escape };

struct UserActions {
    std::string arguments;         // empty: started without arguments
    std::string currentDirectory;  // empty: the installation folder
    Answer answer = Answer::Ok;
    CloseBy closeBy = CloseBy::Button;
    // How long a window may take to appear, and a run to end.
    DWORD windowTimeoutMs = 15000;
    // How long the progress window's opening (the whole removal) may take:
    // 20,000 files took over two minutes in an emulated machine on a busy
    // host. A bound for a hung run; how fast the window answers is timed apart.
    DWORD removalTimeoutMs = 100000;
    // The status line that ends the removal (message 5 of [Strings], when replaced).
    std::string finishedLine = "Uninstall is finished.";
    // Wine runs every program as an elevated administrator and protects no
    // folder: every copy has an ordinary user's rights and says so first
    // (message 17 of [Strings], when replaced). The session takes that line
    // off the status lines it reads; ordinaryRightsSaid tells it was there.
    std::string ordinaryRightsLine =
        "The installation log can be changed without administrator rights, so it is used with an ordinary user's "
        "rights.";
    // Called with the copy's process while its question waits for an answer.
    std::function<void(HANDLE copy)> atQuestion;
    // Called while the finished progress window is still open (the demo's screenshot).
    std::function<void(HWND progressWindow)> whileProgressOpen;
    // Close the progress window as soon as it shows, before the removal has
    // begun; it is then watched until it goes by itself.
    bool closeAtOnce = false;
    // The buttons that answer the progress window's own boxes, in order (the
    // question about files in use, the restart question); IDCANCEL, or IDNO
    // where there is no Cancel, for any other. Never a restart: Wine would
    // restart the prefix. beforeAnswer(i) runs before box i is answered.
    std::vector<int> windowBoxAnswers;
    std::function<void(size_t index)> beforeAnswer;
};

struct MessageBoxSeen {
    bool shown = false;
    std::string caption, text;
    std::vector<int> buttons;  // control ids of its buttons
};

struct UserSession {
    std::string tempCopyPath;  // where the copy is expected: %TEMP% + the program's file name
    bool firstStarted = false;
    bool firstEnded = false;
    DWORD firstExitCode = STILL_ACTIVE;

    bool secondFound = false;  // a window of the second run appeared
    std::string secondImage;
    std::string secondCommandLine;

    MessageBoxSeen messageBox;  // the question or the error box
    bool answered = false;

    std::vector<MessageBoxSeen> windowBoxes;  // the progress window's own, in order

    bool progressShown = false;
    bool progressFinished = false;  // its opening (the removal) returned
    std::string progressCaption;
    std::string closeButtonText;
    bool statusRead = false;
    bool ordinaryRightsSaid = false;  // the first status line was actions.ordinaryRightsLine, taken off
    std::vector<std::string> statusLines;
    int statusSelection = -1;
    bool progressClosed = false;
    // Watched while the removal ran, as a helper program would: WM_NULL about
    // every 50 ms and a read of the newest status line. Each different newest
    // line in the order seen, and the longest the window took to answer one
    // of those messages.
    std::vector<std::string> newestLines;
    DWORD longestSilenceMs = 0;
    // closeAtOnce: the close was asked for, and the window still showed once
    // it had been handled.
    bool closeAsked = false;
    bool shownAfterClose = false;

    bool secondEnded = false;
    DWORD secondExitCode = STILL_ACTIVE;
    int straysKilled = 0;  // program processes still running at the end
};

// Runs the installed program of `installation` as a user would. Every wait is
// bounded; whatever is still running at the end is ended.
UserSession RunAsUser(const Installation& installation, const UserActions& actions);

// A silent uninstall as a deployment tool runs one: started with its arguments
// in a folder, waited for, never looked at.
struct SilentRun {
    bool started = false;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    std::string windowSeen;  // the caption of a window of the program, "" when none appeared
    DWORD endedAt = 0;       // GetTickCount when the started process was seen to end
    int straysKilled = 0;
};
// atEnd runs the moment the started process has ended.
SilentRun RunSilently(const Installation& installation, const std::string& arguments, const std::string& folder,
                      const std::function<void()>& atEnd);

// The path of the temporary copy the program makes of itself.
std::string TempCopyPath(const std::string& programName);
