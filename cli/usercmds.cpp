// The "/user" commands: every call works on the thread's target computer.
#include "usercmds.h"

#include "textformat.h"

#include <cstdio>
#include <cwchar>
#include <lm.h>
#include <sddl.h>

static void FreeNetBuffer(LPBYTE buffer)
{
    if (buffer != nullptr)
        NetApiBufferFree(buffer);
}

static void PrintUserSid(PSID sid)
{
    LPWSTR text = nullptr;
    if (sid != nullptr && ConvertSidToStringSidW(sid, &text)) {
        PrintFormatted(L"SID :\n　%s\n", text);
        LocalFree(text);
    } else {
        PrintText(L"SID :\n　\n");
    }
}

// Every local group the user belongs to, directly or through another group.
// A failed read prints no group and no error.
static void PrintUserLocalGroups(const wchar_t* name)
{
    PrintText(L"所属ローカル グループ :\n");
    LPBYTE buffer = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = NetUserGetLocalGroups(ServerArgument(), name, 0, LG_INCLUDE_INDIRECT,
                                                  &buffer, MAX_PREFERRED_LENGTH, &read, &total);
    if (status == NERR_Success && buffer != nullptr) {
        auto* groups = reinterpret_cast<LOCALGROUP_USERS_INFO_0*>(buffer);
        for (DWORD i = 0; i < read; ++i)
            PrintFormatted(L"　%s\n", TextOrEmpty(groups[i].lgrui0_name));
    }
    FreeNetBuffer(buffer);
    PrintText(L"\n");
}

static void PrintUserFlagLines(DWORD flags)
{
    PrintText(L"[追加情報]\n");
    PrintText((flags & UF_ACCOUNTDISABLE) ? L"アカウントの状態　　　 : 無効\n"
                                          : L"アカウントの状態　　　 : 有効\n");
    PrintText((flags & UF_LOCKOUT) ? L"ロックアウト　　　　　 : はい\n"
                                   : L"ロックアウト　　　　　 : いいえ\n");
    PrintText((flags & UF_PASSWORD_EXPIRED) ? L"要パスワード変更　　　 : はい\n"
                                            : L"要パスワード変更　　　 : いいえ\n");
    PrintText((flags & UF_PASSWD_CANT_CHANGE) ? L"パスワード変更禁止　　 : はい\n"
                                              : L"パスワード変更禁止　　 : いいえ\n");
    // A password that never expires means no periodic change.
    PrintText((flags & UF_DONT_EXPIRE_PASSWD) ? L"定期的なパスワード変更 : いいえ\n\n"
                                              : L"定期的なパスワード変更 : はい\n\n");
}

static void PrintUserTimeLines(const USER_INFO_4* user)
{
    PrintText(L"[その他]\n");
    // Both password lines show the moment of the last password change, now minus
    // the password age: the platform reports no other time for the password (the
    // expiry field is only a yes or no), and an expired password is due for a
    // change since then. An age beyond the present shows the earliest time
    // rather than a time wrapped into the future.
    DWORD now = CurrentUnixTime();
    DWORD age = user->usri4_password_age;
    DWORD lastChange = age <= now ? now - age : 0;
    if (user->usri4_password_expired == 0)
        PrintText(L"パスワード有効期限　　 : なし\n");
    else
        PrintLocalTime(L"パスワード有効期限　　 : %04u/%02u/%02u %02u:%02u\n", lastChange);

    if (user->usri4_acct_expires == 0 || user->usri4_acct_expires == TIMEQ_FOREVER)
        PrintText(L"アカウント有効期限　　 : なし\n");
    else
        PrintLocalTime(L"アカウント有効期限　　 : %04u/%02u/%02u %02u:%02u\n",
                       user->usri4_acct_expires);

    if (user->usri4_last_logon == 0)
        PrintText(L"最終ログイン日時　　　 : 一度もログインしていません\n");
    else
        PrintLocalTime(L"最終ログイン日時　　　 : %04u/%02u/%02u %02u:%02u\n",
                       user->usri4_last_logon);

    PrintLocalTime(L"最終パスワード変更日時 : %04u/%02u/%02u %02u:%02u\n\n", lastChange);
}

