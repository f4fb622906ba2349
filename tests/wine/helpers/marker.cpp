// A program for install.log's run sections in the Wine tests: appends one line
// "<current directory>|<its arguments>" to the file named by its first argument.
// With "/stay" first among the arguments it then keeps running (a minute at
// most), as an application that is in use during the uninstall.
//   marker.exe FILE [ARGUMENTS...]
#include <windows.h>

#include <cstdio>
#include <string>

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
    if (argc > 2 && std::string(argv[2]) == "/stay") Sleep(60000);
    return 0;
}
