#!/usr/bin/env bash
# scripts/run.sh as a user starts it: in a browser without a display, on the
# display when there is one, around ports that are taken, and failing plainly
# when a part does not come up. Every run must leave no process behind.
# Usage: tst_run.sh headless|display|ports|failures SOURCE_DIR BUILD_DIR
test_case=$1
shift
source "$(dirname "$0")/common.sh"

need python3 curl ss Xvfb xauth mcookie openbox x11vnc websockify
for exe in src/app/Plivora3 src/service/plivora-service; do
  [ -x "$build/$exe" ] || fail "$build/$exe is not built"
done

# run.sh runs as a job of its own, so SIGINT reaches it as Ctrl+C would.
set -m
tag=tst-run-$$-$RANDOM

# Every process run.sh starts inherits this tag; none may carry it afterwards.
leftovers() {
  local p
  for p in /proc/[0-9]*; do
    if grep -qz "^PLIVORA_TEST_TAG=$tag\$" "$p/environ" 2>/dev/null; then
      echo "${p#/proc/} $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)"
    fi
  done
}
cleanups+=('leftovers | while read -r pid _; do kill -KILL "$pid"; done')

tagged_pid() { # tagged_pid NAME: the tagged process whose program is NAME
  local pid
  while read -r pid _; do
    [ "$(basename "$(readlink "/proc/$pid/exe" 2>/dev/null)")" = "$1" ] && { echo "$pid"; return 0; }
  done < <(leftovers)
  return 1
}

"$build/src/service/plivora-service" --init-demo --db "$scratch/demo.db" \
  --wearers 5 --items 20 --washes 50 >/dev/null
new_run_dir() {
  mkdir -p "$scratch/$1"
  cp "$scratch/demo.db" "$scratch/$1/plivora.db"
  echo "$scratch/$1"
}

# start_run OUT [VAR=VALUE...] -- ARGS...: run.sh in the background, pid in run_pid.
start_run() {
  local out=$1 envs=()
  shift
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  mkdir -p "$scratch/tmp"
  env -u DISPLAY -u WAYLAND_DISPLAY PLIVORA_TEST_TAG="$tag" TMPDIR="$scratch/tmp" "${envs[@]}" \
    bash "$src/scripts/run.sh" --no-build --build-dir "$build" "$@" >"$out" 2>&1 </dev/null &
  run_pid=$!
}

# wait_run: waits for run.sh to end (exit code in rc); one that hangs is killed
# after a generous bound and fails the test.
wait_run() {
  local watchdog
  rm -f "$scratch/hung"
  (sleep 30; kill -KILL "$run_pid" && touch "$scratch/hung") 2>/dev/null &
  watchdog=$!
  rc=0
  wait "$run_pid" || rc=$?
  kill -- "-$watchdog" 2>/dev/null || true
  wait "$watchdog" 2>/dev/null || true
  [ ! -e "$scratch/hung" ] || fail "run.sh did not end"
}

expect_nothing_left() { # expect_nothing_left WHAT PORT...
  local left port
  left=$(leftovers)
  [ -z "$left" ] || fail "$1: left running: $left"
  [ -z "$(ls -A "$scratch/tmp")" ] || fail "$1: temporary files left: $(ls -A "$scratch/tmp")"
  for port in "${@:2}"; do
    [ -z "$(ss -Hltn "sport = :$port")" ] || fail "$1: port $port still listens"
  done
}

browser_line() { grep -q 'Plivora läuft im Browser: http://127.0.0.1:[0-9]*/vnc.html' "$1"; }

