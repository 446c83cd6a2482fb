#!/usr/bin/env python3
"""The import's password slips in a real browser: Debian's headless Chromium
prints the page that Ambcmd /import /slips: wrote to PDF as a teacher would
print it, and pdftotext reads it back: ten cards to an A4 page, and every
generated password on exactly one card, whole (symbols escaped, not split).
"""
import os
import re
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ambcmd_test as cli  # noqa: E402

CHROMIUM = '/usr/bin/chromium'
BROWSER_TIMEOUT = 120


def windows_path(path):
    return 'Z:' + path.replace('/', '\\')


class Slips(cli.AmbcmdCase):
    def print_to_pdf(self, page, pdf):
        profile = os.path.join(self.world.folder, 'chromium-profile')
        out = subprocess.run([CHROMIUM, '--headless', '--disable-gpu', '--no-sandbox',
                              '--no-first-run', f'--user-data-dir={profile}',
                              '--no-pdf-header-footer', f'--print-to-pdf={pdf}',
                              'file://' + page],
                             capture_output=True, timeout=BROWSER_TIMEOUT,
                             env=dict(os.environ, HOME=self.world.folder))
        self.assertTrue(os.path.exists(pdf), out.stderr.decode('utf-8', 'replace')[-2000:])

    def pdf_pages(self, pdf):
        info = subprocess.run(['pdfinfo', pdf], capture_output=True, check=True).stdout.decode()
        return int(re.search(r'^Pages:\s+(\d+)', info, re.M).group(1))

    def test_23_new_users_print_on_three_pages_with_every_password_once(self):
        rows = ''.join(f'ユーザー,pupil{i:02},生徒 {i:02} 番\r\n' for i in range(1, 24))
        source = os.path.join(self.world.folder, 'april.csv')
        with open(source, 'wb') as f:
            f.write(('種類,名前,フル ネーム (通称名)\r\n' + rows).encode('utf-8'))
        page = os.path.join(self.world.folder, 'cards.html')
        # The strong form: its symbols (& < > " among them) must reach the paper as typed.
        run = self.world.run('/import', windows_path(source), '/slips:' + windows_path(page), '/s')
        self.assertEqual(run.code, 0, run.text)
        passwords = re.findall(r'^pupil\d\d\t(\S{16})\r?$', run.text, re.M)
        self.assertEqual(len(passwords), 23, run.text)

        pdf = os.path.join(self.world.folder, 'cards.pdf')
        self.print_to_pdf(page, pdf)
        self.assertEqual(self.pdf_pages(pdf), 3)
        text = subprocess.run(['pdftotext', pdf, '-'], capture_output=True,
                              check=True).stdout.decode('utf-8')
        pages = text.split('\f')
        for number, cards in ((0, 10), (1, 10), (2, 3)):
            self.assertEqual(pages[number].count('初回ログイン時にパスワードの変更が必要です。'),
                             cards, f'page {number + 1}:\n{pages[number]}')
        for i, password in enumerate(passwords, 1):
            self.assertEqual(text.count(password), 1, f'pupil{i:02}: {password!r}\n{text}')
            self.assertEqual(text.count(f'pupil{i:02}'), 1)
            self.assertIn(f'生徒 {i:02} 番', text)


if __name__ == '__main__':
    for path in (cli.AMBCMD, cli.SIMCTL, CHROMIUM):
        if not os.path.exists(path):
            print(f'missing {path}', file=sys.stderr)
            sys.exit(1)
    sys.exit(0 if unittest.main(exit=False, verbosity=2).result.wasSuccessful() else 1)
