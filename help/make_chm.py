#!/usr/bin/env python3
"""make_chm.py SOURCE_DIR WORK_DIR CHMCMD DEST...

Compiles Ambgui.chm from the help sources and copies it to each DEST.

The sources are UTF-8 for editing. The HTML Help viewer reads the table of
contents, the index and the window title in the code page of the help file's
language (932 for Japanese), so every text file is written in Shift_JIS
(cp932) before compiling, and each page's <meta charset> says so.
"""
import re
import shutil
import subprocess
import sys
from pathlib import Path

PROJECT = "Ambgui.hhp"
CHM = "Ambgui.chm"
TEXT_SUFFIXES = {".hhp", ".hhc", ".hhk", ".html", ".css"}
CHARSET = re.compile(r'charset=(["\']?)utf-8\1', re.IGNORECASE)


def project_files(hhp_text):
    """The project file itself, the contents and index files, and [FILES]."""
    files = [PROJECT]
    section = None
    for line in hhp_text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].upper()
            continue
        if not line or line.startswith(";"):
            continue
        if section == "OPTIONS":
            key, _, value = line.partition("=")
            if key.strip().lower() in ("contents file", "index file"):
                files.append(value.strip())
        elif section == "FILES":
            files.append(line)
    return files


def convert(source, target):
    text = source.read_text(encoding="utf-8")
    if source.suffix.lower() in (".html", ".hhc", ".hhk"):
        text = CHARSET.sub(r"charset=\1Shift_JIS\1", text)
    # A character outside cp932 would show as "?": stop the build instead.
    data = text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp932")
    target.write_bytes(data)


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    source_dir, work_dir, chmcmd = Path(argv[0]), Path(argv[1]), argv[2]
    destinations = [Path(d) for d in argv[3:]]
    work_dir.mkdir(parents=True, exist_ok=True)
    for name in project_files((source_dir / PROJECT).read_text(encoding="utf-8")):
        source, target = source_dir / name, work_dir / name
        try:
            if source.suffix.lower() in TEXT_SUFFIXES:
                convert(source, target)
            else:
                shutil.copyfile(source, target)
        except (OSError, UnicodeError) as error:
            print(f"make_chm: {name}: {error}", file=sys.stderr)
            return 1
    (work_dir / CHM).unlink(missing_ok=True)
    run = subprocess.run([chmcmd, "--no-html-scan", PROJECT], cwd=work_dir,
                         capture_output=True, text=True, errors="replace")
    if run.returncode != 0 or not (work_dir / CHM).is_file():
        sys.stderr.write(run.stdout + run.stderr)
        print(f"make_chm: {chmcmd} did not make {CHM}", file=sys.stderr)
        return 1
    for destination in destinations:
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(work_dir / CHM, destination)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
