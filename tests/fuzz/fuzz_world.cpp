#include "fuzz_world.h"

#include "support/world.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string g_input;
std::string g_lowerInput;

std::string Lower(const std::string& text)
{
    std::string result = text;
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

std::string LeafOf(const std::string& path)
{
    size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

const std::string INSTALL = INSTALL_DIR;
const std::string DATA = INSTALL + "\\Data";
const std::string MENU = "C:\\Windows\\Start Menu\\Programs\\Acme Tool";

struct FileItem {
    std::string path;
    std::string contents;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
};

// Installed by the application (named by the seed logs) or canaries (KEEP...).
const std::vector<FileItem> FILES = {
    {INSTALL + "\\app.exe", "MZ app"},
    {INSTALL + "\\cleanup.exe", "MZ cleanup"},
    {INSTALL + "\\readme.txt", "read me"},
    {INSTALL + "\\app.ini", "[Settings]\r\nLanguage=en\r\nKEEPE4=user\r\n"},
    {DATA + "\\words.dat", "words"},
    {MENU + "\\Acme Tool.lnk", "link"},
    {MENU + "\\Read Me.lnk", "link"},
    {"C:\\Windows\\win.ini",
     "[Extensions]\r\nacm=C:\\Program Files\\Acme Tool\\app.exe ^.acm\r\nKEEPE1=keep.exe ^.kp\r\n"
     "[KEEPS1]\r\nKEEPE2=1\r\n"},
    {INSTALL + "\\KEEPF1.TXT", "the user's notes"},
    {INSTALL + "\\Keep User Letter.txt", "a letter"},
    {INSTALL + "\\KEEPF8.TXT", "read-only", FILE_ATTRIBUTE_READONLY},
    {DATA + "\\KEEPF2.DAT", "saved data"},
    {"C:\\KEEPF3.TXT", "root"},
    {"C:\\Windows\\Temp\\KEEPF4.TMP", "temporary"},
    {"C:\\Windows\\System32\\KEEPF5.DLL", "MZ library"},
    {"C:\\Windows\\KEEPD4\\KEEPF6.TXT", "inside"},
    {"C:\\Program Files\\KEEPF7.EXE", "MZ other"},
    {"C:\\Windows\\KEEPF9.INI", "[KeepSec]\r\nKEEPE3=x\r\n"},
    {"D:\\KEEPFA.TXT", "other drive"},
};

const std::vector<std::string> DIRECTORIES = {
    INSTALL, DATA, DATA + "\\Sub Folder", MENU,
    "C:\\Program Files", "C:\\Windows", "C:\\Windows\\Temp", "C:\\Windows\\System32",
    "C:\\KEEPD1", DATA + "\\KEEPD2", "C:\\Windows\\Temp\\KEEPD3", "C:\\Windows\\KEEPD4", INSTALL + "\\KEEPD5",
};

struct KeyItem {
    HKEY root;
    std::string key;
};

const std::vector<KeyItem> KEYS = {
    {HKEY_LOCAL_MACHINE, "Software"},
    {HKEY_LOCAL_MACHINE, "Software\\Acme"},
    {HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool"},
    {HKEY_CURRENT_USER, "Software"},
    {HKEY_CURRENT_USER, "Software\\Acme"},
    {HKEY_CURRENT_USER, "Software\\Acme\\Tool"},
    {HKEY_CURRENT_USER, "Software\\Acme\\Tool\\Settings"},
    {HKEY_CLASSES_ROOT, ".acm"},
    {HKEY_CLASSES_ROOT, "AcmeTool.Document"},
    {HKEY_CLASSES_ROOT, "AcmeTool.Document\\shell\\open\\command"},
    {HKEY_CURRENT_USER, "Software\\KEEPK1"},
    {HKEY_CURRENT_USER, "Software\\Acme\\KEEPK2"},
    {HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool\\KEEPK3"},
    {HKEY_CLASSES_ROOT, "KEEPK4"},
    {HKEY_CURRENT_CONFIG, "KEEPK5"},
    {HKEY_CURRENT_CONFIG, "KEEPK5\\KEEPK6"},
    {HKEY_DYN_DATA, "KEEPK7"},
    {HKEY_USERS, "KEEPK8"},
};

struct ValueItem {
    HKEY root;
    std::string key;
    std::string name;  // "" for the key's default value
    DWORD type;
    std::string bytes;
};

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

const std::vector<ValueItem> VALUES = {
    {HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "InstallDir", REG_SZ, Sz(INSTALL)},
    {HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "Version", REG_DWORD, std::string("\x02\x00\x00\x00", 4)},
    {HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "", REG_SZ, Sz("Acme Tool")},
    {HKEY_CURRENT_USER, "Software\\Acme\\Tool\\Settings", "Language", REG_SZ, Sz("en")},
    {HKEY_CLASSES_ROOT, ".acm", "", REG_SZ, Sz("AcmeTool.Document")},
    {HKEY_CLASSES_ROOT, "AcmeTool.Document\\shell\\open\\command", "", REG_SZ, Sz("app.exe \"%1\"")},
    {HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool\\KEEPK3", "KEEPV1", REG_SZ, Sz("keep")},
    {HKEY_CURRENT_USER, "", "KEEPV2", REG_SZ, Sz("a value of the root key")},
    {HKEY_LOCAL_MACHINE, "Software", "KEEPV3", REG_DWORD, std::string("\x07\x00\x00\x00", 4)},
    {HKEY_LOCAL_MACHINE, "Software\\Acme\\Tool", "KEEPV4", REG_SZ, Sz("foreign")},
    {HKEY_CLASSES_ROOT, ".acm", "KEEPV5", REG_BINARY, std::string("\x00\x01\xff", 3)},
    {HKEY_CLASSES_ROOT, "KEEPK4", "", REG_SZ, Sz("default of a foreign key")},
};

struct IniItem {
    std::string file;
    std::string section;
    std::string key;
    std::string value;
};

const std::vector<IniItem> INI_ENTRIES = {
    {"C:\\Windows\\win.ini", "Extensions", "acm", "C:\\Program Files\\Acme Tool\\app.exe ^.acm"},
    {"C:\\Windows\\win.ini", "Extensions", "KEEPE1", "keep.exe ^.kp"},
    {"C:\\Windows\\win.ini", "KEEPS1", "KEEPE2", "1"},
    {INSTALL + "\\app.ini", "Settings", "Language", "en"},
    {INSTALL + "\\app.ini", "Settings", "KEEPE4", "user"},
    {"C:\\Windows\\KEEPF9.INI", "KeepSec", "KEEPE3", "x"},
};

const char* RootName(HKEY root)
{
    if (root == HKEY_CLASSES_ROOT)
        return "HKCR";
    if (root == HKEY_CURRENT_USER)
        return "HKCU";
    if (root == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (root == HKEY_CURRENT_CONFIG)
        return "HKCC";
    if (root == HKEY_DYN_DATA)
        return "HKDD";
    return "HKU";
}

// A file or directory is named by its name or by its short (8.3) form, which
// finds it just the same.
bool PathNamed(const std::string& path, const std::string& shortPath)
{
    return InputNames(LeafOf(path)) || (!shortPath.empty() && InputNames(LeafOf(shortPath)));
}

std::vector<std::string> g_shortFiles;
std::vector<std::string> g_shortDirectories;

std::string IniValue(const IniItem& entry, bool* present)
{
    // Read as the profile functions read it, but without their journal.
    std::string text = SimReadFile(entry.file);
    std::string section;
    *present = false;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find_first_of("\r\n", position);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line[0] == '[') {
            size_t close = line.rfind(']');
            section = Lower(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            continue;
        }
        size_t equals = line.find('=');
        if (section == Lower(entry.section) && equals != std::string::npos &&
            Lower(line.substr(0, equals)) == Lower(entry.key)) {
            *present = true;
            return line.substr(equals + 1);
        }
    }
    return "";
}

}  // namespace

void SetFuzzInput(const uint8_t* data, size_t size)
{
    g_input.assign(reinterpret_cast<const char*>(data), size);
    g_lowerInput = Lower(g_input);
}

const std::string& FuzzInput() { return g_input; }

bool InputNames(const std::string& text) { return g_lowerInput.find(Lower(text)) != std::string::npos; }

bool InputHolds(const char* text) { return g_input.find(text) != std::string::npos; }

void FuzzFailure(const std::string& what)
{
    std::fprintf(stderr, "\n*** vorsil fuzz check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

void BuildFuzzWorld(const std::string& logText, bool ntPlatform)
{
    InstallApplication(logText);
    SimSetNtPlatform(ntPlatform);
    for (const std::string& directory : DIRECTORIES)
        SimMakeDirectory(directory);
    for (const FileItem& file : FILES)
        SimWriteFile(file.path, file.contents, file.attributes);
    for (const KeyItem& key : KEYS)
        SimCreateRegistryKey(key.root, key.key);
    for (const ValueItem& value : VALUES)
        SimSetRegistryValue(value.root, value.key, value.name, value.type, value.bytes);
    // Started from a shortcut whose start folder is the installation folder:
    // relative paths of the log land there.
    SimSetCurrentDirectory(INSTALL);
    // Every program waited for sends the progress window a message meanwhile.
    SimSentMessagesWhileRunning(1, WM_NULL);

    g_shortFiles.clear();
    for (const FileItem& file : FILES)
        g_shortFiles.push_back(SimShortPath(file.path));
    g_shortDirectories.clear();
    for (const std::string& directory : DIRECTORIES)
        g_shortDirectories.push_back(SimShortPath(directory));
}

void CheckWorld()
{
    for (size_t i = 0; i < FILES.size(); ++i) {
        const FileItem& file = FILES[i];
        if (PathNamed(file.path, g_shortFiles[i]))
            continue;
        if (!SimFileExists(file.path))
            FuzzFailure("the file " + file.path + " was removed, though the input does not name it");
        if (SimReadFile(file.path) != file.contents || SimFileAttributes(file.path) != file.attributes)
            FuzzFailure("the file " + file.path + " was changed, though the input does not name it");
    }
    for (size_t i = 0; i < DIRECTORIES.size(); ++i) {
        const std::string& directory = DIRECTORIES[i];
        if (!PathNamed(directory, g_shortDirectories[i]) && !SimDirectoryExists(directory))
            FuzzFailure("the directory " + directory + " was removed, though the input does not name it");
    }
    for (const KeyItem& key : KEYS) {
        // A key that still has subkeys stays even when named; that is checked
        // through its subkeys, which are items of their own.
        if (!InputNames(LeafOf(key.key)) && !SimRegistryKeyExists(key.root, key.key))
            FuzzFailure(std::string("the registry key ") + RootName(key.root) + "\\" + key.key +
                        " was removed, though the input does not name it");
    }
    for (const ValueItem& value : VALUES) {
        // A value goes with its key when the key is named.
        bool named = (!value.name.empty() && InputNames(value.name)) ||
                     (!value.key.empty() && InputNames(LeafOf(value.key)));
        if (named)
            continue;
        std::string where = std::string(RootName(value.root)) + "\\" + value.key + "\\[" + value.name + "]";
        if (!SimRegistryValueExists(value.root, value.key, value.name))
            FuzzFailure("the registry value " + where + " was removed, though the input does not name it");
        if (SimRegistryValue(value.root, value.key, value.name) != value.bytes ||
            SimRegistryValueType(value.root, value.key, value.name) != value.type)
            FuzzFailure("the registry value " + where + " was changed, though the input does not name it");
    }
    for (const IniItem& entry : INI_ENTRIES) {
        // An entry goes with its file when the file is named.
        if (InputNames(entry.key) || InputNames(LeafOf(entry.file)))
            continue;
        bool present = false;
        std::string value = IniValue(entry, &present);
        std::string where = entry.file + " [" + entry.section + "] " + entry.key;
        if (!present)
            FuzzFailure("the INI entry " + where + " was removed, though the input does not name it");
        if (value != entry.value)
            FuzzFailure("the INI entry " + where + " was changed, though the input does not name it");
    }
}
