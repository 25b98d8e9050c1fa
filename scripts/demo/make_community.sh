#!/usr/bin/env bash
# Writes the demo's Community folder from community_liveries.txt: one
# aircraft.cfg per aircraft folder with a [fltsim.N] section per livery, the
# way the AI packages lay them out (SimObjects/Airplanes/<aircraft>). Folders
# named *-utf16 get their file in UTF-16 LE with a byte-order mark.
#   make_community.sh <community folder>
# Prints the installed titles as a JSON array for the stand-in simulator, each
# with its model's static CG height.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
community=$1
mkdir -p "$community"
declare -A sections=()
titles=()
while IFS='|' read -r package aircraft type airline title atc_id parking; do
  case $package in ''|'#'*) continue ;; esac
  cfg="$community/$package/SimObjects/Airplanes/$aircraft/aircraft.cfg"
  n=${sections[$cfg]:-0}
  if [ "$n" -eq 0 ]; then
    mkdir -p "$(dirname "$cfg")"
    printf '[General]\r\natc_type="%s"\r\nicao_type_designator=%s\r\n\r\n' "$type" "$type" > "$cfg"
  fi
  {
    printf '[fltsim.%d]\r\ntitle=%s\r\ntexture=%d\r\nicao_airline=%s\r\n' "$n" "$title" "$n" "$airline"
    [ -n "$atc_id" ] && printf 'atc_id=%s\r\n' "$atc_id"
    printf 'atc_parking_types=%s\r\n\r\n' "$parking"
  } >> "$cfg"
  sections[$cfg]=$((n + 1))
  # The height of the model's reference point above the ground when it stands
  # on its wheels, as the simulator reports it.
  case $type in
    A388) cg=16 ;; B748|B77L|B77W|B789|A333) cg=12 ;; C172) cg=4 ;; E190|DH8D) cg=6 ;; *) cg=8 ;;
  esac
  titles+=("{\"title\": \"$title\", \"static_cg_ft\": $cg}")
done < "$here/community_liveries.txt"
for cfg in "${!sections[@]}"; do
  case $cfg in
    *-utf16/aircraft.cfg)
      { printf '\xFF\xFE'; iconv -f UTF-8 -t UTF-16LE "$cfg"; } > "$cfg.tmp" && mv "$cfg.tmp" "$cfg" ;;
  esac
done
(IFS=,; echo "[${titles[*]}]")
