#!/usr/bin/env bash
# Installs, from Debian's archive, the packages one of the README's commands
# needs that the machine lacks. Needs root; does nothing when all is there.
#
#   scripts/install-deps.sh example   what scripts/run-example.sh builds with
#   scripts/install-deps.sh test      everything scripts/test-all.sh uses,
#                                     Wine (32-bit) included where it can be had
#
# The archive is sometimes caught mid-sync: one list fails to download, or
# the i386 lists offer a library at another version than the amd64 one
# installed. Neither stops the script while the packages needed have
# candidates. Wine is the one optional part: when it cannot be installed,
# the reason is written to build/install-deps/wine-missing (read by the
# test command, which then says what it did not run) and the script still
# succeeds, unless DCS_REQUIRE_WINE=1.
set -euo pipefail
cd "$(dirname "$0")/.."

what=${1:-test}
example_packages=(cmake ninja-build g++ libtoml11-dev libcli11-dev nlohmann-json3-dev)
test_packages=(
  "${example_packages[@]}"
  g++-multilib clang libclang-rt-14-dev clang-format clang-tidy cppcheck
  googletest libbenchmark-dev gcovr binutils
  chromium-headless-shell libxml2-utils python3 python3-junitparser
  g++-mingw-w64-i686 binutils-mingw-w64-i686 unzip
)
wine_packages=(wine wine32:i386)
# Rounds of "ask apt, read why it refuses, ask again" for the i386 half.
wine_attempts=${DCS_WINE_ATTEMPTS:-12}

status_dir=${DCS_DEPS_STATUS_DIR:-build/install-deps}
wine_missing_file=$status_dir/wine-missing

case $what in
  example) packages=("${example_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  *)
    echo "usage: scripts/install-deps.sh [example|test]" >&2
    exit 2
    ;;
esac

say() { echo "install-deps: $*"; }
warn() { echo "install-deps: warning: $*" >&2; }
die() {
  echo "install-deps: $*" >&2
  exit 1
}

# (grep without -q: under pipefail, a writer cut off by an early exit of
# grep would fail the test.)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep "install ok installed" >/dev/null; }

missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

export DEBIAN_FRONTEND=noninteractive
updated=0
# apt-get update fails as a whole when one list does; the others are still
# read. A failed list is named and the run goes on: whether what is needed
# can be had is decided per package, by its candidate.
update_lists() {
  [ $updated -eq 0 ] || return 0
  updated=1
  local log status=0
  log=$(mktemp)
  apt-get update -qq >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    local failed
    failed=$(sed -nE 's/^(E|W): Failed to fetch ([^ ]+).*/\2/p' "$log")
    if [ -n "$failed" ]; then
      while read -r list; do warn "a list of the archive could not be read, the old one (or none) is used: $list"; done <<<"$failed"
    else
      warn "apt-get update exited $status:"
      sed 's/^/  /' "$log" >&2
    fi
  fi
  rm -f "$log"
}

candidate_of() {
  apt-cache policy "$1" 2>/dev/null | sed -nE 's/^ *Candidate: *(.*)$/\1/p' | head -n 1
}

require_root() {
  [ "$(id -u)" -eq 0 ] || die "missing $*; run as root to install them"
}

# --- the packages every step needs ---------------------------------------
mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -eq 0 ]; then
  say "every package for '$what' is installed"
