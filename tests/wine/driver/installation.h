// A sample installation as an installer would leave it: the program and its
// install.log in the installation folder, files, folders, INI entries and
// registry entries elsewhere, and what is expected of each after the program
// has run (gone, or kept).
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// One thing on the machine whose presence is checked.
struct Item {
    enum Kind { File, Directory, RegistryKey, RegistryValue, IniEntry };
    Kind kind = File;
    std::string path;     // file or folder path, registry subkey, or INI file
    HKEY root = nullptr;  // registry items
    std::string name;     // value name ("" is the key's default value) or INI section
    std::string key;      // INI key

    static Item FileAt(const std::string& path);
    static Item DirectoryAt(const std::string& path);
    static Item Key(HKEY root, const std::string& subkey);
    static Item Value(HKEY root, const std::string& subkey, const std::string& name);
    static Item Ini(const std::string& file, const std::string& section, const std::string& key);

    bool Exists() const;
    std::string Describe() const;
};

class Installation {
public:
    // folder: the installation folder, e.g. C:\Program Files\Sample App.
    explicit Installation(const std::string& folder, const std::string& programName = "vorsil.exe");

    const std::string& Folder() const { return folder_; }
    const std::string& ProgramName() const { return programName_; }
    std::string ProgramPath() const { return folder_ + "\\" + programName_; }
    std::string LogPath() const { return folder_ + "\\install.log"; }

    // What the installer put on the machine; laid out by Lay().
    void AddFile(const std::string& path, const std::string& content);
    void AddDirectory(const std::string& path);
    void AddIniEntry(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value);
    void AddRegistryKey(HKEY root, const std::string& subkey);
    void AddRegistryValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
                          const std::string& data);
    // Something removed before the program runs (say, a folder left over from an
    // earlier run of the same case).
    void AddCleanup(const Item& item);

    // install.log: lines appended to their section in order; the sections are
    // written in the order they were first used. Raw text goes at the end as is.
    void LogLine(const std::string& section, const std::string& line);
    void LogString(int key, const std::string& text);  // [Strings]
    void LogRaw(const std::string& text);
    void WithoutLog() { writeLog_ = false; }
    std::string LogText() const;

    // After the run.
    void ExpectGone(const Item& item) { expectGone_.push_back(item); }
    void ExpectKept(const Item& item) { expectKept_.push_back(item); }
    // Every file and folder the installation added is expected kept (a run that
    // must remove nothing).
    void ExpectEverythingKept();

    // Removes what an earlier run may have left, then lays out the installation
    // with the program copied from programSource. Every step is a named check.
    bool Lay(const std::string& programSource);
    // Checks every expectation; `when` names the moment ("after Cancel").
    void CheckExpectations(const std::string& when) const;

    const std::vector<Item>& ExpectedGone() const { return expectGone_; }
    const std::vector<Item>& ExpectedKept() const { return expectKept_; }
    // Everything the installation consists of, for listings.
    std::vector<Item> Items() const;

private:
    struct Value {
        HKEY root;
        std::string subkey, name;
        DWORD type;
        std::string data;
    };
    struct IniLine {
        std::string file, section, key, value;
    };

    std::string folder_;
    std::string programName_;
    std::vector<std::pair<std::string, std::string>> files_;
    std::vector<std::string> directories_;
    std::vector<IniLine> iniEntries_;
    std::vector<std::pair<HKEY, std::string>> keys_;
    std::vector<Value> values_;
    std::vector<Item> cleanups_;
    std::vector<std::pair<std::string, std::vector<std::string>>> log_;
    std::string logRaw_;
    bool writeLog_ = true;
    std::vector<Item> expectGone_;
    std::vector<Item> expectKept_;
};
