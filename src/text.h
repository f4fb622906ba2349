// Bounded text helpers. The program links no C runtime, so these stand in for
// the few string functions it needs; every one that writes is told its buffer's size.
#pragma once
#include <windows.h>

unsigned TextLength(const char* text);

// Copies or appends text whole. When it does not fit, the buffer is left
// holding an empty text and the result is false: a cut path names another file.
bool CopyText(char* buffer, unsigned size, const char* text);
bool CopyTextPart(char* buffer, unsigned size, const char* text, unsigned length);
bool AppendText(char* buffer, unsigned size, const char* text);

// ASCII letters compare without regard to case; other bytes compare as they are.
bool SameTextIgnoringCase(const char* a, const char* b);

// Whether the first length characters are the same, in the same way.
bool SamePrefixIgnoringCase(const char* a, const char* b, unsigned length);

// Spaces and tabs.
bool IsBlank(char c);

char* FindChar(char* text, char wanted);
char* FindLastChar(char* text, char wanted);
const char* FindLastChar(const char* text, char wanted);

// The text after the last backslash, or nullptr when there is none.
const char* FileNamePart(const char* path);

// path with its file-name part (after the last backslash) replaced by name.
// False, and an empty buffer, when the path has no backslash or the result does not fit.
bool ReplaceFileNamePart(char* buffer, unsigned size, const char* path, const char* name);

// The text after the first n of a list of terminated texts.
const char* NthText(const char* texts, int n);

// Writes value in decimal without leading zeros; the buffer needs 11 bytes.
void FormatDecimal(char* buffer, unsigned value);

void FillBytes(void* destination, unsigned char value, unsigned count);
void CopyBytes(void* destination, const void* source, unsigned count);
