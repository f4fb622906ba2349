#include "launcher.h"
#include "text.h"

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD directoryFlags);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR path);

const DWORD SEARCH_SYSTEM32_ONLY = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32

// Libraries the platform loads by name on demand (for a dialog, a message box,
// themes, a shell start). Without a way to keep the program's own folder out of
// the search, they are loaded from the system folder before anything asks for
// them by name: a file of that name in the temporary folder is then never used.
// One text, each name ended by a terminator, the list by an empty name;
// LoadLibraryA adds ".dll" to a name without extension.
static const char ON_DEMAND_LIBRARIES[] = "uxtheme\0dwmapi\0version\0cryptbase\0userenv\0propsys\0apphelp\0"
                                          "oleacc\0clbcatq\0setupapi\0profapi\0sspicli\0ntmarta\0";

AnyFunction LibraryFunction(HMODULE library, const char* name)
{
    return reinterpret_cast<AnyFunction>(GetProcAddress(library, name));
}

AnyFunction KernelFunction(const char* name)
{
    return LibraryFunction(GetModuleHandleA("kernel32"), name);
}

AnyFunction SecurityFunction(const char* name)
{
    return LibraryFunction(GetModuleHandleA("advapi32"), name);
}

HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    if (path[length - 1] != '\\' && !AppendText(path, MAX_PATH, "\\"))
        return nullptr;
    return AppendText(path, MAX_PATH, name) ? LoadLibraryA(path) : nullptr;
}

void RestrictLibrarySearch()
{
    SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(KernelFunction("SetDefaultDllDirectories"));
    SetDllDirectoryFunction setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(KernelFunction("SetDllDirectoryA"));
    if (setDefaultDllDirectories != nullptr)
        (void)setDefaultDllDirectories(SEARCH_SYSTEM32_ONLY);
    // Takes the current directory out of the search where the above is missing.
    if (setDllDirectory != nullptr)
        (void)setDllDirectory("");
    if (setDefaultDllDirectories != nullptr)
        return;
    for (const char* name = ON_DEMAND_LIBRARIES; *name != '\0'; name += TextLength(name) + 1)
        (void)LoadSystemLibrary(name); // a library this Windows lacks is not needed either
}
