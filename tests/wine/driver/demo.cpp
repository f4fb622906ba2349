#include "demo.h"

#include <windows.h>

#include <cstdio>

#include "check.h"
#include "machine.h"
#include "sample_app.h"
#include "session.h"

namespace {

void PrintItems(const char* title, const std::vector<Item>& items) {
    check::Out("%s\n", title);
    if (items.empty()) check::Out("  (nothing)\n");
    for (const Item& item : items) check::Out("  %s\n", item.Describe().c_str());
}

// The progress window's place and size on the screen, and its list's size, in pixels.
struct Sizes {
    RECT window = {};
    RECT list = {};
};

Sizes SizesOf(HWND window) {
    Sizes sizes;
    GetWindowRect(window, &sizes.window);
    GetWindowRect(GetDlgItem(window, 200), &sizes.list);
    return sizes;
}

// "x y width height listWidth listHeight" for the screenshot.
void WaitForScreenshot(const std::string& handshake, const Sizes& sizes) {
    const RECT& rect = sizes.window;
    char text[96];
    std::snprintf(text, sizeof text, "%ld %ld %ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, sizes.list.right - sizes.list.left, sizes.list.bottom - sizes.list.top);
    std::string taken = handshake + "\\screenshot-taken";
    DeleteFileA(taken.c_str());
    machine::WriteFile(handshake + "\\progress-open", text);
    for (int waited = 0; waited < 20000 && !machine::FileExists(taken); waited += 100) Sleep(100);
    if (!machine::FileExists(taken)) check::Out("(no screenshot was taken)\n");
}

}  // namespace

int RunDemo(const CaseContext& context, const std::string& handshake) {
    check::BeginCase("demo");
    Installation app = SampleApp("C:\\Program Files\\Sample App", context.helpers);
    if (!app.Lay(context.program)) return check::Finish();
    check::Out("\ninstall.log (%s):\n%s\n", app.LogPath().c_str(), app.LogText().c_str());
    std::vector<Item> before = app.Items();
    PrintItems("Installed (before the uninstall):", before);

    check::Out("\nStarting %s without arguments from %s\n", app.ProgramPath().c_str(), app.Folder().c_str());
    UserActions user;
    Sizes sizes;
    user.whileProgressOpen = [&](HWND window) {
        sizes = SizesOf(window);
        if (!handshake.empty()) WaitForScreenshot(handshake, sizes);
    };
    check::ShowInfo(false);
    UserSession seen = RunAsUser(app, user);
    check::ShowInfo(true);

    check::Out("\nFirst run ended with exit code %lu; the copy %s %s\n", seen.firstExitCode,
                seen.tempCopyPath.c_str(), machine::FileExists(seen.tempCopyPath) ? "exists" : "is missing");
    if (seen.messageBox.shown)
        check::Out("Question \"%s\": %s  -> answered OK\n", seen.messageBox.caption.c_str(),
                    seen.messageBox.text.c_str());
    if (seen.progressShown) {
        check::Out("Progress window \"%s\" (%ld x %ld pixels, its list %ld x %ld), button \"%s\", status lines:\n",
                   seen.progressCaption.c_str(), sizes.window.right - sizes.window.left,
                   sizes.window.bottom - sizes.window.top, sizes.list.right - sizes.list.left,
                   sizes.list.bottom - sizes.list.top, seen.closeButtonText.c_str());
        for (const std::string& line : seen.statusLines) check::Out("  %s\n", line.c_str());
        check::Out("Pressed %s; the window %s\n", seen.closeButtonText.c_str(),
                    seen.progressClosed ? "closed" : "did not close");
    }
    check::Out("Second run ended with exit code %lu\n", seen.secondExitCode);
    for (const auto& rename : machine::PendingFileRenames())
        check::Out("Deletion at restart pending: %s\n", rename.first.c_str());

    std::vector<Item> removed, stayed;
    for (const Item& item : before) (item.Exists() ? stayed : removed).push_back(item);
    check::Out("\n");
    PrintItems("Removed:", removed);
    PrintItems("Stayed:", stayed);
    check::Out("\n");
    for (const SampleMarker& marker : SampleMarkers(app.Folder(), context.helpers)) {
        std::string written;
        for (int waited = 0; waited < 10000 && !machine::ReadFile(marker.path, &written); waited += 100) Sleep(100);
        check::Out("A run program wrote %s: %s", marker.path.c_str(), written.empty() ? "(nothing)\n" : written.c_str());
        check::Equal("the mark in " + marker.path, marker.expected, written);
    }

    std::string unexpected;
    for (const Item& item : app.ExpectedGone())
        if (item.Exists()) unexpected += "\n  stayed: " + item.Describe();
    for (const Item& item : app.ExpectedKept())
        if (!item.Exists()) unexpected += "\n  removed: " + item.Describe();
    check::That(unexpected.empty(), "what the log lists is gone, everything else stayed", unexpected);
    check::That(seen.messageBox.shown && seen.answered, "the question was answered");
    check::That(seen.progressShown && seen.progressClosed, "the progress window opened and closed");
    check::Equal("the second run's exit code", 0, seen.secondExitCode);
    return check::Finish();
}
