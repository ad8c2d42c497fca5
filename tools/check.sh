#!/usr/bin/env bash
# Builds everything and runs every test: natively, under AddressSanitizer and
# UndefinedBehaviorSanitizer, for 32-bit x86 (directly, or under qemu-i386
# where the kernel cannot run it) and for 32-bit ARM (under qemu-arm), then
# runs each fuzz target for a bounded time. Fails on the first failure.
# Installs what is missing first (Debian 12).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
kv_install "${KV_BUILD_PACKAGES[@]}" libgtest-dev tmux clang libclang-rt-14-dev clang-format \
    g++-i686-linux-gnu g++-arm-linux-gnueabihf qemu-user \
    libpcre2-dev:i386 libgtest-dev:i386 libstdc++6:i386 pkgconf:i386 \
    libpcre2-dev:armhf libgtest-dev:armhf libstdc++6:armhf pkgconf:armhf

jobs=$(nproc)

# One layout, checked: .clang-format decides it, and a difference fails here.
echo "=== format"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

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

# Whether this kernel runs 32-bit x86 programs is found by trying one: some
# kernels of the same machine kind are built without it (ENOEXEC, which the
# shell reports as status 126). KV_I686_EMULATE=1 forces the emulator.
i686_emulator=""
if [ "${KV_I686_EMULATE:-0}" = 1 ]; then
    i686_emulator=qemu-i386
else
    probe=$(mktemp -d)
    printf 'int main(void) { return 0; }\n' >"$probe/probe.c"
    i686-linux-gnu-gcc -o "$probe/probe" "$probe/probe.c"
    status=0
    "$probe/probe" 2>/dev/null || status=$?
    rm -rf "$probe"
    if [ $status = 126 ]; then
        i686_emulator=qemu-i386
    elif [ $status != 0 ]; then
        echo "A 32-bit x86 test program neither ran nor failed to load (status $status)." >&2
        exit 1
    fi
fi
run i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake -DKV_BENCH=OFF \
    -DKV_I686_EMULATOR="$i686_emulator"
echo "=== build/check-i686: tests ran ${i686_emulator:+under }${i686_emulator:-natively}"
run armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake -DKV_BENCH=OFF
echo "=== build/check-armhf: tests ran under qemu-arm"

echo "=== fuzz"
CC=clang CXX=clang++ cmake -S . -B build/check-fuzz -G Ninja -DKV_FUZZ=ON -DKV_TESTS=OFF \
    -DKV_BENCH=OFF >build/check-fuzz.configure.log 2>&1 || { cat build/check-fuzz.configure.log; exit 1; }
cmake --build build/check-fuzz
for target in build/check-fuzz/fuzz/*Fuzz; do
    [ -x "$target" ] || continue
    KV_FUZZ_BUILD="$PWD/build/check-fuzz" bash fuzz/run.sh "$(basename "$target")" "${KV_FUZZ_SECONDS:-60}"
done
echo "All checks passed."
