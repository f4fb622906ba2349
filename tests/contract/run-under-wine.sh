#!/bin/sh
# Runs the contract test against Wine's own DLLs, twice: as the NT family
# (Wine's default) and as the 95 family (Wine's "win98" setting, given to a
# copy of the program only, through AppDefaults).
#
#   tests/contract/run-under-wine.sh <path-to-win32_contract.exe>
#
# Uses $WINEPREFIX when set (a prefix of the program's bitness); otherwise builds a
# throw-away prefix ($WINEARCH, 32-bit by default) and removes it afterwards. Exit status 0 only when
# both runs pass.
set -eu

exe=${1:?usage: run-under-wine.sh <path-to-win32_contract.exe>}
if [ ! -f "$exe" ]; then
    echo "run-under-wine.sh: no file $exe" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vorsil-contract.XXXXXX")
own_prefix=
if [ -n "${WINEPREFIX:-}" ]; then
    prefix=$WINEPREFIX
else
    prefix=$work/prefix
    own_prefix=yes
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all

cleanup() {
    wine reg delete 'HKCU\Software\Wine\AppDefaults\win32_contract_95.exe' /f >/dev/null 2>&1 || true
    if [ -n "$own_prefix" ]; then
        # Let this prefix's wineserver finish before its files go.
        wineserver -w >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

if [ -n "$own_prefix" ]; then
    WINEARCH=${WINEARCH:-win32} wineboot -i >/dev/null 2>&1
fi

cp "$exe" "$work/win32_contract_nt.exe"
cp "$exe" "$work/win32_contract_95.exe"
wine reg add 'HKCU\Software\Wine\AppDefaults\win32_contract_95.exe' /v Version /d win98 /f >/dev/null 2>&1

status=0
wine "$work/win32_contract_nt.exe" || status=1
wine "$work/win32_contract_95.exe" || status=1
exit $status
