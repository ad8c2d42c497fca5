#!/usr/bin/env bash
# Builds everything and runs every test: natively, under AddressSanitizer and
# UndefinedBehaviorSanitizer, for 32-bit x86 and for 32-bit ARM (under
# qemu-arm), then runs each fuzz target for a bounded time. Fails on the first
# failure. Installs what is missing first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
kv_install "${KV_BUILD_PACKAGES[@]}" libgtest-dev tmux clang libclang-rt-14-dev \
    g++-i686-linux-gnu g++-arm-linux-gnueabihf qemu-user \
    libpcre2-dev:i386 libgtest-dev:i386 libstdc++6:i386 pkgconf:i386 \
    libpcre2-dev:armhf libgtest-dev:armhf libstdc++6:armhf pkgconf:armhf

jobs=$(nproc)
run() { # run NAME CMAKE-ARGS...
    local dir=build/check-$1; shift
    echo "=== $dir"
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
    cmake --build "$dir"
    (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300)
}
mkdir -p build
run native
run sanitize -DKV_SANITIZE=ON -DKV_BENCH=OFF
run i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake -DKV_BENCH=OFF
run armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake -DKV_BENCH=OFF

echo "=== fuzz"
CC=clang CXX=clang++ cmake -S . -B build/check-fuzz -G Ninja -DKV_FUZZ=ON -DKV_TESTS=OFF \
    -DKV_BENCH=OFF >build/check-fuzz.configure.log 2>&1 || { cat build/check-fuzz.configure.log; exit 1; }
cmake --build build/check-fuzz
for target in build/check-fuzz/fuzz/*Fuzz; do
    [ -x "$target" ] || continue
    KV_FUZZ_BUILD="$PWD/build/check-fuzz" bash fuzz/run.sh "$(basename "$target")" "${KV_FUZZ_SECONDS:-60}"
done
echo "All checks passed."
