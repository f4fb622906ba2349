#!/bin/bash
# Runs end-to-end cases of the driver in the shared prefix, on a display of
# their own; VORSIL_PROGRAM names another program file than the build's.
#   run-case.sh PREFIX_DIR WINDOWS_BUILD_DIR CASE...
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
prefix=$1
build=$2
shift 2
driver=$build/tests/wine/e2e.exe
program=${VORSIL_PROGRAM:-$build/vorsil.exe}
for file in "$driver" "$program"; do
    if [ ! -f "$file" ]; then
        echo "missing $file: build the Windows tree first (scripts/build)"
        exit 1
    fi
done
wine_env_start "$prefix" || exit 1
timeout -k 5 230 wine "$driver" run "$@" --program "$program" --helpers "$build/tests/wine"