CommandResult PrintUserDetails(const wchar_t* name)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(ServerArgument(), name, 4, &buffer);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントの情報を取得できませんでした。", status);
        FreeNetBuffer(buffer);
        return ResultFailure;
    }
    auto* user = reinterpret_cast<USER_INFO_4*>(buffer);
    PrintFormatted(L"ユーザー %s のデータです。\n\n", name);
    PrintText(L"[基本情報]\n");
    PrintFormatted(L"ユーザー名 :\n　%s\n", TextOrEmpty(user->usri4_name));
    PrintFormatted(L"フル ネーム (アカウント名) :\n　%s\n", TextOrEmpty(user->usri4_full_name));
    PrintFormatted(L"コメント :\n　%s\n", TextOrEmpty(user->usri4_comment));
    PrintUserSid(user->usri4_user_sid);
    PrintUserLocalGroups(name);
    PrintUserFlagLines(user->usri4_flags);
    PrintUserTimeLines(user);
    FreeNetBuffer(buffer);
    return ResultSuccess;
}

CommandResult AddUser(const wchar_t* name, const wchar_t* fullName)
{
    USER_INFO_4 user = {};
    user.usri4_name = const_cast<LPWSTR>(name);
    user.usri4_password = const_cast<LPWSTR>(L"");
    user.usri4_priv = USER_PRIV_USER;
    user.usri4_flags = UF_SCRIPT;
    user.usri4_full_name = const_cast<LPWSTR>(fullName);
    // 0 would be an expiry on 1970-01-01: an account that can never log on.
    user.usri4_acct_expires = TIMEQ_FOREVER;
    // The platform requires the ordinary users' group as the primary group of a
    // new account added at this level.
    user.usri4_primary_group_id = DOMAIN_GROUP_RID_USERS;
    NET_API_STATUS status =
        NetUserAdd(ServerArgument(), 4, reinterpret_cast<LPBYTE>(&user), nullptr);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントを追加できませんでした。", status);
        return ResultFailure;
    }
    return ResultSuccess;
}

// Replaces one string field of the account: reads it at readLevel, then writes
// value as a one-field record at writeLevel. USER_INFO_0, USER_INFO_1007 and
// USER_INFO_1011 each consist of that one string pointer. The read levels
// differ from the write levels because NetUserGetInfo serves only the whole
// records (0-4, 10, 11, 20, 23, 24) and answers ERROR_INVALID_LEVEL for the
// one-field levels, which exist for NetUserSetInfo alone.
static CommandResult ReplaceUserField(const wchar_t* name, DWORD readLevel, DWORD writeLevel,
                                      const wchar_t* value, const wchar_t* readCaption,
                                      const wchar_t* writeCaption)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(ServerArgument(), name, readLevel, &buffer);
    if (status != NERR_Success) {
        PrintNetError(readCaption, status);
        FreeNetBuffer(buffer);
        return ResultFailure;
    }
    LPWSTR field = const_cast<LPWSTR>(value);
    status = NetUserSetInfo(ServerArgument(), name, writeLevel, reinterpret_cast<LPBYTE>(&field),
                            nullptr);
    FreeNetBuffer(buffer);
    if (status != NERR_Success) {
        PrintNetError(writeCaption, status);
        return ResultFailure;
    }
    return ResultSuccess;
}

CommandResult RenameUser(const wchar_t* name, const wchar_t* newName)
{
    return ReplaceUserField(name, 0, 0, newName, L"ユーザー名を取得できませんでした。",
                            L"ユーザー名を変更できませんでした。");
}

// Level 10 carries the full name and the comment.
CommandResult SetUserFullName(const wchar_t* name, const wchar_t* fullName)
{
    return ReplaceUserField(name, 10, 1011, fullName,
                            L"ユーザー アカウントのフル ネームを取得できませんでした。",
                            L"ユーザー アカウントのフル ネームを設定できませんでした。");
}

CommandResult SetUserComment(const wchar_t* name, const wchar_t* comment)
{
    return ReplaceUserField(name, 10, 1007, comment,
                            L"ユーザー アカウントのコメントを取得できませんでした。",
                            L"ユーザー アカウントのコメントを設定できませんでした。");
}

static void PrintDeleteUserWarning(const wchar_t* name)
{
    PrintText(L"！注意！\n");
    PrintFormatted(L"ユーザー %s を削除しようとしています。\n\n", name);
    PrintSidWarning();
    PrintText(L"また、削除を続行すると対象ユーザーはこれ以降ネットワーク越しを含め、Windows に\n");
    PrintText(L"ログインすることができなくなります。\n\n");
    PrintText(L"削除しようとしているユーザーにユーザー プロファイルがある場合、保存されている\n");
    PrintText(L"ユーザー プロファイル フォルダ内のファイルが使用できなくなることがあります。\n\n");
    PrintText(
        L"このため、削除前にバックアップを取るか、システム復元ポイントを作成しておくことを\n");
    PrintText(L"お勧めします。\n\n");
    PrintText(L"ユーザー アカウントを削除してもよろしいですか？ (Y/N)");
}

