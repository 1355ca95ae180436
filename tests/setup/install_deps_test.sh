#!/usr/bin/env bash
# scripts/install-deps.sh against a stand-in archive (fake_apt.sh on PATH),
# one scenario a case: the day a list was being rewritten and the i386
# lists lagged the amd64 ones; an archive that has no Wine; one that lacks
# a package every build needs; the example's smaller set; a skew that only
# a downgrade resolves. Nothing is installed on this machine.
set -u
here=$(cd "$(dirname "$0")" && pwd)
script=$here/../../scripts/install-deps.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

mkdir -p "$work/bin"
for tool in apt-get apt-cache dpkg dpkg-query id gcc; do ln -s "$here/fake_apt.sh" "$work/bin/$tool"; done

# The archive on the bad day: the amd64 side newer than the i386 lists.
write_day() {
  local s=$1
  mkdir -p "$s"
  : >"$s/log"
  printf '%s\n' libtoml11-dev gcovr wine wine32:i386 >"$s/absent"
  cat >"$s/installed" <<'EOF'
libssl3 3.0.19-1~deb12u2
libssl-dev 3.0.19-1~deb12u2
zlib1g 1:1.2.13.dfsg-1
liblzma5 5.4.1-1
EOF
  cat >"$s/archive" <<'EOF'
libtoml11-dev 3.7.1-1
gcovr 5.2-1
wine 8.0~repack-4
wine32:i386 8.0~repack-4
libcurl4:i386 7.88.1-10+deb12u5
libssl3 3.0.22-1~deb12u2
libssl3 3.0.20-1~deb12u2
libssl3:i386 3.0.20-1~deb12u2
libssl-dev 3.0.22-1~deb12u2
libssl-dev 3.0.20-1~deb12u2
zlib1g 1:1.2.13.dfsg-1+deb12u1
zlib1g 1:1.2.13.dfsg-1
zlib1g:i386 1:1.2.13.dfsg-1
liblzma5 5.4.1-1+deb12u2
liblzma5 5.4.1-1+deb12u1
liblzma5:i386 5.4.1-1+deb12u1
EOF
  printf '%s\n' libssl3 libssl-dev zlib1g liblzma5 >"$s/multiarch"
  cat >"$s/update.err" <<'EOF'
E: Failed to fetch http://archive.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]
E: Some index files failed to download. They have been ignored, or old ones used instead.
EOF
  # apt as it answered that day: held packages until each library is asked
  # for at one version in both architectures, then a plan that would remove
  # libssl-dev unless it too is asked for at the new version.
  cat >"$s/simulate" <<'EOF'
simulate() {
  local req=" $* "
  if [[ $req != *" libssl3=3.0.20-1~deb12u2 libssl3:i386=3.0.20-1~deb12u2 "* || $req != *" zlib1g:i386=1:1.2.13.dfsg-1 "* ]]; then
    cat <<'OUT'
Some packages could not be installed. This may mean that you have
requested an impossible situation or if you are using the unstable
distribution that some required packages have not yet been created
or been moved out of Incoming.
The following information may help to resolve the situation:

The following packages have unmet dependencies:
 libcurl4:i386 : Depends: libssl3:i386 (>= 3.0.0) but it is not going to be installed
                 Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed
E: Unable to correct problems, you have held broken packages.
OUT
    return 100
  fi
  if [[ $req != *" liblzma5=5.4.1-1+deb12u1 "* ]]; then
    cat <<'OUT'
The following packages have unmet dependencies:
 liblzma5 : Breaks: liblzma5:i386 (!= 5.4.1-1) but 5.4.1-1+deb12u1 is to be installed
 liblzma5:i386 : Breaks: liblzma5 (!= 5.4.1-1+deb12u1) but 5.4.1-1 is to be installed
E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages.
OUT
    return 100
  fi
  [[ $req == *" libssl-dev=3.0.20-1~deb12u2 "* ]] || echo "Remv libssl-dev [3.0.19-1~deb12u2]"
  echo "Inst wine32:i386 (8.0~repack-4 Debian:12/stable [i386])"
}
EOF
}

