#!/usr/bin/env python3
"""check_help.py 7Z CHM...: each help file is marked Japanese, holds Index.html
and every page its table of contents and index name, every page is Shift_JIS
as it declares, and every internal link resolves (file and anchor). All
copies must be the same file. Prints each fault; exits 1 on any."""
import struct
import subprocess
import sys
import tempfile
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote, urlsplit


class Page(HTMLParser):
    def __init__(self, path, faults):
        super().__init__(convert_charrefs=True)
        self.links, self.anchors, self.charsets = [], set(), []
        try:
            text = path.read_bytes().decode("cp932")
        except UnicodeDecodeError as error:
            faults.append(f"{path.name}: not Shift_JIS: {error}")
            text = path.read_bytes().decode("cp932", errors="replace")
        self.feed(text)
        if [c.lower() for c in self.charsets] != ["shift_jis"]:
            faults.append(f"{path.name}: declares charset {self.charsets}, not Shift_JIS")

    def handle_starttag(self, tag, attrs):
        a = {k.lower(): (v or "") for k, v in attrs}
        if tag == "param":  # table of contents and index entries
            if a.get("name", "").lower() == "local":
                self.links.append(a.get("value", ""))
            return
        self.links += [a[k] for k in ("href", "src") if k in a]
        self.anchors |= {a[k] for k in ("name", "id") if k in a}
        if tag == "meta":
            if "charset" in a:
                self.charsets.append(a["charset"])
            if "charset=" in a.get("content", "").lower():
                self.charsets.append(a["content"].lower().split("charset=")[1].strip())


def system_lcid(path):
    """The LCID record (code 4) of the #SYSTEM file."""
    data, offset = path.read_bytes(), 4
    while offset + 4 <= len(data):
        code, length = struct.unpack_from("<HH", data, offset)
        if code == 4:
            return struct.unpack_from("<I", data, offset + 4)[0]
        offset += 4 + length
    return None


def check(chm, seven_zip, faults):
    with tempfile.TemporaryDirectory() as tmp:
        root = Path(tmp)
        run = subprocess.run([seven_zip, "x", "-y", f"-o{tmp}", str(chm)],
                             capture_output=True, text=True)
        if run.returncode != 0:
            faults.append(f"{chm}: 7z cannot extract it: {run.stdout}{run.stderr}")
            return
        if system_lcid(root / "#SYSTEM") != 0x411:
            faults.append(f"{chm}: the language is not 0x411 (Japanese)")
        files = [root / "Ambgui.hhc", root / "Ambgui.hhk"] + sorted(root.rglob("*.html"))
        if root / "Index.html" not in files:
            faults.append(f"{chm}: no Index.html")
        pages = {f: Page(f, faults) for f in files if f.is_file()}
        for listing in files[:2]:
            if listing not in pages or not pages[listing].links:
                faults.append(f"{chm}: {listing.name} is missing or names no page")
        for source, page in pages.items():
            for link in page.links:
                parts = urlsplit(link)
                if parts.scheme or parts.netloc:
                    continue  # outside the help file
                target = source.parent / unquote(parts.path) if parts.path else source
                if not target.is_file() or root.resolve() not in target.resolve().parents:
                    faults.append(f"{source.name}: link {link}: no such file")
                elif parts.fragment and parts.fragment not in Page(target, []).anchors:
                    faults.append(f"{source.name}: link {link}: no such anchor")


def main(seven_zip, *chms):
    faults = []
    for chm in map(Path, chms):
        if chm.is_file():
            check(chm, seven_zip, faults)
        else:
            faults.append(f"{chm}: missing")
    if len({Path(c).read_bytes() for c in chms if Path(c).is_file()}) > 1:
        faults.append("the copies of Ambgui.chm differ")
    print("\n".join(faults + [f"{len(chms)} help file(s) checked, {len(faults)} fault(s)"]))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
