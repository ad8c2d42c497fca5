#!/usr/bin/env bash
# Runs one libFuzzer target on its seed corpus for a bounded time:
#
#     fuzz/run.sh NAME SECONDS
#
# The target is taken from $KV_FUZZ_BUILD/fuzz/NAME (default: build-fuzz in
# the repository, configured with clang and -DKV_FUZZ=ON). The seeds of
# fuzz/corpus/NAME are copied to a scratch directory first, so the inputs the
# run adds never land in the repository. Exit code 0: no crash; otherwise the
# fuzzer's own code, with the crashing input copied to fuzz/artifacts/ and
# shown in hex.
set -euo pipefail

if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 NAME SECONDS" >&2
    exit 2
fi
name=$1
seconds=$2
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${KV_FUZZ_BUILD:-$repo/build-fuzz}
target=$build/fuzz/$name
seeds=$repo/fuzz/corpus/$name

if [ ! -x "$target" ]; then
    echo "$0: no fuzz target $target; build it first, e.g.:" >&2
    echo "  CC=clang CXX=clang++ cmake -S $repo -B $build -G Ninja" \
         "-DKV_FUZZ=ON -DKV_TESTS=OFF -DKV_BENCH=OFF && ninja -C $build $name" >&2
    exit 2
fi
if [ ! -d "$seeds" ]; then
    echo "$0: no seed corpus $seeds" >&2
    exit 2
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kv-fuzz-$name.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus" "$scratch/artifacts" "$scratch/tmp"
cp -R "$seeds/." "$scratch/corpus/"

status=0
# The target's own scratch files go below $scratch too, so even a crashed
# run (which skips the target's clean-up at exit) leaves nothing behind.
# -timeout: one input that takes this long is a hang, reported like a crash.
TMPDIR=$scratch/tmp "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$scratch/artifacts/" \
    "$scratch/corpus" || status=$?

shopt -s nullglob
found=("$scratch"/artifacts/*)
if [ $status -ne 0 ] || [ ${#found[@]} -gt 0 ]; then
    mkdir -p "$repo/fuzz/artifacts"
    for f in "${found[@]}"; do
        cp "$f" "$repo/fuzz/artifacts/"
        echo "== $name: $(basename "$f") ($(stat -c %s "$f") bytes), kept in fuzz/artifacts/" >&2
        od -A d -t x1 -v "$f" | head -n 80 >&2
    done
    [ $status -ne 0 ] || status=1
    echo "== $name: FAILED (exit $status); reproduce with: $target $repo/fuzz/artifacts/<file>" >&2
    exit $status
fi
echo "== $name: no crash in ${seconds}s"
