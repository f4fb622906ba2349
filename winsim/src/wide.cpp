// Wide text: WideCharToMultiByte for the ANSI code page (1252), the wide
// temporary folder functions that GetProcAddress hands out, and a temporary
// folder whose name lies outside the code page.
#include "state.h"

#include <algorithm>
#include <cstring>

namespace winsim {

namespace {

// The temporary folder set by SimSetUnicodeTempFolder, without a trailing
// backslash: its wide long name, the short form that exists in the tree,
// and the long name spelt in ANSI.
std::u16string g_wideTemp;
std::string g_shortTemp;
std::string g_ansiTemp;

// Code page 1252 from 0x80 to 0x9F; the five unassigned bytes stand for
// the control characters of the same value, as in Windows' table.
const char16_t CP1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Best fit of Latin Extended-A (U+0100 to U+017F), as Windows' and Wine's
// table for 1252 has it; '?' where there is none. Of the rest of that table
// only the fullwidth forms of ASCII are simulated.
const char LATIN_EXTENDED_A[] =
    "AaAaAaCcCcCcCcDd\xD0" "dEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "Ii??JjKk?LlLlLl?"
    "?LlNnNnNn???OoOo"
    "Oo\x8C\x9CRrRrRrSsSsSs"
    "\x8A\x9ATtTtTtUuUuUuUu"
    "UuUuWwYy\x9FZzZz\x8E\x9E?";

// The byte for one UTF-16 unit, 0 when there is none.
unsigned char AnsiByte(char16_t c, bool bestFit)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (int i = 0; i < 32; ++i)
        if (CP1252_HIGH[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    if (!bestFit)
        return 0;
    if (c >= 0x100 && c < 0x180 && LATIN_EXTENDED_A[c - 0x100] != '?')
        return static_cast<unsigned char>(LATIN_EXTENDED_A[c - 0x100]);
    if (c >= 0xFF01 && c <= 0xFF5E)
        return static_cast<unsigned char>(c - 0xFEE0);  // fullwidth '!' to '~'
    return 0;
}

char16_t UpperWide(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x430 && c <= 0x44F))
        return char16_t(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return char16_t(c - 0x50);
    return c;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Whether path is the folder or lies below it, without regard to case.
bool InFolder(const std::u16string& path, const std::u16string& folder)
{
    if (folder.empty() || path.size() < folder.size())
        return false;
    for (size_t i = 0; i < folder.size(); ++i)
        if (UpperWide(path[i]) != UpperWide(folder[i]) && !(IsSeparator(path[i]) && IsSeparator(folder[i])))
            return false;
    return path.size() == folder.size() || IsSeparator(path[folder.size()]);
}

// The ANSI path a wide one names: below the unicode temporary folder its
// short form; otherwise the same text when every character has its exact
// byte. False when the path names nothing in the simulated (ANSI) tree.
bool AnsiPathOf(const std::u16string& wide, std::string* ansi)
{
    std::u16string rest = wide;
    std::string start;
    if (InFolder(wide, g_wideTemp)) {
        rest = wide.substr(g_wideTemp.size());
        start = g_shortTemp;
    }
    bool usedDefault = false;
    *ansi = start + ToAnsi(rest, false, '?', &usedDefault);
    return !usedDefault;
}

// GetTempPathA's size conventions: the length when the text and its
// terminator fit, else the size needed (terminator included), nothing written.
DWORD CopyOutWide(const std::u16string& text, WCHAR* buffer, DWORD size)
{
    DWORD length = DWORD(text.size());
    if (buffer == nullptr || size <= length)
        return length + 1;
    for (DWORD i = 0; i < length; ++i)
        buffer[i] = WCHAR(text[i]);
    buffer[length] = 0;
    return length;
}

std::u16string StripSeparators(std::u16string text)
{
    while (text.size() > 3 && IsSeparator(text.back()))
        text.pop_back();
    return text;
}

std::string StripSeparators(std::string text)
{
    while (text.size() > 3 && (text.back() == '\\' || text.back() == '/'))
        text.pop_back();
    return text;
}

}  // namespace

std::u16string WideText(const WCHAR* text)
{
    std::u16string result;
    for (; text && *text; ++text)
        result += char16_t(*text);
    return result;
}

std::string Utf8(const std::u16string& text)
{
    std::string result;
    for (char16_t c : text) {
        if (c < 0x80) {
            result += char(c);
        } else if (c < 0x800) {
            result += char(0xC0 | (c >> 6));
            result += char(0x80 | (c & 0x3F));
        } else {
            result += char(0xE0 | (c >> 12));
            result += char(0x80 | ((c >> 6) & 0x3F));
            result += char(0x80 | (c & 0x3F));
        }
    }
    return result;
}

std::u16string FromAnsi(const std::string& text)
{
    std::u16string result;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        result += byte >= 0x80 && byte < 0xA0 ? CP1252_HIGH[byte - 0x80] : char16_t(byte);
    }
    return result;
}

std::string ToAnsi(const std::u16string& text, bool bestFit, char defaultChar, bool* usedDefault)
{
    std::string result;
    if (usedDefault)
        *usedDefault = false;
    for (char16_t c : text) {
        unsigned char byte = AnsiByte(c, bestFit);
        if (byte == 0 && c != 0) {
            result += defaultChar;
            if (usedDefault)
                *usedDefault = true;
        } else {
            result += char(byte);
        }
    }
    return result;
}

std::string UnicodeTempAnsiSpelling() { return g_ansiTemp; }
std::string UnicodeTempShortPath() { return g_shortTemp; }

void ClearUnicodeTempFolder()
{
    g_wideTemp.clear();
    g_shortTemp.clear();
    g_ansiTemp.clear();
}

// The 95 family's KERNEL32 has these two as stubs that fail.
DWORD WINAPI SimulatedGetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer)
{
    Call call("GetTempPathW");
    call.Unsigned(nBufferLength).Raw("buffer");
    if (!SimIsNtPlatform()) {
        call.Done("0", ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    std::u16string path = g_wideTemp.empty() ? FromAnsi(TempPath()) : g_wideTemp + u"\\";
    DWORD result = CopyOutWide(path, lpBuffer, nBufferLength);
    call.Done(std::to_string(result) + (result < nBufferLength ? " L\"" + Utf8(path) + "\"" : ""));
    return result;
}

DWORD WINAPI SimulatedGetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer)
{
    Call call("GetShortPathNameW");
    call.Wide(lpszLongPath).Raw("buffer").Unsigned(cchBuffer);
    if (!SimIsNtPlatform()) {
        call.Done("0", ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    if (!lpszLongPath) {
        call.Done("0", ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string ansi;
    std::string shortPath;
    if (AnsiPathOf(WideText(lpszLongPath), &ansi))
        shortPath = SimShortPath(ansi);
    if (shortPath.empty()) {
        call.Done("0", Locate(ansi.c_str()).error == ERROR_INVALID_NAME ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND);
        return 0;
    }
    std::u16string wide = FromAnsi(shortPath);
    DWORD result = CopyOutWide(wide, lpszShortPath, cchBuffer);
    call.Done(std::to_string(result) + (result < cchBuffer ? " L\"" + Utf8(wide) + "\"" : ""));
    return result;
}

}  // namespace winsim

using namespace winsim;

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar)
{
    Call call("WideCharToMultiByte");
    std::u16string text;
    if (lpWideCharStr) {
        if (cchWideChar < 0)
            text = WideText(lpWideCharStr) + u'\0';
        for (int i = 0; i < cchWideChar; ++i)
            text += char16_t(lpWideCharStr[i]);
    }
    call.Unsigned(CodePage).Raw(Hex(dwFlags))
        .Raw(lpWideCharStr ? "L\"" + Utf8(text.substr(0, text.find(u'\0'))) + "\"" : "NULL").Num(cchWideChar)
        .Raw(lpMultiByteStr ? "buffer" : "NULL").Num(cbMultiByte).Str(lpDefaultChar)
        .Raw(lpUsedDefaultChar ? "used" : "NULL");
    const DWORD KNOWN_FLAGS = 0x20 | 0x80 | WC_DEFAULTCHAR | WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS;
    if (CodePage != CP_ACP || !lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) ||
        static_cast<const void*>(lpWideCharStr) == static_cast<const void*>(lpMultiByteStr)) {
        call.Done("0", ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwFlags & ~KNOWN_FLAGS) {
        call.Done("0", ERROR_INVALID_FLAGS);
        return 0;
    }
    bool usedDefault = false;
    std::string bytes = ToAnsi(text, !(dwFlags & WC_NO_BEST_FIT_CHARS), lpDefaultChar ? lpDefaultChar[0] : '?',
                               &usedDefault);
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    int length = int(bytes.size());
    if (cbMultiByte == 0) {
        call.Done(std::to_string(length));
        return length;
    }
    // Too small a buffer is filled as far as it goes, as Wine does.
    std::memcpy(lpMultiByteStr, bytes.data(), size_t(std::min(length, cbMultiByte)));
    if (cbMultiByte < length) {
        call.Done("0", ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    call.Done(std::to_string(length) + " " + Quoted(bytes.substr(0, bytes.find('\0')).c_str()) +
              (usedDefault ? " used default" : ""));
    return length;
}

// Through code page 1252, the terminator included when the length is -1.
extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar)
{
    Call call("MultiByteToWideChar");
    call.Unsigned(CodePage).Raw(Hex(dwFlags)).Str(lpMultiByteStr).Num(cbMultiByte).Num(cchWideChar);
    if (CodePage != CP_ACP || !lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0) {
        call.Done("0", ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string bytes = cbMultiByte < 0 ? std::string(lpMultiByteStr, std::strlen(lpMultiByteStr) + 1)
                                        : std::string(lpMultiByteStr, size_t(cbMultiByte));
    std::u16string text = FromAnsi(bytes);
    int length = int(text.size());
    if (cchWideChar != 0 && cchWideChar < length) {
        call.Done("0", ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (cchWideChar != 0)
        std::copy(text.begin(), text.end(), lpWideCharStr);
    call.Done(std::to_string(length));
    return length;
}

// ---- Test controls ----

void SimSetUnicodeTempFolder(const std::u16string& widePath, const std::string& shortAnsiPath)
{
    std::u16string wide = StripSeparators(widePath);
    std::string shortPath = StripSeparators(shortAnsiPath);
    std::string spelling = ToAnsi(wide, true);
    SimMakeDirectory(shortPath);
    SimSetTempPath(spelling);  // forgets an earlier folder
    g_wideTemp = wide;
    g_shortTemp = shortPath;
    g_ansiTemp = spelling;
}
