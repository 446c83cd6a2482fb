#!/usr/bin/env python3
"""Ambcmd end to end: whole command lines run by the sim build on a fresh
simulated world; the whole output, decoded from CP932, is compared with the
expected transcript (the banner's rights line aside), and the outcome is
checked in the account database (AmbSimCtl dump).

Usage: ambcmd_test.py GROUP   (one CTest case per group; see GROUPS below)
"""
import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

WINE_RUN = os.environ.get('WINE_RUN', '')
if not os.path.exists(WINE_RUN):
    # The runner of the test bed, wherever the registering folder is.
    WINE_RUN = os.path.join(os.environ.get('AMB_SOURCE_DIR', ''), 'tests', 'wine-run.sh')
SIM_BIN = os.environ.get('AMB_SIM_BIN_DIR', '')
HELPER = os.environ.get('AMB_CLI_HELPER', '')
AMBCMD = os.path.join(SIM_BIN, 'Ambcmd.exe')
SIMCTL = os.path.join(SIM_BIN, 'AmbSimCtl.exe')
RUN_TIMEOUT = 30

# Wine now and then fails to start a process before any of its code runs
# ("wine: failed to map the shared user data: c0000018", exit code 1). Such a
# start changed nothing, so it is simply repeated. Wine's error channel stays on
# (on standard error only) so that the failure can be recognised.
WINE_START_FAILURE = re.compile(rb'wine: (failed to|could not)')


def run_wine(args, env=None, input=b''):
    env = dict(env or os.environ, WINEDEBUG='err+all,fixme-all')
    for attempt in range(3):
        out = subprocess.run([WINE_RUN] + list(args), env=env, input=input, capture_output=True,
                             timeout=RUN_TIMEOUT)
        if not (out.returncode != 0 and not out.stdout and WINE_START_FAILURE.search(out.stderr)):
            break
    return out


# ---------------------------------------------------------------- texts

RULE = '=' * 42
BANNER = (f'{RULE}\nAmbrelle\nコマンドライン ツール for x64\n'
          'バージョン 1.00 (1.00.2014.102)\n«RIGHTS»\n' + f'{RULE}\n\n')
NOT_ADMIN = '警告 : 管理者権限がないか、標準権限で実行されています。\n\n'
CMDLINE_ERROR = 'エラー : コマンド ラインの指定が正しくありません。\n\n'
DONE = '処理は正常に終了しました。\n\n'
TIME = '«TIME»'  # a time line's value, checked for its form only

USAGE = (
    '使い方 :\n'
    'Ambcmd [/computer:一覧] [/as:ユーザー] [/user | /group | /report | /import | /policy | /vault:ファイル | /remote | /help | /?] [引数] [/s | /silent]\n\n'
    '/user  : ユーザー アカウントを追加・削除・設定を行う場合に使用します。\n'
    '/group : ローカル グループを追加・削除・設定を行う場合に使用します。\n'
    '/report: アカウント レポート (すべてのユーザーとローカル グループ) をファイルに保存します。\n'
    '         Ambcmd /report "File" [/format:csv | /format:tsv]\n'
    '/import: ファイルからユーザーとグループをまとめて作成・変更します。(/import /? で詳細)\n'
    '/policy: パスワードとロックアウトのポリシーを表示・設定します。(/policy /? で詳細)\n'
    '/vault: パスワード保管庫を作成 (/init)・表示 (/show [コンピューター]、/history) します。\n'
    '         Ambcmd /user /rotate "Name" /vault:ファイル でパスワードを変更して記録します。\n'
    '/remote: Ambcmd /remote /status で、このコンピューターをほかから管理するための設定を表示します。\n'
    '/help  : この画面を表示します。\n'
    '/?     : /help と同じです。\n'
    '引数   : スイッチに応じた引数を指定します。(半角スペース区切り)\n'
    '/s     : サイレント モードで実行します。進捗と実行結果のみが表示されます。\n'
    '         (ユーザーに確認は求められません。)\n'
    '/silent: /s と同じです。\n'
    '/computer:一覧\n'
    '       : 一覧のコンピューターで実行します。先頭 (/user などの前) に指定します。\n'
    '         一覧はコンピューター名、DNS 名または IP アドレスをコンマ (,) で区切るか、\n'
    '         @ファイル名 (1 行に 1 台。空行と # で始まる行は無視) で指定します。\n'
    '         複数のコンピューターでは 8 台ずつ同時に実行し、結果をコンピューターごとに\n'
    '         表示します。1 台でも失敗すると終了コードは 1 になります。\n'
    '/as:ユーザー\n'
    '       : /computer:一覧 の直後に指定し、各コンピューターにこのアカウントで接続します。\n'
    '         パスワードは最初に 1 回だけ尋ねます (標準入力がコンソールでなければ 1 行を読みます)。\n\n'
    '詳細な使用方法については、/user または /group の後に /? または /help を付けてもう一度呼び出してください。\n\n')

# The help texts, block by block; a pause follows every block but the last.
# The stand-in interpreter writes PAUSE_MARK to the output it shares with Ambcmd,
# so the transcript shows where each pause fell.
PAUSE_MARK = '[PAUSE]'
USER_HELP_BLOCKS = [
    ("/user スイッチはユーザー アカウントの管理に使用します。\n\n"
     "構文 :\n"
     "Ambcmd /user \"Name\"\n"
     "Ambcmd /user /add \"Name\" \"FullName\"\n"
     "Ambcmd /user /rename \"Name\" \"NewName\"\n"
     "Ambcmd /user [/remove | /delete] \"Name\"\n"
     "Ambcmd /user /fullname \"Name\" \"FullName\"\n"
     "Ambcmd /user [/comment | /description] \"Name\" \"Comment\"\n"
     "Ambcmd /user /flags \"Name\" \"Options\"\n"
     "Ambcmd /user [/setgroup | /delgroup] \"Name\" \"LocalGroups\"\n"
     "Ambcmd /user /unlock \"Name\"\n"
     "Ambcmd /user /passreset \"Name\"\n"
     "Ambcmd /user /list [/format:csv | /format:tsv | /format:json]\n\n"),
    ("/add\n\tユーザー アカウント新規に作成します。\n"
     "\tName に新しいユーザー名を入力し、FullName には新しく作成される\n"
     "\tユーザーに対するいわゆる通称名 (フル ネーム) を入力します。省略した\n"
     "\tいときは、\"\" を指定します。フル ネームは Windows のログイン画面等\n"
     "\tで使われます。\n\n"
     "/rename\n\tユーザー名を変更します。\n"
     "\tName には変更元のユーザー名を入力し、NewName には変更後のユーザー\n"
     "\t名を入力します。\n\n"
     "/remove または /delete\n\tユーザー アカウントを削除します。\n"
     "\tName には削除するユーザー名を入力します。\n"
     "\t削除すると、当該ユーザーは Windows にログインできなくなります。\n\n"
     "/fullname\n\tユーザー アカウントのフル ネームを設定します。\n"
     "\tName にはコメントを設定するユーザー名を入力し、FullName には、\n"
     "\t新しく設定するフル ネームを入力します。\n"
     "\t既にフル ネームが設定されていると、ここで設定した名称で上書きされます。\n\n"),
    ("/comment または /description\n\tユーザー アカウントのコメントを設定します。\n"
     "\tName にはコメントを設定するユーザー名を入力し、\n"
     "\tComment には新しく設定するコメントを入力します。\n"
     "\t既にコメントが設定されていると、ここで入力した内容で上書きされます。\n\n"
     "\tコメントを削除する場合は \"\" を指定します。\n\n"
     "/flags\n\tユーザー アカウントのフラグを設定します。\n"
     "\tName にはフラグを設定するユーザー名を入力し、Options には、\n"
     "\t新しく設定するフラグ文字を入力します。\n\n"
     "\tフラグには次の文字を単独もしくは組み合わせて指定します。\n\n"
     "\tE : 次回ログイン時にパスワード変更を要求するように指定します。\n"
     "\t    この文字フラグは単独でしか指定できません。\n"
     "\t    パスワードの無期限状態 (X) は解除されます。\n"
     "\tC : ユーザーによるパスワード変更を禁止します。(c との併用は不可)\n"
     "\tc : ユーザーによるパスワード変更禁止を解除します。(C との併用は不可)\n"
     "\tX : パスワードを無期限にします。(x との併用は不可)\n"
     "\tx : パスワード無期限状態を解除します。(X との併用は不可)\n"
     "\tD : アカウントを無効化します。(d との併用は不可)\n"
     "\td : アカウントを有効化します。(D との併用は不可)\n\n"),
    ("/setgroup\n\tユーザー アカウントにローカル グループを割り当てます。\n"
     "\tName には割り当てるの設定をするユーザー名を入力し、\n"
     "\tLocalGroups には割当先のローカル グループ名を入力します。\n"
     "\tセミコロン (;) で区切ることで複数指定ができます。\n\n"
     "/delgroup\n\tユーザー アカウントからローカル グループを割り当てを解除ます。\n"
     "\tName には割り当て解除をするユーザー名を入力し、\n"
     "\tLocalGroups には解除したいローカル グループ名を入力します。\n"
     "\tセミコロン (;) で区切ることで複数指定ができます。\n\n"
     "/unlock\n\tユーザー アカウントのロックアウトを解除します。\n"
     "\tName にはロックアウト解除をするユーザー名を入力します。\n\n"
     "/passreset\n\tユーザー アカウントのパスワードを強制リセットします。\n"
     "\tName にはリセット対象のユーザー名を入力します。\n\n"
     "\tパスワードをリセットすると、当該ユーザーが NTFS 暗号化システムを利用\n"
     "\tしていた場合にそれらの情報にアクセスできなくなるなどの弊害が発生しま\n"
     "\tす。\n\n"
     "\tこのため、パスワードを忘れてしまい、パスワード リセット ディスクを作\n"
     "\t成していなかった場合の最終手段としてのみ実行してください。\n\n"
     "/list\n\tユーザー アカウントの一覧 (名前、ID、状態、フル ネーム、説明) を表示します。\n"
     "\t/format:csv、/format:tsv または /format:json を付けると、アカウント\n"
     "\tレポートと同じ列を CSV、TSV または JSON (オブジェクトの配列) で出力します。\n\n"),
    ("Name、FullName、Options および LocalGroups 内に半角スペースが含まれる場合はダブルクォーテーション (\") で括ってください。\n"
     "また、/user スイッチのみを指定し、ユーザー名のみ入力した場合はそのユーザー アカウントの詳細情報を表示します。\n"
     "先頭に /computer:一覧 を付けると、一覧のコンピューターで実行します。(例 : Ambcmd /computer:PC01,PC02 /user /unlock \"Name\")\n\n"),
]
GROUP_HELP_BLOCKS = [
    ("/group スイッチはローカル グループの管理に使用します。\n\n"
     "構文 :\n"
     "Ambcmd /group \"Name\"\n"
     "Ambcmd /group /add \"Name\" \"Comment\"\n"
     "Ambcmd /group /rename \"Name\" \"NewName\"\n"
     "Ambcmd /group [/remove | /delete] \"Name\"\n"
     "Ambcmd /group [/comment | /description] \"Name\" \"Comment\"\n"
     "Ambcmd /group [/adduser | /setuser | /deluser] \"Name\" \"Membership\"\n"
     "Ambcmd /group /list [/format:csv | /format:tsv | /format:json]\n\n"),
    ("/add\n\tローカル グループを新規に作成します。\n"
     "\tName に新しいグループ名を入力し、Comment には新しく作成される\n"
     "\tローカル グループに対する説明を入力します。コメントを省略したい\n"
     "\tときは、\"\" を指定します。\n\n"
     "/rename\n\tローカル グループを名前を変更します。\n"
     "\tName には変更元のローカル グループ名を入力し、NewName には変更\n"
     "\t後のローカル グループ名を入力します。\n\n"
     "/remove または /delete\n\tローカル グループを削除します。\n"
     "\tName には削除するローカル グループ名を入力します。\n"
     "\t削除してもユーザーは削除されませんが、グループ単位でアクセス制限等を\n"
     "\t設定していた場合に不具合が発生する可能性があります。\n\n"
     "/comment または /description\n\tローカル グループのコメントを設定します。\n"
     "\tName にはコメントを設定するローカル グループ名を入力し、\n"
     "\tComment には新しく設定するコメントを入力します。\n"
     "\t既にコメントが設定されていると、ここで入力したコメントで上書きされます。\n"),
    ("/adduser \n\tローカル グループへユーザーを追加します。\n"
     "\tName にはユーザー追加先のローカル グループ名を入力し、\n"
     "\tMembership には追加したいユーザーを指定します。セミコロン (;) で\n"
     "\t区切ることで複数指定ができます。追記処理となるため、すでに追加済み\n"
     "\tユーザーが削除されることはありません。ただし、Membership 内に追加\n"
     "\t済みユーザーが存在した場合はエラーとなりますのでご注意ください。\n\n"
     "/setuser \n\tローカル グループへユーザーを設定します。\n"
     "\tName にはユーザー設定先のローカル グループ名を入力し、\n"
     "\tMembership には設定したいユーザーを指定します。セミコロン (;) で\n"
     "\t区切ることで複数指定ができます。/setuser スイッチで設定すると、\n"
     "\t割り当て済みユーザーはすべて解除され、Membership で指定したものに\n"
     "\t置き換わります。\n\n"
     "/deluser \n\tローカル グループからユーザーを削除します。\n"
     "\tName には対象のローカル グループ名を入力し、Membership には削除\n"
     "\tしたいユーザーを指定します。セミコロン (;) で区切ることで複数指定\n"
     "\tができます。削除済みだったり、追加されていないユーザーが Membership\n"
     "\t内に含まれているとエラーとなりますのでご注意ください。\n\n"
     "/list\n\tローカル グループの一覧 (名前、ID、説明、メンバー数) を表示します。\n"
     "\t/format:csv、/format:tsv または /format:json を付けると、アカウント\n"
     "\tレポートと同じ列を CSV、TSV または JSON (オブジェクトの配列) で出力します。\n\n"),
    ("Name、Commen、および Membership 内に半角スペースが含まれる場合はダブルクォーテーション (\") で括ってください。\n"
     "また、/group スイッチのみを指定し、ローカル グループ名のみ入力した場合はそのローカル グループの詳細情報を表示します。\n"
     "先頭に /computer:一覧 を付けると、一覧のコンピューターで実行します。(例 : Ambcmd /computer:@pcs.txt /group /adduser \"Name\" \"Membership\")\n\n"),
]

SID_NOTE = ('ユーザーやローカル グループはセキュリティ識別子 (Security Identifier。以下 SID)\n'
            'と呼ばれる識別子を持っており、Windows 上ではこの SID によって管理されています。\n\n'
            '削除後、同一名でローカル グループを再作成した場合も新たに SID が発行され、\n'
            'システム上ではまったく異なるものとして扱われます。\n\n')


def delete_user_warning(name):
    return ('！注意！\n'
            f'ユーザー {name} を削除しようとしています。\n\n' + SID_NOTE +
            'また、削除を続行すると対象ユーザーはこれ以降ネットワーク越しを含め、Windows に\n'
            'ログインすることができなくなります。\n\n'
            '削除しようとしているユーザーにユーザー プロファイルがある場合、保存されている\n'
            'ユーザー プロファイル フォルダ内のファイルが使用できなくなることがあります。\n\n'
            'このため、削除前にバックアップを取るか、システム復元ポイントを作成しておくことを\n'
            'お勧めします。\n\n'
            'ユーザー アカウントを削除してもよろしいですか？ (Y/N)')


