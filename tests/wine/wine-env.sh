# The Wine environment of the end-to-end tests, the demo and the benchmark.
# VORSIL_WINEARCH chooses the Wine: win32 (the default) for the 32-bit program,
# win64 for the x64 one. Source it, then:
#
#   wine_env_create_prefix DIR   make a fresh prefix in DIR (about 10 s)
#   wine_env_start DIR           use the prefix in DIR (made when missing), start
#                                Xvfb on a free display, export WINEPREFIX and
#                                DISPLAY; wine_env_stop runs when the shell exits
#   wine_env_stop                wait for the prefix's processes to end (ending
#                                them after 30 s), stop Xvfb
#   wine_env_set_version win98   make the whole prefix report Windows 98 (the 95
#                                family); "default" goes back to the NT family
#   wine_env_windows_path PATH   a Unix path as Windows programs see it (Z:)
#   wine_env_runs                whether the chosen Wine runs here (else says why)
#   wine_env_choose_arch         win32 where the 32-bit Wine runs, else win64;
#                                prints which
#
# VORSIL_WINE_SESSION=DISPLAY: one display and one lasting wineserver of the
# prefix serve every test of the run (tests/wine/one-session.sh): a test
# starts no Xvfb of its own and at its end waits only for its own processes,
# not for Wine's services to stop.
#
# wine_env_create_prefix and wine_env_start end the script with 77 (a test
# skipped) where the chosen Wine cannot run: a kernel that runs 64-bit code only
# refuses every 32-bit program, Wine's loader too.
# It sets an EXIT trap; a script that needs its own must call wine_env_stop.

wine_env_use_arch() {
    export VORSIL_WINEARCH=$1 WINEARCH=$1
    if [ "$1" = win64 ]; then
        export WINELOADER=/usr/lib/wine/wine64
    else
        export WINELOADER=/usr/lib/wine/wine
    fi
}
wine_env_use_arch "${VORSIL_WINEARCH:-win32}"
# wine and wineboot start the chosen loader (tests/wine/bin).
WINE_ENV_BIN=$(cd "$(dirname "${BASH_SOURCE[0]}")/bin" && pwd)
case ":$PATH:" in *":$WINE_ENV_BIN:"*) ;; *) export PATH="$WINE_ENV_BIN:$PATH" ;; esac
export WINEDEBUG=-all
# No Mono or Gecko installers (and their dialogs) when a prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

WINE_ENV_XVFB_PID=""

wine_env_runs() {
    local said
    if [ ! -x "$WINELOADER" ]; then
        echo "no $WINEARCH Wine here ($WINELOADER is not installed)"
        return 1
    fi
    if ! said=$("$WINELOADER" --version 2>&1); then
        echo "this machine cannot run the $WINEARCH Wine: ${said##*: }"
        return 1
    fi
}

wine_env_require() {
    local why
    if ! why=$(wine_env_runs); then
        echo "wine-env: skipped: $why" >&2
        exit 77
    fi
}

wine_env_choose_arch() {
    wine_env_use_arch win32
    if ! wine_env_runs >/dev/null; then
        wine_env_use_arch win64
    fi
    echo "wine-env: the $VORSIL_WINEARCH Wine, for the $([ "$VORSIL_WINEARCH" = win32 ] && echo 32-bit || echo x64) program" >&2
}

wine_env_create_prefix() {
    local prefix=$1
    wine_env_require
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    echo "wine-env: making a $WINEARCH prefix in $prefix" >&2
    WINEPREFIX=$prefix DISPLAY= wineboot -i >/dev/null 2>&1 || {
        echo "wine-env: wineboot -i failed" >&2
        return 1
    }
    # A crashing program ends at once instead of waiting in the debugger, and
    # windows get Wine's own frame and caption (there is no window manager).
    WINEPREFIX=$prefix DISPLAY= wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /d false /f >/dev/null 2>&1
    WINEPREFIX=$prefix DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Decorated /d N /f >/dev/null 2>&1
    WINEPREFIX=$prefix timeout 60 wineserver -w
}

