// The usage text and the two help texts. The help texts wait for a key
// between their blocks, through the command interpreter's PAUSE.
#include "ambcmd.h"
#include "textformat.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// Marks a pause between two blocks of a help text.
static const wchar_t* const PauseHere = nullptr;

// The usage text. Its synopsis line is made from the two tables below, so
// that a new switch is one row: a leading option (given before the command,
// like /computer:) in UsageOptions, a command in UsageCommands. Each row holds
// the word shown in the synopsis and the switch's description lines.
struct UsageRow
{
    const wchar_t* synopsis;
    const wchar_t* description;
};

static const UsageRow UsageOptions[] = {
    {L"/computer:一覧",
     L"/computer:一覧\n"
     L"       : 一覧のコンピューターで実行します。先頭 (/user などの前) に指定します。\n"
     L"         一覧はコンピューター名、DNS 名または IP アドレスをコンマ (,) で区切るか、\n"
     L"         @ファイル名 (1 行に 1 台。空行と # で始まる行は無視) で指定します。\n"
     L"         複数のコンピューターでは 8 台ずつ同時に実行し、結果をコンピューターごとに\n"
     L"         表示します。1 台でも失敗すると終了コードは 1 になります。\n"},
    {L"/as:ユーザー",
     L"/as:ユーザー\n"
     L"       : /computer:一覧 の直後に指定し、各コンピューターにこのアカウントで接続します。\n"
     L"         パスワードは最初に 1 回だけ尋ねます (標準入力がコンソールでなければ 1 行を読みます)。\n"},
};

static const UsageRow UsageCommands[] = {
    {L"/user", L"/user  : ユーザー アカウントを追加・削除・設定を行う場合に使用します。\n"},
    {L"/group", L"/group : ローカル グループを追加・削除・設定を行う場合に使用します。\n"},
    {L"/report",
     L"/report: アカウント レポート (すべてのユーザーとローカル グループ) をファイルに保存します。\n"
     L"         Ambcmd /report \"File\" [/format:csv | /format:tsv]\n"},
    {L"/import",
     L"/import: ファイルからユーザーとグループをまとめて作成・変更します。(/import /? で詳細)\n"},
    {L"/policy",
     L"/policy: パスワードとロックアウトのポリシーを表示・設定します。(/policy /? で詳細)\n"},
    {L"/vault:ファイル",
     L"/vault: パスワード保管庫を作成 (/init)・表示 (/show [コンピューター]、/history) します。\n"
     L"         Ambcmd /user /rotate \"Name\" /vault:ファイル でパスワードを変更して記録します。\n"},
    {L"/remote",
     L"/remote: Ambcmd /remote /status で、このコンピューターをほかから管理するための設定を表示します。\n"},
    {L"/help", L"/help  : この画面を表示します。\n"},
    {L"/?", L"/?     : /help と同じです。\n"},
};

static const wchar_t* const UsageArguments =
    L"引数   : スイッチに応じた引数を指定します。(半角スペース区切り)\n"
    L"/s     : サイレント モードで実行します。進捗と実行結果のみが表示されます。\n"
    L"         (ユーザーに確認は求められません。)\n"
    L"/silent: /s と同じです。\n";

static const wchar_t* const UsageClosing =
    L"\n詳細な使用方法については、/user または /group の後に /? または /help を付けてもう一度呼び出してください。\n\n";

