#!/usr/bin/env bash
# The kits as an integrator gets them, and the Windows DLL against the Linux
# library. Usage: kit_test.sh [PACKAGES_DIR]   (default build/packages)
#
#  1. Each archive is unpacked into an empty folder and must hold exactly
#     its expected files; the plant example is run from there
#     (`wine tools/dcs-host.exe run examples/plant/plant.toml` for the ZIP).
#     The i686 kit has no host program; its driver must load with the
#     kit's stand-ins and nothing else.
#  2. `cmake --install` of a kit's build tree lays out the same tree.
#  3. Every example case is run and checked with the Linux kit and, under
#     Wine, with the Windows kit; the CSV outputs, the check reports (and
#     the JSON reports, where `check --json` exists) and the exit statuses
#     must be equal byte for byte once line ends are made alike; `test
#     examples` passes with both and says the same.
#
# Wine runs with a prefix that already exists when it can (making one takes
# minutes), and without WINEPATH: the loader must find the simulated DLLs
# beside dcs-host.exe, as it would in the integrator's unpacked kit.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
packages=$(cd "${1:-build/packages}" && pwd)
version=$(sed -nE 's/^project\(mrxnt VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
work=$(mktemp -d "${TMPDIR:-/tmp}/mrxnt-kit.XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
pass() { echo "ok   $*"; passed=$((passed + 1)); }
# DCS_WINE_RUNS=0 (set by the test command where Wine cannot run in time):
# the Windows kit is unpacked and inspected, but not run.
wine_runs=${DCS_WINE_RUNS:-1}
skipped=0
skip() { echo "SKIP $* (Windows programs are not run on this machine)"; skipped=$((skipped + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
check() {  # check WHAT COMMAND...: passes when the command succeeds
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES='mscoree,mshtml='
unset WINEPATH DISPLAY WAYLAND_DISPLAY
if [ -z "${WINEPREFIX:-}" ]; then
  # The prefix the Windows tests made already, when there is one: a new one
  # takes Wine a while.
  if [ -f build/kit-win32/wineprefix/system.reg ]; then
    WINEPREFIX=$root/build/kit-win32/wineprefix
  elif [ -f build/win32/wineprefix/system.reg ]; then
    WINEPREFIX=$root/build/win32/wineprefix
  else
    WINEPREFIX=$root/build/packages/wineprefix
  fi
fi
export WINEPREFIX

# The files of a tree, one relative path a line, sorted.
tree_files() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }

# What every kit holds besides its own files.
common_files() {
  (cd examples && find . -type f | sed 's|^\./|examples/|') 
  echo README.txt
}

expected_files() {  # expected_files KIT
  {
    common_files
    case $1 in
      win32) printf '%s\n' mrxnt.dll tools/dcs-host.exe tools/MRX3P.dll tools/iface.dll trace/MRX3P.dll trace/MRX3P-trace.ini ;;
      linux-x86_64) printf '%s\n' libmrxnt.so tools/dcs-host standin/libiface.so standin/libmrx3p.so standin/libuser32.so \
                                  trace/libmrx3p.so trace/MRX3P-trace.ini ;;
      linux-i686) printf '%s\n' libmrxnt.so standin/libiface.so standin/libmrx3p.so standin/libuser32.so \
                                trace/libmrx3p.so trace/MRX3P-trace.ini ;;
    esac
  } | LC_ALL=C sort
}

same_list() {  # same_list EXPECTED ACTUAL
  if [ "$1" = "$2" ]; then return 0; fi
  diff <(echo "$1") <(echo "$2") | sed 's/^/     /'
  return 1
}

unpack() {  # unpack KIT: into $work/KIT, which must not exist yet
  local archive=$packages/mrxnt-$version-$1
  local into=$work/$1
  mkdir "$into" || return 1
  case $1 in
    win32) unzip -q "$archive.zip" -d "$into" ;;
    *) tar -xzf "$archive.tar.gz" -C "$into" ;;
  esac
}

