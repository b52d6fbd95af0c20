#!/usr/bin/env bash
# Starting the game: "-startlfs" launches the configured executable in its
# folder with "[INSIM]" expanded; "Start LFS" does nothing while the game's
# window exists and uses the parameters just changed in the settings sheet;
# "-StartLFS" launches nothing; a missing path asks for the executable; a
# bare file name starts in the current folder.
source "$(dirname "$0")/lib.sh"
setup
ini="$INSTALL_DIR/trbk.ini"
game_dir="$WORK_DIR/game folder"
note_file="$game_dir/launched.txt"
mkdir -p "$game_dir"
cp "$LFS_WINDOW_EXE" "$game_dir/LFS.exe"
cp "$SOURCE_DIR/src/config/settings_template.ini" "$ini"
set_setting "$ini" lfs "$(winpath "$game_dir/LFS.exe")"

# launched.txt holds the game's command line, then its current folder.
expect_launch() {
  local file=$1 parameters=$2 folder=$3
  for i in $(seq 1 200); do [ -s "$file" ] && break; sleep 0.1; done
  [ -s "$file" ] || fail "the game was not started"
  sleep 0.2
  [ "$(sed -n 1p "$file" | tr -d '\r')" = "$parameters" ] ||
    fail "game parameters '$(sed -n 1p "$file")', expected '$parameters'"
  [ "$(sed -n 2p "$file" | tr -d '\r')" = "$folder" ] ||
    fail "game folder '$(sed -n 2p "$file")', expected '$folder'"
}
close_program() {
  driver command 32779
  wait_exit "$PROGRAM_PID" 30 || fail "Close did not end the program"
}
close_game() {
  driver close LFS "Live for Speed"
  driver wait-gone LFS "Live for Speed" 20 || fail "the game's window did not close"
}

note "-startlfs starts the game in its folder with the InSim port"
start_program -startlfs
expect_launch "$note_file" "/insim=35743" "$(winpath "$game_dir")"
driver wait LFS "Live for Speed" 20 || fail "the started game shows no window"

note "Start LFS while the game runs does nothing"
rm "$note_file"
driver command 32780
sleep 2
[ -e "$note_file" ] && fail "Start LFS started a second game"

note "Start LFS uses parameters changed in the sheet at once"
close_game
driver command 32777
driver wait - Settings 20 || fail "the settings sheet did not open"
driver set-text Settings 1004 "[INSIM] /windowed [insim] [INSIM]"
driver press Settings ok
driver wait - Information 20 || fail "no restart message"
driver click Information 1
driver wait-gone - Settings 20 || fail "the sheet did not close"
driver command 32780
expect_launch "$note_file" "/insim=35743 /windowed [insim] /insim=35743" "$(winpath "$game_dir")"
close_game
close_program

note "-StartLFS is not the option"
rm "$note_file"
start_program -StartLFS
driver wait TARNBECK Tarnbeck 20 || fail "the tray window did not appear"
sleep 2
[ -e "$note_file" ] && fail "-StartLFS started the game"
close_program

note "a bare file name starts in the current folder"
cp "$LFS_WINDOW_EXE" "$INSTALL_DIR/LFS.exe"
set_setting "$ini" lfs "LFS.exe"
set_setting "$ini" lfsparameters '""'
start_program -startlfsx
expect_launch "$INSTALL_DIR/launched.txt" "" "$(winpath "$INSTALL_DIR")"
close_game
close_program

note "a missing executable is asked for; cancelling launches nothing"
rm -f "$note_file" "$INSTALL_DIR/launched.txt"
set_setting "$ini" lfs '"C:\nowhere\LFS.exe"'
cp "$ini" "$WORK_DIR/before.ini"
start_program -startlfs
driver wait - Open 20 || fail "no file dialog for a missing executable"
sleep 1
screenshot launcher-browse
driver close - Open
driver wait TARNBECK Tarnbeck 20 || fail "the tray window did not appear"
sleep 1
[ -e "$note_file" ] || [ -e "$INSTALL_DIR/launched.txt" ] && fail "a game was started after Cancel"
cmp "$WORK_DIR/before.ini" "$ini" || fail "cancelling the file dialog changed trbk.ini"
close_program
echo "PASS"
