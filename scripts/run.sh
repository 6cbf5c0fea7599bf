#!/usr/bin/env bash
# Installs what is missing, builds Plivora and the reference laundry service,
# lays out a working directory in run/, starts the service with its demo data
# and then the program. Without a display the program runs on a virtual X
# server that a web browser shows through noVNC. The program ending, Ctrl+C or
# SIGTERM stops everything the script started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  cat <<'EOF'
Usage: bash scripts/run.sh [options]
  --no-build        use the programs already built: no set-up, no build
  --build-dir DIR   build folder (default: build)
  --run-dir DIR     working directory of the program (default: run)
  --port N          service port to try first (default: 8080)
  --web-port N      noVNC port to try first (default: 6080)
  --vnc-port N      VNC port to try first (default: 5900)
  --browser         show the program in a web browser even when a display is there
A port that is taken is replaced by the next free one above it; the service's
port is written into config.ini of the working directory.
EOF
}

build=1 build_dir=$root/build work=$root/run browser=0
service_port=8080 web_port=6080 vnc_port=5900
while (($#)); do
  case $1 in
    --no-build) build=0 ;;
    --build-dir) build_dir=$(realpath -m "${2:?--build-dir needs a folder}"); shift ;;
    --run-dir) work=$(realpath -m "${2:?--run-dir needs a folder}"); shift ;;
    --port) service_port=${2:-}; shift ;;
    --web-port) web_port=${2:-}; shift ;;
    --vnc-port) vnc_port=${2:-}; shift ;;
    --browser) browser=1 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "run.sh: unknown option \"$1\"" >&2; usage >&2; exit 2 ;;
  esac
  shift
done
for p in "$service_port" "$web_port" "$vnc_port"; do
  [[ $p =~ ^[0-9]+$ ]] && ((p >= 1 && p <= 65535)) || { echo "run.sh: \"$p\" is no port number" >&2; exit 2; }
