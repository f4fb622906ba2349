#include "outcome.h"

#include <algorithm>
#include <cstdio>

namespace scenario {
namespace {

typedef std::vector<std::pair<std::string, std::string>> RenameList;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> NonBlankLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (const std::string& line : Lines(text))
        if (!Trim(line).empty())
            lines.push_back(Trim(line));
    return lines;
}

// The value of key in section of an INI text, read as the profile functions
// read it: names without regard to case, blanks around them and the value
// dropped, lines without "=" holding no value.
bool IniValue(const std::string& text, const std::string& section, const std::string& key, std::string* value)
{
    bool inSection = false;
    for (const std::string& raw : Lines(text)) {
        std::string line = Trim(raw);
        if (line.empty())
            continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                inSection = SameIgnoringCase(Trim(line.substr(1, close - 1)), Trim(section));
                continue;
            }
        }
        if (!inSection)
            continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        if (SameIgnoringCase(Trim(line.substr(0, equals)), Trim(key))) {
            *value = Trim(line.substr(equals + 1));
            return true;
        }
    }
    return false;
}

std::string IniFilePath(const std::string& file, Machine& machine)
{
    return file.find('\\') == std::string::npos ? machine.WindowsFolder() + "\\" + file : file;
}

bool ReadIniEntry(Machine& machine, const Item& item, std::string* value)
{
    std::string text;
    return machine.ReadFile(IniFilePath(item.path, machine), &text) && IniValue(text, item.section, item.key, value);
}

std::string ShownValue(uint32_t type, const std::string& bytes)
{
    std::string shown = TypeName(type) + " ";
    if ((type == TYPE_SZ || type == TYPE_EXPAND_SZ) && !bytes.empty() && bytes.back() == '\0') {
        shown += Quote(bytes.substr(0, bytes.size() - 1));
    } else if (type == TYPE_DWORD && bytes.size() == 4) {
        unsigned long number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(bytes[size_t(i)]);
        shown += std::to_string(number);
    } else {
        for (size_t i = 0; i < bytes.size(); ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
            shown += (i ? " " : "") + std::string(hex);
        }
        if (bytes.empty())
            shown += "(no bytes)";
    }
    return shown;
}

std::string FileNamePart(const std::string& path)
{
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Placeholder(const Scenario& scenario, const std::string& name)
{
    auto found = scenario.placeholders.find(name);
    return found == scenario.placeholders.end() ? std::string() : found->second;
}

// Two columns, expected beside actual, each row marked where they differ.
std::string SideBySide(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    size_t width = 8;
    for (const std::string& line : expected)
        width = std::max(width, Quote(line).size());
    std::string text = "      " + std::string("expected") + std::string(width - 8 + 3, ' ') + "actual\n";
    for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        std::string left = i < expected.size() ? Quote(expected[i]) : "(none)";
        std::string right = i < actual.size() ? Quote(actual[i]) : "(none)";
        bool same = i < expected.size() && i < actual.size() && expected[i] == actual[i];
        text += std::string(same ? "      " : "  !!  ") + left + std::string(width - left.size() + 3, ' ') + right +
                "\n";
    }
    return text;
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text.empty() ? "(none)" : text;
}

std::string ShownRenames(const RenameList& renames)
{
    std::string text;
    for (const auto& rename : renames)
        text += "      " + Quote(rename.first) + " -> " + Quote(rename.second) + "\n";
    return text.empty() ? "      (none)\n" : text;
}

class Judge {
public:
    Judge(const Scenario& scenario, const Observed& observed, const Snapshot& before, Machine& machine)
        : s_(scenario), seen_(observed), before_(before), machine_(machine) {}

    std::vector<std::string> Run();

private:
    void Differ(const std::string& text) { differences_.push_back(text); }
    void Equal(const std::string& what, const std::string& expected, const std::string& actual)
    {
        if (expected != actual)
            Differ(what + ": expected " + Quote(expected) + ", got " + Quote(actual));
    }
    std::string Expected(const std::string& text)
    {
        return ExpandShortPaths(text, [this](const std::string& path) { return machine_.ShortPath(path); });
    }

