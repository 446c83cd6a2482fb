#!/usr/bin/env bash
# package.sh ROOT BUILD [--output DIR]: the Windows installer
# AmbrelleSetup-<version>.exe (NSIS, installer/ambrelle.nsi) and the portable
# Ambrelle-<version>-portable.zip, both from the release build in BUILD/bin,
# written to DIR (default BUILD/package).
set -euo pipefail

ROOT=$1
BUILD=$2
shift 2
OUT="$BUILD/package"
while [ $# -gt 0 ]; do
  case "$1" in
    --output) OUT=${2:?--output needs a folder}; shift 2 ;;
    *) echo "usage: package.sh ROOT BUILD [--output DIR]" >&2; exit 2 ;;
  esac
done

say() { printf 'ambrelle: %s\n' "$*" >&2; }

BIN="$BUILD/bin"
FILES=(Ambgui.exe Ambcmd.exe Amblift.exe Ambcore.dll)
for f in "${FILES[@]}"; do
  [ -f "$BIN/$f" ] || { say "$BIN/$f is missing: build first (./ambrelle build)"; exit 1; }
done
# The help goes wherever the build made it; the installer takes it when it is there.
[ -f "$BIN/Ambgui.chm" ] && FILES+=(Ambgui.chm)
command -v makensis >/dev/null || { say "makensis is missing (Debian package nsis)"; exit 1; }
command -v zip >/dev/null || { say "zip is missing (Debian package zip)"; exit 1; }

# The product version of Ambgui's version resource names the release.
VERSION=$(sed -n 's/^#define AMB_VER_PRODUCT "\([0-9.]*\)".*/\1/p' "$ROOT/gui/ambgui.rc")
[[ "$VERSION" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || {
  say "no four-part AMB_VER_PRODUCT in gui/ambgui.rc"
  exit 1
}

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
SETUP="$OUT/AmbrelleSetup-$VERSION.exe"
ZIP="$OUT/Ambrelle-$VERSION-portable.zip"

args=(-V2 -INPUTCHARSET UTF8 -DVERSION="$VERSION" -DBINDIR="$BIN" -DOUTFILE="$SETUP")
[ -f "$BUILD/res/app.ico" ] && args+=(-DICON="$BUILD/res/app.ico")
rm -f "$SETUP"
makensis "${args[@]}" "$ROOT/installer/ambrelle.nsi" >&2

# The zip holds one folder, Ambrelle, with the same files as the installer.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Ambrelle"
for f in "${FILES[@]}"; do cp "$BIN/$f" "$stage/Ambrelle/"; done
rm -f "$ZIP"
(cd "$stage" && zip -q -X -r "$ZIP" Ambrelle)

say "installer: $SETUP ($(stat -c %s "$SETUP") bytes)"
say "portable:  $ZIP ($(stat -c %s "$ZIP") bytes)"
