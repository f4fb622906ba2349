// The machine's settings (platform family, special folders, module path),
// Sleep, the process heap, and SimReset.
#include "state.h"

#include <cstdlib>
#include <cstring>

namespace winsim {

namespace {
bool g_nt = true;
std::string g_modulePath;
std::string g_tempPath;
std::string g_windowsDirectory;
std::string g_currentDirectory;
DWORD g_slept = 0;
DWORD g_majorVersion = 0;  // 0: the family's default
DWORD g_minorVersion = 0;

std::map<void*, size_t> g_blocks;
size_t g_heapInUse = 0;
size_t g_heapPeak = 0;
const uintptr_t PROCESS_HEAP = 0x150000;
const uintptr_t PROGRAM_INSTANCE = 0x400000;

// The size conventions of GetTempPathA, GetWindowsDirectoryA and
// GetCurrentDirectoryA: when the text and its terminator fit, they are copied
// and the length is returned; otherwise nothing is written and the size
// needed, terminator included, is returned.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size)
{
    DWORD length = DWORD(text.size());
    if (buffer == nullptr || size <= length)
        return length + 1;
    std::memcpy(buffer, text.c_str(), length + 1);
    return length;
}

void Track(void* block, size_t size)
{
    g_blocks[block] = size;
    g_heapInUse += size;
    if (g_heapInUse > g_heapPeak)
        g_heapPeak = g_heapInUse;
}
}  // namespace

std::string WindowsDirectory() { return g_windowsDirectory; }
std::string TempPath() { return g_tempPath; }

// The program's file name as GetModuleFileNameA gives it: one started
// through the short form of the temporary folder outside the code page still
// gets its long name, spelt in ANSI, as under Wine.
static std::string ModuleFileName()
{
    std::string shortFolder = UnicodeTempShortPath();
    size_t length = shortFolder.size();
    if (!shortFolder.empty() && g_modulePath.size() > length && SameText(g_modulePath.substr(0, length), shortFolder) &&
        (g_modulePath[length] == '\\' || g_modulePath[length] == '/'))
        return UnicodeTempAnsiSpelling() + g_modulePath.substr(length);
    return g_modulePath;
}
std::string CurrentDirectory() { return g_currentDirectory; }
std::string ModulePath() { return g_modulePath; }
void AddSleptMilliseconds(DWORD milliseconds) { g_slept += milliseconds; }

void ResetSystem()
{
    g_nt = true;
    g_modulePath = "C:\\vorsil.exe";
    g_tempPath = "C:\\Windows\\Temp\\";
    g_windowsDirectory = "C:\\Windows";
    g_currentDirectory = "C:\\";
    g_slept = 0;
    g_majorVersion = 0;
    g_minorVersion = 0;
    // Blocks stay allocated: the program keeps some for its whole process
    // (the section buffer), and one process runs many simulated machines.
    g_heapPeak = g_heapInUse;
}

}  // namespace winsim

using namespace winsim;

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    Call call("GetModuleFileNameA");
    call.Ptr(hModule).Raw("buffer").Unsigned(nSize);
    if (hModule != nullptr && hModule != SimInstance()) {
        call.Done("0", ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::string path = ModuleFileName();
    DWORD length = DWORD(path.size());
    if (nSize > length) {
        std::memcpy(lpFilename, path.c_str(), length + 1);
        call.Done(std::to_string(length) + " " + Quoted(path.c_str()));
        SetError(0);
        return length;
    }
    // Too small: nSize characters and no terminator, as Windows XP and Wine
    // do (Vista and later end the cut text with a terminator instead).
    if (nSize > 0)
        std::memcpy(lpFilename, path.c_str(), nSize);
    call.Done(std::to_string(nSize), ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

extern "C" DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer)
{
    Call call("GetTempPathA");
    call.Unsigned(nBufferLength).Raw("buffer");
    DWORD result = CopyOut(g_tempPath, lpBuffer, nBufferLength);
    call.Done(std::to_string(result));
    return result;
}

extern "C" UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    Call call("GetWindowsDirectoryA");
    call.Raw("buffer").Unsigned(uSize);
    DWORD result = CopyOut(g_windowsDirectory, lpBuffer, uSize);
    call.Done(std::to_string(result));
    return result;
}

extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    Call call("GetCurrentDirectoryA");
    call.Unsigned(nBufferLength).Raw("buffer");
    DWORD result = CopyOut(g_currentDirectory, lpBuffer, nBufferLength);
    call.Done(std::to_string(result));
    return result;
}