    void Runs();
    void Windows();
    void World();
    bool Exists(const Item& item);
    void ItemKept(const Item& item);
    void AfterItem(const Item& item);
    void Restart();

    const Scenario& s_;
    const Observed& seen_;
    const Snapshot& before_;
    Machine& machine_;
    std::vector<std::string> differences_;
};

std::vector<std::string> Judge::Run()
{
    for (const std::string& problem : seen_.problems)
        Differ("the runner: " + problem);
    Runs();
    Windows();
    World();
    Restart();
    return differences_;
}

void Judge::Runs()
{
    if (!seen_.firstStarted) {
        Differ("the program could not be started");
        return;
    }
    int firstExitCode = s_.relaunches ? 0 : s_.exitCode;
    if (!seen_.firstEnded)
        Differ("the first run did not end by itself");
    else if (seen_.firstExitCode != firstExitCode)
        Differ("the first run's exit code: expected " + std::to_string(firstExitCode) + ", got " +
               std::to_string(seen_.firstExitCode));
    if (!s_.relaunches) {
        if (seen_.relaunched)
            Differ("a program was started from the temporary folder: " + Quote(seen_.relaunchArgument));
        return;
    }
    if (!seen_.relaunched) {
        Differ("the temporary copy was not started");
        return;
    }
    if (s_.checkRelaunch)
        Equal("the temporary copy's argument", s_.relaunchArgument, seen_.relaunchArgument);
    if (!seen_.secondEnded)
        Differ("the second run did not end");
    else if (seen_.secondExitCode != s_.exitCode)
        Differ("the second run's exit code: expected " + std::to_string(s_.exitCode) + ", got " +
               std::to_string(seen_.secondExitCode));
}

void Judge::Windows()
{
    if (s_.expectBox && !seen_.boxShown)
        Differ("no message box was shown; expected " + Quote(s_.boxCaption) + ": " + Quote(s_.boxText));
    if (!s_.expectBox && seen_.boxShown)
        Differ("an unexpected message box: " + Quote(seen_.boxCaption) + ": " + Quote(seen_.boxText));
    if (s_.expectBox && seen_.boxShown) {
        Equal("the message box's caption", s_.boxCaption, seen_.boxCaption);
        Equal("the message box's text", s_.boxText, seen_.boxText);
        Equal("the message box's buttons", Joined(s_.boxButtons), Joined(seen_.boxButtons));
    }
    for (size_t i = 0; i < std::max(s_.windowBoxes.size(), seen_.windowBoxes.size()); ++i) {
        std::string which = "the progress window's box " + std::to_string(i + 1);
        if (i >= seen_.windowBoxes.size())
            Differ(which + " was not shown: " + Quote(s_.windowBoxes[i].text));
        else if (i >= s_.windowBoxes.size())
            Differ("an unexpected box of the progress window: " + Quote(seen_.windowBoxes[i].text));
        else {
            Equal(which + "'s caption", s_.windowBoxes[i].caption, seen_.windowBoxes[i].caption);
            Equal(which + "'s text", s_.windowBoxes[i].text, seen_.windowBoxes[i].text);
            Equal(which + "'s buttons", Joined(s_.windowBoxes[i].buttons), Joined(seen_.windowBoxes[i].buttons));
        }
    }
    if (!s_.expectWindow) {
        if (seen_.windowShown)
            Differ("an unexpected progress window " + Quote(seen_.windowCaption) + " with the status lines\n" +
                   SideBySide({}, seen_.status));
        return;
    }
    if (!seen_.windowShown) {
        Differ("the progress window did not open");
        return;
    }
    Equal("the progress window's caption", s_.windowCaption, seen_.windowCaption);
    Equal("the close button's text", s_.closeText, seen_.closeText);
    if (seen_.windowHasIcon == 0)
        Differ("the progress window's large icon is not the program's");
    if (s_.checkStatus && s_.status != seen_.status)
        Differ("the status lines differ:\n" + SideBySide(s_.status, seen_.status));
    if (!seen_.status.empty() && seen_.statusSelection != int(seen_.status.size()) - 1)
        Differ("the selected status line: expected the newest (" + std::to_string(seen_.status.size() - 1) +
               "), got " + std::to_string(seen_.statusSelection));
    if (!seen_.windowClosed)
        Differ("the progress window did not close");
}

