#!/bin/sh
# Runs the built dcs-host over faulty inputs and checks, for each, the exit
# status, the words its message must hold and that the files it must not
# touch are unchanged; then interrupts a long run and checks that the
# earlier outputs are unchanged and no temporary file is left.
# Usage: faulty_inputs.sh DCS_HOST EXAMPLES_DIR
. "$(dirname "$0")/test_lib.sh"

cp "$examples/unit/unit.toml" "$examples/unit/unit.mrx" "$work/"
cd "$work" || exit 1
printf 'step,status\n1,ok\n' >old.csv
printf '<svg/>\n' >old.svg
mkdir folder sub
mkfifo fifo.toml
ln -s unit.toml link.toml
ln -s missing.mrx dangling.mrx
printf 'not a library\n' >fake.so
truncate -s 65M huge.mrx
printf '\376\377\000i' >utf16.toml
printf 'name,Sp Tag,OP Tag,OP Init Tag\nA,A.SP,A.OP,A.OPINIT\nB,B.SP,B.OP,B.OPINIT\nC,C.SP,C.OP,C.OPINIT\n' >nearkey.csv
{ printf 'controllers = "nearkey.csv"\n'; cat unit.toml; } >nearkey.toml
awk 'BEGIN { for (i = 0; i < 2000; i++) print "STRAY" }' >stray.mrx
# case NAME BODY: unit.toml with BODY appended, or with its init_string
# replaced when BODY starts with init_string
case_with() {
    case "$2" in
    init_string*) { printf '%s\n' "$2"; grep -v '^init_string' unit.toml; } >"$1" ;;
    *) { cat unit.toml; printf '%s\n' "$2"; } >"$1" ;;
    esac
}
case_with odd.toml "$(printf '[[controller]]\nname = "X"\n"OP Tag" = "FIC-1.OP"\n"OP Init Tag" = "FIC-1.OPINIT"\nOPEnabled = -5\nMode = 1.5\n[[pv_export]]\n"PV Tag" = "FI-1.PV"\nActive = 2\nvalue = 1')"
sed 's/^SP = 50.0/Sp = 18.0/' unit.toml >typo_sp.toml
sed 's/^follows = 0/folows = 0/' unit.toml >typo_follows.toml
sed 's/^name = "FIC-1"$/name = "'"$(awk 'BEGIN { for (i = 0; i < 64; i++) printf "\303\251" }')"'"/' unit.toml >long_name.toml
case_with big_di.toml "$(printf '[[event]]\nstep = 2\naction = "set_tag"\nkind = "DI"\nname = "LINK.ENABLED"\nvalue = 99999999999')"
case_with no_name.toml "$(printf '[[event]]\nstep = 2\naction = "set_tag"\nkind = "AI"\nvalue = 1')"
case_with zero.toml 'init_string = "/dev/zero"'
case_with init_dir.toml 'init_string = "folder"'
case_with init_dangling.toml 'init_string = "dangling.mrx"'
case_with init_huge.toml 'init_string = "huge.mrx"'
case_with stray.toml 'init_string = "stray.mrx"'
printf 'init_string = "unit.mrx"\n[[controller]]\n"OP Tag" = "NOWHERE"\n"OP Init Tag" = "NOWHERE"\n' >unconfigured.toml
sums() { cksum unit.toml unit.mrx old.csv old.svg fake.so; }
before=$(sums)

# row NAME STATUS WORDS UNCHANGED ARGS...: WORDS are |-separated texts the
# standard error must hold; UNCHANGED "yes" when no file may change.
row() {
    name=$1 expected=$2 words=$3 unchanged=$4
    shift 4
    timeout 20 "$host" "$@" >"$name.out" 2>"$name.err"
    status=$?
    [ "$status" -eq "$expected" ] || fail "$name: exit status $status, expected $expected ($(head -c 300 "$name.err"))"
    old_ifs=$IFS
    IFS='|'
    for word in $words; do
        grep -F -q -e "$word" "$name.err" || fail "$name: standard error lacks: $word ($(head -c 300 "$name.err"))"
    done
    IFS=$old_ifs
    if [ "$unchanged" = yes ] && [ "$(sums)" != "$before" ]; then
        fail "$name: an input or an earlier output changed"
    fi
    if ls -a | grep -q '\.tmp$'; then fail "$name: a temporary file was left"; fi
    if [ "$expected" -eq 2 ] && grep -q "DCSConfigure" "$name.out"; then fail "$name: the driver ran"; fi
}

