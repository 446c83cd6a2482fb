#!/usr/bin/env python3
"""Ambcmd under random and hostile input: command lines generated from its
switch grammar in random orders and letter cases, with arguments of the lengths
around its limits (empty, 1, 20, 21, 256, 257, 1,000 and 5,000 characters),
Japanese and full-width text, control characters, quotes, printf conversions,
semicolon lists with empty and over-long items, names with backslashes, and
answers at the prompt of y, n, an empty line, end of input or long garbage;
"/computer:" lists (empty items, 5,000-character names, quotes, list files in
UTF-8, with invalid bytes, or missing), "/list" with its formats and "/report";
"/as:USER" after the list and anywhere else, with user names around their limit
and password lines on standard input (empty, 10,000 characters, invalid UTF-8,
end of input: no password means nothing runs and exit 2). With --vault: damaged
password vault files (cut, invalid base64, wrong versions, 1 MB lines, 100,000
records) through /history and /show instead.

Every run must end by itself with exit code 0, 1 or 2; the result line must
carry the arguments literally (never read as a format); a run that ends with 2,
and a confirmation not answered yes, must leave the account database exactly
as it was (AmbSimCtl dump before and after). The runs go through one Wine
session in batches (cli_test_helper batch), since starting Wine costs more than
a run of Ambcmd.

Usage:
  fuzz_ambcmd.py                      the suite's run: 100 command lines, seed 15
  fuzz_ambcmd.py --runs 2000 --seed N a longer run (about six minutes per thousand)
  fuzz_ambcmd.py --show N --seed S    print the command lines of a run, run nothing
  fuzz_ambcmd.py --vault              the damaged vault files (the suite's cli_fuzz_vault)
Environment as for ambcmd_test.py (AMB_SIM_BIN_DIR, AMB_CLI_HELPER, WINE_RUN,
AMB_WINEPREFIX), as ctest sets it; or --build DIR takes them from a build
folder whose tests have run once (its Wine prefix):
  tests/cli/fuzz_ambcmd.py --build build --runs 2000 --seed 7
"""
import argparse
import collections
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def take_environment_from_build():
    """--build DIR: the test environment of that build folder (read before
    ambcmd_test, which reads it on import)."""
    if '--build' not in sys.argv[:-1]:
        return
    build = os.path.abspath(sys.argv[sys.argv.index('--build') + 1])
    os.environ.setdefault('AMB_SIM_BIN_DIR', os.path.join(build, 'bin', 'sim'))
    os.environ.setdefault('AMB_CLI_HELPER', os.path.join(build, 'tests', 'bin',
                                                         'cli_test_helper.exe'))
    os.environ.setdefault('AMB_WINEPREFIX', os.path.join(build, 'wineprefix'))
    os.environ.setdefault('WINE_RUN', os.path.join(HERE, '..', 'wine-run.sh'))
    os.environ.setdefault('TZ', 'UTC')


take_environment_from_build()
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, HERE)
from ambcmd_test import AMBCMD, CMDLINE_ERROR, DONE, HELPER, SIMCTL, WINE_RUN, World  # noqa: E402

BATCH = 50  # runs per Wine session

# ------------------------------------------------------------------ grammar

USER_SUBS = {  # switch: (second argument: 'none' | 'optional' | 'required', confirm)
    '/add': ('optional', False), '/rename': ('required', False),
    '/remove': ('none', True), '/delete': ('none', True),
    '/fullname': ('required', False), '/comment': ('required', False),
    '/description': ('required', False), '/flags': ('required', False),
    '/setgroup': ('required', False), '/delgroup': ('required', False),
    '/unlock': ('none', False), '/passreset': ('none', True),
}
GROUP_SUBS = {
    '/add': ('optional', False), '/rename': ('required', False),
    '/remove': ('none', True), '/delete': ('none', True),
    '/comment': ('required', False), '/description': ('required', False),
    '/adduser': ('required', False), '/setuser': ('required', False),
    '/deluser': ('required', False),
}