# run NAME EXPECTED_STATUS [ENV=VALUE...] -- ARGS: the script in scenario $s
run() {
  local name=$1 expected=$2
  shift 2
  local -a env=()
  while [ "$1" != -- ]; do env+=("$1"); shift; done
  shift
  status=0
  env PATH="$work/bin:$PATH" FAKE_APT="$s" DCS_DEPS_STATUS_DIR="$s/status" "${env[@]}" \
    bash "$script" "$@" >"$s/out" 2>"$s/err" || status=$?
  current=$name
  check "exit status $status, expected $expected" [ "$status" -eq "$expected" ]
}
check() {
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else
    failed=$((failed + 1))
    echo "FAIL: $current: $what"
    sed 's/^/  | /' "$s/out" "$s/err" | tail -n 20
  fi
}
has() { grep -qF -- "$2" "$1" 2>/dev/null; }
lacks() { ! grep -qF -- "$2" "$1" 2>/dev/null; }

# 1. The bad day: a list fails, the architectures disagree; all resolved.
s=$work/bad-day
write_day "$s"
run "bad day" 0 -- test
check "the failed list is named" has "$s/err" "could not be read, the old one (or none) is used: http://archive.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
check "the packages every step needs are installed first" has "$s/installs" "libtoml11-dev gcovr"
check "i386 is added" has "$s/log" "dpkg --add-architecture i386"
last=$(tail -n 1 "$s/installs" 2>/dev/null)
for want in "wine wine32:i386" "libssl3=3.0.20-1~deb12u2 libssl3:i386=3.0.20-1~deb12u2" \
  "zlib1g=1:1.2.13.dfsg-1 zlib1g:i386=1:1.2.13.dfsg-1" "liblzma5=5.4.1-1+deb12u1 liblzma5:i386=5.4.1-1+deb12u1" \
  "libssl-dev=3.0.20-1~deb12u2"; do
  check "Wine's install asks for $want" has <(echo "$last") "$want"
done
check "the real install never removes a package" has "$s/log" "--no-remove"
check "no Wine-missing note" [ ! -e "$s/status/wine-missing" ]

# 2. An archive without Wine: the run goes on, the reason is kept; fatal
#    only when Wine is required.
s=$work/no-wine
write_day "$s"
printf "simulate() { echo \"E: Package 'wine32:i386' has no installation candidate\"; return 100; }\n" >"$s/simulate"
run "no Wine" 0 -- test
check "the reason is kept for the test command" has "$s/status/wine-missing" "E: Package 'wine32:i386' has no installation candidate"
check "the warning says what will not run" has "$s/err" "the Windows programs will be built but not run"
run "no Wine, required" 1 DCS_REQUIRE_WINE=1 -- test
check "the refusal names the reason" has "$s/err" "DCS_REQUIRE_WINE=1: E: Package 'wine32:i386' has no installation candidate"

# 3. A package every build needs has no candidate: nothing is installed.
s=$work/no-candidate
write_day "$s"
sed -i '/^libtoml11-dev /d' "$s/archive"
run "no candidate" 1 -- test
check "the package is named" has "$s/err" "no version of libtoml11-dev can be had"
check "nothing is installed" [ ! -e "$s/installs" ]

# 4. The example's set: what it builds with, no i386, no Wine.
s=$work/example
write_day "$s"
run "example" 0 -- example
check "only the example's missing package" [ "$(cat "$s/installs" 2>/dev/null)" = "libtoml11-dev" ]
check "no foreign architecture" lacks "$s/log" "--add-architecture"

# 5. The amd64 side already newer than anything the i386 lists hold: no
#    downgrade unless asked for.
s=$work/downgrade
write_day "$s"
sed -i 's/^libssl3 3.0.19-1~deb12u2$/libssl3 3.0.22-1~deb12u2/' "$s/installed"
run "skew that needs a downgrade" 0 -- test
check "the skew is named" has "$s/status/wine-missing" "libssl3 (amd64 3.0.22-1~deb12u2 installed, i386 3.0.20-1~deb12u2)"
check "the way out is named" has "$s/status/wine-missing" "DCS_WINE_ALLOW_DOWNGRADES=1"
check "Wine is not installed" lacks "$s/installs" "wine32:i386"
run "skew, downgrades allowed" 0 DCS_WINE_ALLOW_DOWNGRADES=1 -- test
check "the install steps down" grep -qE -- "^apt-get install .*--allow-downgrades wine wine32:i386 .*libssl3=3.0.20-1~deb12u2 " "$s/log"

echo "install-deps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
