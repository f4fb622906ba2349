#!/bin/bash
# Runs the scenarios of one platform family (nt or win98) under Wine, in the
# shared prefix, on a display of their own.
#   run-under-wine.sh PREFIX_DIR WINDOWS_BUILD_DIR nt|win98 SCENARIO.txt|FOLDER...
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine/wine-env.sh"
prefix=$1
build=$2
family=$3
shift 3
runner=$build/tests/scenarios/scenarios.exe
probe=$build/tests/scenarios/probe.exe
program=$build/vorsil.exe
for file in "$runner" "$probe" "$program"; do
    if [ ! -f "$file" ]; then
        echo "missing $file: build the Windows tree first (scripts/build)"
        exit 1
    fi
done
wine_env_start "$prefix" || exit 1
timeout -k 5 580 wine "$runner" --program "$program" --probe "$probe" --platform "$family" "$@"
