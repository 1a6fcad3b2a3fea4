#!/bin/sh
# Builds the Windows platform tests without CMake, with the mingw-w64 compiler, into OUT
# (default: build-platform-windows), compiling GoogleTest from Debian's sources once:
#   tests/platform_windows/build-standalone.sh [OUT]
# run-under-wine.sh runs the result.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$root/build-platform-windows}
cxx=x86_64-w64-mingw32-g++-posix
gtest=/usr/src/googletest/googletest
mkdir -p "$out"
flags="-std=c++20 -O1 -g0"
warnings="-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor -Wold-style-cast
  -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough -Werror -Wno-restrict"
if [ ! -f "$out/gtest.a" ]; then
  $cxx $flags -I"$gtest/include" -I"$gtest" -c "$gtest/src/gtest-all.cc" -o "$out/gtest-all.o"
  $cxx $flags -I"$gtest/include" -c "$gtest/src/gtest_main.cc" -o "$out/gtest_main.o"
  x86_64-w64-mingw32-ar rcs "$out/gtest.a" "$out/gtest-all.o" "$out/gtest_main.o"
fi
objects=""
for source in "$root"/platform/windows/*.cpp "$here"/*_test.cpp; do
  object="$out/$(basename "$source" .cpp).o"
  if [ ! -f "$object" ] || [ "$source" -nt "$object" ] || [ -n "$(find "$root/platform" -name '*.h' -newer "$object")" ]; then
    # shellcheck disable=SC2086
    $cxx $flags $warnings -I"$root" -isystem "$gtest/include" -c "$source" -o "$object"
  fi
  objects="$objects $object"
done
# shellcheck disable=SC2086
$cxx -static -o "$out/platform_windows_tests.exe" $objects "$out/gtest.a" \
  -lsetupapi -lwinhttp -lbcrypt -ladvapi32 -lshell32 -lole32
echo "$out/platform_windows_tests.exe"
