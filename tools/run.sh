#!/usr/bin/env bash
# Builds, then starts Velqueth under Wine. Velqueth's command line is VELQUETH_COMMAND_LINE exactly
# as it stands (`make run ARGS='...'` sets it), else the arguments joined by blanks.
# With no $DISPLAY it runs under a private Xvfb, saves a screenshot to build/screenshot.png after
# a few seconds, closes the program and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
dir="$(tools/test-dir.sh)"
exe="$dir/bin/Velqueth.exe"
# Wine would quote and escape the words of a command line: a launcher passes it on unchanged.
export VELQUETH_COMMAND_LINE="${VELQUETH_COMMAND_LINE-$*}"
launch="$dir/bin/vqlaunch.exe"
if [ "$dir" != "${BUILD:-build}" ]; then
    echo "Note: this host cannot run 32-bit programs under Wine; starting the 64-bit build of the"
    echo "same sources ($exe). The 32-bit program is ${BUILD:-build}/bin/Velqueth.exe."
fi
if [ -n "${DISPLAY:-}" ]; then
    exec tools/wine.sh display "$dir" bash -c '"$VELQUETH_WINE" "$@"' bash "$launch" "$exe"
fi
shot="$PWD/${BUILD:-build}/screenshot.png"
tools/wine.sh xrun "$dir" bash -c '
    shot="$1"; shift
    "$VELQUETH_WINE" "$@" >/dev/null 2>&1 &
    pid=$!
    sleep "${VELQUETH_SHOT_DELAY:-4}"
    import -window root "$shot"
    kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' bash "$shot" "$launch" "$exe"
echo "No display: Velqueth ran under Xvfb; screenshot saved to $shot"
