// Checks on every string and buffer the program hands the platform, made as
// the call happens. The fuzz targets are linked with --wrap for each of these
// functions (see CMakeLists.txt), so the program's calls come here first and
// go on to the simulation through __real_.
//
// Each string is held to the bound that really applies to it:
// - a limit the platform documents: a path handed to an ANSI file function
//   is at most MAX_PATH - 1 characters (a longer one is refused), a command
//   line at most 32,767. Paths the log gives are passed on unchanged, whatever
//   their length; those are recognised as texts of the input.
// - where the platform documents none (a message box's text and caption, a
//   window's text, a list box line, ShellExecuteExA's parameters): the buffer
//   that holds the string, as AddressSanitizer knows it (the global, stack
//   variable or heap block around it). A replay without AddressSanitizer cannot
//   find that buffer and checks the documented limits only.
// - An output buffer must really be as large as the size passed with it
//   (checked through AddressSanitizer's shadow memory when it is on).
#include "fuzz_world.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORSIL_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VORSIL_FUZZ_ASAN 1
#endif
#ifdef VORSIL_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

// CreateProcessA's command line, its terminator included.
const size_t COMMAND_LINE_LIMIT = 32767;

std::string Shown(const char* text)
{
    std::string shown(text, std::strlen(text) > 80 ? 80 : std::strlen(text));
    return "\"" + shown + (std::strlen(text) > 80 ? "...\"" : "\"");
}

// A string the program built: it must keep within the platform's documented
// limit of limit bytes, its terminator included.
void Fits(const char* call, const char* text, size_t limit)
{
    if (text != nullptr && std::strlen(text) >= limit)
        FuzzFailure(std::string(call) + " got a string of " + std::to_string(std::strlen(text)) +
                    " characters, more than its limit of " + std::to_string(limit - 1) + " allows: " + Shown(text));
}

// A string that either fits or came from the input unchanged.
void FitsOrFromInput(const char* call, const char* text, size_t limit)
{
    if (text != nullptr && std::strlen(text) >= limit && !InputHolds(text))
        Fits(call, text, limit);
}

// A string bounded by nothing but the buffer that holds it must end in that
// buffer. Its length is not taken first: a string that runs on past its
// buffer would be reported by the sanitizer's strlen, naming no call.
void EndsInItsBuffer(const char* call, const char* text)
{
#ifdef VORSIL_FUZZ_ASAN
    if (text == nullptr)
        return;
    char name[64] = "";
    void* start = nullptr;
    size_t size = 0;
    const char* kind = __asan_locate_address(const_cast<char*>(text), name, sizeof name, &start, &size);
    const char* first = static_cast<const char*>(start);
    if (first == nullptr || text < first || text >= first + size)
        return;  // not in memory the sanitizer describes: nothing to hold it to
    size_t room = size_t(first + size - text);
    if (std::memchr(text, '\0', room) == nullptr)
        FuzzFailure(std::string(call) + " got a string that runs past the end of its buffer, " +
                    (name[0] != '\0' ? name : "a block") + " (" + kind + ", " + std::to_string(size) +
                    " bytes): " + Shown(std::string(text, room).c_str()));
#else
    (void)call;
    (void)text;
#endif
}

void BufferIsWhole(const char* call, const void* buffer, size_t size)
{
#ifdef VORSIL_FUZZ_ASAN
    if (buffer != nullptr && size != 0 && __asan_region_is_poisoned(const_cast<void*>(buffer), size) != nullptr)
        FuzzFailure(std::string(call) + " was told of a buffer of " + std::to_string(size) +
                    " bytes that is not that large");
#else
    (void)call;
    (void)buffer;
    (void)size;
#endif
}

}  // namespace

