# Shared steps of the Windows program's end-to-end checks under Wine: a
# private Wine prefix, a virtual display, a fresh folder for the program, and
# clean-up of everything a check started. Sourced by the check scripts.
#
# Expects from ctest: TARNBECK_EXE, LFS_WINDOW_EXE, WINDOW_DRIVER_EXE,
# SOURCE_DIR, WORK_DIR (a folder of the build tree for this check).
set -Eeuo pipefail

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$WORK_DIR/../wineprefix"
WINE=/usr/lib/wine/wine64
started_pids=()
xvfb_pid=""

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

note() { echo "--- $*"; }

# Kills what this check started, by process id, and this prefix's server.
cleanup() {
  local pid
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  return 0
}
trap cleanup EXIT
# errtrace (-E) above: a failing step inside a helper function is named too.
trap 'echo "FAIL: $BASH_COMMAND (line $LINENO, called from line ${BASH_LINENO[0]})" >&2' ERR

# A display of our own: the first free number from 90 on.
start_display() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
  done
  fail "no virtual display could be started"
}

# The prefix is made once per build tree; unmanaged windows hide at once.
prepare_prefix() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    note "creating the Wine prefix (once)"
    "$SOURCE_DIR/cmake/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
  fi
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
}

# A fresh folder with the program in it, as a user would unpack it.
fresh_install() {
  INSTALL_DIR="$WORK_DIR/install"
  rm -rf "$WORK_DIR"
  mkdir -p "$INSTALL_DIR"
  cp "$TARNBECK_EXE" "$INSTALL_DIR/tarnbeck.exe"
}

setup() {
  mkdir -p "$WORK_DIR"
  start_display
  prepare_prefix
  fresh_install
  SHOTS_DIR="$WORK_DIR/../screenshots"
  mkdir -p "$SHOTS_DIR"
}

# Windows form of a Linux path (Wine's Z: drive is the root folder).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Starts the program in the background in its folder; PROGRAM_PID is its
# Wine loader, whose exit code is the program's.
start_program() {
  (cd "$INSTALL_DIR" && exec "$WINE" tarnbeck.exe "$@" >"$WORK_DIR/program.out" 2>&1 </dev/null) &
  PROGRAM_PID=$!
  started_pids+=("$PROGRAM_PID")
}

# Its printed lines come with CR LF; the checks compare them without CR.
driver() { "$WINE" "$WINDOW_DRIVER_EXE" "$@" 2>/dev/null </dev/null | tr -d '\r'; }

# Waits up to $2 seconds for process $1 to end; its exit code in EXIT_CODE.
wait_exit() {
  local pid=$1 limit=$2 i
  for i in $(seq 1 $((limit * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      set +e
      wait "$pid"
      EXIT_CODE=$?
      set -e
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Waits up to $2 seconds for a command (a string run by bash) to succeed.
wait_until() {
  local what=$1 limit=$2 i
  for i in $(seq 1 $((limit * 10))); do
    bash -c "$what" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

screenshot() { import -window root "$SHOTS_DIR/$1.png"; }

# Sets key = value in a settings file, keeping its line ends.
set_setting() {
  KEY=$2 VALUE=$3 perl -pi -e 's/^\Q$ENV{KEY}\E = .*?(\r?)$/$ENV{KEY} = $ENV{VALUE}$1/' "$1"
}
