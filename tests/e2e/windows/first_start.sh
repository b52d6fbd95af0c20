#!/usr/bin/env bash
# First start and single instance: the settings file is written from the
# embedded template byte for byte, the tray icon is registered, a second
# start is turned away with a message and leaves the first untouched, "Close"
# ends the program, and a settings file that cannot be created is reported.
# The tray icon opens its menu on the right button and comes back after a
# restart of the shell.
source "$(dirname "$0")/lib.sh"
setup
template="$SOURCE_DIR/src/config/settings_template.ini"
ini="$INSTALL_DIR/trbk.ini"

# The window comes up just before the settings file is written.
written_from_template() {
  for i in $(seq 1 100); do cmp -s "$template" "$ini" && return 0; sleep 0.1; done
  return 1
}

note "first start writes trbk.ini from the template"
start_program
driver wait TARNBECK Tarnbeck 20 || fail "the tray window did not appear"
written_from_template || fail "trbk.ini differs from the template"
driver has-icon || fail "no tray icon after start-up"

note "the About box"
driver command 32778
driver wait - About 10 || fail "the About box did not open"
driver texts About >"$WORK_DIR/about.txt"
grep -q $'^1001\tTarnbeck 1.33 beta' "$WORK_DIR/about.txt" || fail "About box text: $(cat "$WORK_DIR/about.txt")"
screenshot about
driver click About 1
driver wait-gone - About 10 || fail "OK did not close the About box"

note "the tray icon's menu opens on the right button, not the left"
driver tray-mouse 513
driver tray-mouse 515
sleep 1
driver exists "#32768" - && fail "a left click opened a menu"
driver tray-mouse 516
driver wait "#32768" - 10 || fail "the right button opened no menu"
sleep 0.5
screenshot tray-menu
driver cancel-menu
driver wait-gone "#32768" - 10 || fail "the menu did not close"

note "a restarted shell gets the icon back"
driver drop-icon
driver has-icon && fail "the icon could not be removed for the check"
driver taskbar-created
for i in $(seq 1 50); do driver has-icon && break; sleep 0.1; done
driver has-icon || fail "the icon did not come back after TaskbarCreated"

note "a second start is turned away"
(cd "$INSTALL_DIR" && exec "$WINE" tarnbeck.exe >"$WORK_DIR/second.out" 2>&1 </dev/null) &
second=$!
started_pids+=("$second")
driver wait - Error 20 || fail "the second start showed no message"
driver texts Error >"$WORK_DIR/error.txt"
grep -q "Tarnbeck is already running" "$WORK_DIR/error.txt" || fail "message: $(cat "$WORK_DIR/error.txt")"
screenshot already-running
driver click Error 1
wait_exit "$second" 20 || fail "the second instance did not end"
[ "$EXIT_CODE" -eq 0 ] || fail "the second instance ended with $EXIT_CODE, not 0"
kill -0 "$PROGRAM_PID" 2>/dev/null || fail "the first instance ended too"
driver exists TARNBECK Tarnbeck || fail "the first instance's window is gone"
driver has-icon || fail "the first instance lost its tray icon"

note "Close ends the program; the settings file is left as it was"
driver command 32779
wait_exit "$PROGRAM_PID" 20 || fail "Close did not end the program"
[ "$EXIT_CODE" -eq 0 ] || fail "the program ended with $EXIT_CODE after Close"
cmp "$template" "$ini" || fail "trbk.ini was changed without the settings dialog"

note "a deleted trbk.ini is written again"
printf 'changed' >"$ini"
rm "$ini"
start_program
driver wait TARNBECK Tarnbeck 20 || fail "the tray window did not appear"
written_from_template || fail "the recreated trbk.ini differs from the template"
driver command 32779
wait_exit "$PROGRAM_PID" 20 || fail "Close did not end the program"

note "a settings file that cannot be created is reported, exit code 1"
# With a game window present and a fast tick, the timer starts a link while
# the message box is up: the exit must still be a clean one.
(cd "$WORK_DIR" && exec "$WINE" "$LFS_WINDOW_EXE" >/dev/null 2>&1 </dev/null) &
started_pids+=("$!")
driver wait LFS "Live for Speed" 20 || fail "the game window stand-in did not appear"
rm "$ini"
ln -s /nonexistent-tarnbeck-folder/trbk.ini "$ini"
export TARNBECK_TICK_MS=100
start_program
driver wait - "File Creation Error" 20 || fail "no message for an uncreatable settings file"
sleep 1.5
driver texts "File Creation Error" | grep -q "The ini file could not be created" ||
  fail "wrong message for an uncreatable settings file"
driver click "File Creation Error" 1
wait_exit "$PROGRAM_PID" 20 || fail "the program did not end after the message"
[ "$EXIT_CODE" -eq 1 ] || fail "exit code $EXIT_CODE, not 1, for an uncreatable settings file"
echo "PASS"
