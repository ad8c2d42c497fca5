#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds the program and writes a demo
# base of a few dozen messages to build/demo-base/demo.*; then shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
kv_install "${KV_BUILD_PACKAGES[@]}"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF >/dev/null
cmake --build build/release
mkdir -p build/demo-base
build/release/tools/MakeDemoBase build/demo-base demo
