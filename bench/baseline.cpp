// The benchmark's yardstick: the platform deletions an uninstall makes, done
// straight from a plain list with no installation log to read. One line per
// deletion, fields separated by tabs, in the order the uninstaller works:
//
//   F<TAB>path                  DeleteFileA
//   I<TAB>file<TAB>section<TAB>key   WritePrivateProfileStringA(section, key, NULL, file)
//   V<TAB>HKCU\key<TAB>name     RegOpenKeyA, RegDeleteValueA, RegCloseKey
//   K<TAB>HKCU\key              RegDeleteKeyA
//   D<TAB>path                  RemoveDirectoryA
//
//   baseline <list>
// Prints the time from its start to the end of the deletions, and the time
// spent on each kind of deletion (F_ms, I_ms, V_ms, K_ms, D_ms).
#include <windows.h>
#include <stdio.h>

static HKEY RootOf(char* path, char** rest)
{
    if (path[0] == '\0' || path[1] == '\0' || path[2] == '\0' || path[3] == '\0' || path[4] != '\\')
        return nullptr;
    *rest = path + 5;
    switch (path[3]) {
    case 'U':
        return HKEY_CURRENT_USER;
    case 'M':
        return HKEY_LOCAL_MACHINE;
    case 'R':
        return HKEY_CLASSES_ROOT;
    }
    return nullptr;
}

static void Delete(char** fields, int count)
{
    char* subkey = nullptr;
    switch (fields[0][0]) {
    case 'F':
        DeleteFileA(fields[1]);
        break;
    case 'I':
        if (count == 4)
            WritePrivateProfileStringA(fields[2], fields[3], nullptr, fields[1]);
        break;
    case 'V': {
        HKEY root = RootOf(fields[1], &subkey);
        HKEY key;
        if (count == 3 && root != nullptr && RegOpenKeyA(root, subkey, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, fields[2]);
            RegCloseKey(key);
        }
        break;
    }
    case 'K': {
        HKEY root = RootOf(fields[1], &subkey);
        if (root != nullptr)
            RegDeleteKeyA(root, subkey);
        break;
    }
    case 'D':
        RemoveDirectoryA(fields[1]);
        break;
    }
}

int main(int argc, char** argv)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (argc != 2)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD size = GetFileSize(file, nullptr);
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1));
    DWORD read = 0;
    if (text == nullptr || !ReadFile(file, text, size, &read, nullptr) || read != size)
        return 1;
    CloseHandle(file);
    text[size] = '\0';

    // Time spent on each kind of deletion, by its letter.
    double spent[26] = {};
    LARGE_INTEGER since = start, now;
    char current = 0;
    char* line = text;
    while (*line != '\0') {
        char* fields[4] = {line};
        int count = 1;
        char* c = line;
        for (; *c != '\0' && *c != '\n' && *c != '\r'; ++c)
            if (*c == '\t' && count < 4) {
                *c = '\0';
                fields[count++] = c + 1;
            }
        while (*c == '\r' || *c == '\n')
            *c++ = '\0';
        char kind = fields[0][0];
        if (kind != current && kind >= 'A' && kind <= 'Z') {
            QueryPerformanceCounter(&now);
            if (current != 0)
                spent[current - 'A'] += double(now.QuadPart - since.QuadPart);
            since = now;
            current = kind;
        }
        Delete(fields, count);
        line = c;
    }
    QueryPerformanceCounter(&end);
    if (current != 0)
        spent[current - 'A'] += double(end.QuadPart - since.QuadPart);
    printf("work_ms=%.1f\n", 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    for (int i = 0; i < 26; ++i)
        if (spent[i] > 0)
            printf("%c_ms=%.1f\n", 'A' + i, 1000.0 * spent[i] / double(frequency.QuadPart));
    return 0;
}
