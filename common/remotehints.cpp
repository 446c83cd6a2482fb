// One hint per refusal of a remote computer. The causes are those Windows 10
// and 11 give for each code over the network: remote UAC (KB951016) and
// RestrictRemoteSAM for 5, the firewall rule group for 53 and 1722, the
// one-user-name-per-server rule of WNetAddConnection2W for 1219, and the
// target's own logon checks for the others.
#include "remotehints.h"

namespace {
struct RemoteHint
{
    DWORD code;
    LPCWSTR text;
};

const RemoteHint RemoteHints[] = {
    {ERROR_ACCESS_DENIED,
     L"ヒント : 相手のコンピューターでネットワーク経由の管理者として扱われるのは、組み込みの Administrator とドメインの管理者だけです (リモート UAC)。ほかのローカル管理者を使うには相手で LocalAccountTokenFilterPolicy の設定が必要です。またはこのアカウントが相手の Administrators に属していません。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_BAD_NETPATH,
     L"ヒント : コンピューターに届きません。名前、ネットワーク、相手のファイアウォールの規則グループ「ファイルとプリンターの共有」を確かめてください。ヘルプ「リモート管理の準備」をご覧ください。"},
    {RPC_S_SERVER_UNAVAILABLE,
     L"ヒント : コンピューターに届きません。名前、ネットワーク、相手のファイアウォールの規則グループ「ファイルとプリンターの共有」を確かめてください。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_SESSION_CREDENTIAL_CONFLICT,
     L"ヒント : このコンピューターには別のユーザー名ですでに接続しています。同じサーバー名へは 1 つのユーザー名でしか接続できません。既存の接続を切断してから接続し直してください。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_LOGON_FAILURE,
     L"ヒント : 相手のコンピューターがユーザー名またはパスワードを認めませんでした。失敗は相手のロックアウトの回数に数えられます。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_ACCOUNT_RESTRICTION,
     L"ヒント : パスワードが空のアカウントはネットワーク経由では使えません (相手の「空のパスワードの使用はコンソール ログオンのみに制限する」)。パスワードのあるアカウントを使ってください。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_ACCOUNT_DISABLED,
     L"ヒント : このアカウントは相手のコンピューターで無効です (Windows 10/11 では組み込みの Administrator は既定で無効です)。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_ACCOUNT_LOCKED_OUT,
     L"ヒント : このアカウントは相手のコンピューターでロックアウトされています。ロックアウトの期間が過ぎるのを待つか、相手で解除してください。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_ACCOUNT_EXPIRED,
     L"ヒント : このアカウントは相手のコンピューターで有効期限が切れています。ヘルプ「リモート管理の準備」をご覧ください。"},
    {ERROR_PASSWORD_MUST_CHANGE,
     L"ヒント : このアカウントは相手のコンピューターでパスワードの変更が必要です。相手で一度ログオンしてパスワードを変更してください。ヘルプ「リモート管理の準備」をご覧ください。"},
};
} // namespace

LPCWSTR RemoteErrorHint(DWORD code)
{
    for (const RemoteHint& hint : RemoteHints)
        if (hint.code == code)
            return hint.text;
    return nullptr;
}
