// Path parsing and the tree of the in-memory file system.
#include "state.h"

#include <algorithm>
#include <cstdio>

namespace winsim {

namespace {
std::map<char, NodePtr> g_drives;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

void SplitInto(const std::string& text, std::vector<std::string>& names)
{
    std::string name;
    for (char c : text) {
        if (IsSeparator(c)) {
            if (!name.empty())
                names.push_back(name);
            name.clear();
        } else {
            name += c;
        }
    }
    if (!name.empty())
        names.push_back(name);
}

// Whether the character may stand in an 8.3 name.
bool IsShortNameChar(char c)
{
    if (static_cast<unsigned char>(c) <= ' ')
        return false;
    return std::string("\"*+,/:;<=>?[\\]|.").find(c) == std::string::npos;
}
}  // namespace

std::string ParsedPath::Full() const
{
    std::string text(1, typedDrive ? typedDrive : drive);
    text += ":\\";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += "\\";
        text += names[i];
    }
    return text;
}

ParsedPath ParsePath(const char* path)
{
    ParsedPath result;
    if (path == nullptr || *path == '\0')
        return result;
    std::string text(path);
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
        return result;  // UNC paths are not simulated

    std::vector<std::string> names;
    ParsedPath current;
    std::string cwd = CurrentDirectory();
    if (text.size() >= 2 && IsLetter(text[0]) && text[1] == ':') {
        result.drive = UpperChar(text[0]);
        result.typedDrive = text[0];
        std::string rest = text.substr(2);
        if (rest.empty() || !IsSeparator(rest[0])) {
            // "C:name" is relative to the current directory when it is on that drive.
            if (!cwd.empty() && UpperChar(cwd[0]) == result.drive)
                SplitInto(cwd.substr(2), names);
        }
        SplitInto(rest, names);
    } else if (IsSeparator(text[0])) {
        result.typedDrive = cwd.empty() ? 'C' : cwd[0];
        result.drive = UpperChar(result.typedDrive);
        SplitInto(text, names);
    } else {
        if (cwd.size() < 2)
            return result;
        result.typedDrive = cwd[0];
        result.drive = UpperChar(cwd[0]);
        SplitInto(cwd.substr(2), names);
        SplitInto(text, names);
    }
    result.trailingSeparator = IsSeparator(text.back());

    for (std::string name : names) {
        if (name == ".")
            continue;
        if (name == "..") {
            if (!result.names.empty())
                result.names.pop_back();
            continue;
        }
        // Windows drops trailing dots and blanks of a name.
        while (!name.empty() && (name.back() == '.' || name.back() == ' '))
            name.pop_back();
        if (name.empty())
            continue;
        result.names.push_back(name);
    }
    result.valid = true;
    return result;
}

bool HasInvalidNameChars(const std::string& name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32 || std::string("\"*:<>?|").find(c) != std::string::npos)
            return true;
    return false;
}

bool HasWildcards(const std::string& name) { return name.find_first_of("*?<>|\"") != std::string::npos; }

static bool AnyWildcards(const ParsedPath& path)
{
    for (const std::string& name : path.names)
        if (HasWildcards(name))
            return true;
    return false;
}

bool IsValidShortName(const std::string& name)
{
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3)
        return false;
    if (dot != std::string::npos && extension.empty())
        return false;
    for (char c : base)
        if (!IsShortNameChar(c))
            return false;
    for (char c : extension)
        if (!IsShortNameChar(c))
            return false;
    return true;
}

NodePtr ChildOf(const NodePtr& directory, const std::string& name)
{
    if (!directory || !directory->directory)
        return nullptr;
    std::string upper = Upper(name);
    auto found = directory->children.find(upper);
    if (found != directory->children.end())
        return found->second;
    // Names are also found by their short (8.3) form, as on Windows.
    auto alias = directory->shortNames.find(upper);
    if (alias != directory->shortNames.end())
        return directory->children.at(Upper(alias->second->name));
    return nullptr;
}

