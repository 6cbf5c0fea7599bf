#!/usr/bin/env bash
# Installs every Debian 12 package Plivora needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev
  libboost1.81-dev libssl-dev openssl libicu-dev libsqlite3-dev
  postgresql-15 postgresql-client-15 libpq-dev
  fonts-dejavu-core fonts-liberation
  xvfb xauth poppler-utils unrtf curl
  openbox x11vnc novnc websockify python3-websockify python3 iproute2 procps
  desktop-file-utils dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