CommandResult DeleteUser(const wchar_t* name)
{
    if (!SilentMode) {
        PrintDeleteUserWarning(name);
        if (AskYesNo() != IDYES)
            return ResultDeclined;
    }
    // The user's profile folder is left alone.
    NET_API_STATUS status = NetUserDel(ServerArgument(), name);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントを削除できませんでした。", status);
        return ResultFailure;
    }
    return ResultSuccess;
}

// Applies the flag letters of Options to a record read at level 4. Returns
// false (and changes nothing) when E is given but does not stand first.
static bool ApplyFlagLetters(USER_INFO_4* user, const wchar_t* options)
{
    if (wcschr(options, L'E') != nullptr) {
        if (options[0] != L'E') {
            PrintText(L"エラー : E オプションとは併用できません。\n\n");
            return false;
        }
        // A nonzero value makes the user change the password at next logon;
        // no other letter applies. A password that never expires cannot be
        // expired (the platform keeps it valid), so that flag goes.
        user->usri4_password_expired = CurrentUnixTime() - 1;
        user->usri4_flags &= ~static_cast<DWORD>(UF_DONT_EXPIRE_PASSWD);
        return true;
    }
    // Fixed order, each letter at most once; of a pair the lower case comes last and wins.
    if (wcschr(options, L'C') != nullptr && !(user->usri4_flags & UF_PASSWD_CANT_CHANGE)) {
        user->usri4_flags |= UF_PASSWD_CANT_CHANGE;
        user->usri4_password_expired = 0;
    }
    if (wcschr(options, L'c') != nullptr)
        user->usri4_flags &= ~static_cast<DWORD>(UF_PASSWD_CANT_CHANGE);
    if (wcschr(options, L'X') != nullptr && !(user->usri4_flags & UF_DONT_EXPIRE_PASSWD)) {
        user->usri4_flags |= UF_DONT_EXPIRE_PASSWD;
        user->usri4_password_expired = 0;
    }
    if (wcschr(options, L'x') != nullptr)
        user->usri4_flags &= ~static_cast<DWORD>(UF_DONT_EXPIRE_PASSWD);
    if (wcschr(options, L'D') != nullptr)
        user->usri4_flags |= UF_ACCOUNTDISABLE;
    if (wcschr(options, L'd') != nullptr)
        user->usri4_flags &= ~static_cast<DWORD>(UF_ACCOUNTDISABLE);
    return true;
}

CommandResult SetUserFlags(const wchar_t* name, const wchar_t* options)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(ServerArgument(), name, 4, &buffer);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントのフラグ情報を取得できませんでした。", status);
        FreeNetBuffer(buffer);
        return ResultFailure;
    }
    auto* user = reinterpret_cast<USER_INFO_4*>(buffer);
    if (!ApplyFlagLetters(user, options)) {
        FreeNetBuffer(buffer);
        return ResultFailure;
    }
    // Written back whole, also when no letter matched.
    status = NetUserSetInfo(ServerArgument(), name, 4, buffer, nullptr);
    FreeNetBuffer(buffer);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウント オプションを設定できませんでした。", status);
        return ResultFailure;
    }
    return ResultSuccess;
}

// Adds the user's SID to one group or takes it out, and finishes the progress
// line with the outcome. Returns true when the group ends up as asked.
static bool ChangeOneGroup(const wchar_t* group, PSID userSid, bool remove)
{
    PrintFormatted(remove ? L"ローカル グループ %s への割り当てを解除しています... "
                          : L"ローカル グループ %s へ割り当てています... ",
                   group);
    fflush(stdout);
    LOCALGROUP_MEMBERS_INFO_0 member = {};
    member.lgrmi0_sid = userSid;
    auto* entry = reinterpret_cast<LPBYTE>(&member);
    NET_API_STATUS status = remove ? NetLocalGroupDelMembers(ServerArgument(), group, 0, entry, 1)
                                   : NetLocalGroupAddMembers(ServerArgument(), group, 0, entry, 1);
    if (status == NERR_Success) {
        PrintText(L"完了\n");
        return true;
    }
    if (!remove && status == ERROR_MEMBER_IN_ALIAS) {
        PrintText(L"割当済\n");
        return true;
    }
    if (remove && status == ERROR_MEMBER_NOT_IN_ALIAS) {
        PrintText(L"割当解除済\n");
        return true;
    }
    PrintText(L"失敗\n");
    return false;
}