// Windows' scheme: up to six valid characters of the name, "~" and a number
// from 1 to 4, and up to three of the extension, all upper case; from the
// fifth on, two characters and four hex digits of a hash of the long name.
static std::string MakeShortName(const NodePtr& directory, const std::string& name)
{
    size_t dot = name.rfind('.');
    std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
    auto clean = [](const std::string& text) {
        std::string result;
        for (char c : text) {
            if (c == ' ' || c == '.')
                continue;
            result += IsShortNameChar(c) ? UpperChar(c) : '_';
        }
        return result;
    };
    base = clean(base);
    extension = clean(extension).substr(0, 3);
    if (base.empty())
        base = "_";
    unsigned hash = 0;
    for (char c : Upper(name))
        hash = hash * 31 + static_cast<unsigned char>(c);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", hash & 0xFFFF);
    for (int number = 1;; ++number) {
        std::string candidate = number <= 4 ? base.substr(0, 6) + "~" + std::to_string(number)
                                            : base.substr(0, 2) + hex + "~" + std::to_string(number - 4);
        if (!extension.empty())
            candidate += "." + extension;
        if (!ChildOf(directory, candidate))
            return candidate;
    }
}

void Insert(const NodePtr& directory, const NodePtr& node, const std::string& name)
{
    node->name = name;
    node->shortName = IsValidShortName(name) ? std::string() : MakeShortName(directory, name);
    node->parent = directory.get();
    directory->children[Upper(name)] = node;
    if (!node->shortName.empty())
        directory->shortNames[node->shortName] = node.get();
}

NodePtr AddChild(const NodePtr& directory, const std::string& name, bool isDirectory,
                 DWORD attributes)
{
    auto node = std::make_shared<Node>();
    node->directory = isDirectory;
    node->attributes = attributes;
    Insert(directory, node, name);
    return node;
}

void Unlink(const NodePtr& node)
{
    Node* parent = node->parent;
    if (parent == nullptr)
        return;
    parent->children.erase(Upper(node->name));
    if (!node->shortName.empty())
        parent->shortNames.erase(node->shortName);
    node->parent = nullptr;
}

std::string PathOf(const Node* node)
{
    std::vector<const Node*> chain;
    for (const Node* n = node; n != nullptr; n = n->parent)
        chain.push_back(n);
    std::string text = chain.back()->name;  // "C:"
    if (chain.size() == 1)
        return text + "\\";
    for (size_t i = chain.size() - 1; i-- > 0;)
        text += "\\" + chain[i]->name;
    return text;
}

Found Locate(const ParsedPath& path)
{
    Found found;
    found.error = ERROR_PATH_NOT_FOUND;
    if (!path.valid)
        return found;
    auto drive = g_drives.find(path.drive);
    if (drive == g_drives.end())
        return found;
    NodePtr directory = drive->second;
    if (path.names.empty()) {
        found.node = directory;
        found.error = 0;
        return found;
    }
    // A wildcard in any name makes a missing path an invalid one.
    for (size_t i = 0; i + 1 < path.names.size(); ++i) {
        directory = ChildOf(directory, path.names[i]);
        if (!directory || !directory->directory) {
            if (AnyWildcards(path))
                found.error = ERROR_INVALID_NAME;
            return found;
        }
    }
    found.parent = directory;
    found.node = ChildOf(directory, path.names.back());
    found.error = found.node ? 0 : AnyWildcards(path) ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND;
    return found;
}

Found Locate(const char* path) { return Locate(ParsePath(path)); }

Found LocateFile(const char* path)
{
    ParsedPath parsed = ParsePath(path);
    Found found = Locate(parsed);
    if (parsed.trailingSeparator && !parsed.names.empty() && (!found.node || !found.node->directory) &&
        found.error != ERROR_INVALID_NAME) {
        found.node = nullptr;
        found.parent = nullptr;
        found.error = ERROR_PATH_NOT_FOUND;
    }
    return found;
}

NodePtr DriveRoot(char drive, bool create)
{
    drive = UpperChar(drive);
    auto found = g_drives.find(drive);
    if (found != g_drives.end())
        return found->second;
    if (!create)
        return nullptr;
    auto root = std::make_shared<Node>();
    root->name = std::string(1, drive) + ":";
    root->directory = true;
    root->attributes = FILE_ATTRIBUTE_DIRECTORY;
    g_drives[drive] = root;
    return root;
}

const std::map<char, NodePtr>& Drives() { return g_drives; }

void ClearDrives() { g_drives.clear(); }

}  // namespace winsim