static const wchar_t* const UserHelpText[] = {
    L"/user スイッチはユーザー アカウントの管理に使用します。\n\n",
    L"構文 :\n",
    L"Ambcmd /user \"Name\"\n",
    L"Ambcmd /user /add \"Name\" \"FullName\"\n",
    L"Ambcmd /user /rename \"Name\" \"NewName\"\n",
    L"Ambcmd /user [/remove | /delete] \"Name\"\n",
    L"Ambcmd /user /fullname \"Name\" \"FullName\"\n",
    L"Ambcmd /user [/comment | /description] \"Name\" \"Comment\"\n",
    L"Ambcmd /user /flags \"Name\" \"Options\"\n",
    L"Ambcmd /user [/setgroup | /delgroup] \"Name\" \"LocalGroups\"\n",
    L"Ambcmd /user /unlock \"Name\"\n",
    L"Ambcmd /user /passreset \"Name\"\n",
    L"Ambcmd /user /list [/format:csv | /format:tsv | /format:json]\n\n",
    PauseHere,
    L"/add\n\tユーザー アカウント新規に作成します。\n",
    L"\tName に新しいユーザー名を入力し、FullName には新しく作成される\n",
    L"\tユーザーに対するいわゆる通称名 (フル ネーム) を入力します。省略した\n",
    L"\tいときは、\"\" を指定します。フル ネームは Windows のログイン画面等\n",
    L"\tで使われます。\n\n",
    L"/rename\n\tユーザー名を変更します。\n",
    L"\tName には変更元のユーザー名を入力し、NewName には変更後のユーザー\n",
    L"\t名を入力します。\n\n",
    L"/remove または /delete\n\tユーザー アカウントを削除します。\n",
    L"\tName には削除するユーザー名を入力します。\n",
    L"\t削除すると、当該ユーザーは Windows にログインできなくなります。\n\n",
    L"/fullname\n\tユーザー アカウントのフル ネームを設定します。\n",
    L"\tName にはコメントを設定するユーザー名を入力し、FullName には、\n",
    L"\t新しく設定するフル ネームを入力します。\n",
    L"\t既にフル ネームが設定されていると、ここで設定した名称で上書きされます。\n\n",
    PauseHere,
    L"/comment または /description\n\tユーザー アカウントのコメントを設定します。\n",
    L"\tName にはコメントを設定するユーザー名を入力し、\n",
    L"\tComment には新しく設定するコメントを入力します。\n",
    L"\t既にコメントが設定されていると、ここで入力した内容で上書きされます。\n\n",
    L"\tコメントを削除する場合は \"\" を指定します。\n\n",
    L"/flags\n\tユーザー アカウントのフラグを設定します。\n",
    L"\tName にはフラグを設定するユーザー名を入力し、Options には、\n",
    L"\t新しく設定するフラグ文字を入力します。\n\n",
    L"\tフラグには次の文字を単独もしくは組み合わせて指定します。\n\n",
    L"\tE : 次回ログイン時にパスワード変更を要求するように指定します。\n",
    L"\t    この文字フラグは単独でしか指定できません。\n",
    L"\t    パスワードの無期限状態 (X) は解除されます。\n",
    L"\tC : ユーザーによるパスワード変更を禁止します。(c との併用は不可)\n",
    L"\tc : ユーザーによるパスワード変更禁止を解除します。(C との併用は不可)\n",
    L"\tX : パスワードを無期限にします。(x との併用は不可)\n",
    L"\tx : パスワード無期限状態を解除します。(X との併用は不可)\n",
    L"\tD : アカウントを無効化します。(d との併用は不可)\n",
    L"\td : アカウントを有効化します。(D との併用は不可)\n\n",
    PauseHere,
    L"/setgroup\n\tユーザー アカウントにローカル グループを割り当てます。\n",
    L"\tName には割り当てるの設定をするユーザー名を入力し、\n",
    L"\tLocalGroups には割当先のローカル グループ名を入力します。\n",
    L"\tセミコロン (;) で区切ることで複数指定ができます。\n\n",
    L"/delgroup\n\tユーザー アカウントからローカル グループを割り当てを解除ます。\n",
    L"\tName には割り当て解除をするユーザー名を入力し、\n",
    L"\tLocalGroups には解除したいローカル グループ名を入力します。\n",
    L"\tセミコロン (;) で区切ることで複数指定ができます。\n\n",
    L"/unlock\n\tユーザー アカウントのロックアウトを解除します。\n",
    L"\tName にはロックアウト解除をするユーザー名を入力します。\n\n",
    L"/passreset\n\tユーザー アカウントのパスワードを強制リセットします。\n",
    L"\tName にはリセット対象のユーザー名を入力します。\n\n",
    L"\tパスワードをリセットすると、当該ユーザーが NTFS 暗号化システムを利用\n",
    L"\tしていた場合にそれらの情報にアクセスできなくなるなどの弊害が発生しま\n",
    L"\tす。\n\n",
    L"\tこのため、パスワードを忘れてしまい、パスワード リセット ディスクを作\n",
    L"\t成していなかった場合の最終手段としてのみ実行してください。\n\n",
    L"/list\n\tユーザー アカウントの一覧 (名前、ID、状態、フル ネーム、説明) を表示します。\n",
    L"\t/format:csv、/format:tsv または /format:json を付けると、アカウント\n",
    L"\tレポートと同じ列を CSV、TSV または JSON (オブジェクトの配列) で出力します。\n\n",
    PauseHere,
    L"Name、FullName、Options および LocalGroups 内に半角スペースが含まれる場合はダブルクォーテーション (\") で括ってください。\n",
    L"また、/user スイッチのみを指定し、ユーザー名のみ入力した場合はそのユーザー アカウントの詳細情報を表示します。\n",
    L"先頭に /computer:一覧 を付けると、一覧のコンピューターで実行します。(例 : Ambcmd /computer:PC01,PC02 /user /unlock \"Name\")\n\n",
};

