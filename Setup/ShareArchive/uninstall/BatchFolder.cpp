// Where the clean-up batch may live on the NT family: a new folder of this run under the
// account's temporary folder that only this account, the administrators and the system
// can change. The command interpreter reads a batch line by line while it runs, so a file
// another account could write would run that account's lines with our rights.
//
// The security functions are looked up at run time: Windows 95's advapi32 has none of
// them, and the control bits that stop the temporary folder's permissions from being
// inherited exist from Windows 2000 on.
#include "uninstall/Uninstall.h"
#include "shell/Helpers.h"
#include "shell/SetupState.h"

#include <string.h>

namespace {

const char* const BatchFolderPrefix = "DelMV";
const int BatchFolderTries = 16;

typedef BOOL(WINAPI* OpenProcessTokenProc)(HANDLE, DWORD, PHANDLE);
typedef BOOL(WINAPI* GetTokenInformationProc)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                              PDWORD);
typedef BOOL(WINAPI* AllocateAndInitializeSidProc)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD,
                                                   DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID*);
typedef PVOID(WINAPI* FreeSidProc)(PSID);
typedef DWORD(WINAPI* GetLengthSidProc)(PSID);
typedef BOOL(WINAPI* InitializeAclProc)(PACL, DWORD, DWORD);
typedef BOOL(WINAPI* AddAccessAllowedAceProc)(PACL, DWORD, DWORD, PSID);
typedef BOOL(WINAPI* GetAceProc)(PACL, DWORD, LPVOID*);
typedef BOOL(WINAPI* InitializeSecurityDescriptorProc)(PSECURITY_DESCRIPTOR, DWORD);
typedef BOOL(WINAPI* SetSecurityDescriptorDaclProc)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
typedef BOOL(WINAPI* SetSecurityDescriptorControlProc)(PSECURITY_DESCRIPTOR,
                                                       SECURITY_DESCRIPTOR_CONTROL,
                                                       SECURITY_DESCRIPTOR_CONTROL);

struct SecurityFunctions {
    OpenProcessTokenProc openProcessToken;
    GetTokenInformationProc getTokenInformation;
    AllocateAndInitializeSidProc allocateAndInitializeSid;
    FreeSidProc freeSid;
    GetLengthSidProc getLengthSid;
    InitializeAclProc initializeAcl;
    AddAccessAllowedAceProc addAccessAllowedAce;
    GetAceProc getAce;
    InitializeSecurityDescriptorProc initializeSecurityDescriptor;
    SetSecurityDescriptorDaclProc setSecurityDescriptorDacl;
    SetSecurityDescriptorControlProc setSecurityDescriptorControl; // may be null
};

bool LoadSecurityFunctions(SecurityFunctions& f) {
    f.openProcessToken = LookUpFunction<OpenProcessTokenProc>("advapi32.dll", "OpenProcessToken");
    f.getTokenInformation =
        LookUpFunction<GetTokenInformationProc>("advapi32.dll", "GetTokenInformation");
    f.allocateAndInitializeSid =
        LookUpFunction<AllocateAndInitializeSidProc>("advapi32.dll", "AllocateAndInitializeSid");
    f.freeSid = LookUpFunction<FreeSidProc>("advapi32.dll", "FreeSid");
    f.getLengthSid = LookUpFunction<GetLengthSidProc>("advapi32.dll", "GetLengthSid");
    f.initializeAcl = LookUpFunction<InitializeAclProc>("advapi32.dll", "InitializeAcl");
    f.addAccessAllowedAce =
        LookUpFunction<AddAccessAllowedAceProc>("advapi32.dll", "AddAccessAllowedAce");
    f.getAce = LookUpFunction<GetAceProc>("advapi32.dll", "GetAce");
    f.initializeSecurityDescriptor = LookUpFunction<InitializeSecurityDescriptorProc>(
        "advapi32.dll", "InitializeSecurityDescriptor");
    f.setSecurityDescriptorDacl =
        LookUpFunction<SetSecurityDescriptorDaclProc>("advapi32.dll", "SetSecurityDescriptorDacl");
    f.setSecurityDescriptorControl = LookUpFunction<SetSecurityDescriptorControlProc>(
        "advapi32.dll", "SetSecurityDescriptorControl");
    return f.openProcessToken && f.getTokenInformation && f.allocateAndInitializeSid && f.freeSid &&
           f.getLengthSid && f.initializeAcl && f.addAccessAllowedAce && f.getAce &&
           f.initializeSecurityDescriptor && f.setSecurityDescriptorDacl;
}

// The three who may change the folder: this account, the administrators, the system.
struct Trustees {
    DWORD tokenUser[64]; // TOKEN_USER with its SID, aligned
    PSID user;
    PSID administrators;
    PSID system;
};

