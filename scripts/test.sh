#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"
# ctest starts and stops the PostgreSQL test cluster itself; this only catches an interrupted run.
trap 'bash scripts/pg-test-cluster.sh stop build/pg-cluster.uri' EXIT
ctest --test-dir build --output-on-failure --parallel "$(nproc)"