static const wchar_t* const GroupHelpText[] = {
    L"/group スイッチはローカル グループの管理に使用します。\n\n",
    L"構文 :\n",
    L"Ambcmd /group \"Name\"\n",
    L"Ambcmd /group /add \"Name\" \"Comment\"\n",
    L"Ambcmd /group /rename \"Name\" \"NewName\"\n",
    L"Ambcmd /group [/remove | /delete] \"Name\"\n",
    L"Ambcmd /group [/comment | /description] \"Name\" \"Comment\"\n",
    L"Ambcmd /group [/adduser | /setuser | /deluser] \"Name\" \"Membership\"\n",
    L"Ambcmd /group /list [/format:csv | /format:tsv | /format:json]\n\n",
    PauseHere,
    L"/add\n\tローカル グループを新規に作成します。\n",
    L"\tName に新しいグループ名を入力し、Comment には新しく作成される\n",
    L"\tローカル グループに対する説明を入力します。コメントを省略したい\n",
    L"\tときは、\"\" を指定します。\n\n",
    L"/rename\n\tローカル グループを名前を変更します。\n",
    L"\tName には変更元のローカル グループ名を入力し、NewName には変更\n",
    L"\t後のローカル グループ名を入力します。\n\n",
    L"/remove または /delete\n\tローカル グループを削除します。\n",
    L"\tName には削除するローカル グループ名を入力します。\n",
    L"\t削除してもユーザーは削除されませんが、グループ単位でアクセス制限等を\n",
    L"\t設定していた場合に不具合が発生する可能性があります。\n\n",
    L"/comment または /description\n\tローカル グループのコメントを設定します。\n",
    L"\tName にはコメントを設定するローカル グループ名を入力し、\n",
    L"\tComment には新しく設定するコメントを入力します。\n",
    L"\t既にコメントが設定されていると、ここで入力したコメントで上書きされます。\n",
    PauseHere,
    L"/adduser \n\tローカル グループへユーザーを追加します。\n",
    L"\tName にはユーザー追加先のローカル グループ名を入力し、\n",
    L"\tMembership には追加したいユーザーを指定します。セミコロン (;) で\n",
    L"\t区切ることで複数指定ができます。追記処理となるため、すでに追加済み\n",
    L"\tユーザーが削除されることはありません。ただし、Membership 内に追加\n",
    L"\t済みユーザーが存在した場合はエラーとなりますのでご注意ください。\n\n",
    L"/setuser \n\tローカル グループへユーザーを設定します。\n",
    L"\tName にはユーザー設定先のローカル グループ名を入力し、\n",
    L"\tMembership には設定したいユーザーを指定します。セミコロン (;) で\n",
    L"\t区切ることで複数指定ができます。/setuser スイッチで設定すると、\n",
    L"\t割り当て済みユーザーはすべて解除され、Membership で指定したものに\n",
    L"\t置き換わります。\n\n",
    L"/deluser \n\tローカル グループからユーザーを削除します。\n",
    L"\tName には対象のローカル グループ名を入力し、Membership には削除\n",
    L"\tしたいユーザーを指定します。セミコロン (;) で区切ることで複数指定\n",
    L"\tができます。削除済みだったり、追加されていないユーザーが Membership\n",
    L"\t内に含まれているとエラーとなりますのでご注意ください。\n\n",
    L"/list\n\tローカル グループの一覧 (名前、ID、説明、メンバー数) を表示します。\n",
    L"\t/format:csv、/format:tsv または /format:json を付けると、アカウント\n",
    L"\tレポートと同じ列を CSV、TSV または JSON (オブジェクトの配列) で出力します。\n\n",
    PauseHere,
    L"Name、Commen、および Membership 内に半角スペースが含まれる場合はダブルクォーテーション (\") で括ってください。\n",
    L"また、/group スイッチのみを指定し、ローカル グループ名のみ入力した場合はそのローカル グループの詳細情報を表示します。\n",
    L"先頭に /computer:一覧 を付けると、一覧のコンピューターで実行します。(例 : Ambcmd /computer:@pcs.txt /group /adduser \"Name\" \"Membership\")\n\n",
};

// Waits for one key press without printing anything: the command interpreter
// named by COMSPEC (else cmd.exe) runs "PAUSE >NUL" with /c.
static void WaitForKey()
{
    // Everything printed so far must be out before the interpreter takes over.
    fflush(stdout);
    _wsystem(L"PAUSE >NUL");
}

template <size_t N> static void PrintLines(const wchar_t* const (&text)[N])
{
    for (const wchar_t* line : text) {
        if (line == PauseHere)
            WaitForKey();
        else
            PrintText(line);
    }
}

// "Ambcmd [/computer:一覧] [/user | /group | ...] [引数] [/s | /silent]"
static std::wstring UsageSynopsis()
{
    std::wstring line = L"Ambcmd";
    for (const UsageRow& option : UsageOptions)
        line += std::wstring(L" [") + option.synopsis + L"]";
    line += L" [";
    for (const UsageRow& command : UsageCommands) {
        if (&command != UsageCommands)
            line += L" | ";
        line += command.synopsis;
    }
    return line + L"] [引数] [/s | /silent]\n\n";
}

void PrintUsage()
{
    PrintText(L"使い方 :\n");
    PrintText(UsageSynopsis().c_str());
    for (const UsageRow& command : UsageCommands)
        PrintText(command.description);
    PrintText(UsageArguments);
    for (const UsageRow& option : UsageOptions)
        PrintText(option.description);
    PrintText(UsageClosing);
}

void PrintUserHelp()
{
    PrintLines(UserHelpText);
}

void PrintGroupHelp()
{
    PrintLines(GroupHelpText);
}