bool FindTrustees(const SecurityFunctions& f, Trustees& t) {
    t.user = t.administrators = t.system = nullptr;
    HANDLE token = nullptr;
    if (!f.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    const BOOL read =
        f.getTokenInformation(token, TokenUser, t.tokenUser, sizeof t.tokenUser, &size);
    CloseHandle(token);
    if (!read)
        return false;
    t.user = reinterpret_cast<TOKEN_USER*>(t.tokenUser)->User.Sid;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!f.allocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                    0, 0, 0, 0, 0, &t.administrators)) {
        t.administrators = nullptr;
        return false;
    }
    if (!f.allocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                    &t.system)) {
        t.system = nullptr;
        return false;
    }
    return true;
}

void ReleaseTrustees(const SecurityFunctions& f, Trustees& t) {
    if (t.administrators)
        f.freeSid(t.administrators);
    if (t.system)
        f.freeSid(t.system);
}

bool FillPrivateSecurity(const SecurityFunctions& f, const Trustees& t, PrivateFolderSecurity& s) {
    PACL acl = reinterpret_cast<PACL>(s.aclSpace);
    const PSID trustees[] = {t.user, t.administrators, t.system};
    DWORD size = sizeof(ACL);
    for (PSID sid : trustees)
        size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + f.getLengthSid(sid);
    if (size > sizeof s.aclSpace || !f.initializeAcl(acl, size, ACL_REVISION))
        return false;
    for (DWORD index = 0; index < 3; ++index) {
        void* ace = nullptr;
        if (!f.addAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, trustees[index]) ||
            !f.getAce(acl, index, &ace)) {
            return false;
        }
        static_cast<ACE_HEADER*>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    if (!f.initializeSecurityDescriptor(&s.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !f.setSecurityDescriptorDacl(&s.descriptor, TRUE, acl, FALSE)) {
        return false;
    }
    if (f.setSecurityDescriptorControl != nullptr)
        f.setSecurityDescriptorControl(&s.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    s.attributes.nLength = sizeof s.attributes;
    s.attributes.lpSecurityDescriptor = &s.descriptor;
    s.attributes.bInheritHandle = FALSE;
    return true;
}

// The file "<folder>.bat" beside the folder, new, with the folder's permissions: where the
// batch moves itself on its last line. Made now, nobody else can take the name first (a
// folder of that name would make the batch's last "del" ask a question nobody answers).
bool CreateBatchPlaceholder(const char* folder, SECURITY_ATTRIBUTES* security) {
    char placeholder[PathCapacity];
    if (!BatchPlaceholderPath(folder, placeholder))
        return false;
    HANDLE file = CreateFileA(placeholder, GENERIC_WRITE, 0, security, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// A folder under parent that did not exist before, with its placeholder: a name planted by
// someone else is never used.
bool CreateNewFolder(const char* parent, SECURITY_ATTRIBUTES* security, char* folder) {
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < BatchFolderTries; ++attempt) {
        char name[32];
        wsprintfA(name, "%s%08lX", BatchFolderPrefix, static_cast<unsigned long>(seed + attempt));
        CopyText(folder, PathCapacity, parent);
        if (!AppendPath(folder, name))
            return false;
        if (!CreateDirectoryA(folder, security)) {
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
            continue;
        }
        if (CreateBatchPlaceholder(folder, security))
            return true;
        RemoveDirectoryA(folder); // the placeholder's name is taken: another name
    }
    return false;
}

} // namespace

bool BuildPrivateFolderSecurity(PrivateFolderSecurity& security) {
    SecurityFunctions functions;
    if (!LoadSecurityFunctions(functions))
        return false;
    Trustees trustees;
    const bool built =
        FindTrustees(functions, trustees) && FillPrivateSecurity(functions, trustees, security);
    ReleaseTrustees(functions, trustees); // the entries hold copies of the SIDs
    return built;
}

bool BatchPlaceholderPath(const char* batchFolder, char* path) {
    static const char extension[] = ".bat";
    const size_t length = strlen(batchFolder);
    if (length + sizeof extension > PathCapacity)
        return false;
    memcpy(path, batchFolder, length);
    memcpy(path + length, extension, sizeof extension);
    return true;
}

bool CreatePrivateFolder(const char* parent, char* folder) {
    folder[0] = '\0';
    PrivateFolderSecurity security;
    if (!BuildPrivateFolderSecurity(security) ||
        !CreateNewFolder(parent, &security.attributes, folder)) {
        folder[0] = '\0';
        return false;
    }
    return true;
}

bool GetSystemFolder(char* folder) {
    // Not imported: the oldest systems this program starts on are not asked to have it
    // in the import table.
    typedef UINT(WINAPI * GetSystemDirectoryProc)(LPSTR, UINT);
    GetSystemDirectoryProc getSystemDirectory =
        LookUpFunction<GetSystemDirectoryProc>("kernel32.dll", "GetSystemDirectoryA");
    if (getSystemDirectory != nullptr) {
        const UINT length = getSystemDirectory(folder, PathCapacity);
        if (length > 0 && length < PathCapacity)
            return true;
    }
    folder[0] = '\0';
    return false;
}
