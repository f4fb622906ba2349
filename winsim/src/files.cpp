// Files and directories: CreateFileA and its handles, deletion, copies,
// directory listing and short names, over the in-memory tree of paths.cpp.
// Error codes are the ones Wine 8 gives (checked by the contract test).
#include "state.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace winsim {

namespace {

struct FileHandle {
    NodePtr node;
    DWORD access = 0;
    DWORD share = 0;
    unsigned long long position = 0;
};

struct FindHandle {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

std::map<uintptr_t, FileHandle> g_files;
std::map<uintptr_t, FindHandle> g_finds;

// Another program's opens (SimHoldFileOpen): its rights are not simulated.
bool g_unchecked = false;
// Only administrators may schedule deletions at restart on Windows; Wine lets anybody.
bool g_refuseDeletionAtRestart = false;

// Share modes count executing as reading.
bool WantsRead(DWORD access)
{
    return (access & (GENERIC_READ | GENERIC_EXECUTE | GENERIC_ALL | FILE_READ_DATA | FILE_EXECUTE)) != 0;
}
bool WantsWrite(DWORD access)
{
    return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}
bool WantsDelete(DWORD access) { return (access & (DELETE | GENERIC_ALL)) != 0; }

FileHandle* FileOf(HANDLE handle)
{
    auto found = g_files.find(reinterpret_cast<uintptr_t>(handle));
    return found == g_files.end() ? nullptr : &found->second;
}

std::string Decimal(unsigned long long value) { return std::to_string(value); }

std::string AccessText(DWORD access)
{
    std::string text;
    if (access & GENERIC_READ)
        text += "GENERIC_READ";
    if (access & GENERIC_WRITE)
        text += std::string(text.empty() ? "" : "|") + "GENERIC_WRITE";
    DWORD rest = access & ~DWORD(GENERIC_READ | GENERIC_WRITE);
    if (rest != 0 || text.empty())
        text += std::string(text.empty() ? "" : "|") + Hex(rest);
    return text;
}

void CloseFile(uintptr_t value)
{
    auto found = g_files.find(value);
    NodePtr node = found->second.node;
    g_files.erase(found);
    if (--node->openHandles == 0 && node->deletePending)
        Unlink(node);
}

HANDLE NewFileHandle(const NodePtr& node, DWORD access, DWORD share)
{
    uintptr_t value = NewHandleValue();
    FileHandle handle;
    handle.node = node;
    handle.access = access;
    handle.share = share;
    g_files[value] = handle;
    ++node->openHandles;
    return reinterpret_cast<HANDLE>(value);
}

bool IsCurrentDirectory(const NodePtr& node)
{
    std::string cwd = CurrentDirectory();
    return Locate(cwd.c_str()).node == node;
}

// "*" and "?" without regard to case; "*.*" is everything, and "name.*"
// also matches "name" without extension, as the DOS rules have it.
bool Matches(const std::string& pattern, const std::string& name)
{
    std::string p = Upper(pattern), n = Upper(name);
    if (p == "*.*")
        p = "*";
    std::function<bool(size_t, size_t)> match = [&](size_t i, size_t j) -> bool {
        if (i == p.size())
            return j == n.size();
        if (p[i] == '*')
            return match(i + 1, j) || (j < n.size() && match(i, j + 1));
        if (j < n.size() && (p[i] == '?' || p[i] == n[j]))
            return match(i + 1, j + 1);
        return false;
    };
    if (match(0, 0))
        return true;
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && n.find('.') == std::string::npos) {
        p = p.substr(0, p.size() - 2);
        return match(0, 0);
    }
    return false;
}

WIN32_FIND_DATAA EntryData(const std::string& name, const Node* node)
{
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = node ? node->attributes : FILE_ATTRIBUTE_DIRECTORY;
    if (node && !node->directory)
        data.nFileSizeLow = DWORD(node->data.size());
    std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
    if (node && name != "." && name != "..")
        std::strncpy(data.cAlternateFileName, node->shortName.c_str(), 13);
    return data;
}

// CreateFileA's checks on an existing file: access, then sharing.
DWORD CheckOpen(const NodePtr& node, DWORD access, DWORD share)
{
    if (node->directory || Refused(node.get(), access))
        return ERROR_ACCESS_DENIED;
    // The loader maps a running program's image sharing reading only (Wine).
    if (!SharingAllows(node.get(), access, share) || (WantsWrite(access) && IsRunningProgramFile(node.get())))
        return ERROR_SHARING_VIOLATION;
    if (WantsWrite(access) && (node->attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    return 0;
}

DWORD NewFileAttributes(DWORD flagsAndAttributes)
{
    return (flagsAndAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) |
           FILE_ATTRIBUTE_ARCHIVE;
}

// The work of CreateFileA; the last error is set in every case.
HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags, DWORD* error)
{
    Found found = LocateFile(path);
    *error = 0;
    if (found.node && found.node->directory) {
        if ((flags & FILE_FLAG_BACKUP_SEMANTICS) && !Refused(found.node.get(), access))
            return NewFileHandle(found.node, access, share);
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    if (found.node) {
        switch (disposition) {
        case CREATE_NEW:
            *error = ERROR_FILE_EXISTS;
            return INVALID_HANDLE_VALUE;
        case CREATE_ALWAYS:
        case TRUNCATE_EXISTING:
            if (found.node->attributes & FILE_ATTRIBUTE_READONLY) {
                *error = ERROR_ACCESS_DENIED;
                return INVALID_HANDLE_VALUE;
            }
            break;
        case OPEN_EXISTING:
        case OPEN_ALWAYS:
            break;
        default:
            *error = ERROR_INVALID_PARAMETER;
            return INVALID_HANDLE_VALUE;
        }
        if ((*error = CheckOpen(found.node, access, share)) != 0)
            return INVALID_HANDLE_VALUE;
        if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
            found.node->data.clear();
            if (disposition == CREATE_ALWAYS)
                found.node->attributes = NewFileAttributes(flags);
        }
        if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
            *error = ERROR_ALREADY_EXISTS;  // set on success, as Windows does
        return NewFileHandle(found.node, access, share);
    }
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING || !found.parent) {
        *error = found.error;
        return INVALID_HANDLE_VALUE;
    }
    if (disposition != CREATE_NEW && disposition != CREATE_ALWAYS && disposition != OPEN_ALWAYS) {
        *error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    ParsedPath parsed = ParsePath(path);
    if (HasInvalidNameChars(parsed.names.back())) {
        *error = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    if (Refused(found.parent.get(), FILE_ADD_FILE)) {
        *error = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    NodePtr node = AddChild(found.parent, parsed.names.back(), false, NewFileAttributes(flags));
    return NewFileHandle(node, access, share);
}

// The ANSI file functions convert the path into a buffer of MAX_PATH + 1
// characters: a longer path is refused before the file system is asked, as
// Wine does (kernelbase's file_name_AtoW into the thread's static string).
bool TooLongForAnsi(const char* path) { return path != nullptr && std::strlen(path) > MAX_PATH; }

// The specific and standard rights a request stands for.
DWORD FileRights(DWORD access)
{
    DWORD rights = access & (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FF);
    if (access & GENERIC_READ)
        rights |= FILE_GENERIC_READ;
    if (access & GENERIC_WRITE)
        rights |= FILE_GENERIC_WRITE;
    if (access & GENERIC_EXECUTE)
        rights |= FILE_GENERIC_EXECUTE;
    if (access & GENERIC_ALL)
        rights |= FILE_ALL_ACCESS;
    return rights;
}

}  // namespace

bool IsElevated() { return HasAdministratorRights(ProcessToken()); }

// What the token is refused of what a standard user is refused: the
// administrator's own account keeps its own grants.
static DWORD RefusedToToken(const Node* node, const SimToken& token)
{
    return node->deniedAccess & ~(token.account == SIM_ADMINISTRATOR ? node->administratorAccountAccess : 0);
}

DWORD Refused(const Node* node, DWORD access)
{
    // The 95 family has no access control; Administrators and LocalSystem are refused nothing.
    const SimToken& token = EffectiveToken();
    if (g_unchecked || !SimIsNtPlatform() || HasAdministratorRights(token))
        return 0;
    DWORD refused = RefusedToToken(node, token) & FileRights(access);
    // NT lets a name go when either the object allows DELETE or its folder
    // allows FILE_DELETE_CHILD.
    if ((refused & DELETE) && node->parent && !(RefusedToToken(node->parent, token) & FILE_DELETE_CHILD))
        refused &= ~DWORD(DELETE);
    return refused;
}

bool ImageOpenAllowed(const Node* node)
{
    return SharingAllows(node, FILE_READ_DATA | FILE_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE);
}

bool SharingAllows(const Node* node, DWORD access, DWORD share)
{
    for (const auto& entry : g_files) {
        const FileHandle& other = entry.second;
        if (other.node.get() != node)
            continue;
        if (WantsRead(access) && !(other.share & FILE_SHARE_READ))
            return false;
        if (WantsWrite(access) && !(other.share & FILE_SHARE_WRITE))
            return false;
        if (WantsDelete(access) && !(other.share & FILE_SHARE_DELETE))
            return false;
        if (WantsRead(other.access) && !(share & FILE_SHARE_READ))
            return false;
        if (WantsWrite(other.access) && !(share & FILE_SHARE_WRITE))
            return false;
        if (WantsDelete(other.access) && !(share & FILE_SHARE_DELETE))
            return false;
    }
    return true;
}

NodePtr OpenForAccess(const char* path, DWORD access, DWORD share, DWORD* error)
{
    Found found = LocateFile(path);
    if (!found.node) {
        *error = found.error;
        return nullptr;
    }
    if ((*error = CheckOpen(found.node, access, share)) != 0)
        return nullptr;
    return found.node;
}

bool WriteWholeFile(const char* path, const std::string& contents, DWORD attributes, DWORD* error)
{
    HANDLE handle = Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS,
                         attributes, error);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FileOf(handle)->node->data = contents;
    CloseFile(reinterpret_cast<uintptr_t>(handle));
    *error = 0;
    return true;
}

bool CloseFileHandle(HANDLE handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (g_files.count(value) == 0)
        return false;
    CloseFile(value);
    return true;
}

void ResetFiles()
{
    g_unchecked = false;
    g_refuseDeletionAtRestart = false;
    g_files.clear();
    g_finds.clear();
    ClearDrives();
}

}  // namespace winsim

using namespace winsim;

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE)
{
    Call call("CreateFileA");
    call.Str(lpFileName).Raw(AccessText(dwDesiredAccess)).Unsigned(dwShareMode).Unsigned(dwCreationDisposition)
        .Raw(Hex(dwFlagsAndAttributes));
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!TooLongForAnsi(lpFileName))
        handle = Open(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes,
                      &error);
    if (handle == INVALID_HANDLE_VALUE) {
        call.Done("INVALID_HANDLE_VALUE", error);
    } else {
        call.Done(HandleText(handle));
        SetError(error);
    }
    return handle;
}

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED)
{
    Call call("ReadFile");
    call.Ptr(hFile).Raw("buffer").Unsigned(nNumberOfBytesToRead);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    FileHandle* file = FileOf(hFile);
    if (!file || file->node->directory)
        return call.Fail(ERROR_INVALID_HANDLE);
    if (!WantsRead(file->access))
        return call.Fail(ERROR_ACCESS_DENIED);
    const std::string& data = file->node->data;
    DWORD count = 0;
    if (file->position < data.size())
        count = DWORD(std::min<unsigned long long>(nNumberOfBytesToRead, data.size() - file->position));
    if (count > 0)
        std::memcpy(lpBuffer, data.data() + file->position, count);
    file->position += count;
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = count;
    call.Raw("read " + Decimal(count));
    return call.Succeed();
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED)
{
    Call call("WriteFile");
    call.Ptr(hFile).Raw("buffer").Unsigned(nNumberOfBytesToWrite);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    FileHandle* file = FileOf(hFile);
    if (!file || file->node->directory)
        return call.Fail(ERROR_INVALID_HANDLE);
    if (!WantsWrite(file->access))
        return call.Fail(ERROR_ACCESS_DENIED);
    std::string& data = file->node->data;
    if (file->position > data.size())
        data.resize(size_t(file->position), '\0');
    if (nNumberOfBytesToWrite > 0) {
        std::string bytes(static_cast<const char*>(lpBuffer), nNumberOfBytesToWrite);
        data.replace(size_t(file->position), std::min<size_t>(bytes.size(), data.size() - size_t(file->position)),
                     bytes);
    }
    file->position += nNumberOfBytesToWrite;
    file->node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return call.Succeed();
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                       DWORD dwMoveMethod)
{
    Call call("SetFilePointer");
    call.Ptr(hFile).Num(lDistanceToMove).Raw(lpDistanceToMoveHigh ? std::to_string(*lpDistanceToMoveHigh) : "NULL")
        .Unsigned(dwMoveMethod);
    FileHandle* file = FileOf(hFile);
    if (!file) {
        call.Done("INVALID_SET_FILE_POINTER", ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    long long distance = lpDistanceToMoveHigh
                             ? (static_cast<long long>(*lpDistanceToMoveHigh) << 32) | DWORD(lDistanceToMove)
                             : lDistanceToMove;
    long long base = 0;
    if (dwMoveMethod == FILE_CURRENT)
        base = static_cast<long long>(file->position);
    else if (dwMoveMethod == FILE_END)
        base = static_cast<long long>(file->node->data.size());
    else if (dwMoveMethod != FILE_BEGIN) {
        call.Done("INVALID_SET_FILE_POINTER", ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (base + distance < 0) {
        call.Done("INVALID_SET_FILE_POINTER", ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    file->position = static_cast<unsigned long long>(base + distance);
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = LONG(file->position >> 32);
    DWORD low = DWORD(file->position & 0xFFFFFFFFu);
    call.Done(Decimal(low));
    return low;
}

extern "C" BOOL WINAPI SetEndOfFile(HANDLE hFile)
{
    Call call("SetEndOfFile");
    call.Ptr(hFile);
    FileHandle* file = FileOf(hFile);
    if (!file || file->node->directory)
        return call.Fail(ERROR_INVALID_HANDLE);
    if (!WantsWrite(file->access))
        return call.Fail(ERROR_ACCESS_DENIED);
    file->node->data.resize(size_t(file->position), '\0');
    return call.Succeed();
}

extern "C" DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    Call call("GetFileSize");
    call.Ptr(hFile).Raw(lpFileSizeHigh ? "high" : "NULL");
    FileHandle* file = FileOf(hFile);
    if (!file) {
        call.Done("INVALID_FILE_SIZE", ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    if (lpFileSizeHigh)
        *lpFileSizeHigh = 0;
    DWORD size = DWORD(file->node->data.size());
    call.Done(Decimal(size));
    SetError(0);
    return size;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    Call call("CloseHandle");
    call.Ptr(hObject);
    if (CloseFileHandle(hObject) || CloseProcessHandle(hObject) || CloseObjectHandle(hObject) ||
        CloseTokenHandle(hObject))
        return call.Succeed();
    return call.Fail(ERROR_INVALID_HANDLE);
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    Call call("DeleteFileA");
    call.Str(lpFileName);
    if (TooLongForAnsi(lpFileName))
        return call.Fail(ERROR_FILENAME_EXCED_RANGE);
    Found found = LocateFile(lpFileName);
    if (!found.node)
        return call.Fail(found.error);
    if (found.node->directory || IsRunningProgramFile(found.node.get()) || Refused(found.node.get(), DELETE))
        return call.Fail(ERROR_ACCESS_DENIED);
    if (!SharingAllows(found.node.get(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return call.Fail(ERROR_SHARING_VIOLATION);
    if (found.node->attributes & FILE_ATTRIBUTE_READONLY)
        return call.Fail(ERROR_ACCESS_DENIED);
    // Handles opened with FILE_SHARE_DELETE keep the file until the last one closes.
    if (found.node->openHandles > 0)
        found.node->deletePending = true;
    else
        Unlink(found.node);
    return call.Succeed();
}

extern "C" BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    Call call("CopyFileA");
    call.Str(lpExistingFileName).Str(lpNewFileName).Num(bFailIfExists);
    if (!lpExistingFileName || !lpNewFileName)
        return call.Fail(ERROR_INVALID_PARAMETER);
    // As Wine's copy: the source is opened for reading sharing everything,
    // the target created with the source's attributes.
    DWORD error = 0;
    NodePtr source = OpenForAccess(lpExistingFileName, GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &error);
    if (!source)
        return call.Fail(error);
    if (!bFailIfExists && LocateFile(lpNewFileName).node == source)
        return call.Fail(ERROR_SHARING_VIOLATION);
    std::string contents = source->data;
    DWORD attributes = source->attributes;
    HANDLE target = Open(lpNewFileName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         bFailIfExists ? CREATE_NEW : CREATE_ALWAYS, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY),
                         &error);
    if (target == INVALID_HANDLE_VALUE)
        return call.Fail(error);
    FileOf(target)->node->data = contents;
    FileOf(target)->node->attributes = attributes;
    CloseFile(reinterpret_cast<uintptr_t>(target));
    BOOL result = call.Succeed();
    SetError(0);
    return result;
}

extern "C" BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES)
{
    Call call("CreateDirectoryA");
    call.Str(lpPathName);
    if (TooLongForAnsi(lpPathName))
        return call.Fail(ERROR_FILENAME_EXCED_RANGE);
    ParsedPath parsed = ParsePath(lpPathName);
    Found found = Locate(parsed);
    if (found.node)
        return call.Fail(ERROR_ALREADY_EXISTS);
    if (!found.parent)
        return call.Fail(found.error);
    if (HasInvalidNameChars(parsed.names.back()))
        return call.Fail(ERROR_INVALID_NAME);
    if (Refused(found.parent.get(), FILE_ADD_SUBDIRECTORY))
        return call.Fail(ERROR_ACCESS_DENIED);
    AddChild(found.parent, parsed.names.back(), true, FILE_ATTRIBUTE_DIRECTORY);
    return call.Succeed();
}

extern "C" BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName)
{
    Call call("RemoveDirectoryA");
    call.Str(lpPathName);
    if (TooLongForAnsi(lpPathName))
        return call.Fail(ERROR_FILENAME_EXCED_RANGE);
    Found found = Locate(lpPathName);
    if (!found.node)
        return call.Fail(found.error);
    if (!found.node->directory)
        return call.Fail(ERROR_DIRECTORY);
    if (!found.parent || Refused(found.node.get(), DELETE))
        return call.Fail(ERROR_ACCESS_DENIED);  // a drive's root, or protected
    // A process keeps its current directory open without FILE_SHARE_DELETE,
    // so Windows and Wine refuse with a sharing violation, empty or not; so
    // does a program started from here that still runs in it.
    if (IsCurrentDirectory(found.node) || IsRunningProcessDirectory(found.node.get()))
        return call.Fail(ERROR_SHARING_VIOLATION);
    // Windows removes a junction or directory link however full its target is.
    bool link = (found.node->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!link && !found.node->children.empty())
        return call.Fail(ERROR_DIR_NOT_EMPTY);
    if (found.node->attributes & FILE_ATTRIBUTE_READONLY)
        return call.Fail(ERROR_ACCESS_DENIED);
    Unlink(found.node);
    return call.Succeed();
}

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    Call call("GetFileAttributesA");
    call.Str(lpFileName);
    if (TooLongForAnsi(lpFileName)) {
        call.Done("INVALID_FILE_ATTRIBUTES", ERROR_FILENAME_EXCED_RANGE);
        return INVALID_FILE_ATTRIBUTES;
    }
    Found found = LocateFile(lpFileName);
    if (!found.node) {
        call.Done("INVALID_FILE_ATTRIBUTES", found.error);
        return INVALID_FILE_ATTRIBUTES;
    }
    // Taken before Done: an action run after the call may change the file.
    DWORD attributes = found.node->attributes;
    call.Done(Hex(attributes));
    return attributes;
}

extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    Call call("FindFirstFileA");
    call.Str(lpFileName);
    if (TooLongForAnsi(lpFileName)) {
        call.Done("INVALID_HANDLE_VALUE", ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    if (!lpFileName || !*lpFileName) {
        call.Done("INVALID_HANDLE_VALUE", ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string text(lpFileName);
    size_t cut = text.find_last_of("\\/");
    if (cut == std::string::npos && text.size() >= 2 && text[1] == ':')
        cut = 1;
    std::string folder = cut == std::string::npos ? "." : text.substr(0, cut + 1);
    std::string pattern = cut == std::string::npos ? text : text.substr(cut + 1);
    if (pattern.empty()) {
        call.Done("INVALID_HANDLE_VALUE", ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Found directory = Locate(folder.c_str());
    if (!directory.node) {
        // Wine reports a missing folder as a missing path, at any depth.
        call.Done("INVALID_HANDLE_VALUE",
                  directory.error == ERROR_INVALID_NAME ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!directory.node->directory) {
        call.Done("INVALID_HANDLE_VALUE", ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    FindHandle find;
    if (directory.node->parent != nullptr) {
        for (const char* dots : {".", ".."})
            if (Matches(pattern, dots))
                find.entries.push_back(EntryData(dots, nullptr));
    }
    for (const auto& entry : directory.node->children) {
        const NodePtr& child = entry.second;
        if (Matches(pattern, child->name) || (!child->shortName.empty() && Matches(pattern, child->shortName)))
            find.entries.push_back(EntryData(child->name, child.get()));
    }
    if (find.entries.empty()) {
        call.Done("INVALID_HANDLE_VALUE", ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = find.entries[0];
    find.next = 1;
    uintptr_t value = NewHandleValue();
    g_finds[value] = find;
    call.Done(Hex(value) + " \"" + lpFindFileData->cFileName + "\"");
    return reinterpret_cast<HANDLE>(value);
}

extern "C" BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    Call call("FindNextFileA");
    call.Ptr(hFindFile);
    auto found = g_finds.find(reinterpret_cast<uintptr_t>(hFindFile));
    if (found == g_finds.end())
        return call.Fail(ERROR_INVALID_HANDLE);
    FindHandle& find = found->second;
    if (find.next >= find.entries.size())
        return call.Fail(ERROR_NO_MORE_FILES);
    *lpFindFileData = find.entries[find.next++];
    call.Done(std::string("1 \"") + lpFindFileData->cFileName + "\"");
    return TRUE;
}

extern "C" BOOL WINAPI FindClose(HANDLE hFindFile)
{
    Call call("FindClose");
    call.Ptr(hFindFile);
    if (g_finds.erase(reinterpret_cast<uintptr_t>(hFindFile)) == 0)
        return call.Fail(ERROR_INVALID_HANDLE);
    return call.Succeed();
}

extern "C" DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer)
{
    Call call("GetShortPathNameA");
    call.Str(lpszLongPath).Raw("buffer").Unsigned(cchBuffer);
    if (!lpszLongPath) {
        call.Done("0", ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string result = SimShortPath(lpszLongPath);
    if (result.empty()) {
        // Wine reports ERROR_FILE_NOT_FOUND for a missing folder as well.
        call.Done("0", Locate(lpszLongPath).error == ERROR_INVALID_NAME ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND);
        return 0;
    }
    DWORD length = DWORD(result.size());
    if (cchBuffer <= length || !lpszShortPath) {
        call.Done(Decimal(length + 1));
        return length + 1;
    }
    std::memcpy(lpszShortPath, result.c_str(), length + 1);
    call.Done(Decimal(length) + " \"" + result + "\"");
    return length;
}

namespace {

// Renames (moves within the drive) a file or directory, as MoveFileA and MoveFileExA do.
BOOL Move(Call& call, const ParsedPath& source, LPCSTR lpNewFileName, DWORD dwFlags)
{
    if (!lpNewFileName)
        return call.Fail(ERROR_INVALID_PARAMETER);
    Found from = Locate(source);
    if (!from.node)
        return call.Fail(from.error);
    if (!from.parent || Refused(from.node.get(), DELETE))
        return call.Fail(ERROR_ACCESS_DENIED);
    if (!SharingAllows(from.node.get(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return call.Fail(ERROR_SHARING_VIOLATION);
    ParsedPath targetPath = ParsePath(lpNewFileName);
    Found to = Locate(targetPath);
    if (!to.parent)
        return call.Fail(to.error);
    if (!to.node && HasInvalidNameChars(targetPath.names.back()))
        return call.Fail(ERROR_INVALID_NAME);
    if (Refused(to.parent.get(), from.node->directory ? FILE_ADD_SUBDIRECTORY : FILE_ADD_FILE))
        return call.Fail(ERROR_ACCESS_DENIED);
    if (to.node && to.node != from.node) {
        if (!(dwFlags & MOVEFILE_REPLACE_EXISTING) || to.node->directory || from.node->directory)
            return call.Fail(ERROR_ALREADY_EXISTS);
        if ((to.node->attributes & FILE_ATTRIBUTE_READONLY) || to.node->openHandles > 0 ||
            Refused(to.node.get(), DELETE))
            return call.Fail(ERROR_ACCESS_DENIED);
        Unlink(to.node);
    }
    NodePtr node = from.node;
    Unlink(node);
    Insert(to.parent, node, targetPath.names.back());
    return call.Succeed();
}

}  // namespace

// A running program's file may be renamed, as on Windows.
extern "C" BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName)
{
    Call call("MoveFileA");
    call.Str(lpExistingFileName).Str(lpNewFileName);
    ParsedPath source = ParsePath(lpExistingFileName ? lpExistingFileName : "");
    if (!lpExistingFileName || !source.valid)
        return call.Fail(ERROR_PATH_NOT_FOUND);
    return Move(call, source, lpNewFileName, 0);
}

extern "C" BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    Call call("MoveFileExA");
    call.Str(lpExistingFileName).Str(lpNewFileName).Raw(Hex(dwFlags));
    // The 95 family has no MoveFileExA (Wine's "win98" setting still has it).
    if (!SimIsNtPlatform())
        return call.Fail(ERROR_CALL_NOT_IMPLEMENTED);
    if (!lpExistingFileName)
        return call.Fail(ERROR_INVALID_PARAMETER);
    ParsedPath source = ParsePath(lpExistingFileName);
    if (!source.valid)
        return call.Fail(ERROR_PATH_NOT_FOUND);
    if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        if (g_refuseDeletionAtRestart)
            return call.Fail(ERROR_ACCESS_DENIED);
        // Like Wine, the entry is written whether or not the file exists.
        DWORD error = 0;
        std::string target;
        if (lpNewFileName) {
            ParsedPath parsed = ParsePath(lpNewFileName);
            if (!parsed.valid)
                return call.Fail(ERROR_PATH_NOT_FOUND);
            target = parsed.Full();
        }
        if (!AppendPendingRename(source.Full(), lpNewFileName ? &target : nullptr,
                                 (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0, &error))
            return call.Fail(error);
        return call.Succeed();
    }
    return Move(call, source, lpNewFileName, dwFlags);
}

// ---- Test controls ----

void SimMakeDirectory(const std::string& path)
{
    ParsedPath parsed = ParsePath(path.c_str());
    if (!parsed.valid)
        return;
    NodePtr directory = DriveRoot(parsed.drive, true);
    for (const std::string& name : parsed.names) {
        NodePtr child = ChildOf(directory, name);
        if (!child)
            child = AddChild(directory, name, true, FILE_ATTRIBUTE_DIRECTORY);
        directory = child;
    }
}

void SimWriteFile(const std::string& path, const std::string& contents, DWORD attributes)
{
    ParsedPath parsed = ParsePath(path.c_str());
    if (!parsed.valid || parsed.names.empty())
        return;
    ParsedPath folder = parsed;
    folder.names.pop_back();
    SimMakeDirectory(folder.Full());
    Found found = Locate(parsed);
    NodePtr node = found.node;
    if (!node)
        node = AddChild(found.parent, parsed.names.back(), false, attributes);
    node->data = contents;
    node->attributes = attributes;
}

std::string SimReadFile(const std::string& path)
{
    Found found = Locate(path.c_str());
    return found.node && !found.node->directory ? found.node->data : std::string();
}

bool SimFileExists(const std::string& path)
{
    Found found = Locate(path.c_str());
    return found.node && !found.node->directory;
}

bool SimDirectoryExists(const std::string& path)
{
    Found found = Locate(path.c_str());
    return found.node && found.node->directory;
}

DWORD SimFileAttributes(const std::string& path)
{
    Found found = Locate(path.c_str());
    return found.node ? found.node->attributes : INVALID_FILE_ATTRIBUTES;
}

void SimSetFileAttributes(const std::string& path, DWORD attributes)
{
    Found found = Locate(path.c_str());
    if (found.node)
        found.node->attributes = attributes | (found.node->directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
}

void SimRemove(const std::string& path)
{
    Found found = Locate(path.c_str());
    if (found.node && found.parent)
        Unlink(found.node);
}

static void ListInto(const Node* node, std::vector<std::string>& paths)
{
    for (const auto& entry : node->children) {
        const NodePtr& child = entry.second;
        std::string path = PathOf(child.get());
        paths.push_back(child->directory ? path + "\\" : path);
        if (child->directory)
            ListInto(child.get(), paths);
    }
}

std::vector<std::string> SimListTree(const std::string& root)
{
    std::vector<std::string> paths;
    if (root.empty()) {
        for (const auto& drive : Drives()) {
            paths.push_back(PathOf(drive.second.get()));
            ListInto(drive.second.get(), paths);
        }
    } else {
        Found found = Locate(root.c_str());
        if (found.node && found.node->directory)
            ListInto(found.node.get(), paths);
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return Upper(a) < Upper(b);
    });
    return paths;
}

std::string SimShortPath(const std::string& path)
{
    // Each name already valid as 8.3 is kept as typed, every other one is
    // replaced by its short name; separators stay as typed.
    const std::string& typed = path;
    std::string result;
    size_t position = 0;
    if (typed.size() >= 2 && typed[1] == ':') {
        result = typed.substr(0, 2);
        position = 2;
    }
    if (!Locate(typed.c_str()).node)
        return "";
    while (position < typed.size()) {
        char c = typed[position];
        if (c == '\\' || c == '/') {
            result += c;
            ++position;
            continue;
        }
        size_t end = typed.find_first_of("\\/", position);
        if (end == std::string::npos)
            end = typed.size();
        std::string name = typed.substr(position, end - position);
        Found found = Locate(typed.substr(0, end).c_str());
        if (!found.node)
            return "";
        if (name == "." || name == ".." || IsValidShortName(name) || found.node->shortName.empty())
            result += name == "." || name == ".." || IsValidShortName(name) ? name : found.node->name;
        else
            result += found.node->shortName;
        position = end;
    }
    return result;
}

HANDLE SimHoldFileOpen(const std::string& path, DWORD shareMode, DWORD access)
{
    DWORD saved = Error();
    DWORD error = 0;
    // Another program's rights are not simulated: it is refused nothing.
    g_unchecked = true;
    HANDLE handle = Open(path.c_str(), access, shareMode, OPEN_EXISTING, 0, &error);
    g_unchecked = false;
    SetError(saved);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void SimReleaseFile(HANDLE held) { CloseFileHandle(held); }

void SimProtect(const std::string& path, DWORD deniedAccess)
{
    Found found = Locate(path.c_str());
    if (found.node)
        found.node->deniedAccess = deniedAccess;
}

void SimProtect(const std::string& path)
{
    SimProtect(path, FILE_ALL_ACCESS & ~DWORD(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE));
}

void SimGrantToAdministratorAccount(const std::string& path, DWORD access)
{
    Found found = Locate(path.c_str());
    if (found.node)
        found.node->administratorAccountAccess = access;
}

void SimRefuseDeletionAtRestart(bool refuse) { g_refuseDeletionAtRestart = refuse; }
