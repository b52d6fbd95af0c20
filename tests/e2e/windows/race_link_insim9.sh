#!/usr/bin/env bash
# The tray program over the binary InSim (version 9) on TCP: with
# insimversion = 9 it connects to the host at the timer's tick, with no game
# window to wait for; the sample race the stand-in plays in that protocol is
# saved with the same players and results; "Close" ends the program cleanly.
source "$(dirname "$0")/lib.sh"
setup
ini="$INSTALL_DIR/trbk.ini"
stats_dir="$INSTALL_DIR/xmlstats"
xpath() { xmllint --xpath "$1" "$2"; }

note "settings: the binary protocol over TCP to 127.0.0.1:35743"
cp "$SOURCE_DIR/src/config/settings_template.ini" "$ini"
# Keys the template does not have go into its [network] section.
perl -pi -e 's/^\[network\](\r?)$/[network]$1\ninsimversion = 9$1\ntransport = tcp$1/' "$ini"
grep -q '^insimversion = 9' "$ini" || fail "the settings file has no [network] section to extend"

note "the host stand-in plays the sample race in version 9"
# The binary protocol takes the track's nodes from RST and the start order from REO.
sed -e 's/^RST laps=3 track=BL1 weather=1 wind=0 ack=1$/RST laps=3 track=BL1 weather=1 wind=0 nodes=600 finish=20 ack=1/' \
    -e 's/^STA finished=0/REO order=1,2,3 ack=5\nSTA finished=0/' \
    "$SOURCE_DIR/tools/races/sample.race" >"$WORK_DIR/race.race"
"$HOST_STANDIN" --insim 9 --tcp --port 35743 --isi-timeout 60 "$WORK_DIR/race.race" >"$WORK_DIR/race.out" 2>&1 </dev/null &
standin=$!
started_pids+=("$standin")
export TARNBECK_TICK_MS=500
start_program
wait_exit "$standin" 120 || fail "the stand-in did not finish its script"
[ "$EXIT_CODE" -eq 0 ] || { tail -20 "$WORK_DIR/race.out"; fail "the stand-in failed (exit $EXIT_CODE)"; }
grep -qF 'race stats were saved!' "$WORK_DIR/race.out" || fail "the game was not told of the save"

shopt -s nullglob
saved=("$stats_dir"/*.xml)
[ ${#saved[@]} -eq 1 ] || fail "expected one stats file, found ${#saved[@]}"
xmllint --noout "${saved[0]}" || fail "the stats file is not well-formed XML"
[ "$(xpath 'count(/TRBKSTATS/PLAYERS/PLAYER)' "${saved[0]}")" = 3 ] || fail "not three players"
[ "$(xpath 'string(/TRBKSTATS/PLAYERS/PLAYER[1]/NAME)' "${saved[0]}")" = Bob ] || fail "Bob did not win"
[ "$(xpath 'string(/TRBKSTATS/PLAYERS/PLAYER[1]/STARTORDER)' "${saved[0]}")" = 2 ] || fail "Bob's start order"
[ "$(xpath 'string(/TRBKSTATS/PLAYERS/PLAYER[1]/LAPS/LAP[2]/LAPPOSITION)' "${saved[0]}")" = 1 ] || fail "the running order"

note "Close ends the program"
driver command 32779
wait_exit "$PROGRAM_PID" 60 || fail "Close did not end the program"
[ "$EXIT_CODE" -eq 0 ] || fail "the program ended with $EXIT_CODE after Close"
echo "PASS"
