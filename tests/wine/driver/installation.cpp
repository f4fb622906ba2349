#include "installation.h"

#include "check.h"
#include "machine.h"

namespace {

Item MakeItem(Item::Kind kind, const std::string& path, HKEY root = nullptr, const std::string& name = "",
              const std::string& key = "") {
    Item item;
    item.kind = kind;
    item.path = path;
    item.root = root;
    item.name = name;
    item.key = key;
    return item;
}

}  // namespace

Item Item::FileAt(const std::string& path) { return MakeItem(File, path); }
Item Item::DirectoryAt(const std::string& path) { return MakeItem(Directory, path); }
Item Item::Key(HKEY root, const std::string& subkey) { return MakeItem(RegistryKey, subkey, root); }
Item Item::Value(HKEY root, const std::string& subkey, const std::string& name) {
    return MakeItem(RegistryValue, subkey, root, name);
}
Item Item::Ini(const std::string& file, const std::string& section, const std::string& key) {
    return MakeItem(IniEntry, file, nullptr, section, key);
}

bool Item::Exists() const {
    switch (kind) {
    case File: return machine::FileExists(path);
    case Directory: return machine::DirectoryExists(path);
    case RegistryKey: return machine::KeyExists(root, path);
    case RegistryValue: return machine::ValueExists(root, path, name);
    case IniEntry: return machine::IniEntryExists(path, name, key);
    }
    return false;
}

std::string Item::Describe() const {
    switch (kind) {
    case File: return "file " + path;
    case Directory: return "folder " + path;
    case RegistryKey: return "registry key " + machine::RootName(root) + "\\" + path;
    case RegistryValue:
        return "registry value " + machine::RootName(root) + "\\" + path + " " +
               (name.empty() ? std::string("(default)") : "\"" + name + "\"");
    case IniEntry: return "INI entry " + path + " [" + name + "] " + key;
    }
    return "?";
}

Installation::Installation(const std::string& folder, const std::string& programName)
    : folder_(folder), programName_(programName) {}

void Installation::AddFile(const std::string& path, const std::string& content) {
    files_.push_back({path, content});
}

void Installation::AddDirectory(const std::string& path) { directories_.push_back(path); }

void Installation::AddIniEntry(const std::string& file, const std::string& section, const std::string& key,
                               const std::string& value) {
    iniEntries_.push_back({file, section, key, value});
}

void Installation::AddRegistryKey(HKEY root, const std::string& subkey) { keys_.push_back({root, subkey}); }

void Installation::AddRegistryValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
                                    const std::string& data) {
    values_.push_back({root, subkey, name, type, data});
}

void Installation::AddCleanup(const Item& item) { cleanups_.push_back(item); }

void Installation::LogLine(const std::string& section, const std::string& line) {
    for (auto& existing : log_) {
        if (existing.first == section) {
            existing.second.push_back(line);
            return;
        }
    }
    log_.push_back({section, {line}});
}

void Installation::LogString(int key, const std::string& text) { LogLine("Strings", std::to_string(key) + "=" + text); }

void Installation::LogRaw(const std::string& text) { logRaw_ += text; }

std::string Installation::LogText() const {
    std::string text;
    for (const auto& section : log_) {
        text += "[" + section.first + "]\r\n";
        for (const auto& line : section.second) text += line + "\r\n";
        text += "\r\n";
    }
    return text + logRaw_;
}

void Installation::ExpectEverythingKept() {
    for (const Item& item : Items()) ExpectKept(item);
}

std::vector<Item> Installation::Items() const {
    std::vector<Item> items;
    items.push_back(Item::DirectoryAt(folder_));
    items.push_back(Item::FileAt(ProgramPath()));
    if (writeLog_) items.push_back(Item::FileAt(LogPath()));
    for (const auto& directory : directories_) items.push_back(Item::DirectoryAt(directory));
    for (const auto& file : files_) items.push_back(Item::FileAt(file.first));
    for (const auto& entry : iniEntries_) items.push_back(Item::Ini(entry.file, entry.section, entry.key));
    for (const auto& key : keys_) items.push_back(Item::Key(key.first, key.second));
    for (const auto& value : values_) items.push_back(Item::Value(value.root, value.subkey, value.name));
    return items;
}

bool Installation::Lay(const std::string& programSource) {
    bool ok = true;
    ok &= check::That(machine::RemoveTree(folder_), "an earlier installation folder is removed",
                      folder_ + " stays");
    for (const Item& item : cleanups_) {
        bool gone = true;
        if (item.kind == Item::File || item.kind == Item::Directory) gone = machine::RemoveTree(item.path);
        else if (item.kind == Item::RegistryKey) gone = machine::DeleteKeyTree(item.root, item.path);
        ok &= check::That(gone, "leftover " + item.Describe() + " is removed");
    }
    bool laid = machine::CreateDirectories(folder_) && machine::CopyFile(programSource, ProgramPath());
    for (const auto& directory : directories_) laid = laid && machine::CreateDirectories(directory);
    for (const auto& file : files_) laid = laid && machine::WriteFile(file.first, file.second);
    for (const auto& entry : iniEntries_)
        laid = laid && machine::WriteIniEntry(entry.file, entry.section, entry.key, entry.value);
    for (const auto& key : keys_) laid = laid && machine::CreateKey(key.first, key.second);
    for (const auto& value : values_)
        laid = laid && machine::SetValue(value.root, value.subkey, value.name, value.type, value.data);
    if (writeLog_) laid = laid && machine::WriteFile(LogPath(), LogText());
    ok &= check::That(laid, "the sample installation is laid out in " + folder_);
    return ok;
}

void Installation::CheckExpectations(const std::string& when) const {
    for (const Item& item : expectGone_)
        check::That(!item.Exists(), item.Describe() + " is gone " + when);
    for (const Item& item : expectKept_)
        check::That(item.Exists(), item.Describe() + " is still there " + when);
}