# Result lines (success, failure); "{0}" is Name, "{1}" the second argument.
USER_LINES = {
    '/add': ('ユーザー {0} は正常に作成されました。', 'エラー : ユーザー {0} を作成できませんでした。'),
    '/rename': ('ユーザー名を {0} から {1} に変更しました。',
                'エラー : ユーザー名を {0} から {1} に変更できませんでした。'),
    '/remove': ('ユーザー {0} は正常に削除されました。', 'エラー : ユーザー {0} を削除できませんでした。'),
    '/fullname': ('ユーザー {0} のフル ネームを {1} に設定しました。',
                  'エラー : ユーザー {0} のフル ネームを設定できませんでした。'),
    '/comment': ('ユーザー {0} のコメントを設定しました。',
                 'エラー : ユーザー {0} のコメントを設定できませんでした。'),
    '/flags': ('ユーザー {0} のフラグを設定しました。', 'エラー : ユーザー {0} のフラグを設定できませんでした。'),
    '/setgroup': ('ユーザー {0} を指定されたローカル グループへ割り当てました。',
                  'エラー : ユーザー {0} を指定されたローカル グループへ割り当てできませんでした。'),
    '/delgroup': ('指定されたローカル グループからユーザー {0} を削除しました',
                  'エラー : 指定されたローカル グループからユーザー {0} を削除できませんでした。'),
    '/unlock': ('ユーザー {0} のロックアウトは解除されました。',
                'エラー : ユーザー {0} のロックアウトを解除できませんでした。'),
    '/passreset': ('ユーザー {0} のパスワードは正常にリセットされました。',
                   'エラー : ユーザー {0} のパスワードをリセットできませんでした。'),
}
USER_LINES['/delete'] = USER_LINES['/remove']
USER_LINES['/description'] = USER_LINES['/comment']
GROUP_LINES = {
    '/add': ('ローカル グループ名 {0} は正常に作成されました。',
             'エラー : ローカル グループ名 {0} を作成できませんでした。'),
    '/rename': ('ローカル グループ名を {0} から {1} に変更しました。',
                'エラー : ローカル グループ名を {0} から {1} に変更できませんでした。'),
    '/remove': ('ローカル グループ {0} は正常に削除されました。',
                'エラー : ローカル グループ {0} を削除できませんでした。'),
    '/comment': ('ローカル グループ {0} のコメントを設定しました。',
                 'エラー : ローカル グループ {0} のコメントを設定できませんでした。'),
    '/adduser': ('ローカル グループ {0} のメンバーシップは正しく追加されました。',
                 'エラー : ローカル グループ {0} のメンバーシップを追加できませんでした'),
    '/setuser': ('ローカル グループ {0} のメンバーシップ置換は正常に終了しました。',
                 'エラー : ローカル グループ {0} のメンバーシップ置換ができませんでした。'),
    '/deluser': ('ローカル グループ {0} からメンバーシップが削除されました。',
                 'エラー : ローカル グループ {0} からメンバーシップを削除できませんでした。'),
}
GROUP_LINES['/delete'] = GROUP_LINES['/remove']
GROUP_LINES['/description'] = GROUP_LINES['/comment']
DETAILS_FAILURE = {'/user': 'ユーザー {0} の情報を取得できませんでした。',
                   '/group': 'ローカル グループ {0} の情報を取得できませんでした。'}

KNOWN_NAMES = ['taro', 'hanako', '山田', 'kanri', 'Administrator', 'Guest', 'Users',
               'Administrators', '営業部', 'sales', 'AMBPC01\\taro', 'NOWHERE\\x', '\\\\srv\\u',
               '\\', 'a\\', 'TARO', 'Sales']
LENGTHS = [0, 1, 20, 21, 256, 257, 1000, 5000]
ALPHABETS = [
    'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789',
    'あいうえおかきくけこ山田太郎営業部経理日本語ー',
    'ＡＢＣＤＥＦａｂｃｄｅ０１２３４５　',           # full-width, ideographic space
    ''.join(chr(c) for c in range(1, 32) if c not in (0x1a,)),  # control characters
    '"\'`\\;,.:*?<>|=+[]{}()!@#$^&~ \t',
    '%s%n%x%d%S%ls%p%%',
]
HOSTILE = ['%s %n %x', '%n%n%n%n', '%s%s%s%s%s%s', '%08x.%08x.%08x', '%', '"', '""', '\\"',
           'a"b', '\\\\', 'a\\b\\c', ';', ';;;', 'a;;b;', ' ; ', '\u3000', 'ｔａｒｏ', '\x07\x08\x1b[31m',
           'line1\nline2', 'tab\there', '/s', '/silent', '/', '//', '/user', '-x', 'E', 'ECcXxDd',
           'Dd', 'xX', 'CcXxDdE', 'é', '\U0001F600']
