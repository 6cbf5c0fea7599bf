#!/usr/bin/env bash
# `cmake --install` into a private prefix: the files a desktop and an operator
# need, and the launcher preparing a user's working folder without ever
# replacing what is already there.
# Usage: tst_install.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/common.sh"
need cmake desktop-file-validate python3 cmp

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 \
  || fail "cmake --install: $(cat "$scratch/install.log")"

data_files="config.ini XMLBewohnerListe.rav XMLWaescheListe.rav XMLWaschVGListe.rav Bewohner.xml Waesche.xml WaschVG.xml"
expected="bin/Plivora3
bin/plivora
bin/plivora-service
etc/plivora-service/plivora-service.ini
lib/systemd/system/plivora-service.service
share/applications/plivora.desktop
share/icons/hicolor/scalable/apps/plivora.svg"
for f in $data_files; do expected+=$'\n'"share/plivora/$f"; done
# Modules Plivora3 loads at run time have a folder of their own.
installed=$(cd "$prefix" && find . ! -type d ! -path "./lib*/plivora/*" | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$(LC_ALL=C sort <<<"$expected")" ] \
  || fail "installed files differ:"$'\n'"$(diff <(LC_ALL=C sort <<<"$expected") <(echo "$installed"))"
modules=$(cd "$prefix" && find . -path "./lib*/plivora/*" ! -type d | sed 's|^\./||')
[[ "$modules" =~ ^lib[^/]*/plivora/libplivora_tls\.so$ ]] || fail "expected the TLS module alone under <libdir>/plivora, found: $modules"
for exe in bin/Plivora3 bin/plivora bin/plivora-service; do
  [ -x "$prefix/$exe" ] || fail "$exe is not executable"
done
for f in $data_files; do
  cmp -s "$prefix/share/plivora/$f" "$src/resources/$f" || [ "$f" = config.ini ] \
    || fail "share/plivora/$f differs from resources/$f"
done
# The installed client is set for the installed service's port.
grep -qx 'PortWebServer=8443' "$prefix/share/plivora/config.ini" || fail "installed config.ini is not set for port 8443"
grep -qx 'IPWebServer=127.0.0.1' "$prefix/share/plivora/config.ini" || fail "installed config.ini lost IPWebServer"
desktop-file-validate "$prefix/share/applications/plivora.desktop" || fail "desktop entry not valid"
grep -qx 'Exec=plivora' "$prefix/share/applications/plivora.desktop" || fail "desktop entry does not start the launcher"
python3 -c '
import sys, xml.etree.ElementTree as et
root = et.parse(sys.argv[1]).getroot()
assert root.tag == "{http://www.w3.org/2000/svg}svg" and root.get("viewBox"), root.tag' \
  "$prefix/share/icons/hicolor/scalable/apps/plivora.svg" || fail "icon is no SVG"
grep -q "^ExecStart=.*/plivora-service --config .*/plivora-service/plivora-service.ini$" \
  "$prefix/lib/systemd/system/plivora-service.service" || fail "unit does not run the service with its configuration"
grep -qx "db = /var/lib/plivora-service/plivora.db" "$prefix/etc/plivora-service/plivora-service.ini" \
  || fail "the configuration does not name the service's database"
"$prefix/bin/plivora-service" --config "$prefix/etc/plivora-service/plivora-service.ini" --help >/dev/null \
  || fail "the installed configuration is not accepted"
pass "install: every expected file and nothing else"

# The launcher, once with the default folder and once with XDG_DATA_HOME.
# It replaces itself with Plivora3 (exec), so its process shows where the
# program runs.
launcher_pid=
cleanups+=('[ -z "$launcher_pid" ] || kill -KILL "$launcher_pid"')
is_program() { [ "$(readlink "/proc/$launcher_pid/exe")" = "$prefix/bin/Plivora3" ]; }
while IFS='|' read -r label xdg work; do
  home=$scratch/home-$label
  work=${work/HOME/$home}
  work=${work/XDG/$scratch/xdg-$label}
  mkdir -p "$work"
  # A file of the user's own, which must stay as it is.
  printf '[Global]\nIPWebServer=laundry.example\nPortWebServer=9443\n' >"$work/config.ini"
  cp "$work/config.ini" "$scratch/own-config.ini"
  if [ "$xdg" = set ]; then
    env -u XDG_DATA_HOME HOME="$home" XDG_DATA_HOME="$scratch/xdg-$label" QT_QPA_PLATFORM=offscreen \
      "$prefix/bin/plivora" >"$scratch/launcher-$label.log" 2>&1 &
  else
    env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
      "$prefix/bin/plivora" >"$scratch/launcher-$label.log" 2>&1 &
  fi
  launcher_pid=$!
  wait_for 20 is_program || fail "$label: Plivora3 did not start: $(cat "$scratch/launcher-$label.log")"
  [ "$(readlink "/proc/$launcher_pid/cwd")" = "$work" ] || fail "$label: Plivora3 runs in $(readlink "/proc/$launcher_pid/cwd"), not $work"
  cmp -s "$work/config.ini" "$scratch/own-config.ini" || fail "$label: the user's config.ini was replaced"
  for f in $data_files; do
    [ "$f" = config.ini ] && continue
    cmp -s "$work/$f" "$prefix/share/plivora/$f" || fail "$label: $f not copied into $work"
  done
  [ -z "$(find "$work" -name '.*.new')" ] || fail "$label: temporary copies left in $work"
  kill -KILL "$launcher_pid"
  wait "$launcher_pid" 2>/dev/null || true
  launcher_pid=
  pass "launcher ($label): working folder $work prepared, own files kept"
done <<'EOF_CASES'
default|unset|HOME/.local/share/plivora
xdg|set|XDG/plivora
EOF_CASES

# A fresh folder gets every default, config.ini included; a broken install says what is missing.
rm -rf "$scratch/fresh"
mkdir -p "$scratch/fresh"
mv "$prefix/share/plivora/WaschVG.xml" "$scratch/WaschVG.xml"
status=0
env HOME="$scratch/fresh" XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen "$prefix/bin/plivora" \
  >"$scratch/broken.log" 2>&1 || status=$?
[ "$status" != 0 ] || fail "launcher started without WaschVG.xml"
grep -q "share/plivora/WaschVG.xml is missing" "$scratch/broken.log" || fail "no word on the missing file: $(cat "$scratch/broken.log")"
cmp -s "$scratch/fresh/.local/share/plivora/config.ini" "$prefix/share/plivora/config.ini" \
  || fail "config.ini not copied into a fresh folder"
[ ! -e "$scratch/fresh/.local/share/plivora/WaschVG.xml" ] || fail "a missing file appeared"
pass "launcher: a fresh folder gets config.ini; a missing installed file is named"
