#!/usr/bin/env bash
# Runs every fuzz target for a fixed time on a scratch copy of its seed corpus
# and of the inputs that once failed (fuzz/regressions/<target>; the
# repository's files are never written) and fails on any crash, leak, timeout
# or out-of-memory.
#
#   fuzz/run-fuzzers.sh <build folder> <seconds per target> [target ...]
#
# FUZZ_WORK names the scratch folder (default <build folder>/fuzz-work); it
# keeps each target's grown corpus, log and any failing input afterwards.
set -uo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 <build folder> <seconds per target> [target ...]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
work=${FUZZ_WORK:-$build/fuzz-work}

# target, longest input in bytes, per-input timeout in seconds
table=(
    "srecord   4096  10"
    "hexdump   4096  10"
    "workspace 16384 10"
    "monitor   2048  10"
    "m6502     4096  10"
    "vo16      4096  10"
    "corvane   4096  10"
)
wanted=("$@")

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

rm -rf "$work"
mkdir -p "$work"
failed=0
ran=0
total=0
for row in "${table[@]}"; do
    read -r name maxlen timeout <<<"$row"
    if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " =~ " $name " ]]; then continue; fi
    binary=$build/fuzz/fuzz_$name
    dir=$work/$name
    mkdir -p "$dir/corpus" "$dir/artifacts"
    cp -R "$root/fuzz/corpus/$name/." "$dir/corpus/"
    # Inputs that once failed run first of all, with the seeds.
    if [ -d "$root/fuzz/regressions/$name" ]; then
        cp -R "$root/fuzz/regressions/$name/." "$dir/corpus/"
    fi
    if [ ! -x "$binary" ]; then
        echo "fuzz: $name: $binary is not built" >&2
        failed=$((failed + 1))
        continue
    fi
    # Run from the scratch folder so nothing the fuzzer writes lands elsewhere.
    (cd "$dir" && "$binary" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
        -max_len="$maxlen" -detect_leaks=1 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/" corpus >"$dir/log" 2>&1)
    status=$?
    ran=$((ran + 1))
    executions=$(awk '/stat::number_of_executed_units:/ {print $2}' "$dir/log" | tail -n 1)
    executions=${executions:-0}
    total=$((total + executions))
    # libFuzzer's final stats: executions, executions a second, peak memory.
    echo "$name: $(grep '^stat::' "$dir/log" | tr -s ' \n' ' ')"
    artifacts=$(find "$dir/artifacts" -type f ! -name 'slow-unit-*' | head -n 5)
    if [ $status -ne 0 ] || [ -n "$artifacts" ]; then
        failed=$((failed + 1))
        echo "fuzz: $name FAILED (exit $status) after $executions executions; log $dir/log" >&2
        grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed|.*runtime error)' "$dir/log" | head -n 5 >&2
        for a in $artifacts; do echo "fuzz: $name: failing input $a" >&2; done
    else
        printf 'fuzz: %-10s %10s executions in %ss, no failure\n' "$name" "$executions" "$seconds"
    fi
done

if [ $failed -ne 0 ]; then
    echo "fuzz: $failed of $ran targets FAILED ($total executions in all); see $work" >&2
    exit 1
fi
echo "fuzz: all $ran targets passed, $total executions in all, ${seconds}s each"
