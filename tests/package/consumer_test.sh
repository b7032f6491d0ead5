#!/usr/bin/env bash
# Installs the build into a fresh prefix and builds examples/typical_test against the
# installed package with the installed toolchain file, as C++17 and as C++20, the way the
# README tells a consumer to; then tests/c/c_road.c as a caller of another compiler builds
# it, from the C header and an import library made of stagehand.def, and tests/c/c_load.c,
# which loads the DLL at run time by the names of the .def; then tests/c/c_msvc.c as a caller
# of Microsoft's toolchain builds it: clang in MSVC mode, lld-link, the installed MSVC-format
# lib/stagehand.lib, no C runtime. Each program runs under Wine with nothing but what its
# build copied beside it: no WINEPATH, no DLL from elsewhere.
#   consumer_test.sh WINE64 CMAKE BUILD_DIR SOURCE_DIR MINGW_GCC DLLTOOL CLANG LLD_LINK LLVM_DLLTOOL [CONFIGURE-ARGUMENT...]
set -euo pipefail
wine=$1 cmake=$2 build=$3 source=$4 gcc=$5 dlltool=$6 clang=$7 lld_link=$8 llvm_dlltool=$9
shift 9
work=$(mktemp -d "${TMPDIR:-/tmp}/stagehand-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT
unset WINEPATH

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
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

prefix=$work/prefix c=$work/c
mkdir "$c"
"$gcc" -x c++ -std=c++17 -Wall -Wextra -pedantic -Werror -fsyntax-only -I"$prefix/include" - \
  <<<'#include <stagehand/stagehand_c.h>'
"$dlltool" -d "$prefix/lib/stagehand.def" -l "$c/stagehand.lib"
c99=("$gcc" -std=c99 -Wall -Wextra -pedantic -Werror -I"$prefix/include")
"${c99[@]}" "$source/tests/c/c_road.c" "$c/stagehand.lib" -o "$c/c_road.exe"
"${c99[@]}" "$source/tests/c/c_load.c" -o "$c/c_load.exe"
cp "$prefix"/bin/*.dll "$build"/bin/{helper,spare_helper,hung_helper}.exe "$c"
(cd "$c" && "$wine" c_road.exe)
mapfile -t functions < <(awk '$1 ~ /^stagehand_/ { print $1 }' "$prefix/lib/stagehand.def")
(cd "$c" && "$wine" c_load.exe "${functions[@]}")

# Import libraries for the few system functions c_msvc.c calls, made as stagehand.lib is.
msvc=$work/msvc
mkdir "$msvc"
printf 'LIBRARY kernel32.dll\nEXPORTS\n%s\n' ExitProcess GetTempPathW CreateDirectoryW SetEnvironmentVariableW \
  RemoveDirectoryW lstrcatW >"$msvc/kernel32.def"
printf 'LIBRARY user32.dll\nEXPORTS\n%s\n' IsWindow IsWindowVisible MonitorFromWindow MonitorFromRect >"$msvc/user32.def"
for system in kernel32 user32; do
  "$llvm_dlltool" -m i386:x86-64 -d "$msvc/$system.def" -l "$msvc/$system.lib"
done
# -fgnuc-version lets mingw-w64's headers, the platform headers at hand, take the path that
# clang compiles; the object is MSVC's all the same.
"$clang" --target=x86_64-pc-windows-msvc -fgnuc-version=4.2.1 -std=c99 -Wall -Werror -DWIN32_LEAN_AND_MEAN \
  -isystem "$(dirname "$gcc")/../share/mingw-w64/include" -I"$prefix/include" -c "$source/tests/c/c_msvc.c" \
  -o "$msvc/c_msvc.obj"
"$lld_link" /nologo /entry:start /subsystem:console /nodefaultlib "$msvc/c_msvc.obj" "$prefix/lib/stagehand.lib" \
  "$msvc/kernel32.lib" "$msvc/user32.lib" /out:"$msvc/c_msvc.exe"
cp "$prefix"/bin/*.dll "$msvc"
(cd "$msvc" && "$wine" c_msvc.exe) || { echo "c msvc: failed at step $?"; exit 1; }
echo "c msvc: ok"
