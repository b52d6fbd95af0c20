#!/usr/bin/env bash
# A race from the game to the FTP server: with a window of the simulator's
# class present, the timer links up, the race played over 127.0.0.1 is saved
# as a stats file, uploaded by FTP to a real server on 127.0.0.1 and the
# outcome announced in the game. Closing the game's window ends the link and
# frees the client port; "Close" writes and uploads the race still in memory.
# The race report is on: each stats file has its .html beside it, uploaded too.
source "$(dirname "$0")/lib.sh"
setup
ini="$INSTALL_DIR/trbk.ini"
ftp_root="$WORK_DIR/ftp"
stats_dir="$INSTALL_DIR/xmlstats"
races="$SOURCE_DIR/tools/races"
here="$SOURCE_DIR/tests/e2e/windows"

client_port_free() {
  /usr/bin/python3 -c "import socket; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).bind(('0.0.0.0', 35742))" 2>/dev/null
}
ftp_listening() {
  /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', 21), 1).close()" 2>/dev/null
}
start_game_window() {
  (cd "$WORK_DIR" && exec "$WINE" "$LFS_WINDOW_EXE" >/dev/null 2>&1 </dev/null) &
  started_pids+=("$!")
  driver wait LFS "Live for Speed" 20 || fail "the game window stand-in did not appear"
}
# Plays a race script as the game; STANDIN_PID is the player.
play_race() {
  "$HOST_STANDIN" --port 35743 --isi-timeout 60 "$1" >"$2" 2>&1 </dev/null &
  STANDIN_PID=$!
  started_pids+=("$STANDIN_PID")
}
finish_race() {
  wait_exit "$STANDIN_PID" 120 || fail "the game stand-in did not finish its script"
  [ "$EXIT_CODE" -eq 0 ] || { tail -20 "$1"; fail "the game stand-in failed (exit $EXIT_CODE)"; }
}
xpath() { xmllint --xpath "$1" "$2"; }

note "settings: upload to the FTP server on 127.0.0.1"
cp "$SOURCE_DIR/src/config/settings_template.ini" "$ini"
set_setting "$ini" ftpaddr "127.0.0.1/incoming"
set_setting "$ini" httpaddr "http://127.0.0.1/stats/"
set_setting "$ini" ftpuser "racer"
set_setting "$ini" ftppw "secret"
printf '\r\n[output]\r\nhtmlreport = 1\r\n' >>"$ini"
mkdir -p "$ftp_root/incoming"
ftp_listening && fail "port 21 is already taken; the check needs it for its FTP server"
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p 21 -u racer -P secret -d "$ftp_root" -w \
  >"$WORK_DIR/ftp.log" 2>&1 </dev/null &
started_pids+=("$!")
for i in $(seq 1 50); do ftp_listening && break; sleep 0.1; done
ftp_listening || fail "the FTP server did not start"

note "a race with the game's window present"
start_game_window
cat "$races/sample.race" "$here/upload_announced.race" >"$WORK_DIR/race1.race"
play_race "$WORK_DIR/race1.race" "$WORK_DIR/race1.out"
export TARNBECK_TICK_MS=500
start_program
finish_race "$WORK_DIR/race1.out"
grep -qF 'race stats were saved!' "$WORK_DIR/race1.out" || fail "the game was not told of the save"

shopt -s nullglob
saved=("$stats_dir"/*.xml)
[ ${#saved[@]} -eq 1 ] || fail "expected one stats file, found ${#saved[@]}"
first="${saved[0]}"
name=$(basename "$first")
xmllint --noout "$first" || fail "the stats file is not well-formed XML"
[ "$(xpath 'string(/TRBKSTATS/TRACK/TRACKNAME)' "$first")" = BL1 ] || fail "wrong track in $name"
[ "$(xpath 'count(/TRBKSTATS/PLAYERS/PLAYER)' "$first")" = 3 ] || fail "not three players in $name"
[ "$(xpath 'string(/TRBKSTATS/PLAYERS/PLAYER[1]/NAME)' "$first")" = Bob ] || fail "Bob did not win in $name"
[ "$(xpath 'string(/TRBKSTATS/PLAYERS/PLAYER[1]/PLLAPCOUNT)' "$first")" = 3 ] || fail "Bob's laps in $name"

note "the upload reached the FTP server and was logged"
[ -f "$ftp_root/incoming/$name" ] || fail "$name was not uploaded"
cmp <(tr -d '\r' <"$first") <(tr -d '\r' <"$ftp_root/incoming/$name") || fail "the uploaded file differs"
grep -qF "http://127.0.0.1/stats/$name" "$INSTALL_DIR/log.txt" || fail "no upload entry in log.txt"
grep -qF "rfile=127.0.0.1%2Fstats%2F$name" "$INSTALL_DIR/log.txt" || fail "no report link in log.txt"

note "the race report beside the stats file, uploaded after it"
page="${first%.xml}.html"
[ -f "$page" ] || fail "no race report beside $name"
head -c 15 "$page" | grep -qF '<!DOCTYPE html>' || fail "the race report is no HTML page"
grep -qF '<title>BL1 &#8211; Race, 3 laps</title>' "$page" || fail "the race report names another race"
grep -qF '>Bob</td>' "$page" || fail "Bob is missing from the race report"
[ -f "$ftp_root/incoming/$(basename "$page")" ] || fail "the race report was not uploaded"
cmp <(tr -d '\r' <"$page") <(tr -d '\r' <"$ftp_root/incoming/$(basename "$page")") || fail "the uploaded report differs"
grep -qF "Race report http://127.0.0.1/stats/$(basename "$page")" "$INSTALL_DIR/log.txt" || fail "no report entry in log.txt"

note "closing the game's window ends the link and frees the client port"
client_port_free && fail "the client port is not bound while linked"
driver close LFS "Live for Speed"
for i in $(seq 1 150); do client_port_free && break; sleep 0.1; done
client_port_free || fail "the client port stayed bound after the game's window closed"
kill -0 "$PROGRAM_PID" 2>/dev/null || fail "the program ended with the game's window"

note "a new game window links up again; Close writes the unfinished race"
start_game_window
play_race "$here/unfinished_race.race" "$WORK_DIR/race2.out"
finish_race "$WORK_DIR/race2.out"
driver command 32779
wait_exit "$PROGRAM_PID" 60 || fail "Close did not end the program"
[ "$EXIT_CODE" -eq 0 ] || fail "the program ended with $EXIT_CODE after Close"
saved=("$stats_dir"/*.xml)
[ ${#saved[@]} -eq 2 ] || fail "the unfinished race was not written at Close (${#saved[@]} files)"
second=""
for f in "${saved[@]}"; do [ "$f" != "$first" ] && second=$f; done
xmllint --noout "$second" || fail "the stats file written at Close is not well-formed XML"
[ "$(xpath 'string(/TRBKSTATS/TRACK/TRACKNAME)' "$second")" = FE1 ] || fail "wrong track in the race written at Close"
[ "$(xpath 'string(/TRBKSTATS/PLAYERS/PLAYER[1]/NAME)' "$second")" = Dave ] || fail "Dave is missing from the race written at Close"
[ -f "$ftp_root/incoming/$(basename "$second")" ] || fail "the race written at Close was not uploaded"
[ -f "${second%.xml}.html" ] || fail "no race report beside the race written at Close"
[ -f "$ftp_root/incoming/$(basename "${second%.xml}.html")" ] || fail "the report of the race written at Close was not uploaded"
echo "PASS"
