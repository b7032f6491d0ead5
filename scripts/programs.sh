# Sourced by the scripts: each program of scripts/programs as a variable (PROGRAM_wine64,
# PROGRAM_Xorg, ...), and program NAME, which prints its path or stops with one line that
# names the missing program and the Debian package that provides it.
programs_table=$(dirname "${BASH_SOURCE[0]}")/programs

# Prints "path package" of NAME from the table.
program_entry() {
  awk -v name="$1" '$1 == name { print $2, $3; found = 1 } END { exit !found }' "$programs_table"
}

program() {
  local entry path package
  entry=$(program_entry "$1") || { echo "no program '$1' in $programs_table" >&2; return 1; }
  read -r path package <<<"$entry"
  if [[ ! -x $path ]]; then
    echo "$path not found: it comes with the Debian package $package (scripts/install-deps installs it)" >&2
    return 1
  fi
  printf '%s\n' "$path"
}

headers_table=$(dirname "${BASH_SOURCE[0]}")/headers

# The packages of the programs' table and of the headers' table, one a line.
program_packages() {
  awk '!/^#/ && NF == 3 { print $3 }' "$programs_table" "$headers_table" | sort -u
}

# What `cmake --preset PRESET` takes besides the preset: its compilers and make program by
# their absolute paths, which the preset and the toolchain file name only as commands.
preset_programs() {
  local c cxx
  case $1 in
  mingw) c=mingw-gcc cxx=mingw-g++ ;;
  native-asan) c=clang cxx=clangxx ;;
  *) echo "no preset '$1'" >&2; return 1 ;;
  esac
  printf '%s\n' --preset "$1" -DCMAKE_C_COMPILER="$(program $c)" -DCMAKE_CXX_COMPILER="$(program $cxx)" \
    -DCMAKE_MAKE_PROGRAM="$(program ninja)"
  [[ $1 != mingw ]] || printf '%s\n' -DCMAKE_RC_COMPILER="$(program mingw-windres)"
}
