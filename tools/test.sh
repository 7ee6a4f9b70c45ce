#!/usr/bin/env bash
# Builds, then runs every test under Xvfb and the project's own Wine prefix through CTest.
# Extra arguments go to CTest (for example: -R Settings).
set -euo pipefail
cd "$(dirname "$0")/.."
# The 32-bit program is built too, so that a test run proves the product itself compiles.
bash tools/build.sh
dir="$(tools/test-dir.sh)"
set +e
archive_rc=0
if [ "$dir" != "${BUILD:-build}" ]; then
    # The release archive is the 32-bit build's; where the tests run another build, it is checked
    # here (in the 32-bit build it is the test ReleaseArchive).
    b="${BUILD:-build}"
    cmake -DZIP="$(ls "$b"/Velqueth-*-win32.zip | tail -1)" -DBIN="$b/bin" -DWORK="$b/archive-check" \
          -P tests/release/CheckArchive.cmake || archive_rc=1
fi
# A test of real windows and input under Wine can fail once on a loaded machine (a lost focus, a late
# timer); one that fails three times in a row fails the run. Two at a time: the tests under Wine
# hold one lock between them, so only the checks without Wine run beside one.
tools/wine.sh xrun "$dir" ctest --test-dir "$dir" --output-on-failure --timeout 180 --repeat until-pass:3 -j 2 "$@"
rc=$?
[ $archive_rc -eq 0 ] || { echo "The release archive check above failed."; rc=1; }
if [ $rc -ne 0 ]; then
    echo
    echo "Some tests failed. To see Wine's own messages, run them again with, for example:"
    echo "  WINEDEBUG=err+all,warn+seh tools/test.sh -R <test name>"
fi
exit $rc
