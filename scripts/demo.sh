#!/usr/bin/env bash
# Builds Kelo.exe and runs it under Wine in a virtual display the way a user
# would: the stand-in simulator (SimConnect.dll beside Kelo.exe, in real time,
# the user aircraft at a stand at Amsterdam) and the stand-in RealTraffic App
# sending a traffic scenario. Then shows what Kelo logged and saves
# screenshots of Kelo's window, full and compact (after a click on its
# Compact button), and of the stand-in simulator's map window
# (build/demo/*.png).
set -euo pipefail
# Wine stores Windows file names on disk in the locale's charset: without a
# UTF-8 locale, names with non-ASCII characters cannot be created at all.
export LC_ALL=C.UTF-8
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELO_BUILD_DIR:-$root/build}
deps=$(bash "$root/scripts/setup.sh" | tail -n 1)
command -v import >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq imagemagick x11-utils >/dev/null
command -v xwininfo >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq x11-utils >/dev/null
command -v xdotool >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq xdotool >/dev/null

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DKELO_DEPS="$deps" >/dev/null
targets=(Kelo)
have_target() { ninja -C "$build" -t targets all 2>/dev/null | grep -q "^$1:"; }
have_target kelo_simconnect_standin && targets+=(kelo_simconnect_standin)
have_target kelo_rtapp_standin && targets+=(kelo_rtapp_standin)
have_target kelo_make_dataset && targets+=(kelo_make_dataset)
have_target kelo_demo_scenario && targets+=(kelo_demo_scenario)
have_target kelo_demo_airport && targets+=(kelo_demo_airport)
have_target kelo_trace_check && targets+=(kelo_trace_check)
cmake --build "$build" -j4 --target "${targets[@]}"

prefix=$build/wineprefix
bash "$root/scripts/wine-prefix.sh" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
demo=$build/demo
rm -rf "$demo"; mkdir -p "$demo/docs"
cp "$build/Kelo.exe" "$demo/"
[ -f "$build/tests/SimConnect.dll" ] && cp "$build/tests/SimConnect.dll" "$demo/"
rtapp=$build/standins/rtapp/kelo_rtapp_standin.exe
tracecheck=$build/standins/tracecheck/kelo_trace_check.exe

# The data sets the maker's download site would supply, written from the
# readable sources in the repository.
make_dataset=$build/standins/datasets/kelo_make_dataset.exe
if [ -f "$make_dataset" ]; then
  wine "$make_dataset" --all "$(winepath -w "$demo")\\input" >/dev/null
fi

