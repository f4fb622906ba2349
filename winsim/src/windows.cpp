// The user interface: message boxes answered from a queue, the progress
// dialog built from what the resource script holds (template 100, icon 300),
// the thread's message queue and the message functions.
#include "state.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

namespace winsim {

namespace {

const int DIALOG_TEMPLATE = 100;
const int PROGRAM_ICON = 300;
const int STATUS_LIST = 200;
const uintptr_t PROGRAM_ICON_HANDLE = 0x10300;

struct Queued {
    MSG msg;
    bool sent;
    bool fromPeriodicSender;
    DWORD at;  // when it was queued
};

std::vector<SimMessageBox> g_boxes;
std::deque<int> g_answers;
std::vector<SimMessage> g_script;
SimDialog g_dialog;
DLGPROC g_proc = nullptr;
HWND g_dialogWindow = nullptr;
std::deque<Queued> g_queue;
std::vector<MSG> g_dispatched;
std::vector<SimAnswer> g_sentAnswers;

// The dialog's window when handle is it, else nullptr.
bool IsDialog(HWND handle) { return g_dialogWindow != nullptr && handle == g_dialogWindow; }

SimControl* ControlOf(HWND handle)
{
    if (g_dialogWindow == nullptr || handle == nullptr)
        return nullptr;
    for (SimControl& control : g_dialog.controls)
        if (control.window == handle)
            return &control;
    return nullptr;
}

std::string WindowText(HWND handle)
{
    if (handle == nullptr)
        return "NULL";
    if (IsDialog(handle))
        return "dialog";
    if (SimControl* control = ControlOf(handle))
        return control->className + "#" + std::to_string(control->id);
    return HandleText(handle);
}

int ResourceId(LPCSTR name)
{
    if (name == nullptr)
        return -1;
    if (IS_INTRESOURCE(name))
        return LOWORD(reinterpret_cast<ULONG_PTR>(name));
    if (name[0] == '#')
        return std::atoi(name + 1);
    return -1;
}

std::string ResourceText(LPCSTR name)
{
    if (name != nullptr && IS_INTRESOURCE(name))
        return std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
    return Quoted(name);
}

LRESULT DeliverToDialog(UINT message, WPARAM wParam, LPARAM lParam);

// DefDlgProc's work for the messages the dialog procedure leaves alone.
LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETICON: {
        HICON icon = reinterpret_cast<HICON>(lParam);
        HICON& slot = wParam == ICON_BIG ? g_dialog.bigIcon : g_dialog.smallIcon;
        HICON previous = slot;
        slot = icon;
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? g_dialog.bigIcon : g_dialog.smallIcon);
    case WM_SYSCOMMAND:
        // The close box and Alt+F4.
        if ((wParam & 0xFFF0) == SC_CLOSE)
            return DeliverToDialog(WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        // The close box works as the Cancel button, when there is one.
        for (const SimControl& control : g_dialog.controls)
            if (control.id == IDCANCEL)
                return DeliverToDialog(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                       reinterpret_cast<LPARAM>(control.window));
        return 0;
    }
    return 0;
}

LRESULT DeliverToDialog(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = g_dialogWindow;
    INT_PTR handled = g_proc ? g_proc(window, message, wParam, lParam) : FALSE;
    if (!IsDialog(window))
        return 0;
    if (!handled)
        return DefaultHandling(message, wParam, lParam);
    return 0;
}

// A message sent by another thread, handed to its window as the receiving
// thread looks at its queue; the sender gets its answer.
void DeliverSent(const Queued& queued)
{
    SimAnswer answer;
    answer.message = queued.msg.message;
    answer.sentAt = queued.at;
    answer.answeredAt = Now();
    answer.newestLine = g_dialog.listLines.empty() ? "" : g_dialog.listLines.back();
    g_sentAnswers.push_back(answer);
    g_dispatched.push_back(queued.msg);
    Record("(sent " + MessageName(queued.msg.message) + " handed to the dialog)");
    if (IsDialog(queued.msg.hwnd))
        DeliverToDialog(queued.msg.message, queued.msg.wParam, queued.msg.lParam);
    if (queued.fromPeriodicSender)
        PeriodicSendAnswered();
}

// Every sent message waiting in the queue, in order, those that arrive meanwhile too.
void DeliverSentMessages()
{
    for (;;) {
        auto sent = std::find_if(g_queue.begin(), g_queue.end(), [](const Queued& q) { return q.sent; });
        if (sent == g_queue.end())
            return;
        Queued queued = *sent;
        g_queue.erase(sent);
        DeliverSent(queued);
    }
}

// IsDialogMessage's work on a message posted to the dialog or one of its
// controls: Esc becomes the Cancel command; the dialog gets its other
// messages (the controls' own procedures are not simulated).
void HandleDialogMessage(const MSG& msg)
{
    g_dispatched.push_back(msg);
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
        HWND cancel = nullptr;
        for (const SimControl& control : g_dialog.controls)
            if (control.id == IDCANCEL)
                cancel = control.window;
        DeliverToDialog(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    } else if (IsDialog(msg.hwnd)) {
        DeliverToDialog(msg.message, msg.wParam, msg.lParam);
    }
}

bool IsForDialog(HWND hwnd) { return IsDialog(hwnd) || ControlOf(hwnd) != nullptr; }

// The dialog's own modal loop: it answers what is sent and hands what is
// posted to IsDialogMessage.
void PumpQueue()
{
    while (!g_queue.empty() && g_dialogWindow != nullptr && !g_dialog.ended) {
        Queued queued = g_queue.front();
        g_queue.pop_front();
        if (queued.sent)
            DeliverSent(queued);
        else if (IsForDialog(queued.msg.hwnd))
            HandleDialogMessage(queued.msg);
    }
}

SimControl MakeControl(int id, const char* className, const char* text)
{
    SimControl control;
    control.id = id;
    control.className = className;
    control.text = text;
    control.window = reinterpret_cast<HWND>(NewHandleValue());
    return control;
}

bool MatchesFilter(const MSG& msg, HWND hwnd, UINT first, UINT last)
{
    if (hwnd == reinterpret_cast<HWND>(-1)) {
        if (msg.hwnd != nullptr)
            return false;
    } else if (hwnd != nullptr && msg.hwnd != hwnd) {
        return false;
    }
    if (first == 0 && last == 0)
        return true;
    return msg.message >= first && msg.message <= last;
}

}  // namespace

