#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz/ and runs each for a bounded time on a scratch copy of its
# seed corpus (the committed seeds never grow). Prints executions, time and the outcome per target.
#   tests/fuzz/run.sh [seconds-per-target] [target...]     default: 600 seconds, every target
#   FUZZ_JOBS=2 tests/fuzz/run.sh ...                       run two targets at a time
# Inputs that fail are kept in build-fuzz/fuzz/findings/<target>/; the exit status is 1 if any target
# found something.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-600}
[ $# -gt 0 ] && shift
jobs=${FUZZ_JOBS:-1}

# clang with its libFuzzer and sanitizer runtimes; installed here because only fuzzing needs them.
bash scripts/deps.sh clang libclang-rt-14-dev

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in tests/fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

build=build-fuzz
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNORVIK_BUILD_UI=OFF -DNORVIK_BUILD_TESTS=OFF -DNORVIK_BUILD_BENCH=OFF -DNORVIK_FUZZ=ON -DNORVIK_WERROR=ON \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

# Scratch space in memory where possible: some targets write files on every input.
scratch=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Runs one target; leaves "<target> <executions> <seconds> <outcome>" in its result file.
run_target() {
    local target=$1
    local work=$scratch/$target
    local findings=$build/fuzz/findings/$target
    mkdir -p "$work/corpus" "$findings"
    cp tests/fuzz/corpus/"$target"/* "$work/corpus/" 2>/dev/null || true
    local start end status=0
    start=$(date +%s)
    TMPDIR=$work "$build/fuzz/$target" "$work/corpus" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
        -artifact_prefix="$findings/" >"$work/log" 2>&1 || status=$?
    end=$(date +%s)
    cp "$work/log" "$build/fuzz/$target.log"
    local executions
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    local outcome="nothing found"
    if [ "$status" -ne 0 ]; then
        outcome="FOUND: $(grep -m1 -E 'ERROR|property failed|runtime error|deadly signal' "$work/log" || echo "exit $status")"
        outcome="$outcome (input in $findings/, log in $build/fuzz/$target.log)"
    fi
    printf '%s\t%s\t%s\t%s\n' "$target" "${executions:-?}" "$((end - start))" "$outcome" >"$work/result"
}

running=0
for target in "${targets[@]}"; do
    echo "fuzzing $target for ${seconds}s"
    run_target "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

found=0
printf '\n%-16s %14s %9s  %s\n' target executions seconds outcome
for target in "${targets[@]}"; do
    IFS=$'\t' read -r name executions time outcome <"$scratch/$target/result"
    printf '%-16s %14s %9s  %s\n' "$name" "$executions" "$time" "$outcome"
    [ "$outcome" = "nothing found" ] || found=1
done
exit "$found"
