// The registry in memory: six separate roots (the real HKCR and HKCU are
// views of HKLM and HKU; the program never relies on that), key names
// compared without regard to case, values of any type kept as their bytes.
#include "state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace winsim {

namespace {

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string bytes;
};

struct Key;
using KeyPtr = std::shared_ptr<Key>;
struct Key {
    std::string name;
    std::vector<KeyPtr> subkeys;  // sorted by upper-case name, as RegEnumKeyA lists them
    std::vector<Value> values;    // in creation order
    Key* parent = nullptr;
    bool deleted = false;
    bool root = false;
    bool administratorsOnly = false;  // SimProtectRegistryKey, for it and all below it
};

struct Root {
    uintptr_t handle;
    const char* name;
};
const Root ROOTS[] = {
    {uintptr_t(HKEY_CLASSES_ROOT), "HKCR"}, {uintptr_t(HKEY_CURRENT_USER), "HKCU"},
    {uintptr_t(HKEY_LOCAL_MACHINE), "HKLM"}, {uintptr_t(HKEY_USERS), "HKU"},
    {uintptr_t(HKEY_CURRENT_CONFIG), "HKCC"}, {uintptr_t(HKEY_DYN_DATA), "HKDD"},
};

std::map<uintptr_t, KeyPtr> g_roots;
std::map<uintptr_t, KeyPtr> g_handles;

KeyPtr KeyOf(HKEY handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    auto root = g_roots.find(value);
    if (root != g_roots.end())
        return root->second;
    auto found = g_handles.find(value);
    return found == g_handles.end() ? nullptr : found->second;
}

bool IsRootHandle(HKEY handle) { return g_roots.count(reinterpret_cast<uintptr_t>(handle)) != 0; }

KeyPtr SubkeyOf(const KeyPtr& key, const std::string& name)
{
    std::string upper = Upper(name);
    for (const KeyPtr& subkey : key->subkeys)
        if (Upper(subkey->name) == upper)
            return subkey;
    return nullptr;
}

KeyPtr AddSubkey(const KeyPtr& key, const std::string& name)
{
    auto subkey = std::make_shared<Key>();
    subkey->name = name;
    subkey->parent = key.get();
    std::string upper = Upper(name);
    auto position = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                                 [&](const KeyPtr& other) { return Upper(other->name) > upper; });
    key->subkeys.insert(position, subkey);
    return subkey;
}

// Splits a subkey path; a leading backslash is refused as on Windows.
bool SplitKeyPath(const char* path, std::vector<std::string>& names, LONG* error)
{
    names.clear();
    if (path == nullptr)
        return true;
    if (*path == '\\') {
        *error = ERROR_BAD_PATHNAME;
        return false;
    }
    std::string name;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!name.empty())
                names.push_back(name);
            name.clear();
            if (*p == '\0')
                break;
        } else {
            name += *p;
        }
    }
    return true;
}

// Walks from key along path; creates missing keys when asked.
KeyPtr Walk(KeyPtr key, const char* path, bool create, LONG* error)
{
    std::vector<std::string> names;
    if (!SplitKeyPath(path, names, error))
        return nullptr;
    for (const std::string& name : names) {
        KeyPtr next = SubkeyOf(key, name);
        if (!next) {
            if (!create) {
                *error = ERROR_FILE_NOT_FOUND;
                return nullptr;
            }
            next = AddSubkey(key, name);
        }
        key = next;
    }
    return key;
}

Value* ValueOf(const KeyPtr& key, const char* name)
{
    std::string upper = Upper(name ? name : "");
    for (Value& value : key->values)
        if (Upper(value.name) == upper)
            return &value;
    return nullptr;
}

void MarkDeleted(Key* key)
{
    key->deleted = true;
    for (const KeyPtr& subkey : key->subkeys)
        MarkDeleted(subkey.get());
}

void Detach(const KeyPtr& key)
{
    Key* parent = key->parent;
    parent->subkeys.erase(std::remove(parent->subkeys.begin(), parent->subkeys.end(), key),
                          parent->subkeys.end());
    key->parent = nullptr;
    MarkDeleted(key.get());
}

// Changes to a protected key, its values or what lies below it need
// Administrators or LocalSystem enabled (the 95 family checks nothing).
bool ChangeRefused(const Key* key)
{
    if (!SimIsNtPlatform() || HasAdministratorRights(EffectiveToken()))
        return false;
    for (; key != nullptr; key = key->parent)
        if (key->administratorsOnly)
            return true;
    return false;
}

HKEY NewKeyHandle(const KeyPtr& key)
{
    uintptr_t value = NewHandleValue();
    g_handles[value] = key;
    return reinterpret_cast<HKEY>(value);
}

