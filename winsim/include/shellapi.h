/* The simulated subset of SHELL32 (see windows.h in this folder). */
#ifndef WINSIM_SHELLAPI_H
#define WINSIM_SHELLAPI_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SE_ERR_FNF 2
#define SE_ERR_ACCESSDENIED 5

#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_NO_UI 0x00000400

typedef struct _SHELLEXECUTEINFOA {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
} SHELLEXECUTEINFOA;

/* Success is a value above 32; the value is not a handle to wait on. */
HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd);
/* hInstApp as ShellExecuteA's result; hProcess with SEE_MASK_NOCLOSEPROCESS. */
BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo);

#ifdef __cplusplus
}
#endif

#endif /* WINSIM_SHELLAPI_H */