FLAGS = ['E', 'C', 'c', 'X', 'x', 'D', 'd', 'CX', 'cxd', 'DX', 'EC', 'CE', '', 'Q', 'CcXxDd']
ANSWERS = [None, '', '\n', 'y\n', 'Y\n', 'yes\n', 'n\n', 'N\n', 'x\n', 'y', 'n', ' y\n',
           'garbage' * 300 + '\n', 'Ｙ\n', 'ｙ\n', '\x1a']


def random_case(rng, text):
    return ''.join(c.upper() if rng.random() < 0.5 else c.lower() for c in text)


def random_text(rng, length=None):
    if length is None:
        length = rng.choice(LENGTHS)
    alphabet = rng.choice(ALPHABETS) if rng.random() < 0.8 else ''.join(ALPHABETS)
    return ''.join(rng.choice(alphabet) for _ in range(length))


def random_list(rng):
    items = []
    for _ in range(rng.randint(0, 6)):
        r = rng.random()
        if r < 0.2:
            items.append('')
        elif r < 0.5:
            items.append(rng.choice(KNOWN_NAMES))
        elif r < 0.7:
            items.append(random_text(rng, rng.choice([1, 20, 256, 257, 300])))
        else:
            items.append(random_text(rng, rng.randint(0, 30)))
    text = ';'.join(items)
    if rng.random() < 0.3:
        text = ';' + text
    if rng.random() < 0.3:
        text += ';'
    return text


def random_argument(rng):
    r = rng.random()
    if r < 0.35:
        return rng.choice(KNOWN_NAMES)
    if r < 0.55:
        return rng.choice(HOSTILE)
    if r < 0.75:
        return random_text(rng)
    if r < 0.85:
        return random_list(rng)
    if r < 0.95:
        return rng.choice(FLAGS)
    return random_text(rng, rng.randint(0, 40))


def random_switch(rng, choices, odd=0.15):
    r = rng.random()
    if r >= odd:
        return random_case(rng, rng.choice(choices))
    if r < odd / 2:
        return '/' + random_text(rng, rng.randint(0, 10))
    return rng.choice(['', '/', 'user', '\\user', '/user ', '/ｕｓｅｒ', '/users', '/?x'])


# "/computer:" lists; the «...» files are made in the run's folder (see fuzz).
COMPUTER_LISTS = ['PC2', 'PC2,PC3', '192.0.2.7', '\\\\PC3 ', 'nosuch', 'PC3,nosuch', '',
                  ',', 'PC2,,PC3', ',PC2', 'x' * 63, 'x' * 64, 'x' * 5000, '"PC2"', 'a b',
                  'P*C', 'PC2;PC3', '@', '@«GOOD»', '@«BAD»', '@«MISSING»', '　PC2　']
FORMATS = ['/format:csv', '/FORMAT:TSV', '/format:json', '/format:', '/format:xml', 'csv', '/s']


# The user of "/as:" (at most 256 characters) and the password lines fed on
# standard input (None: end of input at once).
AS_USERS = ['Administrator', 'PC2\\Administrator', 'admin@example.jp', '%s%n', '管理者']
PASSWORD_LINES = [None, b'', b'\n', b'Secret#1\n', b'Secret#1', b'x' * 10000 + b'\n',
                  b'\x81\x20\xff\xfe\n', 'パスワード'.encode('utf-8') + b'\r\n', b'a\x00b\n']


def random_as_switch(rng):
    user = rng.choice(AS_USERS) if rng.random() < 0.6 else random_text(rng)
    return random_case(rng, '/as:') + user