def reset_password_warning(name):
    return ('！注意！\n'
            f'ユーザー {name} のパスワードを強制リセットしようとしています。\n\n'
            'パスワードを強制的にリセットすると、そのユーザーは自身の資格情報、\n'
            '暗号化属性の情報、および証明書データが利用できなくなります。\n\n'
            '本機能はパスワードを忘れてしまい、さらにパスワード リセット ディスク\n'
            'を作成していなかった場合の最終手段としてのみ実行してください。\n\n'
            'ユーザーがパスワードを知っていて、なおかつそのパスワードを変更したい\n'
            '場合はそのユーザーでログイン後、Ctrl + Alt + Delete キーを押して\n'
            '[パスワードの変更] ボタンを押すか、コントロール パネルの [ユーザー\n'
            'アカウント] を使ってください。\n\n'
            'パスワードを強制リセットしてもよろしいですか？\n'
            '(リセットするとそのユーザーのパスワードは空になります。) (Y/N)')


def delete_group_warning(name):
    return ('！注意！\n'
            f'ローカル グループ {name} を削除しようとしています。\n\n' + SID_NOTE +
            'なお、ローカル グループを削除してもユーザーは削除されませんが、削除しようと\n'
            'しているグループ名を使って NTFS アクセス制限を行っている場合、ファイルやフォルダ'
            'のアクセスに影響を及ぼす可能性があります。\n\n'
            'ローカル グループを削除してもよろしいですか？ (Y/N)')


# Status codes the simulated platform answers with, as on Windows.
ERROR_ACCESS_DENIED = 5
ERROR_NOT_ENOUGH_MEMORY = 8
ERROR_INVALID_PARAMETER = 87
ERROR_NO_SUCH_ALIAS = 1376
ERROR_MEMBER_NOT_IN_ALIAS = 1377
ERROR_MEMBER_IN_ALIAS = 1378
ERROR_ALIAS_EXISTS = 1379
ERROR_NO_SUCH_MEMBER = 1387
NERR_GroupNotFound = 2220
NERR_UserNotFound = 2221
NERR_UserExists = 2224
NERR_PasswordTooShort = 2245
ERROR_FILE_NOT_FOUND = 2
ERROR_BAD_NETPATH = 53
ERROR_NO_UNICODE_TRANSLATION = 1113
ERROR_LOGON_FAILURE = 1326
ALL_CODES = [ERROR_LOGON_FAILURE, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER,
             ERROR_NO_SUCH_ALIAS, ERROR_MEMBER_NOT_IN_ALIAS, ERROR_MEMBER_IN_ALIAS,
             ERROR_ALIAS_EXISTS, ERROR_NO_SUCH_MEMBER, NERR_GroupNotFound, NERR_UserNotFound,
             NERR_UserExists, NERR_PasswordTooShort, 1332, 2, 53, 1113, 1722]
# The network codes' texts come from the system's netmsg.dll: in the test bed our
# stand-in (sim/netmsg/netmsg.mc), so the transcripts show these very texts.
NETWORK_TEXTS = {NERR_GroupNotFound: '指定されたグループはありません。',
                 NERR_UserNotFound: '指定されたユーザーはありません。',
                 NERR_UserExists: '同じ名前のアカウントが既にあります。',
                 NERR_PasswordTooShort: 'パスワードがパスワード ポリシーの条件 (長さ、複雑さ、履歴) を満たしていません。'}
_error_texts = {}


def error_texts():
    """FormatErrorText of every code, asked once from the helper under Wine."""
    if not _error_texts:
        out = run_wine([HELPER, 'errtext'] + [str(c) for c in ALL_CODES])
        for line in out.stdout.decode('utf-8').splitlines():
            code, _, text = line.partition('\t')
            text = text.replace('\\n', '\n').replace('\\r', '\r').replace('\\\\', '\\')
            _error_texts[int(code)] = text
        _error_texts.update(NETWORK_TEXTS)
    return _error_texts


def net_error(caption, code):
    text = error_texts()[code]
    return f'エラー : {caption}\nエラー番号 : 0x{code:08X}\nエラー詳細 :\n　{text}\n\n'


UNREACHABLE_HINT = ('ヒント : コンピューターに届きません。名前、ネットワーク、相手のファイアウォールの'
                    '規則グループ「ファイルとプリンターの共有」を確かめてください。'
                    'ヘルプ「リモート管理の準備」をご覧ください。\n\n')


LOGON_HINT = ('ヒント : 相手のコンピューターがユーザー名またはパスワードを認めませんでした。'
              '失敗は相手のロックアウトの回数に数えられます。ヘルプ「リモート管理の準備」をご覧ください。\n\n')
UAC_HINT = ('ヒント : 相手のコンピューターでネットワーク経由の管理者として扱われるのは、組み込みの '
            'Administrator とドメインの管理者だけです (リモート UAC)。ほかのローカル管理者を使うには相手で '
            'LocalAccountTokenFilterPolicy の設定が必要です。またはこのアカウントが相手の Administrators '
            'に属していません。ヘルプ「リモート管理の準備」をご覧ください。\n\n')


def remote_error(caption, code):
    """The error block of a remote computer: the hint on reaching it follows."""
    return net_error(caption, code) + UNREACHABLE_HINT


# ---------------------------------------------------------------- the world


class Run:
    def __init__(self, code, text, errors=b''):
        self.code = code
        self.text = text
        self.errors = errors  # standard error, Wine's messages included