std::string MessageName(UINT message)
{
    switch (message) {
    case WM_NULL: return "WM_NULL";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_SETICON: return "WM_SETICON";
    case WM_GETICON: return "WM_GETICON";
    case WM_INITDIALOG: return "WM_INITDIALOG";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
    case LB_ADDSTRING: return "LB_ADDSTRING";
    case LB_DELETESTRING: return "LB_DELETESTRING";
    case LB_SETCURSEL: return "LB_SETCURSEL";
    case LB_GETCOUNT: return "LB_GETCOUNT";
    }
    if (message >= WM_USER)
        return "WM_USER+" + std::to_string(message - WM_USER);
    return Hex(message);
}

HWND OpenDialogWindow() { return g_dialogWindow; }

void QueueMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool sent, bool fromPeriodicSender)
{
    Queued queued;
    std::memset(&queued.msg, 0, sizeof queued.msg);
    queued.msg.hwnd = hwnd;
    queued.msg.message = message;
    queued.msg.wParam = wParam;
    queued.msg.lParam = lParam;
    queued.msg.time = GetTickCount();
    queued.sent = sent;
    queued.fromPeriodicSender = fromPeriodicSender;
    queued.at = Now();
    g_queue.push_back(queued);
}

bool QueueWakes(DWORD wakeMask)
{
    for (const Queued& queued : g_queue) {
        bool key = queued.msg.message >= WM_KEYDOWN && queued.msg.message <= 0x0109;  // WM_KEYLAST
        DWORD kind = queued.sent ? QS_SENDMESSAGE : key ? QS_KEY : QS_POSTMESSAGE;
        if (wakeMask & kind)
            return true;
    }
    return false;
}