bool Judge::Exists(const Item& item)
{
    switch (item.kind) {
    case Kind::File:
    case Kind::Program:
    case Kind::Log:
    case Kind::Probe:
        return machine_.FileExists(item.path);
    case Kind::Dir:
        return machine_.DirectoryExists(item.path);
    case Kind::Key:
        return machine_.KeyExists(item.root, item.subkey);
    case Kind::Value: {
        uint32_t type;
        std::string bytes;
        return machine_.GetValue(item.root, item.subkey, item.valueName, &type, &bytes);
    }
    case Kind::Ini: {
        std::string value;
        return ReadIniEntry(machine_, item, &value);
    }
    case Kind::Pending:
        for (const auto& rename : machine_.PendingRenames())
            if (rename.first == "\\??\\" + item.path && rename.second.empty())
                return true;
        return false;
    }
    return false;
}

void Judge::ItemKept(const Item& item)
{
    std::string where = " (line " + std::to_string(item.line) + ")";
    if (!Exists(item)) {
        Differ(item.Describe() + " should still be there, but it is gone" + where);
        return;
    }
    if (item.kind == Kind::File || item.kind == Kind::Log) {
        std::string bytes;
        machine_.ReadFile(item.path, &bytes);
        std::string expected = item.kind == Kind::Log ? s_.LogBytes() : item.Contents();
        if (bytes != expected)
            Differ(item.Describe() + " changed" + where + ": expected " + Quote(expected) + ", got " + Quote(bytes));
    } else if (item.kind == Kind::Value) {
        uint32_t type = 0;
        std::string bytes;
        machine_.GetValue(item.root, item.subkey, item.valueName, &type, &bytes);
        if (type != item.valueType || bytes != item.valueBytes)
            Differ(item.Describe() + " changed" + where + ": expected " + ShownValue(item.valueType, item.valueBytes) +
                   ", got " + ShownValue(type, bytes));
    } else if (item.kind == Kind::Ini) {
        std::string value;
        ReadIniEntry(machine_, item, &value);
        if (value != item.text)
            Differ(item.Describe() + " changed" + where + ": expected " + Quote(item.text) + ", got " + Quote(value));
    }
}

void Judge::AfterItem(const Item& item)
{
    std::string where = " (line " + std::to_string(item.line) + ")";
    bool exists = Exists(item);
    if (!item.present) {
        if (exists)
            Differ(item.Describe() + " should not be there afterwards, but it is" + where);
        return;
    }
    if (!exists) {
        Differ(item.Describe() + " should be there afterwards, but it is not" + where);
        return;
    }
    if (!item.hasText)
        return;
    if (item.kind == Kind::File) {
        std::string bytes;
        machine_.ReadFile(item.path, &bytes);
        std::string expected = Encoded(Expected(item.Text()), item.encoding);
        if (bytes != expected)
            Differ(item.Describe() + where + ", its contents differ:\n" +
                   SideBySide(Lines(expected), Lines(bytes)));
    } else if (item.kind == Kind::Value) {
        uint32_t type = 0;
        std::string bytes;
        machine_.GetValue(item.root, item.subkey, item.valueName, &type, &bytes);
        if (type != item.valueType || bytes != item.valueBytes)
            Differ(item.Describe() + where + ": expected " + ShownValue(item.valueType, item.valueBytes) + ", got " +
                   ShownValue(type, bytes));
    } else if (item.kind == Kind::Ini) {
        std::string value;
        ReadIniEntry(machine_, item, &value);
        Equal(item.Describe() + where, Expected(item.text), value);
    }
}