# check_browser OUT VNC_PORT: the noVNC page, the VNC port on loopback only,
# and a WebSocket through websockify that gets the VNC server's greeting.
# Leaves the noVNC port in browser_port.
check_browser() {
  local url port listeners
  url=$(grep -o 'http://127.0.0.1:[0-9]*/vnc.html[^ ]*' "$1")
  port=${url#http://127.0.0.1:}
  port=${port%%/*}
  curl -fsS -o "$scratch/page.html" "http://127.0.0.1:$port/vnc.html" || fail "no page at $url"
  grep -q '<title>noVNC</title>' "$scratch/page.html" || fail "no noVNC page at $url"
  listeners=$(ss -Hltn "sport = :$2" | awk '{ print $4 }')
  [ -n "$listeners" ] || fail "nothing listens on the VNC port $2"
  [ -z "$(grep -vx "127.0.0.1:$2" <<<"$listeners")" ] || fail "VNC listens beyond 127.0.0.1: $listeners"
  python3 - "$port" <<'PY' || fail "no VNC greeting through the WebSocket on port $port"
import base64, os, socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
key = base64.b64encode(os.urandom(16)).decode()
s.sendall(("GET /websockify HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n"
           "Sec-WebSocket-Protocol: binary\r\n\r\n" % key).encode())
data = b""
while b"\r\n\r\n" not in data:
    data += s.recv(4096)
head, rest = data.split(b"\r\n\r\n", 1)
assert head.startswith(b"HTTP/1.1 101"), head
while len(rest) < 2 + 12:
    rest += s.recv(4096)
assert rest[2:14] == b"RFB 003.008\n", rest
PY
  browser_port=$port
}

case $test_case in
headless)
  run=$(new_run_dir headless)
  sport=$(free_port) wport=$(free_port) vport=$(free_port)
  out=$scratch/headless.out
  start_run "$out" -- --run-dir "$run" --port "$sport" --web-port "$wport" --vnc-port "$vport"
  wait_for 30 browser_line "$out" || fail "no browser address: $(cat "$out")"
  check_browser "$out" "$vport"
  [ "$browser_port" = "$wport" ] || fail "noVNC not on the port asked for"
  app=$(tagged_pid Plivora3) || fail "Plivora3 is not running"
  [ "$(readlink "/proc/$app/cwd")" = "$run" ] || fail "Plivora3 does not run in $run"
  grep -qz '^DISPLAY=:[0-9]*$' "/proc/$app/environ" || fail "Plivora3 has no X display"
  [ "$(tagged_pid openbox)" ] || fail "no window manager"
  kill -INT "$run_pid"
  wait_run
  [ "$rc" = 130 ] || fail "Ctrl+C: exit code $rc, not 130"
  expect_nothing_left "Ctrl+C" "$sport" "$wport" "$vport"
  pass "headless run serves noVNC, VNC on loopback only, Ctrl+C stops everything"

  # Closing the program ends the run just as well.
  start_run "$out" -- --run-dir "$run" --port "$sport" --web-port "$wport" --vnc-port "$vport"
  wait_for 30 browser_line "$out" || fail "no browser address on the second start: $(cat "$out")"
  app=$(tagged_pid Plivora3) || fail "Plivora3 is not running"
  kill -TERM "$app"
  wait_run
  ! grep -q 'ended unexpectedly' "$out" || fail "the program's end taken for a failure: $(cat "$out")"
  expect_nothing_left "program closed" "$sport" "$wport" "$vport"
  pass "the program ending stops the service and every helper"
  ;;

display)
  # A display of the test's own; run.sh must use it and start no helpers.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 3>"$scratch/display-number" >/dev/null 2>&1 &
  xvfb=$!
  cleanups+=("kill $xvfb; wait $xvfb")
  wait_for 10 test -s "$scratch/display-number" || fail "the test's X server did not start"
  display=:$(tr -d '\n' <"$scratch/display-number")
  run=$(new_run_dir display)
  sport=$(free_port)
  out=$scratch/display.out
  mkdir -m 700 "$scratch/xdg" # as a desktop session has
  start_run "$out" DISPLAY="$display" XDG_RUNTIME_DIR="$scratch/xdg" -- --run-dir "$run" --port "$sport"
  wait_for 30 tagged_pid Plivora3 >/dev/null || fail "Plivora3 did not start: $(cat "$out")"
  app=$(tagged_pid Plivora3)
  grep -qzx "DISPLAY=$display" "/proc/$app/environ" || fail "Plivora3 not on $display"
  [ "$(readlink "/proc/$app/cwd")" = "$run" ] || fail "Plivora3 does not run in $run"
  for helper in Xvfb openbox x11vnc; do
    ! tagged_pid "$helper" >/dev/null || fail "$helper started although there is a display"
  done
  ! grep -q 'im Browser' "$out" || fail "browser address printed although there is a display"
  grep -qx "PortWebServer=$sport" "$run/config.ini" || fail "config.ini lacks port $sport"
  kill -INT "$run_pid"
  wait_run
  [ "$rc" = 130 ] || fail "Ctrl+C: exit code $rc, not 130"
  expect_nothing_left "display" "$sport"
  pass "with a display the program runs there, without browser helpers"
  ;;

ports)
  sport=$(free_port) wport=$(free_port) vport=$(free_port)
  # Something else already serves on all three ports.
  python3 -c '
import socket, sys, time
held = []
for p in sys.argv[1:]:
    s = socket.socket(); s.bind(("127.0.0.1", int(p))); s.listen(); held.append(s)
print("ready", flush=True); time.sleep(600)' "$sport" "$wport" "$vport" >"$scratch/holder" &
  holder=$!
  cleanups+=("kill $holder; wait $holder")
  wait_for 10 grep -q ready "$scratch/holder" || fail "could not occupy the ports"

  run=$(new_run_dir ports)
  printf '[Global]\nIPWebServer=127.0.0.1\nPortWebServer=%s\nLadeIntervall=0\n\n[Andere]\nPortWebServer=7\n' \
    "$sport" >"$run/config.ini"
  out=$scratch/ports.out
  start_run "$out" -- --run-dir "$run" --port "$sport" --web-port "$wport" --vnc-port "$vport"
  wait_for 30 browser_line "$out" || fail "no browser address: $(cat "$out")"

  got=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$run/plivora-service.log")
  [ -n "$got" ] && [ "$got" != "$sport" ] || fail "service port: \"$got\" (the taken one is $sport)"
  expected=$(printf '[Global]\nIPWebServer=127.0.0.1\nPortWebServer=%s\nLadeIntervall=0\n\n[Andere]\nPortWebServer=7' "$got")
  [ "$(cat "$run/config.ini")" = "$expected" ] || fail "config.ini became: $(cat "$run/config.ini")"
  code=$(curl -ks -o /dev/null -w '%{http_code}' "https://127.0.0.1:$got/Login?KDNummer=1001&Passwort=x")
  [ "$code" != 000 ] || fail "no HTTPS answer on the new service port $got"

  vnc=$(tagged_pid x11vnc) || fail "x11vnc is not running"
  vgot=$(tr '\0' '\n' <"/proc/$vnc/cmdline" | sed -n '/^-rfbport$/{n;p}')
  [ "$vgot" != "$vport" ] || fail "x11vnc was given the taken port $vport"
  check_browser "$out" "$vgot"
  wgot=$browser_port
  [ "$wgot" != "$wport" ] || fail "noVNC on the taken port $wport"
  kill -INT "$run_pid"
  wait_run
  expect_nothing_left "ports" "$got" "$wgot" "$vgot"
  pass "taken ports replaced by free ones, the service's port written into config.ini"
  ;;

failures)
  # Each part that cannot come up: run.sh ends non-zero, in that part's own
  # words, and stops whatever it had started already.
  # Columns: case, part that fails, what it says.
  while IFS='|' read -r name part message; do
    run=$(new_run_dir "fail-$name")
    sport=$(free_port) wport=$(free_port) vport=$(free_port)
    holder=
    case $name in
      database) echo "no database" >"$run/plivora.db" ;;
      *)
        # Bound but not listening: nothing answers there, yet the address is taken.
        declare -A port_of=([service-port]=$sport [web-port]=$wport [vnc-port]=$vport)
        port=${port_of[$name]}
        python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1])))
print("ready", flush=True); time.sleep(600)' "$port" >"$scratch/holder-$name" &
        holder=$!
        wait_for 10 grep -q ready "$scratch/holder-$name" || fail "$name: could not bind $port"
        ;;
    esac
    out=$scratch/fail-$name.out
    start_run "$out" -- --run-dir "$run" --port "$sport" --web-port "$wport" --vnc-port "$vport"
    wait_run
    if [ -n "$holder" ]; then kill "$holder"; wait "$holder" 2>/dev/null || true; fi
    [ "$rc" = 1 ] || fail "$name: exit code $rc, not 1: $(cat "$out")"
    grep -q "run.sh: $part did not start:" "$out" || fail "$name: not said which part failed: $(cat "$out")"
    grep -q "$message" "$out" || fail "$name: \"$message\" not shown: $(cat "$out")"
    ! grep -q 'im Browser' "$out" || fail "$name: browser address printed although it failed"
    expect_nothing_left "$name" "$sport" "$wport" "$vport"
    pass "$name: $part fails plainly"
  done <<'EOF_CASES'
database|plivora-service|file is not a database
service-port|plivora-service|Address already in use
web-port|websockify|Address already in use
vnc-port|x11vnc|Address already in use
EOF_CASES
  ;;

*) fail "unknown case $test_case" ;;
esac