void ResetWindows()
{
    g_boxes.clear();
    g_answers.clear();
    g_script.assign(1, SimButtonClick(IDCANCEL));
    g_dialog = SimDialog();
    g_proc = nullptr;
    g_dialogWindow = nullptr;
    g_queue.clear();
    g_dispatched.clear();
    g_sentAnswers.clear();
    ResetClock();
}

}  // namespace winsim

using namespace winsim;

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    Call call("MessageBoxA");
    call.Raw(WindowText(hWnd)).Str(lpText).Str(lpCaption).Raw(Hex(uType));
    SimMessageBox box;
    box.owner = hWnd;
    box.text = lpText ? lpText : "";
    box.caption = lpCaption ? lpCaption : "Error";  // Windows' caption when none is given
    box.type = uType;
    if (!g_answers.empty()) {
        box.answer = g_answers.front();
        g_answers.pop_front();
    } else {
        box.answer = (uType & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }
    g_boxes.push_back(box);
    call.Done(std::to_string(box.answer));
    return box.answer;
}

extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    std::string line = "DialogBoxParamA(" + HandleText(hInstance) + ", " + ResourceText(lpTemplateName) +
                       ", " + WindowText(hWndParent) + ", " + (lpDialogFunc ? "proc" : "NULL") + ", " +
                       std::to_string(dwInitParam) + ")";
    // NULL stands for the program's own file.
    bool ownModule = hInstance == nullptr || hInstance == SimInstance();
    if (!ownModule || ResourceId(lpTemplateName) != DIALOG_TEMPLATE) {
        SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        Record(line + " = -1 [" + std::to_string(ERROR_RESOURCE_NAME_NOT_FOUND) + "]");
        return -1;
    }
    if (g_dialogWindow != nullptr) {
        Record(line + " = -1 (a second modal dialog is not simulated)");
        return -1;
    }
    Record(line + " opens");

    g_dialog = SimDialog();
    g_dialog.exists = true;
    g_dialog.open = true;
    g_dialog.templateId = DIALOG_TEMPLATE;
    g_dialog.owner = hWndParent;
    g_dialog.window = reinterpret_cast<HWND>(NewHandleValue());
    g_dialog.caption = "Status";
    g_dialog.controls.push_back(MakeControl(0xFFFF, "Static", "Actions"));
    g_dialog.controls.push_back(MakeControl(IDCANCEL, "Button", "&Close"));
    g_dialog.controls.push_back(MakeControl(STATUS_LIST, "ListBox", ""));
    g_dialogWindow = g_dialog.window;
    g_proc = lpDialogFunc;

    // The focus goes to the first tab stop, the Close button.
    if (g_proc)
        g_proc(g_dialogWindow, WM_INITDIALOG, reinterpret_cast<WPARAM>(g_dialog.controls[1].window), dwInitParam);
    if (!g_dialog.ended)
        g_dialog.visible = true;  // the template has WS_VISIBLE
    std::vector<SimMessage> script = g_script;
    for (size_t i = 0; !g_dialog.ended; ++i) {
        PumpQueue();
        if (g_dialog.ended || i >= script.size())
            break;
        SimMessage message = script[i];
        if (message.fromControl != 0) {
            for (const SimControl& control : g_dialog.controls)
                if (control.id == message.fromControl)
                    message.lParam = reinterpret_cast<LPARAM>(control.window);
        }
        ++g_dialog.scriptedMessagesDelivered;
        DeliverToDialog(message.message, message.wParam, message.lParam);
    }
    if (!g_dialog.ended) {
        g_dialog.scriptRanOut = true;
        g_dialog.result = -1;
    }
    g_dialog.open = false;
    g_dialog.visible = false;
    g_dialogWindow = nullptr;
    g_proc = nullptr;
    Record("DialogBoxParamA ends = " + std::to_string(g_dialog.result) +
           (g_dialog.scriptRanOut ? " (script ran out before EndDialog)" : ""));
    return g_dialog.result;
}

extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    Call call("EndDialog");
    call.Raw(WindowText(hDlg)).Num(nResult);
    if (!IsDialog(hDlg))
        return call.Fail(ERROR_INVALID_WINDOW_HANDLE);
    if (!g_dialog.ended) {
        g_dialog.ended = true;
        g_dialog.result = nResult;
    }
    return call.Succeed();
}

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    Call call("SetWindowTextA");
    call.Raw(WindowText(hWnd)).Str(lpString);
    const char* text = lpString ? lpString : "";
    if (IsDialog(hWnd)) {
        g_dialog.caption = text;
        return call.Succeed();
    }
    if (SimControl* control = ControlOf(hWnd)) {
        control->text = text;
        return call.Succeed();
    }
    return call.Fail(ERROR_INVALID_WINDOW_HANDLE);
}

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    Call call("GetDlgItem");
    call.Raw(WindowText(hDlg)).Num(nIDDlgItem);
    if (!IsDialog(hDlg)) {
        call.Done("NULL", ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (const SimControl& control : g_dialog.controls) {
        if (LOWORD(control.id) == LOWORD(nIDDlgItem)) {
            call.Done(WindowText(control.window));
            return control.window;
        }
    }
    call.Done("NULL", ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

extern "C" HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    Call call("LoadIconA");
    call.Ptr(hInstance).Raw(ResourceText(lpIconName));
    int id = ResourceId(lpIconName);
    if (hInstance == SimInstance() && id == PROGRAM_ICON) {
        call.Done("program icon");
        return SimProgramIcon();
    }
    // The predefined icons (IDI_APPLICATION and its neighbours).
    if (hInstance == nullptr && id >= 32512 && id <= 32518) {
        call.Done("system icon " + std::to_string(id));
        return reinterpret_cast<HICON>(uintptr_t(0x20000 + id));
    }
    call.Done("NULL", ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Call call("SendMessageA");
    bool textArgument = Msg == LB_ADDSTRING;
    call.Raw(WindowText(hWnd)).Raw(MessageName(Msg)).Num(static_cast<long long>(static_cast<INT_PTR>(wParam)))
        .Raw(textArgument ? Quoted(reinterpret_cast<const char*>(lParam)) : std::to_string(lParam));
    if (IsDialog(hWnd)) {
        call.DoneBeforeCallbacks("(to the dialog)");
        return DeliverToDialog(Msg, wParam, lParam);
    }
    SimControl* control = ControlOf(hWnd);
    if (!control) {
        call.Done("0", ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LRESULT result = 0;
    if (control->id == STATUS_LIST) {
        std::vector<std::string>& lines = g_dialog.listLines;
        int count = int(lines.size());
        int index = int(static_cast<INT_PTR>(wParam));
        const char* text = reinterpret_cast<const char*>(lParam);
        switch (Msg) {
        case LB_ADDSTRING:
            lines.push_back(text ? text : "");
            result = count;
            break;
        case LB_DELETESTRING:
            if (index < 0 || index >= count) {
                result = LB_ERR;
                break;
            }
            lines.erase(lines.begin() + index);
            if (g_dialog.listSelection == index)
                g_dialog.listSelection = LB_ERR;
            else if (g_dialog.listSelection > index)
                --g_dialog.listSelection;
            result = count - 1;
            break;
        case LB_GETCOUNT:
            result = count;
            break;
        case LB_SETCURSEL:
            // -1 clears the selection and still answers LB_ERR.
            if (index == -1) {
                g_dialog.listSelection = LB_ERR;
                result = LB_ERR;
            } else if (index < 0 || index >= count) {
                result = LB_ERR;
            } else {
                g_dialog.listSelection = index;
                result = index;
            }
            break;
        }
    }
    call.Done(std::to_string(result));
    return result;
}

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    Call call("ShowWindow");
    call.Raw(WindowText(hWnd)).Num(nCmdShow);
    if (IsDialog(hWnd)) {
        BOOL wasVisible = g_dialog.visible;
        g_dialog.visible = nCmdShow != SW_HIDE;
        g_dialog.showCommands.push_back(nCmdShow);
        return call.Succeed(wasVisible);
    }
    if (ControlOf(hWnd))
        return call.Succeed(TRUE);
    return call.Fail(ERROR_INVALID_WINDOW_HANDLE);
}

// Nothing restarts: the journal tells that it was asked.
extern "C" BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason)
{
    Call call("ExitWindowsEx");
    call.Raw(Hex(uFlags)).Unsigned(dwReason);
    return call.Succeed();
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd)
{
    Call call("UpdateWindow");
    call.Raw(WindowText(hWnd));
    if (IsDialog(hWnd)) {
        ++g_dialog.updateCount;
        return call.Succeed();
    }
    if (SimControl* control = ControlOf(hWnd)) {
        ++control->updateCount;
        return call.Succeed();
    }
    return call.Fail(ERROR_INVALID_WINDOW_HANDLE);
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg)
{
    Call call("PeekMessageA");
    call.Raw("msg").Raw(WindowText(hWnd)).Unsigned(wMsgFilterMin).Unsigned(wMsgFilterMax).Unsigned(wRemoveMsg);
    // Sent messages never come out of the queue: they are handed over here.
    DeliverSentMessages();
    for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
        if (!MatchesFilter(it->msg, hWnd, wMsgFilterMin, wMsgFilterMax))
            continue;
        *lpMsg = it->msg;
        if (wRemoveMsg & PM_REMOVE)
            g_queue.erase(it);
        call.Done("1 " + MessageName(lpMsg->message));
        return TRUE;
    }
    call.Done("0");
    return FALSE;
}

extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    Call call("TranslateMessage");
    call.Raw(lpMsg ? MessageName(lpMsg->message) : "NULL");
    // Only key messages are translated, and none is simulated.
    call.Done("0");
    return FALSE;
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    Call call("DispatchMessageA");
    if (!lpMsg) {
        call.Raw("NULL");
        call.Done("0", ERROR_INVALID_PARAMETER);
        return 0;
    }
    call.Raw(WindowText(lpMsg->hwnd)).Raw(MessageName(lpMsg->message)).Unsigned(lpMsg->wParam).Num(lpMsg->lParam);
    g_dispatched.push_back(*lpMsg);
    if (IsDialog(lpMsg->hwnd)) {
        call.DoneBeforeCallbacks("(to the dialog)");
        return DeliverToDialog(lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    }
    call.Done("0");
    return 0;
}

extern "C" BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg)
{
    Call call("IsDialogMessageA");
    call.Raw(WindowText(hDlg)).Raw(lpMsg ? WindowText(lpMsg->hwnd) + ", " + MessageName(lpMsg->message) : "NULL");
    if (!lpMsg || !IsDialog(hDlg) || !IsForDialog(lpMsg->hwnd)) {
        call.Done("0");
        return FALSE;
    }
    call.DoneBeforeCallbacks("1 (handled)");
    HandleDialogMessage(*lpMsg);
    return TRUE;
}

extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...)
{
    va_list arguments;
    va_start(arguments, lpFmt);
    int length = std::vsnprintf(lpOut, 1024, lpFmt, arguments);
    va_end(arguments);
    return length < 1024 ? length : 1023;
}

