#!/bin/sh
# A workspace carried between separate processes: the first console builds
# functions with control structures, values of every block type (a vector
# over 64 KB, thousands of symbols, nested lists, nulls and infinities),
# system variables and a suspended call, then saves it and writes it as a
# script. A second console loads the workspace, a third reads the script.
# The values each one shows and the scripts they write must agree exactly.
# Usage: system_fresh_process.sh CONSOLE WORK_DIRECTORY
set -u
vek=$1
w=$2
rm -rf "$w"
mkdir -p "$w" || exit 1
fail=0

# Values the session cannot build yet come from a script's variable blocks.
{
    echo "&big I 1 20000"
    seq 0 3 59997 | awk '{ printf "%s%s", (NR > 1 ? " " : ""), ($1 % 2 ? "_" $1 : $1) } END { print "" }'
    echo "&"
    echo "&many S 1 3000"
    seq 1 3000 | awk '{ printf "%s`sym%s", (NR > 1 ? " " : ""), $1 } END { print "" }'
    echo "&"
    printf '&ints I 1 5\n1 _2 0n 0w _0w\n&\n'
    printf '&flts E 1 6\n0.30000000000000004 1e_300 _2.5e17 0nf 0wf _0wf\n&\n'
    printf "&txt C 1 8\n'it''s '' x'\n&\n"
    printf "&syms S 1 4\n\`abc_ \`'x y' \` \`'a''b'\n&\n"
    printf "&nest L 1 3\nI 0\n7\n&\nL 1 2\nC 1 2\n'hi'\n&\nE 1 2\n1.5 _0.25\n&\n&\nS 0\n\`q\n&\n&\n"
    printf '&mat I 2 2 3\n1 2 3\n4 5 6\n&\n'
    printf '&cube E 3 2 2 2\n1 2 3 4 5 6 7 8.5\n&\n'
    printf '&when Z 0\n2024.05.17T09:05:07.008\n&\n'
    printf '&days D 1 2\n2024.05.17 1900.01.01\n&\n'
    printf '&mons M 1 1\n2024.05m\n&\n&mins U 1 2\n09:05 23:59\n&\n'
    printf '&secs V 1 1\n09:05:07\n&\n&times T 1 2\n09:05:07.008 23:59:59.999\n&\n'
    printf '&cplx J 1 2\n1j2 _1.5j0.25\n&\n&flags B 1 3\n1 0 1\n&\n'
    printf '&a_rather_long_variable_name I 0\n7\n&\n'
} > "$w/data.vkp"

# What each session shows of its workspace.
show='
'"'"'--values--'"'"'
tri 6
kind 2
kind 9
lab 4
ints
flts
txt
syms
nest
when
days
mons
mins
secs
times
cplx
flags
a_rather_long_variable_name
a_long_function_name 21
[]PP
[]IO
'"'"'--end--'"'"'
'

run() {   # session input -> output file
    printf '%s\n)off\n' "$1" | "$vek" > "$2" 2>&1
    echo $? > "$2.status"
}
values() {   # the lines between the markers of a session's output
    sed -n '/--values--/,/--end--/p' "$1" | sed 's/^ *--values--/--values--/'
}
state() {   # the )si rows after the marker line
    sed -n '/--si--/,/^\*$/p' "$1" | tail -n +2
}

run ")dir $w
)fcopy data
{tri: s<-0; for (i: 1; x) { if (i=3) continue; s<-s+i }; s}
{kind: case (x) { 1: z<-'one'; 2: z<-'two'; else z<-'many' }}
{lab: i<-0; top: i<-i+1; ->(i<x)/top; i}
{fails: n<-0; while (n<x) { n<-n+1 }; if (n=x) z<-n+missing}
{outer: t<-fails x; z<-t*2}
{a_long_function_name: z<-x*2}
[]PP<-12
[]IO<-0
[]LX<-'''latent expression ran'''
outer 2
$show
'--si--'
)si
)save ws
)out first" "$w/one.out"

run ")dir $w
)load ws
'--si--'
)si
n*1000
$show
)out second
->
->
tri 10" "$w/two.out"

run ")dir $w
)fload first
[]PP<-12
[]IO<-0
$show
)out third" "$w/three.out"

check() {   # description, then a command that must succeed
    d=$1
    shift
    if ! "$@"; then
        echo "FAILED: $d"
        fail=1
    fi
}
same_values() { values "$w/one.out" > "$w/v1"; values "$w/$1" > "$w/v2"; cmp -s "$w/v1" "$w/v2" || diff "$w/v1" "$w/v2"; }
has() { grep -qF -- "$2" "$w/$1"; }

check "the first session shows its values" has one.out "many"
check "the first session shows its values" has one.out "0.3 1e_300"
check "the suspended call is listed" has one.out "fails[7] if (n=x) z<-n+missing"
check "the save wrote the workspace" test -s "$w/ws.vek"
check "the loaded workspace shows the same values" same_values two.out
check "the script shows the same values" same_values three.out
check "the latent expression ran on load" has two.out "latent expression ran"
same_state() { state "$w/one.out" > "$w/s1"; state "$w/two.out" > "$w/s2"; test -s "$w/s1" && cmp "$w/s1" "$w/s2"; }
check "the state indicator survives the load" same_state
check "a local of the suspended call keeps its value" has two.out "2000"
check "the loaded functions run after the suspended calls are left" has two.out "      52"
check "the loaded workspace writes the same script" cmp "$w/first.vkp" "$w/second.vkp"
check "the script read back writes the same script" cmp "$w/first.vkp" "$w/third.vkp"
check ")off ends every session with status 0" sh -c "cat '$w'/*.status | grep -qv '^0\$' && exit 1 || exit 0"
check "no session failed unexpectedly" sh -c "! grep -h 'Error' '$w/two.out' '$w/three.out'"
if [ $fail -ne 0 ]; then
    for f in one two three; do echo "---- $f"; cat "$w/$f.out"; done
    exit 1
fi
echo "fresh process round trip: all equal"
