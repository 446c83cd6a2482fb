// "/remote /status": the settings of this computer that decide whether another
// computer can manage its accounts over the network, read and never changed.
// The values and their defaults: KB951016 (LocalAccountTokenFilterPolicy),
// "Network access: Restrict clients allowed to make remote calls to SAM"
// (RestrictRemoteSAM, absent: only Administrators since Windows 10 1607) and
// "Accounts: Limit local account use of blank passwords to console logon only"
// (LimitBlankPasswordUse, absent or 1: limited).
#include "remotestatus.h"

#include "accountdomain.h"
#include "errortext.h"
#include "textformat.h"

#include <lm.h>
#include <ntsecapi.h>

#include <cwchar>

namespace {
const wchar_t SystemPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t LsaKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Lsa";

void PrintReadFailure(DWORD status)
{
    LPWSTR text = FormatErrorText(status);
    PrintFormatted(L"読み取れませんでした (%s)\n", TextOrEmpty(text));
    LocalFree(text);
}

// A DWORD policy value: 0 read, ERROR_FILE_NOT_FOUND absent, else the failure.
DWORD ReadPolicyDword(const wchar_t* key, const wchar_t* value, DWORD* data)
{
    DWORD size = sizeof(*data);
    return static_cast<DWORD>(
        RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_DWORD, nullptr, data, &size));
}

void PrintTokenFilterPolicy()
{
    DWORD value = 0;
    DWORD status = ReadPolicyDword(SystemPolicyKey, L"LocalAccountTokenFilterPolicy", &value);
    PrintText(L"LocalAccountTokenFilterPolicy : ");
    if (status != 0 && status != ERROR_FILE_NOT_FOUND) {
        PrintReadFailure(status);
    } else if (status == 0 && value == 1) {
        PrintText(L"1\n");
        PrintText(
            L"　このコンピューターのどのローカル管理者も、ネットワーク経由で管理者として扱われます (リモート UAC なし)。便利ですが、管理者のパスワードを知られたときの被害がネットワーク全体に及びます。\n");
    } else {
        if (status == 0)
            PrintFormatted(L"%u\n", value);
        else
            PrintText(L"なし (Windows の既定 : 0)\n");
        PrintText(
            L"　ネットワーク経由で管理者として扱われるのは組み込みの Administrator とドメインの管理者だけです。ほかのローカル管理者はリモート UAC により標準ユーザーになります。\n");
    }
    PrintFormatted(
        L"　変更 : レジストリ HKEY_LOCAL_MACHINE\\%s の DWORD 値 LocalAccountTokenFilterPolicy (1 : すべてのローカル管理者、0 またはなし : 組み込みの Administrator だけ)。\n\n",
        SystemPolicyKey);
}

void PrintRestrictRemoteSam()
{
    wchar_t sddl[1024] = {};
    DWORD size = sizeof(sddl);
    DWORD status = static_cast<DWORD>(RegGetValueW(HKEY_LOCAL_MACHINE, LsaKey, L"RestrictRemoteSAM",
                                                   RRF_RT_REG_SZ, nullptr, sddl, &size));
    PrintText(L"RestrictRemoteSAM : ");
    if (status == ERROR_FILE_NOT_FOUND) {
        PrintText(L"なし (Windows の既定)\n");
        PrintText(
            L"　SAM (ユーザーとグループ) をリモートから呼び出せるのは、ネットワーク経由で管理者として扱われるアカウントだけです。\n");
    } else if (status != 0) {
        PrintReadFailure(status);
    } else {
        PrintFormatted(L"%s\n", sddl);
        PrintText(L"　SAM をリモートから呼び出せるアカウントは、この値 (SDDL) が決めます。\n");
    }
    PrintText(
        L"　変更 : セキュリティ ポリシー「ネットワーク アクセス : SAM へのリモート呼び出しを許可されたクライアントを制限する」(HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Lsa の RestrictRemoteSAM)。\n\n");
}

