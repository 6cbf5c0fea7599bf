#!/usr/bin/env bash
# Installs what is missing, builds Plivora and the reference laundry service,
# lays out a working directory in run/, starts the service with its demo data
# and then the program. The service stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)" --target Plivora3 plivora-service

work=$root/run
mkdir -p "$work"
[ -f "$work/config.ini" ] || cp resources/config.ini "$work/"
for f in resources/*.rav resources/Bewohner.xml resources/Waesche.xml resources/WaschVG.xml; do
  [ -f "$work/$(basename "$f")" ] || cp "$f" "$work/"
done

service=$root/build/src/service/plivora-service
if [ ! -f "$work/plivora.db" ]; then
  "$service" --db "$work/plivora.db" --init-demo
fi
"$service" --db "$work/plivora.db" --host 127.0.0.1 --port 8080 &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null || true' EXIT

for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null && break
  sleep 0.1
done

echo "Demo login: Kundennummer 1001, Passwort Waesche2026."
cd "$work"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the program on a virtual X server (xvfb-run)."
  xvfb-run -a "$root/build/src/app/Plivora3"
else
  "$root/build/src/app/Plivora3"
fi