std::string KeyText(HKEY handle)
{
    for (const Root& root : ROOTS)
        if (root.handle == reinterpret_cast<uintptr_t>(handle))
            return root.name;
    return HandleText(handle);
}

// RegOpenKeyA on the NT family takes a path below HKEY_CLASSES_ROOT that
// begins with one backslash and drops it (Wine's RegOpenKeyExA); other roots,
// the 95 family and RegDeleteKeyA refuse it.
const char* OpenedPath(HKEY root, const char* path)
{
    if (SimIsNtPlatform() && root == HKEY_CLASSES_ROOT && path != nullptr && *path == '\\')
        return path + 1;
    return path;
}

// Opens an existing key of the machine for the test controls.
KeyPtr FindKey(HKEY root, const std::string& path)
{
    KeyPtr key = KeyOf(root);
    LONG error = 0;
    return key ? Walk(key, path.c_str(), false, &error) : nullptr;
}

KeyPtr MakeKey(HKEY root, const std::string& path)
{
    KeyPtr key = KeyOf(root);
    LONG error = 0;
    return key ? Walk(key, path.c_str(), true, &error) : nullptr;
}

void SetValue(const KeyPtr& key, const std::string& name, DWORD type, const std::string& bytes)
{
    Value* value = ValueOf(key, name.c_str());
    if (!value) {
        key->values.push_back(Value());
        value = &key->values.back();
        value->name = name;
    }
    value->type = type;
    value->bytes = bytes;
}

std::string Escaped(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c == 0) {
            text += "\\0";
        } else if (c < 32 || c > 126) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
            text += buffer;
        } else {
            text += char(c);
        }
    }
    return text;
}

std::string ValueText(const Value& value)
{
    static const char* const TYPES[] = {"REG_NONE",  "REG_SZ",    "REG_EXPAND_SZ", "REG_BINARY",
                                        "REG_DWORD", "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ"};
    std::string type = value.type < 8 ? TYPES[value.type] : "type " + std::to_string(value.type);
    if (value.type == REG_DWORD && value.bytes.size() == 4) {
        DWORD number;
        std::memcpy(&number, value.bytes.data(), 4);
        return type + " " + Hex(number);
    }
    return type + " \"" + Escaped(value.bytes) + "\"";
}

void DumpKey(const Key* key, const std::string& path, std::vector<std::string>& lines)
{
    lines.push_back(path);
    for (const Value& value : key->values)
        lines.push_back(path + "\\[" + value.name + "] = " + ValueText(value));
    for (const KeyPtr& subkey : key->subkeys)
        DumpKey(subkey.get(), path + "\\" + subkey->name, lines);
}

}  // namespace

bool AppendPendingRename(const std::string& source, const std::string* target, bool replace, DWORD* error)
{
    // Wine's layout: "\??\source" NUL, then "\??\target" NUL ("!" first when
    // replacing) or an empty string for a deletion, then the list's final NUL.
    KeyPtr key = MakeKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
    Value* value = ValueOf(key, "PendingFileRenameOperations");
    std::string bytes;
    if (value) {
        if (value->type != REG_MULTI_SZ) {
            *error = ERROR_INVALID_PARAMETER;
            return false;
        }
        bytes = value->bytes;
        if (!bytes.empty())
            bytes.pop_back();
    }
    bytes += "\\??\\" + source + std::string(1, '\0');
    if (target)
        bytes += std::string(replace ? "!" : "") + "\\??\\" + *target + std::string(1, '\0');
    else
        bytes += std::string(1, '\0');
    bytes += std::string(1, '\0');
    SetValue(key, "PendingFileRenameOperations", REG_MULTI_SZ, bytes);
    return true;
}

void ResetRegistry()
{
    g_handles.clear();
    g_roots.clear();
    for (const Root& root : ROOTS) {
        auto key = std::make_shared<Key>();
        key->name = root.name;
        key->root = true;
        g_roots[root.handle] = key;
    }
}

}  // namespace winsim

using namespace winsim;

