#include "machine.h"

#include <shellapi.h>

#include <algorithm>

#include "code_pages.h"
#include "processes.h"

namespace machine {
namespace {

using code_pages::Narrow;
using code_pages::Wide;

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";

void FlushProfile(const std::string& file) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()); }

void ListInto(const std::string& folder, std::vector<std::string>* paths) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = folder + "\\" + name;
        paths->push_back(path);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListInto(path, paths);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

std::string TempFolder() {
    char path[MAX_PATH];
    DWORD length = GetTempPathA(sizeof path, path);
    return std::string(path, length < sizeof path ? length : 0);
}

std::string WindowsFolder() {
    char path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

std::string ShortPath(const std::string& path) {
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length && length < sizeof shortPath ? std::string(shortPath, length) : std::string();
}

std::string FileNamePart(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FromUnixPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadFile(const std::string& path, std::string* content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    content->clear();
    char buffer[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &read, nullptr) != 0) && read)
        content->append(buffer, read);
    CloseHandle(file);
    return ok;
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::string parent = ParentOf(path);
    if (!parent.empty() && !CreateDirectories(parent)) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
              written == content.size();
    CloseHandle(file);
    return ok;
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::string parent = ParentOf(to);
    if (!parent.empty() && !CreateDirectories(parent)) return false;
    return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool CreateDirectories(const std::string& path) {
    if (path.empty() || DirectoryExists(path)) return true;
    std::string parent = ParentOf(path);
    if (!parent.empty() && parent.size() > 2 && !CreateDirectories(parent)) return false;
    return CreateDirectoryA(path.c_str(), nullptr) || DirectoryExists(path);
}

bool RemoveTree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path.c_str()) != 0;
    }
    std::vector<std::string> inside;
    ListInto(path, &inside);
    // Deepest first: files and folders come after their folder in the listing.
    for (auto it = inside.rbegin(); it != inside.rend(); ++it) {
        SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DirectoryExists(*it)) RemoveDirectoryA(it->c_str());
        else DeleteFileA(it->c_str());
    }
    RemoveDirectoryA(path.c_str());
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ListTree(const std::string& folder) {
    std::vector<std::string> paths;
    ListInto(folder, &paths);
    std::sort(paths.begin(), paths.end());
    return paths;
}

HKEY RootOf(const std::string& fourLetters) {
    if (fourLetters == "HKLM") return HKEY_LOCAL_MACHINE;
    if (fourLetters == "HKCU") return HKEY_CURRENT_USER;
    if (fourLetters == "HKCR") return HKEY_CLASSES_ROOT;
    if (fourLetters == "HKU" || fourLetters == "HKUS") return HKEY_USERS;
    return nullptr;
}

std::string RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_USERS) return "HKU";
    return "?";
}

bool KeyExists(HKEY root, const std::string& subkey) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ValueExists(HKEY root, const std::string& subkey, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    LONG result = RegQueryValueExA(key, name.empty() ? nullptr : name.c_str(), nullptr, nullptr, nullptr,
                                   nullptr);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool SetValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
              const std::string& data) {
    HKEY key;
    if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    std::string bytes = data;
    if (type == REG_SZ || type == REG_EXPAND_SZ) bytes.push_back('\0');
    LONG result = RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool CreateKey(HKEY root, const std::string& subkey) {
    HKEY key;
    if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool DeleteKeyTree(HKEY root, const std::string& subkey) {
    if (!KeyExists(root, subkey)) return true;
    RegDeleteTreeA(root, subkey.c_str());
    RegDeleteKeyA(root, subkey.c_str());
    return !KeyExists(root, subkey);
}

bool IniEntryExists(const std::string& file, const std::string& section, const std::string& key) {
    FlushProfile(file);
    char value[1024];
    const char* missing = "\x01missing\x01";
    GetPrivateProfileStringA(section.c_str(), key.c_str(), missing, value, sizeof value, file.c_str());
    return lstrcmpA(value, missing) != 0;
}

bool WriteIniEntry(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
    bool ok = WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
    FlushProfile(file);
    return ok;
}

RenameList PendingFileRenames() {
    RenameList renames;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return renames;
    DWORD type = 0, size = 0;
    std::wstring data;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        size) {
        data.assign(size / sizeof(WCHAR) + 2, L'\0');
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(&data[0]), &size);
    }
    RegCloseKey(key);
    // "source\0target\0" pairs, the list ended by an empty source; a target
    // may itself be empty (delete the source).
    size_t i = 0;
    while (i < data.size() && data[i]) {
        size_t sourceEnd = data.find(L'\0', i);
        std::wstring source = data.substr(i, sourceEnd - i);
        size_t targetStart = sourceEnd + 1;
        size_t targetEnd = targetStart < data.size() ? data.find(L'\0', targetStart) : data.size();
        if (targetEnd == std::wstring::npos) targetEnd = data.size();
        std::wstring target = targetStart < data.size() ? data.substr(targetStart, targetEnd - targetStart) : L"";
        renames.push_back({Narrow(source), Narrow(target)});
        i = targetEnd + 1;
    }
    return renames;
}

bool SetPendingFileRenames(const RenameList& renames) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return false;
    LONG result;
    if (renames.empty()) {
        result = RegDeleteValueA(key, kPendingRenames);
        if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    } else {
        std::wstring data;
        for (const auto& rename : renames) {
            data += Wide(rename.first) + L'\0';
            data += Wide(rename.second) + L'\0';
        }
        data += L'\0';
        result = RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size() * sizeof(WCHAR)));
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string WininitPath() { return WindowsFolder() + "\\wininit.ini"; }

std::vector<std::string> WininitRenameLines(const std::string& text) {
    std::vector<std::string> lines;
    bool inRename = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[') {
            size_t close = line.find(']', first);
            std::string name = line.substr(first + 1, close == std::string::npos ? std::string::npos : close - first - 1);
            inRename = lstrcmpiA(name.c_str(), "Rename") == 0;
            continue;
        }
        if (inRename && first != std::string::npos) lines.push_back(line);
    }
    return lines;
}

bool SetReportedVersion(const std::string& programFileName, const std::string& version) {
    std::string key = "Software\\Wine\\AppDefaults\\" + programFileName;
    if (version.empty()) return DeleteKeyTree(HKEY_CURRENT_USER, key);
    return SetValue(HKEY_CURRENT_USER, key, "Version", REG_SZ, version);
}

bool Restart() {
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (!length || length >= sizeof system) return false;
    DWORD exitCode = 1;
    return processes::RunAndWait("\"" + std::string(system) + "\\wineboot.exe\" -r", 60000, &exitCode) &&
           exitCode == 0;
}

}  // namespace machine