void PrintLimitBlankPasswordUse()
{
    DWORD value = 1;
    DWORD status = ReadPolicyDword(LsaKey, L"LimitBlankPasswordUse", &value);
    PrintText(L"LimitBlankPasswordUse : ");
    if (status != 0 && status != ERROR_FILE_NOT_FOUND) {
        PrintReadFailure(status);
    } else if (status == 0 && value == 0) {
        PrintText(L"0\n");
        PrintText(
            L"　パスワードが空のアカウントでもネットワーク経由でログオンできます。空のパスワードのアカウントを誰でも使えるため、お勧めしません。\n");
    } else {
        if (status == 0)
            PrintFormatted(L"%u\n", value);
        else
            PrintText(L"なし (Windows の既定 : 1)\n");
        PrintText(
            L"　パスワードが空のアカウントはコンソールでしかログオンできず、ネットワーク経由では拒否されます (エラー 1327)。\n");
    }
    PrintText(
        L"　変更 : セキュリティ ポリシー「アカウント : ローカル アカウントの空のパスワードの使用をコンソール ログオンのみに制限する」(HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Lsa の LimitBlankPasswordUse)。\n\n");
}

// The built-in Administrator's SID: the account domain's SID and RID 500, so
// that a renamed Administrator is found too.
PSID BuiltinAdministratorSid(DWORD* status)
{
    PSID domainSid = nullptr;
    wchar_t domainName[256] = {};
    *status = GetAccountDomainSid(nullptr, &domainSid, domainName, 256);
    if (*status != 0)
        return nullptr;
    UCHAR count = *GetSidSubAuthorityCount(domainSid);
    DWORD size = GetSidLengthRequired(static_cast<UCHAR>(count + 1));
    PSID sid = LocalAlloc(LPTR, size);
    if (sid == nullptr ||
        !InitializeSid(sid, GetSidIdentifierAuthority(domainSid), static_cast<UCHAR>(count + 1))) {
        *status = ERROR_NOT_ENOUGH_MEMORY;
        LocalFree(sid);
        LocalFree(domainSid);
        return nullptr;
    }
    for (UCHAR i = 0; i < count; ++i)
        *GetSidSubAuthority(sid, i) = *GetSidSubAuthority(domainSid, i);
    *GetSidSubAuthority(sid, count) = DOMAIN_USER_RID_ADMIN;
    LocalFree(domainSid);
    return sid;
}

// The built-in Administrator's current name; 0 or the failure.
DWORD BuiltinAdministratorName(wchar_t* name, DWORD chars)
{
    DWORD status = 0;
    PSID sid = BuiltinAdministratorSid(&status);
    if (sid == nullptr)
        return status;
    wchar_t domain[256] = {};
    DWORD domainChars = 256;
    SID_NAME_USE use;
    status = LookupAccountSidW(nullptr, sid, name, &chars, domain, &domainChars, &use)
                 ? 0
                 : GetLastError();
    LocalFree(sid);
    return status;
}

void PrintBuiltinAdministrator()
{
    wchar_t name[257] = {};
    DWORD status = BuiltinAdministratorName(name, 257);
    LPBYTE buffer = nullptr;
    if (status == 0)
        status = NetUserGetInfo(nullptr, name, 1, &buffer);
    PrintFormatted(L"組み込みの Administrator (%s) : ", name[0] != L'\0' ? name : L"?");
    if (status != 0) {
        PrintReadFailure(status);
    } else if ((reinterpret_cast<USER_INFO_1*>(buffer)->usri1_flags & UF_ACCOUNTDISABLE) != 0) {
        PrintText(L"無効 (Windows 10/11 の既定)\n");
        PrintText(
            L"　リモート UAC の対象外でネットワーク経由でも管理者になるアカウントですが、無効のため使えません。\n");
    } else {
        PrintText(L"有効\n");
        PrintText(
            L"　ほかのコンピューターから「接続するユーザー」または /as: にこのアカウントを指定すると、管理者として接続できます (パスワードが必要です)。\n");
    }
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
    PrintText(
        L"　変更 : Ambgui のユーザーの設定で [アカウントを無効にする] を外し、パスワードを設定します。\n\n");
}
} // namespace

int PrintRemoteStatus()
{
    PrintText(
        L"このコンピューターをほかのコンピューターから管理するための設定です (読み取りのみ。Ambrelle はこれらを変更しません)。\n\n");
    PrintTokenFilterPolicy();
    PrintRestrictRemoteSam();
    PrintBuiltinAdministrator();
    PrintLimitBlankPasswordUse();
    PrintText(
        L"ファイアウォールの規則グループ「ファイルとプリンターの共有」も許可されている必要があります。詳しくはヘルプ「リモート管理の準備」をご覧ください。\n\n");
    return ExitSuccess;
}