extern "C" {

BOOL WINAPI __real_DeleteFileA(LPCSTR);
BOOL WINAPI __real_RemoveDirectoryA(LPCSTR);
HANDLE WINAPI __real_FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA);
BOOL WINAPI __real_SetCurrentDirectoryA(LPCSTR);
BOOL WINAPI __real_CopyFileA(LPCSTR, LPCSTR, BOOL);
BOOL WINAPI __real_MoveFileExA(LPCSTR, LPCSTR, DWORD);
DWORD WINAPI __real_GetShortPathNameA(LPCSTR, LPSTR, DWORD);
HANDLE WINAPI __real_CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL WINAPI __real_ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
DWORD WINAPI __real_GetPrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPSTR, DWORD, LPCSTR);
DWORD WINAPI __real_GetPrivateProfileSectionA(LPCSTR, LPSTR, DWORD, LPCSTR);
BOOL WINAPI __real_WritePrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPCSTR);
BOOL WINAPI __real_CreateProcessA(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                  LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION);
BOOL WINAPI __real_ShellExecuteExA(SHELLEXECUTEINFOA*);
int WINAPI __real_MessageBoxA(HWND, LPCSTR, LPCSTR, UINT);
BOOL WINAPI __real_SetWindowTextA(HWND, LPCSTR);
LRESULT WINAPI __real_SendMessageA(HWND, UINT, WPARAM, LPARAM);
DWORD WINAPI __real_GetModuleFileNameA(HMODULE, LPSTR, DWORD);
DWORD WINAPI __real_GetTempPathA(DWORD, LPSTR);
UINT WINAPI __real_GetWindowsDirectoryA(LPSTR, UINT);
LONG WINAPI __real_RegEnumKeyA(HKEY, DWORD, LPSTR, DWORD);
BOOL WINAPI __real_MoveFileA(LPCSTR, LPCSTR);
DWORD WINAPI __real_GetFileAttributesA(LPCSTR);
UINT WINAPI __real_GetSystemDirectoryA(LPSTR, UINT);

BOOL WINAPI __wrap_DeleteFileA(LPCSTR path)
{
    FitsOrFromInput("DeleteFileA", path, MAX_PATH);
    return __real_DeleteFileA(path);
}

BOOL WINAPI __wrap_RemoveDirectoryA(LPCSTR path)
{
    // Only a directory listed within a MAX_PATH pattern is removed.
    Fits("RemoveDirectoryA", path, MAX_PATH);
    return __real_RemoveDirectoryA(path);
}

HANDLE WINAPI __wrap_FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data)
{
    Fits("FindFirstFileA", pattern, MAX_PATH);
    BufferIsWhole("FindFirstFileA", data, sizeof *data);
    return __real_FindFirstFileA(pattern, data);
}

BOOL WINAPI __wrap_SetCurrentDirectoryA(LPCSTR path)
{
    Fits("SetCurrentDirectoryA", path, MAX_PATH);
    return __real_SetCurrentDirectoryA(path);
}

BOOL WINAPI __wrap_MoveFileA(LPCSTR from, LPCSTR to)
{
    Fits("MoveFileA", from, MAX_PATH);
    Fits("MoveFileA", to, MAX_PATH);
    return __real_MoveFileA(from, to);
}

DWORD WINAPI __wrap_GetFileAttributesA(LPCSTR path)
{
    FitsOrFromInput("GetFileAttributesA", path, MAX_PATH);
    return __real_GetFileAttributesA(path);
}

BOOL WINAPI __wrap_CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists)
{
    Fits("CopyFileA", from, MAX_PATH);
    Fits("CopyFileA", to, MAX_PATH);
    return __real_CopyFileA(from, to, failIfExists);
}

BOOL WINAPI __wrap_MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    Fits("MoveFileExA", from, MAX_PATH);
    Fits("MoveFileExA", to, MAX_PATH);
    return __real_MoveFileExA(from, to, flags);
}

DWORD WINAPI __wrap_GetShortPathNameA(LPCSTR path, LPSTR buffer, DWORD size)
{
    Fits("GetShortPathNameA", path, MAX_PATH);
    BufferIsWhole("GetShortPathNameA", buffer, size);
    return __real_GetShortPathNameA(path, buffer, size);
}

