#!/usr/bin/env bash
# Cross-builds the Windows terminal front end on Debian with mingw-w64 and packs it:
#   scripts/windows/build.sh OUT
# makes OUT/vorloader-cli.exe, OUT/vornet-loader-setup-VERSION.exe (the installer) and
# OUT/vornet-loader-VERSION-win64.zip, installing the packages it needs first. The build tree is
# OUT/build. With VORLOADER_WINDOWS_TESTS=1 the unit tests are built too (scripts/windows/test.sh
# runs them under Wine).
set -euo pipefail
OUT=${1:?usage: build.sh OUT}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
JOBS=${JOBS:-$(nproc)}

# The cross compiler and its binutils, NSIS, GoogleTest's sources, groff for the help text,
# and Wine for scripts/windows/run.sh and the tests.
"$ROOT/scripts/install-deps.sh" cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  nsis googletest groff-base wine64 wine

TESTS=OFF
if [ "${VORLOADER_WINDOWS_TESTS:-0}" = 1 ]; then TESTS=ON; fi
LAUNCHER=()
if command -v ccache >/dev/null; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

# Built once from scratch: the libraries and programs compile in unity batches.
cmake -S "$ROOT" -B "$OUT/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DVOR_UNITY=ON -DVOR_TESTS=$TESTS \
  "${LAUNCHER[@]}" >/dev/null
TARGETS=(vorloader-cli)
TARGETS+=(vorloader)  # the window, vorloader.exe
if [ "$TESTS" = ON ]; then TARGETS+=(vor_windows_tests); fi
if [ "$TESTS" = ON ]; then TARGETS+=(window_probe); fi  # drives vorloader.exe in the tests
cmake --build "$OUT/build" -j "$JOBS" --target "${TARGETS[@]}"

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$OUT/build/CMakeCache.txt")
[ -n "$VERSION" ] || { echo "build.sh: no project version in $OUT/build" >&2; exit 1; }
x86_64-w64-mingw32-strip -o "$OUT/vorloader-cli.exe" "$OUT/build/cli/vorloader-cli.exe"

# It must run from a USB stick on any Windows: the DLLs it loads are the system's own.
"$ROOT/scripts/windows/check-imports.sh" "$OUT/vorloader-cli.exe"
x86_64-w64-mingw32-strip -o "$OUT/vorloader.exe" "$OUT/build/window/win32/vorloader.exe"
"$ROOT/scripts/windows/check-imports.sh" "$OUT/vorloader.exe"
# The tests' own Windows program, beside the window it drives (run.sh runs programs from OUT).
if [ "$TESTS" = ON ]; then cp "$OUT/build/tests/windows_window/window_probe.exe" "$OUT/"; fi

# What is installed and zipped: the program and its copyright.
STAGE=$OUT/stage/vornet-loader-$VERSION-win64
rm -rf "$OUT/stage"
mkdir -p "$STAGE"
cp "$OUT/vorloader-cli.exe" "$STAGE/"
cp "$OUT/vorloader.exe" "$STAGE/"
# Windows editors want CR LF.
sed 's/$/\r/' "$ROOT/packaging/copyright" >"$STAGE/copyright.txt"

makensis -V2 -WX -DVERSION="$VERSION" -DSTAGE="$STAGE" -DOUTFILE="$OUT/vornet-loader-setup-$VERSION.exe" \
  "$ROOT/packaging/windows/installer.nsi"
rm -f "$OUT/vornet-loader-$VERSION-win64.zip"
(cd "$OUT/stage" && cmake -E tar cf "$OUT/vornet-loader-$VERSION-win64.zip" --format=zip "vornet-loader-$VERSION-win64")

echo "build.sh: $OUT/vorloader-cli.exe, $OUT/vornet-loader-setup-$VERSION.exe, $OUT/vornet-loader-$VERSION-win64.zip"