def random_arguments(rng):
    """An argument vector (positions 1..) from the grammar, bent at random."""
    if rng.random() < 0.08:  # the account report
        args = [random_case(rng, '/report')]
        args += rng.choice([['«REPORT»'], ['«REPORT»', rng.choice(FORMATS)], [], ['/x'], ['']])
    else:
        args = random_family_arguments(rng)
    if rng.random() < 0.05:  # "/as:" where it does not belong
        args.insert(rng.randint(0, len(args)), random_as_switch(rng))
    if rng.random() < 0.2:
        args.insert(0, random_case(rng, '/computer:') + rng.choice(COMPUTER_LISTS))
        if rng.random() < 0.5:
            args.insert(1, random_as_switch(rng))
    return args


def random_input(rng, args):
    """The prompt's answer, or a password line when "/as:" asks for one."""
    if len(args) > 1 and args[1].lower().startswith('/as:'):
        return rng.choice(PASSWORD_LINES)
    return rng.choice(ANSWERS)


def input_bytes(answer):
    if answer is None:
        return b''
    return answer if isinstance(answer, bytes) else answer.encode('cp932', 'replace')


def random_family_arguments(rng):
    family = random_switch(rng, ['/user'] * 5 + ['/group'] * 5 + ['/help', '/?'], 0.05)
    args = [family]
    subs = USER_SUBS if family.lower() != '/group' else GROUP_SUBS
    shape = rng.random()
    if shape < 0.05:
        args = []
    elif shape < 0.1:
        pass  # the family alone: its help
    elif shape < 0.25:
        args.append(random_argument(rng))  # details of a name
    elif shape < 0.32:
        args.append(random_case(rng, '/list'))
        if rng.random() < 0.7:
            args.append(rng.choice(FORMATS))
    else:
        args.append(random_switch(rng, list(subs) + ['/help', '/?'], 0.1))
        for _ in range(rng.choice([0, 1, 1, 2, 2, 2, 2, 2, 2, 3])):
            args.append(random_argument(rng))
    if rng.random() < 0.25:  # the silent switch anywhere, shifting nothing
        args.insert(rng.randint(min(len(args), 1), len(args)),
                    random_case(rng, rng.choice(['/s', '/silent'])))
    elif rng.random() < 0.03:
        args.insert(0, '/s')
    if rng.random() < 0.05:
        rng.shuffle(args)
    # The platform's command-line limit is 32767 characters.
    while sum(len(a) + 3 for a in args) > 30000:
        args[max(range(len(args)), key=lambda i: len(args[i]))] = 'cut'
    return args


# ------------------------------------------------------------ command lines

def quote(argument):
    """One argument for CommandLineToArgvW (Microsoft's C run-time rules)."""
    if argument and not any(c in argument for c in ' \t\n\v"'):
        return argument
    out, slashes = '"', 0
    for c in argument:
        if c == '\\':
            slashes += 1
        elif c == '"':
            out += '\\' * (2 * slashes + 1) + '"'
            slashes = 0
        else:
            out += '\\' * slashes + c
            slashes = 0
    return out + '\\' * (2 * slashes) + '"'


def windows_path(path):
    return 'Z:' + path.replace('/', '\\')


def command_line(program, args):
    return ' '.join(['"' + windows_path(program) + '"'] + [quote(a) for a in args])


# ------------------------------------------------------------------ oracle

def is_switch(argument, *names):
    return argument.lower() in names  # ASCII letters only differ in case here


class Expectation:
    def __init__(self, codes, lines=(), unchanged=False, note=''):
        self.codes = codes        # allowed exit codes
        self.lines = lines        # one of these lines must be in the output (when echoable)
        self.unchanged = unchanged
        self.note = note


def printable(text):
    try:
        text.encode('cp932')
        return True
    except UnicodeEncodeError:
        return False


def computer_list_is_valid(text):
    """The rule of "/computer:": names or a readable list file of names."""
    if text.startswith('@'):
        return text == '@«GOOD»'
    for item in text.split(','):
        item = item.lstrip('\\ \t\u3000').rstrip(' \t\u3000')
        units = len(item.encode('utf-16-le')) // 2
        if units == 0 or units >= 64:
            return False
        if any(c <= ' ' or c in '\x7f\u3000\\/:*?"<>|,;=+[]@' for c in item):
            return False
    return True


