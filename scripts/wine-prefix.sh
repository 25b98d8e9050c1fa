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
