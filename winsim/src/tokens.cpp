// Who the process runs as: its token, the thread's while it impersonates, the
// token handles ADVAPI32's security functions hand out, and the start-up
// information a started process was given.
#include "state.h"

#include <cstring>

namespace winsim {

namespace {

SimToken g_processToken;
bool g_impersonating = false;
SimToken g_threadToken;
std::map<uintptr_t, SimToken> g_tokens;
STARTUPINFOA g_startup;

// S-1-5-32-544 and S-1-5-18 as the SID structure lays them out.
const unsigned char ADMINISTRATORS[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const unsigned char LOCAL_SYSTEM[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

// A SID is as long as its count of sub-authorities says (the second byte).
bool IsSid(const void* sid, const unsigned char* known, size_t size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(sid);
    return bytes != nullptr && std::memcmp(bytes, known, 2) == 0 && std::memcmp(bytes, known, size) == 0;
}

std::string SidText(const void* sid)
{
    return IsSid(sid, ADMINISTRATORS, sizeof ADMINISTRATORS) ? "Administrators"
           : IsSid(sid, LOCAL_SYSTEM, sizeof LOCAL_SYSTEM)   ? "SYSTEM"
                                                               : "another SID";
}

bool AdministratorsEnabled(const SimToken& token)
{
    return token.account != SIM_STANDARD_USER && !token.administratorsDenyOnly;
}

bool SystemEnabled(const SimToken& token)
{
    return token.account == SIM_LOCAL_SYSTEM && !token.systemDenyOnly;
}

}  // namespace

const SimToken& ProcessToken() { return g_processToken; }
const SimToken& EffectiveToken() { return g_impersonating ? g_threadToken : g_processToken; }

bool HasAdministratorRights(const SimToken& token) { return AdministratorsEnabled(token) || SystemEnabled(token); }

HANDLE NewTokenHandle(const SimToken& token)
{
    uintptr_t value = NewHandleValue();
    g_tokens[value] = token;
    return reinterpret_cast<HANDLE>(value);
}

bool TokenOfHandle(HANDLE handle, SimToken* token)
{
    auto found = g_tokens.find(reinterpret_cast<uintptr_t>(handle));
    if (found == g_tokens.end())
        return false;
    *token = found->second;
    return true;
}

bool CloseTokenHandle(HANDLE handle) { return g_tokens.erase(reinterpret_cast<uintptr_t>(handle)) != 0; }

void ResetTokens()
{
    g_processToken = SimToken();
    g_impersonating = false;
    g_threadToken = SimToken();
    g_tokens.clear();
    std::memset(&g_startup, 0, sizeof g_startup);
    g_startup.cb = sizeof g_startup;
}

BOOL WINAPI SimulatedCheckTokenMembership(HANDLE token, PSID sid, BOOL* isMember)
{
    Call call("CheckTokenMembership");
    call.Ptr(token).Raw(SidText(sid));
    SimToken checked = EffectiveToken();
    if (token != nullptr && !TokenOfHandle(token, &checked))
        return call.Fail(ERROR_INVALID_HANDLE);
    if (!isMember)
        return call.Fail(ERROR_INVALID_PARAMETER);
    *isMember = (IsSid(sid, ADMINISTRATORS, sizeof ADMINISTRATORS) && AdministratorsEnabled(checked)) ||
                (IsSid(sid, LOCAL_SYSTEM, sizeof LOCAL_SYSTEM) && SystemEnabled(checked));
    call.Raw(*isMember ? "-> member" : "-> no member");
    return call.Succeed();
}

BOOL WINAPI SimulatedCreateRestrictedToken(HANDLE existing, DWORD flags, DWORD disableCount,
                                           SID_AND_ATTRIBUTES* disable, DWORD deleteCount, LUID_AND_ATTRIBUTES*,
                                           DWORD restrictCount, SID_AND_ATTRIBUTES*, HANDLE* restricted)
{
    Call call("CreateRestrictedToken");
    call.Ptr(existing).Raw(Hex(flags));
    std::string disabled;
    for (DWORD i = 0; disable && i < disableCount; ++i)
        disabled += (i ? " " : "") + SidText(disable[i].Sid);
    call.Raw("{" + disabled + "}").Unsigned(deleteCount).Unsigned(restrictCount);
    SimToken token;
    if (!TokenOfHandle(existing, &token))
        return call.Fail(ERROR_INVALID_HANDLE);
    // A SID the token does not hold is passed over.
    for (DWORD i = 0; disable && i < disableCount; ++i) {
        if (IsSid(disable[i].Sid, ADMINISTRATORS, sizeof ADMINISTRATORS) && token.account != SIM_STANDARD_USER)
            token.administratorsDenyOnly = true;
        if (IsSid(disable[i].Sid, LOCAL_SYSTEM, sizeof LOCAL_SYSTEM) && token.account == SIM_LOCAL_SYSTEM)
            token.systemDenyOnly = true;
    }
    token.privilegesRemoved = token.privilegesRemoved || (flags & DISABLE_MAX_PRIVILEGE) != 0 || deleteCount > 0;
    token.restrictingSids = token.restrictingSids || restrictCount > 0;
    *restricted = NewTokenHandle(token);
    call.Raw("-> " + HandleText(*restricted) + " " + SimTokenText(token));
    return call.Succeed();
}

BOOL WINAPI SimulatedImpersonateLoggedOnUser(HANDLE token)
{
    Call call("ImpersonateLoggedOnUser");
    call.Ptr(token);
    SimToken impersonated;
    if (!TokenOfHandle(token, &impersonated))
        return call.Fail(ERROR_INVALID_HANDLE);
    g_threadToken = impersonated;
    g_impersonating = true;
    return call.Succeed();
}

BOOL WINAPI SimulatedRevertToSelf()
{
    Call call("RevertToSelf");
    g_impersonating = false;
    return call.Succeed();
}

}  // namespace winsim

using namespace winsim;

extern "C" void WINAPI GetStartupInfoA(LPSTARTUPINFOA lpStartupInfo)
{
    Call call("GetStartupInfoA");
    call.Raw("info");
    *lpStartupInfo = g_startup;
    call.Done("{flags " + Hex(g_startup.dwFlags) + "}");
}

// ---- Test controls ----

std::string SimTokenText(const SimToken& token)
{
    static const char* const ACCOUNTS[] = {"standard user", "administrator", "SYSTEM"};
    std::string text = ACCOUNTS[token.account];
    if (token.administratorsDenyOnly)
        text += ", Administrators deny-only";
    if (token.systemDenyOnly)
        text += ", SYSTEM deny-only";
    if (token.privilegesRemoved)
        text += ", no privileges";
    if (token.restrictingSids)
        text += ", restricting SIDs";
    return text;
}

void SimRunAs(SimAccount account)
{
    g_processToken = SimToken();
    g_processToken.account = account;
}

void SimSetElevated(bool elevated) { SimRunAs(elevated ? SIM_ADMINISTRATOR : SIM_STANDARD_USER); }

void SimBecome(const SimProcess& process)
{
    g_processToken = process.token;
    g_impersonating = false;
    std::memset(&g_startup, 0, sizeof g_startup);
    g_startup.cb = sizeof g_startup;
    if (!process.viaShellExecute) {
        g_startup.dwFlags = process.startupFlags;
        g_startup.wShowWindow = process.showWindow;
        g_startup.hStdInput = process.stdHandles[0];
        g_startup.hStdOutput = process.stdHandles[1];
        g_startup.hStdError = process.stdHandles[2];
    }
}
