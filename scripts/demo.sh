#!/usr/bin/env bash
# Builds Kelo.exe and runs it under Wine in a virtual display, then shows
# what it logged and a screenshot of its window (build/demo/screen.png).
set -euo pipefail
# Wine stores Windows file names on disk in the locale's charset: without a
# UTF-8 locale, names with non-ASCII characters cannot be created at all.
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELO_BUILD_DIR:-$root/build}
deps=$(bash "$root/scripts/setup.sh" | tail -n 1)
command -v import >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq imagemagick >/dev/null

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DKELO_DEPS="$deps" >/dev/null
cmake --build "$build" -j"$(nproc)" --target Kelo

bash "$root/scripts/wine-prefix.sh" "$build/wineprefix"
demo=$build/demo
rm -rf "$demo"; mkdir -p "$demo"
cp "$build/Kelo.exe" "$demo/"
seconds=${KELO_DEMO_SECONDS:-10}
cd "$demo"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  WINEPREFIX='$build/wineprefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' wine ./Kelo.exe &
  pid=\$!
  sleep $seconds
  import -window root '$demo/screen.png' || true
  WINEPREFIX='$build/wineprefix' wineserver -k || true
  wait \$pid || true
"
echo "---- Log.txt ----"
cat "$demo/Log.txt" 2>/dev/null || echo "(no Log.txt)"
echo "---- screenshot: $demo/screen.png ----"
