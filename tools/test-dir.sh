#!/usr/bin/env bash
# Prints the build folder whose programs run under this host's Wine.
BUILD="${BUILD:-build}"
if [ "$("$(dirname "$0")/wine-arch.sh")" = i686 ]; then echo "$BUILD"; else echo "$BUILD/x64"; fi
