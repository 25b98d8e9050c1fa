#!/usr/bin/env bash
# Prepares (once) the Wine prefix that a build's programs run in.
set -euo pipefail
prefix=$1
if [ ! -f "$prefix/.kelo-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  echo "[wine] preparing prefix $prefix" >&2
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w || true
  touch "$prefix/.kelo-ready"
fi