# The user's side of the PC: an MSFS 2020 Steam install for the install-path
# detection, and settings that choose the RealTraffic App and that simulator.
user_dir=$(ls -d "$prefix"/drive_c/users/*/ | grep -v Public | head -n 1)
roaming=$user_dir/AppData/Roaming
mkdir -p "$roaming/Microsoft Flight Simulator/Packages/Community" \
         "$roaming/Microsoft Flight Simulator/Packages/Official" "$roaming/Kelo"
rm -f "$roaming/Kelo/parameters.xml"
# The installed AI packages: Kelo's livery scan finds them in the Community
# folder, and the stand-in simulator creates exactly their titles.
community="$roaming/Microsoft Flight Simulator/Packages/Community"
rm -rf "$community"
titles=$(bash "$root/scripts/demo/make_community.sh" "$community")
template=$demo/eham_sim_template.json
# The simulator's clock is the user's: with the live App it runs at the
# present UTC time (a clock a minute or more behind it would time-shift the
# traffic). It starts when Kelo connects, some seconds from now: set it half
# a minute ahead.
now=$(( $(date -u +%s) + 30 ))
sed -e "1a\\  \"titles\": $titles," \
    -e "s/\"zulu_time\": [0-9]*/\"zulu_time\": $((now % 86400))/" \
    -e "s/\"zulu_day\": [0-9]*/\"zulu_day\": $((10#$(date -u -d @"$now" +%j)))/" \
    -e "s/\"zulu_year\": [0-9]*/\"zulu_year\": $(date -u -d @"$now" +%Y)/" \
    "$root/scripts/demo/eham_sim.json" > "$template"
cat > "$roaming/Kelo/parameters.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<root>
  <parameters>
    <parameter name="SIM_CHOICE" value="MSFS 2020"/>
    <parameter name="RT_CHOISE" value="RT App"/>
    <parameter name="MSFS_INSTALL_PATH" value=""/>
    <parameter name="COLLAPSED" value="false"/>
    <parameter name="MAIN_WINDOW_X" value="1280"/>
    <parameter name="MAIN_WINDOW_Y" value="0"/>
  </parameters>
</root>
XML

# Amsterdam with its real runways (the published list beside the repository,
# or in KELO_SHARED_DIR for a checkout elsewhere) and the App's traffic on
# them; without the generator, the template and the example scenario as they are.
seconds=${KELO_DEMO_SECONDS:-120}
shared=${KELO_SHARED_DIR:-$root/../shared}
scenario=$template
traffic=$root/standins/rtapp/eham_scenario.json
makescenario=$build/standins/demoscenario/kelo_demo_scenario.exe
if [ -f "$makescenario" ]; then
  wine "$makescenario" "$(winepath -w "$shared/data/runways-eham.csv")" "$(winepath -w "$template")" \
    "$(winepath -w "$demo")\\eham_sim.json" "$(winepath -w "$demo")\\eham_traffic.json"
  scenario=$demo/eham_sim.json
  traffic=$demo/eham_traffic.json
fi
# Amsterdam as an installed add-on airport: its airport file written the way
# the airport scan writes one, from the stands of the simulator's facility
# data (read from the stand-in with the scenario above).
makeairport=$build/standins/demoairport/kelo_demo_airport.exe
if [ -f "$makeairport" ] && [ -f "$demo/SimConnect.dll" ]; then
  cp "$makeairport" "$demo/"
  (cd "$demo" && wine ./kelo_demo_airport.exe "$(winepath -w "$scenario")")
  rm -f "$demo/kelo_demo_airport.exe"
fi
cd "$demo"
# The tools above ran under Wine without a display: the Wine server they
# started made its desktop without one (1024x768), and every later window
# would be clipped to it. End that server so that Kelo's starts in the
# virtual display.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
xvfb-run -a -s "-screen 0 2200x1000x24" bash -c "
  export KELO_SIM_SCENARIO=\$(winepath -w '$scenario')
  export KELO_SIM_TRACE=\$(winepath -w '$demo/trace.jsonl') KELO_SIM_TRACE_EVERY=3
  if [ -f '$rtapp' ]; then
    wine '$rtapp' \"\$(winepath -w '$traffic')\" > '$demo/rtapp.txt' 2>&1 &
  fi
  sleep 2
  wine ./Kelo.exe &
  pid=\$!
  sleep $seconds
  import -window root '$demo/screen.png' || true
  for title in Kelo 'Stand-in simulator'; do
    id=\$(xwininfo -root -tree | grep -F \"\\\"\$title\" | head -n 1 | awk '{print \$1}')
    if [ -n \"\$id\" ]; then
      import -window \"\$id\" \"$demo/\$(echo \$title | tr ' ' '_').png\" || true
      xwininfo -id \"\$id\" > \"$demo/\$(echo \$title | tr ' ' '_').geometry\" || true
    fi
  done
  # The compact layout: a click on the Compact button, at (810, 17) of the
  # 900-pixel-wide client area; whatever frame Wine draws inside the X
  # window is as wide on the left as on the right and below the caption.
  id=\$(xwininfo -root -tree | grep -F '\"Kelo\"' | head -n 1 | awk '{print \$1}')
  if [ -n \"\$id\" ]; then
    eval \$(xdotool getwindowgeometry --shell \"\$id\")
    border=\$(( (WIDTH - 900) / 2 ))
    caption=\$(( HEIGHT - 768 - 2 * border ))
    xdotool mousemove --window \"\$id\" \$(( border + 810 )) \$(( border + caption + 17 )) click 1 || true
    sleep 3
    import -window \"\$id\" '$demo/Kelo_compact.png' || true
  fi
  # The user closes Kelo's window: taskkill without /F sends it WM_CLOSE,
  # so the shutdown runs and logs.
  wine taskkill /IM Kelo.exe >/dev/null 2>&1 || true
  for i in \$(seq 1 30); do kill -0 \$pid 2>/dev/null || break; sleep 1; done
  wineserver -k || true
  wait \$pid || true
"
echo "---- Log.txt ----"
cat "$demo/Log.txt" 2>/dev/null || echo "(no Log.txt)"
echo "---- screenshots: $demo/*.png ----"
ls "$demo"/*.png 2>/dev/null || true
# Each window's screenshot must show the whole window: at least its client
# area (Kelo's 900x768; the map's window is 600x600 with its frame, about
# 590x570 inside it), inside the screen.
cut=0
check_shot() { # name, least width, least height
  local png=$demo/$1.png geometry=$demo/$1.geometry
  if [ ! -f "$png" ] || [ ! -f "$geometry" ]; then
    echo "SCREENSHOT MISSING: $1"; cut=1; return
  fi
  local size x y w h
  size=$(identify -format '%w %h' "$png")
  x=$(awk '/Absolute upper-left X/{print $NF}' "$geometry")
  y=$(awk '/Absolute upper-left Y/{print $NF}' "$geometry")
  w=$(awk '/^ *Width:/{print $NF}' "$geometry")
  h=$(awk '/^ *Height:/{print $NF}' "$geometry")
  if [ "$size" != "$w $h" ] || [ "$w" -lt "$2" ] || [ "$h" -lt "$3" ] || [ "$x" -lt 0 ] || [ "$y" -lt 0 ] ||
     [ $((x + w)) -gt 2200 ] || [ $((y + h)) -gt 1000 ]; then
    echo "SCREENSHOT CUT OFF: $1 is ${size/ /x} of a ${w}x${h} window at $x,$y (at least ${2}x${3} wanted)"
    cut=1
  else
    echo "screenshot $1: ${w}x${h} at $x,$y, whole"
  fi
}
check_shot Kelo 900 768
check_shot Stand-in_simulator 580 560
# What the simulator saw: objects created, moved, removed and refused, with
# their tail numbers, the motion checks of every object and what they found.
if [ -f "$tracecheck" ] && [ -f "$demo/trace.jsonl" ]; then
  echo "---- trace: $demo/trace.jsonl ----"
  wine "$tracecheck" --summary --findings --runways "$(winepath -w "$shared/data/runways-eham.csv")" \
    "$(winepath -w "$demo/trace.jsonl")" || true
  wineserver -k || true
fi
if [ "$cut" != 0 ]; then
  echo "demo FAILED: a screenshot does not show its whole window" >&2
  exit 1
fi
