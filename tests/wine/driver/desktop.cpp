#include "desktop.h"

#include "code_pages.h"

namespace desktop {
namespace {

const int kListBoxId = 200;
const int kMessageTextId = 0xFFFF;
// Older Wine releases gave the message text this id.
const int kOldMessageTextId = 100;
const DWORD kSendTimeoutMs = 5000;

struct Search {
    const std::function<bool(HWND)>* match;
    HWND found;
};

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    if (!IsWindowVisible(window)) return TRUE;
    if (ProcessIdOf(window) == GetCurrentProcessId()) return TRUE;
    if (!(*search->match)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

struct ChildSearch {
    std::vector<HWND> children;
};

BOOL CALLBACK VisitChild(HWND window, LPARAM parameter) {
    reinterpret_cast<ChildSearch*>(parameter)->children.push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    ChildSearch search;
    EnumChildWindows(parent, VisitChild, reinterpret_cast<LPARAM>(&search));
    return search.children;
}

bool IsButtonClass(HWND window) { return lstrcmpiA(ClassName(window).c_str(), "Button") == 0; }

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result,
          DWORD timeoutMs = kSendTimeoutMs) {
    DWORD_PTR value = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &value))
        return false;
    if (result) *result = value;
    return true;
}

bool SendW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
    DWORD_PTR value = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &value))
        return false;
    if (result) *result = value;
    return true;
}

}  // namespace

HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs, HANDLE stopWhenEnded) {
    DWORD start = GetTickCount();
    for (;;) {
        Search search = {&match, nullptr};
        EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        if (stopWhenEnded && WaitForSingleObject(stopWhenEnded, 0) == WAIT_OBJECT_0) {
            // One more look: the window may have come up just before the end.
            EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&search));
            return search.found;
        }
        Sleep(50);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

bool IsDialog(HWND window) { return ClassName(window) == "#32770"; }

bool IsProgressWindow(HWND window) {
    if (!IsDialog(window)) return false;
    HWND list = GetDlgItem(window, kListBoxId);
    return list && lstrcmpiA(ClassName(list).c_str(), "ListBox") == 0;
}

bool IsMessageBox(HWND window) {
    if (!IsDialog(window) || GetDlgItem(window, kListBoxId)) return false;
    for (int id : {IDOK, IDCANCEL, IDRETRY, IDYES, IDNO}) {
        HWND button = GetDlgItem(window, id);
        if (button && IsButtonClass(button)) return true;
    }
    return false;
}

std::string Text(HWND window) {
    char buffer[1024];
    int length = GetWindowTextA(window, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? length : 0);
}

std::string ControlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control ? Text(control) : std::string();
}

std::string ClassName(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

std::string MessageBoxText(HWND box) {
    HWND text = GetDlgItem(box, kMessageTextId);
    if (!text) text = GetDlgItem(box, kOldMessageTextId);
    if (text) return Text(text);
    // Otherwise the first static control that is not the icon.
    for (HWND child : Children(box)) {
        if (lstrcmpiA(ClassName(child).c_str(), "Static") != 0) continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        return Text(child);
    }
    return std::string();
}

std::vector<int> ButtonIds(HWND dialog) {
    std::vector<int> ids;
    for (HWND child : Children(dialog))
        if (GetParent(child) == dialog && IsButtonClass(child)) ids.push_back(GetDlgCtrlID(child));
    return ids;
}

bool WaitUntilResponsive(HWND window, DWORD timeoutMs) {
    return Send(window, WM_NULL, 0, 0, nullptr, timeoutMs);
}

bool ListBoxLines(HWND listBox, std::vector<std::string>* lines) {
    // Asked in UTF-16: Wine hands LB_GETTEXT across processes as UTF-16 text,
    // whatever the sender's character set, so an ANSI-sized buffer could overflow.
    lines->clear();
    DWORD_PTR count = 0;
    if (!SendW(listBox, LB_GETCOUNT, 0, 0, &count) || static_cast<LRESULT>(count) == LB_ERR) return false;
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!SendW(listBox, LB_GETTEXTLEN, i, 0, &length) || static_cast<LRESULT>(length) == LB_ERR)
            return false;
        std::wstring line(length + 256, L'\0');
        DWORD_PTR copied = 0;
        if (!SendW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&line[0]), &copied) ||
            static_cast<LRESULT>(copied) == LB_ERR || copied > length)
            return false;
        line.resize(copied);
        lines->push_back(code_pages::Narrow(line));
    }
    return true;
}

bool ListBoxNewestLine(HWND listBox, std::string* line, DWORD* longestAnswerMs) {
    line->clear();
    DWORD_PTR count = 0, length = 0, copied = 0;
    DWORD start = GetTickCount();
    auto answered = [&](bool ok) {
        DWORD now = GetTickCount();
        if (now - start > *longestAnswerMs) *longestAnswerMs = now - start;
        start = now;
        return ok;
    };
    if (!answered(SendW(listBox, LB_GETCOUNT, 0, 0, &count)) || static_cast<LRESULT>(count) == LB_ERR) return false;
    if (count == 0) return true;
    if (!answered(SendW(listBox, LB_GETTEXTLEN, count - 1, 0, &length)) || static_cast<LRESULT>(length) == LB_ERR)
        return false;
    std::wstring text(length + 256, L'\0');
    // The line may have changed between the two messages: the buffer has room to spare.
    if (!answered(SendW(listBox, LB_GETTEXT, count - 1, reinterpret_cast<LPARAM>(&text[0]), &copied)) ||
        static_cast<LRESULT>(copied) == LB_ERR || copied >= text.size())
        return false;
    text.resize(copied);
    *line = code_pages::Narrow(text);
    return true;
}

int ListBoxSelection(HWND listBox) {
    DWORD_PTR selection = 0;
    if (!Send(listBox, LB_GETCURSEL, 0, 0, &selection)) return -1;
    return static_cast<int>(static_cast<LRESULT>(selection));
}

bool ClickButton(HWND dialog, int controlId) {
    HWND button = GetDlgItem(dialog, controlId);
    if (!button) return false;
    return Send(button, BM_CLICK, 0, 0, nullptr);
}

bool PressCloseBox(HWND window) { return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0; }

bool PressEscape(HWND dialog) {
    // The dialog's message loop hands keys to IsDialogMessage, which turns Esc
    // into the Cancel command; keys go to the control that has the focus.
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    return PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001) &&
           PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

DWORD ProcessIdOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

}  // namespace desktop