// The key behind a handle the program passes, or why it cannot be used.
static LONG UsableKey(HKEY hKey, KeyPtr* key)
{
    *key = KeyOf(hKey);
    if (!*key)
        return ERROR_INVALID_HANDLE;
    return (*key)->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

static LONG Finish(Call& call, LONG result)
{
    call.Done(std::to_string(result));
    return result;
}

// RegOpenKeyA and RegCreateKeyA: no subkey gives the same handle back
// (documented, and what Wine does).
static LONG OpenKey(Call& call, HKEY hKey, LPCSTR lpSubKey, bool create, PHKEY phkResult)
{
    call.Raw(KeyText(hKey)).Str(lpSubKey);
    if (!phkResult)
        return Finish(call, ERROR_INVALID_PARAMETER);
    KeyPtr key;
    if (LONG error = UsableKey(hKey, &key))
        return Finish(call, error);
    if (!lpSubKey || !*lpSubKey) {
        *phkResult = hKey;
    } else {
        LONG error = 0;
        KeyPtr found = Walk(key, create ? lpSubKey : OpenedPath(hKey, lpSubKey), create, &error);
        if (!found)
            return Finish(call, error);
        *phkResult = NewKeyHandle(found);
    }
    call.Raw("-> " + KeyText(*phkResult));
    return Finish(call, ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    Call call("RegOpenKeyA");
    return OpenKey(call, hKey, lpSubKey, false, phkResult);
}

extern "C" LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    Call call("RegCreateKeyA");
    return OpenKey(call, hKey, lpSubKey, true, phkResult);
}

extern "C" LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                      DWORD cbData)
{
    Call call("RegSetValueExA");
    call.Raw(KeyText(hKey)).Str(lpValueName).Unsigned(dwType).Unsigned(cbData);
    KeyPtr key;
    if (LONG error = UsableKey(hKey, &key))
        return Finish(call, error);
    if (!lpData && cbData > 0)
        return Finish(call, ERROR_INVALID_PARAMETER);
    if (ChangeRefused(key.get()))
        return Finish(call, ERROR_ACCESS_DENIED);
    SetValue(key, lpValueName ? lpValueName : "", dwType,
             std::string(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0));
    return Finish(call, ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                        LPDWORD lpcbData)
{
    Call call("RegQueryValueExA");
    call.Raw(KeyText(hKey)).Str(lpValueName).Raw(lpcbData ? std::to_string(*lpcbData) : "NULL");
    KeyPtr key;
    if (LONG error = UsableKey(hKey, &key))
        return Finish(call, error);
    if (lpData && !lpcbData)
        return Finish(call, ERROR_INVALID_PARAMETER);
    Value* value = ValueOf(key, lpValueName);
    if (!value)
        return Finish(call, ERROR_FILE_NOT_FOUND);
    if (lpType)
        *lpType = value->type;
    DWORD size = DWORD(value->bytes.size());
    if (!lpData) {
        if (lpcbData)
            *lpcbData = size;
        return Finish(call, ERROR_SUCCESS);
    }
    if (*lpcbData < size) {
        // Nothing is written; the size needed is returned.
        *lpcbData = size;
        return Finish(call, ERROR_MORE_DATA);
    }
    std::memcpy(lpData, value->bytes.data(), size);
    *lpcbData = size;
    return Finish(call, ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    Call call("RegDeleteValueA");
    call.Raw(KeyText(hKey)).Str(lpValueName);
    KeyPtr key;
    if (LONG error = UsableKey(hKey, &key))
        return Finish(call, error);
    if (ChangeRefused(key.get()))
        return Finish(call, ERROR_ACCESS_DENIED);
    Value* found = ValueOf(key, lpValueName);
    if (!found)
        return Finish(call, ERROR_FILE_NOT_FOUND);
    key->values.erase(key->values.begin() + (found - key->values.data()));
    return Finish(call, ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    Call call("RegDeleteKeyA");
    call.Raw(KeyText(hKey)).Str(lpSubKey);
    if (!lpSubKey)
        return Finish(call, ERROR_INVALID_PARAMETER);
    KeyPtr key;
    if (LONG error = UsableKey(hKey, &key))
        return Finish(call, error);
    LONG error = 0;
    KeyPtr target = Walk(key, lpSubKey, false, &error);
    if (!target)
        return Finish(call, error);
    if (target->root || ChangeRefused(target.get()))
        return Finish(call, ERROR_ACCESS_DENIED);
    // The NT family refuses a key that has subkeys (ERROR_ACCESS_DENIED, as
    // Wine); the 95 family deletes it with everything below it.
    if (SimIsNtPlatform() && !target->subkeys.empty())
        return Finish(call, ERROR_ACCESS_DENIED);
    Detach(target);
    return Finish(call, ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName)
{
    Call call("RegEnumKeyA");
    call.Raw(KeyText(hKey)).Unsigned(dwIndex).Raw("buffer").Unsigned(cchName);
    KeyPtr key;
    if (LONG error = UsableKey(hKey, &key))
        return Finish(call, error);
    if (dwIndex >= key->subkeys.size())
        return Finish(call, ERROR_NO_MORE_ITEMS);
    const std::string& name = key->subkeys[dwIndex]->name;
    if (!lpName || cchName < name.size() + 1)
        return Finish(call, ERROR_MORE_DATA);
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    call.Raw("-> " + Quoted(name.c_str()));
    return Finish(call, ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                        LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                        LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                        LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime)
{
    Call call("RegQueryInfoKeyA");
    call.Raw(KeyText(hKey));
    KeyPtr key;
    if (LONG error = UsableKey(hKey, &key))
        return Finish(call, error);
    if (lpClass && lpcchClass && *lpcchClass > 0)
        lpClass[0] = '\0';
    if (lpcchClass)
        *lpcchClass = 0;
    DWORD maxSubkey = 0, maxValueName = 0, maxValue = 0;
    for (const KeyPtr& subkey : key->subkeys)
        maxSubkey = std::max<DWORD>(maxSubkey, DWORD(subkey->name.size()));
    for (const Value& value : key->values) {
        maxValueName = std::max<DWORD>(maxValueName, DWORD(value.name.size()));
        maxValue = std::max<DWORD>(maxValue, DWORD(value.bytes.size()));
    }
    if (lpcSubKeys)
        *lpcSubKeys = DWORD(key->subkeys.size());
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = maxSubkey;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = DWORD(key->values.size());
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = maxValueName;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = maxValue;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime)
        lpftLastWriteTime->dwLowDateTime = lpftLastWriteTime->dwHighDateTime = 0;
    call.Raw("subkeys " + std::to_string(key->subkeys.size()) + ", values " + std::to_string(key->values.size()));
    return Finish(call, ERROR_SUCCESS);
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey)
{
    Call call("RegCloseKey");
    call.Raw(KeyText(hKey));
    if (IsRootHandle(hKey))
        return Finish(call, ERROR_SUCCESS);
    if (g_handles.erase(reinterpret_cast<uintptr_t>(hKey)) == 0)
        return Finish(call, ERROR_INVALID_HANDLE);
    return Finish(call, ERROR_SUCCESS);
}

// ---- Test controls ----

void SimCreateRegistryKey(HKEY root, const std::string& key) { MakeKey(root, key); }

void SimSetRegistryValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
                         const std::string& bytes)
{
    KeyPtr found = MakeKey(root, key);
    if (found)
        SetValue(found, name, type, bytes);
}

void SimSetRegistryString(HKEY root, const std::string& key, const std::string& name, const std::string& text)
{
    SimSetRegistryValue(root, key, name, REG_SZ, text + std::string(1, '\0'));
}

void SimSetRegistryDword(HKEY root, const std::string& key, const std::string& name, DWORD value)
{
    SimSetRegistryValue(root, key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4));
}

bool SimRegistryKeyExists(HKEY root, const std::string& key) { return FindKey(root, key) != nullptr; }

bool SimRegistryValueExists(HKEY root, const std::string& key, const std::string& name)
{
    KeyPtr found = FindKey(root, key);
    return found && ValueOf(found, name.c_str()) != nullptr;
}

std::string SimRegistryValue(HKEY root, const std::string& key, const std::string& name)
{
    KeyPtr found = FindKey(root, key);
    Value* value = found ? ValueOf(found, name.c_str()) : nullptr;
    return value ? value->bytes : std::string();
}

DWORD SimRegistryValueType(HKEY root, const std::string& key, const std::string& name)
{
    KeyPtr found = FindKey(root, key);
    Value* value = found ? ValueOf(found, name.c_str()) : nullptr;
    return value ? value->type : REG_NONE;
}

std::string SimRegistryString(HKEY root, const std::string& key, const std::string& name)
{
    std::string bytes = SimRegistryValue(root, key, name);
    return bytes.substr(0, bytes.find('\0'));
}

std::vector<std::string> SimRegistryMultiString(HKEY root, const std::string& key, const std::string& name)
{
    std::string bytes = SimRegistryValue(root, key, name);
    std::vector<std::string> strings;
    // The list ends with an empty string; empty strings before it belong to the list.
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        if (end == start && end + 1 >= bytes.size())
            break;
        strings.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

std::vector<std::string> SimDumpRegistry()
{
    std::vector<std::string> lines;
    for (const Root& root : ROOTS)
        DumpKey(g_roots[root.handle].get(), root.name, lines);
    std::sort(lines.begin(), lines.end(), [](const std::string& a, const std::string& b) {
        return Upper(a) < Upper(b);
    });
    return lines;
}

void SimProtectRegistryKey(HKEY root, const std::string& key)
{
    if (KeyPtr found = FindKey(root, key))
        found->administratorsOnly = true;
}
