// The program's own entry point: there is no C runtime to call WinMain.
#include "launcher.h"
#include <stddef.h>

extern "C" {

// GCC may emit calls to these for copies and zeroing of structures.
void* memset(void* destination, int value, size_t count)
{
    unsigned char* bytes = static_cast<unsigned char*>(destination);
    while (count-- != 0)
        *bytes++ = static_cast<unsigned char>(value);
    return destination;
}

void* memcpy(void* destination, const void* source, size_t count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count-- != 0)
        *to++ = *from++;
    return destination;
}

// On x86 the loader enters with a 4-byte aligned stack; x64 keeps 16 bytes.
#ifdef __i386__
__attribute__((force_align_arg_pointer))
#endif
void __cdecl WinMainCRTStartup()
{
    int result = WinMain(GetModuleHandleA(nullptr), nullptr, FindArgumentText(GetCommandLineA()), SW_SHOWDEFAULT);
    ExitProcess(UINT(result));
}
}