else
  require_root "${missing[*]}"
  update_lists
  no_candidate=()
  for p in "${missing[@]}"; do
    c=$(candidate_of "$p")
    [ -n "$c" ] && [ "$c" != "(none)" ] || no_candidate+=("$p")
  done
  [ ${#no_candidate[@]} -eq 0 ] ||
    die "no version of ${no_candidate[*]} can be had from the archive now (see the warnings above); try again later"
  say "installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" || die "apt-get could not install ${missing[*]}"
fi

# --- Wine, for the Windows programs --------------------------------------
versions_of() { apt-cache madison "$1" 2>/dev/null | awk -F'|' '{gsub(/ /, "", $2); print $2}'; }

# The newest version that both architectures offer of a library, or nothing;
# never one older than the amd64 version installed unless downgrades are
# allowed (a security update is not rolled back without being asked).
allow_downgrades=${DCS_WINE_ALLOW_DOWNGRADES:-0}
downgrade_flag=()
[ "$allow_downgrades" = 1 ] && downgrade_flag=(--allow-downgrades)
common_version() {
  local v best="" have
  have=$(dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true)
  while read -r v; do
    [ -n "$v" ] || continue
    versions_of "$1:i386" | grep -xF -- "$v" >/dev/null || continue
    [ "$allow_downgrades" = 1 ] || [ -z "$have" ] || dpkg --compare-versions "$v" ge "$have" || continue
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done < <(versions_of "$1")
  echo "$best"
}

multi_arch_same() { apt-cache show "$1" 2>/dev/null | grep -x 'Multi-Arch: same' >/dev/null; }

# A Multi-Arch: same library must be at one version in both architectures.
# When the i386 lists are older or newer than the amd64 ones, apt will not
# choose that version by itself and calls the packages held. Each round asks
# apt to simulate the install, reads the packages it names as "not going to
# be installed" (or as breaking each other), and asks for each such library
# explicitly at the newest version both architectures offer (or for the
# package by name, so that the next round says what stops it), until apt
# agrees or nothing new is learnt. A plan that would remove an installed
# package (a -dev package tied to the library's old version) is not taken:
# the package is asked for at the library's new version, or by name.
resolve_wine() {
  local -a request=("${wine_packages[@]}")
  local -A asked=() pinned=()
  local -a skewed=()
  local round log names name base v progress removed
  for ((round = 1; round <= wine_attempts; round++)); do
    log=$(mktemp)
    progress=0
    if apt-get install -s -y --no-install-recommends "${downgrade_flag[@]}" "${request[@]}" >"$log" 2>&1; then
      removed=$(sed -nE 's/^Remv ([^ ]+).*$/\1/p' "$log")
      if [ -z "$removed" ]; then
        rm -f "$log"
        resolved_request=("${request[@]}")
        return 0
      fi
      for name in $removed; do
        [ -z "${asked[keep:$name]:-}" ] || continue
        asked[keep:$name]=1
        v=$(versions_of "$name" | while read -r w; do
          for p in "${pinned[@]}"; do [ "$w" = "$p" ] && { echo "$w"; break 2; }; done
        done)
        if [ -n "$v" ]; then request+=("$name=$v"); else request+=("$name"); fi
        progress=1
      done
      if [ $progress -eq 0 ]; then
        wine_reason="installing Wine would remove $(echo $removed)"
        rm -f "$log"
        return 1
      fi
      rm -f "$log"
      continue
    fi
    if grep -E "^E: (Package '?[^ ]+'? has no installation candidate|Unable to locate package)" "$log" >/dev/null; then
      wine_reason=$(grep -m1 -E '^E: ' "$log")
      rm -f "$log"
      return 1
    fi
    # " X:i386 : Depends: Y:i386 (>= 1) but it is not going to be installed",
    # " X : Breaks: X:i386 (!= 1) but 2 is to be installed": both X and Y
    # are worth asking for.
    names=$({
      sed -nE 's/^ *([^ ]+ : )?(Pre-?Depends|Depends|Breaks|Conflicts): ([^ ]+).*$/\3/p' "$log"
      sed -nE 's/^ ([^ ]+) : (Pre-?Depends|Depends|Breaks|Conflicts): .*$/\1/p' "$log"
    } | sort -u)
    for name in $names; do
      base=${name%:i386}
      [ -z "${asked[$base]:-}" ] || continue
      asked[$base]=1
      if multi_arch_same "$base"; then
        v=$(common_version "$base")
        if [ -n "$v" ]; then
          request+=("$base=$v" "$base:i386=$v")
          pinned[$base]=$v
          progress=1
          continue
        fi
        skewed+=("$base (amd64 $(dpkg-query -W -f='${Version}' "$base" 2>/dev/null || echo none) installed, i386 $(candidate_of "$base:i386"))")
      fi
      if [ "$name" != "$base" ] || ! installed "$name"; then
        request+=("$name")
        progress=1
      fi
    done
    if [ $progress -eq 0 ]; then
      wine_reason=$(grep -m1 -E '^E: ' "$log" || echo "apt could not resolve the i386 packages")
      if [ ${#skewed[@]} -gt 0 ]; then
        wine_reason="the i386 lists offer only older versions of ${skewed[*]}; DCS_WINE_ALLOW_DOWNGRADES=1 lets the amd64 side step down to them"
      fi
      rm -f "$log"
      return 1
    fi
    rm -f "$log"
  done
  wine_reason="apt still refused after $wine_attempts rounds of asking for both architectures at one version"
  return 1
}

install_wine() {
  mapfile -t missing < <(missing_of "${wine_packages[@]}")
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    wine_reason="Wine is not installed and installing it needs root"
    return 1
  fi
  if ! dpkg --print-foreign-architectures | grep -x i386 >/dev/null; then
    dpkg --add-architecture i386
    updated=0
  fi
  update_lists
  local -a resolved_request=()
  resolve_wine || return 1
  if [ ${#resolved_request[@]} -gt ${#wine_packages[@]} ]; then
    say "the i386 and amd64 lists disagree; asking for these at one version in both: ${resolved_request[*]:${#wine_packages[@]}}"
  fi
  say "installing ${resolved_request[*]}"
  if ! apt-get install -y -qq --no-install-recommends --no-remove "${downgrade_flag[@]}" "${resolved_request[@]}"; then
    wine_reason="apt-get install of ${resolved_request[*]} failed"
    return 1
  fi
}

if [ "$what" = test ]; then
  mkdir -p "$status_dir"
  rm -f "$wine_missing_file"
  wine_reason=""
  if ! install_wine; then
    echo "$wine_reason" >"$wine_missing_file"
    if [ "${DCS_REQUIRE_WINE:-0}" = 1 ]; then
      die "Wine could not be installed, and DCS_REQUIRE_WINE=1: $wine_reason"
    fi
    warn "Wine could not be installed ($wine_reason); the Windows programs will be built but not run"
  fi
fi

# --- 32-bit x86 programs -------------------------------------------------
# The i686 tests and Wine run 32-bit x86 programs. Some virtual machines
# run a kernel that cannot execute them itself; there they run under
# qemu's user-mode emulation, registered with the kernel's binfmt_misc.
[ "$what" = test ] || exit 0
[ "${DCS_SKIP_32BIT_PROBE:-0}" = 1 ] && exit 0
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'int main(void) { return 0; }\n' >"$probe_dir/probe.c"
if gcc -m32 "$probe_dir/probe.c" -o "$probe_dir/probe" 2>/dev/null && ! "$probe_dir/probe" 2>/dev/null; then
  say "this kernel does not run 32-bit x86 programs; registering qemu-i386 for them"
  if ! installed qemu-user-static; then
    update_lists
    apt-get install -y -qq --no-install-recommends qemu-user-static
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >/proc/sys/fs/binfmt_misc/register
  fi
  "$probe_dir/probe" || die "32-bit x86 programs still cannot run"
fi
