#!/usr/bin/env python3
"""The import's password slips in a real browser: Debian's headless Chromium
prints the page of Ambcmd /import /slips: to PDF; pdftotext reads it back."""
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ambcmd_test as cli  # noqa: E402


class Slips(cli.AmbcmdCase):
    def test_23_new_users_print_on_three_pages_with_every_password_once(self):
        folder = self.world.folder
        with open(os.path.join(folder, 'april.csv'), 'wb') as f:
            f.write(('種類,名前\r\n' + ''.join(f'ユーザー,pupil{i:02}\r\n' for i in range(1, 24)))
                    .encode('utf-8'))
        win = 'Z:' + folder.replace('/', '\\')
        # The strong form: its symbols (& < > " among them) must reach the paper as typed.
        run = self.world.run('/import', win + '\\april.csv', f'/slips:{win}\\cards.html', '/s')
        passwords = re.findall(r'^pupil\d\d\t(\S{16})\r?$', run.text, re.M)
        self.assertEqual((run.code, len(passwords)), (0, 23), run.text)
        pdf = os.path.join(folder, 'cards.pdf')
        subprocess.run(['/usr/bin/chromium', '--headless', '--disable-gpu', '--no-sandbox',
                        f'--user-data-dir={folder}/chromium', '--no-pdf-header-footer',
                        f'--print-to-pdf={pdf}', f'file://{folder}/cards.html'],
                       capture_output=True, timeout=120, env=dict(os.environ, HOME=folder))
        pages = subprocess.run(['pdftotext', pdf, '-'], capture_output=True,
                               check=True).stdout.decode('utf-8').split('\f')[:-1]
        self.assertEqual([p.count('初回ログイン時にパスワードの変更が必要です。') for p in pages],
                         [10, 10, 3])
        text = ''.join(pages)
        for password in passwords:
            self.assertEqual(text.count(password), 1, f'{password!r} in\n{text}')


if __name__ == '__main__':
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
