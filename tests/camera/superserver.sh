# Sourced by the camera tests that go through remotecamd.
# start_superserver SERVER MODULES [OPTIONS...] starts
# systemd-socket-activate on a free port of 127.0.0.1 (another port when
# that one is taken), one SERVER MODULES per connection, OPTIONS before the
# server (such as -E NAME=VALUE for its environment). Sets $port and
# $ssa (the super-server's process id); its messages go to superserver.log
# in the working directory. Exits the test when it cannot start.
start_superserver() {
  local server=$1 modules=$2 attempt i
  shift 2
  ssa=
  for attempt in $(seq 20); do
    port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    systemd-socket-activate -l "127.0.0.1:$port" -a --inetd "$@" "$server" "$modules" 2>superserver.log &
    ssa=$!
    for i in $(seq 200); do
      grep -q "Listening on 127.0.0.1:$port" superserver.log && break
      kill -0 "$ssa" 2>/dev/null || break
      sleep 0.05
    done
    grep -q "Listening on" superserver.log && return 0
    ssa=
  done
  echo "could not start the super-server"
  cat superserver.log
  exit 1
}