// Succeeds when every listed group ends up as asked (already a member, or
// already not one, counts); one failed group makes the command fail, but every
// group is still tried.
CommandResult ChangeUserGroups(const wchar_t* name, const wchar_t* localGroups, bool remove)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(ServerArgument(), name, 4, &buffer);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントの情報を取得できませんでした。", status);
        FreeNetBuffer(buffer);
        return ResultFailure;
    }
    PSID userSid = reinterpret_cast<USER_INFO_4*>(buffer)->usri4_user_sid;
    PrintText(L"ローカル グループへの割り当てまたは削除を開始します。\n");

    bool allDone = true;
    wchar_t* list = DuplicateText(localGroups);
    if (list == nullptr)
        allDone = false;
    wchar_t* context = nullptr;
    for (wchar_t* group = list != nullptr ? NextListItem(list, &context) : nullptr;
         group != nullptr; group = NextListItem(nullptr, &context)) {
        if (!ChangeOneGroup(group, userSid, remove))
            allDone = false;
    }
    FreeBlock(list);
    FreeNetBuffer(buffer);
    return allDone ? ResultSuccess : ResultFailure;
}

// The flags are read at level 1: NetUserGetInfo does not serve the one-field
// level 1008, which exists for NetUserSetInfo alone.
CommandResult UnlockUser(const wchar_t* name)
{
    LPBYTE buffer = nullptr;
    NET_API_STATUS status = NetUserGetInfo(ServerArgument(), name, 1, &buffer);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントのロックアウト状態を取得できませんでした。", status);
        FreeNetBuffer(buffer);
        return ResultFailure;
    }
    USER_INFO_1008 flags = {};
    flags.usri1008_flags = reinterpret_cast<USER_INFO_1*>(buffer)->usri1_flags;
    FreeNetBuffer(buffer);
    if (!(flags.usri1008_flags & UF_LOCKOUT)) {
        PrintFormatted(L"ユーザー %s はロックアウトされていません。\n", name);
        return ResultSuccess;
    }
    flags.usri1008_flags &= ~static_cast<DWORD>(UF_LOCKOUT);
    status =
        NetUserSetInfo(ServerArgument(), name, 1008, reinterpret_cast<LPBYTE>(&flags), nullptr);
    if (status != NERR_Success) {
        PrintNetError(L"ユーザー アカウントのロックアウトを解除できませんでした。", status);
        return ResultFailure;
    }
    return ResultSuccess;
}

static void PrintResetPasswordWarning(const wchar_t* name)
{
    PrintText(L"！注意！\n");
    PrintFormatted(L"ユーザー %s のパスワードを強制リセットしようとしています。\n\n", name);
    PrintText(L"パスワードを強制的にリセットすると、そのユーザーは自身の資格情報、\n");
    PrintText(L"暗号化属性の情報、および証明書データが利用できなくなります。\n\n");
    PrintText(L"本機能はパスワードを忘れてしまい、さらにパスワード リセット ディスク\n");
    PrintText(L"を作成していなかった場合の最終手段としてのみ実行してください。\n\n");
    PrintText(L"ユーザーがパスワードを知っていて、なおかつそのパスワードを変更したい\n");
    PrintText(L"場合はそのユーザーでログイン後、Ctrl + Alt + Delete キーを押して\n");
    PrintText(L"[パスワードの変更] ボタンを押すか、コントロール パネルの [ユーザー\n");
    PrintText(L"アカウント] を使ってください。\n\n");
    PrintText(L"パスワードを強制リセットしてもよろしいですか？\n");
    PrintText(L"(リセットするとそのユーザーのパスワードは空になります。) (Y/N)");
}

CommandResult ResetUserPassword(const wchar_t* name)
{
    if (!SilentMode) {
        PrintResetPasswordWarning(name);
        if (AskYesNo() != IDYES)
            return ResultDeclined;
    }
    USER_INFO_1003 password = {};
    password.usri1003_password = const_cast<LPWSTR>(L"");
    NET_API_STATUS status =
        NetUserSetInfo(ServerArgument(), name, 1003, reinterpret_cast<LPBYTE>(&password), nullptr);
    if (status != NERR_Success) {
        PrintNetError(L"パスワードをリセットできませんでした。", status);
        return ResultFailure;
    }
    return ResultSuccess;
}
