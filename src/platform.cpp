#include "platform.h"
#include "text.h"

static bool GetVersionInfo(OSVERSIONINFOA* version)
{
    FillBytes(version, 0, sizeof *version);
    version->dwOSVersionInfoSize = sizeof *version;
    return GetVersionExA(version) != FALSE;
}

bool RunsOnNtFamily()
{
    OSVERSIONINFOA version;
    return GetVersionInfo(&version) && (version.dwPlatformId & VER_PLATFORM_WIN32_NT) != 0;
}

bool RunsOnNt6OrLater()
{
    OSVERSIONINFOA version;
    return GetVersionInfo(&version) && (version.dwPlatformId & VER_PLATFORM_WIN32_NT) != 0 &&
           version.dwMajorVersion >= 6;
}