row csv_is_case 2 '--csv "unit.toml" is the case file "unit.toml"|never replaces an input' yes run unit.toml --csv unit.toml
row html_is_init 2 "is the initialization string file" yes run unit.toml --html unit.mrx
row html_is_csv 2 '--html "./old.csv" is the same file as --csv "old.csv"' yes run unit.toml --csv old.csv --html ./old.csv
row plot_is_csv 2 '--plot "./old.svg" is the same file as --csv "old.svg"' yes run unit.toml --csv old.svg --plot ./old.svg
row csv_via_link 2 'is the case file' yes run link.toml --csv "sub/../unit.toml"
row csv_is_driver 2 'is the driver' yes run unit.toml --driver "$work/fake.so" --csv fake.so
row bad_driver 2 'cannot load the driver' yes run unit.toml --driver "$work/fake.so" --csv old.csv --plot old.svg
row fifo_driver 2 'it is a FIFO' yes run unit.toml --driver "$work/fifo.toml"
row unconfigured 1 '"old.csv" not written: the link did not configure' yes run unconfigured.toml --csv old.csv
row unconfigured_new 1 'not written' yes run unconfigured.toml --csv new.csv
[ -e new.csv ] && fail "unconfigured_new: an empty CSV was left"
row plot_no_folder 2 '"nowhere/out.svg": its folder' yes run unit.toml --csv old.csv --plot nowhere/out.svg
row plot_under_file 2 'is not a directory' yes run unit.toml --plot old.csv/out.svg
row csv_is_folder 2 '"folder": it is a directory' yes run unit.toml --csv folder
row dev_zero 2 'zero.toml:1: cannot read the initialization string file|"/dev/zero": it is a character device' yes run zero.toml
row fifo_case 2 '"fifo.toml": it is a FIFO' yes run fifo.toml
row case_is_folder 2 'cannot read the case file "folder": it is a directory' yes run folder
row utf16_case 2 'utf16.toml:1:1: cannot read the case file "utf16.toml": it is UTF-16' yes run utf16.toml
row nearkey 2 'nearkey.csv:1:6: column "Sp Tag": no field "Sp Tag" is declared for controller rows|did you mean "SP Tag"?' yes run nearkey.toml
[ "$(grep -c 'no field' nearkey.err)" -eq 1 ] || fail "nearkey: a header's unknown label is told more than once"
row init_is_folder 2 'init_dir.toml:1: cannot read the initialization string file|it is a directory' yes run init_dir.toml
row init_dangling 2 'dangling.mrx": No such file or directory' yes run init_dangling.toml
row init_huge 2 'more than the 64 MiB' yes run init_huge.toml
row steps_huge 2 'from 0 to 10000000; 1000000000 is more than' yes run unit.toml --steps 1000000000
row steps_word 2 'from 0 to 10000000, not "ten"' yes run unit.toml --steps ten
row typo_sp 2 'typo_sp.toml:23:1: controller 0: unknown key "Sp"; did you mean SP?|name, OPEnabled, Mode, SP, OP' yes \
    run typo_sp.toml
row typo_follows 2 'unknown key "folows"; did you mean follows?' yes run typo_follows.toml
row di_range 2 'from -2147483648 to 2147483647; 99999999999 is out of that range' yes run big_di.toml
row set_tag_name 2 'a set_tag event needs kind, name and value; name' yes run no_name.toml
row text_bytes 2 'name is 64 characters long; the driver'"'"'s text cells hold 63 bytes' yes run long_name.toml
row odd_values 0 'odd.toml:65:13: warning: controller 1: OPEnabled = -5|odd.toml:66:8: warning: controller 1: Mode = 1.5|it captures 1|odd.toml:69:10: warning: pv_export 1: Active = 2' \
    yes run odd.toml
row stray_lines 1 '1980 more of "KVMRXNT Error": Unknown tag type 0 encountered when initializing tag lists (raised 2000 times, the first 20 shown)' yes run stray.toml
[ "$(grep -c 'Unknown tag type' stray_lines.err)" -eq 21 ] || fail "stray_lines: expected 20 boxes and one count"

# A long run interrupted part-way: the earlier outputs stay as they were.
:>long.out  # there before the loop below first looks
"$host" run unit.toml --steps 10000000 --csv old.csv --plot old.svg >long.out 2>long.err &
pid=$!
tries=0
while [ "$(wc -l <long.out)" -lt 50 ] && [ $tries -lt 200 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
ls -a | grep -q "^\.old\.csv\..*\.tmp$" || fail "interrupt: no temporary CSV while the run went on"
kill -TERM $pid
wait $pid
status=$?
[ "$status" -eq 143 ] || fail "interrupt: exit status $status, expected 143 (SIGTERM)"
[ "$(sums)" = "$before" ] || fail "interrupt: an earlier output changed"
if ls -a | grep -q '\.tmp$'; then fail "interrupt: a temporary file was left"; fi

finish "faulty-input"