def list_form_is_valid(argument, formats):
    return argument is None or argument.lower() in ('/s', '/silent') or \
        argument.lower() in ['/format:' + f for f in formats]


def password_is_readable(line):
    """The first line of standard input as "/as:" takes it: there, at most 256
    characters, decodable, without a NUL."""
    if line is None or line == b'':
        return False
    line = line.split(b'\n')[0].rstrip(b'\r')
    try:
        text = line.decode('utf-8')
    except UnicodeDecodeError:
        return False  # nor Shift_JIS, in the lines above
    return len(text.encode('utf-16-le')) // 2 <= 256 and '\0' not in text


def expect(args, answer):
    """What Ambcmd must do with this argument vector and prompt answer."""
    silent = any(is_switch(a, '/s', '/silent') for a in args)
    connect_as = False
    if args and args[0].lower().startswith('/computer:'):
        if not computer_list_is_valid(args[0][len('/computer:'):]):
            return Expectation({2}, unchanged=True, note='bad computer list')
        args = args[1:]
        if args and args[0].lower().startswith('/as:'):
            user = args[0][len('/as:'):]
            if not 0 < len(user.encode('utf-16-le')) // 2 <= 256:
                return Expectation({2}, unchanged=True, note='bad /as: user')
            connect_as = True
            args = args[1:]
    if any(a.lower().startswith('/as:') for a in args):
        return Expectation({2}, unchanged=True, note='stray /as:')
    if connect_as:
        if not password_is_readable(answer):
            return Expectation({2}, unchanged=True, note='no password')
        # The password line is taken: a confirmation then meets the end of
        # input. The connection itself may fail (exit 1, nothing run), and a
        # refused logon counts as a bad password there, as on Windows.
        rest = expect(args, None)
        if rest.codes == {2}:
            return Expectation({2}, unchanged=True, note='/as: ' + rest.note)
        return Expectation(rest.codes | {1}, note='/as: ' + rest.note)
    if args and is_switch(args[0], '/report'):
        valid = len(args) > 1 and args[1] != '' and not args[1].startswith('/') and \
            list_form_is_valid(args[2] if len(args) > 2 else None, ['csv', 'tsv'])
        return Expectation({0, 1} if valid else {2}, unchanged=True, note='report')
    if not args or is_switch(args[0], '/help', '/?'):
        return Expectation({0}, note='usage')
    if not is_switch(args[0], '/user', '/group'):
        return Expectation({2}, unchanged=True, note='unknown main switch')
    family = args[0].lower()
    if len(args) == 1:
        return Expectation({0}, unchanged=True, note='help')
    sub = args[1]
    if not sub.startswith('/'):
        return Expectation({0, 1}, [DONE.rstrip('\n'), DETAILS_FAILURE[family].format(sub)],
                           unchanged=True, note='details')
    if is_switch(sub, '/help', '/?'):
        return Expectation({0}, unchanged=True, note='help')
    if is_switch(sub, '/list'):
        valid = list_form_is_valid(args[2] if len(args) > 2 else None, ['csv', 'tsv', 'json'])
        return Expectation({0, 1} if valid else {2}, unchanged=True, note='list')
    subs, lines = (USER_SUBS, USER_LINES) if family == '/user' else (GROUP_SUBS, GROUP_LINES)
    key = sub.lower()
    if key not in subs:
        return Expectation({2}, unchanged=True, note='unknown sub-switch')
    second, confirm = subs[key]
    if len(args) < 3 or args[2].startswith('/') or (second == 'required' and len(args) < 4):
        return Expectation({2}, [CMDLINE_ERROR.rstrip('\n')], unchanged=True, note='bad line')
    name = args[2]
    value = args[3] if len(args) > 3 else ''
    if confirm and not silent and not (answer or '').lower().startswith('y'):
        return Expectation({0}, unchanged=True, note='declined')
    success, failure = lines[key]
    return Expectation({0, 1}, [success.format(name, value), failure.format(name, value)],
                       note='command')


# ------------------------------------------------------------------ running

def stored(dump):
    """The account database of a dump, without the clock reading that comes with it."""
    world = json.loads(dump)
    world.pop('now', None)
    return world


