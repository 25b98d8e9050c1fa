#!/usr/bin/env bash
# Builds Kelo and every test program, then runs the tests under Wine (and Xvfb
# for the tests that open windows). Installs what it needs on first use.
set -euo pipefail
# Wine stores Windows file names on disk in the locale's charset: without a
# UTF-8 locale, names with non-ASCII characters cannot be created at all.
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELO_BUILD_DIR:-$root/build}
deps=$(bash "$root/scripts/setup.sh" | tail -n 1)

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DKELO_DEPS="$deps" >/dev/null
cmake --build "$build" -j"$(nproc)"

bash "$root/scripts/wine-prefix.sh" "$build/wineprefix"

# One Wine server for the whole run, with Wine's own background programs
# started apart from every test: started by a test program, they would hold
# that test's output open (and ctest waiting on it) until the whole run ends.
export WINEPREFIX="$build/wineprefix"
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT

cd "$build"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  WINEDEBUG=-all wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  exec ctest --output-on-failure -j"$(nproc)" "$@"' ctest "$@" || status=$?

# The native build of the portable code with its sanitizer and fuzz runs:
# with the whole suite (no ctest arguments), or when KELO_NATIVE=1 asks.
if [ "${KELO_NATIVE:-$([ $# -eq 0 ] && echo 1 || echo 0)}" = 1 ]; then
  bash "$root/scripts/test-native.sh" || status=1
fi
exit $status
