#!/usr/bin/env bash
# Starts and stops the FTP server for the Windows upload tests, which run
# under Wine and cannot start the Linux server themselves.
#   ftp_server_fixture.sh start STATE   pyftpdlib on a free port of 127.0.0.1;
#                                       STATE gets port, user, password and the
#                                       server's folder as Windows sees it (Z:)
#   ftp_server_fixture.sh stop STATE    stops it and removes its folder
set -euo pipefail
state=$2
user=racer
password=pit-lane-7

case "$1" in
  start)
    if [ -f "$state.pid" ]; then bash "$0" stop "$state"; fi
    root=$(mktemp -d /tmp/tarnbeck-ftp-XXXXXX)
    for attempt in 1 2 3 4 5; do
      port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
      setsid /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -u "$user" -P "$password" -d "$root" -w \
        </dev/null >"$root.log" 2>&1 &
      pid=$!
      for _ in $(seq 100); do
        if /usr/bin/python3 -c 'import socket,sys; s=socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1); sys.exit(0 if s.recv(3) == b"220" else 1)' "$port" 2>/dev/null; then
          printf '%s\n%s\n%s\nZ:%s\n' "$port" "$user" "$password" "$root" >"$state"
          printf '%s\n%s\n' "$pid" "$root" >"$state.pid"
          exit 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill "$pid" 2>/dev/null || true
    done
    echo "pyftpdlib did not come up; see $root.log" >&2
    exit 1
    ;;
  stop)
    if [ -f "$state.pid" ]; then
      { read -r pid; read -r root; } <"$state.pid"
      kill "$pid" 2>/dev/null || true
      case "$root" in /tmp/tarnbeck-ftp-*) rm -rf -- "$root" "$root.log" ;; esac
      rm -f -- "$state.pid"
    fi
    rm -f -- "$state"
    ;;
esac