class World:
    """A fresh simulated world in its own folder."""

    def __init__(self, *reset_args):
        self.folder = tempfile.mkdtemp(prefix='ambcmd-')
        self.env = dict(os.environ, AMBRELLE_SIM_DIR=self.folder)
        self.ctl('reset', *reset_args)

    def close(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def ctl(self, *args):
        out = run_wine([SIMCTL] + list(args), self.env)
        if out.returncode != 0:
            raise AssertionError(f'AmbSimCtl {args} failed ({out.returncode}): '
                                 f'{out.stdout!r} {out.stderr!r}')
        return out.stdout.decode('utf-8', 'replace')

    def dump(self):
        return json.loads(self.ctl('dump'))

    def add_reachable_computer(self, name, *options):
        """A remote computer as Windows 11 sets it up, reached as Windows allows:
        its built-in Administrator enabled, stored as a credential for its name
        and each --ip address (cmdkey /add:NAME /user:NAME\\Administrator)."""
        self.ctl('computer', 'add', name, *options)
        self.ctl('user', 'set', 'Administrator', '--enable', '--password', 'Adm1n!pw', '--computer', name)
        targets = [name] + [options[i + 1] for i, o in enumerate(options) if o == '--ip']
        for target in targets:
            self.ctl('credential', 'add', target, '--user', name + '\\Administrator', '--password', 'Adm1n!pw')

    def run(self, *args, answer=None, pause_log=None):
        """Runs Ambcmd with args; answer is piped to standard input (None: empty input)."""
        command = []
        if pause_log is not None:
            # COMSPEC must be set on the Windows side (Wine resets it from the registry).
            command += [HELPER, 'with-comspec', 'Z:' + pause_log.replace('/', '\\')]
        command += [AMBCMD] + list(args)
        data = b'' if answer is None else answer.encode('cp932')
        out = run_wine(command, self.env, data)
        return Run(out.returncode, out.stdout.decode('cp932'), out.stderr)

    # ---- database views
    def user(self, name, dump=None):
        dump = dump or self.dump()
        for u in dump['users']:
            if u['name'].upper() == name.upper():
                return u
        return None

    def group(self, name, dump=None):
        dump = dump or self.dump()
        for g in dump['groups']:
            if g['name'].upper() == name.upper():
                return g
        return None

    def member_names(self, group, dump=None):
        """Members of a group as DOMAIN\\name, in stored order."""
        return [m['name'] for m in self.group(group, dump)['members']]


def local_time(seconds):
    return datetime.datetime.fromtimestamp(seconds).strftime('%Y/%m/%d %H:%M')


# ---------------------------------------------------------------- checking


class AmbcmdCase(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.world = World()
        self.computer = self.world.dump()['computer']

    def tearDown(self):
        self.world.close()

    def expect(self, run, expected, code, banner=True, admin=True):
        """The whole output must be the banner (unless silent), the rights warning
        (when not elevated) and then expected, with CR LF line ends."""
        full = (BANNER if banner else '') + ('' if admin else NOT_ADMIN) + expected
        self.assertTranscript(run.text, full)
        self.assertEqual(run.code, code, f'exit code; output:\n{run.text}')

    def assertTranscript(self, actual, expected):
        expected = expected.replace('\n', '\r\n')
        pattern = ''
        for piece in re.split('(«RIGHTS»|«TIME»)', expected):
            if piece == '«RIGHTS»':
                pattern += r'Copyright \(C\) [^\r\n]*Dunmarrow[^\r\n]*'
            elif piece == '«TIME»':
                pattern += r'\d{4}/\d{2}/\d{2} \d{2}:\d{2}'
            else:
                pattern += re.escape(piece)
        if not re.fullmatch(pattern, actual, re.S):
            self.assertEqual(actual.replace('\r\n', '\n'), expected.replace('\r\n', '\n'))
            self.fail('line ends differ: ' + repr(actual))

    def user_details(self, typed, name, dump=None):
        """The details of a user as PrintUserDetails shows them, from the database."""
        dump = dump or self.world.dump()
        u = self.world.user(name, dump)
        flags = u['flags']
        groups = ''.join(f'　{g}\n' for g in u['groups'])
        yes_no = lambda bit: 'はい' if flags & bit else 'いいえ'
        text = (f'ユーザー {typed} のデータです。\n\n[基本情報]\n'
                f'ユーザー名 :\n　{u["name"]}\n'
                f'フル ネーム (アカウント名) :\n　{u["fullName"]}\n'
                f'コメント :\n　{u["comment"]}\n'
                f'SID :\n　{u["sid"]}\n'
                f'所属ローカル グループ :\n{groups}\n'
                '[追加情報]\n'
                f'アカウントの状態　　　 : {"無効" if flags & 0x2 else "有効"}\n'
                f'ロックアウト　　　　　 : {yes_no(0x10)}\n'
                f'要パスワード変更　　　 : {yes_no(0x800000)}\n'
                f'パスワード変更禁止　　 : {yes_no(0x40)}\n'
                f'定期的なパスワード変更 : {"いいえ" if flags & 0x10000 else "はい"}\n\n'
                '[その他]\n')
        text += ('パスワード有効期限　　 : ' +
                 (f'{TIME}\n' if u['passwordExpired'] else 'なし\n'))
        expires = u['acctExpires']
        text += ('アカウント有効期限　　 : ' +
                 ('なし\n' if expires in (0, 0xFFFFFFFF) else f'{local_time(expires)}\n'))
        text += ('最終ログイン日時　　　 : ' + (f'{local_time(u["lastLogon"])}\n' if u['lastLogon']
                                         else '一度もログインしていません\n'))
        text += f'最終パスワード変更日時 : {TIME}\n\n'
        return text

    def group_details(self, typed, name, dump=None):
        dump = dump or self.world.dump()
        g = self.world.group(name, dump)
        members = ''.join(f'　{m["name"].split(chr(92))[-1]}\n' for m in g['members'])
        return (f'ローカル グループ "{typed}" の詳細データです。\n\n'
                f'SID :\n　{g["sid"]}\n\n'
                f'グループ名 :\n　{g["name"]}\n\n'
                f'コメント :\n　{g["comment"]}\n\n'
                f'所属メンバー :\n{members}\n')

    def qualified(self, name):
        return f'{self.computer}\\{name}'


# ---------------------------------------------------------------- front end


class Frontend(AmbcmdCase):
    def test_no_arguments_elevated_and_not(self):
        self.expect(self.world.run(), USAGE, 0)
        self.world.ctl('session', '--user', 'kanri', '--admin', '1', '--elevated', '0')
        self.expect(self.world.run(), USAGE, 0, admin=False)
        self.expect(self.world.run('/?'), USAGE, 0, admin=False)
        self.expect(self.world.run('/HELP'), USAGE, 0, admin=False)
        # Silent: neither banner nor warning, only the result.
        self.expect(self.world.run('/help', '/silent'), USAGE, 0, banner=False)

    def test_silent_alone_and_unknown_switches_print_nothing_more(self):
        self.expect(self.world.run('/s'), '', 2, banner=False)
        self.expect(self.world.run('/S'), '', 2, banner=False)
        self.expect(self.world.run('/foo'), '', 2)
        self.expect(self.world.run('/user', '/foo', 'kanri'), '', 2)
        self.expect(self.world.run('/group', '/adduser2', 'Users', 'kanri'), '', 2)
        # "/s" at position 1 is the main switch and shifts nothing.
        self.expect(self.world.run('/s', '/user', '/add', 'taro'), '', 2, banner=False)
        self.assertIsNone(self.world.user('taro'))

    def test_command_line_errors_change_nothing(self):
        before = self.world.dump()
        for args in (('/user', '/add', '/taro'), ('/user', '/add'), ('/user', '/remove'),
                     ('/user', '/rename', 'kanri'), ('/user', '/fullname', 'kanri'),
                     ('/user', '/comment', 'kanri'), ('/user', '/flags', 'kanri'),
                     ('/user', '/setgroup', 'kanri'), ('/group', '/delete', '/s'),
                     ('/group', '/rename', 'Users'), ('/group', '/setuser', 'Users'),
                     ('/group', '/comment', 'Users')):
            self.expect(self.world.run(*args), CMDLINE_ERROR, 2, banner='/s' not in args)
        after = self.world.dump()
        self.assertEqual(before['users'], after['users'])
        self.assertEqual(before['groups'], after['groups'])

    def test_switch_case_and_japanese_names(self):
        run = self.world.run('/USER', '/Add', '山田', '山田 太郎')
        self.expect(run, 'ユーザー 山田 は正常に作成されました。\n\n', 0)
        u = self.world.user('山田')
        self.assertEqual(u['fullName'], '山田 太郎')
        self.assertEqual(u['password'], '')
        run = self.world.run('/user', '山田', '/s')
        self.expect(run, self.user_details('山田', '山田') + DONE, 0, banner=False)
        self.assertIn('　山田 太郎\n', run.text.replace('\r\n', '\n'))

    def test_silent_switch_at_position_four_is_the_argument(self):
        run = self.world.run('/user', '/comment', 'kanri', '/s')
        self.expect(run, 'ユーザー kanri のコメントを設定しました。\n\n', 0, banner=False)
        self.assertEqual(self.world.user('kanri')['comment'], '/s')

    def test_refused_without_rights_and_long_names(self):
        # Names far longer than any buffer are printed whole and harm nothing.
        long_name = '長' * 3000
        run = self.world.run('/user', long_name, '/s')
        self.expect(run, net_error('ユーザー アカウントの情報を取得できませんでした。',
                                   NERR_UserNotFound) +
                    f'ユーザー {long_name} の情報を取得できませんでした。\n\n', 1, banner=False)
        run = self.world.run('/group', '/setuser', long_name, 'kanri', '/s')
        self.expect(run, f'ローカル グループ "{long_name}" のメンバーシップを設定しています...\n' +
                    net_error('ローカル グループのメンバーシップを設定できませんでした。',
                              NERR_GroupNotFound) +
                    f'エラー : ローカル グループ {long_name} のメンバーシップ置換ができませんでした。\n\n',
                    1, banner=False)
        self.world.ctl('session', '--user', 'kanri', '--admin', '1', '--elevated', '0')
        run = self.world.run('/user', '/add', 'taro')
        self.expect(run, net_error('ユーザー アカウントを追加できませんでした。', ERROR_ACCESS_DENIED) +
                    'エラー : ユーザー taro を作成できませんでした。\n\n', 1, admin=False)
        self.assertIsNone(self.world.user('taro'))

    def test_empty_name_is_looked_up(self):
        run = self.world.run('/user', '')
        self.expect(run, net_error('ユーザー アカウントの情報を取得できませんでした。',
                                   NERR_UserNotFound) +
                    'ユーザー  の情報を取得できませんでした。\n\n', 1)
        run = self.world.run('/group', 'nosuchgroup', '/silent')
        self.expect(run, net_error('ローカル グループの情報を取得できませんでした。',
                                   NERR_GroupNotFound) +
                    'ローカル グループ nosuchgroup の情報を取得できませんでした。\n\n', 1,
                    banner=False)


# ---------------------------------------------------------------- help texts


class Help(AmbcmdCase):
    def run_with_pauses(self, *args):
        log = os.path.join(self.world.folder, 'pauses.log')
        for attempt in range(3):
            if os.path.exists(log):
                os.remove(log)
            run = self.world.run(*args, pause_log=log)
            # The help texts change nothing: a run in which Wine failed to start
            # the stand-in interpreter is simply repeated.
            if not WINE_START_FAILURE.search(run.errors):
                break
        lines = []
        if os.path.exists(log):
            with open(log, encoding='utf-8') as f:
                lines = f.read().splitlines()
        return run, lines

    def check_pauses(self, lines, count):
        self.assertEqual(len(lines), count, lines)
        helper = os.path.basename(HELPER)
        for line in lines:
            self.assertRegex(line, r'(?i)^\S*' + re.escape(helper) + r' /c PAUSE >NUL$')

    def test_usage_has_no_pause(self):
        for args in (('/?',), ('/help',), ()):
            run, lines = self.run_with_pauses(*args)
            self.expect(run, USAGE, 0)
            self.check_pauses(lines, 0)

    def test_user_help_pauses_four_times(self):
        for args in (('/user',), ('/user', '/HELP'), ('/user', '/?')):
            run, lines = self.run_with_pauses(*args)
            self.expect(run, PAUSE_MARK.join(USER_HELP_BLOCKS), 0)
            self.check_pauses(lines, 4)
        # Silent mode drops the banner but neither the text nor the pauses.
        run, lines = self.run_with_pauses('/user', '/help', '/s')
        self.expect(run, PAUSE_MARK.join(USER_HELP_BLOCKS), 0, banner=False)
        self.check_pauses(lines, 4)

    def test_system_interpreter_pause_returns_without_a_terminal(self):
        # With the real cmd.exe, PAUSE >NUL prints nothing and, without a
        # terminal on standard input, returns at once.
        run = self.world.run('/group', '/?', '/s')
        self.expect(run, ''.join(GROUP_HELP_BLOCKS), 0, banner=False)

    def test_group_help_pauses_three_times(self):
        self.world.ctl('session', '--user', 'kanri', '--admin', '1', '--elevated', '0')
        for args in (('/group',), ('/group', '/?'), ('/Group', '/Help')):
            run, lines = self.run_with_pauses(*args)
            self.expect(run, PAUSE_MARK.join(GROUP_HELP_BLOCKS), 0, admin=False)
            self.check_pauses(lines, 3)


# ---------------------------------------------------------------- prompts


class Prompts(AmbcmdCase):
    def test_delete_user_answers(self):
        for i, answer in enumerate(('y\n', 'Y\n', 'yes\n')):
            name = f'taro{i}'
            self.world.ctl('user', 'add', name)
            run = self.world.run('/user', '/delete', name, answer=answer)
            self.expect(run, delete_user_warning(name) +
                        f'ユーザー {name} は正常に削除されました。\n\n', 0)
        for answer in ('n\n', 'x\n', '\n', None, 'no\nyes\n'):
            run = self.world.run('/user', '/remove', 'kanri', answer=answer)
            self.expect(run, delete_user_warning('kanri'), 0)
        dump = self.world.dump()
        self.assertIsNotNone(self.world.user('kanri', dump))
        for i in range(3):
            self.assertIsNone(self.world.user(f'taro{i}', dump))
        # The same command without a prompt goes through.
        run = self.world.run('/user', '/remove', 'kanri', '/s')
        self.expect(run, 'ユーザー kanri は正常に削除されました。\n\n', 0, banner=False)
        self.assertIsNone(self.world.user('kanri'))

    def test_reset_password_answers(self):
        self.world.ctl('user', 'add', 'hanako', '--password', 'Secret#1')
        for answer in ('N\n', None, ' y\n'):
            run = self.world.run('/user', '/passreset', 'hanako', answer=answer)
            self.expect(run, reset_password_warning('hanako'), 0)
        self.assertEqual(self.world.user('hanako')['password'], 'Secret#1')
        run = self.world.run('/user', '/passreset', 'hanako', answer='Yes, reset it\n')
        self.expect(run, reset_password_warning('hanako') +
                    'ユーザー hanako のパスワードは正常にリセットされました。\n\n', 0)
        self.assertEqual(self.world.user('hanako')['password'], '')

    def test_delete_group_answers(self):
        self.world.ctl('group', 'add', '経理部')
        for answer in ('\n', 'n\n', None):
            run = self.world.run('/group', '/remove', '経理部', answer=answer)
            self.expect(run, delete_group_warning('経理部'), 0)
        self.assertIsNotNone(self.world.group('経理部'))
        run = self.world.run('/group', '/delete', '経理部', answer='y\n')
        self.expect(run, delete_group_warning('経理部') +
                    'ローカル グループ 経理部 は正常に削除されました。\n\n', 0)
        self.assertIsNone(self.world.group('経理部'))


# ---------------------------------------------------------------- user commands


class UserCommands(AmbcmdCase):
    def test_details_of_the_session_user(self):
        run = self.world.run('/user', 'KANRI')
        self.expect(run, self.user_details('KANRI', 'kanri') + DONE, 0)
        text = run.text.replace('\r\n', '\n')
        self.assertIn('所属ローカル グループ :\n　Administrators\n　Users\n\n', text)
        self.assertIn('最終ログイン日時　　　 : 一度もログインしていません\n', text)
        self.assertIn('アカウント有効期限　　 : なし\n', text)
        self.assertIn('定期的なパスワード変更 : いいえ\n', text)
        # The last password change is the moment the account was made.
        set_at = self.world.user('kanri')['passwordLastSet']
        shown = re.search(r'最終パスワード変更日時 : (\S+ \S+)', text).group(1)
        self.assertIn(shown, {local_time(set_at + d) for d in (-60, 0, 60)})

    def test_details_of_a_locked_disabled_user_that_logged_on(self):
        self.world.ctl('user', 'add', 'jiro', '--full-name', '次郎', '--comment', '経理担当',
                       '--disabled')
        self.world.ctl('lockout', 'jiro')
        self.world.ctl('last-logon', 'jiro', '1700000000')
        run = self.world.run('/user', 'jiro')
        self.expect(run, self.user_details('jiro', 'jiro') + DONE, 0)
        text = run.text.replace('\r\n', '\n')
        self.assertIn('アカウントの状態　　　 : 無効\nロックアウト　　　　　 : はい\n', text)
        self.assertIn(f'最終ログイン日時　　　 : {local_time(1700000000)}\n', text)

    def test_account_expiry_line(self):
        """The expiry in local time, after 2038 too; 0 reads なし like never."""
        for value in ('1767193200', '4102531200', '0'):
            with self.subTest(value):
                self.world.ctl('user', 'set', 'kanri', '--expires', value)
                run = self.world.run('/user', 'kanri')
                self.expect(run, self.user_details('kanri', 'kanri') + DONE, 0)

    def test_add_user(self):
        run = self.world.run('/user', '/add', 'taro')
        self.expect(run, 'ユーザー taro は正常に作成されました。\n\n', 0)
        u = self.world.user('taro')
        self.assertEqual((u['fullName'], u['password'], u['disabled'], u['acctExpires']),
                         ('', '', False, 0xFFFFFFFF))  # never expires, not 1970
        self.assertIn('Users', u['groups'])
        run = self.world.run('/user', '/add', 'TARO', '太郎')
        self.expect(run, net_error('ユーザー アカウントを追加できませんでした。', NERR_UserExists) +
                    'エラー : ユーザー TARO を作成できませんでした。\n\n', 1)
        self.world.ctl('policy', 'min-length', '8')
        run = self.world.run('/user', '/add', 'saburo', '三郎', '/s')
        self.expect(run, net_error('ユーザー アカウントを追加できませんでした。',
                                   NERR_PasswordTooShort) +
                    'エラー : ユーザー saburo を作成できませんでした。\n\n', 1, banner=False)
        self.assertIsNone(self.world.user('saburo'))

    def test_rename_full_name_and_comment(self):
        self.world.ctl('user', 'add', 'taro', '--comment', '旧コメント')
        run = self.world.run('/user', '/rename', 'taro', '太郎')
        self.expect(run, 'ユーザー名を taro から 太郎 に変更しました。\n\n', 0)
        run = self.world.run('/user', '/rename', 'taro', 'jiro')
        self.expect(run, net_error('ユーザー名を取得できませんでした。', NERR_UserNotFound) +
                    'エラー : ユーザー名を taro から jiro に変更できませんでした。\n\n', 1)
        run = self.world.run('/user', '/fullname', '太郎', '山田 太郎')
        self.expect(run, 'ユーザー 太郎 のフル ネームを 山田 太郎 に設定しました。\n\n', 0)
        run = self.world.run('/user', '/fullname', 'nobody', 'x')
        self.expect(run, net_error('ユーザー アカウントのフル ネームを取得できませんでした。',
                                   NERR_UserNotFound) +
                    'エラー : ユーザー nobody のフル ネームを設定できませんでした。\n\n', 1)
        u = self.world.user('太郎')
        self.assertEqual((u['fullName'], u['comment']), ('山田 太郎', '旧コメント'))
        run = self.world.run('/user', '/description', '太郎', '')
        self.expect(run, 'ユーザー 太郎 のコメントを設定しました。\n\n', 0)
        self.assertEqual(self.world.user('太郎')['comment'], '')
        run = self.world.run('/user', '/comment', 'nobody', 'x')
        self.expect(run, net_error('ユーザー アカウントのコメントを取得できませんでした。',
                                   NERR_UserNotFound) +
                    'エラー : ユーザー nobody のコメントを設定できませんでした。\n\n', 1)

    def test_unlock(self):
        self.world.ctl('user', 'add', 'taro')
        run = self.world.run('/user', '/unlock', 'taro')
        self.expect(run, 'ユーザー taro はロックアウトされていません。\n'
                    'ユーザー taro のロックアウトは解除されました。\n\n', 0)
        self.world.ctl('lockout', 'taro')
        self.assertTrue(self.world.user('taro')['locked'])
        run = self.world.run('/user', '/unlock', 'taro')
        self.expect(run, 'ユーザー taro のロックアウトは解除されました。\n\n', 0)
        self.assertFalse(self.world.user('taro')['locked'])
        run = self.world.run('/user', '/unlock', 'nobody', '/s')
        self.expect(run, net_error('ユーザー アカウントのロックアウト状態を取得できませんでした。',
                                   NERR_UserNotFound) +
                    'エラー : ユーザー nobody のロックアウトを解除できませんでした。\n\n', 1,
                    banner=False)

    def test_silent_delete_and_reset(self):
        self.world.ctl('user', 'add', 'taro', '--password', 'Secret#1')
        run = self.world.run('/user', '/passreset', 'taro', '/s')
        self.expect(run, 'ユーザー taro のパスワードは正常にリセットされました。\n\n', 0,
                    banner=False)
        self.assertEqual(self.world.user('taro')['password'], '')
        run = self.world.run('/user', '/passreset', 'nobody', '/s')
        self.expect(run, net_error('パスワードをリセットできませんでした。', NERR_UserNotFound) +
                    'エラー : ユーザー nobody のパスワードをリセットできませんでした。\n\n', 1,
                    banner=False)
        run = self.world.run('/silent', '/user', '/delete', 'taro')
        self.expect(run, '', 2, banner=False)
        run = self.world.run('/user', '/delete', 'taro', '/silent')
        self.expect(run, 'ユーザー taro は正常に削除されました。\n\n', 0, banner=False)
        run = self.world.run('/user', '/delete', 'taro', '/silent')
        self.expect(run, net_error('ユーザー アカウントを削除できませんでした。', NERR_UserNotFound) +
                    'エラー : ユーザー taro を削除できませんでした。\n\n', 1, banner=False)
        self.assertIsNone(self.world.user('taro'))


class UserFlags(AmbcmdCase):
    OK = 'ユーザー taro のフラグを設定しました。\n\n'
    FAILED = 'エラー : ユーザー taro のフラグを設定できませんでした。\n\n'

    def flags(self, options):
        return self.world.run('/user', '/flags', 'taro', options, '/s')

    def state(self):
        u = self.world.user('taro')
        return {'cant_change': bool(u['flags'] & 0x40), 'never_expires': bool(u['flags'] & 0x10000),
                'disabled': bool(u['flags'] & 0x2), 'expired': u['passwordExpired']}

    def setUp(self):
        super().setUp()
        self.world.ctl('user', 'add', 'taro')

    def test_e_first_and_not_first(self):
        before = self.state()
        self.expect(self.flags('CE'), 'エラー : E オプションとは併用できません。\n\n' + self.FAILED,
                    1, banner=False)
        self.assertEqual(self.state(), before)
        self.expect(self.flags('EC'), self.OK, 0, banner=False)
        self.assertEqual(self.state(), dict(before, expired=True))
        run = self.world.run('/user', 'taro', '/s')
        self.expect(run, self.user_details('taro', 'taro') + DONE, 0, banner=False)
        self.assertIn('要パスワード変更　　　 : はい', run.text)
        # The expiry line shows the moment of the last password change.
        expiry = re.search(r'パスワード有効期限　　 : (\S+ \S+)', run.text).group(1)
        changed = re.search(r'最終パスワード変更日時 : (\S+ \S+)', run.text).group(1)
        self.assertEqual(expiry, changed)
        # X also clears a pending change at next logon.
        self.expect(self.flags('X'), self.OK, 0, banner=False)
        self.assertEqual(self.state(), dict(before, expired=False, never_expires=True))
        # E clears "never expires", which would keep the password valid.
        self.expect(self.flags('E'), self.OK, 0, banner=False)
        self.assertEqual(self.state(), dict(before, expired=True))

    def test_pairs_and_unknown_letters(self):
        self.expect(self.flags('CDX'), self.OK, 0, banner=False)
        self.assertEqual(self.state(), {'cant_change': True, 'never_expires': True,
                                        'disabled': True, 'expired': False})
        self.expect(self.flags('cC'), self.OK, 0, banner=False)  # lower case wins
        self.expect(self.flags('Dd'), self.OK, 0, banner=False)
        self.assertEqual(self.state(), {'cant_change': False, 'never_expires': True,
                                        'disabled': False, 'expired': False})
        self.expect(self.flags('x'), self.OK, 0, banner=False)
        before = self.state()
        self.assertFalse(before['never_expires'])
        for options in ('e', 'Qz!', ''):
            self.expect(self.flags(options), self.OK, 0, banner=False)
        self.assertEqual(self.state(), before)
        run = self.world.run('/user', '/flags', 'nobody', 'D', '/s')
        self.expect(run, net_error('ユーザー アカウントのフラグ情報を取得できませんでした。',
                                   NERR_UserNotFound) +
                    'エラー : ユーザー nobody のフラグを設定できませんでした。\n\n', 1, banner=False)


class UserGroups(AmbcmdCase):
    START = 'ローカル グループへの割り当てまたは削除を開始します。\n'

    def test_assign(self):
        self.world.ctl('user', 'add', '山田')
        self.world.ctl('group', 'add', '経理部')
        run = self.world.run('/user', '/setgroup', '山田', '経理部;;Users;')
        self.expect(run, self.START +
                    'ローカル グループ 経理部 へ割り当てています... 完了\n'
                    'ローカル グループ Users へ割り当てています... 割当済\n'
                    'ユーザー 山田 を指定されたローカル グループへ割り当てました。\n\n', 0)
        self.assertIn(self.qualified('山田'), self.world.member_names('経理部'))
        run = self.world.run('/user', '/setgroup', '山田', 'Power Users;nosuch;Guests', '/s')
        self.expect(run, self.START +
                    'ローカル グループ Power Users へ割り当てています... 完了\n'
                    'ローカル グループ nosuch へ割り当てています... 失敗\n'
                    'ローカル グループ Guests へ割り当てています... 完了\n'
                    'エラー : ユーザー 山田 を指定されたローカル グループへ割り当てできませんでした。\n\n',
                    1, banner=False)
        groups = self.world.user('山田')['groups']
        self.assertIn('Power Users', groups)
        self.assertIn('Guests', groups)
        # Nothing listed: the start line and the success line only.
        run = self.world.run('/user', '/setgroup', '山田', ';', '/s')
        self.expect(run, self.START +
                    'ユーザー 山田 を指定されたローカル グループへ割り当てました。\n\n', 0,
                    banner=False)

    def test_spaces_belong_to_the_names(self):
        run = self.world.run('/user', '/setgroup', 'kanri', 'Users; Guests', '/s')
        self.expect(run, self.START +
                    'ローカル グループ Users へ割り当てています... 割当済\n'
                    'ローカル グループ  Guests へ割り当てています... 失敗\n'
                    'エラー : ユーザー kanri を指定されたローカル グループへ割り当てできませんでした。\n\n',
                    1, banner=False)
        self.assertNotIn('Guests', self.world.user('kanri')['groups'])

    def test_remove(self):
        self.world.ctl('user', 'add', 'taro')
        self.world.ctl('group', 'add', 'sales')
        self.world.ctl('member', 'add', 'sales', 'taro')
        run = self.world.run('/user', '/delgroup', 'taro', 'sales;sales', '/s')
        self.expect(run, self.START +
                    'ローカル グループ sales への割り当てを解除しています... 完了\n'
                    'ローカル グループ sales への割り当てを解除しています... 割当解除済\n'
                    '指定されたローカル グループからユーザー taro を削除しました\n\n', 0,
                    banner=False)
        self.assertEqual(self.world.member_names('sales'), [])
        run = self.world.run('/user', '/delgroup', 'taro', 'Users;無い', '/s')
        self.expect(run, self.START +
                    'ローカル グループ Users への割り当てを解除しています... 完了\n'
                    'ローカル グループ 無い への割り当てを解除しています... 失敗\n'
                    'エラー : 指定されたローカル グループからユーザー taro を削除できませんでした。\n\n',
                    1, banner=False)
        self.assertEqual(self.world.user('taro')['groups'], [])
        run = self.world.run('/user', '/delgroup', 'nobody', 'Users', '/s')
        self.expect(run, net_error('ユーザー アカウントの情報を取得できませんでした。',
                                   NERR_UserNotFound) +
                    'エラー : 指定されたローカル グループからユーザー nobody を削除できませんでした。\n\n',
                    1, banner=False)


# ---------------------------------------------------------------- group commands


class GroupCommands(AmbcmdCase):
    def test_details(self):
        run = self.world.run('/group', 'administrators')
        self.expect(run, self.group_details('administrators', 'Administrators') + DONE, 0)
        text = run.text.replace('\r\n', '\n')
        self.assertIn('所属メンバー :\n　Administrator\n　kanri\n\n', text)
        self.world.ctl('group', 'add', '経理部', '--comment', '経理の担当者')
        run = self.world.run('/group', '経理部', '/s')
        self.expect(run, 'ローカル グループ "経理部" の詳細データです。\n\n'
                    f'SID :\n　{self.world.group("経理部")["sid"]}\n\n'
                    'グループ名 :\n　経理部\n\nコメント :\n　経理の担当者\n\n'
                    '所属メンバー :\n\n' + DONE, 0, banner=False)

    def test_add_rename_comment(self):
        run = self.world.run('/group', '/add', '経理部', '経理の担当者')
        self.expect(run, 'ローカル グループ名 経理部 は正常に作成されました。\n\n', 0)
        self.assertEqual(self.world.group('経理部')['comment'], '経理の担当者')
        run = self.world.run('/group', '/add', 'sales', '/s')  # "/s" is the comment here
        self.expect(run, 'ローカル グループ名 sales は正常に作成されました。\n\n', 0,
                    banner=False)
        self.assertEqual(self.world.group('sales')['comment'], '/s')
        run = self.world.run('/group', '/add', 'empty')
        self.expect(run, 'ローカル グループ名 empty は正常に作成されました。\n\n', 0)
        run = self.world.run('/group', '/add', '経理部')
        self.expect(run, net_error('ローカル グループを作成できませんでした。', ERROR_ALIAS_EXISTS) +
                    'エラー : ローカル グループ名 経理部 を作成できませんでした。\n\n', 1)
        run = self.world.run('/group', '/rename', '経理部', '財務部')
        self.expect(run, 'ローカル グループ名を 経理部 から 財務部 に変更しました。\n\n', 0)
        run = self.world.run('/group', '/rename', '経理部', '総務部')
        self.expect(run, net_error('ローカル グループ名を取得できませんでした。', NERR_GroupNotFound) +
                    'エラー : ローカル グループ名を 経理部 から 総務部 に変更できませんでした。\n\n', 1)
        run = self.world.run('/group', '/comment', '財務部', '')
        self.expect(run, 'ローカル グループ 財務部 のコメントを設定しました。\n\n', 0)
        run = self.world.run('/group', '/description', 'nosuch', 'x')
        self.expect(run, net_error('ローカル グループのコメントを取得できませんでした。',
                                   NERR_GroupNotFound) +
                    'エラー : ローカル グループ nosuch のコメントを設定できませんでした。\n\n', 1)
        dump = self.world.dump()
        self.assertIsNone(self.world.group('経理部', dump))
        self.assertEqual(self.world.group('財務部', dump)['comment'], '')
        self.assertEqual(self.world.group('empty', dump)['comment'], '')

    def test_silent_delete(self):
        self.world.ctl('group', 'add', 'sales')
        run = self.world.run('/group', '/delete', 'sales', '/s')
        self.expect(run, 'ローカル グループ sales は正常に削除されました。\n\n', 0, banner=False)
        run = self.world.run('/group', '/delete', 'sales', '/s')
        self.expect(run, net_error('ローカル グループを削除できませんでした。', NERR_GroupNotFound) +
                    'エラー : ローカル グループ sales を削除できませんでした。\n\n', 1, banner=False)
        self.assertIsNone(self.world.group('sales'))


class Members(AmbcmdCase):
    def setUp(self):
        super().setUp()
        for name in ('alice', 'bob', '山田', 'Taro Yamada'):
            self.world.ctl('user', 'add', name)
        self.world.ctl('group', 'add', '経理部')

    def adding(self, count):
        return ('ローカル グループ "経理部" へメンバーを追加しています...\n'
                f'{count} 人のユーザーが追加されました。\n'
                'ローカル グループ 経理部 のメンバーシップは正しく追加されました。\n\n')

    def test_add_members(self):
        run = self.world.run('/group', '/adduser', '経理部', 'alice;;bob;')
        self.expect(run, self.adding(2), 0)
        self.assertEqual(self.world.member_names('経理部'),
                         [self.qualified('alice'), self.qualified('bob')])
        run = self.world.run('/group', '/adduser', '経理部', f'{self.computer}\\山田;Taro Yamada')
        self.expect(run, self.adding(2), 0)
        # One member already there: the whole call fails and nothing is added.
        run = self.world.run('/group', '/adduser', '経理部', 'Administrator;alice')
        self.expect(run, 'ローカル グループ "経理部" へメンバーを追加しています...\n' +
                    net_error('ローカル グループへメンバーを追加できませんでした。',
                              ERROR_MEMBER_IN_ALIAS) +
                    'エラー : ローカル グループ 経理部 のメンバーシップを追加できませんでした\n\n', 1)
        self.assertEqual(len(self.world.member_names('経理部')), 4)

    def test_empty_lists_and_unknown_accounts(self):
        failed = 'エラー : ローカル グループ 経理部 のメンバーシップを追加できませんでした\n\n'
        self.expect(self.world.run('/group', '/adduser', '経理部', ';'), failed, 1)
        self.expect(self.world.run('/group', '/adduser', '経理部', ''), failed, 1)
        self.world.ctl('member', 'add', '経理部', 'alice')
        run = self.world.run('/group', '/setuser', '経理部', ';;', '/s')
        self.expect(run, 'エラー : ローカル グループ 経理部 のメンバーシップ置換ができませんでした。\n\n',
                    1, banner=False)
        self.assertEqual(self.world.member_names('経理部'), [self.qualified('alice')])
        run = self.world.run('/group', '/adduser', '経理部', 'OTHER\\alice', '/s')
        self.expect(run, 'ローカル グループ "経理部" へメンバーを追加しています...\n' +
                    net_error('ローカル グループへメンバーを追加できませんでした。',
                              ERROR_NO_SUCH_MEMBER) + failed, 1, banner=False)

    def test_set_and_delete_members(self):
        self.world.ctl('member', 'add', '経理部', 'alice')
        self.world.ctl('member', 'add', '経理部', 'bob')
        run = self.world.run('/group', '/setuser', '経理部', 'bob;山田;Taro Yamada', '/s')
        self.expect(run, 'ローカル グループ "経理部" のメンバーシップを設定しています...\n'
                    '3 人のユーザーが割り当てられました。\n'
                    'ローカル グループ 経理部 のメンバーシップ置換は正常に終了しました。\n\n', 0,
                    banner=False)
        self.assertEqual(sorted(self.world.member_names('経理部')),
                         sorted(self.qualified(n) for n in ('bob', '山田', 'Taro Yamada')))
        run = self.world.run('/group', '/deluser', '経理部', 'alice;bob', '/s')
        self.expect(run, 'ローカル グループ "経理部" からメンバーを削除しています...\n' +
                    net_error('ローカル グループからメンバーを削除できませんでした。',
                              ERROR_MEMBER_NOT_IN_ALIAS) +
                    'エラー : ローカル グループ 経理部 からメンバーシップを削除できませんでした。\n\n',
                    1, banner=False)
        self.assertEqual(len(self.world.member_names('経理部')), 3)
        run = self.world.run('/group', '/deluser', '経理部', 'bob;Taro Yamada', '/s')
        self.expect(run, 'ローカル グループ "経理部" からメンバーを削除しています...\n'
                    '2 人のユーザーが削除されました。\n'
                    'ローカル グループ 経理部 からメンバーシップが削除されました。\n\n', 0,
                    banner=False)
        self.assertEqual(self.world.member_names('経理部'), [self.qualified('山田')])

    def test_names_take_the_computer_name(self):
        self.world.ctl('reset', '--computer', 'PC1')
        self.world.ctl('user', 'add', 'alice')
        self.world.ctl('user', 'add', 'bob')
        self.world.ctl('group', 'add', '経理部')
        run = self.world.run('/group', '/adduser', '経理部', 'alice;bob')
        self.expect(run, self.adding(2), 0)
        self.assertEqual(self.world.member_names('経理部'), ['PC1\\alice', 'PC1\\bob'])

    def test_overlong_member_refused(self):
        limit = 255 - len(self.computer) - 1
        fits = 'a' * limit
        run = self.world.run('/group', '/adduser', '経理部', f'alice;{fits + "b"}', '/s')
        self.expect(run, 'エラー : 2 番目のメンバー名が長すぎます。(コンピューター名を含めて 255 文字まで)\n\n'
                    'エラー : ローカル グループ 経理部 のメンバーシップを追加できませんでした\n\n',
                    1, banner=False)
        run = self.world.run('/group', '/setuser', '経理部', 'X\\' + 'y' * 254, '/s')
        self.expect(run, 'エラー : 1 番目のメンバー名が長すぎます。(コンピューター名を含めて 255 文字まで)\n\n'
                    'エラー : ローカル グループ 経理部 のメンバーシップ置換ができませんでした。\n\n',
                    1, banner=False)
        self.assertEqual(self.world.member_names('経理部'), [])
        # The longest name that fits reaches the platform (which knows no such account).
        run = self.world.run('/group', '/adduser', '経理部', fits, '/s')
        self.assertIn('エラー番号 : 0x', run.text)
        self.assertNotIn('長すぎます', run.text)


# ---------------------------------------------------------------- one-field changes


class SingleFields(AmbcmdCase):
    """The one-field commands on a platform that, like Windows, reads accounts only
    as whole records: each succeeds and changes its field and nothing else."""

    def changes(self, before, after):
        """{(account, key): new value} for every account field that differs; the
        rest of the world (apart from its clock and generation) must be equal."""
        found = {}
        for kind in ('users', 'groups'):
            old = {e['name']: e for e in before[kind]}
            new = {e['name']: e for e in after[kind]}
            self.assertEqual(sorted(old), sorted(new), kind)
            for name, entry in old.items():
                for key in entry.keys() | new[name].keys():
                    if entry.get(key) != new[name].get(key):
                        found[(name, key)] = new[name].get(key)
        rest = lambda dump: {k: v for k, v in dump.items()
                             if k not in ('users', 'groups', 'now', 'generation')}
        self.assertEqual(rest(after), rest(before))
        return found

    def test_each_command_changes_exactly_its_field(self):
        self.world.ctl('user', 'add', 'taro', '--full-name', '山田 太郎', '--comment', '営業担当')
        self.world.ctl('group', 'add', '営業部', '--comment', '営業の担当者')
        self.world.ctl('lockout', 'taro')
        flags = self.world.user('taro')['flags']
        self.assertTrue(flags & 0x10)
        cases = [
            (('/user', '/fullname', 'taro', '山田 次郎'),
             'ユーザー taro のフル ネームを 山田 次郎 に設定しました。\n\n',
             {('taro', 'fullName'): '山田 次郎'}),
            (('/user', '/comment', 'taro', '経理担当'), 'ユーザー taro のコメントを設定しました。\n\n',
             {('taro', 'comment'): '経理担当'}),
            (('/user', '/flags', 'taro', 'D'), 'ユーザー taro のフラグを設定しました。\n\n',
             {('taro', 'flags'): flags | 0x2, ('taro', 'disabled'): True}),
            (('/user', '/unlock', 'taro'), 'ユーザー taro のロックアウトは解除されました。\n\n',
             {('taro', 'flags'): (flags | 0x2) & ~0x10, ('taro', 'locked'): False}),
            (('/group', '/comment', '営業部', '販売の担当者'),
             'ローカル グループ 営業部 のコメントを設定しました。\n\n',
             {('営業部', 'comment'): '販売の担当者'}),
        ]
        for args, done, expected in cases:
            with self.subTest(args=args):
                before = self.world.dump()
                self.expect(self.world.run(*args, '/s'), done, 0, banner=False)
                changed = self.changes(before, self.world.dump())
                # Clearing a lockout also forgets the failed logons that caused it.
                changed.pop(('taro', 'badPwCount'), None)
                self.assertEqual(changed, expected)


# ---------------------------------------------------------------- platform failures


class Faults(AmbcmdCase):
    """Every error caption, through the simulated platform's fault injection."""

    def inject_fault(self, function, code=ERROR_ACCESS_DENIED, nth=None):
        args = ['fail', function, str(code)] + (['--nth', str(nth)] if nth else [])
        self.world.ctl(*args)

    def check(self, args, caption, failure, code=ERROR_ACCESS_DENIED, before=''):
        run = self.world.run(*args, '/s')
        self.expect(run, before + net_error(caption, code) + failure, 1, banner=False)

    def test_user_command_faults(self):
        self.world.ctl('user', 'add', 'taro')
        cases = [
            ('NetUserGetInfo', 1, ('/user', 'taro'), 'ユーザー アカウントの情報を取得できませんでした。',
             'ユーザー taro の情報を取得できませんでした。\n\n'),
            ('NetUserAdd', 1, ('/user', '/add', 'jiro'), 'ユーザー アカウントを追加できませんでした。',
             'エラー : ユーザー jiro を作成できませんでした。\n\n'),
            ('NetUserGetInfo', 1, ('/user', '/rename', 'taro', 'x'), 'ユーザー名を取得できませんでした。',
             'エラー : ユーザー名を taro から x に変更できませんでした。\n\n'),
            ('NetUserSetInfo', 1, ('/user', '/rename', 'taro', 'x'), 'ユーザー名を変更できませんでした。',
             'エラー : ユーザー名を taro から x に変更できませんでした。\n\n'),
            ('NetUserGetInfo', 1, ('/user', '/fullname', 'taro', 'x'),
             'ユーザー アカウントのフル ネームを取得できませんでした。',
             'エラー : ユーザー taro のフル ネームを設定できませんでした。\n\n'),
            ('NetUserSetInfo', 1, ('/user', '/fullname', 'taro', 'x'),
             'ユーザー アカウントのフル ネームを設定できませんでした。',
             'エラー : ユーザー taro のフル ネームを設定できませんでした。\n\n'),
            ('NetUserGetInfo', 1, ('/user', '/comment', 'taro', 'x'),
             'ユーザー アカウントのコメントを取得できませんでした。',
             'エラー : ユーザー taro のコメントを設定できませんでした。\n\n'),
            ('NetUserSetInfo', 1, ('/user', '/comment', 'taro', 'x'),
             'ユーザー アカウントのコメントを設定できませんでした。',
             'エラー : ユーザー taro のコメントを設定できませんでした。\n\n'),
            ('NetUserDel', 1, ('/user', '/delete', 'taro'), 'ユーザー アカウントを削除できませんでした。',
             'エラー : ユーザー taro を削除できませんでした。\n\n'),
            ('NetUserGetInfo', 1, ('/user', '/flags', 'taro', 'D'),
             'ユーザー アカウントのフラグ情報を取得できませんでした。',
             'エラー : ユーザー taro のフラグを設定できませんでした。\n\n'),
            ('NetUserSetInfo', 1, ('/user', '/flags', 'taro', 'D'),
             'ユーザー アカウント オプションを設定できませんでした。',
             'エラー : ユーザー taro のフラグを設定できませんでした。\n\n'),
            ('NetUserGetInfo', 1, ('/user', '/setgroup', 'taro', 'Users'),
             'ユーザー アカウントの情報を取得できませんでした。',
             'エラー : ユーザー taro を指定されたローカル グループへ割り当てできませんでした。\n\n'),
            ('NetUserGetInfo', 1, ('/user', '/unlock', 'taro'),
             'ユーザー アカウントのロックアウト状態を取得できませんでした。',
             'エラー : ユーザー taro のロックアウトを解除できませんでした。\n\n'),
            ('NetUserSetInfo', 1, ('/user', '/passreset', 'taro'), 'パスワードをリセットできませんでした。',
             'エラー : ユーザー taro のパスワードをリセットできませんでした。\n\n'),
        ]
        for function, nth, args, caption, failure in cases:
            with self.subTest(args=args, function=function):
                self.inject_fault(function, ERROR_ACCESS_DENIED, nth)
                self.check(args, caption, failure)
        self.world.ctl('lockout', 'taro')
        self.inject_fault('NetUserSetInfo')
        self.check(('/user', '/unlock', 'taro'), 'ユーザー アカウントのロックアウトを解除できませんでした。',
                   'エラー : ユーザー taro のロックアウトを解除できませんでした。\n\n')
        # A failed group call is only a status word.
        self.inject_fault('NetLocalGroupAddMembers', ERROR_NOT_ENOUGH_MEMORY)
        run = self.world.run('/user', '/setgroup', 'taro', 'Guests', '/s')
        self.expect(run, 'ローカル グループへの割り当てまたは削除を開始します。\n'
                    'ローカル グループ Guests へ割り当てています... 失敗\n'
                    'エラー : ユーザー taro を指定されたローカル グループへ割り当てできませんでした。\n\n',
                    1, banner=False)
        u = self.world.user('taro')
        self.assertEqual((u['name'], u['fullName'], u['comment'], u['locked'], u['disabled']),
                         ('taro', '', '', True, False))
        self.assertNotIn('Guests', u['groups'])

    def test_group_command_faults(self):
        self.world.ctl('group', 'add', 'sales')
        self.world.ctl('user', 'add', 'taro')
        cases = [
            ('NetLocalGroupGetInfo', ('/group', 'sales'), 'ローカル グループの情報を取得できませんでした。',
             'ローカル グループ sales の情報を取得できませんでした。\n\n', ''),
            ('NetLocalGroupAdd', ('/group', '/add', 'hr'), 'ローカル グループを作成できませんでした。',
             'エラー : ローカル グループ名 hr を作成できませんでした。\n\n', ''),
            ('NetLocalGroupGetInfo', ('/group', '/rename', 'sales', 'x'),
             'ローカル グループ名を取得できませんでした。',
             'エラー : ローカル グループ名を sales から x に変更できませんでした。\n\n', ''),
            ('NetLocalGroupSetInfo', ('/group', '/rename', 'sales', 'x'),
             'ローカル グループ名を変更できませんでした。',
             'エラー : ローカル グループ名を sales から x に変更できませんでした。\n\n', ''),
            ('NetLocalGroupGetInfo', ('/group', '/comment', 'sales', 'x'),
             'ローカル グループのコメントを取得できませんでした。',
             'エラー : ローカル グループ sales のコメントを設定できませんでした。\n\n', ''),
            ('NetLocalGroupSetInfo', ('/group', '/comment', 'sales', 'x'),
             'ローカル グループのコメントを設定できませんでした。',
             'エラー : ローカル グループ sales のコメントを設定できませんでした。\n\n', ''),
            ('NetLocalGroupDel', ('/group', '/delete', 'sales'), 'ローカル グループを削除できませんでした。',
             'エラー : ローカル グループ sales を削除できませんでした。\n\n', ''),
            ('NetLocalGroupAddMembers', ('/group', '/adduser', 'sales', 'taro'),
             'ローカル グループへメンバーを追加できませんでした。',
             'エラー : ローカル グループ sales のメンバーシップを追加できませんでした\n\n',
             'ローカル グループ "sales" へメンバーを追加しています...\n'),
            ('NetLocalGroupSetMembers', ('/group', '/setuser', 'sales', 'taro'),
             'ローカル グループのメンバーシップを設定できませんでした。',
             'エラー : ローカル グループ sales のメンバーシップ置換ができませんでした。\n\n',
             'ローカル グループ "sales" のメンバーシップを設定しています...\n'),
            ('NetLocalGroupDelMembers', ('/group', '/deluser', 'sales', 'taro'),
             'ローカル グループからメンバーを削除できませんでした。',
             'エラー : ローカル グループ sales からメンバーシップを削除できませんでした。\n\n',
             'ローカル グループ "sales" からメンバーを削除しています...\n'),
        ]
        for function, args, caption, failure, before in cases:
            with self.subTest(args=args):
                self.inject_fault(function)
                self.check(args, caption, failure, before=before)
        g = self.world.group('sales')
        self.assertEqual((g['comment'], g['members']), ('', []))
        self.assertIsNone(self.world.group('hr'))
        # A failed member listing is reported, but the details still succeed.
        self.inject_fault('NetLocalGroupGetMembers')
        run = self.world.run('/group', 'sales', '/s')
        self.expect(run, 'ローカル グループ "sales" の詳細データです。\n\n'
                    f'SID :\n　{g["sid"]}\n\nグループ名 :\n　sales\n\nコメント :\n　\n\n'
                    '所属メンバー :\n' +
                    net_error('ローカル グループに所属するメンバーを取得できませんでした。',
                              ERROR_ACCESS_DENIED) + '\n' + DONE, 0, banner=False)


# ---------------------------------------------------------------- import


class Import(AmbcmdCase):
    FILE = ('種類,名前,フル ネーム (通称名),所属グループ,メンバー\r\n'
            'グループ,生徒,,,\r\n'
            'ユーザー,hanako,山田 花子,生徒,\r\n')

    def write(self, text, encoding='utf-8'):
        path = os.path.join(self.world.folder, 'import.csv')
        with open(path, 'wb') as f:
            f.write(text.encode(encoding))
        return 'Z:' + path.replace('/', '\\')

    def test_plan_apply_and_again(self):
        path = self.write(self.FILE)
        header = f'ファイル : {path} (UTF-8、CSV、2 行)\n\n'
        plan = ('[計画]\n行 2 グループ 生徒 : 作成\n'
                '行 3 ユーザー hanako : 作成 (パスワードを生成 (次回ログイン時に変更)、グループに追加: 生徒)\n'
                '作成 2、変更 0、変更なし 0\n'
                '生成するパスワード : 強力な形式 (記号を含む 16 文字)\n\n')
        self.expect(self.world.run('/import', path, '/whatif'), header + plan, 0)
        self.assertIsNone(self.world.user('hanako'))
        run = self.world.run('/import', path, '/s')
        lines = run.text.replace('\r\n', '\n').split('\n')
        password = lines[-3].split('\t')[1]
        self.expect(run, header + '[結果]\n行 2 グループ 生徒 : 作成しました\n'
                    '行 3 ユーザー hanako : 作成しました\n成功 2、失敗 0\n\n'
                    '[生成したパスワード] (次回ログイン時に変更が必要です。この表示は一度だけです。)\n'
                    f'hanako\t{password}\n\n', 0, banner=False)
        self.assertEqual(len(password), 16)
        user = self.world.user('hanako')
        self.assertEqual(user['fullName'], '山田 花子')
        self.assertTrue(user['passwordExpired'])
        self.assertEqual(self.world.member_names('生徒'), [self.qualified('hanako')])
        dump = self.world.dump()
        self.expect(self.world.run('/import', path, '/s'),
                    header + '[結果]\n行 2 グループ 生徒 : 変更はありません\n'
                    '行 3 ユーザー hanako : 変更はありません\n成功 2、失敗 0\n\n', 0, banner=False)
        self.assertEqual(self.world.dump()['users'], dump['users'])

    def test_shift_jis_file_with_bad_rows_changes_nothing(self):
        path = self.write('種類,名前,アカウントの状態\r\nユーザー,ok,有効\r\n'
                          'ユーザー,a:b,有効\r\nユーザー,c,たぶん\r\n', 'cp932')
        dump = self.world.dump()
        self.expect(self.world.run('/import', path, '/s'),
                    'エラー : ファイルに問題があるため、何も変更しませんでした。\n'
                    '　行 3: 列「名前」: 「a:b」に使えない文字「:」があります。\n'
                    '　行 4: 列「アカウントの状態」: 「たぶん」は読めません (「有効」か「無効」)。\n\n',
                    2, banner=False)
        self.assertEqual(self.world.dump()['users'], dump['users'])

    def test_command_line_and_file_errors(self):
        for args in (['/import'], ['/import', '/whatif'], ['/import', 'x.csv', '/unknown']):
            self.expect(self.world.run(*args, '/s'), CMDLINE_ERROR, 2, banner=False)
        run = self.world.run('/import', 'Z:\\no\\such.csv', '/s')
        self.assertEqual(run.code, 2)
        self.assertTrue(run.text.startswith('エラー : ファイルを読み込めませんでした。'), run.text)

    def test_remove_missing_deletes_the_leavers_keeps_the_protected_and_only_once(self):
        for name in ('leaver', 'admin2', 'pupil'):
            self.world.run('/user', '/add', name, '/s')
        self.world.run('/group', '/add', '生徒', '/s')
        for name in ('leaver', 'admin2', 'pupil', 'kanri', 'Administrator'):
            self.world.run('/group', '/adduser', '生徒', name, '/s')
        self.world.run('/group', '/adduser', 'Administrators', 'admin2', '/s')
        path = self.write('種類,名前\r\nユーザー,pupil\r\nユーザー,new1\r\n')
        kept = ('ユーザー admin2 : 削除しない: Administrators のメンバーは削除しません。\n'
                'ユーザー kanri : 削除しない: このプログラムを実行しているユーザーは削除しません。\n'
                'ユーザー Administrator : 削除しない: 組み込みのアカウント (RID 500) は削除しません。\n')
        run = self.world.run('/import', path, '/remove-missing:生徒', '/passwords:easy', '/whatif')
        self.assertIn('生成するパスワード : 入力しやすい形式', run.text)
        self.assertIn('[削除] (グループ 生徒 のメンバーで、ファイルにないユーザー)\n'
                      'ユーザー leaver : 削除 (グループ「生徒」のメンバーで、ファイルにありません)\n'
                      + kept + '削除 1、削除しない 3\n', run.text.replace('\r\n', '\n'))
        self.assertIsNotNone(self.world.user('leaver'))
        declined = self.world.run('/import', path, '/remove-missing:生徒', answer='n\n')
        self.assertIn('1 人のユーザーを削除しようとしています。', declined.text)
        self.assertIsNotNone(self.world.user('leaver'))
        self.assertIsNone(self.world.user('new1'))
        run = self.world.run('/import', path, '/remove-missing:生徒', '/passwords:easy', '/s')
        text = run.text.replace('\r\n', '\n')
        self.assertIn('ユーザー leaver : 削除しました\n' + kept, text)
        self.assertRegex(text, r'new1\t[A-HJ-NP-Za-km-np-z2-9]{4}-[A-HJ-NP-Za-km-np-z2-9]{4}-'
                               r'[A-HJ-NP-Za-km-np-z2-9]{4}\n')
        self.assertIsNone(self.world.user('leaver'))
        self.assertIsNotNone(self.world.user('admin2'))
        again = self.world.run('/import', path, '/remove-missing:生徒', '/s')
        self.assertIn('削除 0、失敗 0、削除しない 3', again.text)
        for args in (['/profiles'], ['/remove-missing:'], ['/passwords:odd']):
            self.expect(self.world.run('/import', path, *args, '/s'), CMDLINE_ERROR, 2,
                        banner=False)

    def test_a_failing_row_gives_exit_code_one(self):
        path = self.write('種類,名前,パスワード\r\nユーザー,first,Pw-1\r\nユーザー,second,Pw-2\r\n')
        self.world.ctl('fail', 'NetUserAdd', '5', '--nth', '1')
        run = self.world.run('/import', path, '/s')
        self.assertEqual(run.code, 1, run.text)
        self.assertIn('行 2 ユーザー first : 失敗: ユーザーの作成: ', run.text)
        self.assertIn('行 3 ユーザー second : 作成しました', run.text)


# ---------------------------------------------------------------- several computers


def summary(ok, failed):
    tail = f' (失敗 : {", ".join(failed)})' if failed else ''
    return f'結果 : 成功 {ok} 台、失敗 {len(failed)} 台{tail}\n\n'


def width(text):
    """Columns on a CP932 console: a double-byte character takes two."""
    return len(text.encode('cp932', 'replace'))


def table(header, rows, numbers):
    widths = [max(width(r[i]) for r in [header] + rows) for i in range(len(header))]

    def line(cells):
        out = ''
        for i, cell in enumerate(cells):
            pad = ' ' * (widths[i] - width(cell))
            last = i == len(cells) - 1
            out += (pad + cell) if i in numbers else cell + ('' if last else pad)
            out += '' if last else '  '
        return out + '\n'
    return line(header) + '  '.join('-' * w for w in widths) + '\n' + ''.join(
        line(r) for r in rows) + '\n'


class Policy(AmbcmdCase):
    def policy(self):
        return self.world.dump()['policy']

    def test_show_set_and_forms(self):
        run = self.world.run('/policy', '/s')
        run.text = run.text.replace('\r\n', '\n')
        self.assertEqual(run.code, 0)
        self.assertIn('パスワードの有効期間 (日)               : 42\n', run.text)
        self.assertIn('アカウントのロックアウトのしきい値 (回) : 10\n', run.text)
        run = self.world.run('/policy', '/minpwlen:8', '/maxpwage:unlimited', '/uniquepw:5',
                             answer='n\n')
        self.assertEqual(run.code, 0)
        self.assertIn('　パスワードの有効期間 (日) : 42 → 無期限\r\n', run.text)
        self.assertEqual(self.policy()['minLength'], 0, 'declined: nothing written')
        run = self.world.run('/policy', '/minpwlen:8', '/maxpwage:unlimited', '/uniquepw:5',
                             '/lockoutduration:0', '/lockoutwindow:30', answer='y\n')
        self.assertIn('パスワードとロックアウトのポリシーを変更しました。\r\n', run.text)
        p = self.policy()
        self.assertEqual((p['minLength'], p['maxAge'], p['historyLength'], p['lockoutDuration'],
                          p['lockoutWindow']), (8, 0xFFFFFFFF, 5, 0xFFFFFFFF, 1800))
        data = json.loads(self.world.run('/policy', '/format:json', '/s').text)
        self.assertEqual(data, [{'computer': 'AMBPC01', 'minPasswordAgeDays': 0,
                                 'maxPasswordAgeDays': None, 'minPasswordLength': 8,
                                 'passwordHistoryLength': 5, 'lockoutThreshold': 10,
                                 'lockoutDurationMinutes': None, 'lockoutWindowMinutes': 30}])
        csv_text = self.world.run('/policy', '/format:csv', '/s').text
        self.assertEqual(csv_text.splitlines()[1], 'AMBPC01,0,無期限,8,5,10,無期限,30')

    def test_bad_values_name_the_value_and_write_nothing(self):
        before = self.policy()
        for arg, shown in [('/minpwlen:15', '15'), ('/minpwage:x', 'x'),
                           ('/lockoutwindow:' + '9' * 10000, '9' * 24 + '...'),
                           ('/lockoutduration:unlimited', 'unlimited'), ('/maxpwage:0', '0')]:
            run = self.world.run('/policy', arg, '/s')
            self.assertEqual(run.code, 2, arg[:30])
            self.assertIn(f'の値 "{shown}" は指定できません。', run.text)
        run = self.world.run('/policy', '/lockoutwindow:11', '/s')
        self.assertEqual(run.code, 2)
        self.assertIn('ロックアウト カウンターのリセット (分) の 11 は、ロックアウト期間 (分) の 10 '
                      '以下にしてください。', run.text)
        self.assertEqual(self.world.run('/policy', '/bogus:1', '/s').code, 2)
        self.world.ctl('session', '--elevated', '0')
        run = self.world.run('/policy', '/minpwlen:4', '/s')
        self.assertEqual(run.code, 1)
        self.assertIn('パスワードとロックアウトのポリシーを変更できませんでした。', run.text)
        self.world.ctl('session', '--elevated', '1')
        self.assertEqual(self.policy(), before)

    def test_report_writes_the_policy_beside_the_accounts(self):
        path = os.path.join(self.world.folder, 'audit.csv')
        run = self.world.run('/report', 'Z:' + path.replace('/', '\\'), '/s')
        self.assertEqual(run.code, 0, run.text)
        with open(os.path.join(self.world.folder, 'audit.policy.csv'), encoding='utf-8-sig') as f:
            rows = f.read().splitlines()
        self.assertEqual(rows[1], 'AMBPC01,0,42,0,なし,10,10,10')


class Computers(AmbcmdCase):
    """/computer: on simulated computers: PC2 answers after 50 ms and is also
    named by its address, PC3 at once, nosuch is no computer at all."""

    def setUp(self):
        super().setUp()
        self.world.add_reachable_computer('PC2', '--ip', '192.0.2.7', '--latency-ms', '50')
        self.world.add_reachable_computer('PC3')

    def remote(self, computer):
        return next(r for r in self.world.dump()['remotes'] if r['computer'] == computer)

    def remote_user(self, computer, name):
        return next((u for u in self.remote(computer)['users'] if u['name'] == name), None)

    def path(self, name):
        return os.path.join(self.world.folder, name)

    def wine_path(self, name):
        return 'Z:' + self.path(name).replace('/', '\\')

    def test_one_computer_named_by_its_address(self):
        run = self.world.run('/computer:\\\\192.0.2.7 ', '/user', '/add', 'taro', '太郎')
        self.expect(run, '対象コンピューター : 192.0.2.7\n\n'
                    'ユーザー taro は正常に作成されました。\n\n', 0)
        self.assertEqual(self.remote_user('PC2', 'taro')['fullName'], '太郎')
        self.assertIsNone(self.world.user('taro'))
        # Members are qualified with the computer's own name, not the address.
        run = self.world.run('/COMPUTER:192.0.2.7', '/group', '/adduser', 'Guests', 'taro', '/s')
        self.expect(run, '対象コンピューター : 192.0.2.7\n\n'
                    'ローカル グループ "Guests" へメンバーを追加しています...\n'
                    '1 人のユーザーが追加されました。\n'
                    'ローカル グループ Guests のメンバーシップは正しく追加されました。\n\n', 0,
                    banner=False)
        guests = next(g for g in self.remote('PC2')['groups'] if g['name'] == 'Guests')
        self.assertIn('PC2\\taro', [m['name'] for m in guests['members']])
        run = self.world.run('/computer:nosuch', '/user', 'taro', '/s')
        self.expect(run, '対象コンピューター : nosuch\n\n' +
                    remote_error('ユーザー アカウントの情報を取得できませんでした。', ERROR_BAD_NETPATH) +
                    'ユーザー taro の情報を取得できませんでした。\n\n', 1, banner=False)

    def test_blocks_in_the_order_given_and_the_summary(self):
        # PC2 answers last but its block comes first; nosuch fails alone.
        run = self.world.run('/computer:PC2,nosuch,PC3', '/group', '/add', '実習室', 'lab')
        ok = 'ローカル グループ名 実習室 は正常に作成されました。\n\n'
        self.expect(run, '[PC2]\n' + ok + '[nosuch]\n' +
                    remote_error('ローカル グループを作成できませんでした。', ERROR_BAD_NETPATH) +
                    'エラー : ローカル グループ名 実習室 を作成できませんでした。\n\n' +
                    '[PC3]\n' + ok + summary(2, ['nosuch']), 1)
        for computer in ('PC2', 'PC3'):
            self.assertIn('実習室', [g['name'] for g in self.remote(computer)['groups']])
        self.assertIsNone(self.world.group('実習室'))
        run = self.world.run('/computer:PC3,PC2,pc3', '/group', '実習室', '/s')
        self.assertEqual(run.code, 0)
        self.assertTrue(run.text.startswith('[PC3]\r\n'))
        self.assertTrue(run.text.endswith(summary(2, []).replace('\n', '\r\n')))

    def test_one_confirmation_for_all_computers(self):
        for computer in ('PC2', 'PC3'):
            self.world.ctl('user', 'add', 'taro', '--computer', computer)
        warning = ('！注意！\n2 台のコンピューターでユーザー taro を削除しようとしています。\n\n'
                   '2 台すべてで実行してもよろしいですか？ (Y/N)')
        for answer in ('n\n', None):
            run = self.world.run('/computer:PC2,PC3', '/user', '/delete', 'taro', answer=answer)
            self.expect(run, warning, 0)
            self.assertIsNotNone(self.remote_user('PC2', 'taro'))
        run = self.world.run('/computer:PC2,PC3', '/user', '/delete', 'taro', answer='y\n')
        done = 'ユーザー taro は正常に削除されました。\n\n'
        self.expect(run, warning + '[PC2]\n' + done + '[PC3]\n' + done + summary(2, []), 0)
        for computer in ('PC2', 'PC3'):
            self.assertIsNone(self.remote_user(computer, 'taro'))

    def test_bad_lists_are_refused_before_anything_is_done(self):
        with open(self.path('bad.txt'), 'wb') as f:
            f.write(b'PC2\r\n\x81\x20\xff\r\n')
        before = self.world.dump()
        for item in ('', ',', 'PC2,,PC3', 'PC2, ', 'P*C', 'a b', '"PC2"', 'x' * 64, 'x' * 5000,
                     '\\\\', '@'):
            run = self.world.run('/computer:' + item, '/group', '/add', 'g1')
            self.expect(run, CMDLINE_ERROR, 2)
        missing = self.wine_path('missing.txt')
        run = self.world.run('/computer:@' + missing, '/group', '/add', 'g1', '/s')
        text = error_texts()[ERROR_FILE_NOT_FOUND]
        self.expect(run, f'エラー : コンピューターの一覧 {missing} を読み取れませんでした。\n'
                    f'エラー番号 : 0x00000002\nエラー詳細 :\n　{text}\n\n', 2, banner=False)
        run = self.world.run('/computer:@' + self.wine_path('bad.txt'), '/group', '/add', 'g1', '/s')
        self.assertEqual(run.code, 2)
        self.assertIn('0x00000459', run.text)  # ERROR_NO_UNICODE_TRANSLATION
        after = self.world.dump()
        for part in ('users', 'groups', 'remotes'):
            self.assertEqual(before[part], after[part])

    def test_import_on_several_computers_checks_the_file_once(self):
        path = self.path('import.csv')
        with open(path, 'wb') as f:
            f.write('種類,名前,フル ネーム (通称名),パスワード\r\nユーザー,hanako,山田 花子,Pw-1x\r\n'
                    .encode('utf-8'))
        run = self.world.run('/computer:PC3,nosuch,PC2', '/import', self.wine_path('import.csv'),
                             '/s')
        self.assertEqual(run.code, 1, run.text)
        text = run.text.replace('\r\n', '\n')
        self.assertLess(text.index('[PC3]\n'), text.index('[nosuch]\n'))
        self.assertLess(text.index('[nosuch]\n'), text.index('[PC2]\n'))
        self.assertTrue(text.endswith(summary(2, ['nosuch'])), text)
        for computer in ('PC2', 'PC3'):
            self.assertEqual(self.remote_user(computer, 'hanako')['fullName'], '山田 花子')
        self.assertIsNone(self.world.user('hanako'))
        # A file that cannot be read is one command-line error, before any computer.
        run = self.world.run('/computer:PC3,PC2', '/import', self.wine_path('none.csv'), '/s')
        self.assertEqual(run.code, 2)
        self.assertNotIn('[PC3]', run.text)
        self.assertTrue(run.text.startswith('エラー : ファイルを読み込めませんでした。'), run.text)

    def test_list_files_in_utf8_and_shift_jis(self):
        with open(self.path('utf8.txt'), 'wb') as f:
            f.write('\ufeff# 実習室\r\n\r\n  \\\\PC3  \r\n192.0.2.7\n'.encode('utf-8'))
        with open(self.path('sjis.txt'), 'wb') as f:
            f.write('# 実習室の PC\r\nPC2\r\n   \r\nPC3\r\n'.encode('cp932'))
        run = self.world.run('/computer:@' + self.wine_path('utf8.txt'), '/group', '/add', 'g1',
                             '/s')
        ok = 'ローカル グループ名 g1 は正常に作成されました。\n\n'
        self.expect(run, '[PC3]\n' + ok + '[192.0.2.7]\n' + ok + summary(2, []), 0, banner=False)
        run = self.world.run('/computer:@' + self.wine_path('sjis.txt'), '/group', '/add', 'g2',
                             '/s')
        self.expect(run, '[PC2]\n' + ok.replace('g1', 'g2') + '[PC3]\n' + ok.replace('g1', 'g2') +
                    summary(2, []), 0, banner=False)

    def report_rows(self, path):
        # The last password change is now minus the password's age: two runs may
        # see different minutes.
        with open(path, encoding='utf-8-sig', newline='') as f:
            return [re.sub(r'\d{4}/\d\d/\d\d \d\d:\d\d', TIME, row)
                    for row in f.read().split('\r\n')]

    def test_report_of_several_computers_is_each_report_with_its_name(self):
        self.world.ctl('clock', 'set', '1796000000')
        self.world.ctl('user', 'add', '山田', '--full-name', '山田 "やま" 太郎', '--computer', 'PC3')
        run = self.world.run('/computer:PC2,nosuch,PC3', '/report',
                             self.wine_path('all.tsv'), '/format:tsv', '/s')
        self.expect(run, '[nosuch]\n' +
                    remote_error('アカウントの情報を取得できませんでした。', ERROR_BAD_NETPATH) +
                    f'アカウント レポートを {self.wine_path("all.tsv")} に保存しました。\n\n' +
                    summary(2, ['nosuch']) + 'パスワードとロックアウトのポリシーを '
                    f'{self.wine_path("all.policy.tsv")} に保存しました。\n\n', 1, banner=False)
        expected = None
        for computer in ('PC2', 'PC3'):
            run = self.world.run('/computer:' + computer, '/report',
                                 self.wine_path(computer + '.tsv'), '/FORMAT:TSV', '/s')
            self.assertEqual(run.code, 0, run.text)
            rows = self.report_rows(self.path(computer + '.tsv'))
            if expected is None:
                expected = ['コンピューター\t' + rows[0]]
            expected += [f'{computer}\t{r}' for r in rows[1:-1]]
        self.assertEqual(self.report_rows(self.path('all.tsv')), expected + [''])

    def test_lists_as_table_and_in_the_report_forms(self):
        self.world.ctl('clock', 'set', '1796000000')
        self.world.ctl('user', 'add', '山田', '--full-name', '山田 太郎', '--comment', '経理',
                       '--computer', 'PC3')
        self.world.ctl('lockout', '山田', '--computer', 'PC3')
        self.world.ctl('user', 'add', 'jiro', '--disabled', '--computer', 'PC2')
        run = self.world.run('/computer:PC3,PC2', '/user', '/list', '/s')
        rows = []
        for computer in ('PC3', 'PC2'):
            for u in sorted(self.remote(computer)['users'], key=lambda u: u['name'].lower()):
                state = ('ロックアウト' if u['locked'] else '無効' if u['disabled'] else '有効')
                rows.append([computer, u['name'], str(u['sid'].split('-')[-1]), state,
                             u['fullName'], u['comment'], u['microsoftAccount']])
        self.expect(run, table(['コンピューター', '名前', 'ID', '状態', 'フル ネーム', '説明',
                                'Microsoft アカウント'], rows, {2}) + summary(2, []), 0,
                    banner=False)
        run = self.world.run('/group', '/list')
        rows = [[g['name'], g['sid'].split('-')[-1], g['comment'], str(len(g['members']))]
                for g in self.world.dump()['groups']]
        self.expect(run, table(['名前', 'ID', '説明', 'メンバー数'], rows, {1, 3}), 0)
        # CSV and JSON carry the report's columns and texts.
        self.world.run('/computer:PC3', '/report', self.wine_path('pc3.csv'), '/s')
        report = [r for r in self.report_rows(self.path('pc3.csv'))[:-1]]
        users = [r for r in report[1:] if r.startswith('ユーザー,')]
        run = self.world.run('/computer:PC3', '/user', '/list', '/format:csv', '/s')
        self.expect(run, '対象コンピューター : PC3\n\n' + '\n'.join([report[0]] + users) + '\n', 0,
                    banner=False)
        run = self.world.run('/computer:PC3,nosuch', '/user', '/list', '/format:json', '/s')
        self.assertEqual(run.code, 1)
        objects = json.loads(run.text)
        self.assertEqual(len(objects), len(users))
        # JSON: the same users under ASCII keys with typed values.
        keys = ['computer', 'name', 'rid', 'sid', 'fullName', 'comment', 'enabled', 'lockedOut',
                'mustChangePassword', 'cannotChangePassword', 'passwordNeverExpires', 'lastLogon',
                'passwordLastSet', 'passwordExpires', 'accountExpires', 'microsoftAccount', 'groups']
        iso = re.compile(r'^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$')
        for o in objects:
            self.assertEqual(list(o), keys)
            self.assertTrue(all(isinstance(o[k], bool) for k in keys[6:11]), o)
            self.assertTrue(isinstance(o['rid'], int) and o['sid'].endswith('-%d' % o['rid']))
            self.assertTrue(all(o[k] is None or iso.match(o[k]) for k in keys[11:15]), o)
            self.assertTrue(all(isinstance(g, str) for g in o['groups']))
        yamada = next(o for o in objects if o['name'] == '山田')
        self.assertEqual((yamada['computer'], yamada['lockedOut'], yamada['comment'],
                          yamada['enabled'], yamada['lastLogon'], yamada['accountExpires'],
                          yamada['microsoftAccount'], yamada['groups']),
                         ('PC3', True, '経理', True, None, None, None, ['Users']))
        self.assertIn(b'[nosuch]', run.errors)
        for bad in ('/format:xml', '/format:', 'csv'):
            self.expect(self.world.run('/group', '/list', bad), CMDLINE_ERROR, 2)
        for args in (('/report',), ('/report', '/s'), ('/report', 'x.csv', '/format:json')):
            self.expect(self.world.run(*args), CMDLINE_ERROR, 2, banner='/s' not in args)

    def test_import_of_this_computers_report_makes_the_targets_own_account_the_member(self):
        # taro and hanako are in 生徒 here; PC2 has a taro of its own and no hanako.
        for name in ('taro', 'hanako'):
            self.world.ctl('user', 'add', name)
        self.world.ctl('group', 'add', '生徒')
        self.world.ctl('member', 'add', '生徒', 'taro')
        self.world.ctl('member', 'add', '生徒', 'hanako')
        self.world.ctl('user', 'add', 'taro', '--computer', 'PC2')
        self.world.run('/report', self.wine_path('here.csv'), '/s')
        rows = open(self.path('here.csv'), encoding='utf-8-sig').read().split('\n')
        kept = [rows[0]] + [r for r in rows if r.startswith(('ユーザー,taro,', 'グループ,生徒,'))]
        self.assertIn(f'{self.computer}\\taro; {self.computer}\\hanako', kept[2])
        def keep(text):
            with open(self.path('kept.csv'), 'w', encoding='utf-8', newline='') as f:
                f.write(text + '\n')
        keep('\n'.join(kept))
        before = self.world.dump()['remotes']
        run = self.world.run('/computer:PC2', '/import', self.wine_path('kept.csv'), '/s')
        self.expect(run, '対象コンピューター : PC2\n\nエラー : ファイルに問題があるため、何も変更しませんでした。\n'
                    f'　行 3: 列「メンバー」: 「{self.computer}\\hanako」はファイルにもこのコンピューターにもありません。\n\n',
                    2, banner=False)
        self.assertEqual(self.world.dump()['remotes'], before)
        keep('\n'.join(kept).replace(f'; {self.computer}\\hanako', ''))
        run = self.world.run('/computer:PC2', '/import', self.wine_path('kept.csv'), '/s')
        self.assertEqual(run.code, 0, run.text)
        group = next(g for g in self.remote('PC2')['groups'] if g['name'] == '生徒')
        self.assertEqual([m['sid'] for m in group['members']], [self.remote_user('PC2', 'taro')['sid']])

    def test_linux_runner_relays_both_streams_as_utf8(self):
        # ./ambrelle cmd runs Ambcmd through tools/cp932_pipe.py; the failures of a
        # /format: list go to standard error, which must reach the terminal in UTF-8 too.
        pipe = os.path.join(os.environ['AMB_SOURCE_DIR'], 'tools', 'cp932_pipe.py')
        args = ['/computer:PC3,nosuch', '/user', '/list', '/format:csv', '/s']
        out = subprocess.run([pipe, WINE_RUN, AMBCMD] + args, env=self.world.env,
                             capture_output=True, timeout=RUN_TIMEOUT)
        self.assertEqual(out.returncode, 1)
        direct = self.world.run(*args)
        self.assertEqual(out.stdout.decode('utf-8'), direct.text.replace('\r\n', '\n'))
        errors = out.stderr.decode('utf-8')
        self.assertIn('[nosuch]\nエラー : ユーザー アカウントの一覧を取得できませんでした。\n', errors)
        self.assertIn('結果 : 成功 1 台、失敗 1 台 (失敗 : nosuch)\n', errors)


class ConnectAs(AmbcmdCase):
    """/as:USER on computers set up as Windows 11 has them: only the enabled
    built-in Administrator (password adm, on PC5 other) is an administrator
    over the network; the session (kanri) has no account there."""

    def setUp(self):
        super().setUp()
        for computer, password in (('PC2', 'adm'), ('PC3', 'adm'), ('PC4', 'adm'),
                                   ('PC5', 'other')):
            self.world.ctl('computer', 'add', computer)
            self.world.ctl('user', 'set', 'Administrator', '--computer', computer, '--enable',
                           '--password', password)

    def bad_passwords(self, computer):
        """The Administrator's bad-password count on that computer."""
        pc = next(c for c in self.world.dump()['remotes'] if c['computer'] == computer)
        return next(u for u in pc['users'] if u['name'] == 'Administrator')['badPwCount']

    def refused(self, computer, code, hint):
        return (net_error(f'コンピューター {computer} に {computer}\\Administrator として接続できませんでした。',
                          code) + hint)

    def test_password_from_standard_input_then_the_connection_is_cancelled(self):
        run = self.world.run('/computer:PC2', '/as:Administrator', '/user', '/add', 'taro', '太郎',
                             answer='adm\n')
        self.expect(run, 'パスワード (Administrator) : \n対象コンピューター : PC2\n\n'
                    'ユーザー taro は正常に作成されました。\n\n', 0)
        self.assertEqual(self.world.ctl('connection', 'list'), '')
        taro = next(u for u in self.world.dump()['remotes'][0]['users'] if u['name'] == 'taro')
        self.assertEqual(taro['fullName'], '太郎')
        # Without /as: the session's own logon is refused there, with its hint.
        run = self.world.run('/computer:PC2', '/user', 'taro', '/s')
        self.expect(run, '対象コンピューター : PC2\n\n' +
                    net_error('ユーザー アカウントの情報を取得できませんでした。', ERROR_LOGON_FAILURE) +
                    LOGON_HINT + 'ユーザー taro の情報を取得できませんでした。\n\n', 1, banner=False)

    def test_wrong_password_stops_after_two_computers(self):
        run = self.world.run('/computer:PC2,PC3,PC4', '/as:Administrator', '/group', '/add', 'g1',
                             '/s', answer='bad\n')
        self.expect(run, 'パスワード (Administrator) : \n[PC2]\n' +
                    self.refused('PC2', ERROR_LOGON_FAILURE, LOGON_HINT) + '[PC3]\n' +
                    self.refused('PC3', ERROR_LOGON_FAILURE, LOGON_HINT) + '[PC4]\n'
                    '未実行 : ほかのコンピューターでログオンに失敗したため、このコンピューターには接続しませんでした。\n\n'
                    '結果 : 成功 0 台、失敗 2 台、未実行 1 台 (失敗 : PC2, PC3)\n\n'
                    'ログオンが最初の 2 台で失敗し、成功したコンピューターがないため、残りのコンピューターでは'
                    '実行しませんでした (誤ったパスワードでアカウントがロックアウトされるのを防ぐため)。'
                    'ユーザー名とパスワードを確かめてください。\n\n', 1, banner=False)
        self.assertEqual([self.bad_passwords(c) for c in ('PC2', 'PC3', 'PC4')], [1, 1, 0])

    def test_a_failure_after_a_success_does_not_stop_the_others(self):
        run = self.world.run('/computer:PC2,PC5,PC3,PC4', '/as:Administrator', '/group', '/add',
                             'g1', '/s', answer='adm\n')
        ok = 'ローカル グループ名 g1 は正常に作成されました。\n\n'
        self.expect(run, 'パスワード (Administrator) : \n[PC2]\n' + ok + '[PC5]\n' +
                    self.refused('PC5', ERROR_LOGON_FAILURE, LOGON_HINT) + '[PC3]\n' + ok +
                    '[PC4]\n' + ok + summary(3, ['PC5']), 1, banner=False)
        self.assertEqual(self.world.ctl('connection', 'list'), '')

    def test_remote_uac_hint(self):
        # kanri reaches PC3 by pass-through as a local administrator there: filtered.
        self.world.ctl('session', '--password', 'pw')
        self.world.ctl('user', 'add', 'kanri', '--password', 'pw', '--computer', 'PC3')
        self.world.ctl('member', 'add', 'Administrators', 'kanri', '--computer', 'PC3')
        run = self.world.run('/computer:PC3', '/group', '/add', 'g1', '/s')
        self.expect(run, '対象コンピューター : PC3\n\n' +
                    net_error('ローカル グループを作成できませんでした。', ERROR_ACCESS_DENIED) +
                    UAC_HINT + 'エラー : ローカル グループ名 g1 を作成できませんでした。\n\n', 1,
                    banner=False)
        # The same on this computer: no hint.
        self.world.ctl('session', '--admin', '0')
        run = self.world.run('/group', '/add', 'g1', '/s')
        self.assertNotIn('ヒント', run.text)

    def test_refused_report_and_lists_say_why_and_show_no_accounts(self):
        # PC2 has no kanri (pass-through fails); PC3's kanri is a filtered administrator.
        self.world.ctl('session', '--password', 'pw')
        self.world.ctl('user', 'add', 'kanri', '--password', 'pw', '--computer', 'PC3')
        self.world.ctl('member', 'add', 'Administrators', 'kanri', '--computer', 'PC3')
        path = 'Z:' + os.path.join(self.world.folder, 'r.csv').replace('/', '\\')
        commands = ((('/report', path), 'アカウント レポートを作成できませんでした。',
                     f'エラー : アカウント レポート {path} を保存できませんでした。\n\n'),
                    (('/user', '/list'), 'ユーザー アカウントの一覧を取得できませんでした。', ''),
                    (('/group', '/list', '/format:json'), 'ローカル グループの一覧を取得できませんでした。', ''))
        for computer, code, hint in (('PC2', ERROR_LOGON_FAILURE, LOGON_HINT),
                                     ('PC3', ERROR_ACCESS_DENIED, UAC_HINT)):
            for args, caption, tail in commands:
                with self.subTest(computer=computer, command=args):
                    run = self.world.run(f'/computer:{computer}', *args, '/s')
                    self.expect(run, f'対象コンピューター : {computer}\n\n' + net_error(caption, code) +
                                hint + tail, 1, banner=False)
        self.assertFalse(os.path.exists(os.path.join(self.world.folder, 'r.csv')))

    def test_as_switch_and_remote_status(self):
        # /as: only directly after /computer:, never empty; no password: nothing runs.
        for args in (['/as:admin', '/user', 'kanri'], ['/computer:PC2', '/as:', '/user', 'kanri'],
                     ['/computer:PC2', '/user', 'kanri', '/as:admin'],
                     ['/computer:PC2', '/as:' + 'u' * 257, '/user', 'kanri']):
            run = self.world.run(*args, '/s')
            self.assertEqual(2, run.code, args)
            self.assertIn('コマンド ラインの指定が正しくありません。', run.text)
        run = self.world.run('/computer:PC2,PC3', '/as:admin', '/group', '/add', 'g9', '/s')
        run.text = run.text.replace('\r\n', '\n')
        self.assertEqual(2, run.code)
        self.assertIn('パスワード (admin) : \nエラー : パスワードが入力されなかったため、何も実行しませんでした。',
                      run.text)
        self.assertNotIn('[PC2]', run.text)
        run = self.world.run('/computer:PC2,PC3', '/as:admin', '/group', '/add', 'g9', '/s',
                             answer='p' * 300 + '\n')
        self.assertEqual(2, run.code)
        self.assertIn('パスワードが長すぎます', run.text)
        # Read-only readiness of this computer: Windows' defaults on a fresh world.
        run = self.world.run('/remote', '/status', '/s')
        run.text = run.text.replace('\r\n', '\n')
        self.assertEqual(0, run.code, run.text)
        for line in ('LocalAccountTokenFilterPolicy : なし (Windows の既定 : 0)',
                     'RestrictRemoteSAM : なし (Windows の既定)',
                     '組み込みの Administrator (Administrator) : 無効',
                     'LimitBlankPasswordUse : なし (Windows の既定 : 1)', '「リモート管理の準備」'):
            self.assertIn(line, run.text)
        self.assertEqual(2, self.world.run('/computer:PC2', '/remote', '/status', '/s').code)


class EntraWorld(AmbcmdCase):
    """An Entra-joined Windows 11 computer: members only their SIDs name, a user
    linked to a Microsoft account."""

    def setUp(self):
        super().setUp()
        self.world.ctl('reset', '--entra')

    def path(self, name):
        return os.path.join(self.world.folder, name)

    def wine_path(self, name):
        return 'Z:' + self.path(name).replace('/', '\\')

    def json_of(self, *args):
        run = self.world.run(*args, '/s')
        self.assertEqual(run.code, 0, run.text)
        return json.loads(run.text)

    def test_lists_name_the_microsoft_account_and_keep_unnamed_members(self):
        users = {u['name']: u for u in self.json_of('/user', '/list', '/format:json')}
        self.assertEqual(users['hanak']['microsoftAccount'], 'hanako.yamada@outlook.jp')
        self.assertIsNone(users['kanri']['microsoftAccount'])
        groups = {g['name']: g for g in self.json_of('/group', '/list', '/format:json')}
        admins = groups['Administrators']['members']
        self.assertEqual([m for m in admins if m.startswith('S-1-12-1-')],
                         [m['sid'] for m in self.world.dump()['groups'][0]['members']
                          if m['sid'].startswith('S-1-12-1-')])
        self.assertEqual(len([m for m in admins if m.startswith('S-1-12-1-')]), 2)
        self.assertIn('MicrosoftAccount\\hanako.yamada@outlook.jp', groups['Users']['members'])
        self.assertEqual(groups['IIS_IUSRS']['members'], ['NT AUTHORITY\\IUSR'])
        self.assertEqual((groups['OpenSSH Users']['sid'], groups['Device Owners']['rid']),
                         ('S-1-5-32-585', 583))
        table_text = self.world.run('/user', '/list').text
        self.assertRegex(table_text, r'hanak +1001 +有効 +山田 花子 +hanako\.yamada@outlook\.jp\r?\n')

    def test_report_and_import_round_trip_keeps_the_sids(self):
        path = self.wine_path('entra.csv')
        self.world.run('/report', path, '/s')
        text = open(self.path('entra.csv'), encoding='utf-8-sig').read()
        self.assertIn('S-1-12-1-2935245824-1294732452-2519542191-3411468211', text)
        self.assertIn(',hanako.yamada@outlook.jp\n', text)
        before = self.world.dump()['groups']
        run = self.world.run('/import', path, '/exact', '/s')
        self.assertEqual(run.code, 0, run.text)
        self.assertEqual(self.world.dump()['groups'], before)


# ---------------------------------------------------------------- the vault

PASSPHRASE = 'correct horse battery'
SHOWN = re.compile(r'^\[(\S+)\] (\S+)\r?$|^　(適用済み|保留中  ) : [\d/: ]{19}  (\S{20})\r?$', re.M)


class Vault(AmbcmdCase):
    """/vault:FILE with /init, /show, /history and /user /rotate NAME on a
    fleet of simulated computers, whose passwords the dump shows."""

    def setUp(self):
        super().setUp()
        self.file = os.path.join(self.world.folder, 'vault.txt')
        self.vault = '/vault:Z:' + self.file.replace('/', '\\')
        run = self.world.run(self.vault, '/init', '/s', answer=f'{PASSPHRASE}\n' * 2)
        self.assertEqual(run.code, 0, run.text)

    def reach(self, *computers, account='kanri2', password='Old-pass-1'):
        """Computers this session can administer, each with the account to rotate.
        The one place that says how the session reaches a remote computer."""
        known = {r['computer'] for r in self.world.dump()['remotes']}
        for computer in computers:
            if computer not in known:
                self.world.add_reachable_computer(computer)
            self.world.ctl('user', 'add', account, '--password', password, '--computer', computer)

    def password(self, computer, name='kanri2'):
        remote = next(r for r in self.world.dump()['remotes'] if r['computer'] == computer)
        return next(u['password'] for u in remote['users'] if u['name'] == name)

    def rotate(self, computers, name='kanri2', env=None, extra=()):
        command = [AMBCMD, f'/computer:{computers}', '/user', '/rotate', name, self.vault, '/s']
        out = run_wine(command + list(extra), dict(self.world.env, **(env or {})))
        return Run(out.returncode, out.stdout.decode('cp932'), out.stderr)

    def show(self, *args, passphrase=PASSPHRASE):
        """/show's passwords as {(computer, account): {'適用済み' or '保留中': password}}."""
        run = self.world.run(self.vault, '/show', *args, '/s', answer=passphrase + '\n')
        shown, current = {}, None
        for computer, account, label, password in SHOWN.findall(run.text):
            if computer:
                current = shown.setdefault((computer, account), {})
            else:
                current[label.strip()] = password
        return run, shown

    def lines(self):
        with open(self.file, 'rb') as f:
            return f.read().split(b'\n')

    def records(self):
        return [json.loads(line) for line in self.lines()[1:] if line]

    def test_init_rotate_show_history_round_trip(self):
        # An existing vault is never overwritten; a short passphrase is refused.
        before = self.lines()
        run = self.world.run(self.vault, '/init', '/s', answer=f'{PASSPHRASE}\n' * 2)
        self.assertEqual(run.code, 1)
        self.assertIn('パスワード保管庫を作成できませんでした。', run.text)
        other = self.vault.replace('vault.txt', 'short.txt')
        run = self.world.run(other, '/init', '/s', answer='elevenchars\nelevenchars\n')
        self.assertIn('エラー : パスフレーズは 12 文字以上で入力してください。', run.text)
        self.assertFalse(os.path.exists(self.file.replace('vault.txt', 'short.txt')))
        self.assertEqual(self.lines(), before)
        header = json.loads(before[0])
        self.assertEqual((header['version'], header['iterations'], header['cipher']),
                         (1, 600000, 'AES-256-GCM'))

        self.reach('PC2', 'PC3', 'PC4')
        run = self.rotate('PC2,PC3,PC4')
        self.assertEqual(run.code, 0, run.text)
        self.assertTrue(run.text.endswith(summary(3, []).replace('\n', '\r\n')), run.text)
        run, shown = self.show()
        self.assertEqual(run.code, 0, run.text)
        held = {c: self.password(c) for c in ('PC2', 'PC3', 'PC4')}
        self.assertEqual(shown, {(c, 'kanri2'): {'適用済み': p} for c, p in held.items()})
        self.assertEqual(len(set(held.values())), 3)
        for password in held.values():
            self.assertRegex(password, r'^[A-Za-z0-9!#$%()*+,\-./<=>?]{20}$')
            self.assertNotIn(password.encode(), b'\n'.join(self.lines()))
        # A second rotation: the newest applied password is the one shown.
        self.assertEqual(self.rotate('PC3').code, 0)
        run, shown = self.show('pc3')
        self.assertEqual(shown, {('PC3', 'kanri2'): {'適用済み': self.password('PC3')}})
        self.assertNotEqual(self.password('PC3'), held['PC3'])
        run = self.world.run(self.vault, '/history', '/s')
        self.assertEqual(run.code, 0)
        self.assertEqual(len(re.findall(r'^行 \d+  .*  kanri2  (保留中|適用済み)\r$', run.text, re.M)), 8)
        self.assertIn('8 件の記録があります。', run.text)

    def test_wrong_passphrase_and_damaged_lines_are_named(self):
        self.reach('PC2')
        self.assertEqual(self.rotate('PC2').code, 0)
        before = self.lines()
        run, shown = self.show(passphrase='wrong horse battery')
        self.expect(run, 'パスフレーズ : \nエラー : パスフレーズが正しくありません。\n\n', 1, banner=False)
        pending = json.loads(before[1])
        forged = dict(pending, id='00000000000000ff', password='QUJD' * 96)
        damaged = [b'{"v":1,"id":"0011', b'{"v":2}', json.dumps(dict(pending, password='@@@@')).encode(),
                   json.dumps(forged).encode(), b'x' * 1048576]
        with open(self.file, 'ab') as f:
            f.write(b'\n'.join(damaged) + b'\n{"v":1')
        run, shown = self.show()
        self.assertEqual(run.code, 1)
        for line, why in ((4, '記録の形式ではありません'), (5, '記録の版が違います'),
                          (6, '項目が足りないか、値が正しくありません'), (8, '行が長すぎます'),
                          (9, '行が途中で切れています')):
            self.assertIn(f'警告 : 行 {line} を読み取れませんでした ({why})。', run.text)
        self.assertIn('(行 7 のパスワードを復号できません)', run.text)
        self.assertEqual(shown[('PC2', 'kanri2')]['適用済み'], self.password('PC2'))
        # A later rotation starts on a line of its own and is read whole.
        self.assertEqual(self.rotate('PC2').code, 0)
        self.assertEqual(self.show()[1][('PC2', 'kanri2')]['適用済み'], self.password('PC2'))
        # A file that is not a vault, and one cut inside its key, say so.
        with open(self.file, 'wb') as f:
            f.write(before[0][:300])
        run, shown = self.show()
        self.assertEqual(run.code, 1)
        self.assertIn('1 行目 (保管庫の鍵) が壊れています。', run.text)

    def test_crash_between_records_leaves_the_pending_password_in_force(self):
        self.reach('PC2', 'PC3')
        old = self.password('PC2')
        run = self.rotate('PC2', env={'AMBRELLE_TEST_EXIT_AFTER_CHANGE': '1'})
        self.assertEqual(run.code, 3)
        self.assertEqual([r['state'] for r in self.records()], ['pending'])
        self.assertNotEqual(self.password('PC2'), old)
        run, shown = self.show('PC2')
        self.assertEqual(shown, {('PC2', 'kanri2'): {'保留中': self.password('PC2')}})
        self.assertIn('保留中のパスワードか、保管庫にない以前のパスワードが有効です。', run.text)
        # The change fails: a failed record with the reason, the old password kept.
        self.world.ctl('fail', 'NetUserSetInfo', str(ERROR_ACCESS_DENIED))
        in_force = self.password('PC2')
        run = self.rotate('PC2')
        self.expect(run, '対象コンピューター : PC2\n\n' +
                    net_error('パスワードを変更できませんでした。', ERROR_ACCESS_DENIED) + UAC_HINT +
                    'エラー : ユーザー kanri2 のパスワードを変更できませんでした。\n\n', 1, banner=False)
        self.assertEqual(self.password('PC2'), in_force)
        failed = self.records()[-1]
        self.assertEqual((failed['state'], failed['error']), ('failed', ERROR_ACCESS_DENIED))
        self.assertEqual(self.show('PC2')[1], {('PC2', 'kanri2'): {'保留中': in_force}})

    def test_vault_that_cannot_be_written_stops_the_rotation(self):
        self.reach('PC2', 'PC3', 'PC4')
        old = {c: self.password(c) for c in ('PC2', 'PC3', 'PC4')}
        # (A Unix mode does not stop root, who runs the tests: the hook stands in.)
        run = self.rotate('PC2,PC3,PC4', env={'AMBRELLE_TEST_VAULT_APPENDS': '0'})
        self.assertEqual(run.code, 1)
        self.assertEqual(run.text.count('パスワード保管庫に記録できなかったため、パスワードは変更していません。'), 3)
        self.assertEqual(self.records(), [])
        self.assertEqual({c: self.password(c) for c in old}, old)
        # Read-only midway: one pending record gets in, nothing after it.
        run = self.rotate('PC2,PC3,PC4', env={'AMBRELLE_TEST_VAULT_APPENDS': '1'})
        self.assertEqual(run.code, 1)
        changed = [c for c in old if self.password(c) != old[c]]
        self.assertEqual(len(changed), 1, run.text)
        self.assertEqual([r['state'] for r in self.records()], ['pending'])
        self.assertEqual(self.show()[1], {(changed[0], 'kanri2'): {'保留中': self.password(changed[0])}})

    def test_two_processes_rotate_into_one_vault(self):
        computers = [f'PC{n}' for n in range(2, 8)]
        self.reach(*computers)
        self.reach(*computers, account='hoshu')
        env = dict(self.world.env, WINEDEBUG='-all')
        jobs = [subprocess.Popen([WINE_RUN, AMBCMD, '/computer:' + ','.join(computers), '/user',
                                  '/rotate', name, self.vault, '/s'], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                for name in ('kanri2', 'hoshu')]
        self.assertEqual([job.wait(RUN_TIMEOUT) for job in jobs], [0, 0])
        records = self.records()  # every line whole JSON
        self.assertEqual(len(records), 24)
        run, shown = self.show()
        self.assertEqual(run.code, 0, run.text)
        self.assertEqual(shown, {(c, a): {'適用済み': self.password(c, a)}
                                 for c in computers for a in ('kanri2', 'hoshu')})

    def test_bad_command_lines_and_accounts_change_nothing(self):
        self.reach('PC2', 'PC3')
        self.world.ctl('user', 'set', 'kanri2', '--disable', '--computer', 'PC3')
        for args in (['/user', '/rotate', 'kanri2'], ['/user', '/rotate', 'kanri2', '/vault:'],
                     ['/user', '/rotate', self.vault], ['/user', '/rotate', 'kanri2', self.vault, 'x'],
                     [self.vault, '/show', 'PC2', 'PC3'], [self.vault, '/rotate', 'kanri2']):
            run = self.world.run('/computer:PC2', *args)
            self.expect(run, CMDLINE_ERROR, 2, admin=True)
        run = self.rotate('PC2,PC3', name='nobody')
        self.assertIn('[PC2]\r\n' + net_error('ユーザー アカウントの情報を取得できませんでした。',
                                               NERR_UserNotFound).replace('\n', '\r\n'), run.text)
        run = self.rotate('PC3')
        self.expect(run, '対象コンピューター : PC3\n\n'
                    'エラー : ユーザー kanri2 は無効になっているため、パスワードを変更しません。\n'
                    'エラー : ユーザー kanri2 のパスワードを変更できませんでした。\n\n', 1, banner=False)
        self.assertEqual([self.password('PC2'), self.password('PC3')], ['Old-pass-1'] * 2)
        self.assertEqual(self.records(), [])

    def test_as_with_the_vault_connects_with_each_computers_own_password(self):
        # The built-in Administrator rotated through the stored credentials: from
        # then on only the vault knows each computer's password.
        self.reach('PC2', 'PC3', 'PC4')
        run = self.rotate('PC2,PC3', name='Administrator')
        self.assertEqual(run.code, 0, run.text)
        passwords = {c: self.password(c, 'Administrator') for c in ('PC2', 'PC3')}
        self.assertNotEqual(passwords['PC2'], passwords['PC3'])
        self.assertEqual(self.world.run('/computer:PC2', '/user', 'kanri2', '/s').code, 1)
        run = self.world.run('/computer:PC2,PC3,PC4', '/as:Administrator', self.vault,
                             '/user', 'kanri2', '/s', answer=PASSPHRASE + '\n')
        self.assertEqual(run.code, 1, run.text)
        self.assertIn('[PC4]\r\nエラー : パスワード保管庫に、コンピューター PC4 のアカウント Administrator '
                      'のパスワードがありません。', run.text)
        self.assertIn('結果 : 成功 2 台、失敗 1 台 (失敗 : PC4)', run.text)
        self.assertEqual(self.world.ctl('connection', 'list'), '')
        # A wrong passphrase reaches no computer.
        before = self.world.dump()['remotes']
        run = self.world.run('/computer:PC2,PC3', '/as:Administrator', self.vault, '/user',
                             'kanri2', '/s', answer='wrong passphrase\n')
        self.expect(run, 'パスフレーズ : \nエラー : パスフレーズが正しくありません。\n\n', 1, banner=False)
        self.assertEqual(self.world.dump()['remotes'], before)


GROUPS = {
    'frontend': [Frontend],
    'help': [Help],
    'prompts': [Prompts],
    'usercmds': [UserCommands],
    'userflags': [UserFlags],
    'usergroups': [UserGroups],
    'groupcmds': [GroupCommands],
    'fields': [SingleFields],
    'members': [Members],
    'faults': [Faults],
    'import': [Import],
    'policy': [Policy],
    'computers': [Computers],
    'connectas': [ConnectAs],
    'entra': [EntraWorld],
    'vault': [Vault],
}


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in GROUPS:
        print(f'usage: ambcmd_test.py {"|".join(GROUPS)}', file=sys.stderr)
        return 2
    for path in (AMBCMD, SIMCTL, HELPER):
        if not os.path.exists(path):
            print(f'missing {path}', file=sys.stderr)
            return 1
    loader = unittest.TestLoader()
    suite = unittest.TestSuite(loader.loadTestsFromTestCase(c) for c in GROUPS[sys.argv[1]])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == '__main__':
    sys.exit(main())
