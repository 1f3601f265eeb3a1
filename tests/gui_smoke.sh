#!/bin/sh
# Runs the desktop program under a virtual X server (see gui_smoke.cmake).
# Without xvfb-run the run is skipped (exit 77) on a developer's machine,
# and fails where CI is set: there the test must really run.
# Usage: gui_smoke.sh PROGRAM SCREENSHOT
if ! command -v xvfb-run >/dev/null 2>&1 || ! command -v xauth >/dev/null 2>&1; then
    if [ -n "${CI:-}" ]; then
        echo "gui_smoke: xvfb-run or xauth is missing (scripts/setup installs xvfb and xauth)"
        exit 1
    fi
    echo "gui_smoke: xvfb-run or xauth is missing: skipped"
    exit 77
fi
exec xvfb-run -a -s "-screen 0 1280x800x24" \
    env QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 VEK_SMOKE_SCREENSHOT="$2" "$1"
