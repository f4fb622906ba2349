// The profile (INI) functions over files of the in-memory file system, with
// Wine 8's behaviour: the file (ANSI, or UTF-8 or UTF-16 after a byte order
// mark) is parsed as Wine parses it (blanks trimmed at both ends of a line
// and around "=", empty lines dropped, ";" lines kept as comments and never
// returned) and, when changed, written back whole from that parsed form
// ("[Section]\r\nkey=value\r\n") in its encoding, as Wine does. Windows
// instead edits the text in place and keeps the other lines as they were.
//
// The file is read again on every call, so direct edits by a test are seen
// (Wine also reloads a file changed in the last two seconds).
#include "state.h"

#include <algorithm>
#include <cstring>

namespace winsim {

namespace {

struct ProfileKey {
    std::string name;
    bool hasValue = false;
    std::string value;
};

struct ProfileSection {
    std::string name;  // "" for the lines before the first section
    std::vector<ProfileKey> keys;
};

using Profile = std::vector<ProfileSection>;

bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0d) || c == 0x1a || c == ' '; }

// Section and key names compare without regard to the case of the letters A
// to Z only: Wine's profile functions fold no other letter (file and registry
// names fold them all).
bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = (a[i] >= 'a' && a[i] <= 'z') ? char(a[i] - 0x20) : a[i];
        char y = (b[i] >= 'a' && b[i] <= 'z') ? char(b[i] - 0x20) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

std::string TrimLeft(const std::string& text)
{
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    return text.substr(start);
}

std::string Trim(const std::string& text)
{
    std::string result = TrimLeft(text);
    while (!result.empty() && IsBlank(result.back()))
        result.pop_back();
    return result;
}

Profile Parse(const std::string& text)
{
    Profile profile(1);
    size_t position = 0;
    ProfileKey* previous = nullptr;
    while (position < text.size()) {
        size_t start = position;
        while (position < text.size() && text[position] != '\n' && text[position] != '\r')
            ++position;
        while (position < text.size() && (text[position] == '\n' || text[position] == '\r'))
            ++position;
        std::string line = Trim(text.substr(start, position - start));
        if (line.empty())
            continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                profile.push_back(ProfileSection());
                profile.back().name = line.substr(1, close - 1);
                previous = nullptr;
                continue;
            }
            // A header without "]" is read as a key line.
        }
        ProfileKey key;
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            key.name = line;
        } else {
            key.name = Trim(line.substr(0, equals));
            key.hasValue = true;
            key.value = TrimLeft(line.substr(equals + 1));
        }
        if (!key.name.empty() || previous == nullptr || !previous->name.empty()) {
            profile.back().keys.push_back(key);
            previous = &profile.back().keys.back();
        }
    }
    return profile;
}

std::string Serialize(const Profile& profile)
{
    std::string text;
    for (const ProfileSection& section : profile) {
        if (!section.name.empty())
            text += "[" + section.name + "]\r\n";
        for (const ProfileKey& key : section.keys) {
            text += key.name;
            if (key.hasValue)
                text += "=" + key.value;
            text += "\r\n";
        }
    }
    return text;
}

// A file name without a folder is looked for in the Windows directory.
std::string ProfilePath(const char* file)
{
    std::string name = file ? file : "win.ini";
    bool rooted = (name.size() >= 2 && name[1] == ':') || (!name.empty() && (name[0] == '\\' || name[0] == '/'));
    if (!rooted && name.find_first_of("\\/") == std::string::npos)
        return WindowsDirectory() + "\\" + name;
    ParsedPath parsed = ParsePath(name.c_str());
    return parsed.valid ? parsed.Full() : name;
}

// A file that starts with a byte order mark is read as UTF-8 or UTF-16 and
// written back so, mark included, as Wine's profile functions do; its text is
// handed to the ANSI functions in the machine's code page, 1252 (a character
// it lacks becomes "?"). Without a mark the bytes are ANSI.
enum class Encoding { Ansi, Utf8, Utf16Le, Utf16Be };

// Characters 0x80 to 0x9F of code page 1252 (0: none).
const unsigned CP1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char AnsiOf(unsigned code)
{
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
        return char(code);
    for (unsigned i = 0; i < 32; ++i)
        if (CP1252_HIGH[i] != 0 && CP1252_HIGH[i] == code)
            return char(0x80 + i);
    return '?';
}

