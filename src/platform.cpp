#include "platform.h"
#include "text.h"

bool RunsOnNtFamily()
{
    OSVERSIONINFOA version;
    FillBytes(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && (version.dwPlatformId & VER_PLATFORM_WIN32_NT) != 0;
}
