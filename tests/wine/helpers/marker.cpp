// A program for install.log's run sections in the Wine tests: appends one line
// "<current directory>|<its arguments>" to the file named by its first argument.
//   marker.exe FILE [ARGUMENTS...]
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    FILE* file = std::fopen(argv[1], "ab");
    if (!file) return 1;
    std::fprintf(file, "%s|", directory);
    for (int i = 2; i < argc; ++i) std::fprintf(file, i > 2 ? " %s" : "%s", argv[i]);
    std::fprintf(file, "\r\n");
    std::fclose(file);
    return 0;
}
