#!/usr/bin/env bash
# Prepares a fresh Wine prefix for one run of a build's programs, so nothing a
# previous run left behind (files, registry) reaches this one.
set -euo pipefail
prefix=$1
if [ -d "$prefix" ]; then
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
fi
mkdir -p "$prefix"
echo "[wine] preparing prefix $prefix" >&2
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
WINEPREFIX=$prefix wineserver -w || true
# A program that crashes must end at once with a backtrace on its output:
# Wine's crash dialog would wait for a click that never comes (until ctest's
# time-out).
WINEPREFIX=$prefix WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
  /t REG_DWORD /d 0 /f >/dev/null 2>&1 || echo "[wine] could not turn off the crash dialog" >&2
WINEPREFIX=$prefix wineserver -w || true
