#!/usr/bin/env bash
# The settings sheet: opens from the "Settings" command, shows the file's
# values on both pages, writes what was typed when OK is pressed (cut to the
# read lengths), tells to restart, changes nothing on Cancel; the registry
# Run value follows systemstart at the next start.
source "$(dirname "$0")/lib.sh"
setup
ini="$INSTALL_DIR/trbk.ini"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'

run_value_present() { "$WINE" reg query "$run_key" /v Tarnbeck >/dev/null 2>&1 </dev/null; }

open_sheet() {
  driver command 32777
  driver wait - Settings 20 || fail "the settings sheet did not open"
}

press_ok_and_confirm() {
  driver press Settings ok
  driver wait - Information 20 || fail "no restart message after OK"
  driver texts Information | grep -q "Restart for using new Settings" || fail "wrong restart message"
  [ "${1:-}" = shoot ] && screenshot settings-restart-message
  driver click Information 1
  driver wait-gone - Settings 20 || fail "the sheet did not close after OK"
}

close_program() {
  driver command 32779
  wait_exit "$PROGRAM_PID" 20 || fail "Close did not end the program"
}

"$WINE" reg delete "$run_key" /v Tarnbeck /f >/dev/null 2>&1 </dev/null || true
start_program
driver wait TARNBECK Tarnbeck 20 || fail "the tray window did not appear"

note "both pages show the settings file's values"
open_sheet
driver page-texts Settings >"$WORK_DIR/main.txt"
for expected in $'1006\t' $'1004\t[INSIM]' $'1005\t' $'1008\t127.0.0.1' $'1001\t35743' \
    $'1002\t35742' $'1003\tstats_[DATE]_[TIME]_[TRACK]_[MODE+].xml' $'1007\t' \
    $'1000\t  Start with Windows'; do
  grep -qxF "$expected" "$WORK_DIR/main.txt" || fail "Main page lacks '$expected'"
done
screenshot settings-main
driver page Settings 1
driver page-texts Settings >"$WORK_DIR/ftp.txt"
for expected in $'1011\t' $'1012\t' $'1013\t' $'1006\t'; do
  grep -qxF "$expected" "$WORK_DIR/ftp.txt" || fail "FTP page lacks '$expected'"
done
screenshot settings-ftp

note "OK writes the typed values, cut to their read lengths"
driver set-text Settings 1011 "ftp.example.test/stats"
driver set-text Settings 1012 "http://www.example.test/stats/"
driver set-text Settings 1013 "racer"
driver set-text Settings 1006 "a-password-of-more-than-forty-nine-characters-in-all"
driver page Settings 0
driver set-text Settings 1006 'C:\Games\LFS\LFS.exe'
driver set-text Settings 1005 "admin-password-18c"
driver set-text Settings 1008 "192.168.100.200.250"
driver set-text Settings 1001 "29999"
driver set-text Settings 1007 'C:\Stats'
driver check Settings 1000 1
press_ok_and_confirm shoot
printf '%s\r\n' '[main]' 'lfs = C:\Games\LFS\LFS.exe' 'systemstart = 1' \
  'outputname = stats_[DATE]_[TIME]_[TRACK]_[MODE+].xml' 'outputpath = C:\Stats' \
  'lfsparameters = [INSIM]' '' '[network]' 'serverip = 192.168.100.200.2' 'serverport = 29999' \
  'clientport = 35742' 'adminpw = admin-password-18' '' '[extra]' 'ftpaddr = ftp.example.test/stats' \
  'httpaddr = http://www.example.test/stats/' 'ftpuser = racer' >"$WORK_DIR/expected.ini"
printf '%s' 'ftppw = a-password-of-more-than-forty-nine-characters-in-' >>"$WORK_DIR/expected.ini"
cmp "$WORK_DIR/expected.ini" "$ini" || { cat -A "$ini"; fail "trbk.ini after OK is not as expected"; }
run_value_present && fail "the Run value was written before a restart"

note "Cancel changes nothing"
open_sheet
driver set-text Settings 1008 "10.0.0.1"
driver press Settings cancel
driver wait-gone - Settings 20 || fail "Cancel did not close the sheet"
cmp "$WORK_DIR/expected.ini" "$ini" || fail "Cancel changed trbk.ini"

note "the next start writes the Run value"
close_program
start_program
driver wait TARNBECK Tarnbeck 20 || fail "the tray window did not appear"
run_value_present || fail "systemstart = 1 wrote no Run value"
"$WINE" reg query "$run_key" /v Tarnbeck 2>/dev/null </dev/null | grep -qiF 'install\tarnbeck.exe' ||
  fail "the Run value does not name the program"

note "only the Main page shown: the FTP values stay; unchecking removes the Run value at the next start"
open_sheet
driver page-texts Settings | grep -qxF $'1008\t192.168.100.200.2' || fail "the sheet does not show the saved values"
driver set-text Settings 1004 "[INSIM] /windowed"
driver check Settings 1000 0
press_ok_and_confirm
grep -qF $'lfsparameters = [INSIM] /windowed\r' "$ini" || fail "the new parameters were not saved"
grep -qF $'systemstart = 0\r' "$ini" || fail "systemstart was not cleared"
grep -qF $'ftpuser = racer\r' "$ini" || fail "the FTP values changed"
close_program
start_program
driver wait TARNBECK Tarnbeck 20 || fail "the tray window did not appear"
run_value_present && fail "systemstart = 0 left the Run value in place"
close_program
echo "PASS"
