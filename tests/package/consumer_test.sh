#!/usr/bin/env bash
# Makes the release archive and unpacks it into an empty folder, the prefix of all below.
# Builds examples/typical_test against its package with its toolchain file, as C++17 and as
# C++20, the way the README tells a consumer to; runs examples/ctest_consumer's tests through
# CTest under `stagehand run`, which ctest_consumer.cmake checks; then tests/c/c_road.c as a
# caller of another compiler builds it, from the C header and an import library made of
# stagehand.def; then again as a caller of Microsoft's toolchain builds it: clang in MSVC
# mode, lld-link, the archive's MSVC-format lib/stagehand.lib. Each program runs under Wine
# with nothing but what its build copied beside it: no WINEPATH, no DLL from elsewhere.
#   consumer_test.sh WINE64 CMAKE BUILD_DIR SOURCE_DIR MINGW_GCC DLLTOOL CLANG LLD_LINK [CONFIGURE-ARGUMENT...]
set -euo pipefail
wine=$1 cmake=$2 build=$3 source=$4 gcc=$5 dlltool=$6 clang=$7 lld_link=$8
shift 8
work=$(mktemp -d "${TMPDIR:-/tmp}/stagehand-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT
unset WINEPATH

"$(dirname "$cmake")/cpack" --config "$build/CPackConfig.cmake" -B "$work/archive" >/dev/null
mkdir "$work/unpacked"
(cd "$work/unpacked" && "$cmake" -E tar xf "$work"/archive/stagehand-*-win64.zip)
mv "$work"/unpacked/stagehand-*-win64 "$work/prefix"
test -f "$work/prefix/share/doc/stagehand/README.md"
toolchain=$work/prefix/share/stagehand/toolchains/mingw-w64-x86_64.cmake
for standard in 17 20; do
  "$cmake" -S "$source/examples/typical_test" -B "$work/build$standard" -G Ninja -DCMAKE_CXX_STANDARD=$standard \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$work/prefix" "$@" >/dev/null
  "$cmake" --build "$work/build$standard"
  mkdir "$work/run$standard"
  cp "$work/build$standard"/*.exe "$work/build$standard"/*.dll "$work/run$standard"
  output=$(cd "$work/run$standard" && "$wine" typical_test.exe 2>&1) || { echo "$output"; exit 1; }
  echo "C++$standard: $output"
  output=${output//$'\r'/}
  # The example fails by itself when its render window is hidden.
  grep -q '^100 frames' <<<"$output"
  if grep -q '116 ' <<<"$output"; then echo "a name was not found"; exit 1; fi
done

"$cmake" -S "$source/examples/ctest_consumer" -B "$work/ctest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_C_COMPILER="$gcc" -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" "$@" >/dev/null
"$cmake" --build "$work/ctest"
"$cmake" -DCTEST="$(dirname "$cmake")/ctest" -DBUILD="$work/ctest" -P "$source/tests/package/ctest_consumer.cmake"

prefix=$work/prefix c=$work/c
mkdir "$c"
"$gcc" -x c++ -std=c++17 -Wall -Wextra -pedantic -Werror -fsyntax-only -I"$prefix/include" - \
  <<<'#include <stagehand/stagehand_c.h>'
"$dlltool" -d "$prefix/lib/stagehand.def" -l "$c/stagehand.lib"
c99=("$gcc" -std=c99 -Wall -Wextra -pedantic -Werror -I"$prefix/include")
"${c99[@]}" "$source/tests/c/c_road.c" "$c/stagehand.lib" -o "$c/c_road.exe"
cp "$prefix"/bin/*.dll "$build"/bin/{helper,spare_helper,hung_helper}.exe "$c"
(cd "$c" && "$wine" c_road.exe)

# The system's and the C runtime's DLLs through mingw-w64's import libraries, which lld-link
# reads as well; -fgnuc-version lets mingw-w64's headers, the platform headers at hand, take
# the path that clang compiles, and msvcrt.dll's own printf is asked for. The object is MSVC's.
mingw=$(dirname "$gcc")/../x86_64-w64-mingw32/lib msvc=$work/msvc
mkdir "$msvc"
"$clang" --target=x86_64-pc-windows-msvc -fgnuc-version=4.2.1 -D__USE_MINGW_ANSI_STDIO=0 -std=c99 -Wall -Wextra \
  -pedantic -Werror -isystem "$(dirname "$gcc")/../share/mingw-w64/include" -I"$prefix/include" \
  -c "$source/tests/c/c_road.c" -o "$msvc/c_road.obj"
"$lld_link" /nologo /entry:start /subsystem:console /nodefaultlib "$msvc/c_road.obj" "$prefix/lib/stagehand.lib" \
  "$mingw"/lib{kernel32,user32,msvcrt}.a /out:"$msvc/c_road.exe"
cp "$c"/*.dll "$c"/*helper.exe "$msvc"
(cd "$msvc" && "$wine" c_road.exe | sed 's/^c road/c road (MSVC)/')
