#include "launcher.h"
#include "platform.h"
#include "text.h"

static const DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Security functions that Windows 2000 brought (CheckTokenMembership,
// CreateRestrictedToken) or that the 95 family lacks: looked up. Where one is
// missing, the copy gets no more rights than it did before.
typedef BOOL(WINAPI* CheckTokenMembershipFunction)(HANDLE token, PSID sid, BOOL* isMember);
typedef BOOL(WINAPI* OpenProcessTokenFunction)(HANDLE process, DWORD access, HANDLE* token);
typedef BOOL(WINAPI* CreateRestrictedTokenFunction)(HANDLE token, DWORD flags, DWORD disableCount,
                                                    SID_AND_ATTRIBUTES* disable, DWORD deleteCount,
                                                    LUID_AND_ATTRIBUTES* privileges, DWORD restrictCount,
                                                    SID_AND_ATTRIBUTES* restrict, HANDLE* restricted);
typedef BOOL(WINAPI* ImpersonateLoggedOnUserFunction)(HANDLE token);
typedef BOOL(WINAPI* RevertToSelfFunction)();

// S-1-5-32-544 (Administrators) and S-1-5-18 (LocalSystem), as the SID
// structure lays them out: revision, count, authority (big-endian), then the
// sub-authorities (little-endian).
static const BYTE ADMINISTRATORS_SID[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
static const BYTE LOCAL_SYSTEM_SID[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

static bool HasEnabled(CheckTokenMembershipFunction isMember, const BYTE* sid)
{
    BOOL member = FALSE;
    return isMember(nullptr, const_cast<BYTE*>(sid), &member) && member;
}

Rights CurrentRights()
{
    CheckTokenMembershipFunction isMember =
        reinterpret_cast<CheckTokenMembershipFunction>(SecurityFunction("CheckTokenMembership"));
    // The 95 family's ADVAPI32 lacks it too: it has no rights to drop. (Wine
    // exports it whatever Windows it plays: there the copy drops them anyway.)
    if (isMember == nullptr)
        return RIGHTS_ORDINARY;
    // LocalSystem's token has Administrators enabled too.
    if (HasEnabled(isMember, LOCAL_SYSTEM_SID))
        return RIGHTS_SYSTEM;
    return HasEnabled(isMember, ADMINISTRATORS_SID) ? RIGHTS_ELEVATED : RIGHTS_ORDINARY;
}

// The process's own token with Administrators, and LocalSystem's own SID,
// used only to deny, and no privilege: what the same person has without
// elevation, or what any user has where SYSTEM runs the program. No
// restricting SIDs: a token with restricting SIDs that lack the logon SID
// cannot open the interactive desktop. nullptr where Windows lacks a function.
HANDLE OrdinaryUserToken()
{
    OpenProcessTokenFunction openProcessToken =
        reinterpret_cast<OpenProcessTokenFunction>(SecurityFunction("OpenProcessToken"));
    CreateRestrictedTokenFunction createRestrictedToken =
        reinterpret_cast<CreateRestrictedTokenFunction>(SecurityFunction("CreateRestrictedToken"));
    HANDLE token;
    if (openProcessToken == nullptr || createRestrictedToken == nullptr ||
        !openProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &token))
        return nullptr;
    // Filled here: a table of pointers would need relocations, which the x64
    // program has none of. A SID the token does not hold is passed over.
    SID_AND_ATTRIBUTES denyOnly[2] = {};
    denyOnly[0].Sid = const_cast<BYTE*>(ADMINISTRATORS_SID);
    denyOnly[1].Sid = const_cast<BYTE*>(LOCAL_SYSTEM_SID);
    HANDLE restricted;
    if (!createRestrictedToken(token, DISABLE_MAX_PRIVILEGE, 2, denyOnly, 0, nullptr, 0, nullptr, &restricted))
        restricted = nullptr;
    return restricted; // both left open: this process ends soon
}

bool AccessRefused(const char* path, DWORD access, DWORD flags)
{
    return !FileOpens(path, access, SHARE_ALL, flags) && GetLastError() == ERROR_ACCESS_DENIED;
}

// A log that this user can neither change nor delete, nor take out of its
// folder, was written by somebody with more rights: acting on it with more
// rights cannot be turned against its owner. A read-only file refuses writing
// to everybody, so it tells nothing.
static bool LogIsProtected(const char* logPath)
{
    DWORD attributes = GetFileAttributesA(logPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    const char* fileName = FileNamePart(logPath);
    char folder[MAX_PATH];
    if (fileName == nullptr || !CopyTextPart(folder, MAX_PATH, logPath, unsigned(fileName - logPath)))
        return false;
    // The folder is named without its last backslash, but a drive's root keeps it.
    unsigned length = TextLength(folder);
    if (length > 1 && folder[length - 2] != ':')
        folder[length - 1] = '\0';
    return AccessRefused(logPath, GENERIC_WRITE, 0) && AccessRefused(logPath, DELETE, 0) &&
           AccessRefused(folder, FILE_DELETE_CHILD, FILE_FLAG_BACKUP_SEMANTICS);
}

bool ImpersonateUser(HANDLE user)
{
    ImpersonateLoggedOnUserFunction impersonate =
        reinterpret_cast<ImpersonateLoggedOnUserFunction>(SecurityFunction("ImpersonateLoggedOnUser"));
    return user != nullptr && impersonate != nullptr && impersonate(user);
}

void StopImpersonating()
{
    RevertToSelfFunction revertToSelf = reinterpret_cast<RevertToSelfFunction>(SecurityFunction("RevertToSelf"));
    if (revertToSelf != nullptr)
        (void)revertToSelf(); // cannot fail for a thread that impersonates
}

// The same question as an ordinary user would find it. When it cannot be
// asked so, the log counts as unprotected: the copy then gets no more rights.
static bool LogIsProtectedFor(HANDLE user, const char* logPath)
{
    if (!ImpersonateUser(user))
        return false;
    bool isProtected = LogIsProtected(logPath);
    StopImpersonating();
    return isProtected;
}

// An administrator's or SYSTEM's process could change any log: whether an
// ordinary user could is what tells whether the log may be trusted with those
// rights. "runas" asks for an administrator's consent from Windows Vista on;
// on XP it opens the "Run as" dialog instead, and earlier Windows do not know it.
const char* StartVerbFor(const char* logPath, HANDLE* ordinaryUser)
{
    *ordinaryUser = CurrentRights() != RIGHTS_ORDINARY ? OrdinaryUserToken() : nullptr;
    if (*ordinaryUser == nullptr)
        return RunsOnNt6OrLater() && LogIsProtected(logPath) ? "runas" : "open";
    if (LogIsProtectedFor(*ordinaryUser, logPath))
        *ordinaryUser = nullptr;
    return "open";
}