def difference(a, b, path=''):
    """Where two dumps first differ, for the report; None when equal."""
    if type(a) is not type(b) or not isinstance(a, (dict, list)):
        return None if a == b else f'{path}: {a!r:.80} -> {b!r:.80}'
    keys = sorted(set(a) | set(b)) if isinstance(a, dict) else range(max(len(a), len(b)))
    for k in keys:
        try:
            x, y = a[k], b[k]
        except (KeyError, IndexError):
            return f'{path}/{k}: only on one side'
        found = difference(x, y, f'{path}/{k}')
        if found:
            return found
    return None


def run_batch(world, jobs, folder):
    """jobs: (command line, input bytes); returns [(exit code text, output bytes)]."""
    job_file = os.path.join(folder, 'jobs.txt')
    with open(job_file, 'w', encoding='ascii') as f:
        for line, data in jobs:
            f.write(line.encode('utf-8').hex() + '\n' + data.hex() + '\n')
    pause_log = os.path.join(folder, 'pauses.log')
    env = dict(world.env, WINEDEBUG='err+all,fixme-all')
    out = subprocess.run([WINE_RUN, HELPER, 'batch', windows_path(job_file),
                          windows_path(pause_log)], env=env, capture_output=True, timeout=900)
    results = []
    for row in out.stdout.decode('ascii').splitlines():
        code, _, hex_output = row.partition('\t')
        results.append((code, bytes.fromhex(hex_output)))
    if len(results) != len(jobs):
        raise RuntimeError(f'batch ended after {len(results)} of {len(jobs)} jobs: '
                           f'{out.stderr.decode("utf-8", "replace")[-2000:]}')
    return results


def prepare(world, folder):
    world.ctl('computer', 'add', 'PC2', '--ip', '192.0.2.7')
    world.ctl('computer', 'add', 'PC3')
    with open(os.path.join(folder, 'good.txt'), 'wb') as f:
        f.write('\ufeff# 実習室\r\nPC2\r\n\r\nPC3\r\n'.encode('utf-8'))
    with open(os.path.join(folder, 'bad.txt'), 'wb') as f:
        f.write(b'PC2\r\n\x81\x20\xff\xfe\r\n')
    world.ctl('user', 'add', 'taro', '--full-name', '太郎')
    world.ctl('user', 'add', 'hanako', '--password', 'Secret#1')
    world.ctl('user', 'add', '山田')
    world.ctl('group', 'add', '営業部')
    world.ctl('group', 'add', 'sales')
    world.ctl('lockout', 'taro')


def fuzz(runs, seed, verbose=False):
    rng = random.Random(seed)
    cases = []
    for _ in range(runs):
        args = random_arguments(rng)
        cases.append((args, random_input(rng, args)))
    world = World()
    folder = tempfile.mkdtemp(prefix='ambfuzz-')
    findings = []
    tally = collections.Counter()
    try:
        prepare(world, folder)
        files = {'«GOOD»': windows_path(os.path.join(folder, 'good.txt')),
                 '«BAD»': windows_path(os.path.join(folder, 'bad.txt')),
                 '«MISSING»': windows_path(os.path.join(folder, 'missing.txt')),
                 '«REPORT»': windows_path(os.path.join(folder, 'report.csv'))}

        def placed(args):
            out = []
            for a in args:
                for mark, path in files.items():
                    a = a.replace(mark, path)
                out.append(a)
            return out
        dump_line = command_line(SIMCTL, ['dump'])
        before = None
        for start in range(0, runs, BATCH):
            chunk = cases[start:start + BATCH]
            jobs = [] if before is not None else [(dump_line, b'')]
            for args, answer in chunk:
                jobs += [(command_line(AMBCMD, placed(args)), input_bytes(answer)),
                         (dump_line, b'')]
            results = run_batch(world, jobs, folder)
            if runs > BATCH:
                print(f'{start + len(chunk)} runs', file=sys.stderr, flush=True)
            if before is None:
                before = results.pop(0)[1]
            for i, (args, answer) in enumerate(chunk):
                (code, output), (_, after) = results[2 * i], results[2 * i + 1]
                number = start + i + 1
                e = expect(args, answer)
                tally[f'exit {code}'] += 1
                tally[e.note] += 1
                text = output.decode('cp932', 'replace')
                problems = []
                if code not in ('0', '1', '2') or int(code) not in e.codes:
                    problems.append(f'exit code {code}, expected one of {sorted(e.codes)}')
                if code == '2' or e.unchanged:
                    tally['database compared'] += 1
                    changed = difference(stored(before), stored(after))
                    if changed:
                        problems.append(f'the account database changed ({changed})')
                if e.lines and all(printable(line) for line in e.lines):
                    wanted = [line.replace('\n', '\r\n') for line in e.lines]
                    tally['result line checked'] += 1
                    if not any(w in text for w in wanted):
                        problems.append('no result line with the arguments as typed')
                if problems:
                    findings.append((number, args, answer, problems, text[-600:]))
                if verbose:
                    print(f'{number:5} exit {code} {e.note:18} {args!r:.150} answer={answer!r:.20}')
                before = after
    finally:
        world.close()
        shutil.rmtree(folder, ignore_errors=True)
    return tally, findings


