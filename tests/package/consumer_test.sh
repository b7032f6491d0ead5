#!/usr/bin/env bash
# Installs the build into a fresh prefix, builds examples/typical_test against the
# installed package as another project would, and runs it under Wine.
#   consumer_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/stagehand-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/lib/cmake/stagehand/stagehandConfig.cmake"
cmake -S "$source/examples/typical_test" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build"

# The mingw-w64 runtime DLLs come from the installed bin folder.
windows_bin="Z:$(printf '%s' "$work/prefix/bin" | tr / '\\')"
output=$(WINEPATH="$windows_bin" /usr/lib/wine/wine64 "$work/build/typical_test.exe")
echo "$output"
grep -q '^100 frames' <<<"${output//$'\r'/}"