void Judge::World()
{
    for (const Item& item : s_.world) {
        if (item.fate == Fate::Gone && Exists(item))
            Differ(item.Describe() + " should be gone, but it is still there (line " + std::to_string(item.line) +
                   ")");
        else if (item.fate == Fate::Kept)
            ItemKept(item);
    }
    for (const Item& item : s_.after)
        AfterItem(item);
}

void Judge::Restart()
{
    RenameList after = machine_.PendingRenames();
    RenameList expected = before_.pendingRenames;
    std::vector<std::string> newWininitLines;
    for (const Scheduled& entry : s_.restart) {
        if (entry.via == Scheduled::Registry) {
            expected.push_back({"\\??\\" + entry.path, ""});
        } else {
            std::string shortPath = machine_.ShortPath(entry.path);
            if (shortPath.empty())
                Differ("no short path for " + entry.path + " (line " + std::to_string(entry.line) + ")");
            newWininitLines.push_back("NUL=" + shortPath);
        }
    }
    if (after != expected)
        Differ("PendingFileRenameOperations (deletions and renames at restart) differs:\n    expected\n" +
               ShownRenames(expected) + "    actual\n" + ShownRenames(after));

    std::string wininitPath = machine_.WindowsFolder() + "\\wininit.ini";
    std::string text;
    bool exists = machine_.ReadFile(wininitPath, &text);
    if (newWininitLines.empty()) {
        if (exists != before_.wininitExisted || text != before_.wininitText)
            Differ("wininit.ini changed, but nothing was to be scheduled there:\n" +
                   SideBySide(Lines(before_.wininitText), Lines(text)));
        return;
    }
    if (!exists) {
        Differ("wininit.ini does not exist; expected it to list " + Joined(newWininitLines));
        return;
    }
    // The new lines stand in [Rename]; taking them out gives back the file as
    // it was (with a [Rename] heading added when it had none).
    std::vector<std::string> remaining = NonBlankLines(text);
    bool inRename = false;
    std::vector<std::string> missing;
    for (const std::string& wanted : newWininitLines) {
        bool found = false;
        inRename = false;
        for (auto it = remaining.begin(); it != remaining.end(); ++it) {
            if ((*it)[0] == '[')
                inRename = SameIgnoringCase(*it, "[Rename]");
            else if (inRename && *it == wanted) {
                remaining.erase(it);
                found = true;
                break;
            }
        }
        if (!found)
            missing.push_back(wanted);
    }
    if (!missing.empty())
        Differ("wininit.ini's [Rename] section lacks " + Joined(missing) + ":\n" + SideBySide({}, Lines(text)));
    std::vector<std::string> old = NonBlankLines(before_.wininitText);
    bool hadRename = false;
    for (const std::string& line : old)
        hadRename = hadRename || SameIgnoringCase(line, "[Rename]");
    std::vector<std::string> withHeading = old;
    withHeading.push_back("[Rename]");
    if (remaining != old && (hadRename || remaining != withHeading))
        Differ("wininit.ini's other lines changed:\n" + SideBySide(hadRename ? old : withHeading, remaining));
}

}  // namespace