unsigned CodeOf(unsigned char c) { return c >= 0x80 && c < 0xA0 && CP1252_HIGH[c - 0x80] ? CP1252_HIGH[c - 0x80] : c; }

std::string Decode(const std::string& data, Encoding* encoding)
{
    std::string text;
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        *encoding = Encoding::Utf8;
        for (size_t i = 3; i < data.size();) {
            unsigned char c = static_cast<unsigned char>(data[i]);
            size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
            unsigned code = length == 1 ? c : c & (0x7F >> length);
            for (size_t k = 1; k < length && i + k < data.size(); ++k)
                code = (code << 6) | (static_cast<unsigned char>(data[i + k]) & 0x3F);
            text += length == 1 && c >= 0x80 ? '?' : AnsiOf(code);
            i += length;
        }
    } else if (data.size() >= 2 && (data.compare(0, 2, "\xFF\xFE") == 0 || data.compare(0, 2, "\xFE\xFF") == 0)) {
        bool little = data[0] == '\xFF';
        *encoding = little ? Encoding::Utf16Le : Encoding::Utf16Be;
        for (size_t i = 2; i + 1 < data.size(); i += 2) {
            unsigned low = static_cast<unsigned char>(data[i + (little ? 0 : 1)]);
            unsigned high = static_cast<unsigned char>(data[i + (little ? 1 : 0)]);
            text += AnsiOf(low | (high << 8));
        }
    } else {
        *encoding = Encoding::Ansi;
        text = data;
    }
    return text;
}

std::string Encode(const std::string& text, Encoding encoding)
{
    if (encoding == Encoding::Ansi)
        return text;
    std::string data = encoding == Encoding::Utf8 ? "\xEF\xBB\xBF" : encoding == Encoding::Utf16Le ? "\xFF\xFE" : "\xFE\xFF";
    for (unsigned char c : text) {
        unsigned code = CodeOf(c);
        if (encoding == Encoding::Utf16Le) {
            data += char(code & 0xFF);
            data += char(code >> 8);
        } else if (encoding == Encoding::Utf16Be) {
            data += char(code >> 8);
            data += char(code & 0xFF);
        } else if (code < 0x80) {
            data += char(code);
        } else if (code < 0x800) {
            data += char(0xC0 | (code >> 6));
            data += char(0x80 | (code & 0x3F));
        } else {
            data += char(0xE0 | (code >> 12));
            data += char(0x80 | ((code >> 6) & 0x3F));
            data += char(0x80 | (code & 0x3F));
        }
    }
    return data;
}

// Reads the file as Wine's profile code opens it. A missing file is an empty
// profile; any other failure (missing folder, sharing, a directory) is not.
bool Load(const std::string& path, bool forWriting, Profile& profile, DWORD* error,
          Encoding* encoding = nullptr)
{
    Encoding found = Encoding::Ansi;
    if (encoding)
        *encoding = found;
    DWORD access = GENERIC_READ | (forWriting ? GENERIC_WRITE : 0);
    NodePtr node = OpenForAccess(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 error);
    if (!node) {
        profile = Profile(1);
        return *error == ERROR_FILE_NOT_FOUND;
    }
    profile = Parse(Decode(node->data, &found));
    if (encoding)
        *encoding = found;
    return true;
}

bool Save(const std::string& path, const Profile& profile, Encoding encoding, DWORD* error)
{
    return WriteWholeFile(path.c_str(), Encode(Serialize(profile), encoding), FILE_ATTRIBUTE_NORMAL, error);
}

// Wine's lookup for reading and writing single keys: the names are compared
// without their surrounding blanks.
ProfileKey* FindKey(Profile& profile, const char* sectionName, const char* keyName, bool create)
{
    std::string section = Trim(sectionName);
    std::string key = Trim(keyName);
    for (ProfileSection& candidate : profile) {
        if (!SameName(candidate.name, section))
            continue;
        for (ProfileKey& entry : candidate.keys)
            if (SameName(entry.name, key))
                return &entry;
        if (!create)
            return nullptr;
        candidate.keys.push_back(ProfileKey());
        candidate.keys.back().name = TrimLeft(keyName);
        return &candidate.keys.back();
    }
    if (!create)
        return nullptr;
    profile.push_back(ProfileSection());
    profile.back().name = TrimLeft(sectionName);
    profile.back().keys.push_back(ProfileKey());
    profile.back().keys.back().name = TrimLeft(keyName);
    return &profile.back().keys.back();
}