wine_env_start_xvfb() {
    local fdfile display waited=0
    fdfile=$(mktemp)
    # -displayfd: Xvfb picks a free display and writes its number once it is ready.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    WINE_ENV_XVFB_PID=$!
    while [ ! -s "$fdfile" ]; do
        if ! kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null || [ $waited -ge 100 ]; then
            echo "wine-env: Xvfb did not start" >&2
            rm -f "$fdfile"
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    display=$(tr -dc '0-9' <"$fdfile")
    rm -f "$fdfile"
    export DISPLAY=":$display"
}

wine_env_start() {
    local prefix=$1
    wine_env_require
    if [ ! -f "$prefix/system.reg" ]; then
        wine_env_create_prefix "$prefix" || return 1
    fi
    export WINEPREFIX=$prefix
    trap wine_env_stop EXIT
    trap 'exit 130' INT TERM
    if [ -n "${VORSIL_WINE_SESSION:-}" ]; then
        export DISPLAY=$VORSIL_WINE_SESSION
    else
        wine_env_start_xvfb
    fi
}

wine_env_stop() {
    local pid
    if [ -n "${VORSIL_WINE_SESSION:-}" ] && [ -n "${WINEPREFIX:-}" ]; then
        wine_env_wait_for_tests_processes
    elif [ -n "${WINEPREFIX:-}" ]; then
        if ! timeout 30 wineserver -w 2>/dev/null; then
            echo "wine-env: processes still running after 30 s; ending them" >&2
            wineserver -k 2>/dev/null
            timeout 10 wineserver -w 2>/dev/null
        fi
        for pid in $(wine_env_prefix_processes); do
            echo "wine-env: ending left-over process $pid" >&2
            kill -9 "$pid" 2>/dev/null
        done
    fi
    if [ -n "$WINE_ENV_XVFB_PID" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null
        WINE_ENV_XVFB_PID=""
    fi
}

# The processes of this prefix, found by their WINEPREFIX; with "tests", not
# Wine's own services, which a lasting session keeps. Shell builtins only past
# pgrep: under emulation each program started costs a tenth of a second.
wine_env_prefix_processes() {
    local pid name var ours
    for pid in $(pgrep -f -- '\.exe' 2>/dev/null); do
        # This shell, and the subshell that lists for it, name the program.
        [ "$pid" = "$$" ] || [ "$pid" = "$BASHPID" ] && continue
        ours=false
        while IFS= read -r -d '' var; do
            [ "$var" = "WINEPREFIX=$WINEPREFIX" ] && ours=true && break
        done 2>/dev/null <"/proc/$pid/environ"
        $ours || continue
        name=""
        IFS= read -r -d '' name 2>/dev/null <"/proc/$pid/cmdline"
        if [ "${1:-}" = tests ] &&
           [[ ${name,,} =~ ^c:\\windows\\system32\\(services|winedevice|plugplay|svchost|rpcss|explorer)\.exe ]]; then
            continue
        fi
        echo "$pid"
    done
}

# In a lasting session: the test's own processes end (ended after 30 s).
wine_env_wait_for_tests_processes() {
    local start=$SECONDS pid name
    while [ -n "$(wine_env_prefix_processes tests)" ] && [ $((SECONDS - start)) -lt 30 ]; do
        sleep 0.2
    done
    for pid in $(wine_env_prefix_processes tests); do
        IFS= read -r -d '' name 2>/dev/null <"/proc/$pid/cmdline"
        echo "wine-env: ending left-over process $pid ($name)" >&2
        kill -9 "$pid" 2>/dev/null
    done
}

wine_env_set_version() {
    if [ "$1" = default ]; then
        wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
        return 0
    fi
    wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null
}

wine_env_windows_path() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s\n' "${path//\//\\}"
}
