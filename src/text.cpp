#include "text.h"

unsigned TextLength(const char* text)
{
    unsigned length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

bool CopyTextPart(char* buffer, unsigned size, const char* text, unsigned length)
{
    if (size == 0)
        return false;
    if (length >= size) {
        buffer[0] = '\0';
        return false;
    }
    for (unsigned i = 0; i < length; ++i)
        buffer[i] = text[i];
    buffer[length] = '\0';
    return true;
}

bool CopyText(char* buffer, unsigned size, const char* text)
{
    return CopyTextPart(buffer, size, text, TextLength(text));
}

bool AppendText(char* buffer, unsigned size, const char* text)
{
    unsigned used = TextLength(buffer);
    if (used >= size)
        return false;
    if (!CopyText(buffer + used, size - used, text)) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

static char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
}

bool SameTextIgnoringCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b))
            return false;
        if (*a == '\0')
            return true;
    }
}

bool SamePrefixIgnoringCase(const char* a, const char* b, unsigned length)
{
    for (unsigned i = 0; i < length; ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]) || a[i] == '\0')
            return false;
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char* FindChar(char* text, char wanted)
{
    for (; *text != '\0'; ++text)
        if (*text == wanted)
            return text;
    return nullptr;
}

const char* FindLastChar(const char* text, char wanted)
{
    const char* found = nullptr;
    for (; *text != '\0'; ++text)
        if (*text == wanted)
            found = text;
    return found;
}

char* FindLastChar(char* text, char wanted)
{
    return const_cast<char*>(FindLastChar(static_cast<const char*>(text), wanted));
}

const char* FileNamePart(const char* path)
{
    const char* backslash = FindLastChar(path, '\\');
    return backslash ? backslash + 1 : nullptr;
}

bool ReplaceFileNamePart(char* buffer, unsigned size, const char* path, const char* name)
{
    const char* fileName = FileNamePart(path);
    if (fileName == nullptr) {
        if (size > 0)
            buffer[0] = '\0';
        return false;
    }
    return CopyTextPart(buffer, size, path, unsigned(fileName - path)) && AppendText(buffer, size, name);
}

const char* NthText(const char* texts, int n)
{
    while (n-- > 0)
        texts += TextLength(texts) + 1;
    return texts;
}

void FormatDecimal(char* buffer, unsigned value)
{
    char digits[10];
    unsigned count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (unsigned i = 0; i < count; ++i)
        buffer[i] = digits[count - 1 - i];
    buffer[count] = '\0';
}

void FillBytes(void* destination, unsigned char value, unsigned count)
{
    unsigned char* bytes = static_cast<unsigned char*>(destination);
    for (unsigned i = 0; i < count; ++i)
        bytes[i] = value;
}

void CopyBytes(void* destination, const void* source, unsigned count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    for (unsigned i = 0; i < count; ++i)
        to[i] = from[i];
}