ProfileSection* FindSection(Profile& profile, const char* name)
{
    for (ProfileSection& section : profile)
        if (SameName(section.name, name))
            return &section;
    return nullptr;
}

// lstrcpynA: at most size - 1 characters and a terminator.
void CopyLimited(char* buffer, const std::string& text, DWORD size)
{
    if (size == 0)
        return;
    size_t count = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

// Wine's copy of a value: matching quotes are removed; when the buffer is at
// least as long as the text after the opening quote, the last character kept
// is dropped (the closing quote when the whole value fits, one character of
// the value when it fits exactly: Wine's answer then is one short).
void CopyEntry(char* buffer, const std::string& value, DWORD size)
{
    std::string text = value;
    bool quoted = false;
    if (text.size() >= 2 && (text[0] == '\'' || text[0] == '"') && text.back() == text[0]) {
        quoted = true;
        text = text.substr(1);
    }
    CopyLimited(buffer, text, size);
    if (quoted && size >= text.size()) {
        size_t length = std::strlen(buffer);
        if (length > 0)
            buffer[length - 1] = '\0';
    }
}

// The key names of a section (keys without "=" left out), as Wine lists them:
// cut to the buffer with the list still double-NUL terminated, size - 2 returned.
DWORD CopyKeyNames(const ProfileSection& section, char* buffer, DWORD size)
{
    DWORD left = size;
    char* out = buffer;
    for (const ProfileKey& key : section.keys) {
        if (left <= 2)
            break;
        if (key.name.empty() && !key.hasValue)
            continue;
        if (!key.name.empty() && key.name[0] == ';')
            continue;
        if (!key.hasValue)
            continue;
        CopyLimited(out, key.name, left - 1);
        size_t length = std::strlen(out);
        left -= DWORD(length + 1);
        out += length + 1;
        if (left < 2)
            break;
    }
    *out = '\0';
    if (left <= 1) {
        out[-1] = '\0';
        return size - 2;
    }
    return size - left;
}

DWORD CopySectionNames(const Profile& profile, char* buffer, DWORD size)
{
    if (size <= 1) {
        if (size == 1)
            buffer[0] = '\0';
        return 0;
    }
    DWORD left = size - 1;
    char* out = buffer;
    for (const ProfileSection& section : profile) {
        if (section.name.empty())
            continue;
        DWORD length = DWORD(section.name.size() + 1);
        if (length >= left) {
            if (left > 0) {
                std::memcpy(out, section.name.data(), left - 1);
                out += left - 1;
                *out++ = '\0';
            }
            *out = '\0';
            return size - 2;
        }
        std::memcpy(out, section.name.c_str(), length);
        out += length;
        left -= length;
    }
    *out = '\0';
    return DWORD(out - buffer);
}

std::string Shown(const char* buffer, DWORD length)
{
    std::string text;
    for (DWORD i = 0; i < length; ++i)
        text += buffer[i] ? std::string(1, buffer[i]) : std::string("\\0");
    return "\"" + text + "\"";
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize,
                                                  LPCSTR lpFileName)
{
    Call call("GetPrivateProfileSectionA");
    call.Str(lpAppName).Raw("buffer").Unsigned(nSize).Str(lpFileName);
    if (!lpAppName || !lpReturnedString) {
        call.Done("0", ERROR_INVALID_PARAMETER);
        return 0;
    }
    Profile profile;
    DWORD error = 0;
    std::string content;
    if (Load(ProfilePath(lpFileName), false, profile, &error)) {
        if (ProfileSection* section = FindSection(profile, lpAppName)) {
            for (const ProfileKey& key : section->keys) {
                if (key.name.empty() && !key.hasValue)
                    continue;
                if (!key.name.empty() && key.name[0] == ';')
                    continue;  // comments are kept in the file but never returned
                content += key.name;
                if (key.hasValue)
                    content += "=" + key.value;
                content += '\0';
            }
        }
    }
    DWORD result;
    if (content.empty()) {
        for (DWORD i = 0; i < 2 && i < nSize; ++i)
            lpReturnedString[i] = '\0';
        result = 0;
    } else {
        content += '\0';
        if (content.size() < nSize) {
            std::memcpy(lpReturnedString, content.data(), content.size());
            result = DWORD(content.size() - 1);
        } else {
            // Cut, still ended by two NULs. Like Wine, a list that fits
            // exactly (final NUL in the last byte) is reported this way too.
            std::memcpy(lpReturnedString, content.data(), nSize);
            if (nSize >= 2) {
                lpReturnedString[nSize - 2] = '\0';
                lpReturnedString[nSize - 1] = '\0';
                result = nSize - 2;
            } else {
                if (nSize == 1)
                    lpReturnedString[0] = '\0';
                result = 0;
            }
        }
    }
    call.Done(std::to_string(result));
    return result;
}

extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                                 LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName)
{
    Call call("GetPrivateProfileStringA");
    call.Str(lpAppName).Str(lpKeyName).Str(lpDefault).Raw("buffer").Unsigned(nSize).Str(lpFileName);
    if (!lpReturnedString || nSize == 0) {
        call.Done("0");
        return 0;
    }
    std::string defaultText = lpDefault ? lpDefault : "";
    Profile profile;
    DWORD error = 0;
    bool loaded = Load(ProfilePath(lpFileName), false, profile, &error);
    // Worked out in a scratch buffer of the caller's size; like Wine's ANSI
    // entry, only the result and one terminator reach the caller's buffer.
    std::vector<char> scratch(nSize, '\0');
    char* work = scratch.data();
    DWORD result;
    if (!lpAppName) {
        result = CopySectionNames(profile, work, nSize);
    } else if (!lpKeyName) {
        ProfileSection* section = FindSection(profile, lpAppName);
        result = section ? CopyKeyNames(*section, work, nSize) : 0;
        if (!work[0]) {
            CopyEntry(work, defaultText, nSize);
            result = DWORD(std::strlen(work));
        }
    } else {
        // Trailing blanks of the default are dropped.
        while (!defaultText.empty() && defaultText.back() == ' ')
            defaultText.pop_back();
        if (loaded) {
            ProfileKey* key = FindKey(profile, lpAppName, lpKeyName, false);
            CopyEntry(work, key && key->hasValue ? key->value : defaultText, nSize);
        } else {
            CopyLimited(work, defaultText, nSize);
        }
        result = DWORD(std::strlen(work));
    }
    if (result > nSize - 1)
        result = nSize - 1;
    std::memcpy(lpReturnedString, work, result);
    lpReturnedString[result] = '\0';
    call.Done(std::to_string(result) + " " + Shown(lpReturnedString, result));
    return result;
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                                  LPCSTR lpFileName)
{
    Call call("WritePrivateProfileStringA");
    call.Str(lpAppName).Str(lpKeyName).Str(lpString).Str(lpFileName);
    // All NULL flushes the cache; documented to return FALSE.
    if (!lpAppName && !lpKeyName && !lpString) {
        call.Done("0");
        return FALSE;
    }
    std::string path = ProfilePath(lpFileName);
    Profile profile;
    DWORD error = 0;
    Encoding encoding = Encoding::Ansi;
    if (!Load(path, true, profile, &error, &encoding))
        return call.Fail(error);
    if (!lpAppName)
        return call.Fail(ERROR_FILE_NOT_FOUND);
    bool changed = false;
    if (!lpKeyName) {
        // The whole section goes (the first one of that name).
        for (size_t i = 0; i < profile.size(); ++i) {
            if (SameName(profile[i].name, lpAppName)) {
                profile.erase(profile.begin() + long(i));
                changed = true;
                break;
            }
        }
    } else if (!lpString) {
        for (ProfileSection& section : profile) {
            if (!SameName(section.name, lpAppName))
                continue;
            for (size_t i = 0; i < section.keys.size() && !changed; ++i) {
                if (SameName(section.keys[i].name, lpKeyName)) {
                    section.keys.erase(section.keys.begin() + long(i));
                    changed = true;
                }
            }
            if (changed)
                break;
        }
    } else {
        ProfileKey* key = FindKey(profile, lpAppName, lpKeyName, true);
        std::string value = TrimLeft(lpString);
        if (!key->hasValue || key->value != value) {
            key->hasValue = true;
            key->value = value;
            changed = true;
        }
    }
    if (changed && !Save(path, profile, encoding, &error))
        return call.Fail(error);
    return call.Succeed();
}
