#!/usr/bin/env bash
# Builds, then runs the benchmark under Xvfb and the project's own Wine prefix. The table is
# printed and written to BUILD/bench.md. Extra arguments go to the benchmark, for example --quick
# (small sizes), --only control,big-log (those measures alone), --apart (the 1,000 jobs after the
# big log instead of beside it), --help (every measure by name); see bench/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${BUILD:-build}"
bash tools/build.sh --tests-only
dir="$(tools/test-dir.sh)"
# A build folder configured before bench/ existed does not know the benchmark yet.
[ -f "$dir/bench/Makefile" ] || cmake "$dir" >/dev/null
cmake --build "$dir" --target velqueth_bench -j "$(nproc 2>/dev/null || echo 2)"
out="$(cd "$BUILD" && pwd)/bench.md"
tools/wine.sh xrun "$dir" bash -c '"$VELQUETH_WINE" "$1/bin/velqueth_bench.exe" --out "Z:$2" "${@:3}"' \
    bench "$dir" "$out" "$@"
