#!/usr/bin/env bash
# A stand-in for apt-get, apt-cache, dpkg, dpkg-query, id and gcc, linked
# under those names into a folder put first on PATH by install_deps_test.sh.
# It answers from a scenario folder ($FAKE_APT) as Debian's archive did on
# a given day, and records every install it is asked for; nothing on the
# machine is touched.
#
# The scenario folder holds:
#   installed    "NAME VERSION" lines: what dpkg says is installed; a name
#                in neither this file nor "absent" is installed at 1.0
#   absent       names dpkg says are not installed
#   archive      "NAME VERSION" lines: what the lists offer, newest first
#   multiarch    names of the Multi-Arch: same libraries
#   update.err   printed by apt-get update, which then exits 100 (optional)
#   simulate     a bash file defining simulate ARGS...: apt-get install -s
#   arch         the foreign architectures (written by dpkg --add-architecture)
#   log          every call, one line each (written)
set -u
s=${FAKE_APT:?}
me=$(basename "$0")
echo "$me $*" >>"$s/log"

# The last line of a name wins: an install appends.
version_installed() { awk -v p="$1" '$1 == p { v = $2 } END { if (v != "") print v }' "$s/installed"; }

case $me in
  id) echo 0 ;;
  gcc) exit 1 ;;
  dpkg-query)
    # dpkg-query -W -f=FORMAT NAME
    name=${!#}
    v=$(version_installed "$name")
    if [ -z "$v" ]; then
      grep -qxF -- "$name" "$s/absent" && exit 1
      v=1.0
    fi
    case $2 in
      *Status*) printf 'install ok installed' ;;
      *) printf '%s' "$v" ;;
    esac
    ;;
  dpkg)
    case $1 in
      --print-foreign-architectures) cat "$s/arch" 2>/dev/null ;;
      --add-architecture) echo "$2" >>"$s/arch" ;;
      --compare-versions) exec /usr/bin/dpkg "$@" ;;
      *) exit 2 ;;
    esac
    ;;
  apt-cache)
    case $1 in
      policy)
        c=$(awk -v p="$2" '$1 == p { print $2; exit }' "$s/archive")
        printf '%s:\n  Installed: %s\n  Candidate: %s\n' "$2" "$(version_installed "$2")" "${c:-(none)}"
        ;;
      madison)
        awk -v p="$2" '$1 == p { printf "%s | %s | http://archive.invalid bookworm/main Packages\n", $1, $2 }' "$s/archive"
        ;;
      show)
        awk -v p="$2" '$1 == p { found = 1 } END { exit !found }' "$s/archive" || exit 100
        printf 'Package: %s\n' "$2"
        grep -qx "${2%:i386}" "$s/multiarch" 2>/dev/null && echo 'Multi-Arch: same'
        echo 'Description: a package'
        ;;
    esac
    ;;
  apt-get)
    args=()
    simulated=0
    for a in "$@"; do
      case $a in
        -s) simulated=1 ;;
        -*) ;;
        *) args+=("$a") ;;
      esac
    done
    case ${args[0]} in
      update)
        [ -f "$s/update.err" ] || exit 0
        cat "$s/update.err" >&2
        exit 100
        ;;
      install)
        pkgs=("${args[@]:1}")
        if [ $simulated -eq 1 ]; then
          # shellcheck source=/dev/null
          . "$s/simulate"
          simulate "${pkgs[@]}"
          exit $?
        fi
        # A real install: record it, and what it installs.
        echo "${pkgs[*]}" >>"$s/installs"
        for p in "${pkgs[@]}"; do
          name=${p%%=*}
          v=${p#*=}
          [ "$v" != "$p" ] || v=$(awk -v p="$name" '$1 == p { print $2; exit }' "$s/archive")
          [ -n "$v" ] || { echo "E: Unable to locate package $name" >&2; exit 100; }
          echo "$name $v" >>"$s/installed"
        done
        ;;
    esac
    ;;
esac
