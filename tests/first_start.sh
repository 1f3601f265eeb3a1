#!/bin/sh
# A first start through scripts/run in a checkout that has never run: the
# console starts in run/, and its library ws/ is there for )SAVE and )LIB.
# Usage: first_start.sh SOURCE_DIR BUILD_DIR WORK_DIRECTORY
set -u
src=$1
build=$2
w=$3
rm -rf "$w"
mkdir -p "$w/scripts" || exit 1
cp "$src/scripts/run" "$w/scripts/run"
out=$(printf ')save first\n)lib\n)pwd\n)dir\n' |
      VEK_SKIP_SETUP=1 VEK_BUILD_DIR="$build" bash "$w/scripts/run" --console 2>&1)
echo "$out"
fail=0
[ -s "$w/ws/first.vek" ] || { echo "FAILED: no ws/first.vek"; fail=1; }
echo "$out" | grep -q "Error" && { echo "FAILED: an error"; fail=1; }
echo "$out" | grep -q "error in )lib" && { echo "FAILED: no library"; fail=1; }
echo "$out" | grep -q " $(cd "$w/run" && pwd -P)\$" || { echo "FAILED: not started in run/"; fail=1; }
echo "$out" | grep -q " $(cd "$w/ws" && pwd -P)\$" || { echo "FAILED: the library is not ws/"; fail=1; }
[ $fail -eq 0 ] && echo "first start: saved in ws/"
exit $fail
