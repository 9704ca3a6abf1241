#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the fuzz targets (preset fuzz) and runs both at once, one a core,
# each for SECONDS (default 60) from a scratch copy of its seeds in
# fuzz/corpus/, so the checkout stays as it is. Fails on any crash, leak,
# undefined behaviour, broken invariant or hang (10 s for one input); the
# input that did it is kept in build/fuzz/findings/<target>/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

scratch="$(mktemp -d)"
pids=()
trap 'rm -rf "$scratch"' EXIT
# Stopped, the script stops the fuzzers it started and has not waited for.
trap 'for pid in "${pids[@]}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null; done; exit 130' INT TERM
targets=(camerarecord encoderoutput)
for target in "${targets[@]}"; do
    mkdir -p "$scratch/$target" "build/fuzz/findings/$target"
    cp fuzz/corpus/"$target"/* "$scratch/$target/"
    options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
             -artifact_prefix="build/fuzz/findings/$target/")
    [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
    "build/fuzz/fuzz/fuzz_$target" "${options[@]}" "$scratch/$target" \
        >"$scratch/$target.log" 2>&1 &
    pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
    target="${targets[$i]}"
    status=0
    wait "${pids[$i]}" || status=$?
    pids[$i]=""
    if [ $status -eq 0 ]; then
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log")"
        echo "fuzz_$target: $runs inputs in ${seconds} s, no fault"
    else
        failed=1
        echo "fuzz_$target FAILED (input kept in build/fuzz/findings/$target/):" >&2
        tail -n 60 "$scratch/$target.log" >&2
    fi
done
exit $failed
