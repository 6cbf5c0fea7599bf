#!/usr/bin/env bash
# Builds the Debian packages plivora (the desktop client) and plivora-service
# (the web service with its systemd unit) into dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
build=$root/build-package
# Only what the packages hold is built: no tests, no benchmarks.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
cmake --build "$build" --parallel "$(nproc)" --target installables
rm -rf "$root/dist"
(cd "$build" && cpack -G DEB -B "$root/dist")
rm -rf "$root/dist/_CPack_Packages"
for deb in "$root"/dist/*.deb; do
  echo "Built $deb"
done