// ---- Test controls ----

void SimQueueMessageBoxAnswer(int answer) { g_answers.push_back(answer); }
std::vector<SimMessageBox> SimMessageBoxes() { return g_boxes; }

SimMessage SimButtonClick(int id)
{
    SimMessage message;
    message.message = WM_COMMAND;
    message.wParam = MAKEWPARAM(id, BN_CLICKED);
    message.fromControl = id;
    return message;
}

SimMessage SimCloseBox()
{
    SimMessage message;
    message.message = WM_CLOSE;
    return message;
}

void SimDialogScript(const std::vector<SimMessage>& script) { g_script = script; }

const SimControl* SimDialog::Control(int id) const
{
    for (const SimControl& control : controls)
        if (LOWORD(control.id) == LOWORD(id))
            return &control;
    return nullptr;
}

SimDialog SimLastDialog()
{
    SimDialog dialog = g_dialog;
    if (const SimControl* list = dialog.Control(STATUS_LIST))
        dialog.listUpdateCount = list->updateCount;
    return dialog;
}

HICON SimProgramIcon() { return reinterpret_cast<HICON>(PROGRAM_ICON_HANDLE); }

void SimPostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    QueueMessage(hwnd ? hwnd : g_dialogWindow, message, wParam, lParam, false);
}

std::vector<MSG> SimDispatchedMessages() { return g_dispatched; }
std::vector<SimAnswer> SimAnswers() { return g_sentAnswers; }
