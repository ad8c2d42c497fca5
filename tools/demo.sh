#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds the program, writes a demo base
# of a few dozen messages to build/demo-base/demo.* and opens it in quorvex.
# The program draws in code page 437; in a UTF-8 terminal it runs through
# luit, which translates its output. Esc, then Enter, ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
kv_install "${KV_BUILD_PACKAGES[@]}" "${KV_DEMO_PACKAGES[@]}"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF >/dev/null
cmake --build build/release
mkdir -p build/demo-base
build/release/tools/MakeDemoBase build/demo-base demo
if [ ! -t 0 ] || [ ! -t 1 ]; then
    echo "Not a terminal: open the base with build/release/app/quorvex build/demo-base/demo"
    exit 0
fi
charset=$(locale charmap 2>/dev/null || echo unknown)
if [ "$charset" = UTF-8 ] && command -v luit >/dev/null; then
    exec luit -encoding CP437 build/release/app/quorvex build/demo-base/demo
fi
exec build/release/app/quorvex build/demo-base/demo