# ---- 1. The unpacked kits -------------------------------------------------
for kit in linux-x86_64 linux-i686 win32; do
  if ! unpack "$kit"; then
    fail "$kit: unpack mrxnt-$version-$kit"
    continue
  fi
  check "$kit: holds exactly its files" same_list "$(expected_files $kit)" "$(tree_files "$work/$kit")"
done

# Every example case, run (with its CSV) and checked (with its JSON report
# where check --json exists), from the unpacked kit with its default driver:
# side KIT HOST...; outputs, exit statuses and standard output in $work/out-KIT.
json=0
if (cd "$work/linux-x86_64" 2>/dev/null && tools/dcs-host check --help 2>&1 | grep -q -- '--json'); then json=1; fi
cases=(examples/*/*.toml)

side() {
  local kit=$1
  shift
  local out=$work/out-$kit
  mkdir -p "$out"
  for case in "${cases[@]}"; do
    local name
    name=$(basename "$case" .toml)
    # A CSV of an earlier run is there already: it must be replaced.
    echo "earlier run" >"$out/$name.csv"
    (cd "$work/$kit" && "$@" run "$case" --csv "$out/$name.csv" >"$out/$name.run-out" 2>"$out/$name.run-err"
     echo $? >"$out/$name.run-status") &
    local report=()
    [ $json -eq 1 ] && report=(--json "$out/$name.json")
    (cd "$work/$kit" && "$@" check "$case" "${report[@]}" >"$out/$name.check" 2>"$out/$name.check-err"
     echo $? >"$out/$name.check-status") &
  done
  (cd "$work/$kit" && "$@" --version >"$out/version" 2>&1) &
  # Every example held to its expectations, as a CI job would.
  (cd "$work/$kit" && "$@" test examples --junit "$out/examples.xml" >"$out/examples.test" 2>"$out/examples.test-err"
   echo $? >"$out/examples.test-status") &
}

# Every Wine process spends a minute or more starting up: the Windows runs
# go first and side by side, and are waited for after the Linux checks.
[ -d "$work/win32" ] && [ "$wine_runs" = 1 ] && side win32 wine tools/dcs-host.exe
[ -d "$work/linux-x86_64" ] && side linux-x86_64 tools/dcs-host
wait

plant_ran() {  # plant_ran KIT
  local out=$work/out-$1
  [ "$(cat "$out/plant.run-status" 2>/dev/null)" = 0 ] &&
    grep -q "after DCSReset: Enabled 0, Running 0" "$out/plant.run-out" ||
    { sed 's/^/     /' "$out/plant.run-err" | head -20; return 1; }
}
check "linux-x86_64: tools/dcs-host runs the plant from the unpacked kit" plant_ran linux-x86_64
if [ "$wine_runs" = 1 ]; then
  check "win32: wine tools/dcs-host.exe runs the plant from the unpacked kit" plant_ran win32
else
  skip "win32: wine tools/dcs-host.exe runs the plant from the unpacked kit"
fi

win_version() {
  tr -d '\r' <"$work/out-win32/version" | tee "$work/version.txt" | sed 's/^/     /' &&
    grep -q -x "dcs-host $version" "$work/version.txt" &&
    grep -q -x 'driver display name: "MrxNT "' "$work/version.txt" &&
    grep -q -x "driver file version: $version" "$work/version.txt" &&
    grep -q -E '^driver: .*\\mrxnt\.dll$' "$work/version.txt"
}
if [ "$wine_runs" = 1 ]; then
  check "win32: dcs-host.exe --version names the kit's DLL and its version block" win_version
else
  skip "win32: dcs-host.exe --version names the kit's DLL and its version block"
fi

# No host for i686: its driver must find every library it needs in the kit
# (the stand-ins) or the system.
i686_loads() {
  local loader=/lib/ld-linux.so.2
  [ -x "$loader" ] || { echo "     no i686 loader at $loader"; return 1; }
  local listing
  listing=$(cd "$work/linux-i686" && LD_LIBRARY_PATH=standin "$loader" --list ./libmrxnt.so 2>&1) || return 1
  ! grep -q "not found" <<<"$listing" && grep -q "standin/libmrx3p.so" <<<"$listing" ||
    { echo "$listing" | sed 's/^/     /'; return 1; }
}
check "linux-i686: libmrxnt.so loads with the kit's stand-ins" i686_loads

# dcs-host.exe brings its C++ runtime with it: system DLLs and the two
# simulated ones beside it, nothing else.
exe_imports_system_only() {
  local dlls
  dlls=$(i686-w64-mingw32-objdump -p "$work/win32/tools/dcs-host.exe" | awk '/DLL Name:/ {print tolower($3)}' |
         grep -v -x -E 'kernel32.dll|msvcrt.dll|shell32.dll|user32.dll|version.dll|advapi32.dll|iface.dll|mrx3p.dll')
  [ -z "$dlls" ] || { echo "     unexpected imports: $dlls"; return 1; }
}
check "win32: dcs-host.exe imports only system DLLs, iface.dll and MRX3P.dll" exe_imports_system_only

# ---- 2. cmake --install lays out the same tree ------------------------------
for kit in linux-x86_64 linux-i686 win32; do
  build=build/kit-$kit
  if [ ! -d "$build" ] || [ ! -d "$work/$kit" ]; then
    fail "$kit: cmake --install (no build tree $build or no kit)"
    continue
  fi
  cmake --install "$build" --prefix "$work/install-$kit" >/dev/null &&
    check "$kit: cmake --install lays out the kit's tree" \
      same_list "$(tree_files "$work/$kit")" "$(tree_files "$work/install-$kit")" ||
    fail "$kit: cmake --install"
done

# ---- 3. The same results on both systems ------------------------------------
compared=0
# The check names the driver it loaded, which is each kit's own file: that
# path, and CRLF, are the only differences allowed.
comparable() {
  tr -d '\r' | sed -E 's|\(driver [^)]*\)$|(driver DRIVER)|; s|^(  *"driver": ).*"(,?)$|\1"DRIVER"\2|'
}

same_file() {  # same_file A B: equal once CRLF is LF and the driver's path is set aside
  local a=$1 b=$2
  if [ ! -f "$a" ] || [ ! -f "$b" ]; then
    [ ! -f "$a" ] && [ ! -f "$b" ] && return 0
    echo "     only one of $a, $b exists"
    return 1
  fi
  compared=$((compared + 1))
  if cmp -s <(comparable <"$a") <(comparable <"$b"); then return 0; fi
  diff <(comparable <"$a") <(comparable <"$b") | head -10 | sed 's/^/     /'
  return 1
}

for case in "${cases[@]}"; do
  name=$(basename "$case" .toml)
  if [ "$wine_runs" != 1 ]; then
    skip "same on both systems: $name"
    continue
  fi
  for ext in csv check json run-status check-status; do
    [ $ext = json ] && [ $json -eq 0 ] && continue
    check "same on both systems: $name.$ext" same_file "$work/out-linux-x86_64/$name.$ext" "$work/out-win32/$name.$ext"
  done
done
examples_held() {  # examples_held KIT: every example's expectations pass, in JUnit XML too
  local out=$work/out-$1
  [ "$(cat "$out/examples.test-status" 2>/dev/null)" = 0 ] && grep -q '<testsuites .* failures="0" errors="0"' "$out/examples.xml"
}
check "linux-x86_64: tools/dcs-host test examples passes" examples_held linux-x86_64
if [ "$wine_runs" = 1 ]; then
  check "win32: dcs-host.exe test examples passes" examples_held win32
  for ext in test test-status; do
    check "same on both systems: examples.$ext" same_file "$work/out-linux-x86_64/examples.$ext" "$work/out-win32/examples.$ext"
  done
fi
echo "compared $compared output files of the Linux and Windows kits"

[ $skipped -eq 0 ] || echo "kit tests skipped: $skipped (Windows runs)"
echo "kit tests: $passed passed, $failed failed"
[ $failed -eq 0 ]
