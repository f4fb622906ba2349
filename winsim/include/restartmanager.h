/* The Restart Manager's types (rstrtmgr.dll of Windows Vista and later), for
 * the functions the program finds with GetProcAddress. */
#ifndef WINSIM_RESTARTMANAGER_H
#define WINSIM_RESTARTMANAGER_H

#include <windows.h>

#define CCH_RM_SESSION_KEY 32
#define CCH_RM_MAX_APP_NAME 255
#define CCH_RM_MAX_SVC_NAME 63

typedef struct _RM_UNIQUE_PROCESS {
    DWORD dwProcessId;
    FILETIME ProcessStartTime;
} RM_UNIQUE_PROCESS;

typedef struct _RM_PROCESS_INFO {
    RM_UNIQUE_PROCESS Process;
    WCHAR strAppName[CCH_RM_MAX_APP_NAME + 1];
    WCHAR strServiceShortName[CCH_RM_MAX_SVC_NAME + 1];
    int ApplicationType;
    ULONG AppStatus;
    DWORD TSSessionId;
    BOOL bRestartable;
} RM_PROCESS_INFO;

#endif