// A relative path is taken from the current directory; "." and ".." are not resolved.
extern "C" DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart)
{
    Call call("GetFullPathNameA");
    call.Str(lpFileName).Unsigned(nBufferLength).Raw("buffer");
    if (lpFileName == nullptr || *lpFileName == '\0')
        return call.Fail(ERROR_INVALID_NAME);
    std::string path = lpFileName;
    if (path[0] == '\\')
        path = g_currentDirectory.substr(0, 2) + path;
    else if (path.size() < 2 || path[1] != ':')
        path = g_currentDirectory + (g_currentDirectory.back() == '\\' ? "" : "\\") + path;
    if (lpFilePart != nullptr)
        *lpFilePart = nullptr;
    DWORD result = CopyOut(path, lpBuffer, nBufferLength);
    call.Done(std::to_string(result));
    return result;
}

// A fixed moment: reports written in tests name it.
extern "C" void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    Call call("GetLocalTime");
    *lpSystemTime = SYSTEMTIME{2026, 12, 4, 10, 13, 20, 5, 0};
    call.Done("2026-12-10 13:20:05");
}

// The system's texts of two errors; with a width mask the text ends with a
// blank instead of a line break. The buffer is taken to be large enough.
extern "C" DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD,
                                       va_list*)
{
    Call call("FormatMessageA");
    call.Unsigned(dwMessageId);
    std::string text = dwMessageId == ERROR_FILE_NOT_FOUND  ? "The system cannot find the file specified."
                       : dwMessageId == ERROR_ACCESS_DENIED ? "Access is denied."
                                                            : "";
    if (text.empty())
        return call.Fail(317); // ERROR_MR_MID_NOT_FOUND
    text += (dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) ? " " : "\r\n";
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    call.Done(std::to_string(text.size()));
    return DWORD(text.size());
}

extern "C" BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName)
{
    Call call("SetCurrentDirectoryA");
    call.Str(lpPathName);
    ParsedPath parsed = ParsePath(lpPathName);
    Found found = Locate(parsed);
    if (!found.node)
        return call.Fail(found.error);
    if (!found.node->directory)
        return call.Fail(ERROR_DIRECTORY);
    // Kept as typed (Wine keeps the case given), made absolute, without a
    // trailing backslash except on a root.
    g_currentDirectory = parsed.Full();
    return call.Succeed();
}

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    Call call("GetVersionExA");
    call.Raw(lpVersionInformation ? "size " + std::to_string(lpVersionInformation->dwOSVersionInfoSize) : "NULL");
    // OSVERSIONINFOA is 148 bytes, OSVERSIONINFOEXA 156.
    if (!lpVersionInformation ||
        (lpVersionInformation->dwOSVersionInfoSize != 148 && lpVersionInformation->dwOSVersionInfoSize != 156))
        return call.Fail(ERROR_INSUFFICIENT_BUFFER);
    // By default what Wine reports (Windows 7) and with its "win98" setting.
    OSVERSIONINFOA& info = *lpVersionInformation;
    std::memset(&info.dwMajorVersion, 0, sizeof(OSVERSIONINFOA) - sizeof(DWORD));
    info.dwPlatformId = g_nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
    info.dwMajorVersion = g_majorVersion ? g_majorVersion : g_nt ? 6 : 4;
    info.dwMinorVersion = g_majorVersion ? g_minorVersion : g_nt ? 1 : 10;
    // The last release of each version; the 95 family puts the version in
    // the build number's high word.
    struct Release {
        bool nt;
        DWORD major, minor, build;
        const char* servicePack;
    };
    static const Release releases[] = {
        {true, 4, 0, 1381, "Service Pack 6"}, {true, 5, 0, 2195, "Service Pack 4"},
        {true, 5, 1, 2600, "Service Pack 3"}, {true, 5, 2, 3790, "Service Pack 2"},
        {true, 6, 0, 6002, "Service Pack 2"}, {true, 6, 1, 7601, "Service Pack 1"},
        {true, 6, 2, 9200, ""},               {false, 4, 0, 0x040003B6, ""},
        {false, 4, 10, 0x040A08AE, " A "},    {false, 4, 90, 0x045A0BB8, " "},
    };
    for (const Release& release : releases) {
        if (release.nt == g_nt && release.major == info.dwMajorVersion && release.minor == info.dwMinorVersion) {
            info.dwBuildNumber = release.build;
            std::strcpy(info.szCSDVersion, release.servicePack);
        }
    }
    call.Raw("platform " + std::to_string(info.dwPlatformId) + ", " + std::to_string(info.dwMajorVersion) + "." +
             std::to_string(info.dwMinorVersion));
    return call.Succeed();
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds)
{
    Record("Sleep(" + std::to_string(dwMilliseconds) + ")");
    AddSleptMilliseconds(dwMilliseconds);
    AdvanceClock(dwMilliseconds);
}