# ---------------------------------------------------------------- the vault reader

VAULT_PASSPHRASE = 'correct horse battery'


def good_vault(world, folder):
    """A vault with two rotations of kanri2 on PC2: its lines (bytes, no line ends)."""
    path = os.path.join(folder, 'vault.txt')
    vault = '/vault:' + windows_path(path)
    world.run(vault, '/init', '/s', answer=f'{VAULT_PASSPHRASE}\n' * 2)
    world.ctl('user', 'add', 'kanri2', '--computer', 'PC2')
    for _ in range(2):
        world.run('/computer:PC2', '/user', '/rotate', 'kanri2', vault, '/s')
    with open(path, 'rb') as f:
        return f.read().split(b'\n')[:-1]


def many_records(lines, count):
    """count records: pending and applied pairs on distinct computers, and
    outcomes whose pending record is nowhere."""
    pending, applied = json.loads(lines[1]), json.loads(lines[2])
    out = []
    for n in range(count // 2):
        key = f'{n:016x}'
        if n % 10 == 9:
            out.append(json.dumps(dict(applied, id=key)).encode())
        else:
            out.append(json.dumps(dict(pending, id=key, computer=f'PC{n}')).encode())
        out.append(json.dumps(dict(applied, id=key, computer=f'PC{n}')).encode())
    return out


def vault_variants(rng, lines):
    """(what, file bytes, commands that must fail): every file but the first is damaged;
    a password that does not decrypt only /show can tell."""
    header, records = lines[0], lines[1:]
    whole = b'\n'.join(lines) + b'\n'
    record = json.loads(records[0])
    variants = [('sound', whole, ''),
                ('header cut', whole[:rng.randrange(1, len(header))], 'both'),
                ('record cut', whole[:len(header) + 1 + rng.randrange(1, len(records[0]))], 'both'),
                ('1 MB line', whole + b'{"v":1,"id":"' + b'7' * 1048576 + b'"}\n', 'both'),
                ('1 MB header', b'{"format":"' + b'a' * 1048576 + b'"}\n' + whole[len(header) + 1:],
                 'both'),
                ('100,000 records', whole + b'\n'.join(many_records(lines, 100000)) + b'\n', 'both'),
                ('empty file', b'', 'both'), ('line ends only', b'\n\r\n\n', 'both')]
    for field, value in (('v', 2), ('v', 0), ('v', -1), ('v', 1.5), ('v', '1'), ('state', 'done'),
                         ('time', '2026-13-01T00:00:00Z'), ('computer', ''), ('computer', 'a\x1b[2J'),
                         ('id', 'XYZ'), ('password', 'AAAA' * 300)):
        broken = json.dumps(dict(record, **{field: value})).encode()
        damage = 'show' if field == 'password' else 'both'
        variants.append((f'{field} {value!r:.20}', whole + broken + b'\n', damage))
    for field, value in (('version', 2), ('version', 0), ('iterations', 1), ('iterations', 10**12),
                         ('salt', 'AAAA'), ('format', 'zip'), ('publicKey', '****')):
        broken = json.dumps(dict(json.loads(header), **{field: value})).encode()
        variants.append((f'header {field} {value!r:.12}', broken + whole[len(header):], 'both'))
    for n in range(4):  # a byte of a password that is not base64 (nor valid UTF-8)
        line = bytearray(records[0])
        start = line.index(b'"password":"') + 12
        at = rng.randrange(start, line.index(b'"', start))
        line[at] = rng.choice(b'*-_ \x00\xff"')
        variants.append((f'byte {at} is {line[at]:#x}', whole + bytes(line) + b'\n', 'both'))
    return variants


def fuzz_vault(seed):
    """Hostile vault files through /history and /show: each ends by itself with
    exit code 1 or 2 and a message that names the line or the file, the sound
    one with 0; the file is never changed by reading it."""
    rng = random.Random(seed)
    world = World()
    folder = tempfile.mkdtemp(prefix='ambvault-')
    findings = []
    tally = collections.Counter()
    try:
        world.add_reachable_computer('PC2')
        variants = vault_variants(rng, good_vault(world, folder))
        jobs, checks = [], []
        for n, (what, data, damage) in enumerate(variants):
            path = os.path.join(folder, f'v{n}.txt')
            with open(path, 'wb') as f:
                f.write(data)
            vault = '/vault:' + windows_path(path)
            commands = ['show'] if len(data) > 1 << 24 else ['history', 'show']  # once is enough
            for command in commands:
                args = [vault, '/show', 'PC2', '/s'] if command == 'show' else [vault, '/history', '/s']
                answer = VAULT_PASSPHRASE.encode() + b'\n' if command == 'show' else b''
                jobs.append((command_line(AMBCMD, args), answer))
                checks.append((what, damage in ('both', command)))
        named = ('行 ', '1 行目', '読めない形式', 'エラー : ')
        for (what, damaged), (code, output) in zip(checks, run_batch(world, jobs, folder)):
            text = output.decode('cp932', 'replace')
            tally[f'vault exit {code}'] += 1
            if code not in (('1', '2') if damaged else ('0',)):
                findings.append((what, f'exit code {code}: {text[-300:]!r}'))
            elif damaged and not any(mark in text for mark in named):
                findings.append((what, f'no message names the damage: {text[-300:]!r}'))
        for n, (what, data, _) in enumerate(variants):
            with open(os.path.join(folder, f'v{n}.txt'), 'rb') as f:
                if f.read() != data:
                    findings.append((what, 'the file changed'))
    finally:
        world.close()
        shutil.rmtree(folder, ignore_errors=True)
    return tally, findings


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--runs', type=int, default=100)
    parser.add_argument('--seed', type=int, default=15)
    parser.add_argument('--show', type=int, default=0, help='print N generated cases and end')
    parser.add_argument('--build', help='build folder to take the test environment from')
    parser.add_argument('-v', '--verbose', action='store_true')
    parser.add_argument('--vault', action='store_true', help='damaged vault files instead')
    options = parser.parse_args()
    if options.show:
        rng = random.Random(options.seed)
        for n in range(options.show):
            args = random_arguments(rng)
            answer = random_input(rng, args)
            print(n + 1, repr(args)[:300], repr(answer)[:30])
        return 0
    for path in (AMBCMD, SIMCTL, HELPER):
        if not os.path.exists(path):
            print(f'missing {path}', file=sys.stderr)
            return 1
    if options.vault:
        return main_vault(options.seed)
    tally, findings = fuzz(options.runs, options.seed, options.verbose)
    print(f'{options.runs} runs, seed {options.seed}: ' +
          ', '.join(f'{k} {v}' for k, v in sorted(tally.items())))
    for number, args, answer, problems, tail in findings:
        print(f'\nrun {number}: {"; ".join(problems)}\n  args {args!r:.1000}\n'
              f'  answer {answer!r:.60}\n  output ends {tail!r}')
    print(f'{len(findings)} findings')
    return 1 if findings else 0


def main_vault(seed):
    tally, findings = fuzz_vault(seed)
    print('vault files: ' + ', '.join(f'{k} {v}' for k, v in sorted(tally.items())))
    for what, problem in findings:
        print(f'\nvault file "{what}": {problem}')
    print(f'{len(findings)} findings')
    return 1 if findings else 0


if __name__ == '__main__':
    sys.exit(main())
