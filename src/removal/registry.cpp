#include "log_section.h"
#include "platform.h"
#include "progress.h"
#include "removal.h"
#include "report.h"
#include "text.h"

// A registry line is "ROOT\key path", the root four letters long; the key path
// starts at the sixth character.
static const unsigned KEY_PATH_OFFSET = 5;

HKEY HiveFromPrefix(const char* line)
{
    static const char NAMES[] = "HKCRHKCUHKLMHKCCHKDD";
    static const HKEY ROOTS[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CURRENT_CONFIG,
                                 HKEY_DYN_DATA};
    for (int root = 0; root < 5; ++root) {
        int i = 0;
        // ASCII letters in upper case; a terminator matches no letter.
        while (i < 4 && char(line[i] & ~0x20) == NAMES[4 * root + i])
            ++i;
        if (i == 4)
            return ROOTS[root];
    }
    return nullptr;
}

// The key path of a line whose root is known, or nullptr when it ends before it starts.
static char* KeyPath(char* line)
{
    return TextLength(line) > KEY_PATH_OFFSET ? line + KEY_PATH_OFFSET : nullptr;
}

// "ROOT\key path\value name": the value after the last backslash (empty: the
// key's default value) of the key before it.
static void RemoveRegistryValue(char* path)
{
    HKEY root = HiveFromPrefix(path);
    char* lastBackslash = FindLastChar(path, '\\');
    if (root == nullptr || lastBackslash == nullptr || lastBackslash < path + KEY_PATH_OFFSET - 1)
        return;
    *lastBackslash = '\0';
    const char* valueName = lastBackslash + 1;
    // "ROOT\name" names a value of the root key itself.
    const char* subkey = lastBackslash == path + KEY_PATH_OFFSET - 1 ? "" : path + KEY_PATH_OFFSET;
    HKEY key;
    LONG result = ERROR_SUCCESS;
    if (subkey[0] != '\0' || valueName[0] != '\0') {
        result = RegOpenKeyA(root, subkey, &key);
        if (result == ERROR_SUCCESS) {
            result = ShouldAct() ? RegDeleteValueA(key, valueName)
                                 : RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, nullptr);
            (void)RegCloseKey(key);
        }
    }
    *lastBackslash = '\\';
    KeepItemNotRemoved(path, DWORD(result));
}

void RemoveRegistryValues(char* list)
{
    StartCounting(LineCount(list));
    for (char* line = list; *line != '\0'; line = NextLine(line)) {
        char* equals = FindChar(line, '=');
        if (equals != nullptr) {
            *equals = '\0';
            RemoveRegistryValue(line);
            *equals = '=';
        }
        NoteItemDone();
    }
    StopCounting();
}

static bool HasSubkeys(HKEY root, const char* path)
{
    HKEY key;
    if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS)
        return false;
    char name[MAX_PATH];
    bool hasSubkeys = RegEnumKeyA(key, 0, name, sizeof name) != ERROR_NO_MORE_ITEMS;
    (void)RegCloseKey(key);
    return hasSubkeys;
}

// A trial's judgement of a key: missing, kept (access refused, as the NT
// family refuses a key with subkeys) when it has subkeys that would not go
// before it, or else it would go.
static LONG JudgeKey(HKEY root, char* line)
{
    HKEY key;
    LONG result = RegOpenKeyA(root, line + KEY_PATH_OFFSET, &key);
    if (result != ERROR_SUCCESS)
        return result;
    DWORD subkeys = 0;
    char name[MAX_PATH];
    while (RegEnumKeyA(key, subkeys, name, sizeof name) == ERROR_SUCCESS)
        ++subkeys;
    (void)RegCloseKey(key);
    if (subkeys > WouldGoInside(line))
        return ERROR_ACCESS_DENIED;
    NoteWouldGo(line);
    return ERROR_SUCCESS;
}

// Asked once per run: looking before every deletion costs a key open and an
// enumeration each, which the NT family does not need.
static bool g_deleteTakesSubkeys;

static void RemoveRegistryKey(char* line)
{
    HKEY root = HiveFromPrefix(line);
    char* path = KeyPath(line);
    // An empty path or one that starts at a backslash would name the root itself.
    if (root == nullptr || path == nullptr || path[0] == '\\')
        return;
    // Keys that others added below one of ours keep it. The NT family's
    // RegDeleteKeyA refuses a key with subkeys by itself; the 95 family's
    // deletes the whole tree, so there the program looks first.
    if (ShouldAct() && g_deleteTakesSubkeys && HasSubkeys(root, path)) {
        NoteOutcome(OUTCOME_KEPT, line, nullptr);
        return;
    }
    LONG result = ShouldAct() ? RegDeleteKeyA(root, path) : JudgeKey(root, line);
    // The NT family refuses a key that still has subkeys as it refuses access.
    if (result == ERROR_ACCESS_DENIED && HasSubkeys(root, path))
        NoteOutcome(OUTCOME_KEPT, line, nullptr);
    else
        KeepItemNotRemoved(line, DWORD(result));
}

void RemoveRegistryKeys(char* list)
{
    g_deleteTakesSubkeys = !RunsOnNtFamily();
    // From the last line to the first: children listed after their parent go
    // first, and the parent they leave empty after them.
    KeepItemsWalkedBackwards();
    ForEachEntryBackwards(list, RemoveRegistryKey);
}
