#!/bin/bash
# Runs a command (a build's Wine suite) in one Wine session: a fresh prefix,
# one Xvfb and one wineserver that lasts, with Wine's services started once,
# for every test the command runs. Under emulation starting them costs about
# 10 s, which each test would pay again.
#   one-session.sh PREFIX_DIR COMMAND...
set -u
. "$(dirname "$0")/wine-env.sh"
prefix=$(realpath -m "$1")
shift
wine_env_create_prefix "$prefix" || exit 1
wine_env_start "$prefix" || exit 1
wineserver -p
wine cmd /c exit >/dev/null 2>&1
export VORSIL_WINE_SESSION=$DISPLAY
status=0
"$@" || status=$?
unset VORSIL_WINE_SESSION
wineserver -k
exit $status
