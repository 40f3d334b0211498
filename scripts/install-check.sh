#!/usr/bin/env bash
# Installs a finished build into a throw-away prefix and checks the installed programs and desktop files;
# then builds the .deb and prints its contents and lintian's findings. Usage: scripts/install-check.sh [BUILD]
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "install-check: $*" >&2; exit 1; }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

# Installed under one prefix, then moved: the programs must find their files from where they are now.
cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/prefix"
prefix="$work/prefix"
bin="$prefix/$(cache CMAKE_INSTALL_BINDIR)"
datadir="$prefix/$(cache CMAKE_INSTALL_DATADIR)"  # empty in the cache unless set: the data root then
[ -n "$(cache CMAKE_INSTALL_DATADIR)" ] || datadir="$prefix/$(cache CMAKE_INSTALL_DATAROOTDIR)"

# The reader is not beside the installed tool: reading a Jet file proves the installed one is found.
unset CORVIDEL_JETREAD
# grep reads the whole text: one that stopped at the first match would leave a long help to die of SIGPIPE.
"$bin/corvidel-sql" --version | grep -x "corvidel-sql $(cache CMAKE_PROJECT_VERSION)" >/dev/null || fail "corvidel-sql --version"
"$bin/corvidel-sql" --help | grep "^usage: corvidel-sql FILE" >/dev/null || fail "corvidel-sql --help"
rows="$("$bin/corvidel-sql" "$src/../shared/jet-samples/nwind.mdb" "SELECT Count(*) AS N FROM Customers")" \
    || fail "installed corvidel-sql cannot read a Jet file"
[ "$(printf '%s\n' "$rows" | tail -1)" -gt 0 ] || fail "no customers read: $rows"
QT_QPA_PLATFORM=offscreen "$bin/corvidel" --version | grep "$(cache CMAKE_PROJECT_VERSION)" >/dev/null || fail "corvidel --version"
# Where the program looks for its help (checked by the install path tests).
[ -f "$datadir/corvidel/corvidel-help.html" ] || fail "help not installed"
mandir="$prefix/$(cache CMAKE_INSTALL_MANDIR)"
[ -n "$(cache CMAKE_INSTALL_MANDIR)" ] || mandir="$datadir/man"
"$bin/corvidel-import" --help | grep "^usage: corvidel-import AUCTION" >/dev/null || fail "corvidel-import --help"
"$bin/corvidel-report" --version | grep -x "corvidel-report $(cache CMAKE_PROJECT_VERSION)" >/dev/null || fail "corvidel-report --version"
"$bin/corvidel-report" --help | grep "^usage: corvidel-report AUCTION" >/dev/null || fail "corvidel-report --help"
# A Jet auction goes through the installed reader too.
cp "$src/../shared/jet-samples/auction/Auction31.mdb" "$work/Auction31.mdb"
report="$("$bin/corvidel-report" "$work/Auction31.mdb" --format json)" \
    || fail "installed corvidel-report cannot read a Jet auction"
grep -q '"measure": "gross"' <<<"$report" || fail "corvidel-report wrote no report: $report"
for f in "$mandir/man1/corvidel.1.gz" "$mandir/man1/corvidel-sql.1.gz" "$mandir/man1/corvidel-import.1.gz" \
         "$mandir/man1/corvidel-report.1.gz" \
         "$datadir/icons/hicolor/48x48/apps/corvidel.png" "$datadir/icons/hicolor/scalable/apps/corvidel.svg"; do
    [ -f "$f" ] || fail "missing $f"
done
for page in "$mandir"/man1/corvidel*.1.gz; do
    if man -l --warnings "$page" 2>&1 >/dev/null | grep .; then fail "$(basename "$page") has warnings"; fi
done

desktop-file-validate "$datadir"/applications/*.desktop || fail "desktop file"
appstreamcli validate --no-net "$datadir"/metainfo/*.metainfo.xml || fail "metainfo"

# The package; its contents and lintian's findings are printed for the release note.
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null) || fail "cpack"
deb="$(ls "$work"/deb/*.deb)"
echo "== dpkg-deb -c $(basename "$deb")"
dpkg-deb -c "$deb"
echo "== dpkg-deb -f Depends"
dpkg-deb -f "$deb" Depends
echo "== lintian"
# Its exit status is let go below (it is nonzero on mere findings), so a missing lintian would pass as clean.
command -v lintian >/dev/null || fail "lintian is not installed"
lintian --tag-display-limit 0 --display-info "$deb" | tee "$work/lintian.txt" || true
if grep -q '^E:' "$work/lintian.txt"; then fail "lintian errors"; fi
echo "install-check: passed"
