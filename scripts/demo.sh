#!/usr/bin/env bash
# The program's main job, end to end: installs what is needed, builds the
# Linux program and the simulator stand-in, then lets the stand-in play the
# sample race against Tarnbeck in a fresh folder, and shows the stats file
# Tarnbeck wrote with a short summary of the result, and the HTML race
# report it wrote beside it (the settings file turns htmlreport on).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
echo "=== Building Tarnbeck and the simulator stand-in ==="
cmake --preset linux >/dev/null
cmake --build --preset linux --target tarnbeck lfs_standin

demo=$(mktemp -d "${TMPDIR:-/tmp}/tarnbeck-demo-XXXXXX")
cp build/linux/src/shell/tarnbeck "$demo/"
cd "$demo"
# The shipped settings, with the race report switched on.
cp "$root/src/config/settings_template.ini" trbk.ini
printf '\r\n[output]\r\nhtmlreport = 1\r\n' >>trbk.ini

tracker=""
stop_tracker() {
  if [ -n "$tracker" ] && kill -0 "$tracker" 2>/dev/null; then
    kill -TERM "$tracker"
    wait "$tracker" || true
  fi
  tracker=""
}
trap stop_tracker EXIT

echo
echo "=== Starting Tarnbeck in $demo ==="
# A tick every second instead of every six, so the demo does not wait long.
# The autostart setting of the fresh settings file acts on this folder only.
TARNBECK_TICK_MS=1000 XDG_CONFIG_HOME="$demo" ./tarnbeck >tarnbeck.out 2>tarnbeck.err &
tracker=$!
for _ in $(seq 50); do
  grep -q "Tarnbeck is running" tarnbeck.out 2>/dev/null && break
  if ! kill -0 "$tracker" 2>/dev/null; then
    tracker=""
    echo "Tarnbeck did not start:" >&2
    cat tarnbeck.err >&2
    exit 1
  fi
  sleep 0.1
done
cat tarnbeck.out

echo
echo "=== The stand-in (process name LFS.exe) plays tools/races/sample.race ==="
echo "Lines marked <- are Tarnbeck's answers to the simulator."
if ! "$root/build/linux/tools/lfs_standin/lfs_standin" --quiet "$root/tools/races/sample.race"; then
  echo "The race could not be played to its end (see above)." >&2
  cat tarnbeck.err >&2
  exit 1
fi

# The next tick logs the saved file; then stop Tarnbeck as Ctrl+C would.
sleep 2
stop_tracker
cat tarnbeck.out | tail -n +2
cat tarnbeck.err >&2

stats=$(ls "$demo"/xmlstats/*.xml 2>/dev/null | head -n 1)
if [ -z "$stats" ]; then
  echo "No stats file was written." >&2
  exit 1
fi

# "00:01:04:40" (hours, minutes, seconds, hundredths) as 1:04.40; a total
# time has a leading count first.
race_time() {
  local IFS=:
  local parts=($1)
  local n=${#parts[@]}
  local h=$((10#${parts[n - 4]})) m=$((10#${parts[n - 3]})) s=${parts[n - 2]} hh=${parts[n - 1]}
  if [ "$h" -gt 0 ]; then printf '%d:%02d:%s.%s' "$h" "$m" "$s" "$hh"; else printf '%d:%s.%s' "$m" "$s" "$hh"; fi
}
value() { xmllint --xpath "string($1)" "$stats"; }

echo
echo "=== Stats file written by Tarnbeck ==="
echo "$stats"
echo
echo "Track $(value /TRBKSTATS/TRACK/TRACKNAME), $(value /TRBKSTATS/TRACK/TOTALLAPS) laps, host \"$(value /TRBKSTATS/HOST)\""
printf '%-4s %-10s %-5s %-9s %s\n' "Pos" "Name" "Laps" "Best lap" "Total time"
count=$(xmllint --xpath "count(//PLAYER)" "$stats")
for i in $(seq "$count"); do
  player="//PLAYER[$i]"
  printf '%-4s %-10s %-5s %-9s %s\n' "$(value "$player/OVERALLPOS")" "$(value "$player/NAME")" \
    "$(value "$player/PLLAPCOUNT")" "$(race_time "$(value "$player/BESTLAP")")" \
    "$(race_time "$(value "$player/TOTALTIME")")"
done
report="${stats%.xml}.html"
echo
if [ -f "$report" ]; then
  echo "Race report (one self-contained page; open it in a browser): $report"
else
  echo "No race report was written beside the stats file." >&2
  exit 1
fi
echo
echo "Log: $demo/log.txt"
cat "$demo/log.txt"