done
headless=0
if ((browser)) || { [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; }; then
  headless=1
fi

if ((build)); then
  bash scripts/setup.sh
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build_dir" --parallel "$(nproc)" --target Plivora3 plivora-service
fi
app=$build_dir/src/app/Plivora3
service=$build_dir/src/service/plivora-service
for exe in "$app" "$service"; do
  [ -x "$exe" ] || { echo "run.sh: $exe is missing; build it first (or leave out --no-build)" >&2; exit 1; }
done

mkdir -p "$work"
[ -f "$work/config.ini" ] || cp resources/config.ini "$work/"
for f in resources/*.rav resources/Bewohner.xml resources/Waesche.xml resources/WaschVG.xml; do
  [ -f "$work/$(basename "$f")" ] || cp "$f" "$work/"
done

# set_ini_key FILE KEY VALUE: sets KEY of section "Global" (names match in any
# case, as the program reads them), keeping every other line.
set_ini_key() {
  local tmp
  tmp=$(mktemp "$1.XXXXXX")
  awk -v key="$2" -v value="$3" '
    function put() { print key "=" value; done = 1 }
    /^[ \t]*\[/ {
      if (inGlobal && !done) put()
      inGlobal = (tolower($0) ~ /^[ \t]*\[global\][ \t\r]*$/)
    }
    inGlobal && tolower($0) ~ ("^[ \t]*" tolower(key) "[ \t]*=") { if (!done) put(); next }
    { print }
    END { if (!done) { if (!inGlobal) print "[Global]"; put() } }
  ' "$1" >"$tmp" && mv "$tmp" "$1"
}

# ini_has_key FILE KEY: whether section "Global" has KEY (names in any case).
ini_has_key() {
  awk -v key="$2" '
    /^[ \t]*\[/ { inGlobal = (tolower($0) ~ /^[ \t]*\[global\][ \t\r]*$/) }
    inGlobal && tolower($0) ~ ("^[ \t]*" tolower(key) "[ \t]*=") { found = 1 }
    END { exit !found }
  ' "$1"
}
# The demo loads each list as fast as the service answers; a config.ini from
# before the key gets it, a value the user set stays.
ini_has_key "$work/config.ini" LadeIntervall || set_ini_key "$work/config.ini" LadeIntervall 0

if [ ! -f "$work/plivora.db" ]; then
  "$service" --db "$work/plivora.db" --init-demo
fi

# Something that accepts a connection on 127.0.0.1 owns the port, whatever address it bound.
port_taken() { timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }
free_port_from() {
  local p
  for ((p = $1; p <= 65535 && p < $1 + 100; p++)); do
    port_taken "$p" || { echo "$p"; return 0; }
  done
  echo "run.sh: no free port from $1 to $((p - 1))" >&2
  return 1
}

# Every helper runs in a session of its own, so stopping its process group
# also stops whatever it forked, and Ctrl+C reaches only this script, which
# then stops them all.
pids=() names=()
tmp=$(mktemp -d "${TMPDIR:-/tmp}/plivora-run.XXXXXX")
stopping=0
stop_all() {
  ((stopping)) && return
  stopping=1
  local i pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM -- "-${pids[i]}" 2>/dev/null || true
  done
  if ((${#pids[@]})); then
    # Whatever ignores SIGTERM for 5 s gets SIGKILL. The wait is a loop here,
    # not a background timer, so that nothing of this script can outlive it.
    local tenths alive
    for ((tenths = 0; tenths < 50; tenths++)); do
      alive=0
      for pid in "${pids[@]}"; do
        kill -0 -- "-$pid" 2>/dev/null && alive=1
      done
      ((alive)) || break
      sleep 0.1
    done
    for pid in "${pids[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  fi
  rm -rf "$tmp"
}
trap stop_all EXIT
trap 'stop_all; exit 130' INT
trap 'stop_all; exit 143' TERM
trap 'stop_all; exit 129' HUP

# start NAME LOG COMMAND...: runs COMMAND in the background with its output
# in LOG, or on the terminal when LOG is "-".
start() {
  local name=$1 log=$2
  shift 2
  if [ "$log" = - ]; then
    setsid "$@" </dev/null &
  else
    setsid "$@" >"$log" 2>&1 </dev/null &
  fi
  pids+=("$!") names+=("$name")
}
last_pid() { echo "${pids[-1]}"; }

# fail NAME LOG [WHY]: says that NAME did not come up, in its own words, and ends the script.
fail() {
  echo "run.sh: $1 did not start${3:+ ($3)}:" >&2
  if grep -Eiq 'error|in use|cannot|could not|failed|denied' "$2"; then
    grep -Ei 'error|in use|cannot|could not|failed|denied' "$2" | tail -n 8 | sed 's/^/  /' >&2
  elif [ -s "$2" ]; then
    tail -n 15 "$2" | sed 's/^/  /' >&2
  else
    echo "  (it wrote nothing)" >&2
  fi
  exit 1
}

# wait_until NAME LOG PID TEST...: waits up to 8 s for TEST while PID lives.
wait_until() {
  local name=$1 log=$2 pid=$3 i
  shift 3
  for ((i = 0; i < 80; i++)); do
    "$@" && return 0
    kill -0 "$pid" 2>/dev/null || fail "$name" "$log"
    sleep 0.1
  done
  fail "$name" "$log" "no answer after 8 s"
}

service_port=$(free_port_from "$service_port")
set_ini_key "$work/config.ini" PortWebServer "$service_port"
service_log=$work/plivora-service.log
start plivora-service "$service_log" "$service" --db "$work/plivora.db" --host 127.0.0.1 --port "$service_port"
wait_until plivora-service "$service_log" "$(last_pid)" grep -qs '^listening on' "$service_log"

if ((headless)); then
  # A display number that no other X server holds; a server that loses the
  # race for it says "already active" and the next number is tried.
  export XAUTHORITY=$tmp/Xauthority
  display=
  for ((n = 99; n < 200; n++)); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    : >"$XAUTHORITY"
    xauth -q -f "$XAUTHORITY" add ":$n" . "$(mcookie)"
    start Xvfb "$tmp/xvfb.log" Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -auth "$XAUTHORITY"
    for ((i = 0; i < 50; i++)); do
      [ -S "/tmp/.X11-unix/X$n" ] && display=:$n && break
      kill -0 "$(last_pid)" 2>/dev/null || break
      sleep 0.1
    done
    [ -n "$display" ] && break
    grep -q 'already active' "$tmp/xvfb.log" || fail Xvfb "$tmp/xvfb.log"
    wait "$(last_pid)" 2>/dev/null || true
    unset 'pids[-1]' 'names[-1]'
  done
  [ -n "$display" ] || fail Xvfb "$tmp/xvfb.log"
  export DISPLAY=$display
  unset WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=xcb
  export XDG_RUNTIME_DIR=$tmp/xdg
  mkdir -m 700 "$XDG_RUNTIME_DIR"

  # Openbox maximises every normal window, as a desktop would; dialogs keep their size.
  cat >"$tmp/openbox.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <applications>
    <application class="*" type="normal">
      <maximized>yes</maximized>
    </application>
  </applications>
</openbox_config>
EOF
  start openbox "$tmp/openbox.log" openbox --sm-disable --config-file "$tmp/openbox.xml" \
    --startup "touch $tmp/wm-ready"
  wait_until openbox "$tmp/openbox.log" "$(last_pid)" test -e "$tmp/wm-ready"

  vnc_port=$(free_port_from "$vnc_port")
  start x11vnc "$tmp/x11vnc.log" x11vnc -display "$DISPLAY" -auth "$XAUTHORITY" -rfbport "$vnc_port" \
    -localhost -noipv6 -nopw -forever -shared -noxdamage
  wait_until x11vnc "$tmp/x11vnc.log" "$(last_pid)" port_taken "$vnc_port"

  web_port=$(free_port_from "$web_port")
  start websockify "$tmp/websockify.log" websockify --web /usr/share/novnc \
    "127.0.0.1:$web_port" "127.0.0.1:$vnc_port"
  wait_until websockify "$tmp/websockify.log" "$(last_pid)" port_taken "$web_port"
fi

echo "Demo login: Kundennummer 1001, Passwort Waesche2026."
start Plivora3 - bash -c 'cd "$1" && exec "$2"' bash "$work" "$app"
app_pid=$(last_pid)
if ((headless)); then
  echo "Plivora läuft im Browser: http://127.0.0.1:$web_port/vnc.html?autoconnect=true&resize=scale (Strg+C beendet)"
fi

status=0
wait -n -p ended "${pids[@]}" || status=$?
if [ "$ended" != "$app_pid" ]; then
  for i in "${!pids[@]}"; do
    [ "${pids[i]}" = "$ended" ] && echo "run.sh: ${names[i]} ended unexpectedly (exit code $status); stopping." >&2
  done
  status=1
fi
exit "$status"
