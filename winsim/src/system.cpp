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

std::map<void*, size_t> g_blocks;
size_t g_heapInUse = 0;
size_t g_heapPeak = 0;
size_t g_heapLimit = SIZE_MAX;
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

bool Fits(size_t more) { return g_heapInUse + more <= g_heapLimit; }
}  // namespace

void AddSleptTime(DWORD milliseconds) { g_slept += milliseconds; }

std::string WindowsDirectory() { return g_windowsDirectory; }
std::string CurrentDirectory() { return g_currentDirectory; }
std::string ModulePath() { return g_modulePath; }

void ResetSystem()
{
    g_nt = true;
    g_modulePath = "C:\\vorsil.exe";
    g_tempPath = "C:\\Windows\\Temp\\";
    g_windowsDirectory = "C:\\Windows";
    g_currentDirectory = "C:\\";
    g_slept = 0;
    // Blocks stay allocated: the program keeps some for its whole process
    // (the section buffer), and one process runs many simulated machines.
    g_heapPeak = g_heapInUse;
    g_heapLimit = SIZE_MAX;
}

}  // namespace winsim

using namespace winsim;

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    Call call("GetModuleFileNameA");
    call.Ptr(hModule).Raw("buffer").Unsigned(nSize);
    if (hModule != nullptr && hModule != SimInstance()) {
        call.Done("0", 126);  // ERROR_MOD_NOT_FOUND
        return 0;
    }
    DWORD length = DWORD(g_modulePath.size());
    if (nSize > length) {
        std::memcpy(lpFilename, g_modulePath.c_str(), length + 1);
        call.Done(std::to_string(length) + " " + Quoted(g_modulePath.c_str()));
        SetError(0);
        return length;
    }
    // Too small: nSize characters and no terminator, as Windows XP and Wine
    // do (Vista and later end the cut text with a terminator instead).
    if (nSize > 0)
        std::memcpy(lpFilename, g_modulePath.c_str(), nSize);
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
    // What Wine reports by default (Windows 7) and with its "win98" setting.
    OSVERSIONINFOA& info = *lpVersionInformation;
    std::memset(&info.dwMajorVersion, 0, sizeof(OSVERSIONINFOA) - sizeof(DWORD));
    if (g_nt) {
        info.dwMajorVersion = 6;
        info.dwMinorVersion = 1;
        info.dwBuildNumber = 7601;
        info.dwPlatformId = VER_PLATFORM_WIN32_NT;
        std::strcpy(info.szCSDVersion, "Service Pack 1");
    } else {
        info.dwMajorVersion = 4;
        info.dwMinorVersion = 10;
        info.dwBuildNumber = 0x040A08AE;
        info.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        std::strcpy(info.szCSDVersion, " A ");
    }
    call.Raw("platform " + std::to_string(info.dwPlatformId));
    return call.Succeed();
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds)
{
    Record("Sleep(" + std::to_string(dwMilliseconds) + ")");
    AddSleptTime(dwMilliseconds);
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
    if (reinterpret_cast<uintptr_t>(hHeap) != PROCESS_HEAP || !Fits(dwBytes)) {
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
    if (dwBytes > old && !Fits(dwBytes - old)) {
        call.Done("NULL");
        return nullptr;
    }
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
    ResetWindows();
    ResetSystem();
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
    g_tempPath = path;
    if (g_tempPath.empty() || g_tempPath.back() != '\\')
        g_tempPath += '\\';
}

void SimSetWindowsDirectory(const std::string& path) { g_windowsDirectory = path; }

void SimSetCurrentDirectory(const std::string& path)
{
    ParsedPath parsed = ParsePath(path.c_str());
    if (parsed.valid)
        g_currentDirectory = parsed.Full();
}

std::string SimCurrentDirectory() { return g_currentDirectory; }
DWORD SimSleptMilliseconds() { return g_slept; }
size_t SimHeapInUse() { return g_heapInUse; }
size_t SimHeapPeak() { return g_heapPeak; }
void SimSetHeapLimit(size_t bytes) { g_heapLimit = bytes; }
