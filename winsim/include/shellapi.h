/* The simulated subset of SHELL32 (see windows.h in this folder). */
#ifndef WINSIM_SHELLAPI_H
#define WINSIM_SHELLAPI_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8

/* Success is a value above 32; the value is not a handle to wait on. */
HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd);

#ifdef __cplusplus
}
#endif

#endif /* WINSIM_SHELLAPI_H */