HANDLE WINAPI __wrap_CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile)
{
    Fits("CreateFileA", path, MAX_PATH);
    return __real_CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI __wrap_ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    BufferIsWhole("ReadFile", buffer, size);
    return __real_ReadFile(file, buffer, size, read, overlapped);
}

DWORD WINAPI __wrap_GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer,
                                             DWORD size, LPCSTR file)
{
    Fits("GetPrivateProfileStringA", file, MAX_PATH);
    BufferIsWhole("GetPrivateProfileStringA", buffer, size);
    return __real_GetPrivateProfileStringA(section, key, defaultText, buffer, size, file);
}

DWORD WINAPI __wrap_GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR file)
{
    Fits("GetPrivateProfileSectionA", file, MAX_PATH);
    BufferIsWhole("GetPrivateProfileSectionA", buffer, size);
    return __real_GetPrivateProfileSectionA(section, buffer, size, file);
}

BOOL WINAPI __wrap_WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    FitsOrFromInput("WritePrivateProfileStringA", file, MAX_PATH);
    return __real_WritePrivateProfileStringA(section, key, value, file);
}

BOOL WINAPI __wrap_CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                                  LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags,
                                  LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                                  LPPROCESS_INFORMATION process)
{
    EndsInItsBuffer("CreateProcessA", commandLine);
    Fits("CreateProcessA", commandLine, COMMAND_LINE_LIMIT);
    FitsOrFromInput("CreateProcessA", directory, MAX_PATH);
    return __real_CreateProcessA(application, commandLine, processSecurity, threadSecurity, inherit, flags,
                                 environment, directory, startup, process);
}

BOOL WINAPI __wrap_ShellExecuteExA(SHELLEXECUTEINFOA* start)
{
    BufferIsWhole("ShellExecuteExA", start, start != nullptr ? start->cbSize : 0);
    if (start != nullptr) {
        Fits("ShellExecuteExA", start->lpFile, MAX_PATH);
        EndsInItsBuffer("ShellExecuteExA", start->lpParameters);
    }
    return __real_ShellExecuteExA(start);
}

int WINAPI __wrap_MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    EndsInItsBuffer("MessageBoxA", text);
    EndsInItsBuffer("MessageBoxA", caption);
    return __real_MessageBoxA(owner, text, caption, type);
}

BOOL WINAPI __wrap_SetWindowTextA(HWND window, LPCSTR text)
{
    EndsInItsBuffer("SetWindowTextA", text);
    return __real_SetWindowTextA(window, text);
}

LRESULT WINAPI __wrap_SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Status lines: message texts, lines built from them, or captions and program fields of the log.
    if (message == LB_ADDSTRING)
        EndsInItsBuffer("SendMessageA(LB_ADDSTRING)", reinterpret_cast<const char*>(lParam));
    return __real_SendMessageA(window, message, wParam, lParam);
}

DWORD WINAPI __wrap_GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    BufferIsWhole("GetModuleFileNameA", buffer, size);
    return __real_GetModuleFileNameA(module, buffer, size);
}

DWORD WINAPI __wrap_GetTempPathA(DWORD size, LPSTR buffer)
{
    BufferIsWhole("GetTempPathA", buffer, size);
    return __real_GetTempPathA(size, buffer);
}

UINT WINAPI __wrap_GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    BufferIsWhole("GetWindowsDirectoryA", buffer, size);
    return __real_GetWindowsDirectoryA(buffer, size);
}

UINT WINAPI __wrap_GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    BufferIsWhole("GetSystemDirectoryA", buffer, size);
    return __real_GetSystemDirectoryA(buffer, size);
}

LONG WINAPI __wrap_RegEnumKeyA(HKEY key, DWORD index, LPSTR buffer, DWORD size)
{
    BufferIsWhole("RegEnumKeyA", buffer, size);
    return __real_RegEnumKeyA(key, index, buffer, size);
}

}  // extern "C"
