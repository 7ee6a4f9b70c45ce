#!/usr/bin/env bash
# Builds, then runs every test under Xvfb and the project's own Wine prefix through CTest.
# Extra arguments go to CTest (for example: -R Settings).
set -euo pipefail
cd "$(dirname "$0")/.."
# The 32-bit program is built too, so that a test run proves the product itself compiles.
bash tools/build.sh
dir="$(tools/test-dir.sh)"
set +e
tools/wine.sh xrun "$dir" ctest --test-dir "$dir" --output-on-failure --timeout 180 "$@"
rc=$?
if [ $rc -ne 0 ]; then
    echo
    echo "Some tests failed. To see Wine's own messages, run them again with, for example:"
    echo "  WINEDEBUG=err+all,warn+seh tools/test.sh -R <test name>"
fi
exit $rc