void LayOut(const Scenario& scenario, Machine& machine, std::vector<std::string>* problems)
{
    auto check = [problems](bool ok, const std::string& what) {
        if (!ok)
            problems->push_back("could not " + what);
    };
    std::string app = Placeholder(scenario, "APP");
    std::string other = Placeholder(scenario, "OTHER");
    std::string key = Placeholder(scenario, "KEY");
    std::string temp = Placeholder(scenario, "TEMP");

    // What an earlier run may have left.
    check(machine.Remove(app), "remove " + app);
    check(machine.Remove(other), "remove " + other);
    check(machine.Remove(temp + "\\" + FileNamePart(scenario.program)), "remove the earlier temporary copy");
    for (const char* root : {"HKCU", "HKLM", "HKCR"})
        check(machine.DeleteKeyTree(root, key), std::string("delete ") + root + "\\" + key);
    std::vector<const Item*> all;
    for (const Item& item : scenario.world)
        all.push_back(&item);
    for (const Item& item : scenario.after)
        all.push_back(&item);
    bool wininitInWorld = false;
    for (const Item* item : all) {
        switch (item->kind) {
        case Kind::Key:
            check(machine.DeleteKeyTree(item->root, item->subkey), "delete " + item->Describe());
            break;
        case Kind::Value:
            check(machine.DeleteValue(item->root, item->subkey, item->valueName), "delete " + item->Describe());
            break;
        case Kind::Ini:
            check(machine.DeleteIniEntry(IniFilePath(item->path, machine), item->section, item->key),
                  "delete " + item->Describe());
            break;
        case Kind::Pending:
            break;
        default:
            check(machine.Remove(item->path), "remove " + item->path);
            if (item->fate != Fate::Gone && SameIgnoringCase(item->path, machine.WindowsFolder() + "\\wininit.ini"))
                wininitInWorld = true;
        }
    }
    if (!wininitInWorld)
        check(machine.Remove(machine.WindowsFolder() + "\\wininit.ini"), "remove wininit.ini");
    RenameList pending;
    for (const Item* item : scenario.ItemsOf(Kind::Pending))
        pending.push_back({"\\??\\" + item->path, ""});
    check(machine.SetPendingRenames(pending), "set PendingFileRenameOperations");

    // The world.
    check(machine.MakeDirectory(app), "make " + app);
    check(machine.MakeDirectory(other), "make " + other);
    if (!scenario.tempFolder.empty())
        check(machine.MakeDirectory(scenario.tempFolder), "make the temporary folder " + scenario.tempFolder);
    for (const Item& item : scenario.world) {
        std::string what = "lay out " + item.Describe() + " (line " + std::to_string(item.line) + ")";
        switch (item.kind) {
        case Kind::File:
            check(machine.WriteFile(item.path, item.Contents(), item.readOnly, item.hidden), what);
            break;
        case Kind::Dir:
            check(machine.MakeDirectory(item.path), what);
            break;
        case Kind::Key:
            check(machine.CreateKey(item.root, item.subkey), what);
            break;
        case Kind::Value:
            check(machine.SetValue(item.root, item.subkey, item.valueName, item.valueType, item.valueBytes), what);
            break;
        case Kind::Ini:
            check(machine.WriteIniEntry(IniFilePath(item.path, machine), item.section, item.key, item.text), what);
            break;
        case Kind::Program:
            check(machine.PlaceProgram(item.path), what);
            break;
        case Kind::Log:
            check(machine.WriteFile(item.path, scenario.LogBytes(), false, false), what);
            break;
        case Kind::Probe:
            check(machine.PlaceProbe(item.path), what);
            break;
        case Kind::Pending:
            break;
        }
    }
}

Snapshot TakeSnapshot(Machine& machine)
{
    Snapshot snapshot;
    snapshot.pendingRenames = machine.PendingRenames();
    snapshot.wininitExisted = machine.ReadFile(machine.WindowsFolder() + "\\wininit.ini", &snapshot.wininitText);
    return snapshot;
}

std::vector<std::string> Compare(const Scenario& scenario, const Observed& observed, const Snapshot& before,
                                 Machine& machine)
{
    return Judge(scenario, observed, before, machine).Run();
}

std::string ProbeLine(const std::string& currentDirectory, int showMode, const std::string& arguments)
{
    return currentDirectory + "|" + (showMode < 0 ? std::string("-") : std::to_string(showMode)) + "|" + arguments +
           "\r\n";
}

}  // namespace scenario
