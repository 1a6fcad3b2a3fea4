#!/usr/bin/env bash
# Builds the Debian package from a configured build tree and checks that it installs: the
# package is unpacked into a scratch root, its files must be where they belong, its
# dependencies must be declared, and the programs must start from the scratch root. lintian
# must find no error and no warning beyond the ones packaging/lintian-overrides accepts (each
# with its reason), and the AppStream metadata must validate.
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail

BUILD=${1:?usage: scripts/check-package.sh BUILD_DIR}
[ -f "$BUILD/CPackConfig.cmake" ] || { echo "check-package: $BUILD is not a configured build tree" >&2; exit 2; }
BUILD=$(cd "$BUILD" && pwd)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vor-package.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "check-package: FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "check-package: ok: $*"; }

# The build tree is normally up to date already (test.sh has built it); this is quick then.
cmake --build "$BUILD" -j "${JOBS:-2}" >/dev/null

(cd "$WORK" && cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1) || {
  cat "$WORK/cpack.log" >&2
  echo "check-package: cpack failed" >&2
  exit 1
}
shopt -s nullglob
debs=("$WORK"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "check-package: expected one package, found ${#debs[@]}" >&2; exit 1; }
DEB=${debs[0]}
pass "built $(basename "$DEB")"

# Declared dependencies: the Qt and libcurl runtime libraries the programs link.
depends=$(dpkg-deb -f "$DEB" Depends)
echo "check-package: Depends: $depends"
for lib in libqt6core6 libqt6serialport6 libcurl4 libstdc++6; do
  case "$depends" in *"$lib"*) pass "depends on $lib" ;; *) fail "no dependency on $lib" ;; esac
done

ROOT="$WORK/root"
dpkg -x "$DEB" "$ROOT"
dpkg-deb -c "$DEB" >"$WORK/contents"

expect_file() {  # path below the root
  if [ -f "$ROOT$1" ]; then pass "$1"; else fail "$1 missing from the package"; fi
}
built() { [ -f "$BUILD/$1" ]; }

expect_file /usr/bin/vorloader-cli
expect_file /usr/share/man/man1/vorloader-cli.1.gz
expect_file /usr/share/bash-completion/completions/vorloader-cli
expect_file /usr/share/doc/vornet-loader/copyright
expect_file /usr/share/doc/vornet-loader/changelog.gz
expect_file /usr/share/doc/vornet-loader/sql/vorloader_runs.sql
METAINFO=/usr/share/metainfo/example.vornet.vorloader.metainfo.xml
if built window/vorloader; then
  expect_file /usr/bin/vorloader
  expect_file /usr/share/man/man1/vorloader.1.gz
  expect_file /usr/share/applications/vorloader.desktop
  expect_file "$METAINFO"
  for size in 16 22 24 32 48 64 128 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/vorloader.png
    expect_file "$icon"
    if [ -f "$ROOT$icon" ] && command -v file >/dev/null; then
      case "$(file -b "$ROOT$icon")" in
        *"$size x $size"*) ;;
        *) fail "$icon is not $size x $size pixels: $(file -b "$ROOT$icon")" ;;
      esac
    fi
  done
  expect_file /usr/share/icons/hicolor/scalable/apps/vorloader.svg
fi
if grep -q '\./usr/local/' "$WORK/contents"; then fail "files below /usr/local"; fi

# The programs start from the scratch root, with its library folders searched first.
export LD_LIBRARY_PATH="$ROOT/usr/lib:$ROOT/usr/lib/$(gcc -print-multiarch 2>/dev/null || true)${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
for program in "$ROOT"/usr/bin/*; do
  if ldd "$program" | grep -q 'not found'; then fail "$(basename "$program") has unresolved libraries"; fi
done
cli="$ROOT/usr/bin/vorloader-cli"
if [ -x "$cli" ]; then
  version=$(timeout 20 "$cli" --version </dev/null) || fail "vorloader-cli --version failed"
  case "$version" in "vorloader-cli "[0-9]*) pass "vorloader-cli --version: $version" ;; *) fail "vorloader-cli --version printed '$version'" ;; esac
  # Read whole before matching: grep -q stops reading at its match, and a help text longer than
  # one write would then end in a broken pipe.
  help=$(timeout 20 "$cli" --help </dev/null || true)
  if grep -q '^Usage: vorloader-cli' <<<"$help"; then pass "vorloader-cli --help"; else fail "vorloader-cli --help"; fi
  set +e
  timeout 20 "$cli" --no-such-option </dev/null >/dev/null 2>&1
  status=$?
  set -e
  if [ "$status" -eq 64 ]; then pass "vorloader-cli rejects an unknown option with 64"; else fail "unknown option gave $status"; fi
fi
loader="$ROOT/usr/bin/vorloader"
if [ -x "$loader" ]; then
  version=$(env -i timeout 20 "$loader" --version </dev/null) || fail "vorloader --version failed"
  case "$version" in "vorloader "[0-9]*) pass "vorloader --version: $version" ;; *) fail "vorloader --version printed '$version'" ;; esac
  help=$(env -i timeout 20 "$loader" --help </dev/null || true)
  if grep -q '^Usage: vorloader' <<<"$help"; then pass "vorloader --help"; else fail "vorloader --help"; fi
  set +e
  message=$(env -i timeout 20 "$loader" </dev/null 2>&1 >/dev/null)
  status=$?
  set -e
  if [ "$status" -ne 0 ] && [ "$status" -lt 124 ] && [ "$(printf '%s\n' "$message" | wc -l)" -eq 1 ] &&
    printf '%s' "$message" | grep -q 'vorloader-cli'; then
    pass "vorloader without a desktop session: $message"
  else
    fail "vorloader without a desktop session gave status $status: $message"
  fi
fi
for page in "$ROOT"/usr/share/man/man1/*.1.gz; do
  command -v groff >/dev/null || break
  warnings=$(zcat "$page" | groff -man -ww -z -Tutf8 2>&1 || true)
  if [ -n "$warnings" ]; then fail "man page $(basename "$page"): $warnings"; else pass "man page $(basename "$page") formats cleanly"; fi
done
if [ -f "$ROOT$METAINFO" ]; then
  if ! command -v appstreamcli >/dev/null; then
    fail "appstreamcli is missing (scripts/install-deps.sh installs it)"
  elif appstreamcli validate --no-net --explain "$ROOT$METAINFO" >"$WORK/appstream.log" 2>&1; then
    pass "AppStream metadata validates"
  else
    cat "$WORK/appstream.log" >&2
    fail "AppStream metadata"
  fi
fi
if [ -f "$ROOT/usr/share/applications/vorloader.desktop" ] && command -v desktop-file-validate >/dev/null; then
  if desktop-file-validate "$ROOT/usr/share/applications/vorloader.desktop"; then pass "desktop entry"; else fail "desktop entry"; fi
fi

# lintian, as a Debian maintainer runs it: errors and warnings fail the check unless the
# package's overrides accept them; informational tags are shown.
if ! command -v lintian >/dev/null; then
  fail "lintian is missing (scripts/install-deps.sh installs it)"
else
  set +e
  lintian --info --fail-on error,warning "$DEB" >"$WORK/lintian.log" 2>&1
  status=$?
  set -e
  grep -v 'running with root privileges' "$WORK/lintian.log" | sed 's/^/check-package: lintian: /' || true
  if [ "$status" -eq 0 ]; then pass "lintian: no errors or warnings"; else fail "lintian (status $status)"; fi
fi

if [ "$failures" -ne 0 ]; then
  echo "check-package: $failures check(s) failed" >&2
  exit 1
fi
echo "check-package: package installs and runs"