extern "C" HANDLE WINAPI GetProcessHeap(void)
{
    Call call("GetProcessHeap");
    call.Done(Hex(PROCESS_HEAP));
    return reinterpret_cast<HANDLE>(PROCESS_HEAP);
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes)
{
    Call call("HeapAlloc");
    call.Ptr(hHeap).Raw(Hex(dwFlags)).Unsigned(dwBytes);
    if (reinterpret_cast<uintptr_t>(hHeap) != PROCESS_HEAP) {
        call.Done("NULL");
        return nullptr;
    }
    void* block = std::malloc(dwBytes == 0 ? 1 : dwBytes);
    if (block == nullptr) {
        call.Done("NULL");
        return nullptr;
    }
    if (dwFlags & HEAP_ZERO_MEMORY)
        std::memset(block, 0, dwBytes);
    Track(block, dwBytes);
    call.Done("block");
    return block;
}

extern "C" LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes)
{
    Call call("HeapReAlloc");
    call.Ptr(hHeap).Raw(Hex(dwFlags)).Raw(lpMem ? "block" : "NULL").Unsigned(dwBytes);
    auto found = g_blocks.find(lpMem);
    if (reinterpret_cast<uintptr_t>(hHeap) != PROCESS_HEAP || found == g_blocks.end()) {
        call.Done("NULL", ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t old = found->second;
    if (dwFlags & HEAP_REALLOC_IN_PLACE_ONLY) {
        if (dwBytes > old) {
            call.Done("NULL", ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        g_heapInUse -= old - dwBytes;
        found->second = dwBytes;
        call.Done("same block");
        return lpMem;
    }
    // Always a new block, so that a use of the old one shows under AddressSanitizer.
    void* block = std::malloc(dwBytes == 0 ? 1 : dwBytes);
    if (block == nullptr) {
        call.Done("NULL");
        return nullptr;
    }
    std::memcpy(block, lpMem, old < dwBytes ? old : dwBytes);
    if ((dwFlags & HEAP_ZERO_MEMORY) && dwBytes > old)
        std::memset(static_cast<char*>(block) + old, 0, dwBytes - old);
    g_heapInUse -= old;
    g_blocks.erase(found);
    std::free(lpMem);
    Track(block, dwBytes);
    call.Done("block");
    return block;
}

extern "C" BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem)
{
    Call call("HeapFree");
    call.Ptr(hHeap).Raw(Hex(dwFlags)).Raw(lpMem ? "block" : "NULL");
    if (reinterpret_cast<uintptr_t>(hHeap) != PROCESS_HEAP)
        return call.Fail(ERROR_INVALID_HANDLE);
    if (lpMem == nullptr)
        return call.Succeed();
    auto found = g_blocks.find(lpMem);
    if (found == g_blocks.end())
        return call.Fail(ERROR_INVALID_PARAMETER);  // not a block of this heap
    g_heapInUse -= found->second;
    g_blocks.erase(found);
    std::free(lpMem);
    return call.Succeed();
}

// ---- Test controls ----

void SimReset()
{
    ResetJournal();
    ResetFiles();
    ResetRegistry();
    ResetProcesses();
    ResetObjects();
    ResetWindows();
    ResetSystem();
    ResetModules();
    ResetTokens();
    ClearUnicodeTempFolder();
    SimMakeDirectory("C:\\Windows\\System32");
    SimMakeDirectory("C:\\Windows\\Temp");
    SimCreateRegistryKey(HKEY_CURRENT_USER, "Software");
    SimCreateRegistryKey(HKEY_LOCAL_MACHINE, "Software");
    SimCreateRegistryKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
}

void SimSetNtPlatform(bool nt) { g_nt = nt; }
bool SimIsNtPlatform() { return g_nt; }
HINSTANCE SimInstance() { return reinterpret_cast<HINSTANCE>(PROGRAM_INSTANCE); }
void SimSetModulePath(const std::string& path) { g_modulePath = path; }

void SimSetTempPath(const std::string& path)
{
    ClearUnicodeTempFolder();
    g_tempPath = path;
    if (g_tempPath.empty() || g_tempPath.back() != '\\')
        g_tempPath += '\\';
}

void SimSetWindowsDirectory(const std::string& path) { g_windowsDirectory = path; }

void SimSetWindowsVersion(DWORD major, DWORD minor)
{
    g_majorVersion = major;
    g_minorVersion = minor;
}

void SimSetCurrentDirectory(const std::string& path)
{
    ParsedPath parsed = ParsePath(path.c_str());
    if (parsed.valid)
        g_currentDirectory = parsed.Full();
}

std::string SimCurrentDirectory() { return g_currentDirectory; }
DWORD SimSleptMilliseconds() { return g_slept; }
size_t SimHeapPeak() { return g_heapPeak; }
